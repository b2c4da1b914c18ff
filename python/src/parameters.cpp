// The parameter file as an object: read with the program's reader, every
// record a property, written back in the record order the program reads.
#include <pybind11/stl.h>
#include <pybind11/stl_bind.h>

#include <sstream>
#include <string>
#include <vector>

#include "bindings.h"
#include "input/parameter_text.h"
#include "input/parameters.h"
#include "text/free_reader.h"

PYBIND11_MAKE_OPAQUE(std::vector<yosta::ZeroConstraint>)
PYBIND11_MAKE_OPAQUE(std::vector<yosta::PositivityConstraint>)
PYBIND11_MAKE_OPAQUE(std::vector<yosta::CoordinationConstraint>)

namespace yosta::python {
namespace {

std::string trimmed_right(const std::string& s) {
  const std::size_t end = s.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

// Titles are kept as the reader keeps them: blank-padded to 80 (names are
// kept without trailing blanks).
std::string padded(std::string s) {
  if (s.size() < 80) s.resize(80, ' ');
  return s;
}

RunParameters read_text(const std::string& name, const std::string& text) {
  std::istringstream in(text);
  text::FreeReader reader(name, in);
  return read_parameters(reader);
}

template <class C>
void range_repr(py::class_<C>& c, const char* kind) {
  c.def("__repr__", [kind](const C& x) {
    std::ostringstream s;
    s << kind << "(partial=" << x.partial << ", r_from=" << x.r_from << ", r_to=" << x.r_to << ")";
    return s.str();
  });
}

}  // namespace

void bind_parameters(py::module_& m) {
  py::class_<ZeroConstraint> zero(m, "ZeroConstraint", "A range where a basis function is zero");
  zero.def(py::init([](std::int32_t partial, float r_from, float r_to) {
             return ZeroConstraint{partial, r_from, r_to};
           }),
           py::arg("partial"), py::arg("r_from"), py::arg("r_to"))
      .def_readwrite("partial", &ZeroConstraint::partial, "basis function 1..nbasis")
      .def_readwrite("r_from", &ZeroConstraint::r_from)
      .def_readwrite("r_to", &ZeroConstraint::r_to);
  range_repr(zero, "ZeroConstraint");
  py::class_<PositivityConstraint> positive(m, "PositivityConstraint", "A range where a basis function stays >= 0");
  positive
      .def(py::init([](std::int32_t partial, float r_from, float r_to) {
             return PositivityConstraint{partial, r_from, r_to};
           }),
           py::arg("partial"), py::arg("r_from"), py::arg("r_to"))
      .def_readwrite("partial", &PositivityConstraint::partial)
      .def_readwrite("r_from", &PositivityConstraint::r_from)
      .def_readwrite("r_to", &PositivityConstraint::r_to);
  range_repr(positive, "PositivityConstraint");
  py::class_<CoordinationConstraint>(m, "CoordinationConstraint", "A target coordination number over an r range")
      .def(py::init([](std::int32_t partial, float r_from, float r_to, float concentration, float basis_weight,
                       float coordination, float weighting) {
             return CoordinationConstraint{partial, r_from, r_to, concentration, basis_weight, coordination, weighting};
           }),
           py::arg("partial"), py::arg("r_from"), py::arg("r_to"), py::arg("concentration"), py::arg("basis_weight"),
           py::arg("coordination"), py::arg("weighting"))
      .def_readwrite("partial", &CoordinationConstraint::partial)
      .def_readwrite("r_from", &CoordinationConstraint::r_from)
      .def_readwrite("r_to", &CoordinationConstraint::r_to)
      .def_readwrite("concentration", &CoordinationConstraint::concentration)
      .def_readwrite("basis_weight", &CoordinationConstraint::basis_weight)
      .def_readwrite("coordination", &CoordinationConstraint::coordination)
      .def_readwrite("weighting", &CoordinationConstraint::weighting);
  py::bind_vector<std::vector<ZeroConstraint>>(m, "ZeroConstraintList");
  py::bind_vector<std::vector<PositivityConstraint>>(m, "PositivityConstraintList");
  py::bind_vector<std::vector<CoordinationConstraint>>(m, "CoordinationConstraintList");

  py::class_<GaussianRange>(m, "GaussianRange", "An r range of Gaussian moves")
      .def_readwrite("width", &GaussianRange::width, "FWHM in Angstrom")
      .def_readwrite("rch", &GaussianRange::rch, "upper r limit of the range, Angstrom");

  py::class_<DataSetSettings>(m, "DataSetSettings", "The block of one data set")
      .def_property(
          "data_file", [](const DataSetSettings& s) { return s.data_file; },
          [](DataSetSettings& s, const std::string& v) { s.data_file = trimmed_right(v); })
      .def_readwrite("q_first", &DataSetSettings::q_first)
      .def_readwrite("q_last", &DataSetSettings::q_last)
      .def_readwrite("fq_offset", &DataSetSettings::fq_offset)
      .def_property(
          "coefficients",
          [](const DataSetSettings& s) { return std::vector<float>(s.coefficients.begin(), s.coefficients.end()); },
          [](DataSetSettings& s, const std::vector<float>& v) {
            if (v.size() > s.coefficients.size())
              throw py::value_error("at most " + std::to_string(s.coefficients.size()) + " coefficients");
            s.coefficients.fill(0.0f);
            std::copy(v.begin(), v.end(), s.coefficients.begin());
          })
      .def_readwrite("sigma", &DataSetSettings::sigma)
      .def_readwrite("wavelength", &DataSetSettings::wavelength)
      .def_readwrite("res_u", &DataSetSettings::res_u)
      .def_readwrite("res_v", &DataSetSettings::res_v)
      .def_readwrite("res_w", &DataSetSettings::res_w)
      .def_readwrite("target_chi2", &DataSetSettings::target_chi2)
      .def_readwrite("renormalise", &DataSetSettings::renormalise)
      .def_readwrite("rezero", &DataSetSettings::rezero)
      .def_readwrite("linear_correction", &DataSetSettings::linear_correction)
      .def_readwrite("quadratic_correction", &DataSetSettings::quadratic_correction)
      .def_readwrite("background_column", &DataSetSettings::background_column);

  py::class_<RunParameters>(m, "RunParameters", "Every record of a parameter file")
      .def(py::init<>())
      .def("copy", [](const RunParameters& p) { return RunParameters(p); })
      .def_property(
          "title", [](const RunParameters& p) { return trimmed_right(p.title); },
          [](RunParameters& p, const std::string& v) { p.title = padded(v.substr(0, 80)); })
      .def_readwrite("start_from_file", &RunParameters::start_from_file)
      .def_readwrite("live_plot", &RunParameters::live_plot)
      .def_readwrite("plot_interval", &RunParameters::plot_interval)
      .def_readwrite("density", &RunParameters::density)
      .def_readwrite("qdep_coefficients", &RunParameters::qdep_coefficients)
      .def_readwrite("nbasis", &RunParameters::nbasis)
      .def_readwrite("zero", &RunParameters::zero)
      .def_readwrite("max_change", &RunParameters::max_change)
      .def_readwrite("Mr", &RunParameters::Mr)
      .def_readwrite("rmax", &RunParameters::rmax)
      .def_readwrite("save_targets", &RunParameters::save_targets)
      .def_readwrite("nsave", &RunParameters::nsave)
      .def_readwrite("improved_only", &RunParameters::improved_only)
      .def_readwrite("positivity", &RunParameters::positivity)
      .def_readwrite("coordination", &RunParameters::coordination)
      .def_readwrite("smoothing_on", &RunParameters::smoothing_on)
      .def_readwrite("smoothing_type", &RunParameters::smoothing_type)
      .def_readwrite("smoothing_weight", &RunParameters::smoothing_weight)
      .def_readwrite("smoothing_exponent", &RunParameters::smoothing_exponent)
      .def_readwrite("smoothing_cutoff", &RunParameters::smoothing_cutoff)
      .def_readwrite("nranges", &RunParameters::nranges)
      .def(
          "range",
          [](RunParameters& p, int i) -> GaussianRange& {
            if (i < 0 || i >= max_ranges) throw py::index_error("Gaussian range index out of range");
            return p.ranges[static_cast<std::size_t>(i)];
          },
          py::return_value_policy::reference_internal)
      .def_readwrite("resolution_on", &RunParameters::resolution_on)
      .def_readwrite("report_interval", &RunParameters::report_interval)
      .def_readwrite("run_time", &RunParameters::run_time)
      .def_readwrite("save_interval", &RunParameters::save_interval)
      .def_readwrite("nsets_fixed", &RunParameters::nsets_fixed)
      .def_readwrite("nsets_qdep", &RunParameters::nsets_qdep)
      .def(
          "set",
          [](RunParameters& p, int i) -> DataSetSettings& {
            if (i < 0 || i >= max_sets) throw py::index_error("data set index out of range");
            return p.sets[static_cast<std::size_t>(i)];
          },
          py::return_value_policy::reference_internal)
      .def_property(
          "root", [](const RunParameters& p) { return p.root.substr(0, static_cast<std::size_t>(p.root_length)); },
          [](RunParameters& p, const std::string& v) {
            p.root = trimmed_right(v);
            p.root_length = static_cast<std::int32_t>(p.root.size());
          });

  m.attr("max_sets") = max_sets;
  m.attr("max_ranges") = max_ranges;
  m.def(
      "read_parameters",
      [](const std::string& path) {
        text::FreeReader reader = text::FreeReader::open(path);
        return read_parameters(reader);
      },
      py::arg("path"));
  m.def("parameters_from_text", &read_text, py::arg("name"), py::arg("text"));
  m.def("parameter_text", &parameter_file_text, py::arg("parameters"));
}

}  // namespace yosta::python

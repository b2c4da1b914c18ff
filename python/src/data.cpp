// The data files, import and the scattering weights, through the functions
// of yosta-tools.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "base/stop.h"
#include "bindings.h"
#include "tools/columns.h"
#include "tools/composition.h"
#include "tools/import.h"

namespace yosta::python {
namespace {

template <class T>
py::array_t<T> vector_array(const std::vector<T>& v) {
  py::array_t<T> a(static_cast<py::ssize_t>(v.size()));
  std::copy(v.begin(), v.end(), a.mutable_data());
  return a;
}

py::dict table_dict(const tools::Table& t) {
  py::dict d;
  d["path"] = t.path;
  const std::size_t width = t.width();
  py::array_t<double> a({static_cast<py::ssize_t>(t.rows.size()), static_cast<py::ssize_t>(width)});
  auto w = a.mutable_unchecked<2>();
  for (std::size_t i = 0; i < t.rows.size(); ++i)
    for (std::size_t j = 0; j < width; ++j) w(static_cast<py::ssize_t>(i), static_cast<py::ssize_t>(j)) = t.rows[i][j];
  d["rows"] = a;
  d["program_layout"] = t.program_layout;
  return d;
}

std::vector<std::vector<double>> rows_of(const py::array_t<double, py::array::c_style | py::array::forcecast>& a) {
  if (a.ndim() != 2) throw py::value_error("rows must be two-dimensional: one row a point");
  std::vector<std::vector<double>> rows(static_cast<std::size_t>(a.shape(0)));
  const std::size_t width = static_cast<std::size_t>(a.shape(1));
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i].assign(a.data() + i * width, a.data() + (i + 1) * width);
  return rows;
}

// The pairs and weights of a composition with isotope settings applied.
py::dict neutron_weights(const std::string& composition, const std::vector<std::string>& isotopes) {
  std::vector<tools::Site> sites = tools::parse_composition(composition);
  for (const std::string& iso : isotopes)
    for (const std::string& item : tools::split(iso, "; \t")) tools::apply_isotopes(sites, item, "isotopes");
  std::vector<double> b, sigma;
  for (const tools::SitePower& p : tools::neutron_powers(sites)) {
    b.push_back(p.b);
    sigma.push_back(p.sigma_s);
  }
  py::dict d;
  d["pairs"] = tools::pair_names(sites);
  d["weights"] = vector_array(tools::pair_weights(sites, b));
  std::vector<double> fractions;
  std::vector<std::string> names;
  for (const tools::Site& s : sites) {
    fractions.push_back(s.fraction);
    names.push_back(s.species.name());
  }
  d["sites"] = names;
  d["fractions"] = vector_array(fractions);
  d["b"] = vector_array(b);
  d["sigma_s"] = vector_array(sigma);
  return d;
}

py::dict xray_weights(const std::string& composition,
                      const py::array_t<double, py::array::c_style | py::array::forcecast>& Q, bool fsq) {
  const std::vector<tools::Site> sites = tools::parse_composition(composition);
  const std::vector<std::string> pairs = tools::pair_names(sites);
  py::array_t<double> w({static_cast<py::ssize_t>(Q.size()), static_cast<py::ssize_t>(pairs.size())});
  auto out = w.mutable_unchecked<2>();
  for (py::ssize_t k = 0; k < Q.size(); ++k) {
    const double q = Q.data()[k];
    if (!(q >= 0.0)) throw Stop("X-ray weights: Q = " + tools::format("%g", q) + " must be finite and not negative");
    const std::vector<double> row = tools::xray_pair_weights(sites, q, fsq);
    for (std::size_t j = 0; j < row.size(); ++j) out(k, static_cast<py::ssize_t>(j)) = row[j];
  }
  py::dict d;
  d["pairs"] = pairs;
  d["weights"] = w;
  return d;
}

}  // namespace

void bind_data(py::module_& m) {
  m.def(
      "read_table", [](const std::string& path) { return table_dict(tools::read_table(path)); }, py::arg("path"));
  m.def(
      "write_data_file",
      [](const std::string& path, const std::string& title, const std::string& heading,
         const py::array_t<double, py::array::c_style | py::array::forcecast>& rows) {
        tools::write_data_file(path, title, heading, rows_of(rows));
      },
      py::arg("path"), py::arg("title"), py::arg("heading"), py::arg("rows"));
  m.def(
      "import_data",
      [](const std::string& input, const std::string& output, double dq, bool shift, int rebin,
         const std::vector<double>& q_range, py::object error, bool sq, double scale, const std::string& grid_like,
         bool qdep) {
        tools::ImportOptions o;
        o.input = input;
        o.output = output;
        o.dq = dq;
        o.shift = shift;
        o.rebin = rebin;
        o.q_range = q_range;
        o.has_error = !error.is_none();
        if (o.has_error) o.error = error.cast<double>();
        o.sq = sq;
        o.scale = scale;
        o.grid_like = grid_like;
        o.qdep = qdep;
        if (!output.empty()) {
          tools::run_import(o);
          return table_dict(tools::read_table(output));
        }
        std::vector<std::string> steps;
        const tools::Series s = tools::prepare_import(tools::read_table(input), o, steps);
        const std::size_t width = s.rows.empty() ? 0 : s.rows.front().size();
        py::array_t<double> a({static_cast<py::ssize_t>(s.rows.size()), static_cast<py::ssize_t>(width + 1)});
        auto w = a.mutable_unchecked<2>();
        for (std::size_t i = 0; i < s.rows.size(); ++i) {
          w(static_cast<py::ssize_t>(i), 0) = s.q(i);
          for (std::size_t j = 0; j < width; ++j)
            w(static_cast<py::ssize_t>(i), static_cast<py::ssize_t>(j + 1)) = s.rows[i][j];
        }
        py::dict d;
        d["path"] = input;
        d["rows"] = a;
        d["steps"] = steps;
        return d;
      },
      py::arg("input"), py::arg("output") = "", py::arg("dq") = 0.0, py::arg("shift") = false, py::arg("rebin") = 1,
      py::arg("q_range") = std::vector<double>{}, py::arg("error") = py::none(), py::arg("sq") = false,
      py::arg("scale") = 1.0, py::arg("grid_like") = "", py::arg("qdep") = false);
  m.def("neutron_weights", &neutron_weights, py::arg("composition"), py::arg("isotopes") = std::vector<std::string>{});
  m.def("xray_weights", &xray_weights, py::arg("composition"), py::arg("Q"), py::arg("fsq") = true);
  m.def("singular_values", &tools::singular_values, py::arg("matrix"));
}

}  // namespace yosta::python

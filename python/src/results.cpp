// The result files (.g, .gsv, .out) and the statistics of several results,
// through the core's own readers and writers: every format has one home.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "bindings.h"
#include "formats/result_files.h"
#include "tools/statistics.h"

namespace yosta::python {
namespace {

using formats::GFile;
using formats::GsvFile;
using formats::OutFile;

template <class T>
py::array_t<T> vector_array(const std::vector<T>& v) {
  py::array_t<T> a(static_cast<py::ssize_t>(v.size()));
  std::copy(v.begin(), v.end(), a.mutable_data());
  return a;
}

// Rows of equal length as a two-dimensional array; `what` names it in messages.
py::array_t<float> table_array(const formats::Columns& t, std::size_t width) {
  py::array_t<float> a({static_cast<py::ssize_t>(t.size()), static_cast<py::ssize_t>(width)});
  auto w = a.mutable_unchecked<2>();
  for (std::size_t i = 0; i < t.size(); ++i)
    for (std::size_t j = 0; j < width; ++j) w(static_cast<py::ssize_t>(i), static_cast<py::ssize_t>(j)) = t[i][j];
  return a;
}

std::vector<float> float_vector(const py::array_t<float, py::array::c_style | py::array::forcecast>& a,
                                const char* what) {
  if (a.ndim() != 1) throw py::value_error(std::string(what) + " must be one-dimensional");
  return std::vector<float>(a.data(), a.data() + a.size());
}

formats::Columns float_table(const py::array_t<float, py::array::c_style | py::array::forcecast>& a, std::size_t nr,
                             const char* what) {
  if (a.ndim() != 2 || static_cast<std::size_t>(a.shape(1)) != nr)
    throw py::value_error(std::string(what) + " must have one row per basis function and one column per r point (" +
                          std::to_string(nr) + ")");
  formats::Columns t(static_cast<std::size_t>(a.shape(0)));
  for (std::size_t p = 0; p < t.size(); ++p) t[p].assign(a.data() + p * nr, a.data() + (p + 1) * nr);
  return t;
}

py::dict g_dict(const GFile& g) {
  py::dict d;
  d["path"] = g.path;
  d["generated"] = g.generated;
  d["accepted"] = g.accepted;
  d["r"] = vector_array(g.r);
  d["g"] = table_array(g.v, g.r.size());
  return d;
}

py::dict gsv_dict(const GsvFile& s) {
  py::dict d;
  d["path"] = s.path;
  d["nsaved"] = s.nsaved;
  d["collect_count"] = s.collect_count;
  d["r"] = vector_array(s.r);
  d["S1"] = table_array(s.S1, s.r.size());
  d["S2"] = table_array(s.S2, s.r.size());
  return d;
}

py::dict out_dict(const OutFile& o) {
  py::dict d;
  d["path"] = o.path;
  d["title"] = o.title;
  py::list sets;
  for (const OutFile::DataSetGraph& s : o.sets) {
    py::dict g;
    g["Q"] = vector_array(s.Q);
    g["fit"] = vector_array(s.model);
    g["broadened"] = s.ncurves == 4 ? py::object(vector_array(s.broadened)) : py::object(py::none());
    g["data"] = vector_array(s.data);
    g["background"] = vector_array(s.background);
    sets.append(g);
  }
  d["sets"] = sets;
  d["r"] = vector_array(o.r);
  d["g"] = table_array(o.g, o.r.size());
  d["Q_partial"] = vector_array(o.Q_partial);
  d["partial_sq"] = table_array(o.partial_sq, o.Q_partial.size());
  return d;
}

GFile g_of(const std::string& path, std::int32_t generated, std::int32_t accepted,
           const py::array_t<float, py::array::c_style | py::array::forcecast>& r,
           const py::array_t<float, py::array::c_style | py::array::forcecast>& g) {
  GFile f;
  f.path = path;
  f.generated = generated;
  f.accepted = accepted;
  f.r = float_vector(r, "r");
  f.v = float_table(g, f.r.size(), "g");
  return f;
}

GsvFile gsv_of(const std::string& path, std::int32_t nsaved, std::int32_t collect_count,
               const py::array_t<float, py::array::c_style | py::array::forcecast>& r,
               const py::array_t<float, py::array::c_style | py::array::forcecast>& S1,
               const py::array_t<float, py::array::c_style | py::array::forcecast>& S2) {
  GsvFile f;
  f.path = path;
  f.nsaved = nsaved;
  f.collect_count = collect_count;
  f.r = float_vector(r, "r");
  f.S1 = float_table(S1, f.r.size(), "S1");
  f.S2 = float_table(S2, f.r.size(), "S2");
  if (f.S1.size() != f.S2.size()) throw py::value_error("S1 and S2 must have the same number of basis functions");
  return f;
}

py::dict spread_dict(const tools::Spread& s) {
  py::dict d;
  d["source"] = s.source;
  d["nsets"] = s.nsets;
  d["r"] = vector_array(s.r);
  d["mean"] = table_array(s.mean, s.r.size());
  d["sd"] = table_array(s.sd, s.r.size());
  d["se"] = table_array(s.se, s.r.size());
  return d;
}

}  // namespace

void bind_files(py::module_& m) {
  m.def(
      "read_g", [](const std::string& path) { return g_dict(formats::read_g_file(path)); }, py::arg("path"));
  m.def(
      "read_gsv", [](const std::string& path) { return gsv_dict(formats::read_gsv_file(path)); }, py::arg("path"));
  m.def(
      "read_out", [](const std::string& path) { return out_dict(formats::read_out_file(path)); }, py::arg("path"));
  m.def(
      "write_g",
      [](const std::string& path, std::int32_t generated, std::int32_t accepted,
         const py::array_t<float, py::array::c_style | py::array::forcecast>& r,
         const py::array_t<float, py::array::c_style | py::array::forcecast>& g) {
        formats::write_whole(path, formats::g_text(g_of(path, generated, accepted, r, g)));
      },
      py::arg("path"), py::arg("generated"), py::arg("accepted"), py::arg("r"), py::arg("g"));
  m.def(
      "write_gsv",
      [](const std::string& path, std::int32_t nsaved, std::int32_t collect_count,
         const py::array_t<float, py::array::c_style | py::array::forcecast>& r,
         const py::array_t<float, py::array::c_style | py::array::forcecast>& S1,
         const py::array_t<float, py::array::c_style | py::array::forcecast>& S2) {
        formats::write_whole(path, formats::gsv_text(gsv_of(path, nsaved, collect_count, r, S1, S2)));
      },
      py::arg("path"), py::arg("nsaved"), py::arg("collect_count"), py::arg("r"), py::arg("S1"), py::arg("S2"));
  m.def(
      "merge_gsv",
      [](const std::vector<std::string>& paths) {
        std::vector<GsvFile> files;
        for (const std::string& p : paths) files.push_back(formats::read_gsv_file(p));
        return gsv_dict(tools::merge_gsv(files));
      },
      py::arg("paths"));
  m.def(
      "mean_g",
      [](const std::vector<std::string>& paths) {
        std::vector<GFile> files;
        for (const std::string& p : paths) files.push_back(formats::read_g_file(p));
        return g_dict(tools::mean_g(files));
      },
      py::arg("paths"));
  m.def(
      "gsv_of_states",
      [](const std::vector<std::string>& paths) {
        std::vector<GFile> files;
        for (const std::string& p : paths) files.push_back(formats::read_g_file(p));
        return gsv_dict(tools::gsv_of_states(files));
      },
      py::arg("paths"));
  m.def(
      "spread",
      [](const std::string& path, std::int32_t nsaved, std::int32_t collect_count,
         const py::array_t<float, py::array::c_style | py::array::forcecast>& r,
         const py::array_t<float, py::array::c_style | py::array::forcecast>& S1,
         const py::array_t<float, py::array::c_style | py::array::forcecast>& S2) {
        return spread_dict(tools::spread_of(gsv_of(path, nsaved, collect_count, r, S1, S2)));
      },
      py::arg("path"), py::arg("nsaved"), py::arg("collect_count"), py::arg("r"), py::arg("S1"), py::arg("S2"));
}

}  // namespace yosta::python

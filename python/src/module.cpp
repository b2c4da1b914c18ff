// _yosta: the core of YOSTA for the Python package `yosta`.
#include "bindings.h"

PYBIND11_MODULE(_yosta, m) {
  m.doc() = "The core of YOSTA: the fit, the parameter file and the result files (use the package yosta)";
  m.attr("version") = "3.0";
  yosta::python::bind_errors(m);
  yosta::python::bind_files(m);
  yosta::python::bind_data(m);
  yosta::python::bind_parameters(m);
  yosta::python::bind_fit(m);
}

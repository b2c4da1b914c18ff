// The parts of the extension module _yosta, each adding its functions and
// classes to the module.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace yosta::python {

namespace py = pybind11;

// yosta.InputError and the translation of a set-up stop into it.
void bind_errors(py::module_& m);
// The result files and their statistics.
void bind_files(py::module_& m);
// The data files, import and weights.
void bind_data(py::module_& m);
// The parameter file as an object.
void bind_parameters(py::module_& m);
// A fit in memory.
void bind_fit(py::module_& m);

}  // namespace yosta::python

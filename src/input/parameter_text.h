// The parameter file written from RunParameters: every record in the order
// read_parameters reads them, one record a line with a short label after its
// values, reals in the shortest form that reads back to the same value. The
// text read back gives the same parameters (for settings the file holds).
#pragma once

#include <string>

#include "input/parameters.h"

namespace yosta {

std::string parameter_file_text(const RunParameters& p);

}  // namespace yosta

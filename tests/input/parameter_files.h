// Parameter files for the tests of the parameter reader, built record by
// record, and the stops they cause.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/stop.h"
#include "input/parameters.h"
#include "text/free_reader.h"

namespace yosta::parameters_test {

// Block A of one fixed-coefficient set; `coefficients` is its record 4.
inline std::string block_a(const std::string& coefficients = "1.0", const std::string& file = "argon") {
  return file + "\n1 400    first and last point\n0.0\n" + coefficients + "\n0.01\nF\nF\nF\nF\nF";
}

// Block B: block A without the coefficients record.
inline std::string block_b(const std::string& file = "qdep") { return file + "\n1 400\n0.0\n0.01\nF\nF\nF\nF\nF"; }

// A parameter file as the records it is made of; an empty record is left out.
struct ParamText {
  std::string title = "Liquid argon, one partial";
  std::string start = "F";
  std::string live = "F";
  std::string plot_interval;  // record 4, only with live plotting
  std::string density = "0.02125  atoms per cubic Angstrom";
  std::string qdep = "F";
  std::string nbasis = "1";
  std::string zero = "0";  // the count and its records
  std::string max_change = "0.01";
  std::string mr_rmax = "4, 20.0";
  std::string save = "F";
  std::string nsave;
  std::string improved = "F";
  std::string positivity = "0";
  std::string coordination = "0";
  std::string smoothing = "F";  // record 16 and whatever of 17 to 19 follows
  std::string resolution = "F";
  std::string report = "100";
  std::string times = "60.0 10.0";
  std::string nsets = "1 0";
  std::vector<std::string> blocks{block_a()};
  std::string root = "argon_out";

  std::string text() const {
    std::string out;
    for (const std::string* r :
         {&title,        &start,      &live,       &plot_interval, &density, &qdep,     &nbasis,
          &zero,         &max_change, &mr_rmax,    &save,          &nsave,   &improved, &positivity,
          &coordination, &smoothing,  &resolution, &report,        &times,   &nsets})
      if (!r->empty()) out += *r + "\n";
    for (const std::string& b : blocks) out += b + "\n";
    out += root + "\n";
    return out;
  }
};

inline RunParameters parse(const std::string& text) {
  std::istringstream in(text);
  text::FreeReader reader("params.dat", in);
  return read_parameters(reader);
}

// The message of the stop the file causes, or "" when it is accepted.
inline std::string stop_message(const std::string& text) {
  try {
    parse(text);
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, 1);
    // The program's message; a second line, when there is one, is checked
    // by the tests of the explanations.
    return stop.lines.empty() ? std::string() : stop.lines.front();
  }
  return "";
}

// Every line of the stop, each ended by a newline.
inline std::string stop_text(const std::string& text) {
  try {
    parse(text);
  } catch (const Stop& stop) {
    std::string joined;
    for (const std::string& line : stop.lines) joined += line + "\n";
    return joined;
  }
  return "";
}

inline std::string repeated(const std::string& record, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += "\n" + record;
  return out;
}

}  // namespace yosta::parameters_test

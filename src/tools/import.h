// yosta-tools import: measured F(Q) or S(Q) files onto the program's Q grid
// (Q_k = k dq) and into its data-file layout.
#pragma once

#include <string>
#include <vector>

#include "tools/columns.h"

namespace yosta::tools {

struct ImportOptions {
  std::string input;
  std::string output;
  double dq = 0.0;              // 0: from the first and last Q of the input
  bool shift = false;           // bin centres: shift Q by +dq/2 instead of interpolating
  int rebin = 1;                // average this many neighbouring points
  std::vector<double> q_range;  // empty or {qmin, qmax}
  bool has_error = false;       // replace or add the error column with `error`
  double error = 0.0;
  bool sq = false;  // the input holds S(Q): write scale (S - 1)
  double scale = 1.0;
  std::string grid_like;  // put the result on this data file's Q grid
  bool qdep = false;      // the columns after F are coefficients, no error column
};

// Points on a uniform grid: point i lies at Q = (k0 + i + (centred ? 1/2 : 0)) dq.
// Each row holds F, then the error when has_error, then coefficient columns.
struct Series {
  double dq = 0.0;
  long k0 = 0;
  bool centred = false;
  bool has_error = false;
  std::vector<std::vector<double>> rows;
  double q(std::size_t i) const {
    return (static_cast<double>(k0) + static_cast<double>(i) + (centred ? 0.5 : 0.0)) * dq;
  }
};

// Everything but the writing and the point limit: the result and the steps
// taken, one line each, in order. Throws Stop on bad input.
Series prepare_import(const Table& table, const ImportOptions& o, std::vector<std::string>& steps);

// The whole subcommand: prepare, check the point limit, write, report.
void run_import(const ImportOptions& o);

}  // namespace yosta::tools

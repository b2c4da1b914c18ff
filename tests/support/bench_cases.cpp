#include "support/bench_cases.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace yosta::bench {
namespace {

// A smooth partial structure factor S(Q) - 1 with a main peak near 2 pi / d.
double partial(int p, double Q) {
  const double d = 2.4 + 0.5 * p;
  const double x = Q * d;
  return 1.5 * std::sin(x) / x * std::exp(-0.004 * Q * Q * d * d) - 0.3 * std::exp(-Q * Q / 4.0);
}

// Well-conditioned weights of basis function p in data set s.
double weight(int s, int p) { return s == p ? 1.0 : 0.25 + 0.1 * (s + p); }

// The same weights varying gently with Q (Q-dependent cases), in the
// precision the data file carries.
double weight_at(const CaseSize& size, int s, int p, double Q) {
  if (!size.qdep) return weight(s, p);
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", weight(s, p) * (1.0 + 0.1 * std::sin(0.3 * Q + p)));
  return std::atof(text);
}

}  // namespace

std::string write_case(const CaseSize& size, const std::string& folder) {
  const double dq = 0.05;
  const int offset = 9;  // Q_1 = 0.5
  for (int s = 1; s <= size.nsets; ++s) {
    std::ofstream data(folder + "/" + size.name + "_set" + std::to_string(s) + ".dat");
    data << size.nq << "\n  Q   F(Q)   (synthetic)\n";
    unsigned state = 12345u + 977u * static_cast<unsigned>(s);
    for (int k = 1; k <= size.nq; ++k) {
      const double Q = (k + offset) * dq;
      double F = 0;
      for (int p = 1; p <= size.nbasis; ++p) F += weight_at(size, s, p, Q) * partial(p, Q);
      state = state * 1103515245u + 12345u;
      const double noise = 0.01 * ((state >> 8) / 16777216.0 - 0.5);
      char line[96];
      std::snprintf(line, sizeof line, "%.6f %.7g", Q, F + noise);
      data << line;
      for (int p = 1; size.qdep && p <= size.nbasis; ++p) {
        std::snprintf(line, sizeof line, " %.6f", weight_at(size, s, p, Q));
        data << line;
      }
      data << "\n";
    }
  }
  const std::string param = folder + "/" + size.name + ".dat";
  std::ofstream out(param);
  out << "Benchmark case " << size.name << "\nF\n";
  if (size.plot_interval > 0)
    out << "T\n" << size.plot_interval << "\n";
  else
    out << "F\n";
  out << "0.1\n" << (size.qdep ? "T" : "F") << "\n" << size.nbasis << "\n";
  out << "0\n";                            // zero constraints
  out << "0.05\n2 " << size.rmax << "\n";  // max_change; Mr, rmax
  out << "F\nF\n";                         // save_targets, improved_only
  out << "0\n0\n";                         // positivity, coordination
  if (size.gaussian) {
    // Two ranges of 21-point bumps (sigma 0.195 A over dr 0.0567 A: 10 points a side).
    out << "T\n3\n2\n0.46 " << size.rmax / 2 << "\n0.46 " << size.rmax + 1 << "\n";
  } else {
    out << "F\n";
  }
  out << (size.resolution ? "T\n" : "F\n");
  out << "1000000000\n";     // report_interval
  out << "100000 100000\n";  // run_time, save_interval
  out << (size.qdep ? 0 : size.nsets) << " " << (size.qdep ? size.nsets : 0) << "\n";
  for (int s = 1; s <= size.nsets; ++s) {
    out << folder << "/" << size.name << "_set" << s << "\n1 " << size.nq << "\n0.0\n";
    for (int p = 1; !size.qdep && p <= size.nbasis; ++p) out << weight(s, p) << (p < size.nbasis ? " " : "\n");
    out << "0.01\n";
    if (size.resolution) out << "0.2 0.0 0.0 0.3\n";  // wavelength, u, v, w
    out << "F\nT\nT\nF\nF\n";                         // rezero and linear corrections
  }
  out << folder << "/" << size.name << "_out\n";
  if (!out) throw std::runtime_error("cannot write " + param);
  return param;
}

}  // namespace yosta::bench

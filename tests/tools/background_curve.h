// A measured-like F(Q) for the tests of yosta-tools background: one partial
// with a known structure plus a slowly varying artefact.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace yosta::testing::background {

constexpr double pi = 3.14159265358979323846;
constexpr double rho = 0.1;

// F(Q) of one partial with weight w whose g(r) is 0 below 1.5 A and 1 + a Gaussian
// shell at 2.8 A beyond: w (S(Q) - 1), S - 1 = 4 pi rho int r^2 (g - 1) sin(Qr)/(Qr) dr,
// by a fine midpoint sum out to 12 A. Its transform below 1.5 A is -w, so a background
// removal with sum of weights w must leave it nearly unchanged.
double structure(double q, double w) {
  double s = 0.0;
  const double dr = 0.002;
  for (double r = 0.5 * dr; r < 12.0; r += dr) {
    const double g = r < 1.5 ? 0.0 : 1.0 + 1.5 * std::exp(-0.5 * std::pow((r - 2.8) / 0.15, 2));
    s += r * r * (g - 1.0) * std::sin(q * r) / (q * r);
  }
  return w * 4.0 * pi * rho * s * dr;
}

// A slowly varying artefact, 0.2 at Q = 0 falling off over about 6 inverse A: its
// transform lies within about 0.3 A of r = 0.
double artefact(double q) { return -0.2 * std::exp(-0.5 * std::pow(q / 6.0, 2)); }

struct Curve {
  std::vector<double> q, clean, measured;
};

Curve curve() {
  Curve c;
  for (int k = 4; k <= 600; ++k) {  // Q 0.2 to 30 in steps of 0.05
    const double q = 0.05 * k;
    c.q.push_back(q);
    c.clean.push_back(structure(q, 0.4));
    c.measured.push_back(c.clean.back() + artefact(q));
  }
  return c;
}

std::string data_file(const Curve& c, bool errors) {
  std::string t = std::to_string(c.q.size()) + "  a test set\nQ F err\n";
  for (std::size_t k = 0; k < c.q.size(); ++k) {
    char row[100];
    std::snprintf(row, sizeof row, errors ? "%.4f %.8e 0.0025\n" : "%.4f %.8e\n", c.q[k], c.measured[k]);
    t += row;
  }
  return t;
}

double rms(const std::vector<double>& a, const std::vector<double>& b) {
  double s = 0.0;
  for (std::size_t k = 0; k < a.size(); ++k) s += (a[k] - b[k]) * (a[k] - b[k]);
  return std::sqrt(s / static_cast<double>(a.size()));
}
}  // namespace yosta::testing::background

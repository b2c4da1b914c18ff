// Generates the bundled example of YOSTA: a binary Lennard-Jones liquid A-B whose
// partial pair-distribution functions come from the Ornstein-Zernike equation with the
// hypernetted-chain (HNC) closure, and three synthetic "neutron" total structure factors
// of it with Gaussian noise.
//
// Build and run (from the repository's top folder):
//   g++ -O2 -std=c++20 -Wall -Wextra -o /tmp/make_binary_example tools/example/make_binary_example.cpp
//   /tmp/make_binary_example examples
//
// Writes into the given folder (default "."):
//   binary_F1.dat, binary_F2.dat, binary_F3.dat  the three totals, Q-dependent-coefficient
//                                                layout: Q, F, w_AA, w_AB, w_BB
//   binary_true_gr.txt                           r, g_AA, g_AB, g_BB (the known answer)
//   binary_true_sq.txt                           Q, S_AA, S_AB, S_BB (Faber-Ziman partials)
// and prints a summary of the solution (iterations, residual, peaks, condition number).
//
// Everything is deterministic: the noise comes from a fixed-seed 64-bit Mersenne twister
// whose raw output is turned into Gaussian numbers here (Box-Muller), not by the
// library's distributions, so the numbers do not depend on the C++ library.

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double pi = 3.14159265358979323846;

// ---------------------------------------------------------------- physical model
// Species A (index 0) and B (index 1); lengths in Angstrom, energies in kelvin.
constexpr double sigma_A = 3.0, sigma_B = 3.75;
constexpr double eps_A = 120.0, eps_B = 165.0;
constexpr double x_A = 0.5, x_B = 0.5;  // mole fractions
constexpr double density = 0.0200;      // total number density, atoms / A^3
constexpr double temperature = 140.0;   // kelvin

// Lorentz-Berthelot mixing rules for the unlike pair.
double pair_sigma(int i, int j) {
  const double s[2] = {sigma_A, sigma_B};
  return 0.5 * (s[i] + s[j]);
}
double pair_eps(int i, int j) {
  const double e[2] = {eps_A, eps_B};
  return std::sqrt(e[i] * e[j]);
}
// beta u_ij(r) for the full (untruncated) Lennard-Jones potential.
double beta_u(int i, int j, double r) {
  const double sr6 = std::pow(pair_sigma(i, j) / r, 6.0);
  return 4.0 * pair_eps(i, j) / temperature * (sr6 * sr6 - sr6);
}

// ---------------------------------------------------------------- radial grid
constexpr int N = 4096;               // r_i = i dr, i = 1 .. N-1
constexpr double dr = 0.01;           // Angstrom
constexpr double dk = pi / (N * dr);  // k_j = j dk

// Pairs AA, AB, BB stored in that order.
constexpr int npair = 3;
constexpr int pair_i[npair] = {0, 0, 1};
constexpr int pair_j[npair] = {0, 1, 1};

// ---------------------------------------------------------------- sine transforms
// In-place radix-2 complex FFT (forward, exp(-i...)), size a power of two.
void fft(std::vector<std::complex<double>>& a) {
  const std::size_t n = a.size();
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (std::size_t len = 2; len <= n; len <<= 1) {
    const double ang = -2.0 * pi / static_cast<double>(len);
    const std::complex<double> wl(std::cos(ang), std::sin(ang));
    for (std::size_t i = 0; i < n; i += len) {
      std::complex<double> w(1.0, 0.0);
      for (std::size_t k = 0; k < len / 2; ++k) {
        const std::complex<double> u = a[i + k];
        const std::complex<double> v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
        w *= wl;
      }
    }
  }
}

// X_j = sum_{i=1}^{N-1} x_i sin(pi i j / N), j = 1 .. N-1 (x[0] and X[0] unused, zero).
void dst1(const std::vector<double>& x, std::vector<double>& out) {
  std::vector<std::complex<double>> y(2 * N, 0.0);
  for (int i = 1; i < N; ++i) {
    y[i] = x[i];
    y[2 * N - i] = -x[i];
  }
  fft(y);
  out.assign(N, 0.0);
  for (int j = 1; j < N; ++j) out[j] = -0.5 * y[j].imag();
}

// f^(k) = 4 pi / k * int r f(r) sin(kr) dr on the k grid.
void forward(const std::vector<double>& f, std::vector<double>& fk) {
  std::vector<double> x(N, 0.0);
  for (int i = 1; i < N; ++i) x[i] = i * dr * f[i];
  dst1(x, fk);
  for (int j = 1; j < N; ++j) fk[j] *= 4.0 * pi * dr / (j * dk);
}

// f(r) = 1 / (2 pi^2 r) * int k f^(k) sin(kr) dk on the r grid.
void inverse(const std::vector<double>& fk, std::vector<double>& f) {
  std::vector<double> x(N, 0.0);
  for (int j = 1; j < N; ++j) x[j] = j * dk * fk[j];
  dst1(x, f);
  for (int i = 1; i < N; ++i) f[i] *= dk / (2.0 * pi * pi * i * dr);
}

// ---------------------------------------------------------------- OZ + HNC
struct Solution {
  std::array<std::vector<double>, npair> gamma, c, g;
  int iterations = 0;
  double residual = 0;
};

// The 2x2 OZ relation at one k: given rho c^_ij, returns rho h^_ij, both for the pairs
// AA, AB, BB, with the mole fractions folded in symmetrically:
// C'_ij = sqrt(x_i x_j) rho c^_ij, H' = (I - C')^-1 C', rho h^_ij = H'_ij / sqrt(x_i x_j).
std::array<double, 3> oz(const std::array<double, 3>& rc) {
  const double sa = std::sqrt(x_A), sb = std::sqrt(x_B);
  const double c11 = x_A * rc[0], c12 = sa * sb * rc[1], c22 = x_B * rc[2];
  // I - C'
  const double a11 = 1.0 - c11, a12 = -c12, a22 = 1.0 - c22;
  const double det = a11 * a22 - a12 * a12;
  // (I - C')^-1
  const double i11 = a22 / det, i12 = -a12 / det, i22 = a11 / det;
  const double h11 = i11 * c11 + i12 * c12;
  const double h12 = i11 * c12 + i12 * c22;
  const double h22 = i12 * c12 + i22 * c22;
  return {h11 / x_A, h12 / (sa * sb), h22 / x_B};
}

// Solves at temperature t starting from the gamma already in s: Picard iteration
// gamma -> A(gamma) (closure, transform, OZ, back transform), accelerated by Ng's method
// (the next input is the combination of the last three outputs whose residual is least).
// A damped Picard step is taken while fewer than three iterates exist or when the
// residual has grown.
void solve_at(Solution& s, double t, double tolerance) {
  std::array<std::vector<double>, npair> bu;
  for (int p = 0; p < npair; ++p) {
    bu[p].assign(N, 0.0);
    for (int i = 1; i < N; ++i) bu[p][i] = beta_u(pair_i[p], pair_j[p], i * dr) * temperature / t;
  }
  auto closure = [&](int p) {
    for (int i = 1; i < N; ++i) {
      const double e = -bu[p][i] + s.gamma[p][i];
      const double g = e < -700.0 ? 0.0 : std::exp(e);
      s.g[p][i] = g;
      s.c[p][i] = g - 1.0 - s.gamma[p][i];
    }
  };
  // One flat vector per iterate: the three pairs one after the other.
  const std::size_t len = static_cast<std::size_t>(npair) * N;
  std::vector<std::vector<double>> in, out;  // last three inputs and outputs, newest last
  std::array<std::vector<double>, npair> ck, gk, gnew;
  double last = 1e300;
  int fresh = 0;  // iterates since the last restart of the history
  for (int it = 1; it <= 20000; ++it) {
    for (int p = 0; p < npair; ++p) {
      closure(p);
      forward(s.c[p], ck[p]);
      gk[p].assign(N, 0.0);
    }
    for (int j = 1; j < N; ++j) {
      const std::array<double, 3> rc = {density * ck[0][j], density * ck[1][j], density * ck[2][j]};
      const std::array<double, 3> rh = oz(rc);
      for (int p = 0; p < npair; ++p) gk[p][j] = (rh[p] - rc[p]) / density;
    }
    std::vector<double> x(len), f(len);
    double res = 0;
    for (int p = 0; p < npair; ++p) {
      inverse(gk[p], gnew[p]);
      for (int i = 1; i < N; ++i) {
        x[p * N + i] = s.gamma[p][i];
        f[p * N + i] = gnew[p][i];
        res += (gnew[p][i] - s.gamma[p][i]) * (gnew[p][i] - s.gamma[p][i]);
      }
    }
    res = std::sqrt(res * dr);
    s.residual = res;
    ++s.iterations;
    // Progress, for tuning.
    if (std::getenv("HNC_VERBOSE") && it % 50 == 0) std::printf("T %.1f it %d res %.3e\n", t, it, res);
    if (!(res < 1e6) || res < tolerance) break;
    if (res > 2.0 * last) {  // going astray: forget the history, damp
      in.clear();
      out.clear();
      fresh = 0;
    }
    last = res;
    in.push_back(x);
    out.push_back(f);
    if (in.size() > 3) {
      in.erase(in.begin());
      out.erase(out.begin());
    }
    ++fresh;
    std::vector<double> next(len);
    bool ng = false;
    if (fresh >= 3) {
      // d_n = f_n - x_n; minimise |d_n - c1 (d_n - d_n-1) - c2 (d_n - d_n-2)|.
      double a11 = 0, a12 = 0, a22 = 0, b1 = 0, b2 = 0;
      for (std::size_t i = 0; i < len; ++i) {
        const double d0 = out[2][i] - in[2][i], d1 = out[1][i] - in[1][i], d2 = out[0][i] - in[0][i];
        const double e1 = d0 - d1, e2 = d0 - d2;
        a11 += e1 * e1;
        a12 += e1 * e2;
        a22 += e2 * e2;
        b1 += d0 * e1;
        b2 += d0 * e2;
      }
      const double det = a11 * a22 - a12 * a12;
      if (std::fabs(det) > 1e-14 * a11 * a22) {
        const double c1 = (b1 * a22 - b2 * a12) / det, c2 = (a11 * b2 - a12 * b1) / det;
        for (std::size_t i = 0; i < len; ++i) next[i] = (1.0 - c1 - c2) * out[2][i] + c1 * out[1][i] + c2 * out[0][i];
        ng = true;
      }
    }
    if (!ng)
      for (std::size_t i = 0; i < len; ++i) next[i] = x[i] + 0.1 * (f[i] - x[i]);
    for (int p = 0; p < npair; ++p)
      for (int i = 1; i < N; ++i) s.gamma[p][i] = next[p * N + i];
  }
  for (int p = 0; p < npair; ++p) closure(p);
}

// Starts from gamma = 0 at a high temperature, where the iteration converges easily at
// liquid density, and cools down to the model's temperature in steps.
Solution solve_hnc() {
  Solution s;
  for (int p = 0; p < npair; ++p) {
    s.gamma[p].assign(N, 0.0);
    s.c[p].assign(N, 0.0);
    s.g[p].assign(N, 0.0);
  }
  const int steps = 12;
  for (int n = steps; n >= 0; --n) {
    const double t = temperature * std::pow(4.0, static_cast<double>(n) / steps);
    solve_at(s, t, n == 0 ? 1e-11 : 1e-7);
    if (!(s.residual < 1e6)) break;
  }
  return s;
}

// ---------------------------------------------------------------- noise
// Standard normal numbers from the raw 64-bit Mersenne twister (Box-Muller).
class Gauss {
 public:
  explicit Gauss(std::uint64_t seed) : eng_(seed) {}
  double next() {
    if (have_) {
      have_ = false;
      return spare_;
    }
    double u1 = 0;
    do u1 = uniform();
    while (u1 <= 0.0);
    const double u2 = uniform();
    const double m = std::sqrt(-2.0 * std::log(u1));
    spare_ = m * std::sin(2.0 * pi * u2);
    have_ = true;
    return m * std::cos(2.0 * pi * u2);
  }

 private:
  double uniform() { return static_cast<double>(eng_() >> 11) * (1.0 / 9007199254740992.0); }
  std::mt19937_64 eng_;
  bool have_ = false;
  double spare_ = 0;
};

// ---------------------------------------------------------------- contrasts
// Neutron-like scattering lengths (units of 10^-12 cm, so weights come out in barns) of
// the natural and the substituted isotope of each species.
constexpr double b_A = 0.70, b_A_sub = -0.35;
constexpr double b_B = 0.70, b_B_sub = 0.15;
struct Contrast {
  const char* name;
  double bA, bB;
};
constexpr Contrast contrasts[3] = {
    {"natural A, natural B", b_A, b_B},
    {"substituted A, natural B", b_A_sub, b_B},
    {"natural A, substituted B", b_A, b_B_sub},
};
// Faber-Ziman weights w_ij = (2 - delta_ij) c_i c_j b_i b_j.
std::array<double, 3> weights(const Contrast& ct) {
  return {x_A * x_A * ct.bA * ct.bA, 2.0 * x_A * x_B * ct.bA * ct.bB, x_B * x_B * ct.bB * ct.bB};
}

// Condition number (ratio of largest to smallest singular value) of a 3x3 matrix, from
// the eigenvalues of W^T W by Jacobi rotations.
double condition_number(const std::array<std::array<double, 3>, 3>& w, std::array<double, 3>& sv) {
  double a[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      a[i][j] = 0;
      for (int k = 0; k < 3; ++k) a[i][j] += w[k][i] * w[k][j];
    }
  for (int sweep = 0; sweep < 100; ++sweep) {
    for (int p = 0; p < 3; ++p)
      for (int q = p + 1; q < 3; ++q) {
        if (std::fabs(a[p][q]) < 1e-30) continue;
        const double theta = 0.5 * std::atan2(2.0 * a[p][q], a[q][q] - a[p][p]);
        const double c = std::cos(theta), s = std::sin(theta);
        for (int k = 0; k < 3; ++k) {  // rows
          const double akp = a[k][p], akq = a[k][q];
          a[k][p] = c * akp - s * akq;
          a[k][q] = s * akp + c * akq;
        }
        for (int k = 0; k < 3; ++k) {  // columns
          const double apk = a[p][k], aqk = a[q][k];
          a[p][k] = c * apk - s * aqk;
          a[q][k] = s * apk + c * aqk;
        }
      }
  }
  for (int i = 0; i < 3; ++i) sv[i] = std::sqrt(std::fabs(a[i][i]));
  double mx = sv[0], mn = sv[0];
  for (double v : sv) {
    mx = std::max(mx, v);
    mn = std::min(mn, v);
  }
  return mx / mn;
}

// ---------------------------------------------------------------- output grid
// The data's Q grid obeys the program's rule Q_k = (k + offset) dq.
constexpr double data_dq = 0.05;
constexpr int data_offset = 5;      // Q_1 = 0.30
constexpr int data_nq = 395;        // Q_nq = 20.00
constexpr double noise_sd = 0.003;  // barn, the same for every point and every contrast
constexpr std::uint64_t noise_seed = 20240611;

FILE* open_out(const std::string& dir, const char* name) {
  const std::string path = dir + "/" + name;
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  const Solution s = solve_hnc();
  std::printf("HNC: %d iterations, residual %.3e\n", s.iterations, s.residual);
  if (!(s.residual < 1e-9)) {
    std::fprintf(stderr, "the OZ/HNC iteration did not converge\n");
    return 1;
  }

  // Partial structure factors S_ij(Q) - 1 = rho h^_ij(Q) at the data points, from the
  // direct correlation functions (short-ranged) through the OZ relation; the direct
  // transform of h is computed as a check.
  std::vector<double> q(data_nq + 1);
  std::array<std::vector<double>, npair> sq;
  double check = 0;
  for (int p = 0; p < npair; ++p) sq[p].assign(data_nq + 1, 0.0);
  for (int k = 1; k <= data_nq; ++k) {
    q[k] = (k + data_offset) * data_dq;
    std::array<double, 3> rc{}, rh_direct{};
    for (int p = 0; p < npair; ++p) {
      double sc = 0, sh = 0;
      for (int i = 1; i < N; ++i) {
        const double r = i * dr, sn = std::sin(q[k] * r);
        sc += r * s.c[p][i] * sn;
        sh += r * (s.g[p][i] - 1.0) * sn;
      }
      rc[p] = density * 4.0 * pi * dr * sc / q[k];
      rh_direct[p] = density * 4.0 * pi * dr * sh / q[k];
    }
    const std::array<double, 3> rh = oz(rc);
    for (int p = 0; p < npair; ++p) {
      sq[p][k] = rh[p];
      check = std::max(check, std::fabs(rh[p] - rh_direct[p]));
    }
  }
  std::printf("largest difference of S(Q) from OZ and from the direct transform: %.2e\n", check);

  // Peaks of g(r), for the README.
  const char* pname[npair] = {"AA", "AB", "BB"};
  for (int p = 0; p < npair; ++p) {
    int best = 1;
    for (int i = 1; i < N; ++i)
      if (s.g[p][i] > s.g[p][best]) best = i;
    int kb = 1;
    for (int k = 1; k <= data_nq; ++k)
      if (sq[p][k] > sq[p][kb]) kb = k;
    std::printf("g_%s: main peak %.3f at r = %.2f A; S_%s: main peak %.3f at Q = %.2f, S(Q_1) = %.3f\n", pname[p],
                s.g[p][best], best * dr, pname[p], 1.0 + sq[p][kb], q[kb], 1.0 + sq[p][1]);
  }

  std::array<std::array<double, 3>, 3> wmat{};
  for (int c = 0; c < 3; ++c) wmat[c] = weights(contrasts[c]);
  std::array<double, 3> sv{};
  const double cond = condition_number(wmat, sv);
  std::printf("weight matrix singular values %.4f %.4f %.4f, condition number %.2f\n", sv[0], sv[1], sv[2], cond);

  Gauss gauss(noise_seed);
  for (int c = 0; c < 3; ++c) {
    char name[32];
    std::snprintf(name, sizeof name, "binary_F%d.dat", c + 1);
    FILE* f = open_out(dir, name);
    const std::array<double, 3> w = wmat[c];
    std::fprintf(f, "%6d   binary LJ liquid (OZ/HNC), contrast %d: %s\n", data_nq, c + 1, contrasts[c].name);
    std::fprintf(f, "Q(1/A) F(barn) w_AA w_AB w_BB | noise sd %.4f, seed %llu, rho %.4f, T %.0f K\n", noise_sd,
                 static_cast<unsigned long long>(noise_seed), density, temperature);
    double fmin = 1e30, fmax = -1e30;
    for (int k = 1; k <= data_nq; ++k) {
      double fq = 0;
      for (int p = 0; p < npair; ++p) fq += w[p] * sq[p][k];
      fmin = std::min(fmin, fq);
      fmax = std::max(fmax, fq);
      fq += noise_sd * gauss.next();
      std::fprintf(f, "%7.3f %12.6f %9.6f %9.6f %9.6f\n", q[k], fq, w[0], w[1], w[2]);
    }
    std::fclose(f);
    std::printf("%s: w = %.4f %.4f %.4f, noise-free F from %.4f to %.4f\n", name, w[0], w[1], w[2], fmin, fmax);
  }

  {
    FILE* f = open_out(dir, "binary_true_sq.txt");
    std::fprintf(f, "%6d   partial structure factors of the binary LJ liquid (OZ/HNC)\n", data_nq);
    std::fprintf(f, "Q(1/A) S_AA S_AB S_BB  (Faber-Ziman: S_ij - 1 = 4 pi rho int r^2 (g_ij - 1) sin(Qr)/(Qr) dr)\n");
    for (int k = 1; k <= data_nq; ++k)
      std::fprintf(f, "%7.3f %10.6f %10.6f %10.6f\n", q[k], 1.0 + sq[0][k], 1.0 + sq[1][k], 1.0 + sq[2][k]);
    std::fclose(f);
  }
  {
    const int step = 2, last = 2000;  // r = 0.02 .. 20.00 Angstrom
    FILE* f = open_out(dir, "binary_true_gr.txt");
    std::fprintf(f, "%6d   partial g(r) of the binary LJ liquid (OZ/HNC)\n", last / step);
    std::fprintf(f, "r(A) g_AA g_AB g_BB\n");
    for (int i = step; i <= last; i += step)
      std::fprintf(f, "%6.2f %10.6f %10.6f %10.6f\n", i * dr, s.g[0][i], s.g[1][i], s.g[2][i]);
    std::fclose(f);
  }
  return 0;
}

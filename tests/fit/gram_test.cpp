// The Gram blocks formed from T arrays: the cosine they are summed with, their
// entries against the blocks summed from the kernel itself, the rows the
// cycle adds to D (every instruction set the same bits), the rows of whole
// Gaussian bumps, and which sets may use them.
#include "fit/gram.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fit/kept_run.h"
#include "model/transform.h"

namespace yosta {
namespace {

std::size_t u(int i) { return static_cast<std::size_t>(i); }

TEST(TurnCos, AgreesWithALongDoubleCosineOverWholeTables) {
  for (std::int64_t P : {1, 2, 3, 4, 7, 8, 12, 360, 2219, 2220, 16500}) {
    double worst = 0.0;
    for (std::int64_t n = 0; n < 2 * P + 3; ++n) {
      const long double angle =
          2.0L * 3.14159265358979323846264338327950288L * static_cast<long double>(n % P) / static_cast<long double>(P);
      const double expected = static_cast<double>(std::cos(angle));
      worst = std::max(worst, std::fabs(turn_cos(n, P) - expected));
    }
    EXPECT_LE(worst, 3e-16) << "P " << P;
  }
  // Whole and half turns exactly, quarter turns a zero.
  EXPECT_EQ(turn_cos(0, 2220), 1.0);
  EXPECT_EQ(turn_cos(2220, 2220), 1.0);
  EXPECT_EQ(turn_cos(1110, 2220), -1.0);
  EXPECT_EQ(turn_cos(555, 2220), 0.0);
  EXPECT_EQ(turn_cos(1665, 2220), 0.0);
}

// The block of families f, g of set s summed from the single-precision kernel
// values in double: sum_k w_k c_f c_g K(k, i) K(k, j).
std::vector<double> gram_from_kernel(const Run& run, int s, int families, int f, int g) {
  const int nr = run.model.r.nr, nq = run.model.q.nq;
  const DataSet& set = run.model.sets[u(s)];
  std::vector<std::vector<float>> K(u(nr) + 1, std::vector<float>(u(nq) + 1));
  for (int j = 1; j <= nr; ++j) kernel_row(run.model, j, K[u(j)].data());
  std::vector<double> G(u(nr) * u(nr));
  for (int i = 1; i <= nr; ++i) {
    for (int j = 1; j <= nr; ++j) {
      double sum = 0.0;
      for (int k = set.settings.q_first; k <= set.settings.q_last; ++k) {
        double c = 1.0;
        if (families > 1) c = double(set.coef[u(f + 1)][u(k)]) * double(set.coef[u(g + 1)][u(k)]);
        sum += set.inv_var[u(k)] * c * double(K[u(i)][u(k)]) * double(K[u(j)][u(k)]);
      }
      G[u(i - 1) * u(nr) + u(j - 1)] = sum;
    }
  }
  return G;
}

struct GramCase {
  const char* name;
  fit_test::KeptConfig config;
};

std::vector<GramCase> gram_cases() {
  using fit_test::KeptConfig;
  return {
      {"flat", KeptConfig{"flat"}},
      {"flat_cut_range", KeptConfig{"flat_cut", false, false, false, false, true, true, false, 9, 52}},
      {"varying", KeptConfig{"varying", false, false, true}},
      {"varying_gaussian", KeptConfig{"varying_gaussian", true, false, true, false, false, false, false, 4, 66}},
  };
}

// The kernel rounds every value to single precision and T does not, so the
// two differ by that rounding: far below the 1e-4 to 1e-5 to which the
// r-space walks agree with the Q-space passes.
TEST(ToeplitzGram, EntriesMatchTheBlocksSummedFromTheKernel) {
  for (const GramCase& c : gram_cases()) {
    auto run = fit_test::kept_run(c.config);
    const int nr = run->model.r.nr;
    const int families = c.config.varying_coef ? run->params.nbasis : 1;
    for (int s = 1; s <= run->params.nsets; ++s) {
      ASSERT_TRUE(toeplitz_applies(run->params, run->model, run->model.sets[u(s)]));
      ToeplitzGram tg;
      build_toeplitz_gram(run->params, run->model, run->model.sets[u(s)], families, tg);
      double worst = 0.0;
      for (int f = 0; f < families; ++f) {
        const std::vector<double> Gff = gram_from_kernel(*run, s, families, f, f);
        for (int g = 0; g < families; ++g) {
          const std::vector<double> Gfg = f == g ? Gff : gram_from_kernel(*run, s, families, f, g);
          const std::vector<double> Ggg = f == g ? Gff : gram_from_kernel(*run, s, families, g, g);
          for (int i = 1; i <= nr; ++i) {
            for (int j = 1; j <= nr; ++j) {
              const double scale = std::sqrt(Gff[u(i - 1) * u(nr) + u(i - 1)] * Ggg[u(j - 1) * u(nr) + u(j - 1)]);
              const double d = std::fabs(tg.entry(f, g, i, j) - Gfg[u(i - 1) * u(nr) + u(j - 1)]);
              worst = std::max(worst, d / scale);
              // Symmetric to the bit, like the dense blocks.
              ASSERT_EQ(tg.entry(f, g, i, j), tg.entry(g, f, j, i)) << c.name;
            }
          }
        }
      }
      EXPECT_LT(worst, 2e-6) << c.name << " set " << s;
      EXPECT_GT(worst, 0.0) << c.name << " set " << s << ": the kernel rounds, so some entry differs";
    }
  }
}

// T(m) of the pair of families f, g, in double.
double T_at(const ToeplitzGram& tg, int f, int g, int m) {
  return tg.T[u(tg.pair[u(f)][u(g)]) * u(tg.length) + u(tg.zero + m)];
}

// Rows of every length (whole vectors of four and eight and a tail): the
// same bits on each instruction set, and a times the entries (divided by
// the r point) to rounding.
TEST(ToeplitzGram, RowsAddTheEntriesWithTheSameBitsOnEveryInstructionSet) {
  const int best = force_vector_path(-1);
  for (const GramCase& c : gram_cases()) {
    auto run = fit_test::kept_run(c.config);
    const int nr = run->model.r.nr;
    const int families = c.config.varying_coef ? run->params.nbasis : 1;
    ToeplitzGram tg;
    build_toeplitz_gram(run->params, run->model, run->model.sets[1], families, tg);
    std::vector<double> start(u(nr));
    for (int i = 0; i < nr; ++i) start[u(i)] = 0.37 * std::sin(1.3 * i);
    const double a = -0.731;
    for (int f = 0; f < families; ++f) {
      for (int g = 0; g < families; ++g) {
        for (int j : {1, 2, 17, nr - 1, nr}) {
          for (int n : {nr, nr - 3, 16, 13, 5, 1}) {
            std::vector<double> base = start;
            force_vector_path(0);
            const kernels::GramRow row = tg.row(f, g, j, a);
            kernels::add_gram_rows(base.data(), &row, 1, n);
            for (int isa = 1; isa <= best; ++isa) {
              std::vector<double> wide = start;
              force_vector_path(isa);
              kernels::add_gram_rows(wide.data(), &row, 1, n);
              ASSERT_EQ(base, wide) << c.name << " isa " << isa << " j " << j << " n " << n;
            }
            force_vector_path(-1);
            for (int i = 1; i <= nr; ++i) {
              // The row goes into D divided by the r point, from T rounded
              // to single precision: off by up to 2^-24 of each T value.
              const double change = i <= n ? a * tg.entry(f, g, i, j) / i : 0.0;
              const double rounding = i <= n ? 6.0e-8 * std::fabs(a * j) *
                                                   (std::fabs(T_at(tg, f, g, i - j)) + std::fabs(T_at(tg, f, g, i + j)))
                                             : 0.0;
              const double size = std::fabs(change) + std::fabs(start[u(i - 1)]);
              ASSERT_NEAR(base[u(i - 1)], start[u(i - 1)] + change, rounding + 1e-15 * size)
                  << c.name << " i " << i << " j " << j;
            }
          }
        }
      }
    }
  }
}

// Rows added together (as a slot of held-back rows goes into D) give the
// bits of the same rows added one at a time, on every instruction set and
// for every count up to the most a call takes; and a point read with the
// rows not yet added (what a trial reads) has those bits too.
TEST(ToeplitzGram, RowsAddedTogetherGiveTheBitsOfRowsAddedOneAtATime) {
  const int best = force_vector_path(-1);
  const GramCase c = gram_cases()[2];  // a copy: the list is a temporary
  auto run = fit_test::kept_run(c.config);
  const int nr = run->model.r.nr;
  const int families = run->params.nbasis;
  ToeplitzGram tg;
  build_toeplitz_gram(run->params, run->model, run->model.sets[1], families, tg);
  std::vector<kernels::GramRow> rows;
  for (int r = 0; r < kernels::max_gram_rows; ++r)
    rows.push_back(tg.row(r % families, (r / 2) % families, 1 + (r * 37) % nr, 0.3 - 0.11 * r));
  std::vector<double> start(u(nr));
  for (int i = 0; i < nr; ++i) start[u(i)] = 0.37 * std::sin(1.3 * i);
  for (int isa = 0; isa <= best; ++isa) {
    force_vector_path(isa);
    for (int count = 1; count <= kernels::max_gram_rows; ++count) {
      for (int n : {nr, 16, 13, 1}) {
        std::vector<double> alone = start, together = start;
        for (int r = 0; r < count; ++r) kernels::add_gram_rows(alone.data(), &rows[u(r)], 1, n);
        kernels::add_gram_rows(together.data(), rows.data(), count, n);
        ASSERT_EQ(alone, together) << "isa " << isa << " count " << count << " n " << n;
        for (int i = 0; i < n; ++i) {
          double read = start[u(i)];
          for (int r = 0; r < count; ++r) read += kernels::gram_row_at(rows[u(r)], i);
          ASSERT_EQ(read, together[u(i)]) << "isa " << isa << " count " << count << " i " << i;
        }
      }
    }
  }
  force_vector_path(-1);
}

// The row of a whole bump is the shape-weighted sum of the rows of its
// points (to rounding), on every instruction set with the same bits.
TEST(ToeplitzGram, BumpRowsAreTheShapeWeightedSumsOfRows) {
  const int best = force_vector_path(-1);
  auto run = fit_test::kept_run(gram_cases()[3].config);
  const int nr = run->model.r.nr;
  const int families = run->params.nbasis;
  ToeplitzGram tg;
  build_toeplitz_gram(run->params, run->model, run->model.sets[2], families, tg);
  int centres = 0;
  for (int j = 1; j <= nr; ++j) {
    const int range = gaussian_range(run->params, static_cast<float>(j) * run->model.r.dr);
    const int n = run->model.gauss.ngauss[u(range)];
    const bool whole = j - n >= 1 && j + n <= nr;
    ASSERT_EQ(tg.centre_slot[u(j - 1)] >= 0, whole) << j;
    if (!whole) continue;
    ++centres;
    const auto& shape = run->model.gauss.shape[u(range)];
    for (int f = 0; f < families; ++f) {
      for (int g = 0; g < families; ++g) {
        std::vector<double> base(u(nr), 0.0);
        force_vector_path(0);
        kernels::add_bump_row(base.data(), 1.0, tg.bump_row(f, g, j), nr);
        for (int isa = 1; isa <= best; ++isa) {
          std::vector<double> wide(u(nr), 0.0);
          force_vector_path(isa);
          kernels::add_bump_row(wide.data(), 1.0, tg.bump_row(f, g, j), nr);
          ASSERT_EQ(base, wide) << "isa " << isa << " j " << j;
        }
        force_vector_path(-1);
        for (int i = 1; i <= nr; ++i) {
          // The four arrays are rounded to single precision: each is off by
          // up to 2^-24 of the sum of the magnitudes of its terms.
          double sum = 0.0, size = 0.0, rounding = 0.0;
          for (int t = -n; t <= n; ++t) {
            const double sh = std::fabs(double(shape[u(t + n + 1)]));
            const double term = double(shape[u(t + n + 1)]) * tg.entry(f, g, j + t, i) / i;
            sum += term;
            size += std::fabs(term);
            rounding +=
                sh * (j + std::abs(t)) * (std::fabs(T_at(tg, f, g, i - j - t)) + std::fabs(T_at(tg, f, g, i + j + t)));
          }
          ASSERT_NEAR(base[u(i - 1)], sum, 1.2e-7 * rounding + 1e-12 * size + 1e-300) << "j " << j << " i " << i;
        }
      }
    }
  }
  EXPECT_GT(centres, nr / 2);
}

// T serves sets without resolution whose fitted range leaves out Q = 0 (the
// kernel there is r^2, not a sine over Q).
TEST(ToeplitzGram, AppliesWithoutResolutionAndAwayFromQZero) {
  struct Case {
    bool resolution;
    int q_offset, first;
    bool applies;
  };
  const Case cases[] = {{false, 0, 1, true},  {true, 0, 1, false},   {false, -1, 1, false},
                        {false, -1, 2, true}, {false, -3, 3, false}, {false, -3, 4, true}};
  auto run = make_run();
  for (const Case& c : cases) {
    run->params.resolution_on = c.resolution;
    run->model.q.q_offset = c.q_offset;
    DataSet& set = run->model.sets[1];
    set.settings.q_first = c.first;
    set.settings.q_last = 10;
    EXPECT_EQ(toeplitz_applies(run->params, run->model, set), c.applies)
        << c.resolution << " " << c.q_offset << " " << c.first;
  }
}

}  // namespace
}  // namespace yosta

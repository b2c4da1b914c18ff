#include "fit/evaluation.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fit/run.h"
#include "model/corrections.h"
#include "model/transform.h"

namespace yosta {

// The evaluation of the move cycle, kept up to date move by move.
//
// Everything the evaluation needs from the compared model M is linear or
// quadratic in M: with e = M - F over the fitted range, the refit sums are
// R0 = T0 + E0, RF = FF + EF, R1 = T1 + E1, R2 = T2 + E2 (E0 = sum e/var,
// EF = sum e F/var, E1 = sum e Q/var, E2 = sum e Q^2/var), and chi-squared,
// with x = beta - 1, is the quadratic form
//   sum (e - x F - a0 - a1 Q - a2 Q^2)^2 / var
//     = EE - 2x EF - 2a0 E0 - 2a1 E1 - 2a2 E2 + x^2 FF + 2x (a0 T0 + a1 T1 + a2 T2)
//       + a0^2 S0 + 2a0 a1 S1 + (a1^2 + 2a0 a2) S2 + 2a1 a2 S3 + a2^2 S4
// with EE = sum e^2/var. So a trial move needs only the changes of the E
// sums, which one pass over the changed model gives together with the update
// of F_calc itself; the refit and chi-squared are then a few dozen operations.
// The sums are of e, not of M, so they stay at the size of the misfit and
// chi-squared is not the small difference of large numbers.
//
// The changes are summed from the values actually stored (new minus old), in
// single-precision lanes of a fixed layout flushed into double lanes, so every
// build gives the same bits. A rejected move keeps the old sums as they were;
// F_calc is undone by subtraction as the method says, which may leave it a
// rounding away from where it was, so the sums are recomputed from the model
// every refresh_interval evaluations to bound such drift (a fixed schedule,
// so a seed still gives the same run).
//
// The passes read and write a copy of the compared model on 64-byte
// boundaries: without resolution a copy of F_calc over the whole grid,
// updated with the same operations (F_calc gets each new value stored), with
// resolution the broadened model in two buffers: a trial writes the spare
// one, acceptance flips them, and a rejection costs nothing. The change of the
// broadened model is the broadened change of F_calc; for a set whose
// coefficient of the moved function is one value at every Q it is that
// coefficient times the amplitude times a broadened row prepared at the first
// move (W K(., j), or W G(., j) for whole Gaussian bumps), and otherwise the
// change of F_calc spread through the windows.

namespace {

constexpr std::int32_t refresh_interval = 1024;
// Memory allowed for the per-r-point rows: the kernel (or smoothed kernel)
// rows and the broadened rows together. A grid of 12000 r points and 1100 Q
// points needs 53 MB for one kind, so at the largest sizes the broadened rows
// give way to spreading the change through the windows.
constexpr std::size_t max_row_bytes = std::size_t{64} << 20;

// The vector passes work on sixteen single-precision lanes (Q point k goes to
// lane k mod 16), carried by vectors of W floats (GCC vector extension): four
// per step with SSE (W = 4), two with AVX2 (W = 8), one with AVX-512 (W = 16).
// Each operation is the scalar IEEE operation lane by lane, so the width
// changes the instructions, never the bits.
template <int W>
struct Vec {
  typedef float F __attribute__((vector_size(4 * W)));   // W floats
  typedef double D __attribute__((vector_size(4 * W)));  // W/2 doubles
  static constexpr int per_step = 16 / W;
};
// The helpers below are always inlined, so the note that passing wide
// vectors by value differs between instruction sets does not apply. (GCC
// gives it at the end of the file, so it stays off to the end.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

// Which E sums a fit case reads besides EE.
enum Need : unsigned { need0 = 1u, needF = 2u, need1 = 4u, need2 = 8u };

unsigned needs_of(FitCase c) {
  switch (c) {
    case FitCase::none: return 0u;
    case FitCase::scale: return needF;
    case FitCase::zero: return need0;
    case FitCase::zero_linear: return need0 | need1;
    case FitCase::zero_all: return need0 | need1 | need2;
    case FitCase::scale_zero: return need0 | needF;
    case FitCase::scale_zero_linear: return need0 | need1 | needF;
    case FitCase::scale_all: return need0 | need1 | need2 | needF;
  }
  return need0 | need1 | need2 | needF;
}

// Where a pass takes the change of each point from.
enum class Source {
  row_flat,  // (row(k) c) d, one coefficient c for every point
  row,       // (row(k) c(k)) d
  given,     // src(k) itself
};

// One pass over the Q points from..to; the arrays are indexed by k.
struct Pass {
  const float* X;        // the values before the change
  float* out;            // where the changed values go (may be X)
  float* copy;           // where they go too, on whole lines of 16..copy_last
  int copy_last;
  float* ch_out;         // where the change goes, when stored
  const float* src;      // the row, or the change itself
  const float* c;        // coefficients, Source::row
  float c_flat;          // coefficient, Source::row_flat
  float d;               // amplitude of the row
  const float* w;        // 1/var
  const float* Fd;       // the data
  const float* Q;
  const float* QQ;
  int from, to;
};

template <int W>
[[gnu::always_inline]] inline typename Vec<W>::F vload(const float* p) {
  typename Vec<W>::F v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <int W>
[[gnu::always_inline]] inline void vstore(float* p, typename Vec<W>::F v) {
  std::memcpy(p, &v, sizeof v);
}
// W copies of x (a broadcast: -0 stays -0).
template <int W>
[[gnu::always_inline]] inline typename Vec<W>::F splat(float x) {
  typedef typename Vec<W>::F F;
  if constexpr (W == 4) return F{x, x, x, x};
  else if constexpr (W == 8) return F{x, x, x, x, x, x, x, x};
  else return F{x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x};
}

// The amplitude and coefficient of a pass, broadcast once.
template <int W>
struct Factors {
  typename Vec<W>::F d, c;
  explicit Factors(const Pass& a) : d(splat<W>(a.d)), c(splat<W>(a.c_flat)) {}
};

// The change of W points, and of one: (row c) d as the transform forms it.
template <int W, Source S>
[[gnu::always_inline]] inline typename Vec<W>::F change_w(const Pass& a, const Factors<W>& f, int k) {
  if constexpr (S == Source::given) return vload<W>(a.src + k);
  else if constexpr (S == Source::row) return vload<W>(a.src + k) * vload<W>(a.c + k) * f.d;
  else return vload<W>(a.src + k) * f.c * f.d;
}
template <Source S>
[[gnu::always_inline]] inline float change1(const Pass& a, int k) {
  if constexpr (S == Source::given) return a.src[k];
  else if constexpr (S == Source::row) return a.src[k] * a.c[k] * a.d;
  else return a.src[k] * a.c_flat * a.d;
}

// out = X + change, or X - change to take a move back out (and the change
// stored, when asked), with no sums: F_calc when the sums are taken over the
// broadened model, and the undo of a rejected move. With a copy, the pass runs
// over whole lines only, and the points a copy takes are those of the whole
// lines from 16 to copy_last.
template <int W, Source S, bool Store, bool Undo>
[[gnu::always_inline]] inline void plain_body(const Pass& in) {
  const Pass a = in;  // a local copy: the stores below cannot alias it
  const Factors<W> f(a);
  auto one = [&](int k) {
    const float ch = change1<S>(a, k);
    if constexpr (Store) a.ch_out[k] = ch;
    const float x = Undo ? a.X[k] - ch : a.X[k] + ch;
    a.out[k] = x;
  };
  int k = a.from;
  for (; k <= a.to && k % W != 0; ++k) one(k);
  for (; k + W - 1 <= a.to; k += W) {
    const typename Vec<W>::F ch = change_w<W, S>(a, f, k);
    if constexpr (Store) vstore<W>(a.ch_out + k, ch);
    const typename Vec<W>::F x = Undo ? vload<W>(a.X + k) - ch : vload<W>(a.X + k) + ch;
    vstore<W>(a.out + k, x);
    const int line = k / 16 * 16;
    if (a.copy != nullptr && line >= 16 && line + 15 <= a.copy_last) vstore<W>(a.copy + k, x);
  }
  for (; k <= a.to; ++k) one(k);
}

// The sixteen single-precision lanes of one sum, and its sixteen double lanes.
template <int W>
struct Lanes {
  typename Vec<W>::F f[Vec<W>::per_step];
  typename Vec<W>::D d[2 * Vec<W>::per_step];
  void clear_f() {
    for (auto& x : f) x = typename Vec<W>::F{};
  }
  void clear() {
    clear_f();
    for (auto& x : d) x = typename Vec<W>::D{};
  }
};
template <int W>
[[gnu::always_inline]] inline void halves(typename Vec<W>::F f, typename Vec<W>::D& lo, typename Vec<W>::D& hi) {
  typedef typename Vec<W>::D D;
  if constexpr (W == 4) {
    lo += __builtin_convertvector(__builtin_shufflevector(f, f, 0, 1), D);
    hi += __builtin_convertvector(__builtin_shufflevector(f, f, 2, 3), D);
  } else if constexpr (W == 8) {
    lo += __builtin_convertvector(__builtin_shufflevector(f, f, 0, 1, 2, 3), D);
    hi += __builtin_convertvector(__builtin_shufflevector(f, f, 4, 5, 6, 7), D);
  } else {
    lo += __builtin_convertvector(__builtin_shufflevector(f, f, 0, 1, 2, 3, 4, 5, 6, 7), D);
    hi += __builtin_convertvector(__builtin_shufflevector(f, f, 8, 9, 10, 11, 12, 13, 14, 15), D);
  }
}
// Float lanes into the double ones (exact conversions, one add per lane).
template <int W>
[[gnu::always_inline]] inline void flush(Lanes<W>& l) {
  for (int i = 0; i < Vec<W>::per_step; ++i) halves<W>(l.f[i], l.d[2 * i], l.d[2 * i + 1]);
}
// The sixteen double lanes added in one fixed order.
template <int W>
[[gnu::always_inline]] inline double total_of(const Lanes<W>& l) {
  double x[16];
  std::memcpy(x, l.d, sizeof x);
  double s[8];
  for (int i = 0; i < 8; ++i) s[i] = x[i] + x[i + 8];
  return ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
}

// Q points per flush of the single-precision lanes into the double ones.
constexpr int flush_points = 512;

// One data set's part of a summing pass.
struct SetPart {
  const float* X;        // the values before the change
  float* out;            // where the changed values go (may be X)
  float* copy;           // where they go too (F_calc), or null
  const float* src;      // the change itself, Source::given
  const float* c;        // coefficients, Source::row
  float c_flat;          // coefficient, Source::row_flat
  const float* w;        // 1/var, 0 off the fitted range
  const float* Fd;       // the data
};

// A summing pass over the Q points from..to (from and to + 1 multiples of 16)
// for one or more data sets that share the change's row.
struct SumPass {
  SetPart part[max_sets];
  int copy_last;         // copies go to whole lines of points 16..copy_last only
  const float* row;      // Source::row and Source::row_flat
  float d;               // amplitude of the row
  const float* Q;
  const float* QQ;
  int from, to;
};

// The lanes of the five sums of one data set.
template <int W>
struct SetLanes {
  Lanes<W> s0, sF, s1, s2, sE;
};

// The update of the copies of the model, summing the changes of the E sums
// from the stored values: with D = new - old and e = value - data,
// dE0 = sum D w, dEF = sum D w F, dE1 = sum D w Q, dE2 = sum D w Q^2 and
// dEE = sum D w (e_new + e_old). Point k goes to lane k mod 16; w is 0 off a
// set's fitted range, so points there change the model but add nothing. The
// float lanes are flushed into the double lanes every flush_points points (so
// each float lane sums at most 32 terms) and the double lanes added in a
// fixed tree at the end. All sets go in the same pass, so the row, Q and the
// loop itself are shared.
template <int W, int NS, unsigned N, Source S, bool Copy>
[[gnu::always_inline]] inline void fused_body(const SumPass& in, KeptSums* result) {
  typedef typename Vec<W>::F F;
  constexpr int steps = Vec<W>::per_step;
  const SumPass a = in;  // a local copy: the stores below cannot alias it
  const F dv = splat<W>(a.d);
  F cv[NS];
  for (int s = 0; s < NS; ++s) cv[s] = splat<W>(a.part[s].c_flat);
  SetLanes<W> L[NS];
  for (int s = 0; s < NS; ++s) {
    L[s].s0.clear();
    L[s].sF.clear();
    L[s].s1.clear();
    L[s].s2.clear();
    L[s].sE.clear();
  }
  int k = a.from;
  while (k <= a.to) {
    for (int s = 0; s < NS; ++s) {
      L[s].s0.clear_f();
      L[s].sF.clear_f();
      L[s].s1.clear_f();
      L[s].s2.clear_f();
      L[s].sE.clear_f();
    }
    const int block_end = std::min(k + flush_points, a.to + 1);
    for (; k < block_end; k += 16) {
      for (int i = 0; i < steps; ++i) {
        const int u = k + i * W;
        F row{}, q{}, qq{};
        if constexpr (S != Source::given) row = vload<W>(a.row + u);
        if constexpr ((N & need1) != 0) q = vload<W>(a.Q + u);
        if constexpr ((N & need2) != 0) qq = vload<W>(a.QQ + u);
        for (int s = 0; s < NS; ++s) {
          const SetPart& p = a.part[s];
          F ch;
          if constexpr (S == Source::given) ch = vload<W>(p.src + u);
          else if constexpr (S == Source::row) ch = row * vload<W>(p.c + u) * dv;
          else ch = row * cv[s] * dv;
          const F old_v = vload<W>(p.X + u);
          const F new_v = old_v + ch;
          vstore<W>(p.out + u, new_v);
          if constexpr (Copy) {
            if (k >= 16 && k + 15 <= a.copy_last) vstore<W>(p.copy + u, new_v);
          }
          const F fd = vload<W>(p.Fd + u);
          const F tw = (new_v - old_v) * vload<W>(p.w + u);
          L[s].sE.f[i] += tw * ((new_v - fd) + (old_v - fd));
          if constexpr ((N & need0) != 0) L[s].s0.f[i] += tw;
          if constexpr ((N & needF) != 0) L[s].sF.f[i] += tw * fd;
          if constexpr ((N & need1) != 0) L[s].s1.f[i] += tw * q;
          if constexpr ((N & need2) != 0) L[s].s2.f[i] += tw * qq;
        }
      }
    }
    for (int s = 0; s < NS; ++s) {
      flush(L[s].sE);
      if constexpr ((N & need0) != 0) flush(L[s].s0);
      if constexpr ((N & needF) != 0) flush(L[s].sF);
      if constexpr ((N & need1) != 0) flush(L[s].s1);
      if constexpr ((N & need2) != 0) flush(L[s].s2);
    }
  }
  for (int s = 0; s < NS; ++s) {
    KeptSums& d = result[s];
    d = KeptSums{};
    d.EE = total_of(L[s].sE);
    if constexpr ((N & need0) != 0) d.E0 = total_of(L[s].s0);
    if constexpr ((N & needF) != 0) d.EF = total_of(L[s].sF);
    if constexpr ((N & need1) != 0) d.E1 = total_of(L[s].s1);
    if constexpr ((N & need2) != 0) d.E2 = total_of(L[s].s2);
  }
}

// Each pass exists three times: for the baseline instruction set, for AVX2
// and for AVX-512, chosen once by the processor. The lanes and their order
// are fixed by the code, not by the vector width, and nothing is contracted
// into fused multiply-adds, so all three give the same bits.
enum Isa : int { isa_base = 0, isa_avx2 = 1, isa_avx512 = 2 };

template <Source S, bool Store, bool Undo>
void plain_0(const Pass& a) { plain_body<4, S, Store, Undo>(a); }
template <Source S, bool Store, bool Undo>
[[gnu::target("avx2")]] void plain_1(const Pass& a) { plain_body<8, S, Store, Undo>(a); }
template <Source S, bool Store, bool Undo>
[[gnu::target("avx512f")]] void plain_2(const Pass& a) { plain_body<16, S, Store, Undo>(a); }

template <int NS, unsigned N, Source S, bool Copy>
void fused_0(const SumPass& a, KeptSums* d) { fused_body<4, NS, N, S, Copy>(a, d); }
template <int NS, unsigned N, Source S, bool Copy>
[[gnu::target("avx2")]] void fused_1(const SumPass& a, KeptSums* d) { fused_body<8, NS, N, S, Copy>(a, d); }
template <int NS, unsigned N, Source S, bool Copy>
[[gnu::target("avx512f")]] void fused_2(const SumPass& a, KeptSums* d) { fused_body<16, NS, N, S, Copy>(a, d); }

int best_isa() {
  if (__builtin_cpu_supports("avx512f")) return isa_avx512;
  if (__builtin_cpu_supports("avx2")) return isa_avx2;
  return isa_base;
}
int forced_isa = -1;  // tests: a version to use instead of the best one
inline int isa() {
  static const int best = best_isa();
  return forced_isa >= 0 && forced_isa <= best ? forced_isa : best;
}

template <Source S, bool Store, bool Undo>
void plain(const Pass& a) {
  if (a.to < a.from) return;
  switch (isa()) {
    case isa_avx512: plain_2<S, Store, Undo>(a); break;
    case isa_avx2: plain_1<S, Store, Undo>(a); break;
    default: plain_0<S, Store, Undo>(a); break;
  }
}

template <int NS, unsigned N, Source S>
void fused_isa(const SumPass& a, KeptSums* d) {
  // Copies are made in the passes over the copies of F_calc (no resolution),
  // whose parts name F_calc to copy to.
  const bool copy = a.part[0].copy != nullptr;
  switch (isa()) {
    case isa_avx512: copy ? fused_2<NS, N, S, true>(a, d) : fused_2<NS, N, S, false>(a, d); break;
    case isa_avx2: copy ? fused_1<NS, N, S, true>(a, d) : fused_1<NS, N, S, false>(a, d); break;
    default: copy ? fused_0<NS, N, S, true>(a, d) : fused_0<NS, N, S, false>(a, d); break;
  }
}

// The passes always form all five sums: the ones a fit case reads come out
// the same whichever others are formed beside them, and one variant per set
// count keeps the instantiations (and the compile time) small.
template <int NS, Source S>
void fused_need(unsigned /*need*/, const SumPass& a, KeptSums* d) {
  fused_isa<NS, need0 | needF | need1 | need2, S>(a, d);
}

// The summing pass for `sets` data sets (1..4) with the union of their needs.
template <Source S>
void fused(int sets, unsigned need, const SumPass& a, KeptSums* d) {
  if (a.to < a.from) {
    for (int s = 0; s < sets; ++s) d[s] = KeptSums{};
    return;
  }
  switch (sets) {
    case 1: fused_need<1, S>(need, a, d); break;
    case 2: fused_need<2, S>(need, a, d); break;
    case 3: fused_need<3, S>(need, a, d); break;
    default: fused_need<4, S>(need, a, d); break;
  }
}

// Adds the changes in d to the sums for the fit case's needs (the others stay).
inline KeptSums plus(const KeptSums& k, const KeptSums& d, unsigned need) {
  KeptSums r = k;
  r.EE += d.EE;
  if ((need & need0) != 0) r.E0 += d.E0;
  if ((need & needF) != 0) r.EF += d.EF;
  if ((need & need1) != 0) r.E1 += d.E1;
  if ((need & need2) != 0) r.E2 += d.E2;
  return r;
}

// Sets with the same fitted range and the same windows share broadened rows.
bool same_windows(const DataSet& a, const DataSet& b) {
  const int first = a.settings.q_first, last = a.settings.q_last;
  if (first != b.settings.q_first || last != b.settings.q_last) return false;
  for (int k = first; k <= last; ++k) {
    const auto uk = static_cast<std::size_t>(k);
    if (a.lo[uk] != b.lo[uk] || a.hi[uk] != b.hi[uk]) return false;
    if (std::memcmp(a.weight[uk].data(), b.weight[uk].data(), sizeof(float) * max_window) != 0) return false;
  }
  return true;
}

// The rows, the per-set copies and the fixed sums of the kept evaluation.
void build_kept_tables(Run& run) {
  KeptState& ks = run.kept;
  const int nq = run.model.q.nq;
  ks.Q = LineQ{};
  ks.QQ = LineQ{};
  ks.dM = LineQ{};
  for (int k = 1; k <= nq; ++k) {
    const auto uk = static_cast<std::size_t>(k);
    ks.Q[uk] = run.model.q.Q[uk];
    ks.QQ[uk] = run.model.q.Q[uk] * run.model.q.Q[uk];
  }

  build_move_rows(run, max_row_bytes);
  std::size_t used = ks.rows.size() * sizeof(float);
  const auto stride = static_cast<std::size_t>(ks.row_stride);

  ks.broadened.clear();
  std::vector<int> owner;  // the first set of each broadened table
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
    KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
    const int first = set.settings.q_first, last = set.settings.q_last;

    k.w = LineQ{};
    k.F = LineQ{};
    k.change = LineQ{};
    for (int q = 1; q <= nq; ++q) {
      const auto uq = static_cast<std::size_t>(q);
      const bool fitted = q >= first && q <= last;
      k.w[uq] = fitted ? static_cast<float>(set.inv_var[uq]) : 0.0f;
      k.F[uq] = set.F[uq];
    }
    // The fixed sums again, kept in double (the data set stores them in single).
    for (double& x : k.S) x = 0.0;
    for (double& x : k.T) x = 0.0;
    k.FF = 0.0;
    for (int q = first; q <= last; ++q) {
      const auto uq = static_cast<std::size_t>(q);
      const double w = set.inv_var[uq], x = ks.Q[uq], xx = ks.QQ[uq], f = set.F[uq];
      k.S[0] += w;
      k.S[1] += x * w;
      k.S[2] += xx * w;
      k.S[3] += xx * x * w;
      k.S[4] += xx * xx * w;
      k.T[0] += f * w;
      k.T[1] += x * f * w;
      k.T[2] += xx * f * w;
      k.FF += f * f * w;
    }
    for (int p = 1; p <= run.params.nbasis; ++p) {
      const auto& c = set.coef[static_cast<std::size_t>(p)];
      bool flat = true;
      for (int q = 2; q <= nq && flat; ++q) flat = c[static_cast<std::size_t>(q)] == c[1];
      k.flat[static_cast<std::size_t>(p)] = flat;
      auto& copy = k.coef[static_cast<std::size_t>(p)];
      copy = LineQ{};
      std::memcpy(copy.data() + 1, c.data() + 1, sizeof(float) * static_cast<std::size_t>(nq));
    }

    k.table = -1;
    if (!run.params.resolution_on || ks.rows.empty() || last < first) continue;
    for (std::size_t t = 0; t < owner.size(); ++t) {
      if (same_windows(run.model.sets[static_cast<std::size_t>(owner[t])], set)) k.table = static_cast<std::int32_t>(t);
    }
    if (k.table >= 0) continue;
    const std::size_t bytes = ks.rows.size() * sizeof(float);
    if (used + bytes > max_row_bytes) continue;  // this set spreads its changes instead
    used += bytes;
    // Row j: row j of the move rows broadened, in double, at the fitted
    // points: B(i) = sum over fitted k whose window holds i of weight_k(i) row(k).
    LineFloats table(ks.rows.size(), 0.0f);
    std::vector<double> acc(static_cast<std::size_t>(nq) + 1);
    for (int j = 1; j <= run.model.r.nr; ++j) {
      const float* row = ks.rows.data() + static_cast<std::size_t>(j - 1) * stride;
      std::fill(acc.begin(), acc.end(), 0.0);
      for (int q = first; q <= last; ++q) {
        const auto uq = static_cast<std::size_t>(q);
        const double f = row[q];
        for (int i = set.lo[uq]; i <= set.hi[uq]; ++i) {
          acc[static_cast<std::size_t>(i)] +=
              static_cast<double>(set.weight[uq][static_cast<std::size_t>(i - set.lo[uq])]) * f;
        }
      }
      float* out = table.data() + static_cast<std::size_t>(j - 1) * stride;
      for (int i = first; i <= last; ++i) out[i] = static_cast<float>(acc[static_cast<std::size_t>(i)]);
    }
    k.table = static_cast<std::int32_t>(ks.broadened.size());
    ks.broadened.push_back(std::move(table));
    owner.push_back(s);
  }
}

// The E sums of the model from scratch, in double, and the kept compared
// model rebuilt from F_calc.
void refresh_sums(Run& run) {
  KeptState& ks = run.kept;
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
    KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
    k.kept = recompute_kept_sums(run, s);
    if (run.params.resolution_on) {
      float M[max_q + 1];
      broaden(set, run.model.q.nq, set.F_calc.data(), M);
      std::memcpy(k.M[static_cast<std::size_t>(k.current)].data(), M, sizeof M);
    } else {
      k.current = 0;
      k.M[0] = LineQ{};
      std::memcpy(k.M[0].data() + 1, set.F_calc.data() + 1, sizeof(float) * static_cast<std::size_t>(run.model.q.nq));
    }
  }
  ks.since_refresh = 0;
}

// chi2 of a set with its current coefficients from the sums (see above),
// its terms grouped so that they can be formed side by side.
double chi_squared_from(const KeptSet& k, const KeptSums& e, const DataSet& set) {
  const double x = static_cast<double>(set.beta) - 1.0;
  const double a0 = set.a0, a1 = set.a1, a2 = set.a2;
  const double cross = (x * e.EF + a0 * e.E0) + (a1 * e.E1 + a2 * e.E2);
  const double data = x * x * k.FF + 2.0 * x * ((a0 * k.T[0] + a1 * k.T[1]) + a2 * k.T[2]);
  const double poly = (a0 * a0 * k.S[0] + 2.0 * a0 * a1 * k.S[1]) +
                      ((a1 * a1 + 2.0 * a0 * a2) * k.S[2] + (2.0 * a1 * a2 * k.S[3] + a2 * a2 * k.S[4]));
  const double chi2 = (e.EE - 2.0 * cross) + (data + poly);
  // The exact value is a sum of squares; rounding must not make it negative.
  // A NaN stays a NaN: it must not pass for a perfect fit.
  return chi2 < 0.0 ? 0.0 : chi2;
}

// Index of the first point of the line holding k, and one past the last
// point of the line holding k.
inline int line_start(int k) { return k / 16 * 16; }
inline int line_end(int k) { return (k + 16) / 16 * 16; }

// The pass of set s over points from..to for the trial's change, reading the
// change from the trial's row or from the set's kept copy of its change.
Pass pass_for(Run& run, int s, int from, int to) {
  KeptState& ks = run.kept;
  KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
  const auto up = static_cast<std::size_t>(ks.trial_p);
  Pass a{};
  a.ch_out = run.model.sets[static_cast<std::size_t>(s)].change.data();
  a.src = ks.trial_row > 0 ? ks.rows.data() + static_cast<std::size_t>(ks.trial_row - 1) *
                                                  static_cast<std::size_t>(ks.row_stride)
                           : k.change.data();
  a.c = k.coef[up].data();
  a.c_flat = k.coef[up][1];
  a.d = ks.trial_amplitude;
  a.w = k.w.data();
  a.Fd = k.F.data();
  a.Q = ks.Q.data();
  a.QQ = ks.QQ.data();
  a.from = from;
  a.to = to;
  return a;
}

// F_calc of set s from its kept copy at the points the summing pass does not
// copy: 1..15, and those after the last whole line within 1..nq.
void copy_edges(Run& run, int s) {
  float* F = run.model.sets[static_cast<std::size_t>(s)].F_calc.data();
  const float* M = run.kept.sets[static_cast<std::size_t>(s)].M[0].data();
  const int nq = run.model.q.nq;
  const int whole_end = (nq + 1) / 16 * 16;  // first point after the last whole line
  for (int k = 1; k <= nq && k < 16; ++k) F[k] = M[k];
  for (int k = std::max(16, whole_end); k <= nq; ++k) F[k] = M[k];
}


}  // namespace

void build_move_rows(Run& run, std::size_t max_bytes) {
  KeptState& kept = run.kept;
  const std::int32_t nq = run.model.q.nq;
  const std::int32_t nr = run.model.r.nr;
  // One row of nq values per r point, padded to whole 64-byte lines.
  const std::int32_t stride = (nq + 1 + 15) / 16 * 16;
  const std::size_t count = static_cast<std::size_t>(nr) * static_cast<std::size_t>(stride);
  kept.rows = LineFloats();
  kept.row_stride = 0;
  if (nr < 1 || nq < 1 || count * sizeof(float) > max_bytes) return;
  kept.rows.assign(count, 0.0f);
  kept.row_stride = stride;

  float K[max_q + 1];
  if (!run.params.gaussian_moves) {
    // K(k, j) itself, bit for bit: a single-point move reads its row instead
    // of gathering the sine table with an index step per Q point.
    for (int j = 1; j <= nr; ++j) {
      kernel_row(run.model, j, K);
      float* row = kept.rows.data() + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(stride);
      std::memcpy(row + 1, K + 1, sizeof(float) * static_cast<std::size_t>(nq));
    }
    return;
  }

  // A whole bump centred at j changes v(j0 + m - 1) by shape(m) delta, so its
  // transform is delta times G(k, j) = sum over m of shape(m) K(k, j0 + m - 1),
  // the kernel smoothed by the shape of j's range. Summed in double and
  // rounded once. Rows of centres whose bump leaves the grid stay zero: such
  // moves take the point-by-point path.
  std::vector<double> G(static_cast<std::size_t>(nq) + 1);
  const float dr = run.model.r.dr;
  for (int j = 1; j <= nr; ++j) {
    const int range = gaussian_range(run.params, static_cast<float>(j) * dr);
    const int n = run.model.gauss.ngauss[static_cast<std::size_t>(range)];
    if (j - n < 1 || j + n > nr) continue;
    const auto& shape = run.model.gauss.shape[static_cast<std::size_t>(range)];
    std::fill(G.begin(), G.end(), 0.0);
    for (int m = 1; m <= 2 * n + 1; ++m) {
      kernel_row(run.model, j - n + m - 1, K);
      const double sm = shape[static_cast<std::size_t>(m)];
      for (int k = 1; k <= nq; ++k) G[static_cast<std::size_t>(k)] += sm * static_cast<double>(K[k]);
    }
    float* row = kept.rows.data() + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(stride);
    for (int k = 1; k <= nq; ++k) row[k] = static_cast<float>(G[static_cast<std::size_t>(k)]);
  }
}

void prepare_evaluation(Run& run) {
  build_kept_tables(run);
  refresh_sums(run);
}

void model_rebuilt(Run& run) { refresh_sums(run); }

KeptSums recompute_kept_sums(const Run& run, int s) {
  const DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
  const int first = set.settings.q_first, last = set.settings.q_last;
  float broadened[max_q + 1];
  const float* M = set.F_calc.data();
  if (run.params.resolution_on) {
    broaden(set, run.model.q.nq, set.F_calc.data(), broadened);
    M = broadened;
  }
  KeptSums e;
  for (int q = first; q <= last; ++q) {
    const auto uq = static_cast<std::size_t>(q);
    const double diff = static_cast<double>(M[q]) - static_cast<double>(set.F[uq]);
    const double dw = diff * set.inv_var[uq];
    e.E0 += dw;
    e.EF += dw * static_cast<double>(set.F[uq]);
    e.E1 += dw * static_cast<double>(run.model.q.Q[uq]);
    e.E2 += dw * static_cast<double>(run.model.q.Q[uq] * run.model.q.Q[uq]);
    e.EE += dw * diff;
  }
  return e;
}

double evaluate_trial(Run& run, const TrialChange& tc) {
  KeptState& ks = run.kept;
  const RunParameters& par = run.params;
  if (ks.since_refresh >= refresh_interval) refresh_sums(run);
  ++ks.since_refresh;

  const int nq = run.model.q.nq;
  const bool resolution = par.resolution_on;
  // A move row applies to a single point, or to a whole bump when the rows
  // hold the smoothed kernel; otherwise the change goes point by point into
  // each set's `change` first.
  const bool by_row = tc.changed && tc.row >= 1 && tc.row <= run.model.r.nr && !ks.rows.empty();
  ks.trial_changed = tc.changed;
  ks.trial_row = by_row ? tc.row : 0;
  ks.trial_p = tc.p;
  ks.trial_amplitude = tc.amplitude;
  if (tc.changed && !by_row) move_change(run.params, run.model, tc.p, tc.first, tc.d, tc.count);
  const int nsets = par.nsets;
  const auto up = static_cast<std::size_t>(tc.p);
  const float* row =
      by_row ? ks.rows.data() + static_cast<std::size_t>(tc.row - 1) * static_cast<std::size_t>(ks.row_stride)
             : nullptr;
  KeptSums d[max_sets];
  if (tc.changed && !by_row) {
    for (int s = 1; s <= nsets; ++s) {
      std::memcpy(ks.sets[static_cast<std::size_t>(s)].change.data() + 1,
                  run.model.sets[static_cast<std::size_t>(s)].change.data() + 1, sizeof(float) * static_cast<std::size_t>(nq));
    }
  }
  if (tc.changed && !resolution) {
    // The copies of F_calc are updated over the whole grid and summed on the
    // fitted ranges (w is 0 elsewhere), all sets in one pass that also stores
    // the new values into F_calc (its first and last few points after it).
    // The change of a row is not stored: an undo forms it again.
    SumPass a{};
    unsigned need = 0u;
    bool flat = true;
    for (int s = 1; s <= nsets; ++s) {
      KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
      need |= needs_of(run.model.sets[static_cast<std::size_t>(s)].fit_case);
      flat = flat && k.flat[up];
      a.part[s - 1] = SetPart{k.M[0].data(), k.M[0].data(), run.model.sets[static_cast<std::size_t>(s)].F_calc.data(),
                              k.change.data(), k.coef[up].data(), k.coef[up][1], k.w.data(), k.F.data()};
    }
    a.row = row;
    a.d = tc.amplitude;
    a.Q = ks.Q.data();
    a.QQ = ks.QQ.data();
    a.from = 0;
    a.to = line_end(nq) - 1;
    a.copy_last = nq;
    if (!by_row) fused<Source::given>(nsets, need, a, d);
    else if (flat) fused<Source::row_flat>(nsets, need, a, d);
    else fused<Source::row>(nsets, need, a, d);
    for (int s = 1; s <= nsets; ++s) copy_edges(run, s);
  } else if (tc.changed) {
    for (int s = 1; s <= nsets; ++s) {
      // F_calc over the whole grid (its change stored for the undo and the
      // windows), then the broadened change into the spare buffer of M,
      // summed on the fitted range.
      DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
      KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
      const bool flat = k.flat[up];
      Pass all = pass_for(run, s, 1, nq);
      all.out = set.F_calc.data();
      all.X = all.out;
      if (!by_row) plain<Source::given, false, false>(all);
      else if (flat) plain<Source::row_flat, true, false>(all);
      else plain<Source::row, true, false>(all);
      const int first = set.settings.q_first, last = set.settings.q_last;
      SumPass m{};
      m.part[0] = SetPart{k.M[static_cast<std::size_t>(k.current)].data(),
                          k.M[static_cast<std::size_t>(1 - k.current)].data(), nullptr, ks.dM.data(), nullptr,
                          k.coef[up][1], k.w.data(), k.F.data()};
      m.d = tc.amplitude;
      m.Q = ks.Q.data();
      m.QQ = ks.QQ.data();
      m.from = line_start(first);
      m.to = line_end(last) - 1;
      const unsigned need = needs_of(set.fit_case);
      if (by_row && flat && k.table >= 0) {
        m.row = ks.broadened[static_cast<std::size_t>(k.table)].data() +
                static_cast<std::size_t>(tc.row - 1) * static_cast<std::size_t>(ks.row_stride);
        fused<Source::row_flat>(1, need, m, &d[s - 1]);
      } else {
        broaden(set, nq, set.change.data(), ks.dM.data());
        fused<Source::given>(1, need, m, &d[s - 1]);
      }
    }
  }

  double total = 0.0;
  for (int s = 1; s <= nsets; ++s) {
    DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
    KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
    k.trial = tc.changed ? plus(k.kept, d[s - 1], needs_of(set.fit_case)) : k.kept;
    const KeptSums& e = k.trial;
    const RefitSums r{static_cast<float>(k.T[0] + e.E0), static_cast<float>(k.FF + e.EF),
                      static_cast<float>(k.T[1] + e.E1), static_cast<float>(k.T[2] + e.E2)};
    refit_coefficients(set, r);
    set.chi2 = static_cast<float>(chi_squared_from(k, e, set));
    total += static_cast<double>(set.chi2);
  }
  return total;
}

void keep_trial(Run& run) {
  KeptState& ks = run.kept;
  for (int s = 1; s <= run.params.nsets; ++s) {
    KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
    k.kept = k.trial;
    if (ks.trial_changed && run.params.resolution_on) k.current = 1 - k.current;
  }
  ks.trial_changed = false;
}

void undo_trial(Run& run) {
  KeptState& ks = run.kept;
  if (ks.trial_changed) {
    // F_calc -= change, as the method undoes a move: with resolution on
    // F_calc itself; without, its copy (the change formed again from the row
    // when it was not stored), copied back. The kept sums and a broadened
    // model were never touched.
    const int nq = run.model.q.nq;
    for (int s = 1; s <= run.params.nsets; ++s) {
      DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
      KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
      if (run.params.resolution_on) {
        Pass all = pass_for(run, s, 1, nq);
        all.src = set.change.data();
        all.out = set.F_calc.data();
        all.X = all.out;
        plain<Source::given, false, true>(all);
        continue;
      }
      Pass a = pass_for(run, s, 0, line_end(nq) - 1);
      a.out = k.M[0].data();
      a.X = a.out;
      a.copy = set.F_calc.data();
      a.copy_last = nq;
      if (ks.trial_row == 0) plain<Source::given, false, true>(a);
      else if (k.flat[static_cast<std::size_t>(ks.trial_p)]) plain<Source::row_flat, false, true>(a);
      else plain<Source::row, false, true>(a);
      copy_edges(run, s);
    }
  }
  ks.trial_changed = false;
}

int force_vector_path(int path) {
  forced_isa = path;
  return isa();
}

}  // namespace yosta

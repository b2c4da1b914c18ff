// The bodies of the vector passes, included only by the kernels_*.cpp files,
// each of which instantiates them for one instruction set.
#pragma once

#include <algorithm>
#include <cstring>

#include "base/lanes.h"
#include "fit/kernels.h"

// The helpers below are always inlined, so the calling convention of wide
// vectors (which differs between instruction sets) never applies: GCC's
// warning about it stays off, and vectors go in by reference, for which it
// would give a note at the end of the file whatever the pragma says.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace yosta::kernels {

// The vector passes work on sixteen single-precision lanes (Q point k goes to
// lane k mod 16), carried by vectors of W floats (GCC vector extension): four
// per step with SSE (W = 4), two with AVX2 (W = 8), one with AVX-512 (W = 16).
// Each operation is the scalar IEEE operation lane by lane, so the width
// changes the instructions, never the bits.
template <int W>
struct Vec : lanes::Width<W> {
  static constexpr int per_step = 16 / W;
};
// The helpers below are always inlined, so the note that passing wide
// vectors by value differs between instruction sets does not apply. (GCC
// gives it at the end of the file, so it stays off to the end.)

// Loads and stores of wide vectors are written here, not taken from
// base/lanes.h: the note about passing them is switched off for this file.
template <int W>
[[gnu::always_inline]] inline typename Vec<W>::F vload(const float* p) {
  typename Vec<W>::F v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <int W>
[[gnu::always_inline]] inline void vstore(float* p, const typename Vec<W>::F& v) {
  std::memcpy(p, &v, sizeof v);
}
// W copies of x (a broadcast: -0 stays -0).
template <int W>
[[gnu::always_inline]] inline typename Vec<W>::F splat(float x) {
  typedef typename Vec<W>::F F;
  if constexpr (W == 4)
    return F{x, x, x, x};
  else if constexpr (W == 8)
    return F{x, x, x, x, x, x, x, x};
  else
    return F{x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x};
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
  if constexpr (S == Source::given)
    return vload<W>(a.src + k);
  else if constexpr (S == Source::row)
    return vload<W>(a.src + k) * vload<W>(a.c + k) * f.d;
  else
    return vload<W>(a.src + k) * f.c * f.d;
}
template <Source S>
[[gnu::always_inline]] inline float change1(const Pass& a, int k) {
  if constexpr (S == Source::given)
    return a.src[k];
  else if constexpr (S == Source::row)
    return a.src[k] * a.c[k] * a.d;
  else
    return a.src[k] * a.c_flat * a.d;
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
[[gnu::always_inline]] inline void halves(const typename Vec<W>::F& f, typename Vec<W>::D& lo, typename Vec<W>::D& hi) {
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
          if constexpr (S == Source::given)
            ch = vload<W>(p.src + u);
          else if constexpr (S == Source::row)
            ch = row * vload<W>(p.c + u) * dv;
          else
            ch = row * cv[s] * dv;
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

// All variants of the passes for vectors of W floats, inlined into the one
// function per instruction set that calls this.
template <int W>
[[gnu::always_inline]] inline void plain_any(Source source, bool store, bool undo, const Pass& a) {
  if (undo) {
    switch (source) {
      case Source::row_flat:
        plain_body<W, Source::row_flat, false, true>(a);
        break;
      case Source::row:
        plain_body<W, Source::row, false, true>(a);
        break;
      case Source::given:
        plain_body<W, Source::given, false, true>(a);
        break;
    }
  } else if (store) {
    switch (source) {
      case Source::row_flat:
        plain_body<W, Source::row_flat, true, false>(a);
        break;
      case Source::row:
        plain_body<W, Source::row, true, false>(a);
        break;
      case Source::given:
        plain_body<W, Source::given, true, false>(a);
        break;
    }
  } else {
    switch (source) {
      case Source::row_flat:
        plain_body<W, Source::row_flat, false, false>(a);
        break;
      case Source::row:
        plain_body<W, Source::row, false, false>(a);
        break;
      case Source::given:
        plain_body<W, Source::given, false, false>(a);
        break;
    }
  }
}

// The passes always form all five sums: the ones a fit case reads come out
// the same whichever others are formed beside them, and one variant per set
// count keeps the instantiations (and the compile time) small.
constexpr unsigned all_sums = need0 | needF | need1 | need2;

template <int W, Source S>
[[gnu::always_inline]] inline void summing_copied(int sets, const SumPass& a, KeptSums* d) {
  switch (sets) {
    case 1:
      fused_body<W, 1, all_sums, S, true>(a, d);
      break;
    case 2:
      fused_body<W, 2, all_sums, S, true>(a, d);
      break;
    case 3:
      fused_body<W, 3, all_sums, S, true>(a, d);
      break;
    default:
      fused_body<W, 4, all_sums, S, true>(a, d);
      break;
  }
}

// The variants in use: passes over the copies of F_calc (no resolution) for
// one to four sets with any source, and passes over a broadened model (no
// copy) for one set with a broadened row or a broadened change.
template <int W>
[[gnu::always_inline]] inline void summing_any(Source source, int sets, bool copy, const SumPass& a, KeptSums* d) {
  if (!copy) {
    if (source == Source::row_flat)
      fused_body<W, 1, all_sums, Source::row_flat, false>(a, d);
    else
      fused_body<W, 1, all_sums, Source::given, false>(a, d);
    return;
  }
  switch (source) {
    case Source::row_flat:
      summing_copied<W, Source::row_flat>(sets, a, d);
      break;
    case Source::row:
      summing_copied<W, Source::row>(sets, a, d);
      break;
    case Source::given:
      summing_copied<W, Source::given>(sets, a, d);
      break;
  }
}

}  // namespace yosta::kernels

// The capacities of a run, fixed at build time: the largest numbers of basis
// functions, data sets, Q and r points and table entries a run may use.
#pragma once

namespace yosta {

// Capacities fixed at build time.
inline constexpr int max_basis = 6;
inline constexpr int max_constraints = 5;
inline constexpr int max_mr = 15;
inline constexpr int max_ranges = 10;
inline constexpr int max_gauss_half = 10;  // grid points on each side of a bump
inline constexpr int max_sets = 4;
inline constexpr int max_q = 1100;
inline constexpr int max_r = 12000;
inline constexpr int max_sinqr = 16501;  // entries 0..16500
inline constexpr int max_window = 40;    // resolution window points

}  // namespace yosta

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

// Limits on values no measurement means, refused where they are read (the
// guide's table of limits lists them).
inline constexpr float max_density = 1.0f;       // atoms per cubic Angstrom
inline constexpr float max_max_change = 10.0f;   // the change of r g(r) in one move
inline constexpr int min_r_points = 3;           // rmax at least (min_r_points - 1) dr
inline constexpr float max_data_value = 1.0e6f;  // |F(Q)|, |background|, |coefficient|, |fq_offset|
inline constexpr float max_error = 1.0e10f;      // |sigma| and a data file's error

}  // namespace yosta

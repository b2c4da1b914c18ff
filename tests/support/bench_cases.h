// Synthetic fitting cases of three sizes, written as a parameter file and data
// files into a folder, for the benchmarks and the speed comparison tests.
#pragma once

#include <string>

namespace yosta::bench {

struct CaseSize {
  const char* name;
  int nsets;              // data sets, all with fixed coefficients
  int nq;                 // Q points
  int nbasis;             // basis functions
  float rmax;             // Angstrom; with dq 0.05 and Mr 2 sets the number of r points
  bool gaussian;          // Gaussian moves of 21 points instead of single-point moves
  bool resolution;        // resolution broadening
  bool qdep = false;      // coefficients that vary with Q, read per point from the data files
  int plot_interval = 0;  // live plotting, drawn every this many accepted moves; 0: off
};

// small: 1 set, 300 Q, 1 function, ~150 r points, single-point moves
// medium: 3 sets, 600 Q, 3 functions, ~300 r points, single-point moves, rezero + linear
// large: 4 sets, 1100 Q, 4 functions, ~1000 r points, Gaussian moves of 21 points, resolution
inline constexpr CaseSize small_case{"small", 1, 300, 1, 30.5f, false, false};
inline constexpr CaseSize medium_case{"medium", 3, 600, 3, 31.0f, false, false};
inline constexpr CaseSize large_case{"large", 4, 1100, 4, 56.0f, true, true};
// medium with Q-dependent coefficients
inline constexpr CaseSize medium_qdep_case{"medium_qdep", 3, 600, 3, 31.0f, false, false, true};
// large with Q-dependent coefficients and without resolution
inline constexpr CaseSize large_qdep_case{"large_qdep", 4, 1100, 4, 56.0f, true, false, true};

// Writes `case_name`.dat and its data files into `folder`; returns the
// parameter file's path.
std::string write_case(const CaseSize& size, const std::string& folder);

}  // namespace yosta::bench

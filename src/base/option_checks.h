// Checks of the numeric options of both programs, with short messages that
// name the option, the value and what it must be:
//   --jobs: 0 is not in 1 to 1024
//   --rcut: 'abc' is not a number
// Each check reads the text itself (whole numbers in decimal; real numbers
// with an E or a Fortran D exponent), refuses what is not finite, and hands
// the option the value written out in full, so the typed option receives
// exactly the number that was checked. Add them with Option::transform.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace yosta {

// A whole number from `lo` to `hi`. `hidden_name` names an option that is left
// out of the help (CLI11 gives such an option no name in its messages).
CLI::Validator whole_number(long long lo, long long hi, const std::string& hidden_name = "");

// What a real number must be besides finite.
enum class Sign { any, positive, not_negative };

// A finite real number, above 0 or at least 0 when `sign` asks.
CLI::Validator real_number(Sign sign = Sign::any);

}  // namespace yosta

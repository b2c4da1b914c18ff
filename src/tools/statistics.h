// Statistics over result files: merged sums, mean basis functions, and the
// spread (standard deviation and standard error) of saved sets.
#pragma once

#include <string>
#include <vector>

#include "formats/result_files.h"
#include "tools/picture.h"

namespace yosta::tools {

// Sums, sums of squares, saved sets and collection counts added; every file
// must have the grid of the first (else Stop naming the file and how).
formats::GsvFile merge_gsv(const std::vector<formats::GsvFile>& files);
// The mean of every basis value over the files (same grid), with the move
// counts added, as a start file for a further run.
formats::GFile mean_g(const std::vector<formats::GFile>& files);
// The final states of independent runs as saved sets: one set per file.
formats::GsvFile gsv_of_states(const std::vector<formats::GFile>& files);

// Mean, standard deviation over the saved sets (n - 1 in the denominator)
// and standard error of the mean (sd / sqrt(n)), per basis function and r.
struct Spread {
  std::string source;
  int nsets = 0;
  std::vector<float> r;
  formats::Columns mean, sd, se;
};
// Stop (status 1) when the file holds fewer than 2 saved sets.
Spread spread_of(const formats::GsvFile& gsv);
// `shift` is added to every mean (1 shows g(r) when the stored values are
// g(r) - 1). The table starts with a comment line and a line naming every
// column.
std::string spread_table(const Spread& spread, float shift);
// The picture of every basis function's mean with its +-2 sd band, drawn
// and left staged (see StagedPicture), or drawn and written: one panel per
// basis function, titled by its name (see basis_name), with `y_label` on the
// value axis (what the means plus `shift` are).
StagedPicture stage_spread_picture(const Spread& spread, float shift, const std::string& file,
                                   const std::vector<std::string>& names, const std::string& y_label);
void spread_picture(const Spread& spread, float shift, const std::string& file, const std::vector<std::string>& names,
                    const std::string& y_label);

}  // namespace yosta::tools

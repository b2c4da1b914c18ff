// The result files of a run, read and written here only: root + ".g" (the
// basis functions of one state of the walk, the start of a continued run),
// ".gsv" (sums and sums of squares of the sets saved at the targets) and
// ".out" (the curve groups written for plotting). The fit and the tools use
// these readers and writers alike.
//
// Every reader checks what it reads and throws Stop with one line naming the
// file, the line, the item and the value found; every real read must be
// finite. The two restart files are told apart by their first line: a ".g"
// file begins with one integer (the number of r points), a ".gsv" file with
// two (the number of r points and of basis functions); each reader refuses
// the other kind by name. A ".gsv" file's statistics must be possible: no
// sums without saved sets, no negative sum of squares, and n S2 >= S1^2 at
// every point beyond the rounding of single-precision sums.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace yosta::formats {

// Values by column: [c][j], column c, row j, both from 0.
using Columns = std::vector<std::vector<float>>;

// root + ".g": the basis functions of one state of the walk.
struct GFile {
  std::string path;
  std::int32_t generated = 0, accepted = 0;
  std::vector<float> r;  // nr values
  Columns v;             // nbasis columns of nr stored values
  int nbasis() const { return static_cast<int>(v.size()); }
  int nr() const { return static_cast<int>(r.size()); }
};

// root + ".gsv": sums and sums of squares of the sets saved at the targets.
struct GsvFile {
  std::string path;
  std::int32_t nsaved = 0, collect_count = 0;
  std::vector<float> r;
  Columns S1, S2;
  int nbasis() const { return static_cast<int>(S1.size()); }
  int nr() const { return static_cast<int>(r.size()); }
};

// root + ".out": the curve groups written for plotting.
struct OutFile {
  struct DataSetGraph {
    int ncurves = 3;  // 3, or 4 with the broadened model
    std::vector<float> Q, model, broadened, data, background;
  };
  std::string path;
  std::string title;  // trailing blanks removed
  std::vector<DataSetGraph> sets;
  std::vector<float> r;
  Columns g;                     // basis g(r) as plotted (+1 already added in qdep mode)
  std::vector<float> Q_partial;  // empty unless the partial S(Q)s follow
  Columns partial_sq;
};

// `nbasis` 0 takes the number of basis functions from the file (the items of
// its first row); otherwise the file must hold exactly that many, and the
// message says so (a start file of another run).
GFile read_g_file(const std::string& path, int nbasis = 0);
GsvFile read_gsv_file(const std::string& path, int nbasis = 0);
OutFile read_out_file(const std::string& path);

// The texts as a run writes them: free format, every real in the shortest
// form that reads back to the same single-precision value.
std::string g_text(const GFile& g);
std::string gsv_text(const GsvFile& s);
// The same from columns held elsewhere: `r` and every column hold nr values.
std::string g_text(std::int32_t generated, std::int32_t accepted, std::span<const float> r,
                   std::span<const std::span<const float>> v);
std::string gsv_text(std::int32_t nsaved, std::int32_t collect_count, std::span<const float> r,
                     std::span<const std::span<const float>> S1, std::span<const std::span<const float>> S2);

// Writes `text` whole to `path` (temporary file, then rename).
void write_whole(const std::string& path, const std::string& text);

// Stop unless `other` has the grid of `first`: the same number of r points,
// the same r values and the same number of basis functions. The message names
// the file that differs and how.
void check_same_grid(const std::string& first_path, const std::vector<float>& first_r, int first_nbasis,
                     const std::string& other_path, const std::vector<float>& other_r, int other_nbasis);

// Half a unit in the last digit a real is written with ("0.3173" gives
// 5e-5, "1.5e3" 50): how far the value may lie from the one it stands for.
double written_resolution(const std::string& token);

}  // namespace yosta::formats

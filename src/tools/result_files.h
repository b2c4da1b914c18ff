// Reading and writing the result files of a run (".g", ".gsv", ".out") for the
// result subcommands. Every reader checks what it reads and throws Stop with
// one line naming the file, the line, the item and the value found; every
// real read must be finite.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace yosta::tools {

// Values are indexed [p][j] from 0: basis function p, r point j.
using Table = std::vector<std::vector<float>>;

// root + ".g": the basis functions of one state of the walk.
struct GFile {
  std::string path;
  std::int32_t generated = 0, accepted = 0;
  std::vector<float> r;  // nr values
  Table v;               // nbasis rows of nr stored values
  int nbasis() const { return static_cast<int>(v.size()); }
  int nr() const { return static_cast<int>(r.size()); }
};

// root + ".gsv": sums and sums of squares of the sets saved at the targets.
struct GsvFile {
  std::string path;
  std::int32_t nsaved = 0, collect_count = 0;
  std::vector<float> r;
  Table S1, S2;
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
  Table g;                       // basis g(r) as plotted (+1 already added in qdep mode)
  std::vector<float> Q_partial;  // empty unless the partial S(Q)s follow
  Table partial_sq;
};

GFile read_g_file(const std::string& path);
GsvFile read_gsv_file(const std::string& path);
OutFile read_out_file(const std::string& path);

// The texts as a run writes them (free format, reals read back exactly).
std::string g_text(const GFile& g);
std::string gsv_text(const GsvFile& s);

// Writes `text` whole to `path` (temporary file, then rename).
void write_whole(const std::string& path, const std::string& text);

// Stop unless `other` has the grid of `first`: the same number of r points,
// the same r values and the same number of basis functions. The message names
// the file that differs and how.
void check_same_grid(const std::string& first_path, const std::vector<float>& first_r, int first_nbasis,
                     const std::string& other_path, const std::vector<float>& other_r, int other_nbasis);

}  // namespace yosta::tools

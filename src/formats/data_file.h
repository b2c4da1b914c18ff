// A yosta data file, read here only: a count line (the number of points), a
// heading line, then one free-format record per point holding Q, F(Q) and
// the further columns the data set's settings ask for (the error, the
// background, one coefficient per basis function). A record may run onto the
// next line, and `/` and `n*` work as in the parameter file.
//
// The reader reads the values, the line of every point and what the rows
// held beyond the values taken; the checks of the values belong to the
// caller, which gets every item as it is read, so that a message names the
// item where it stands. The program and the ensemble's resampling read the
// files through here alike.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "text/free_reader.h"

namespace yosta::formats {

// What a data file's records hold and how its items are named in messages.
struct DataLayout {
  int columns = 2;           // values read per point: Q, F(Q), ...
  int short_column = -1;     // a column (from 0) whose absence at the end of a line marks a short row
  std::string count_what;    // the count line's item
  std::string heading_what;  // the heading line
  std::string record_what;   // one point's record
  std::function<std::string(int k, int c)> item;  // the name of column c (from 0) of point k (from 1)
};

// A data file as read so far: filled point by point, so that after a read
// that throws it tells how far reading got.
struct DataFile {
  std::int32_t nq = 0;                   // the count line's number of points
  int heading_line = 0;                  // the line of the heading
  std::vector<std::vector<float>> rows;  // [k][c], point k from 1 (row 0 unused), column c from 0
  std::vector<std::vector<char>> given;  // [k][c]: the item held a value (not a null or after a slash)
  std::vector<int> lines;                // [k]: the line of point k's Q (0 when not read)
  std::vector<int> end_lines;            // [k]: the line point k's record ended on
  std::vector<char> values_left;         // [k]: that line held values beyond those taken
  std::vector<int> reals_left;           // [k]: FreeReader::reals_left_on_line at the end of point k's record
  int points_read = 0;                   // the points whose records were read whole
  int short_point = 0;                   // the first point whose row ended before the short column (0: none)
  int short_line = 0;                    // the line of that row
  int lines_after = 0;                   // lines holding more than blanks after the last point
};

// What the caller checks while the file is read; every one may be empty.
struct DataChecks {
  // After the count line, before the heading is read.
  std::function<void(std::int32_t nq, const text::FreeReader& in)> count;
  // After every item of a point: `given` false for a null value. A check
  // refuses a value with in.refuse_last, naming it where it stands.
  std::function<void(int k, int c, bool given, float value, const text::FreeReader& in)> item;
  // The file ends before point k's record; without it the record's read
  // refuses the end of the file.
  std::function<void(int k, const DataFile& data)> ends_early;
};

// Reads the whole data file from `in`, into `data`.
void read_data_file(text::FreeReader& in, const DataLayout& layout, const DataChecks& checks, DataFile& data);

}  // namespace yosta::formats

#include "formats/data_file.h"

namespace yosta::formats {

void read_data_file(text::FreeReader& in, const DataLayout& layout, const DataChecks& checks, DataFile& data) {
  data = DataFile{};
  data.nq = in.read_int(layout.count_what);
  if (checks.count) checks.count(data.nq, in);
  in.skip_line(layout.heading_what);
  data.heading_line = in.line_number();
  // Point rows are added as they are read: the count line bounds nothing
  // here (the caller's count check does), and a short file allocates no
  // more than it holds.
  const std::size_t columns = static_cast<std::size_t>(layout.columns);
  data.rows.assign(1, std::vector<float>(columns, 0.0f));
  data.given.assign(1, std::vector<char>(columns, 0));
  data.lines.assign(1, 0);
  data.end_lines.assign(1, 0);
  data.values_left.assign(1, 0);
  data.reals_left.assign(1, 0);
  for (int k = 1; k <= data.nq; ++k) {
    const auto p = static_cast<std::size_t>(k);
    if (in.at_end() && checks.ends_early) checks.ends_early(k, data);
    in.begin(layout.record_what);
    data.rows.emplace_back(columns, 0.0f);
    data.given.emplace_back(columns, 0);
    data.lines.push_back(0);
    data.end_lines.push_back(0);
    data.values_left.push_back(0);
    data.reals_left.push_back(0);
    for (int c = 0; c < layout.columns; ++c) {
      const auto j = static_cast<std::size_t>(c);
      // A record may go on to the next line; a row that ends before the
      // short column usually means a file without that column.
      if (c == layout.short_column && data.short_point == 0 && !in.values_left_on_line()) {
        data.short_point = k;
        data.short_line = in.line_number();
      }
      float& value = data.rows[p][j];
      const bool given = in.get(value, layout.item(k, c));
      data.given[p][j] = given ? 1 : 0;
      if (c == 0) data.lines[p] = in.line_number();
      if (checks.item) checks.item(k, c, given, value, in);
    }
    data.end_lines[p] = in.line_number();
    data.values_left[p] = in.values_left_on_line() ? 1 : 0;
    data.reals_left[p] = in.reals_left_on_line();
    in.end();
    data.points_read = k;
  }
  data.lines_after = in.text_lines_after();
}

}  // namespace yosta::formats

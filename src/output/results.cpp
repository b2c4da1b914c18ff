// The result files of a save.
//
// ".g" and ".gsv" are restart files: every real is written in the shortest
// form that reads back to the same single-precision value, so a continued run
// starts from exactly the values saved. ".out" holds curve groups for plotting.
// Each file is written under a temporary name and renamed over the old one
// when all of them are complete, so a run stopped during a save keeps whole
// files of one save.
#include "output/results.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fit/health.h"
#include "formats/result_files.h"
#include "model/corrections.h"
#include "model/transform.h"
#include "base/files.h"
#include "base/interrupts.h"
#include "base/lock.h"
#include "base/stop.h"
#include "text/free_writer.h"

namespace yosta {
namespace {

using text::append_item;
using text::free_record;

std::size_t index(int i) { return static_cast<std::size_t>(i); }

// r_j as the grid defines it: the single-precision product of j and dr.
float r_at(const Model& model, int j) { return static_cast<float>(j) * model.r.dr; }

std::string text_record(const char* text) { return free_record({std::string(text)}); }

void end_line(std::string& out, std::string& line) {
  line += '\n';
  out += line;
  line.clear();
}

// One graph of data set s: model, (broadened model,) corrected data and
// background over the fitted range.
void append_data_set_graph(const Run& run, int s, std::string& out) {
  const DataSet& set = run.model.sets[index(s)];
  const DataSetSettings& d = set.settings;
  const bool broadened = run.params.resolution_on;
  out += text_record(" Q, S(Q) (YOSTA), S(Q) (Expt), Background");
  out += text_record("CURVES");
  out += free_record({d.q_last - d.q_first + 1, std::int32_t{broadened ? 4 : 3}});
  std::string line;
  for (int k = d.q_first; k <= d.q_last; ++k) {
    const float Q = run.model.q.Q[index(k)];
    const float background = set.a0 + set.a1 * Q + set.a2 * (Q * Q);
    const float corrected = set.beta * set.F[index(k)] + background;
    append_item(line, Q);
    append_item(line, set.F_calc[index(k)]);
    if (broadened) append_item(line, set.M[index(k)]);
    append_item(line, corrected);
    append_item(line, background);
    end_line(out, line);
  }
}

void append_basis_graph(const Run& run, std::string& out) {
  const RunParameters& p = run.params;
  // In Q-dependent-coefficient mode the stored values are g(r) - 1.
  const float shift = p.qdep_coefficients ? 1.0f : 0.0f;
  out += free_record({p.nbasis, std::string(" Basis functions")});
  out += text_record(" r, Basis g(r)");
  out += text_record("PLOTS");
  out += free_record({run.model.r.nr, p.nbasis});
  std::string line;
  for (int j = 1; j <= run.model.r.nr; ++j) {
    append_item(line, r_at(run.model, j));
    for (int b = 1; b <= p.nbasis; ++b) append_item(line, run.model.v[index(b)][index(j)] + shift);
    end_line(out, line);
  }
  out += text_record("ENDGROUP");
}

// The partial structure factors over the whole Q grid (Q-dependent mode only).
void append_partial_sq(const Run& run, std::string& out) {
  const RunParameters& p = run.params;
  out += text_record("Partial S(Q)'s");
  out += text_record(" Q, S(Q)");
  out += text_record("PLOTS");
  out += free_record({run.model.q.nq, p.nbasis});
  std::string line;
  for (int k = 1; k <= run.model.q.nq; ++k) {
    append_item(line, run.model.q.Q[index(k)]);
    for (int b = 1; b <= p.nbasis; ++b) append_item(line, partial_sq(run.model, b, k));
    end_line(out, line);
  }
}

}  // namespace

namespace {

// The r values of the grid and views of the 1-based columns of the model.
std::vector<float> r_values(const Model& model) {
  std::vector<float> r(static_cast<std::size_t>(model.r.nr));
  for (int j = 1; j <= model.r.nr; ++j) r[index(j - 1)] = r_at(model, j);
  return r;
}

template <class Tables>
std::vector<std::span<const float>> columns(const Tables& t, int ncolumns, int nr) {
  std::vector<std::span<const float>> out;
  for (int b = 1; b <= ncolumns; ++b) out.emplace_back(t[index(b)].data() + 1, index(nr));
  return out;
}

}  // namespace

std::string g_file_text(const Run& run) {
  const std::vector<float> r = r_values(run.model);
  const auto v = columns(run.model.v, run.params.nbasis, run.model.r.nr);
  return formats::g_text(run.control.generated, run.control.accepted, r, v);
}

std::string gsv_file_text(const Run& run) {
  const std::vector<float> r = r_values(run.model);
  const auto S1 = columns(run.sums.S1, run.params.nbasis, run.model.r.nr);
  const auto S2 = columns(run.sums.S2, run.params.nbasis, run.model.r.nr);
  return formats::gsv_text(run.sums.nsaved, run.sums.collect_count, r, S1, S2);
}

std::string out_file_text(const Run& run) {
  const RunParameters& p = run.params;
  std::string title = p.title;
  title.resize(80, ' ');  // the title record is written as all 80 characters

  std::string out;
  out += text_record("Results from YOSTA");
  out += text_record("TITLE");
  out += free_record({title});
  out += free_record({p.nsets, std::string(" experimental data sets")});
  for (int s = 1; s <= p.nsets; ++s) append_data_set_graph(run, s, out);
  out += text_record("ENDGROUP");
  append_basis_graph(run, out);
  if (p.qdep_coefficients) append_partial_sq(run, out);
  return out;
}

void save_results(const Run& run, Console& console) {
  // A stop signal during the save waits for it: the set of files stays whole.
  const SaveInProgress in_progress;
  // The .out text refits the corrections for the current model; then every
  // number to be written is checked, and a model that is no longer finite
  // ends the run here with the earlier results as they were.
  const std::string out_text = out_file_text(run);
  stop_unless_finite(run, true, failed_after_start_status);
  console.write(text_record("Saving results ... Do not interrupt"));
  console.flush();
  const RunParameters& p = run.params;
  const std::string g_path = root_file(p, ".g"), gsv_path = root_file(p, ".gsv"), out_path = root_file(p, ".out");
  // Leftovers of a save cut short, also of a file this save does not write.
  for (const std::string* path : {&g_path, &gsv_path, &out_path}) remove_temp(*path);

  OutputFile g(g_path);
  g.write(g_file_text(run));
  g.finish();
  std::unique_ptr<OutputFile> gsv;
  if (p.save_targets) {
    gsv = std::make_unique<OutputFile>(gsv_path);
    gsv->write(gsv_file_text(run));
    gsv->finish();
  }
  OutputFile out(out_path);
  out.write(out_text);
  out.finish();
  g.commit();
  if (gsv) gsv->commit();
  out.commit();
  note_completed_save(run.control.generated);
  console.write(text_record("Saving completed"));
  console.flush();
}

void check_inputs_kept(const RunParameters& params, const std::string& parameter_file) {
  struct Written {
    std::string path, kind;
  };
  std::vector<Written> written;
  for (const char* extension : {".g", ".out", ".gsv"}) {
    const std::string path = root_file(params, extension);
    written.push_back({path, "the result file"});
    written.push_back({temp_name(path), "the temporary file of a save"});
  }
  written.push_back({lock_name(root_file(params, "")), "the lock file of a run"});
  std::vector<std::pair<std::string, std::string>> inputs{
      {"The parameter file \"" + parameter_file + "\"", parameter_file}};
  for (int s = 0; s < params.nsets; ++s) {
    const std::string name = build_name(params.sets[static_cast<std::size_t>(s)].data_file, ".dat");
    inputs.emplace_back("The data file of set " + std::to_string(s + 1) + ", \"" + name + "\",", name);
  }
  for (const auto& [what, path] : inputs) {
    struct stat input {};
    if (path.empty() || ::stat(path.c_str(), &input) != 0) continue;  // reading it will say why
    for (const Written& w : written) {
      struct stat result {};
      if (::stat(w.path.c_str(), &result) == 0 && result.st_dev == input.st_dev && result.st_ino == input.st_ino)
        throw Stop(what + " is " + w.kind + " \"" + w.path + "\" of the root \"" + root_file(params, "") +
                   "\" (last record of \"" + parameter_file + "\"): the run would replace it; choose another root");
    }
  }
}

void check_result_place(const RunParameters& params) {
  std::vector<std::string> paths{root_file(params, ".g"), root_file(params, ".out")};
  if (params.save_targets) paths.push_back(root_file(params, ".gsv"));
  for (const std::string& path : paths) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
      throw Stop("Cannot write result file \"" + path + "\": " + std::strerror(EISDIR));
  }
  // A file made and removed again under the name a save first creates.
  const std::string probe = temp_name(paths[0]);
  ::unlink(probe.c_str());
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int error = errno;
    throw Stop("Cannot create file \"" + probe + "\" for the results: " + std::strerror(error));
  }
  ::close(fd);
  ::unlink(probe.c_str());
}

}  // namespace yosta

#include "app/program.h"

#include <sys/utsname.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sstream>
#include <utility>

#include "display/plots.h"
#include "model/constraints.h"
#include "fit/cycle.h"
#include "model/corrections.h"
#include "model/datasets.h"
#include "model/grid.h"
#include "model/state.h"
#include "model/start.h"
#include "model/transform.h"
#include "output/progress.h"
#include "output/report.h"
#include "output/results.h"
#include "app/schedule.h"
#include "fit/build.h"
#include "fit/evaluation.h"
#include "fit/targets.h"
#include "input/parameters.h"
#include "base/files.h"
#include "base/random.h"
#include "base/interrupts.h"
#include "base/lock.h"
#include "base/stop.h"
#include "text/free_reader.h"
#include "text/free_writer.h"

namespace yosta {

namespace {

std::string trimmed(const std::string& s) {
  const std::size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The program's own version and the platform it runs on, under " Please Wait... ".
std::string banner() {
  std::string platform = "an unknown platform";
  utsname u{};
  if (uname(&u) == 0) platform = std::string(u.sysname) + " " + u.machine;
  return " yosta 3.0 on " + platform + "\n";
}

std::string trimmed_name(const std::string& name) {
  const std::size_t end = name.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : name.substr(0, end + 1);
}

// After the final save: the moves, the fit of every data set to the current
// model, the coordination numbers and the result files.
void write_summary(Run& run, Console& console) {
  const RunParameters& p = run.params;
  evaluate(p, run.model);  // the corrections in memory may belong to a rejected move
  char line[400];
  console.write("\n Run summary\n");
  std::snprintf(line, sizeof line, " Moves generated %d, accepted %d; made by this run %lld\n", run.control.generated,
                run.control.accepted, static_cast<long long>(run.control.moves_made));
  console.write(line);
  if (run.schedule.interrupted != nullptr && *run.schedule.interrupted != 0) {
    std::snprintf(line, sizeof line,
                  " Interrupted: the fit stopped early, on a signal, after %lld moves; the results hold the state"
                  " it had then\n",
                  static_cast<long long>(run.control.moves_made));
    console.write(line);
  }
  for (int s = 1; s <= p.nsets; ++s) {
    const DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
    const std::string name = trimmed_name(set.settings.data_file);
    std::snprintf(line, sizeof line, " Data set %d (%s): chi-squared per point %.4g over %d points\n", s, name.c_str(),
                  static_cast<double>(set.chi2 / set.N), static_cast<int>(set.N));
    console.write(line);
    // A negative sigma of a set with fixed coefficients and no background
    // column reads the errors from the file; the report shows its size.
    const DataSetSettings& given = p.sets[static_cast<std::size_t>(s - 1)];
    if (s <= p.nsets_fixed && !given.background_column && given.sigma < 0.0f) {
      std::snprintf(line, sizeof line,
                    " Data set %d (%s): the error of each point is read from the file's error column (sigma %g);"
                    " the report's \"Standard deviation is %.5f\" is not used\n",
                    s, name.c_str(), static_cast<double>(given.sigma), static_cast<double>(set.settings.sigma));
      console.write(line);
    }
  }
  for (std::size_t c = 0; c < p.coordination.size(); ++c) {
    const CoordinationConstraint& cc = p.coordination[c];
    std::snprintf(line, sizeof line, " Coordination constraint %zu (partial %d, %.2f to %.2f A): %.4g, target %.4g\n",
                  c + 1, cc.partial, static_cast<double>(cc.r_from), static_cast<double>(cc.r_to),
                  static_cast<double>(run.model.Nc[c + 1]), static_cast<double>(cc.coordination));
    console.write(line);
  }
  std::string files;
  for (const char* extension : {".g", ".gsv", ".out"}) {
    const std::string name = root_file(p, extension);
    if ((extension != std::string(".gsv") || p.save_targets) && file_exists(name)) files += " " + name;
  }
  console.write(" Results written:" + (files.empty() ? std::string(" none") : files) + "\n");
}

// A failure once moves have been made (a save that cannot be written, the
// folder gone): its own status, and where the last complete results are.
Stop failed_after_start(Stop stop, const RunParameters& p) {
  std::int32_t move = 0;
  std::string files = root_file(p, ".g") + ", " + root_file(p, ".out");
  if (p.save_targets) files += ", " + root_file(p, ".gsv");
  if (last_completed_save(move))
    stop.lines.push_back(
        "The run stopped after its moves had begun; the last complete results are those saved at move " +
        std::to_string(move) + ": " + files);
  else
    stop.lines.push_back("The run stopped after its moves had begun, before its first save: " + files +
                         " are as they were before the run");
  stop.status = failed_after_start_status;
  return stop;
}

}  // namespace

std::string ask_parameter_file(Console& console) {
  for (;;) {
    console.write("Parameter file: ");
    std::string typed;
    const bool got = console.read_line(typed);
    // Answers read from a file or pipe are echoed, so the transcript reads as
    // a terminal session would and the prompt does not run into the next line.
    if (!console.input_is_terminal()) console.write(typed + "\n");
    if (!got) throw Stop("No parameter file given");
    typed = trimmed(typed);
    if (!typed.empty()) return typed;
  }
}

bool ask_to_begin(Console& console) {
  char answer = 'Y';
  console.write(text::free_record({std::string("Begin (Y/N)?")}));
  // A free-format read passes over empty lines until it finds a value.
  std::string typed;
  do {
    if (!console.read_line(typed)) throw Stop("No answer to \"Begin (Y/N)?\": end of input");
  } while (typed.find_first_not_of(" \t") == std::string::npos);
  std::istringstream line(typed);
  text::FreeReader reader("console", line);
  reader.begin("answer");
  reader.get(answer, "answer (Y/N)");
  reader.end();
  // QUIRK: only an answer whose first character is an upper-case N declines;
  // "n" begins the run, as the program has always done.
  return answer != 'N';
}

int finish_run(bool all_saved) { return all_saved ? 0 : 10; }

int run_program(const ProgramOptions& options, Console& console) {
  const ClockStart clock = start_clock();
  // Output into a closed pipe must not end the fit or its saves: a failed
  // console write is ignored.
  std::signal(SIGPIPE, SIG_IGN);

  console.set_title("Parameters");
  console.write(text::free_record({std::string(" Please Wait... ")}));
  console.write(banner());

  // A name from the command line or typed by the user is used as it stands,
  // without a default extension.
  const std::string path = options.parameter_file.empty() ? ask_parameter_file(console) : options.parameter_file;
  BuildOptions build;
  build.seed = options.seed.value_or(clock.seed);
  build.start_time = clock.start_time;
  const RunParameters params = read_parameter_file(path);
  const std::vector<std::string> names =
      options.names.empty() ? std::vector<std::string>{} : basis_names(options.names, params.nbasis);
  check_inputs_kept(params, path);
  std::unique_ptr<Run> owned = build_run(params, build, console);
  Run& run = *owned;
  run.schedule.max_moves = options.max_moves;
  run.schedule.interrupted = InterruptCatcher::flag();
  forget_saves();
  run.hooks.progress = write_progress;
  run.hooks.after_move = save_check;
  run.schedule.clock_every = clock_check_moves;
  // A target-saving run whose sums file already holds every set asked for
  // has nothing left to do: no move, no save, every file as it was.
  if (run.params.save_targets && run.sums.nsaved >= run.params.nsave) {
    console.line(" The run is complete: " + root_file(run.params, ".gsv") + " already holds " +
                 std::to_string(run.sums.nsaved) + " saved sets of the " + std::to_string(run.params.nsave) +
                 " asked for (nsave); nothing was changed. Raise nsave in the parameter file to collect more");
    console.flush();
    return 0;
  }
  check_result_place(run.params);
  // One run at a time writes the results of a root; the lock goes with the
  // process, however it ends.
  const std::string root = root_file(run.params, "");
  const FileLock root_lock(lock_name(root), "The root \"" + root + "\" is in use by another run",
                           "wait for it to end, or choose another root");
  // A seed from the clock is shown, so that the run can be repeated.
  if (!options.seed)
    console.line("Random seed " + std::to_string(run.control.seed) + ": repeat this run with --seed " +
                 std::to_string(run.control.seed));
  write_report(run, console);

  // With live plotting the user confirms the start and watches two windows. A
  // device named on the command line also draws the panels when the parameter
  // file has live plotting off (pictures of a batch run), without the prompt.
  std::unique_ptr<LivePlots> plots;
  if (run.params.live_plot || !options.plot_device.empty()) {
    plots = std::make_unique<LivePlots>(run);
    plots->name_basis(names);
    if (run.params.live_plot && !ask_to_begin(console)) return 0;
    plots->open(options.plot_device);
    plots->attach();
  }

  bool all_saved = false;
  // From here to the end a stop signal ends the cycle after the current move
  // with a final save; a second one outside a save ends the program at once.
  const InterruptCatcher catcher(FurtherSignal::end_at_once);
  if (run.schedule.max_moves == 0) {
    // No move at all: the start state is saved once.
    save_now(run, console);
    all_saved = all_sets_saved(run);
  } else {
    try {
      all_saved = run_cycle(run, console);
    } catch (Stop& stop) {
      throw failed_after_start(std::move(stop), run.params);
    }
  }
  write_summary(run, console);
  console.flush();
  return finish_run(all_saved);
}

}  // namespace yosta

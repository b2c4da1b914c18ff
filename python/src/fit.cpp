// A fit in memory: set up as the program sets up a run, moves made in
// portions (the interpreter released meanwhile), the model read out as
// arrays, and the result files written by the program's own save.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/schedule.h"
#include "base/clock.h"
#include "base/console.h"
#include "base/files.h"
#include "bindings.h"
#include "fit/build.h"
#include "fit/cycle.h"
#include "fit/evaluation.h"
#include "fit/run.h"
#include "fit/targets.h"
#include "input/parameters.h"
#include "model/corrections.h"
#include "model/transform.h"
#include "output/results.h"
#include "text/free_reader.h"
#include "tools/ensemble.h"

namespace yosta::python {
namespace {

std::size_t u(int i) { return static_cast<std::size_t>(i); }

std::string trimmed_right(const std::string& s) {
  const std::size_t end = s.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

std::string padded(std::string s) {
  if (s.size() < 80) s.resize(80, ' ');
  return s;
}

// A relative name from the parameter file, as the program would open it from
// `folder` (its default extension added first, as the program adds it).
std::string in_folder(const std::string& folder, const std::string& name) {
  if (folder.empty() || name.empty() || name.front() == '/') return name;
  return folder + "/" + name;
}

// The walk ends after the moves of this portion, or when every requested
// target set has been taken (the program saves and ends there).
bool portion_check(Run& run, Console& /*console*/, const MoveReport& /*report*/) {
  return !(run.control.moves_made >= run.schedule.max_moves ||
           (run.params.save_targets && run.sums.nsaved == run.params.nsave));
}

template <class T>
py::array_t<T> read_only(py::array_t<T> a) {
  py::detail::array_proxy(a.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
  return a;
}

class FitCore {
 public:
  // `text` is a parameter file as the program reads it, `name` the name its
  // messages give; relative data-file and root names are taken from `folder`.
  FitCore(const std::string& name, const std::string& text, const std::string& folder) : console_(out_, in_) {
    RunParameters params;
    {
      std::istringstream in(text);
      text::FreeReader reader(name, in);
      params = read_parameters(reader);
    }
    for (int s = 0; s < params.nsets; ++s) {
      DataSetSettings& set = params.sets[u(s)];
      set.data_file = padded(in_folder(folder, build_name(set.data_file, ".dat")));
    }
    const std::string root = in_folder(folder, trimmed_right(params.root));
    params.root = padded(root);
    params.root_length = static_cast<std::int32_t>(root.size());
    BuildOptions build;
    build.seed = 1;
    build.start_time = now_minutes();
    run_ = build_run(params, build, console_);
    run_->hooks.after_move = portion_check;
    setup_text_ = out_.str();
    out_.str(std::string());
  }

  void seed(std::int32_t s) {
    if (s < 1 || s > 2147483646) throw py::value_error("the seed must lie in 1..2147483646");
    run_->control.seed = s;
  }
  std::int32_t current_seed() const { return run_->control.seed; }

  // Up to `moves` moves; returns the number made (fewer only when the last
  // target set was taken). Called with the interpreter released.
  std::int64_t advance(std::int64_t moves) {
    Run& run = *run_;
    if (moves <= 0) return 0;
    const std::int64_t before = run.control.moves_made;
    run.schedule.max_moves = before + moves;
    run.control.running = true;
    run_cycle(run, console_);
    return run.control.moves_made - before;
  }

  bool targets_complete() const { return all_sets_saved(*run_); }

  // The program's save, under `root` (with the extensions .g, .out and, with
  // target saving, .gsv).
  void save(const std::string& root) {
    Run& run = *run_;
    const std::string old_root = run.params.root;
    const std::int32_t old_length = run.params.root_length;
    run.params.root = padded(root);
    run.params.root_length = static_cast<std::int32_t>(root.size());
    try {
      check_result_place(run.params);
      save_now(run, console_);
    } catch (...) {
      run.params.root = old_root;
      run.params.root_length = old_length;
      throw;
    }
    run.params.root = old_root;
    run.params.root_length = old_length;
  }

  std::string root() const { return trimmed_right(run_->params.root); }
  std::string setup_text() const { return setup_text_; }
  std::string console_text() {
    std::string t = out_.str();
    out_.str(std::string());
    return t;
  }

  int nbasis() const { return run_->params.nbasis; }
  int nsets() const { return run_->params.nsets; }

  py::array_t<float> r() const {
    const Model& m = run_->model;
    py::array_t<float> a(m.r.nr);
    for (int j = 1; j <= m.r.nr; ++j) a.mutable_data()[j - 1] = static_cast<float>(j) * m.r.dr;
    return read_only(a);
  }

  py::array_t<float> g() const {
    const Model& m = run_->model;
    const int nb = run_->params.nbasis, nr = m.r.nr;
    py::array_t<float> a({nb, nr});
    for (int p = 1; p <= nb; ++p)
      for (int j = 1; j <= nr; ++j) a.mutable_data()[u((p - 1) * nr + j - 1)] = m.v[u(p)][u(j)];
    return read_only(a);
  }

  // Everything of data set s (from 0) over its fitted range, for the current
  // model with its corrections refitted; the state the walk keeps is left as
  // it was.
  py::dict data_set(int s) {
    Run& run = *run_;
    if (s < 0 || s >= run.params.nsets) throw py::index_error("data set index out of range");
    const Kept kept = keep(run);
    sync_model(run);
    evaluate(run.params, run.model);
    const DataSet& set = run.model.sets[u(s + 1)];
    const int first = set.settings.q_first, last = set.settings.q_last, n = last - first + 1;
    py::array_t<float> Q(n), data(n), fit(n), model(n), corrected(n), background(n), error(n);
    for (int k = first; k <= last; ++k) {
      const auto i = u(k - first);
      const float q = run.model.q.Q[u(k)];
      const float b = set.a0 + set.a1 * q + set.a2 * (q * q);
      Q.mutable_data()[i] = q;
      data.mutable_data()[i] = set.F[u(k)];
      model.mutable_data()[i] = set.F_calc[u(k)];
      fit.mutable_data()[i] = run.params.resolution_on ? set.M[u(k)] : set.F_calc[u(k)];
      corrected.mutable_data()[i] = set.beta * set.F[u(k)] + b;
      background.mutable_data()[i] = b;
      error.mutable_data()[i] = std::sqrt(set.err[u(k)]);
    }
    py::dict d;
    d["data_file"] = trimmed_right(set.settings.data_file);
    d["Q"] = read_only(Q);
    d["data"] = read_only(data);
    d["fit"] = read_only(fit);
    d["model"] = read_only(model);
    d["corrected"] = read_only(corrected);
    d["background"] = read_only(background);
    d["error"] = read_only(error);
    d["corrections"] = py::make_tuple(set.beta, set.a0, set.a1, set.a2);
    d["chi2"] = set.chi2;
    d["points"] = set.N;
    restore(run, kept);
    return d;
  }

  // The partial structure factors over the whole Q grid: (Q, one row per basis function).
  py::tuple partial_sq_arrays() const {
    const Model& m = run_->model;
    const int nb = run_->params.nbasis, nq = m.q.nq;
    py::array_t<float> Q(nq), s({nb, nq});
    for (int k = 1; k <= nq; ++k) Q.mutable_data()[k - 1] = m.q.Q[u(k)];
    for (int p = 1; p <= nb; ++p)
      for (int k = 1; k <= nq; ++k) s.mutable_data()[u((p - 1) * nq + k - 1)] = partial_sq(m, p, k);
    return py::make_tuple(read_only(Q), read_only(s));
  }

  std::vector<float> coordination() const {
    std::vector<float> c;
    for (std::size_t i = 1; i <= run_->params.coordination.size(); ++i) c.push_back(run_->model.Nc[i]);
    return c;
  }

  py::dict counters() const {
    const Run& run = *run_;
    py::dict d;
    d["generated"] = run.control.generated;
    d["accepted"] = run.control.accepted;
    d["moves_made"] = run.control.moves_made;
    d["cost"] = run.control.E_cur;
    d["nsaved"] = run.sums.nsaved;
    return d;
  }

 private:
  // The per-set state that a refit for display changes.
  struct KeptSet {
    float beta, a0, a1, a2, chi2;
    Array1<float, max_q> M;
  };
  using Kept = std::array<KeptSet, max_sets + 1>;

  static Kept keep(const Run& run) {
    Kept k{};
    for (int s = 1; s <= run.params.nsets; ++s) {
      const DataSet& d = run.model.sets[u(s)];
      k[u(s)] = KeptSet{d.beta, d.a0, d.a1, d.a2, d.chi2, d.M};
    }
    return k;
  }
  static void restore(Run& run, const Kept& k) {
    for (int s = 1; s <= run.params.nsets; ++s) {
      DataSet& d = run.model.sets[u(s)];
      const KeptSet& x = k[u(s)];
      d.beta = x.beta;
      d.a0 = x.a0;
      d.a1 = x.a1;
      d.a2 = x.a2;
      d.chi2 = x.chi2;
      d.M = x.M;
    }
  }

  std::ostringstream out_;
  std::istringstream in_;
  Console console_;
  std::unique_ptr<Run> run_;
  std::string setup_text_;
};

}  // namespace

void bind_fit(py::module_& m) {
  py::class_<FitCore>(m, "FitCore", "A run of the fit in memory (use yosta.Fit)")
      .def(py::init<const std::string&, const std::string&, const std::string&>(), py::arg("name"), py::arg("text"),
           py::arg("folder"))
      .def("seed", &FitCore::seed, py::arg("seed"))
      .def_property_readonly("current_seed", &FitCore::current_seed)
      .def("advance", &FitCore::advance, py::arg("moves"), py::call_guard<py::gil_scoped_release>())
      .def_property_readonly("targets_complete", &FitCore::targets_complete)
      .def("save", &FitCore::save, py::arg("root"))
      .def_property_readonly("root", &FitCore::root)
      .def_property_readonly("setup_text", &FitCore::setup_text)
      .def("console_text", &FitCore::console_text)
      .def_property_readonly("nbasis", &FitCore::nbasis)
      .def_property_readonly("nsets", &FitCore::nsets)
      .def("r", &FitCore::r)
      .def("g", &FitCore::g)
      .def("data_set", &FitCore::data_set, py::arg("index"))
      .def("partial_sq", &FitCore::partial_sq_arrays)
      .def("coordination", &FitCore::coordination)
      .def("counters", &FitCore::counters);
  m.def("member_seed", &tools::member_seed, py::arg("base"), py::arg("k"),
        "The seed of ensemble member k (from 1) as yosta-tools ensemble derives it");
}

}  // namespace yosta::python

// The plot tests' recorder of library calls (a stand-in for the library that
// notes every call), the fake clock, and a small run to draw.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/plots.h"
#include "fit/run.h"

namespace yosta::plots_test {

// ------------------------------------------------------------ the recorder

struct Call {
  std::string name;
  std::vector<double> args;
  std::string text;
};

inline std::vector<Call> calls;
inline double fake_now = 100.0;
inline int next_id = 0;
inline int failing_open = 0;  // the n-th open (1-based) fails; 0: none

inline void record(std::string name, std::vector<double> args = {}, std::string text = {}) {
  calls.push_back({std::move(name), std::move(args), std::move(text)});
}

inline PlotApi recorder() {
  PlotApi api{};
  api.open = [](const char* device) {
    record("open", {}, device);
    ++next_id;
    return next_id == failing_open ? -1 : next_id;
  };
  api.select = [](int id) { record("select", {double(id)}); };
  api.ask = [](int flag) { record("ask", {double(flag)}); };
  api.paper = [](float w, float a) { record("paper", {w, a}); };
  api.char_height = [](float h) { record("sch", {h}); };
  api.begin_buffer = [] { record("bbuf"); };
  api.end_buffer = [] { record("ebuf"); };
  api.env = [](float x0, float x1, float y0, float y1, int just, int axis) {
    record("env", {x0, x1, y0, y1, double(just), double(axis)});
  };
  api.label = [](const char* x, const char* y, const char* top) {
    record("label", {}, std::string(x) + "|" + y + "|" + top);
  };
  api.colour = [](int ci) { record("sci", {double(ci)}); };
  api.colour_rgb = [](int ci, float r, float g, float b) { record("scr", {double(ci), r, g, b}); };
  api.line = [](int n, const float* x, const float* y) { record("line", {double(n), x[0], y[0], x[n - 1], y[n - 1]}); };
  api.close = [] { record("close"); };
  api.place = [](const char* first, const char* second) {
    record("place", {}, std::string(first) + "|" + second);
    return true;
  };
  api.now = [] { return fake_now; };
  return api;
}

// The real library with the fake clock, so throttling does not depend on speed.
inline PlotApi library_with_fake_clock() {
  PlotApi api = pgplot_api();
  api.now = [] { return fake_now; };
  return api;
}

inline std::vector<std::string> names() {
  std::vector<std::string> out;
  for (const Call& c : calls) out.push_back(c.name);
  return out;
}

class PlotsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    fake_now = 100.0;
    next_id = 0;
    failing_open = 0;
    run = make_run();
    // 400 points at 0.05 Angstrom; 3 Q points.
    run->model.r.nr = 400;
    run->model.r.dr = 0.05f;
    for (int j = 1; j <= 400; ++j) run->model.v[1][j] = 0.5f * std::sin(0.1f * float(j));
    run->model.q.nq = 3;
    run->model.q.Q[1] = 1.0f;
    run->model.q.Q[2] = 2.0f;
    run->model.q.Q[3] = 3.0f;
    DataSet& s = run->model.sets[1];
    s.a0 = 0.1f;
    s.a1 = 0.2f;
    s.a2 = 0.05f;
    s.beta = 2.0f;
    for (int k = 1; k <= 3; ++k) {
      s.F[k] = 0.5f * float(k);
      s.F_calc[k] = 1.0f + float(k);
    }
  }
  void set_root(const std::string& root) {
    run->params.root = root + std::string(20, ' ');
    run->params.root_length = static_cast<std::int32_t>(root.size());
  }
  std::unique_ptr<yosta::Run> run;
};

}  // namespace yosta::plots_test

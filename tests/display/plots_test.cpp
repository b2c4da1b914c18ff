// The plot panels and the calls they make through the library, with a recorder
// in place of the library.
#include "display/plots.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "base/stop.h"
#include "display/plots_fixture.h"
#include "model/transform.h"
#include "support/test_support.h"

namespace yosta {
namespace {

using namespace plots_test;

// ------------------------------------------------------------- panel data

TEST_F(PlotsTest, GridOfFourHundredPointsIsDrawnUpTo14_95) {
  GrPanel g;
  build_gr_panel(*run, g);
  EXPECT_EQ(g.x_min, 0.05f);
  EXPECT_EQ(g.x_max, 15.0f);
  EXPECT_EQ(g.n, 299);  // 15 / 0.05f is just below 300
  EXPECT_FLOAT_EQ(g.x[g.n], 14.95f);
  EXPECT_EQ(g.x[401], 0.0f);

  // A grid ending below 15 Angstrom is cut by the same truncation.
  run->model.r.nr = 100;
  run->model.r.dr = 0.1f;
  build_gr_panel(*run, g);
  EXPECT_EQ(g.x_max, 10.0f);
  EXPECT_EQ(g.n, 99);
}

TEST_F(PlotsTest, GrRangeIncludesZeroFloorsAtOneAndCoversTheUndrawnTail) {
  for (int j = 1; j <= 400; ++j) run->model.v[1][j] = 0.0f;
  run->model.v[1][3] = -0.5f;
  run->model.v[1][4] = 0.5f;
  GrPanel g;
  build_gr_panel(*run, g);
  EXPECT_FLOAT_EQ(g.y_min, -0.55f);
  EXPECT_EQ(g.y_max, 1.0f);  // maximum 0.5 plus 10% stays below the floor of 1

  // Values all above zero: the zeros beyond nr still pull the range down to 0.
  for (int j = 1; j <= 400; ++j) run->model.v[1][j] = 2.0f;
  run->model.v[1][350] = 4.0f;  // beyond 15 Angstrom: not drawn, but in range
  update_gr_panel(*run, g);
  EXPECT_EQ(g.y_min, 0.0f);
  EXPECT_FLOAT_EQ(g.y_max, 4.4f);
  EXPECT_EQ(g.n, 299);

  // A full grid has no zero entries.
  run->model.r.nr = max_r;
  run->model.r.dr = 0.001f;
  for (int j = 1; j <= max_r; ++j) run->model.v[1][j] = 2.0f;
  build_gr_panel(*run, g);
  EXPECT_FLOAT_EQ(g.y_min, 1.8f);
  EXPECT_FLOAT_EQ(g.y_max, 2.2f);
}

TEST_F(PlotsTest, FqPanelCurvesAndLimits) {
  FqPanel f;
  build_fq_panel(*run, f);
  EXPECT_EQ(f.n, 3);
  EXPECT_EQ(f.X_min, 1.0f);
  EXPECT_EQ(f.X_max, 3.0f);
  // Q = 2: background 0.1 + 0.4 + 0.2 = 0.7, reversed.
  EXPECT_FLOAT_EQ(f.A[2], -0.7f);
  EXPECT_FLOAT_EQ(f.B[2], 2.0f);
  EXPECT_FLOAT_EQ(f.C[2], 3.0f - 0.7f);
  // Largest value B(3) = 2 * 1.5, smallest A(3) = -1.15.
  EXPECT_FLOAT_EQ(f.Y_max, 1.2f * 3.0f);
  EXPECT_FLOAT_EQ(f.Y_min, -1.15f * 1.2f);

  // Everything negative: the zeros beyond nq hold Y_max at 0; with all 1100
  // points there is no floor and Y_max falls below zero.
  DataSet& s = run->model.sets[1];
  s.a0 = 5.0f;
  s.a1 = s.a2 = 0.0f;
  for (int k = 1; k <= 3; ++k) s.F[k] = -1.0f, s.F_calc[k] = 2.0f;
  update_fq_panel(*run, f);
  EXPECT_EQ(f.Y_max, 0.0f);
  run->model.q.nq = max_q;
  for (int k = 1; k <= max_q; ++k) run->model.q.Q[k] = 0.01f * float(k), s.F[k] = -1.0f, s.F_calc[k] = 2.0f;
  build_fq_panel(*run, f);
  EXPECT_FLOAT_EQ(f.Y_max, -2.0f + 0.4f);
  EXPECT_FLOAT_EQ(f.Y_min, -6.0f);
}

TEST(DrawableRange, FlatAndNonFiniteRangesNeverReachTheLibrary) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  AxisRange r = drawable_range(0.0f, 0.0f);
  EXPECT_LT(r.lo, 0.0f);
  EXPECT_GT(r.hi, 0.0f);
  r = drawable_range(5.0f, 5.0f);
  EXPECT_LT(r.lo, 5.0f);
  EXPECT_GT(r.hi, 5.0f);
  EXPECT_GT(r.hi - r.lo, 0.1f);
  r = drawable_range(1.0e8f, 1.0e8f + 1.0f);  // flat to single precision's eye
  EXPECT_GT(r.hi - r.lo, 1.0e5f);
  for (auto [lo, hi] : {std::pair{nan, 1.0f}, std::pair{0.0f, inf}, std::pair{-inf, nan}}) {
    r = drawable_range(lo, hi);
    EXPECT_EQ(r.lo, -1.0f);
    EXPECT_EQ(r.hi, 1.0f);
  }
  r = drawable_range(-0.3f, 2.0f);  // ordinary ranges pass unchanged
  EXPECT_EQ(r.lo, -0.3f);
  EXPECT_EQ(r.hi, 2.0f);
  r = drawable_range(15.0f, 2.0f);  // a reversed axis is legitimate
  EXPECT_EQ(r.lo, 15.0f);
  EXPECT_EQ(r.hi, 2.0f);
}

TEST_F(PlotsTest, NonFinitePointsSplitTheLineAndStayOutOfTheLimits) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  run->model.v[1][100] = nan;
  run->model.v[1][200] = std::numeric_limits<float>::infinity();
  run->model.v[1][201] = 0.25f;  // a single point between two gaps draws nothing
  run->model.v[1][202] = nan;
  GrPanel g;
  build_gr_panel(*run, g);
  EXPECT_TRUE(std::isfinite(g.y_min));
  EXPECT_EQ(g.y_max, 1.0f);

  calls.clear();
  const PlotApi api = recorder();
  draw_line(api, g.n, &g.x[1], &g.y[1]);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].args[0], 99);  // points 1..99
  EXPECT_EQ(calls[1].args[0], 99);  // 101..199
  EXPECT_EQ(calls[2].args[0], 97);  // 203..299
  EXPECT_FLOAT_EQ(float(calls[2].args[1]), 203 * 0.05f);

  // No finite value at all: the limits go non-finite and the guard takes over.
  run->model.r.nr = max_r;
  for (int j = 1; j <= max_r; ++j) run->model.v[1][j] = nan;
  build_gr_panel(*run, g);
  const AxisRange y = drawable_range(g.y_min, g.y_max);
  EXPECT_EQ(y.lo, -1.0f);
  EXPECT_EQ(y.hi, 1.0f);
}

// ------------------------------------------------- calls through the library

TEST_F(PlotsTest, SetUpOpensBothWindowsThenDrawsEachInOrder) {
  LivePlots plots(*run, recorder());
  EXPECT_TRUE(calls.empty());  // building the panels draws nothing
  plots.open("");
  const std::vector<std::string> expected = {
      "open",   "open",                                                                      //
      "select", "ask",    "paper", "bbuf",   "env", "label", "sci", "line",  "sci", "ebuf",  //
      "select", "ask",    "paper", "sch",    "scr", "bbuf",  "env", "label",                 //
      "sci",    "line",   "sci",   "line",   "sci", "line",  "sci", "ebuf",                  //
      "place",  "select", "ebuf",  "select", "ebuf"};  // side by side, then painted again
  ASSERT_EQ(names(), expected);
  EXPECT_EQ(calls[0].text, "G(r)/xw");
  EXPECT_EQ(calls[1].text, "S(Q)/xw");
  EXPECT_EQ(calls[2].args, std::vector<double>{1});
  EXPECT_EQ(calls[3].args, std::vector<double>{0});
  EXPECT_EQ(calls[4].args, (std::vector<double>{6.0, double(0.618f)}));
  const GrPanel& g = plots.gr_panel();
  EXPECT_EQ(calls[6].args, (std::vector<double>{0.05f, 15.0f, g.y_min, 1.0f, 0, 0}));
  // Basis function 1 as stored (the fitted sum outside Q-dependent mode),
  // titled by its name; data set 1 titled by its file with the colours.
  EXPECT_EQ(calls[7].text, "r/A|G(r)|basis function 1");
  EXPECT_EQ(calls[8].args[0], 4);
  EXPECT_EQ(calls[9].args[0], 299);
  EXPECT_EQ(calls[10].args[0], 1);
  EXPECT_EQ(calls[12].args, std::vector<double>{2});
  EXPECT_EQ(calls[15].args, std::vector<double>{1.001f});
  EXPECT_EQ(calls[16].args[0], 7);  // made yellow
  EXPECT_GT(calls[16].args[1], 0.9);
  EXPECT_LT(calls[16].args[3], 0.1);
  const FqPanel& f = plots.fq_panel();
  EXPECT_EQ(calls[18].args, (std::vector<double>{1.0f, 3.0f, f.Y_min, f.Y_max, 0, 0}));
  EXPECT_EQ(calls[19].text, "Q/A-1|F(Q)|data set 1: model blue, data green, background yellow");
  // Model blue, scaled data green, reversed background yellow, then foreground.
  EXPECT_EQ(calls[20].args[0], 4);
  EXPECT_FLOAT_EQ(float(calls[21].args[4]), f.C[3]);
  EXPECT_EQ(calls[22].args[0], 3);
  EXPECT_FLOAT_EQ(float(calls[23].args[4]), f.B[3]);
  EXPECT_EQ(calls[24].args[0], 7);
  EXPECT_FLOAT_EQ(float(calls[25].args[4]), f.A[3]);
  EXPECT_EQ(calls[26].args[0], 1);
  EXPECT_EQ(calls[28].text, "G(r)|S(Q)");

  calls.clear();
  plots.close();
  EXPECT_EQ(names(), (std::vector<std::string>{"select", "close", "select", "close"}));
  calls.clear();
}

// The value axis of a saved picture: isolated spikes run off the panel, the
// body of the curves and its peaks stay on it.
TEST(RobustRange, LeavesOutIsolatedSpikesAndKeepsPeaks) {
  // A g(r) - 1 like curve on 160 points: -1 inside the zero range (35
  // points), a first peak of 1.6 over 8 points, small wiggles after.
  std::vector<float> shell(160, 0.0f);
  for (int j = 0; j < 35; ++j) shell[j] = -1.0f;
  for (int j = 35; j < 43; ++j) shell[j] = 1.6f - 0.1f * float(std::abs(j - 39));
  for (int j = 43; j < 160; ++j) shell[j] = 0.1f * std::sin(0.3f * float(j));
  std::vector<float> bond = shell;  // an intramolecular peak of 13 over 3 points
  bond[12] = 8.0f;
  bond[13] = 13.0f;
  bond[14] = 8.0f;
  std::vector<float> spike(200, 0.0f);  // a partial S(Q) with one wild low-Q point
  for (int k = 0; k < 200; ++k) spike[k] = 0.5f * std::sin(0.2f * float(k));
  spike[1] = 25.0f;
  spike[2] = -10.0f;
  std::vector<float> noisy(300, 0.0f);  // a residual: a few larger misfits, none isolated far out
  for (int k = 0; k < 300; ++k) noisy[k] = std::sin(0.7f * float(k));
  noisy[5] = 4.0f;
  noisy[9] = -4.0f;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* name;
    std::vector<float> values;
    bool clipped_low, clipped_high;
    float lo_at_most, hi_at_least;  // the body that must stay on the panel
  };
  const Case cases[] = {
      {"first shell", shell, false, false, -1.0f, 1.6f},
      {"intramolecular peak", bond, false, true, -1.0f, 1.6f},
      {"one wild point each way", spike, true, true, -0.5f, 0.5f},
      {"flat", std::vector<float>(10, 2.0f), false, false, 2.0f, 2.0f},
      {"a little beyond the body", noisy, false, false, -4.0f, 4.0f},
      {"non-finite values skipped", {nan, 1.0f, inf, 2.0f, -inf}, false, false, 1.0f, 2.0f},
  };
  for (const Case& c : cases) {
    const RobustRange r = robust_range(c.values);
    EXPECT_EQ(r.clipped_low(), c.clipped_low) << c.name;
    EXPECT_EQ(r.clipped_high(), c.clipped_high) << c.name;
    EXPECT_LE(r.lo, c.lo_at_most) << c.name;
    EXPECT_GE(r.hi, c.hi_at_least) << c.name;
    EXPECT_TRUE(std::isfinite(r.lo) && std::isfinite(r.hi)) << c.name;
  }
  const RobustRange peak = robust_range(bond);
  EXPECT_EQ(peak.high, 13.0f);  // what the note reports
  EXPECT_LT(peak.hi, 6.0f);     // the rest of the panel is not flattened
  const RobustRange none = robust_range({nan});
  EXPECT_EQ(none.lo, -1.0f);
  EXPECT_EQ(none.hi, 1.0f);
}

TEST(LiteralText, SubscriptAndSuperscriptMarksAreEscaped) {
  EXPECT_EQ(literal_text("binary_F1.dat"), "binary\\_F1.dat");
  EXPECT_EQ(literal_text("a^b_c"), "a\\^b\\_c");
  EXPECT_EQ(literal_text("g(r) - 1"), "g(r) - 1");
}

TEST(BasisNames, OnePerBasisFunction) {
  EXPECT_EQ(basis_names("O-O,O-H,H-H", 3), (std::vector<std::string>{"O-O", "O-H", "H-H"}));
  EXPECT_EQ(basis_names(" A A , B\t", 2), (std::vector<std::string>{"A A", "B"}));
  EXPECT_EQ(basis_name({}, 1), "basis function 2");
  EXPECT_EQ(basis_name({"A", "B"}, 1), "B");
  struct Bad {
    const char* text;
    int nbasis;
    const char* says;
  };
  const Bad bad[] = {
      {"O-O,O-H", 3, "gives 2 names for 3 basis functions"},
      {"O-O,O-H,H-H,X", 3, "gives 4 names for 3 basis functions"},
      {"O-O,,H-H", 3, "name 2 is empty"},
      {"", 1, "name 1 is empty"},
  };
  for (const Bad& b : bad) {
    try {
      (void)basis_names(b.text, b.nbasis);
      ADD_FAILURE() << b.text;
    } catch (const Stop& stop) {
      EXPECT_NE(stop.lines.at(0).find(b.says), std::string::npos) << stop.lines.at(0);
    }
  }
}

// With Q-dependent coefficients basis function 1 is stored as g(r) - 1; the
// names given and the data file title the panels, at every drawing.
TEST_F(PlotsTest, PanelsNameWhatTheyShow) {
  run->params.qdep_coefficients = true;
  run->params.sets[0].data_file = "H2O_1.dat";
  LivePlots plots(*run, recorder());
  plots.name_basis({"O-O", "O-H", "H-H"});
  plots.open("");
  fake_now = 101.0;
  plots.refresh();
  std::vector<std::string> labels;
  for (const Call& c : calls)
    if (c.name == "label") labels.push_back(c.text);
  EXPECT_EQ(labels, (std::vector<std::string>{
                        "r/A|g(r) - 1|O-O", "Q/A-1|F(Q)|H2O\\_1.dat: model blue, data green, background yellow",
                        "r/A|g(r) - 1|O-O", "Q/A-1|F(Q)|H2O\\_1.dat: model blue, data green, background yellow"}));
}

// A slow drawing (pictures written to files, a remote display) spaces the
// next one out, so that drawing keeps to its share of the run's time.
TEST_F(PlotsTest, SlowDrawingsAreSpacedToKeepTheirShareOfTheRun) {
  PlotApi api = recorder();
  api.begin_buffer = [] {
    record("bbuf");
    fake_now += 0.05;  // each page takes 0.05 s to draw: a drawing of both, 0.1 s
  };
  LivePlots plots(*run, api);
  plots.open("");
  auto drawings = [] {
    int n = 0;
    for (const Call& c : calls) n += c.name == "bbuf" ? 1 : 0;
    return n / 2;
  };
  fake_now = 101.0;
  calls.clear();
  plots.refresh();
  ASSERT_EQ(drawings(), 1);
  const double gap = 0.1 / LivePlots::max_drawing_share;  // 2.5 s from the start of that drawing
  calls.clear();
  for (const double t : {101.3, 102.0, 101.0 + gap - 0.01}) {
    fake_now = t;
    plots.refresh();
    plots.repaint();
  }
  EXPECT_EQ(drawings(), 0) << "drawn sooner than its share allows";
  fake_now = 101.0 + gap + 0.01;
  plots.repaint();  // the pending refresh, now due
  EXPECT_EQ(drawings(), 1);
}

TEST_F(PlotsTest, RefreshIsThrottledAndTheLatestStateIsDrawnWhenDue) {
  LivePlots plots(*run, recorder());
  plots.open("");
  calls.clear();

  fake_now = 100.05;  // too soon to draw or repaint
  plots.refresh();
  EXPECT_TRUE(calls.empty());
  fake_now = 100.15;  // too soon to draw; the windows get repainted
  plots.refresh();
  EXPECT_EQ(names(), (std::vector<std::string>{"select", "ebuf", "select", "ebuf"}));
  calls.clear();

  run->model.v[1][10] = 7.0f;  // the next drawing shows the latest state
  fake_now = 100.25;
  plots.refresh();
  const std::vector<std::string> redraw = {"select", "bbuf",   "env",  "label", "sci",   "line", "sci",
                                           "ebuf",   "select", "bbuf", "env",   "label", "sci",  "line",
                                           "sci",    "line",   "sci",  "line",  "sci",   "ebuf"};
  ASSERT_EQ(names(), redraw);  // neither ask nor paper again
  EXPECT_FLOAT_EQ(float(calls[2].args[3]), 7.7f);
  calls.clear();

  // A skipped refresh is drawn by the next repaint that finds it due.
  fake_now = 100.3;
  plots.refresh();
  plots.repaint();
  EXPECT_TRUE(calls.empty());
  run->model.v[1][10] = 9.0f;
  fake_now = 100.46;
  plots.repaint();
  ASSERT_EQ(names(), redraw);
  EXPECT_FLOAT_EQ(float(calls[2].args[3]), 9.9f);
  calls.clear();
  fake_now = 100.6;  // nothing pending: a plain repaint
  plots.repaint();
  EXPECT_EQ(names(), (std::vector<std::string>{"select", "ebuf", "select", "ebuf"}));
  calls.clear();
}

TEST_F(PlotsTest, HookRunsRefreshAndIsRemovedWithThePlots) {
  {
    LivePlots plots(*run, recorder());
    plots.open("");
    plots.attach();
    ASSERT_NE(run->hooks.plots.refresh, nullptr);
    calls.clear();
    fake_now += 1.0;
    run->hooks.plots.refresh(run->hooks.plots.context);
    EXPECT_EQ(calls.size(), 20u);
  }
  EXPECT_EQ(run->hooks.plots.refresh, nullptr);
  EXPECT_EQ(run->hooks.plots.context, nullptr);
}

// F(Q) of set 1 lagging the basis values, as the r-space evaluation leaves
// it between drawings; returns F(Q) as the basis values give it.
std::vector<float> make_model_lag(yosta::Run& r) {
  r.params.nsets = 1;
  r.params.nbasis = 1;
  r.params.Mr = 40;
  r.params.density = 0.1f;
  r.model.q.dq = 1.0f;
  r.model.q.q_offset = 0;
  r.model.q.nq_grid = 3;
  build_tables(r.params, r.model);
  auto copy = make_run();
  *copy = r;
  full_model(copy->params, copy->model);
  r.kept.evaluator.emplace<RSpaceEvaluator>().stale = true;
  const auto& F = copy->model.sets[1].F_calc;
  return {F[1], F[2], F[3]};
}

std::vector<float> model_of_set_1(const yosta::Run& r) {
  const auto& F = r.model.sets[1].F_calc;
  return {F[1], F[2], F[3]};
}

TEST_F(PlotsTest, ModelIsRebuiltForADrawingAndOnlyForADrawing) {
  const std::vector<float> lagging = model_of_set_1(*run);
  const std::vector<float> latest = make_model_lag(*run);
  ASSERT_NE(lagging, latest);
  LivePlots plots(*run, recorder());
  plots.open("");
  calls.clear();
  // Skipped refreshes and plain repaints leave F(Q) as it was.
  for (double t : {100.05, 100.15}) {
    fake_now = t;
    plots.refresh();
    plots.repaint();
  }
  EXPECT_EQ(model_of_set_1(*run), lagging);
  EXPECT_TRUE(std::get<RSpaceEvaluator>(run->kept.evaluator).stale);
  // The pending refresh drawn by a repaint shows the latest F(Q).
  fake_now = 100.25;
  plots.repaint();
  EXPECT_EQ(model_of_set_1(*run), latest);
  EXPECT_FALSE(std::get<RSpaceEvaluator>(run->kept.evaluator).stale);
  EXPECT_FLOAT_EQ(plots.fq_panel().C[2], latest[1] + plots.fq_panel().A[2]);
}

TEST_F(PlotsTest, NullDeviceNeitherDrawsNorRebuildsTheModel) {
  const std::vector<float> lagging = model_of_set_1(*run);
  make_model_lag(*run);
  {
    LivePlots plots(*run, recorder());
    plots.open("/null");
    plots.attach();
    calls.clear();
    for (int i = 0; i < 4; ++i) {
      fake_now += 1.0;
      run->hooks.plots.refresh(run->hooks.plots.context);
      run->hooks.plots.repaint(run->hooks.plots.context);
    }
    EXPECT_TRUE(calls.empty());
    plots.close();
    EXPECT_EQ(names(), (std::vector<std::string>{"select", "close", "select", "close"}));
  }
  EXPECT_EQ(model_of_set_1(*run), lagging);
  EXPECT_TRUE(std::get<RSpaceEvaluator>(run->kept.evaluator).stale);
}

TEST_F(PlotsTest, FileDevicesEndWithTheLatestModel) {
  testing::TempDir dir;
  set_root(dir.file("fit"));
  const std::vector<float> latest = make_model_lag(*run);
  LivePlots plots(*run, recorder());
  plots.open("/pdf");
  fake_now += 0.01;
  plots.refresh();  // too soon: pending
  EXPECT_TRUE(std::get<RSpaceEvaluator>(run->kept.evaluator).stale);
  plots.close();
  EXPECT_EQ(model_of_set_1(*run), latest);
}

TEST_F(PlotsTest, DeviceThatCannotBeOpenedIsAGraphicsError) {
  for (int which : {1, 2}) {
    calls.clear();
    next_id = 0;
    failing_open = which;
    {
      LivePlots plots(*run, recorder());
      try {
        plots.open("");
        FAIL() << "no Stop";
      } catch (const Stop& stop) {
        ASSERT_EQ(stop.lines.size(), 2u);
        EXPECT_EQ(stop.lines[0], "Graphics error");
        EXPECT_NE(stop.lines[1].find("use --plot-device"), std::string::npos) << stop.lines[1];
        EXPECT_EQ(stop.status, 1);
      }
      // Nothing is drawn before both devices are open.
      for (const Call& c : calls) EXPECT_NE(c.name, "env");
      calls.clear();
    }
    // The window that did open is closed again.
    if (which == 2)
      EXPECT_EQ(names(), (std::vector<std::string>{"select", "close"}));
    else
      EXPECT_TRUE(calls.empty());
  }
}

TEST_F(PlotsTest, DeviceNamesGiveTitlesOrFilesOfTheirOwn) {
  testing::TempDir dir;
  set_root(dir.file("fit"));
  const std::string d = dir.path() + "/";
  const std::vector<std::array<std::string, 3>> cases = {
      {"/xwin", "G(r)/xwin", "S(Q)/xwin"},
      {"mine/XW", "G(r)/xw", "S(Q)/xw"},  // the titles stay
      {"/PDF", d + "fit_gr.pdf/pdf", d + "fit_sq.pdf/pdf"},
      {"/vps", d + "fit_gr.ps/vps", d + "fit_sq.ps/vps"},
      {d + "report.pdf", d + "report_gr.pdf/pdf", d + "report_sq.pdf/pdf"},
      {d + "out/svg", d + "out_gr.part/svg", d + "out_sq.part/svg"},
      {"/Null", "/null", "/null"},
  };
  for (const auto& [device, first, second] : cases) {
    calls.clear();
    LivePlots plots(*run, recorder());
    plots.open(device);
    std::vector<std::string> opened;
    for (const Call& c : calls)
      if (c.name == "open") opened.push_back(c.text);
    EXPECT_EQ(opened, (std::vector<std::string>{first, second})) << device;
  }
  calls.clear();
}

}  // namespace
}  // namespace yosta

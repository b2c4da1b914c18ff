// The two live plot windows: basis function 1 against r ("G(r)") and data set
// 1 against Q ("S(Q)": model, scaled data, reversed background), drawn through
// the PGPLOT C API.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "display/panels.h"
#include "fit/run.h"

namespace yosta {

// The plotting calls the panels use, as plain function pointers so that a test
// can put a recorder in place of the library. Only set-up and refresh go
// through here, never the move cycle.
struct PlotApi {
  int (*open)(const char* device);           // cpgopen: the device id, > 0 on success
  void (*select)(int id);                    // cpgslct
  void (*ask)(int flag);                     // cpgask
  void (*paper)(float width, float aspect);  // cpgpap
  void (*char_height)(float size);           // cpgsch
  void (*begin_buffer)();                    // cpgbbuf
  void (*end_buffer)();                      // cpgebuf
  void (*env)(float xmin, float xmax, float ymin, float ymax, int just, int axis);  // cpgenv
  void (*label)(const char* x, const char* y, const char* top);                     // cpglab
  void (*colour)(int ci);                                                           // cpgsci
  void (*colour_rgb)(int ci, float r, float g, float b);                            // cpgscr
  void (*line)(int n, const float* x, const float* y);                              // cpgline
  void (*close)();                                                                  // cpgclos (the selected device)
  bool (*place)(const char* first, const char* second);                             // windows side by side (X11)
  double (*now)();                                                                  // seconds on a monotonic clock
};

// The real library and the steady clock.
const PlotApi& pgplot_api();

// The names of the basis functions given with --names, such as
// "O-O,O-H,H-H": split at commas, blanks around each name removed. Throws
// Stop when a name is empty or when there are not exactly `nbasis` of them.
std::vector<std::string> basis_names(const std::string& text, int nbasis);
// Name p (from 0) of `names`, or "basis function p+1" without names.
std::string basis_name(const std::vector<std::string>& names, std::size_t p);

// `text` as the graphics library should print it: the library reads "_" and
// "^" as the start of a subscript or superscript, so that a file name such as
// "binary_F1.dat" would lose its underscore; each gets a backslash.
std::string literal_text(const std::string& text);

// Draws a polyline through `api`, split at points with a non-finite
// coordinate so they neither draw stray lines nor reach the library.
void draw_line(const PlotApi& api, int n, const float* x, const float* y);

class LivePlots {
 public:
  // Builds the panel data and limits from the run (before the start prompt).
  explicit LivePlots(Run& run);
  LivePlots(Run& run, const PlotApi& api);
  LivePlots(const LivePlots&) = delete;
  LivePlots& operator=(const LivePlots&) = delete;
  ~LivePlots();  // closes the devices, so file devices write their last page

  // Opens both devices and draws the first frames. An empty `device` opens the
  // interactive windows "G(r)/xw" and "S(Q)/xw"; otherwise the giza device
  // named: "/null" draws nothing; "/png", "/svg" and "/eps" keep the latest
  // picture of each panel in root + "_gr.png" and root + "_sq.png" (the
  // extension of the type), rewritten at every drawing; "/pdf", "/vpdf",
  // "/ps" and "/vps" write one multi-page file per panel, root + "_gr.pdf"
  // and root + "_sq.pdf". For file devices a prefix before the type
  // ("out/fit/png") replaces root; the windows keep their titles whatever
  // the prefix. Any other device is passed to the library as given. Throws
  // Stop("Graphics error") when a device cannot be opened or its file cannot
  // be written.
  void open(const std::string& device);

  // Rebuilds the panel data and redraws both panels, at most about five times
  // a second, and no more often than keeps drawing to max_drawing_share of
  // the time: a call that comes sooner after the last drawing only leaves the
  // drawing pending (the next due call draws the latest state).
  void refresh();

  // Cheap enough to call after every move: reads the clock; draws a pending
  // refresh once it is due and otherwise, at most every 0.1 s, copies the
  // kept pictures back into the interactive windows (a covered or resized
  // window is repainted without waiting for the next refresh).
  void repaint();

  // Draws a pending refresh on file devices and closes the devices; the
  // destructor does the same. Safe to call more than once.
  void close();

  // Names of the basis functions for the panel titles (see basis_names).
  void name_basis(std::vector<std::string> names);

  // Installs refresh() as the run's plot hook.
  void attach();

  // Hook forms of refresh() and repaint(); `context` is the LivePlots.
  static void refresh_hook(void* context);
  static void repaint_hook(void* context);

  // Drawing throttle and repaint period, in seconds.
  static constexpr double min_refresh_interval = 0.2;
  static constexpr double repaint_interval = 0.1;
  // The most of the run's time that drawing may take: after a drawing of t
  // seconds the next starts no sooner than t / max_drawing_share after it.
  // Pictures written to files cost a run more than their share (at 4% the
  // Q-dependent bench case lost 4.3 to 5.6% of its rate; at 3%, 2.8 to
  // 3.4%), so the share keeps clear of the 5% a run may lose to plots.
  static constexpr double max_drawing_share = 0.03;

  // For tests: the panels as last built.
  const GrPanel& gr_panel() const;
  const FqPanel& fq_panel() const;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace yosta

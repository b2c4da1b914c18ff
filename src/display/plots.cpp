#include "display/plots.h"

#include <cpgplot.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "display/picture_file.h"
#include "display/xwindows.h"
#include "fit/evaluation.h"
#include "base/stop.h"

namespace yosta {

namespace {

double steady_seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void pg_ask(int flag) { cpgask(flag); }
void pg_bbuf() { cpgbbuf(); }
void pg_ebuf() { cpgebuf(); }
void pg_clos() { cpgclos(); }

const PlotApi real_api = {
    cpgopen, cpgslct, pg_ask, cpgpap,  cpgsch,  pg_bbuf,      pg_ebuf,        cpgenv,
    cpglab,  cpgsci,  cpgscr, cpgline, pg_clos, place_beside, steady_seconds,
};

}  // namespace

const PlotApi& pgplot_api() { return real_api; }

void draw_line(const PlotApi& api, int n, const float* x, const float* y) {
  int start = -1;
  for (int i = 0; i <= n; ++i) {
    const bool finite = i < n && std::isfinite(x[i]) && std::isfinite(y[i]);
    if (finite && start < 0) start = i;
    if (!finite && start >= 0) {
      if (i - start >= 2) api.line(i - start, x + start, y + start);
      start = -1;
    }
  }
}

std::vector<std::string> basis_names(const std::string& text, int nbasis) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    std::string name = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const std::size_t first = name.find_first_not_of(" \t");
    name = first == std::string::npos ? std::string() : name.substr(first, name.find_last_not_of(" \t") - first + 1);
    if (name.empty())
      throw Stop("--names \"" + text + "\": name " + std::to_string(names.size() + 1) +
                 " is empty; give one name per basis function, separated by commas, such as --names O-O,O-H,H-H");
    names.push_back(std::move(name));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (static_cast<int>(names.size()) != nbasis)
    throw Stop("--names \"" + text + "\" gives " + std::to_string(names.size()) + " name" +
               (names.size() == 1 ? "" : "s") + " for " + std::to_string(nbasis) + " basis function" +
               (nbasis == 1 ? "" : "s") + ": give one per basis function, in their order");
  return names;
}

std::string basis_name(const std::vector<std::string>& names, std::size_t p) {
  return p < names.size() ? names[p] : "basis function " + std::to_string(p + 1);
}

std::string literal_text(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '_' || c == '^') out += '\\';
    out += c;
  }
  return out;
}
// ----------------------------------------------------------------- devices

namespace {

enum class Kind {
  interactive,  // two windows, repainted between drawings
  null,         // draws nothing
  picture,      // one file per page: reopened at each drawing, kept under a stable name
  document,     // one multi-page file per panel, open for the whole run
  other,        // passed to the library as given
};

// clang-tidy 14 reports a name of its own making (__i0) for the array members.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
struct DeviceChoice {
  Kind kind = Kind::other;
  std::string open_name[2];    // what cpgopen gets
  std::string file[2];         // picture and document: the file kept on disk
  std::string temp_prefix[2];  // picture: the name a drawing is written under first
  std::string ext;             // picture: extension of the files written
  std::string title[2];        // interactive: the window titles
};

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

DeviceChoice choose_devices(const std::string& device, const std::string& root) {
  static const char* const panel_name[2] = {"_gr", "_sq"};
  DeviceChoice choice;
  std::string prefix, type = "xw";  // no device named: the interactive windows
  if (!device.empty()) {
    const std::size_t slash = device.rfind('/');
    const std::string last = slash == std::string::npos ? device : device.substr(slash + 1);
    const std::size_t dot = last.rfind('.');
    if (dot != std::string::npos) {  // "out/fit.png": the library takes the type from the extension
      prefix = device;
      type = lower(last.substr(dot + 1));
    } else {  // "out/fit/png", "/png"
      prefix = slash == std::string::npos ? std::string() : device.substr(0, slash);
      type = lower(last);
    }
  }
  if (type == "xw" || type == "xwin" || type == "xwindow" || type == "xserve") {
    // The library titles a window with the part of the device name before the type.
    choice.kind = Kind::interactive;
    choice.title[0] = "G(r)";
    choice.title[1] = "S(Q)";
    choice.open_name[0] = choice.title[0] + "/" + type;
    choice.open_name[1] = choice.title[1] + "/" + type;
    return choice;
  }

  std::string ext;
  if (type == "null") {
    choice.kind = Kind::null;
    choice.open_name[0] = choice.open_name[1] = "/null";
    return choice;
  } else if (type == "png" || type == "svg" || type == "eps") {
    choice.kind = Kind::picture;
    ext = type;
  } else if (type == "pdf" || type == "vpdf") {
    choice.kind = Kind::document;
    ext = "pdf";
  } else if (type == "ps" || type == "vps") {
    choice.kind = Kind::document;
    ext = "ps";
  } else {
    choice.open_name[0] = choice.open_name[1] = device;
    return choice;
  }

  std::string base = prefix.empty() ? root : prefix;
  const std::string dot_ext = "." + ext;
  if (base.size() > dot_ext.size() && lower(base.substr(base.size() - dot_ext.size())) == dot_ext)
    base.resize(base.size() - dot_ext.size());
  choice.ext = ext;
  for (int p = 0; p < 2; ++p) {
    choice.file[p] = base + panel_name[p] + dot_ext;
    if (choice.kind == Kind::picture) {
      choice.temp_prefix[p] = base + panel_name[p] + ".part";
      choice.open_name[p] = choice.temp_prefix[p] + "/" + type;
    } else {
      choice.open_name[p] = choice.file[p] + "/" + type;
    }
  }
  return choice;
}

// The second line of "Graphics error" when a device cannot be opened.
std::string device_remedy(Kind kind, const std::string& device) {
  if (kind == Kind::interactive)
    return "The plot windows cannot be opened (no display?): use --plot-device, for example /png for pictures "
           "or /null for none";
  return "The graphics library cannot open the device \"" + device +
         "\": use --plot-device /png, /svg, /pdf, or /null for none";
}

bool can_write(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return false;
  std::fclose(f);
  return true;
}

}  // namespace

struct LivePlots::Impl {
  Run& run;
  PlotApi api;
  GrPanel gr;
  FqPanel fq;

  DeviceChoice devices;
  int id[2] = {0, 0};  // devices kept open
  bool opened = false;
  bool pending = false;  // a refresh was skipped since the last drawing
  double last_draw = 0.0, last_paint = 0.0;
  double draw_cost = 0.0;  // seconds the last drawing took

  // Time from the start of one drawing to the next: the throttle, or longer
  // where drawings are slow (pictures written to files, a remote display),
  // so that drawing keeps to its share of the run.
  double refresh_gap() const { return std::max(min_refresh_interval, draw_cost / max_drawing_share); }

  // Axis and top labels, made once: basis function 1 as stored (g(r) - 1
  // with Q-dependent coefficients, the fitted weighted sum otherwise) with
  // its name; data set 1 with its file and what each colour shows.
  std::string gr_y_label, gr_top, fq_top;

  Impl(Run& run_, const PlotApi& api_) : run(run_), api(api_) { make_labels({}); }

  void make_labels(const std::vector<std::string>& names) {
    gr_y_label = run.params.qdep_coefficients ? "g(r) - 1" : "G(r)";
    gr_top = literal_text(basis_name(names, 0));
    const std::string& file = run.params.sets[0].data_file;
    fq_top =
        (file.empty() ? std::string("data set 1") : literal_text(file)) + ": model blue, data green, background yellow";
  }

  void draw_panel(int p) {
    if (p == 0) {
      const AxisRange x = drawable_range(gr.x_min, gr.x_max);
      const AxisRange y = drawable_range(gr.y_min, gr.y_max);
      api.env(x.lo, x.hi, y.lo, y.hi, 0, 0);
      api.label("r/A", gr_y_label.c_str(), gr_top.c_str());
      api.colour(4);
      draw_line(api, gr.n, &gr.x[1], &gr.y[1]);
      api.colour(1);
    } else {
      const AxisRange x = drawable_range(fq.X_min, fq.X_max);
      const AxisRange y = drawable_range(fq.Y_min, fq.Y_max);
      api.env(x.lo, x.hi, y.lo, y.hi, 0, 0);
      api.label("Q/A-1", "F(Q)", fq_top.c_str());
      api.colour(4);
      draw_line(api, fq.n, &fq.X[1], &fq.C[1]);
      api.colour(3);
      draw_line(api, fq.n, &fq.X[1], &fq.B[1]);
      api.colour(7);
      draw_line(api, fq.n, &fq.X[1], &fq.A[1]);
      api.colour(1);
    }
  }

  // One buffered page: the window shows the old picture until the new one is
  // complete. cpgenv starts the page itself; a cpgpage before it would add a
  // blank page (a blank file on file devices).
  void buffered_page(int p) {
    api.begin_buffer();
    draw_panel(p);
    api.end_buffer();
  }

  // Device settings, then the first page.
  void set_up(int p, int device_id) {
    api.select(device_id);
    api.ask(0);
    // No paper size on the multi-page document devices: there it only
    // shrinks the plot into a corner of an unchanged page, after a blank one.
    if (devices.kind != Kind::document) api.paper(6.0f, 0.618f);
    // The second device's characters differ by 0.1%, invisibly: with equal
    // sizes the two X connections share one cached font, which leaks memory
    // and provokes RenderBadGlyph errors at every refresh.
    if (p == 1) {
      api.char_height(1.001f);
      // The background curve is yellow, index 7 of the classic colour table;
      // this library's index 7 is cyan. A deep yellow stays readable on its
      // white background.
      api.colour_rgb(7, 1.0f, 0.8f, 0.0f);
    }
    buffered_page(p);
  }

  bool draw_picture(int p) {
    const int device_id = api.open(devices.open_name[p].c_str());
    if (device_id <= 0) return false;
    set_up(p, device_id);
    api.select(device_id);
    api.close();
    // A page that cannot replace its file is dropped: the next drawing tries again.
    (void)StagedPicture(drawn_page(devices.temp_prefix[p], devices.ext), devices.file[p]).publish();
    return true;
  }

  // The latest state, F(Q) rebuilt from the basis values where the
  // evaluation lets it lag (only here, where a drawing is certain).
  void draw_all(double now) {
    sync_model(run);
    update_gr_panel(run, gr);
    update_fq_panel(run, fq);
    for (int p = 0; p < 2; ++p) {
      if (devices.kind == Kind::picture) {
        draw_picture(p);  // the move cycle has no failure paths; the next drawing tries again
      } else {
        api.select(id[p]);
        buffered_page(p);
      }
    }
    last_draw = last_paint = now;
    draw_cost = std::max(0.0, api.now() - now);
    pending = false;
  }

  // Copies the kept pictures back into the windows.
  void paint(double now) {
    for (int p = 0; p < 2; ++p) {
      api.select(id[p]);
      api.end_buffer();
    }
    last_paint = now;
  }

  void open(const std::string& device) {
    close();
    const std::string root = run.params.root.substr(0, static_cast<std::size_t>(std::max(run.params.root_length, 0)));
    devices = choose_devices(device, root);
    if (devices.kind == Kind::picture || devices.kind == Kind::document) {
      for (const std::string& file : devices.file)
        if (!can_write(file))
          throw Stop({"Graphics error", "Cannot write the picture \"" + file +
                                            "\": use --plot-device with a folder that exists, or /null for none"},
                     1);
    }
    if (devices.kind == Kind::picture) {
      opened = true;
      for (int p = 0; p < 2; ++p)
        if (!draw_picture(p))
          throw Stop({"Graphics error", "The graphics library could not draw \"" + devices.file[p] +
                                            "\": use another --plot-device, or /null for none"},
                     1);
    } else {
      for (int p = 0; p < 2; ++p) {
        const int device_id = api.open(devices.open_name[p].c_str());
        if (device_id <= 0) throw Stop({"Graphics error", device_remedy(devices.kind, device)}, 1);
        id[p] = device_id;
        opened = true;
      }
      for (int p = 0; p < 2; ++p) set_up(p, id[p]);
      // Every window opens at the same spot; without a window manager the
      // second would hide the first. Placed once sized by the first page;
      // the moved window is then painted again.
      if (devices.kind == Kind::interactive && api.place(devices.title[0].c_str(), devices.title[1].c_str()))
        paint(api.now());
    }
    last_draw = last_paint = api.now();
    pending = false;
  }

  void close() {
    if (!opened) return;
    // File devices keep the state the fit ended with.
    if (pending && (devices.kind == Kind::picture || devices.kind == Kind::document)) draw_all(api.now());
    for (int p = 0; p < 2; ++p) {
      if (id[p] > 0) {
        api.select(id[p]);
        api.close();
        id[p] = 0;
      }
    }
    opened = false;
    pending = false;
  }
};

LivePlots::LivePlots(Run& run) : LivePlots(run, pgplot_api()) {}

LivePlots::LivePlots(Run& run, const PlotApi& api) : impl_(new Impl(run, api)) {
  build_gr_panel(run, impl_->gr);
  build_fq_panel(run, impl_->fq);
}

LivePlots::~LivePlots() {
  if (impl_->run.hooks.plots.context == this) impl_->run.hooks.plots = PlotHook{};
  try {
    impl_->close();
  } catch (...) {
    // nothing more can be done at the end of the run
  }
  delete impl_;
}

void LivePlots::open(const std::string& device) { impl_->open(device); }

void LivePlots::refresh() {
  Impl& d = *impl_;
  // The null device draws nothing, so it never needs the model rebuilt.
  if (!d.opened || d.devices.kind == Kind::null) return;
  const double now = d.api.now();
  if (now - d.last_draw >= d.refresh_gap()) {
    d.draw_all(now);
    return;
  }
  d.pending = true;
  if (d.devices.kind == Kind::interactive && now - d.last_paint >= repaint_interval) d.paint(now);
}

void LivePlots::repaint() {
  Impl& d = *impl_;
  if (!d.opened || d.devices.kind == Kind::null) return;
  const double now = d.api.now();
  if (d.pending && now - d.last_draw >= d.refresh_gap()) {
    d.draw_all(now);
  } else if (d.devices.kind == Kind::interactive && now - d.last_paint >= repaint_interval) {
    d.paint(now);
  }
}

void LivePlots::close() { impl_->close(); }

void LivePlots::name_basis(std::vector<std::string> names) { impl_->make_labels(names); }

void LivePlots::attach() {
  impl_->run.hooks.plots.refresh = &LivePlots::refresh_hook;
  impl_->run.hooks.plots.repaint = &LivePlots::repaint_hook;
  impl_->run.hooks.plots.context = this;
}

void LivePlots::refresh_hook(void* context) { static_cast<LivePlots*>(context)->refresh(); }
void LivePlots::repaint_hook(void* context) { static_cast<LivePlots*>(context)->repaint(); }

const GrPanel& LivePlots::gr_panel() const { return impl_->gr; }
const FqPanel& LivePlots::fq_panel() const { return impl_->fq; }

}  // namespace yosta

// The two live plot windows: basis function 1 against r ("G(r)") and data set
// 1 against Q ("S(Q)": model, scaled data, reversed background), drawn through
// the PGPLOT C API.
#pragma once

#include <string>

#include "model/run.h"

namespace yosta {

class LivePlots {
 public:
  // Builds the panel data and limits from the run (before the start prompt).
  explicit LivePlots(Run& run);
  LivePlots(const LivePlots&) = delete;
  LivePlots& operator=(const LivePlots&) = delete;
  ~LivePlots();  // closes the devices, so file devices write their last page

  // Opens both devices and draws the first frames. An empty `device` opens the
  // interactive windows "G(r)/xw" and "S(Q)/xw"; otherwise the giza device
  // named (e.g. "/png", "/null"). Throws Stop("Graphics error") on failure.
  void open(const std::string& device);

  // Rebuilds the panel data and redraws both panels (throttled by wall clock).
  void refresh();

  // Installs refresh() as the run's plot hook.
  void attach();

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace yosta

#include "display/xwindows.h"

#include <dlfcn.h>

#include <cstring>

// Xlib is reached through the dynamic linker only: the plotting library
// already loads it, and the build needs neither its headers nor a link flag.
// Its handles are opaque here (Display*, GC as void*; Window as unsigned long).

namespace {

using XWindow = unsigned long;

template <class F>
F symbol(void* where, const char* name) {
  return reinterpret_cast<F>(dlsym(where, name));
}

// Every screen copy the plotting library makes uses the default GC, whose
// graphics exposures are on: the server answers each copy with a NoExpose
// event that the library never reads, so its event queue (and the process)
// grows with every refresh and repaint. Off, the queue stays empty.
void no_graphics_exposures(void* display) {
  const auto default_screen = symbol<int (*)(void*)>(RTLD_NEXT, "XDefaultScreen");
  const auto default_gc = symbol<void* (*)(void*, int)>(RTLD_NEXT, "XDefaultGC");
  const auto set_exposures = symbol<int (*)(void*, void*, int)>(RTLD_NEXT, "XSetGraphicsExposures");
  if (!default_screen || !default_gc || !set_exposures) return;
  set_exposures(display, default_gc(display, default_screen(display)), 0);
}

}  // namespace

// Takes the place of libX11's XOpenDisplay for the whole program, the
// plotting library included, to switch graphics exposures off on every
// connection it opens.
extern "C" void* XOpenDisplay(const char* name) {
  using Open = void* (*)(const char*);
  static const Open real = symbol<Open>(RTLD_NEXT, "XOpenDisplay");
  if (!real) return nullptr;
  void* display = real(name);
  if (display) no_graphics_exposures(display);
  return display;
}

namespace yosta {

namespace {

struct Xlib {
  int (*close_display)(void*);
  XWindow (*root_window)(void*);
  int (*query_tree)(void*, XWindow, XWindow*, XWindow*, XWindow**, unsigned*);
  int (*fetch_name)(void*, XWindow, char**);
  int (*free)(void*);
  int (*translate)(void*, XWindow, XWindow, int, int, int*, int*, XWindow*);
  int (*geometry)(void*, XWindow, XWindow*, int*, int*, unsigned*, unsigned*, unsigned*, unsigned*);
  int (*move)(void*, XWindow, int, int);
  int (*default_screen)(void*);
  int (*display_width)(void*, int);
  int (*display_height)(void*, int);
  int (*sync)(void*, int);

  bool load() {
    close_display = symbol<decltype(close_display)>(RTLD_DEFAULT, "XCloseDisplay");
    root_window = symbol<decltype(root_window)>(RTLD_DEFAULT, "XDefaultRootWindow");
    query_tree = symbol<decltype(query_tree)>(RTLD_DEFAULT, "XQueryTree");
    fetch_name = symbol<decltype(fetch_name)>(RTLD_DEFAULT, "XFetchName");
    free = symbol<decltype(free)>(RTLD_DEFAULT, "XFree");
    translate = symbol<decltype(translate)>(RTLD_DEFAULT, "XTranslateCoordinates");
    geometry = symbol<decltype(geometry)>(RTLD_DEFAULT, "XGetGeometry");
    move = symbol<decltype(move)>(RTLD_DEFAULT, "XMoveWindow");
    default_screen = symbol<decltype(default_screen)>(RTLD_DEFAULT, "XDefaultScreen");
    display_width = symbol<decltype(display_width)>(RTLD_DEFAULT, "XDisplayWidth");
    display_height = symbol<decltype(display_height)>(RTLD_DEFAULT, "XDisplayHeight");
    sync = symbol<decltype(sync)>(RTLD_DEFAULT, "XSync");
    return close_display && root_window && query_tree && fetch_name && free && translate && geometry && move &&
           default_screen && display_width && display_height && sync;
  }

  // The last (topmost, newest) window of that title under `window`.
  XWindow find(void* d, XWindow window, const char* title, int depth) const {
    XWindow found = 0;
    char* name = nullptr;
    if (fetch_name(d, window, &name) && name) {
      if (std::strcmp(name, title) == 0) found = window;
      free(name);
    }
    if (found || depth > 3) return found;
    XWindow root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!query_tree(d, window, &root, &parent, &children, &count)) return 0;
    for (unsigned i = 0; i < count; ++i)
      if (const XWindow w = find(d, children[i], title, depth + 1)) found = w;
    if (children) free(children);
    return found;
  }

  struct Box {
    int x = 0, y = 0, w = 0, h = 0;
  };
  bool box(void* d, XWindow root, XWindow window, Box& b) const {
    XWindow r = 0, child = 0;
    int gx, gy;
    unsigned w, h, border, depth;
    if (!geometry(d, window, &r, &gx, &gy, &w, &h, &border, &depth)) return false;
    if (!translate(d, window, root, 0, 0, &b.x, &b.y, &child)) return false;
    b.w = static_cast<int>(w);
    b.h = static_cast<int>(h);
    return true;
  }
};

}  // namespace

bool place_beside(const char* first, const char* second) {
  Xlib x;
  if (!x.load()) return false;
  void* d = XOpenDisplay(nullptr);
  if (!d) return false;
  bool moved = false;
  const XWindow root = x.root_window(d);
  const XWindow a = x.find(d, root, first, 0);
  const XWindow b = x.find(d, root, second, 0);
  Xlib::Box pa, pb;
  if (a && b && x.box(d, root, a, pa) && x.box(d, root, b, pb)) {
    const bool overlap = pb.x < pa.x + pa.w && pa.x < pb.x + pb.w && pb.y < pa.y + pa.h && pa.y < pb.y + pb.h;
    const int screen = x.default_screen(d);
    const int gap = 10;
    if (overlap) {
      if (pa.x + pa.w + gap + pb.w <= x.display_width(d, screen)) {
        moved = x.move(d, b, pa.x + pa.w + gap, pa.y) != 0;
      } else if (pa.y + pa.h + 3 * gap + pb.h <= x.display_height(d, screen)) {
        moved = x.move(d, b, pa.x, pa.y + pa.h + 3 * gap) != 0;
      }
      x.sync(d, 0);
    }
  }
  x.close_display(d);
  return moved;
}

}  // namespace yosta

#include "x_display.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace x_display {
namespace {
::Display* Dpy(void* d) { return static_cast<::Display*>(d); }
int IgnoreErrors(::Display*, XErrorEvent*) { return 0; }  // a window gone meanwhile
}  // namespace

Server::Server(const std::string& xvfb) {
  if (xvfb.empty()) return;
  int p[2];
  if (pipe(p) != 0) return;
  std::string fd = std::to_string(p[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, p[0]);
  const char* argv[] = {xvfb.c_str(), "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                        nullptr};
  if (posix_spawn(&pid_, xvfb.c_str(), &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(p[1]);
  // The server writes its display number once it accepts clients.
  std::string number;
  pollfd wait{p[0], POLLIN, 0};
  char c = 0;
  while (pid_ > 0 && poll(&wait, 1, 20000) > 0 && read(p[0], &c, 1) == 1 && c != '\n') number += c;
  close(p[0]);
  if (number.empty()) return;
  name_ = ":" + number;
  XSetErrorHandler(IgnoreErrors);
  display_ = XOpenDisplay(name_.c_str());
  if (!display_) name_.clear();
}

Server::~Server() {
  if (display_) XCloseDisplay(Dpy(display_));
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

std::vector<Server::Window> Server::Windows(const std::string& title) {
  std::vector<Window> found;
  if (!display_) return found;
  ::Display* d = Dpy(display_);
  ::Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return found;
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes a{};
    char* name = nullptr;
    if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable && XFetchName(d, children[i], &name) &&
        name && title == name)
      found.push_back({children[i], a.width, a.height});
    if (name) XFree(name);
  }
  if (children) XFree(children);
  return found;
}

uint32_t Server::Pixel(unsigned long window, int x, int y) {
  if (!display_) return 0xFFFFFFFFu;
  XImage* image = XGetImage(Dpy(display_), window, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0xFFFFFFFFu;
  unsigned long p = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  return uint32_t(((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16));
}

void Server::Close(unsigned long window) {
  if (!display_) return;
  ::Display* d = Dpy(display_);
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, window, False, NoEventMask, &e);
  XFlush(d);
}

bool Server::Click(unsigned long window, int x, int y) {
  if (!display_) return false;
  ::Display* d = Dpy(display_);
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(d, &event, &error, &major, &minor)) return false;
  int rootX = 0, rootY = 0;
  ::Window child = 0;
  if (!XTranslateCoordinates(d, window, DefaultRootWindow(d), x, y, &rootX, &rootY, &child)) return false;
  XTestFakeMotionEvent(d, -1, rootX, rootY, CurrentTime);
  XTestFakeButtonEvent(d, Button1, True, CurrentTime);
  XTestFakeButtonEvent(d, Button1, False, CurrentTime);
  XFlush(d);
  return true;
}

}  // namespace x_display

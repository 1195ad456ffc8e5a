#include "x_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

namespace xtest {
namespace {

Display* D(void* p) { return static_cast<Display*>(p); }

bool aufPfad(const char* programm) {
  const char* path = std::getenv("PATH");
  std::string rest = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= rest.size()) {
    const size_t end = rest.find(':', start);
    const std::string dir = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty() && ::access((dir + "/" + programm).c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

// Starts a helper that ends with this process. `ausgabe` >= 0 stays open in it.
pid_t starten(const std::vector<std::string>& argv, int ausgabe) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  const int devnull = ::open("/dev/null", O_RDWR);
  ::dup2(devnull, 0);
  ::dup2(devnull, 1);
  ::dup2(devnull, 2);
  for (int fd = 3; fd < 256; ++fd)
    if (fd != ausgabe) ::close(fd);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ::execvp(args[0], args.data());
  ::_exit(127);
}

bool hatFensterverwaltung(Display* d) {
  const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long n = 0, rest = 0;
  unsigned char* data = nullptr;
  const bool ok = XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW, &type, &format, &n,
                                     &rest, &data) == Success &&
                  n == 1;
  if (data) XFree(data);
  return ok;
}

std::string fensterName(Display* d, Window w) {
  const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  Atom type = None;
  int format = 0;
  unsigned long n = 0, rest = 0;
  unsigned char* data = nullptr;
  std::string name;
  if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &n, &rest, &data) == Success &&
      data) {
    name.assign(reinterpret_cast<char*>(data), n);
  }
  if (data) XFree(data);
  return name;
}

}  // namespace

std::string DisplayStarten(int width, int height, bool* installed) {
  static std::string ergebnis = "not started";
  static bool gestartet = false;
  *installed = aufPfad("Xvfb");
  if (gestartet) return ergebnis;
  gestartet = true;
  if (!*installed) return ergebnis = "Xvfb is not installed (Debian package xvfb)";
  if (!aufPfad("openbox")) return ergebnis = "openbox is not installed";
  int rohr[2];
  if (::pipe(rohr) != 0) return ergebnis = "pipe failed";
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  starten({"Xvfb", "-displayfd", std::to_string(rohr[1]), "-screen", "0", screen, "-nolisten", "tcp", "-noreset"},
          rohr[1]);
  ::close(rohr[1]);
  std::string nummer;
  pollfd p{rohr[0], POLLIN, 0};
  while (nummer.find('\n') == std::string::npos && ::poll(&p, 1, 30000) > 0) {
    char buf[32];
    const ssize_t n = ::read(rohr[0], buf, sizeof buf);
    if (n <= 0) break;
    nummer.append(buf, static_cast<size_t>(n));
  }
  ::close(rohr[0]);
  if (nummer.empty() || nummer.find('\n') == std::string::npos) return ergebnis = "Xvfb did not start";
  const std::string name = ":" + nummer.substr(0, nummer.find('\n'));
  ::setenv("DISPLAY", name.c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  // No desktop session: keep the toolkit from looking for one over D-Bus.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
  starten({"openbox"}, -1);
  Display* d = XOpenDisplay(name.c_str());
  if (!d) return ergebnis = "cannot connect to Xvfb on " + name;
  const bool bereit = WartenBis([d] { return hatFensterverwaltung(d); });
  XCloseDisplay(d);
  if (!bereit) return ergebnis = "openbox did not start";
  return ergebnis = "";
}

void Schlafen(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

bool WartenBis(const std::function<bool()>& bedingung, std::chrono::milliseconds grenze) {
  const auto ende = std::chrono::steady_clock::now() + grenze;
  while (!bedingung()) {
    if (std::chrono::steady_clock::now() > ende) return false;
    Schlafen(5);
  }
  return true;
}

Bediener::Bediener() { display_ = XOpenDisplay(nullptr); }
Bediener::~Bediener() {
  if (display_) XCloseDisplay(D(display_));
}

void Bediener::Klicken(QPoint g) {
  Display* d = D(display_);
  XTestFakeMotionEvent(d, -1, g.x(), g.y(), CurrentTime);
  XSync(d, False);
  Schlafen(40);  // a press right after the move can get lost
  XTestFakeButtonEvent(d, 1, True, CurrentTime);
  XSync(d, False);
  Schlafen(20);
  XTestFakeButtonEvent(d, 1, False, CurrentTime);
  XSync(d, False);
}

void Bediener::Druecken() {
  Display* d = D(display_);
  XTestFakeButtonEvent(d, 1, True, CurrentTime);
  XTestFakeButtonEvent(d, 1, False, CurrentTime);
  XSync(d, False);
}

void Bediener::Rad(QPoint g, int notches) {
  Display* d = D(display_);
  XTestFakeMotionEvent(d, -1, g.x(), g.y(), CurrentTime);
  XSync(d, False);
  Schlafen(40);
  const unsigned button = notches > 0 ? 4 : 5;
  for (int i = 0; i < std::abs(notches); ++i) {
    XTestFakeButtonEvent(d, button, True, CurrentTime);
    XTestFakeButtonEvent(d, button, False, CurrentTime);
    XSync(d, False);
    Schlafen(30);
  }
}

void Bediener::Taste(const char* keysym, bool control, bool alt) {
  Display* d = D(display_);
  const KeyCode ctrl = XKeysymToKeycode(d, XK_Control_L);
  const KeyCode altKey = XKeysymToKeycode(d, XK_Alt_L);
  const KeyCode key = XKeysymToKeycode(d, XStringToKeysym(keysym));
  if (control) XTestFakeKeyEvent(d, ctrl, True, CurrentTime);
  if (alt) XTestFakeKeyEvent(d, altKey, True, CurrentTime);
  XTestFakeKeyEvent(d, key, True, CurrentTime);
  XTestFakeKeyEvent(d, key, False, CurrentTime);
  if (alt) XTestFakeKeyEvent(d, altKey, False, CurrentTime);
  if (control) XTestFakeKeyEvent(d, ctrl, False, CurrentTime);
  XSync(d, False);
  // A person's pace, not a wait for the program: the server keeps the order of
  // input whatever the program's speed.
  Schlafen(15);
}

void Bediener::Tippen(const std::string& text) {
  for (char c : text) {
    const char name[2] = {c, 0};
    if (c == ',') Taste("comma");
    else if (c == '.') Taste("period");
    else if (c == '-') Taste("minus");
    else if (c == ' ') Taste("space");
    else Taste(name);
  }
}

QImage Bediener::Bild(QRect r) {
  Display* d = D(display_);
  XImage* x = XGetImage(d, DefaultRootWindow(d), r.x(), r.y(), static_cast<unsigned>(r.width()),
                        static_cast<unsigned>(r.height()), AllPlanes, ZPixmap);
  if (!x) return {};
  QImage img(r.width(), r.height(), QImage::Format_RGB32);
  for (int y = 0; y < r.height(); ++y)
    for (int xx = 0; xx < r.width(); ++xx)
      img.setPixel(xx, y, static_cast<QRgb>(XGetPixel(x, xx, y)) | 0xFF000000u);
  XDestroyImage(x);
  return img;
}

unsigned long Bediener::Kennung(const std::string& title) {
  Display* d = D(display_);
  const Atom list = XInternAtom(d, "_NET_CLIENT_LIST", False);
  Atom type = None;
  int format = 0;
  unsigned long n = 0, rest = 0;
  unsigned char* data = nullptr;
  Window gefunden = 0;
  if (XGetWindowProperty(d, DefaultRootWindow(d), list, 0, 1024, False, XA_WINDOW, &type, &format, &n, &rest,
                         &data) == Success &&
      data) {
    const auto* w = reinterpret_cast<const Window*>(data);
    for (unsigned long i = 0; i < n && gefunden == 0; ++i) {
      if (fensterName(d, w[i]) != title) continue;
      XWindowAttributes a{};
      if (XGetWindowAttributes(d, w[i], &a) && a.map_state == IsViewable) gefunden = w[i];
    }
  }
  if (data) XFree(data);
  return gefunden;
}

QRect Bediener::Fenster(const std::string& title) {
  Display* d = D(display_);
  const Window w = Kennung(title);
  XWindowAttributes a{};
  if (w == 0 || !XGetWindowAttributes(d, w, &a)) return {};
  int x = 0, y = 0;
  Window kind = 0;
  XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &kind);
  return QRect(x, y, a.width, a.height);
}

std::vector<std::string> Bediener::Atome(unsigned long window, const char* property) {
  Display* d = D(display_);
  Atom type = None;
  int format = 0;
  unsigned long n = 0, rest = 0;
  unsigned char* data = nullptr;
  std::vector<std::string> namen;
  if (XGetWindowProperty(d, window, XInternAtom(d, property, False), 0, 64, False, XA_ATOM, &type, &format, &n,
                         &rest, &data) == Success &&
      data) {
    const auto* a = reinterpret_cast<const Atom*>(data);
    for (unsigned long i = 0; i < n; ++i) {
      char* name = XGetAtomName(d, a[i]);
      if (name) namen.emplace_back(name);
      if (name) XFree(name);
    }
  }
  if (data) XFree(data);
  return namen;
}

unsigned long Bediener::TransientFuer(unsigned long window) {
  Window fuer = 0;
  return XGetTransientForHint(D(display_), window, &fuer) ? fuer : 0;
}

QRect Bediener::MitRahmen(unsigned long window, QRect innen) {
  Display* d = D(display_);
  Atom type = None;
  int format = 0;
  unsigned long n = 0, rest = 0;
  unsigned char* data = nullptr;
  long e[4] = {0, 0, 0, 0};  // left, right, top, bottom
  if (XGetWindowProperty(d, window, XInternAtom(d, "_NET_FRAME_EXTENTS", False), 0, 4, False, XA_CARDINAL, &type,
                         &format, &n, &rest, &data) == Success &&
      data && n == 4)
    std::memcpy(e, data, sizeof e);
  if (data) XFree(data);
  return innen.adjusted(-static_cast<int>(e[0]), -static_cast<int>(e[2]), static_cast<int>(e[1]),
                        static_cast<int>(e[3]));
}

void Bediener::Minimieren(unsigned long window) {
  Display* d = D(display_);
  XIconifyWindow(d, window, DefaultScreen(d));
  XSync(d, False);
}

void Bediener::Schliessen(unsigned long window) {
  Display* d = D(display_);
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(d, "_NET_CLOSE_WINDOW", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = CurrentTime;
  e.xclient.data.l[1] = 2;  // from a pager or the like: a person's request
  XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  XSync(d, False);
}

bool Bediener::Abgebildet(unsigned long window) {
  XWindowAttributes a{};
  return XGetWindowAttributes(D(display_), window, &a) && a.map_state == IsViewable;
}

unsigned long Bediener::Abdecken(QRect r, unsigned long rgb) {
  Display* d = D(display_);
  XSetWindowAttributes a{};
  a.override_redirect = True;  // no frame, no placement: exactly there
  a.background_pixel = rgb;
  const Window w = XCreateWindow(d, DefaultRootWindow(d), r.x(), r.y(), static_cast<unsigned>(r.width()),
                                 static_cast<unsigned>(r.height()), 0, CopyFromParent, InputOutput, CopyFromParent,
                                 CWOverrideRedirect | CWBackPixel, &a);
  XMapRaised(d, w);
  XSync(d, False);
  return w;
}

void Bediener::Aufdecken(unsigned long decke) {
  Display* d = D(display_);
  XDestroyWindow(d, decke);
  XSync(d, False);
}

QRect Bediener::AufFensterWarten(const std::string& title, std::chrono::milliseconds limit) {
  QRect r;
  WartenBis([&] { return !(r = Fenster(title)).isEmpty(); }, limit);
  return r;
}

QPoint Bediener::Ursprung(unsigned long window) {
  Display* d = D(display_);
  int x = 0, y = 0;
  Window kind = 0;
  XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &x, &y, &kind);
  return {x, y};
}

bool Bediener::Gerahmt(unsigned long window) {
  Display* d = D(display_);
  Atom type = None;
  int format = 0;
  unsigned long n = 0, rest = 0;
  unsigned char* data = nullptr;
  const bool ja = XGetWindowProperty(d, window, XInternAtom(d, "_NET_FRAME_EXTENTS", False), 0, 4, False, XA_CARDINAL,
                                     &type, &format, &n, &rest, &data) == Success &&
                  data && n == 4;
  if (data) XFree(data);
  return ja;
}

bool Bediener::TastaturGegriffen() {
  Display* d = D(display_);
  const int r = XGrabKeyboard(d, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync, CurrentTime);
  if (r == GrabSuccess) XUngrabKeyboard(d, CurrentTime);
  XSync(d, False);
  return r == AlreadyGrabbed;
}

bool Bediener::HatFokus(unsigned long window) {
  Display* d = D(display_);
  Window fokus = 0;
  int art = 0;
  XGetInputFocus(d, &fokus, &art);
  // Up from the focus window to the root: a child of `window` counts.
  while (fokus != 0 && fokus != PointerRoot && fokus != window) {
    Window wurzel = 0, eltern = 0, *kinder = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, fokus, &wurzel, &eltern, &kinder, &n)) return false;
    if (kinder) XFree(kinder);
    if (fokus == wurzel) return false;
    fokus = eltern;
  }
  return fokus == window && window != 0;
}

}  // namespace xtest

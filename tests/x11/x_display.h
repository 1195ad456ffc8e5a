#pragma once
// A real X server for window tests: Xvfb with openbox on a free display, and an
// operator that sends input through the server (XTest) from its own connection,
// so the events travel as a person's would, also while the program is busy.
#include <QImage>
#include <QPoint>
#include <QRect>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace xtest {

// Starts Xvfb (screen `width` x `height`) and openbox once per process and points
// DISPLAY at it. Returns "" when running, else why not; `installed` is false when
// Xvfb is missing (the only case in which a test may skip).
std::string DisplayStarten(int width, int height, bool* installed);

// One operator connection; use it from one thread only.
class Bediener {
 public:
  Bediener();
  ~Bediener();
  Bediener(const Bediener&) = delete;
  Bediener& operator=(const Bediener&) = delete;
  bool ok() const { return display_ != nullptr; }

  void Klicken(QPoint global);
  void Druecken();  // a click where the pointer is, without pauses
  // A key by its X name ("Return", "Tab", "x"), optionally with Control or Alt held.
  void Taste(const char* keysym, bool control = false, bool alt = false);
  void Tippen(const std::string& text);  // characters and digits, ',' and '.'
  void Rad(QPoint global, int notches);  // + up, - down
  // What the screen shows in `rect` (global coordinates).
  QImage Bild(QRect rect);
  // The frame-less rectangle of the top-level window titled `title`, empty if none.
  QRect Fenster(const std::string& title);
  // `innen` (a window's own area) with the frame the window manager drew around it.
  QRect MitRahmen(unsigned long window, QRect innen);
  // The X window of the top-level window titled `title` (its client window), 0 if none.
  unsigned long Kennung(const std::string& title);
  // The atoms' names of a window's ATOM list property ("_NET_WM_WINDOW_TYPE").
  std::vector<std::string> Atome(unsigned long window, const char* property);
  // The window a window is transient for (WM_TRANSIENT_FOR), 0 if none.
  unsigned long TransientFuer(unsigned long window);
  // Asks the window manager to minimise a window, as its title-bar button does.
  void Minimieren(unsigned long window);
  // Asks the window manager to close a window, as its title-bar close button does.
  void Schliessen(unsigned long window);
  // Whether a window is mapped and shown (not minimised).
  bool Abgebildet(unsigned long window);
  // Lays a window of one colour over `rect`, above all others, and takes it away
  // again: what lay below is then exposed.
  unsigned long Abdecken(QRect rect, unsigned long rgb);
  void Aufdecken(unsigned long decke);
  // Waits up to `limit` for such a window.
  QRect AufFensterWarten(const std::string& title, std::chrono::milliseconds limit);
  // Whether a client holds the keyboard grab, as an open menu does: a grab of
  // our own then fails. One that succeeds is given back at once, so ask only
  // once the program's side says it grabbed.
  bool TastaturGegriffen();
  // Whether the X server's keyboard focus is on `window` or inside it.
  bool HatFokus(unsigned long window);
  // Where the X server has a window's origin (global coordinates).
  QPoint Ursprung(unsigned long window);
  // Whether the window manager has framed the window (it set _NET_FRAME_EXTENTS).
  bool Gerahmt(unsigned long window);

 private:
  void* display_ = nullptr;
};

void Schlafen(int milliseconds);
// True once `bedingung` holds, looked at every 5 ms for at most `grenze`: the
// deadline is generous, as a slow build or a busy machine needs, and costs
// nothing when the condition comes soon.
bool WartenBis(const std::function<bool()>& bedingung,
               std::chrono::milliseconds grenze = std::chrono::seconds(30));

}  // namespace xtest

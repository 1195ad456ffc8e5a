#pragma once
// The program's windows on a real X server, driven by an operator thread that
// sends real input through the server while the program's loop may be blocked.
#include <gtest/gtest.h>

#include <QPoint>
#include <QRect>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sim_harness.h"
#include "support_ui/ui_fixture.h"
#include "x_display.h"

namespace xtest {

class XFenster : public uitest::UiTest {
 protected:
  // Screen size of this process's X server.
  virtual QSize Bildschirm() const { return {1280, 1024}; }
  void SetUp() override;
  void TearDown() override;

  // As the shared fixture's, with the connection window showing it.
  static void Verbinden(simtest::Simulator& sim);
  // Waits until the operator window is drawn on the screen.
  void Sichtbar(int panel);
  // Centre of a control on the screen (global coordinates), by its name in the
  // resource (the constant without the panel prefix, e.g. "ZPK3START").
  static QPoint Mitte(const char* name);
  // Centre of a menu's title in the operator window's menu bar, by the menu's
  // name in the resource ("MENUBAR_MENU").
  static QPoint MenueMitte(const char* name);
  // Runs `bediener` in a thread of its own while the program's loop runs, then
  // lets the loop run `nachlauf` ms more (where replayed input would act).
  void Bedienen(const std::function<void(Bediener&)>& bediener, int nachlauf = 1000);
  // Waits (from the operator thread) until the simulator logged `n` frames.
  static bool AufRahmenWarten(simtest::Simulator& sim, size_t n, int grenzeMs = 30000);
  // Waits until `bedingung` holds, looked at in the program's thread (Qt's view of
  // its windows) also while a popup or an operation runs its own loop; at most
  // `grenzeMs`. From the operator thread inside Bedienen, or from the test.
  bool ImProgrammWarten(const std::function<bool()>& bedingung, int grenzeMs = 30000);
  // From the operator thread: clicks at `wo` or presses `taste`, then waits until
  // the program has taken it in and finished what it started (an operation ends).
  bool Bedient(Bediener& b, QPoint wo);
  bool Gedrueckt(Bediener& b, const char* taste);
  // Takes the field `name` at `wo` as an operator does before typing over it:
  // clicks until the keyboard is in it (a click the busy program discards is
  // clicked again, as a person would), then Ctrl+A until its whole text is selected.
  bool FeldWaehlen(Bediener& b, QPoint wo, const char* name);
  // Conditions for it, true in the program's thread:
  // no operation runs, so input is taken again (the busy cursor is gone);
  static bool NimmtEingabenAn();
  // the menu of that object name is the open popup and shown, `*fenster` its X window;
  static bool MenueOffen(const char* name, unsigned long* fenster);
  // the window holding the control `name` is the active one, `*fenster` its X window;
  static bool FensterAktiv(const char* name, unsigned long* fenster);
  // the active window has the title `titel`, `*fenster` its X window;
  static bool TitelAktiv(const std::string& titel, unsigned long* fenster);
  // the keyboard focus is in the control `name` (the constant without the panel prefix).
  static bool FokusIn(const char* name);
  // Where the PNGs go.
  static std::string Bildpfad(const std::string& name);

 private:
  void Pruefen();
  std::mutex pruefung_;
  std::function<bool()> bedingung_;  // asked for by ImProgrammWarten
  int antwort_ = -1;                 // -1 not yet looked at, else whether it held
  // Button and key releases the program has taken in during Bedienen.
  std::atomic<int> klicks_{0}, tasten_{0};
};

}  // namespace xtest

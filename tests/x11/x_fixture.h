#pragma once
// The program's windows on a real X server, driven by an operator thread that
// sends real input through the server while the program's loop may be blocked.
#include <gtest/gtest.h>

#include <QPoint>
#include <QRect>

#include <atomic>
#include <functional>
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
  // Runs `bediener` in a thread of its own while the program's loop runs, then
  // lets the loop run `nachlauf` ms more (where replayed input would act).
  void Bedienen(const std::function<void(Bediener&)>& bediener, int nachlauf = 1000);
  // Waits (from the operator thread) until the simulator logged `n` frames.
  static bool AufRahmenWarten(simtest::Simulator& sim, size_t n, int grenzeMs = 30000);
  // Where the PNGs go.
  static std::string Bildpfad(const std::string& name);
};

}  // namespace xtest

#include "x_fixture.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <thread>

#include "Com/Com.h"
#include "olqzpk3x/olqzpk3x.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace xtest {

void XFenster::SetUp() {
  bool installiert = false;
  const std::string fehler = DisplayStarten(Bildschirm().width(), Bildschirm().height(), &installiert);
  if (!installiert) GTEST_SKIP() << "no real X server for this test: " << fehler;
  ASSERT_EQ(fehler, "");
  ASSERT_TRUE(uitest::ToolkitStarten());
  SteuerungCallbacksRegistrieren();
  UiTest::SetUp();
  Sichtbar(gPanelHandle);
}

void XFenster::TearDown() {
  TestPopupAutomation(true);
  UiTest::TearDown();
}

void XFenster::Verbinden(simtest::Simulator& sim) {
  ASSERT_NO_FATAL_FAILURE(UiTest::Verbinden(sim));
  ComEinstellungenAusStrukturInGui();
}

void XFenster::Sichtbar(int) {
  for (int i = 0; i < 200; ++i) {
    bool alle = true;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && (!w->windowHandle() || !w->windowHandle()->isExposed())) alle = false;
    if (alle) break;
    TestRunEvents(10);
  }
  TestRunEvents(150);  // the window manager settles the frame
}

QPoint XFenster::Mitte(const char* name) {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (!top->isVisible()) continue;
    if (auto* w = top->findChild<QWidget*>(QString::fromLatin1(name)); w && w->isVisible())
      return w->mapToGlobal(w->rect().center());
  }
  ADD_FAILURE() << "no visible control " << name;
  return {};
}

void XFenster::Bedienen(const std::function<void(Bediener&)>& bediener, int nachlauf) {
  std::atomic<bool> fertig{false};
  std::thread t([&] {
    Bediener b;
    if (b.ok()) bediener(b);
    else ADD_FAILURE() << "the operator cannot reach the X server";
    fertig = true;
  });
  while (!fertig) TestRunEvents(10);
  t.join();
  TestRunEvents(nachlauf);
}

bool XFenster::AufRahmenWarten(simtest::Simulator& sim, size_t n, int grenzeMs) {
  const auto ende = std::chrono::steady_clock::now() + std::chrono::milliseconds(grenzeMs);
  while (sim.frames().size() < n) {
    if (std::chrono::steady_clock::now() > ende) return false;
    Schlafen(5);
  }
  return true;
}

std::string XFenster::Bildpfad(const std::string& name) { return std::string(ZPK3X_BILDER) + "/" + name; }

}  // namespace xtest

#include "x_fixture.h"

#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <cstdlib>
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
  // Drawn and framed, and Qt places each window where the X server has it:
  // positions taken from the widgets are then where clicks land.
  Bediener b;
  std::string offen;  // the last window that was not yet so
  const bool fertig = b.ok() && ImProgrammWarten([&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (!w->isVisible() || (w->windowType() != Qt::Window && w->windowType() != Qt::Dialog)) continue;
      offen = w->objectName().toStdString() + " \"" + w->windowTitle().toStdString() + "\"";
      const auto x = static_cast<unsigned long>(w->winId());
      if (!w->windowHandle() || !w->windowHandle()->isExposed()) {
        // What the server says tells a lost expose from a window never mapped.
        offen += std::string(" not exposed in Qt; on the server ") + (b.Abgebildet(x) ? "mapped" : "not mapped") +
                 (b.Gerahmt(x) ? ", framed" : ", no frame");
        return false;
      }
      // Qt's coordinates are scaled by the font resolution; the server's are pixels.
      const qreal dpr = w->devicePixelRatioF();
      const QPoint qt = w->mapToGlobal(QPoint(0, 0)), server = b.Ursprung(x);
      offen += " at " + std::to_string(qt.x()) + "," + std::to_string(qt.y()) + ", on the server " +
               std::to_string(server.x()) + "," + std::to_string(server.y()) + (b.Gerahmt(x) ? "" : ", no frame");
      if (!b.Gerahmt(x) || std::abs(qRound(qt.x() * dpr) - server.x()) > 1 || std::abs(qRound(qt.y() * dpr) - server.y()) > 1)
        return false;
    }
    return true;
  });
  EXPECT_TRUE(fertig) << "the windows are shown and framed where Qt has them: " << offen;
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

QPoint XFenster::MenueMitte(const char* name) {
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* leiste = top->findChild<QMenuBar*>(QStringLiteral("MENUBAR")))
      for (QAction* a : leiste->actions())
        if (a->menu() && a->menu()->objectName() == QLatin1String(name))
          return leiste->mapToGlobal(leiste->actionGeometry(a).center());
  ADD_FAILURE() << "no menu " << name;
  return {};
}

void XFenster::Bedienen(const std::function<void(Bediener&)>& bediener, int nachlauf) {
  // Answers ImProgrammWarten also from loops of the program's own (a popup, an
  // operation's drawing), where TestRunEvents below does not return.
  QTimer pruefer;
  QObject::connect(&pruefer, &QTimer::timeout, [this] { Pruefen(); });
  pruefer.start(5);
  // Counts input as it reaches the program's windows, before anything may
  // discard it (the filter installed last is asked first).
  struct Zaehler : QObject {
    XFenster* f;
    explicit Zaehler(XFenster* x) : f(x) {}
    bool eventFilter(QObject* o, QEvent* e) override {
      if (o->isWindowType() && e->spontaneous()) {
        if (e->type() == QEvent::MouseButtonRelease) ++f->klicks_;
        if (e->type() == QEvent::KeyRelease) ++f->tasten_;
      }
      return false;
    }
  } zaehler(this);
  qApp->installEventFilter(&zaehler);
  std::atomic<bool> fertig{false};
  std::thread t([&] {
    Bediener b;
    if (b.ok()) bediener(b);
    else ADD_FAILURE() << "the operator cannot reach the X server";
    fertig = true;
  });
  while (!fertig) TestRunEvents(10);
  t.join();
  qApp->removeEventFilter(&zaehler);
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

bool XFenster::Bedient(Bediener& b, QPoint wo) {
  const int vorher = klicks_;
  b.Klicken(wo);
  return ImProgrammWarten([&] { return klicks_ > vorher && NimmtEingabenAn(); });
}

bool XFenster::Gedrueckt(Bediener& b, const char* taste) {
  const int vorher = tasten_;
  b.Taste(taste);
  return ImProgrammWarten([&] { return tasten_ > vorher && NimmtEingabenAn(); });
}

bool XFenster::FeldWaehlen(Bediener& b, QPoint wo, const char* name) {
  bool drin = false;
  for (int versuch = 0; versuch < 3 && !drin; ++versuch) {
    b.Klicken(wo);
    drin = ImProgrammWarten([&] { return FokusIn(name) && NimmtEingabenAn(); }, 5000);
  }
  if (!drin) return false;
  b.Taste("a", true);
  return ImProgrammWarten([&] {
    auto* feld = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (!feld && QApplication::focusWidget()) feld = QApplication::focusWidget()->findChild<QLineEdit*>();
    return feld && feld->selectedText() == feld->text();
  });
}

void XFenster::Pruefen() {
  const std::lock_guard<std::mutex> sperre(pruefung_);
  if (bedingung_ && antwort_ < 0) antwort_ = bedingung_() ? 1 : 0;
}

bool XFenster::ImProgrammWarten(const std::function<bool()>& bedingung, int grenzeMs) {
  const auto ende = std::chrono::steady_clock::now() + std::chrono::milliseconds(grenzeMs);
  if (QThread::currentThread() == qApp->thread()) {
    while (!bedingung()) {
      if (std::chrono::steady_clock::now() > ende) return false;
      TestRunEvents(5);
    }
    return true;
  }
  {
    const std::lock_guard<std::mutex> sperre(pruefung_);
    bedingung_ = bedingung;
    antwort_ = -1;
  }
  bool gilt = false;
  while (true) {
    {
      const std::lock_guard<std::mutex> sperre(pruefung_);
      if (antwort_ == 1 || std::chrono::steady_clock::now() > ende) {
        gilt = antwort_ == 1;
        bedingung_ = nullptr;  // the program's thread no longer calls it
        break;
      }
      if (antwort_ == 0) antwort_ = -1;  // look again
    }
    Schlafen(5);
  }
  return gilt;
}

bool XFenster::NimmtEingabenAn() {
  const QCursor* c = QGuiApplication::overrideCursor();
  return !c || c->shape() != Qt::WaitCursor;
}

bool XFenster::MenueOffen(const char* name, unsigned long* fenster) {
  auto* menue = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  if (!menue || menue->objectName() != QLatin1String(name) || !menue->isVisible() || !menue->windowHandle() ||
      !menue->windowHandle()->isExposed())
    return false;
  *fenster = static_cast<unsigned long>(menue->winId());
  return true;
}

bool XFenster::FokusIn(const char* name) {
  for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
    if (w->objectName() == QLatin1String(name)) return true;
  return false;
}

bool XFenster::TitelAktiv(const std::string& titel, unsigned long* fenster) {
  QWidget* aktiv = QApplication::activeWindow();
  if (!aktiv || aktiv->windowTitle().toStdString() != titel || !aktiv->windowHandle() ||
      !aktiv->windowHandle()->isExposed())
    return false;
  *fenster = static_cast<unsigned long>(aktiv->winId());
  return true;
}

bool XFenster::FensterAktiv(const char* name, unsigned long* fenster) {
  QWidget* aktiv = QApplication::activeWindow();
  if (!aktiv || !aktiv->findChild<QWidget*>(QString::fromLatin1(name)) || !aktiv->windowHandle() ||
      !aktiv->windowHandle()->isExposed())
    return false;
  *fenster = static_cast<unsigned long>(aktiv->winId());
  return true;
}

std::string XFenster::Bildpfad(const std::string& name) { return std::string(ZPK3X_BILDER) + "/" + name; }

}  // namespace xtest

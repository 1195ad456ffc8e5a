// The operator window on a small screen (1024 x 600, with openbox's frame), in
// both editions, at the font resolution the test runs with (QT_FONT_DPI; ctest
// runs it at the default, 120 and 144 dpi): the window with its frame lies on the
// screen, and what the screen shows of the logo and of the top of the "Istwerte"
// frame is what each draws itself, so nothing lies over the other.
#include <QApplication>
#include <QMainWindow>
#include <QScreen>
#include <QScrollArea>

#include <cstdlib>
#include <cstdio>

#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "x_fixture.h"
#include "zpk3xSteuerung/VerlaufFenster.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace {

class XKleinerBildschirm : public xtest::XFenster, public ::testing::WithParamInterface<int> {
 protected:
  QSize Bildschirm() const override { return {1024, 600}; }

  static QMainWindow* Hauptfenster() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* mw = qobject_cast<QMainWindow*>(w); mw && mw->isVisible()) return mw;
    return nullptr;
  }

  // Drawn and on the screen: painted now, and the X server has done it.
  static void Gezeichnet(QWidget* w) {
    w->repaint();
    QGuiApplication::sync();
  }

  // A rectangle of the window in the X server's (device) pixels.
  static QRect Geraetepixel(QWidget* w, QRect r) {
    const qreal dpr = w->devicePixelRatioF();
    const QPoint o = w->mapToGlobal(r.topLeft());
    return {qRound(o.x() * dpr), qRound(o.y() * dpr), qRound(r.width() * dpr), qRound(r.height() * dpr)};
  }

  // Share of the pixels of `teil` (in w's coordinates) where the screen differs
  // clearly from what w draws there itself (within a pixel: with a fractional
  // scale the screen may place w half a pixel off).
  static double Fremd(xtest::Bediener& b, QWidget* w, QRect teil) {
    const QImage schirm = b.Bild(Geraetepixel(w, teil)).convertToFormat(QImage::Format_RGB32);
    const QImage eigen = w->grab(teil).toImage().convertToFormat(QImage::Format_RGB32);
    const int bw = std::min(schirm.width(), eigen.width()), bh = std::min(schirm.height(), eigen.height());
    if (bw <= 0 || bh <= 0) return 1.0;
    int anders = 0;
    auto gleich = [](QRgb a, QRgb c) {
      return std::abs(qRed(a) - qRed(c)) + std::abs(qGreen(a) - qGreen(c)) + std::abs(qBlue(a) - qBlue(c)) <= 96;
    };
    for (int y = 0; y < bh; ++y)
      for (int x = 0; x < bw; ++x) {
        bool nah = false;
        for (int dy = -1; dy <= 1 && !nah; ++dy)
          for (int dx = -1; dx <= 1 && !nah; ++dx) {
            const int ex = x + dx, ey = y + dy;
            nah = ex >= 0 && ey >= 0 && ex < bw && ey < bh && gleich(schirm.pixel(x, y), eigen.pixel(ex, ey));
          }
        if (!nah) ++anders;
      }
    return static_cast<double>(anders) / (bw * bh);
  }
};

TEST_P(XKleinerBildschirm, DasFensterPasstGanzAufDenBildschirmUndNichtsUeberdecktSich) {
  const bool englisch = GetParam() == 2;
  Sprache(GetParam());
  Sichtbar(gPanelHandle);
  QMainWindow* mw = Hauptfenster();
  ASSERT_NE(mw, nullptr);
  const qreal dpr = mw->devicePixelRatioF();  // Qt scales windows with the font resolution
  const QRect schirm(QPoint(0, 0), Bildschirm());
  ASSERT_LE(std::abs(QGuiApplication::primaryScreen()->geometry().width() * dpr - schirm.width()), 1.0);
  xtest::Bediener b;
  ASSERT_TRUE(b.ok());
  const QRect rahmen = b.MitRahmen(static_cast<unsigned long>(mw->winId()), Geraetepixel(mw, mw->rect()));
  EXPECT_GT(rahmen.width(), qRound(mw->width() * dpr)) << "openbox draws a frame";
  EXPECT_TRUE(schirm.contains(rahmen)) << "window with frame " << rahmen.x() << "," << rahmen.y() << " "
                                       << rahmen.width() << "x" << rahmen.height();

  QWidget* logo = mw->findChild<QWidget*>(QStringLiteral("PICTURE"));
  QWidget* istwerte = mw->findChild<QWidget*>(QStringLiteral("DECORATION_4"));
  ASSERT_TRUE(logo && istwerte);
  // Where the content scrolls, the logo and the frame's top are brought into
  // view, and only what the scroll area shows of them is compared.
  QScrollArea* bereich = mw->findChild<QScrollArea*>();
  if (bereich) {
    bereich->ensureWidgetVisible(logo, 0, 0);
    bereich->ensureWidgetVisible(istwerte, 0, 0);
    Gezeichnet(mw);
  }
  auto imBild = [bereich](QWidget* w, QRect r) {
    if (!bereich || !bereich->isAncestorOf(w)) return r;
    const QWidget* vp = bereich->viewport();
    return r.intersected(QRect(w->mapFrom(vp, QPoint(0, 0)), vp->size()));
  };
  const QRect l(logo->mapTo(mw, QPoint(0, 0)), logo->size());
  const QRect i(istwerte->mapTo(mw, QPoint(0, 0)), istwerte->size());
  EXPECT_FALSE(l.intersects(i));
  EXPECT_LT(Fremd(b, logo, imBild(logo, QRect(0, logo->height() - 6, logo->width(), 6))), 0.02)
      << "the logo's bottom is its own";
  EXPECT_LT(Fremd(b, istwerte, imBild(istwerte, QRect(0, 0, istwerte->width(), 6))), 0.02)
      << "the frame's top is its own";

  // Every frame's top and left border reaches the screen: a line in one of the
  // first device pixels, darker than the window's ground, along most of the side.
  const QRgb grund = mw->palette().color(QPalette::Window).rgb();
  auto dunkel = [grund](QRgb c) { return qGray(grund) - qGray(c) >= 25; };
  auto kante = [&](QWidget* w, bool oben) {
    const QRect g = Geraetepixel(w, w->rect());
    const QImage bild = b.Bild(oben ? QRect(g.x() + g.width() / 4, g.y(), g.width() / 2, 4)
                                    : QRect(g.x(), g.y() + g.height() / 4, 4, g.height() / 2))
                            .convertToFormat(QImage::Format_RGB32);
    int beste = 0;
    for (int k = 0; k < 4; ++k) {
      int n = 0;
      const int laenge = oben ? bild.width() : bild.height();
      for (int i = 0; i < laenge; ++i) n += dunkel(oben ? bild.pixel(i, k) : bild.pixel(k, i));
      beste = std::max(beste, 100 * n / std::max(1, laenge));
    }
    return beste;
  };
  QWidget* status = mw->findChild<QWidget*>(QStringLiteral("DECORATION_6"));
  ASSERT_NE(status, nullptr);
  if (bereich) bereich->ensureWidgetVisible(status, 0, 0);
  Gezeichnet(mw);
  EXPECT_GE(kante(istwerte, true), 90) << "the top border of \"Istwerte\"";
  EXPECT_GE(kante(istwerte, false), 90) << "the left border of \"Istwerte\"";
  EXPECT_GE(kante(status, false), 90) << "the left border of \"Status\"";

  const char* dpi = std::getenv("QT_FONT_DPI");
  const std::string name = std::string("x11_1024x600") + (dpi && *dpi ? std::string("_") + dpi + "dpi" : "") +
                           (englisch ? "_en.png" : "_de.png");
  b.Bild(schirm).save(QString::fromStdString(Bildpfad(name)));
}

// The trend window opened for the first time lies on the screen with its frame
// and leaves the continuous query's switch and the error area in view.
TEST_P(XKleinerBildschirm, DasVerlaufsfensterPasstUndLaesstDauerndUndDieFehlerzeileFrei) {
  Sprache(GetParam());
  Sichtbar(gPanelHandle);
  QMainWindow* mw = Hauptfenster();
  ASSERT_NE(mw, nullptr);
  QScrollArea* bereich = mw->findChild<QScrollArea*>();
  QWidget* dauernd = mw->findChild<QWidget*>(QStringLiteral("DAUERNDABFRAGEN"));
  QWidget* fehler = mw->findChild<QWidget*>(QStringLiteral("FEHLERSTRING"));
  ASSERT_TRUE(dauernd && fehler);
  if (bereich) bereich->ensureWidgetVisible(dauernd, 0, 0);
  Gezeichnet(mw);
  ASSERT_EQ(VerlaufOeffnen(), 0);  // as its button does
  ASSERT_GE(gVerlaufPanelHandle, 0);
  QWidget* fenster = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->findChild<QWidget*>(QStringLiteral("AUFZEICHNEN"))) fenster = w;
  ASSERT_NE(fenster, nullptr);
  Sichtbar(gVerlaufPanelHandle);  // framed by the window manager where Qt has it
  xtest::Bediener b;
  ASSERT_TRUE(b.ok());
  const QRect schirm(QPoint(0, 0), Bildschirm());
  const QRect rahmen = b.MitRahmen(static_cast<unsigned long>(fenster->winId()), Geraetepixel(fenster, fenster->rect()));
  EXPECT_TRUE(schirm.contains(rahmen)) << "trend window with frame " << rahmen.x() << "," << rahmen.y() << " "
                                       << rahmen.width() << "x" << rahmen.height();
  QWidget* aufzeichnen = fenster->findChild<QWidget*>(QStringLiteral("AUFZEICHNEN"));
  EXPECT_TRUE(schirm.contains(Geraetepixel(aufzeichnen, aufzeichnen->rect()))) << "the recording row is on the screen";
  for (QWidget* frei : {dauernd, fehler})
    EXPECT_FALSE(rahmen.intersects(Geraetepixel(frei, frei->rect()))) << frei->objectName().toStdString();
  const char* dpi = std::getenv("QT_FONT_DPI");
  const std::string name = std::string("x11_verlauf_1024x600") + (dpi && *dpi ? std::string("_") + dpi + "dpi" : "") +
                           (GetParam() == 2 ? "_en.png" : "_de.png");
  b.Bild(schirm).save(QString::fromStdString(Bildpfad(name)));
  VerlaufBeenden();  // as the program's end: the next test starts without it
  TestRunEvents(100);
}

INSTANTIATE_TEST_SUITE_P(Sprachen, XKleinerBildschirm, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return std::string(i.param == 2 ? "Englisch" : "Deutsch");
                         });

}  // namespace

// The operator window on a small screen (1024 x 600, with openbox's frame), in
// both editions, and with larger fonts.
#include <QApplication>
#include <QMainWindow>
#include <QScreen>

#include <cstdlib>

#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "x_fixture.h"
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

  // The window with the frame the window manager drew around it.
  static QRect MitRahmen(QWidget* w) {
    xtest::Bediener b;
    return b.MitRahmen(static_cast<unsigned long>(w->winId()), QRect(w->mapToGlobal(QPoint(0, 0)), w->size()));
  }
};

TEST_P(XKleinerBildschirm, DasFensterPasstGanzAufDenBildschirm) {
  const bool englisch = GetParam() == 2;
  Sprache(GetParam());
  Sichtbar(gPanelHandle);
  QMainWindow* mw = Hauptfenster();
  ASSERT_NE(mw, nullptr);
  const QRect schirm = QGuiApplication::primaryScreen()->geometry();
  ASSERT_EQ(schirm.size(), QSize(1024, 600));
  const QRect rahmen = MitRahmen(mw);
  EXPECT_GT(rahmen.width(), mw->width()) << "openbox draws a frame";
  EXPECT_TRUE(schirm.contains(rahmen)) << "window with frame " << rahmen.x() << "," << rahmen.y() << " "
                                       << rahmen.width() << "x" << rahmen.height();
  EXPECT_GE(mw->width(), mw->minimumSizeHint().width()) << "nothing is squeezed";
  EXPECT_GE(mw->height(), mw->minimumSizeHint().height());
  xtest::Bediener b;
  ASSERT_TRUE(b.ok());
  b.Bild(schirm).save(QString::fromStdString(Bildpfad(englisch ? "x11_1024x600_en.png" : "x11_1024x600_de.png")));
}

INSTANTIATE_TEST_SUITE_P(Sprachen, XKleinerBildschirm, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return std::string(i.param == 2 ? "Englisch" : "Deutsch");
                         });

// With fonts at 120 dpi the logo keeps clear of the frame below it.
class XGrosseSchrift : public xtest::XFenster {
 protected:
  QSize Bildschirm() const override { return {1400, 900}; }
  void SetUp() override {
    if (QCoreApplication::instance())
      GTEST_SKIP() << "the font resolution is fixed when the toolkit starts: run this test alone";
    ::setenv("QT_FONT_DPI", "120", 1);
    XFenster::SetUp();
  }
};

TEST_F(XGrosseSchrift, DasLogoUeberdecktDieIstwerteNicht) {
  QMainWindow* mw = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* m = qobject_cast<QMainWindow*>(w); m && m->isVisible()) mw = m;
  ASSERT_NE(mw, nullptr);
  QWidget* logo = mw->findChild<QWidget*>(QStringLiteral("PICTURE"));
  QWidget* istwerte = mw->findChild<QWidget*>(QStringLiteral("DECORATION_4"));
  ASSERT_TRUE(logo && istwerte);
  const QRect l(logo->mapTo(mw, QPoint(0, 0)), logo->size());
  const QRect i(istwerte->mapTo(mw, QPoint(0, 0)), istwerte->size());
  EXPECT_FALSE(l.intersects(i));
  EXPECT_GE(mw->width(), mw->minimumSizeHint().width());
  xtest::Bediener b;
  ASSERT_TRUE(b.ok());
  const qreal dpr = mw->devicePixelRatioF();  // the X server counts device pixels
  const QPoint ecke = mw->mapToGlobal(QPoint(0, 0));
  b.Bild(QRect(QPoint(qRound(ecke.x() * dpr), qRound(ecke.y() * dpr)), mw->size() * dpr))
      .save(QString::fromStdString(Bildpfad("x11_120dpi_de.png")));
}

}  // namespace

// What the operator must know stays in view, on a real X server at the font
// resolution ctest sets (QT_FONT_DPI): a refused entry's reason, the actual
// values on a small screen, the reason a port is refused, how far a broken
// transfer got, and the keyboard after a menu closed.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QScrollArea>
#include <QScrollBar>

#include <cstdlib>
#include <string>
#include <vector>

#include "Com/Com.h"
#include "lauf.h"
#include "ser2net_harness.h"
#include "toolkit/toolkit_testing.h"
#include "x_fixture.h"
#include "zpk3xSteuerung/VerlaufFenster.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"

namespace {

using xtest::Bediener;

QMainWindow* Hauptfenster() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* mw = qobject_cast<QMainWindow*>(w); mw && mw->isVisible() && mw->findChild<QWidget*>("STROM1"))
      return mw;
  return nullptr;
}
template <class T = QWidget>
T* Teil(const char* name) {
  QMainWindow* mw = Hauptfenster();
  return mw ? mw->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}
// A widget's rectangle in the X server's pixels.
QRect Geraetepixel(const QWidget* w) {
  const qreal dpr = w->devicePixelRatioF();
  const QPoint o = w->mapToGlobal(QPoint(0, 0));
  return {qRound(o.x() * dpr), qRound(o.y() * dpr), qRound(w->width() * dpr), qRound(w->height() * dpr)};
}
// The part of `w` that its window shows: cut by every scroll area around it.
QRect Gezeigt(const QWidget* w) {
  QRect r(w->mapToGlobal(QPoint(0, 0)), w->size());
  for (const QWidget* a = w->parentWidget(); a; a = a->parentWidget())
    if (auto* s = qobject_cast<const QAbstractScrollArea*>(a))
      r &= QRect(s->viewport()->mapToGlobal(QPoint(0, 0)), s->viewport()->size());
  return r;
}
bool InScrollbereich(const QWidget* w) {
  for (const QWidget* a = w->parentWidget(); a; a = a->parentWidget())
    if (qobject_cast<const QAbstractScrollArea*>(a)) return true;
  return false;
}

class XSicht : public xtest::XFenster {
 protected:
  // Where to click a control: XTest speaks the server's pixels, which Qt
  // scales with the font resolution.
  static QPoint Ziel(const char* name) {
    QWidget* w = Teil(name);
    const qreal dpr = w ? w->devicePixelRatioF() : 1.0;
    const QPoint m = Mitte(name);
    return {qRound(m.x() * dpr), qRound(m.y() * dpr)};
  }
};

// "77" in Strom 2 while the continuous query runs: its answers clear the error
// area, but the reason stays written in a line of its own, whole, for the keyboard
// operator and the screen reader, until a good entry replaces it.
TEST_F(XSicht, AbgelehnteEingabeBleibtErklaert) {
  simtest::Simulator sim;
  ASSERT_TRUE(sim.ok());
  Verbinden(sim);
  const QPoint dauernd = Ziel("DAUERNDABFRAGEN"), strom2 = Ziel("STROM2");
  auto* zeile = Teil<QLabel>("ABLEHNUNG");
  ASSERT_NE(zeile, nullptr);
  Bedienen([&](Bediener& b) {
    b.Klicken(dauernd);
    b.Klicken(strom2);
    b.Taste("a", true);
    b.Tippen("77");
    b.Taste("Tab");
    // Refused, and a query answered after that has cleared the error area.
    EXPECT_TRUE(ImProgrammWarten([&] { return zeile->isVisible() && lauf::Text(MAINPANEL_FEHLERSTRING).empty(); }));
  }, 0);
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_DAUERNDABFRAGEN), 1);
  EXPECT_EQ(lauf::Text(MAINPANEL_FEHLERSTRING), "") << "the query's answers clear the error area";
  const std::string grund = zeile->text().toStdString();
  EXPECT_TRUE(zeile->isVisible());
  EXPECT_NE(grund.find("Strom 2 [A]: Eingabe abgelehnt: erlaubter Bereich"), std::string::npos) << grund;
  EXPECT_EQ(Teil("STROM2")->accessibleDescription().toStdString(), grund);
  // Whole: the wrapped text needs no more height than it has, and it lies on the screen.
  EXPECT_LE(zeile->heightForWidth(zeile->width()), zeile->height());
  EXPECT_EQ(Gezeigt(zeile), QRect(zeile->mapToGlobal(QPoint(0, 0)), zeile->size()));
  EXPECT_TRUE(QRect(QPoint(0, 0), Bildschirm()).contains(Geraetepixel(zeile)));

  const QPoint feld = Ziel("STROM2");
  Bedienen([&](Bediener& b) {
    b.Klicken(feld);
    b.Taste("a", true);
    b.Tippen("3");
    EXPECT_TRUE(Gedrueckt(b, "Tab"));
  }, 0);
  EXPECT_FALSE(zeile->isVisible()) << zeile->text().toStdString();
  EXPECT_EQ(Teil("STROM2")->accessibleDescription().toStdString(), "");
}

// A refused port says why on a click on the picture, in the window's language:
// a name with an unknown or broken prefix and a missing device are no device, a
// server that refuses says so in German.
TEST_F(XSicht, VerweigerterPortNenntDenGrund) {
  const std::string url = "tcp://127.0.0.1:" + std::to_string(nettest::FreePort());
  const std::string fehlt = Pfad("kein/geraet");
  const std::pair<std::string, std::string> faelle[] = {
      {"foo://127.0.0.1:2000", "foo://127.0.0.1:2000: Gerät nicht vorhanden"},
      {"tcp:/127.0.0.1:47299", "tcp:/127.0.0.1:47299: Gerät nicht vorhanden"},
      {fehlt, fehlt + ": Gerät nicht vorhanden"},
      {url, url + ": Verbindung abgewiesen"},
  };
  for (const auto& [name, grund] : faelle) {
    SCOPED_TRACE(name);
    ::setenv("ZPK3X_COM1", name.c_str(), 1);
    gCom.port = 1;
    ComPortOeffnen();
    ComEinstellungenAusStrukturInGui();
    ComFehlerSetzen(0);
    const QPoint bild = Mitte("COMPICTURERING");
    // Handled once the program has the click; the 700 ms after it are the pause
    // that keeps the next case's click from being a double click.
    Bedienen([&](Bediener& b) { EXPECT_TRUE(Bedient(b, bild)); }, 700);
    EXPECT_EQ(lauf::Text(MAINPANEL_FEHLERSTRING), "Fehler beim öffnen der seriellen Schnittstelle: " + grund);
    EXPECT_EQ(Teil("FEHLERSTRING")->toolTip().toStdString(), lauf::Text(MAINPANEL_FEHLERSTRING));
  }
  ::unsetenv("ZPK3X_COM1");
}

// "write all" broken off by the device server's end: the error area says
// which programs are stored.
TEST_F(XSicht, AbgebrochenesSchreibenSagtWieWeit) {
  simtest::SimOptions gemaechlich;  // at the line's pace, so the server ends within a frame
  gemaechlich.pace = true;
  simtest::Simulator sim(gemaechlich);
  nettest::Ser2net server(sim.ptyPath());
  ASSERT_TRUE(sim.ok() && server.ok());
  ::setenv("ZPK3X_COM1", server.rawUrl().c_str(), 1);
  gCom.port = 1;
  ASSERT_EQ(ComPortOeffnen(), 0);
  ComEinstellungenAusStrukturInGui();
  TestQueueGenericAnswer(2);  // "alle"
  const QPoint schreiben = Mitte("ZPK3SCHREIBEN");
  Bedienen([&](Bediener& b) {
    b.Klicken(schreiben);
    ASSERT_TRUE(AufRahmenWarten(sim, 3 * 11 + 4, 20000));  // in the fourth program
    server.kill();
    EXPECT_TRUE(ImProgrammWarten([] {
      return lauf::Text(MAINPANEL_FEHLERSTRING).find(": Programme 1 bis 3 gespeichert; Programm 4 ") != std::string::npos;
    }));
  }, 0);
  EXPECT_NE(lauf::Ganzzahl(MAINPANEL_FEHLERNUMMER), 0);
  const std::string text = lauf::Text(MAINPANEL_FEHLERSTRING);
  EXPECT_NE(text.find(": Programme 1 bis 3 gespeichert; Programm 4 "), std::string::npos) << text;
  ::unsetenv("ZPK3X_COM1");
}

// A menu opened with the mouse and closed with Escape gives the keyboard back to
// the field that had it: Tab then moves on at once, without more Escapes to
// leave the menu bar.
TEST_F(XSicht, NachDemMenuGehtTabWeiter) {
  const QPoint strom1 = Mitte("STROM1");
  QWidget* leiste = Hauptfenster()->menuWidget();
  ASSERT_NE(leiste, nullptr);
  const QPoint datei = leiste->mapToGlobal(QPoint(20, leiste->height() / 2));
  const auto fenster = static_cast<unsigned long>(Hauptfenster()->winId());
  Bedienen([&](Bediener& b) {
    b.Klicken(strom1);
    ASSERT_TRUE(ImProgrammWarten([] { return FokusIn("STROM1"); }));
    b.Klicken(datei);
    // Escape only once the menu is open and holds the keyboard, Tab only once
    // it is closed again, as an operator who sees the screen presses them.
    unsigned long popup = 0;
    ASSERT_TRUE(ImProgrammWarten([&] { return MenueOffen("MENUBAR_MENU", &popup); })) << "the menu opened";
    ASSERT_TRUE(xtest::WartenBis([&] { return b.Abgebildet(popup); }));
    ASSERT_TRUE(b.TastaturGegriffen()) << "the open menu holds the keyboard";
    b.Taste("Escape");
    ASSERT_TRUE(ImProgrammWarten([] { return QApplication::activePopupWidget() == nullptr; })) << "the menu closed";
    ASSERT_TRUE(xtest::WartenBis([&] { return !b.Abgebildet(popup) && b.HatFokus(fenster); }));
    b.Taste("Tab");
  }, 300);
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), "STROM2");
}

// The screen decides: where the window does not fit, only the program and
// parameter areas scroll, and what the operator watches stays whole on the
// screen; where it fits, nothing scrolls and every label's text is whole.
class XSchirm : public xtest::XFenster {
 protected:
  QSize Bildschirm() const override {
    const char* s = std::getenv("ZPK3X_TEST_SCHIRM");  // "1024x600"
    int b = 0, h = 0;
    if (s && std::sscanf(s, "%dx%d", &b, &h) == 2) return {b, h};
    return {1024, 600};
  }
};

TEST_F(XSchirm, WasDerBedienerBeobachtetBleibtGanz) {
  QMainWindow* mw = Hauptfenster();
  ASSERT_NE(mw, nullptr);
  const QRect schirm(QPoint(0, 0), Bildschirm());
  const QSize natuerlich = mw->sizeHint();
  const bool passt = mw->width() >= natuerlich.width() && mw->height() >= natuerlich.height();
  for (const char* name : {"DECORATION_4", "STROMIST", "SPANNUNGIST", "ABFRAGEN", "DAUERNDABFRAGEN", "VERLAUF",
                           "DECORATION_6", "STATUS0", "STATUS13", "STATUSINFO", "COMPICTURERING", "FEHLERLED",
                           "FEHLERSTRING", "FEHLERNUMMER"}) {
    SCOPED_TRACE(name);
    QWidget* w = Teil(name);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(InScrollbereich(w)) << "it does not scroll";
    EXPECT_EQ(Gezeigt(w), QRect(w->mapToGlobal(QPoint(0, 0)), w->size()));
    EXPECT_TRUE(schirm.contains(Geraetepixel(w)));
    EXPECT_TRUE(mw->rect().contains(QRect(w->mapTo(mw, QPoint(0, 0)), w->size())));
  }
  {
    Bediener b;
    const char* dpi = std::getenv("QT_FONT_DPI");
    b.Bild(b.MitRahmen(static_cast<unsigned long>(mw->winId()), Geraetepixel(mw)))
        .save(QString::fromStdString(Bildpfad("x11_fenster_" + std::to_string(schirm.width()) + "x" +
                                              std::to_string(schirm.height()) + "_" + (dpi ? dpi : "96") + "dpi.png")));
  }
  // The trend window opens where it leaves the query's switch and the error
  // line free, and where the screen has room, the actual values too.
  ASSERT_EQ(VerlaufOeffnen(), 0);
  Sichtbar(gVerlaufPanelHandle);
  QWidget* verlauf = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->findChild<QWidget*>(QStringLiteral("AUFZEICHNEN"))) verlauf = w;
  ASSERT_NE(verlauf, nullptr);
  {
    Bediener b;
    const QRect rahmen = b.MitRahmen(static_cast<unsigned long>(verlauf->winId()), Geraetepixel(verlauf));
    EXPECT_TRUE(schirm.contains(rahmen));
    std::vector<const char*> frei = {"DAUERNDABFRAGEN", "FEHLERSTRING", "FEHLERNUMMER"};
    if (schirm.width() >= 1366) frei.push_back("DECORATION_4");
    for (const char* name : frei) EXPECT_FALSE(rahmen.intersects(Geraetepixel(Teil(name)))) << name;
  }
  VerlaufBeenden();
  TestRunEvents(100);
  int balken = 0;
  for (QScrollBar* s : mw->findChildren<QScrollBar*>()) balken += s->isVisible();
  if (passt) {
    EXPECT_EQ(balken, 0) << "the window fits: nothing scrolls";
    for (QLabel* l : mw->findChildren<QLabel*>()) {
      if (!l->isVisible() || l->wordWrap() || l->text().isEmpty()) continue;
      for (const QString& zeile : l->text().split(QLatin1Char('\n')))
        EXPECT_LE(l->fontMetrics().horizontalAdvance(zeile), l->contentsRect().width())
            << l->objectName().toStdString() << ": " << zeile.toStdString();
    }
    return;
  }
  // Short of room: the program and parameter areas scroll, and the field the
  // keyboard reaches is brought into view.
  QWidget* feld = Teil("REGELGESCHWINDIGKEIT");
  ASSERT_TRUE(InScrollbereich(feld));
  EXPECT_TRUE(InScrollbereich(Teil("PARAMETERSATZAUSWAHL")));
  Teil("ZYKLEN")->setFocus();
  Bedienen([&](Bediener& b) { EXPECT_TRUE(Gedrueckt(b, "Tab")); }, 0);
  EXPECT_EQ(QApplication::focusWidget(), feld);
  const QRect ganz(feld->mapToGlobal(QPoint(0, 0)), feld->size());
  EXPECT_EQ(Gezeigt(feld), ganz) << "the focused field is in view: " << Gezeigt(feld).x() << "," << Gezeigt(feld).y()
                                 << " " << Gezeigt(feld).width() << "x" << Gezeigt(feld).height() << " of " << ganz.x()
                                 << "," << ganz.y() << " " << ganz.width() << "x" << ganz.height();
}

}  // namespace

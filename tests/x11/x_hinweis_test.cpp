// What keeps the operator informed on a real X server: a refused entry stays
// marked at its field while the continuous query clears the error area, and the
// keyboard follows the connection window that opens and goes back when it closes.
#include <QApplication>
#include <QColor>
#include <QWidget>

#include "Com/Com.h"
#include "lauf.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "x_fixture.h"
#include "zpk3xFunktionen/zpk3xFunktionen.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"

namespace {

using xtest::Bediener;

class XHinweis : public xtest::XFenster, public ::testing::WithParamInterface<int> {
 protected:
  static QWidget* Widget(const char* name) {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (auto* w = top->findChild<QWidget*>(QString::fromLatin1(name))) return w;
    return nullptr;
  }
  static std::string Markiert(int control) {
    std::string text;
    GetCtrlAttribute(gPanelHandle, control, ATTR_REFUSED_TEXT, &text);
    return text;
  }
  // The left edge of a field as the screen shows it, halfway down.
  static QPoint LinkerRand(const char* name) {
    QWidget* w = Widget(name);
    return w->mapToGlobal(QPoint(1, w->height() / 2));
  }
  static bool Rot(const QColor& c) { return c.red() > 180 && c.green() < 80 && c.blue() < 80; }
};

TEST_P(XHinweis, AblehnungBleibtAmFeldWaehrendDesDauerndenAbfragens) {
  const bool englisch = GetParam() == 2;
  Sprache(GetParam());
  Sichtbar(gPanelHandle);
  simtest::Simulator sim;
  ASSERT_NO_FATAL_FAILURE(Verbinden(sim));
  const double spannung = gPar[gParIndex].spannung, zeit2 = gPar[gParIndex].zeit2;
  const QPoint dauernd = Mitte("DAUERNDABFRAGEN"), feld = Mitte("SPANNUNG"), zeit = Mitte("ZEIT2");
  const QPoint rand = LinkerRand("SPANNUNG");
  QColor nachher;
  Bedienen([&](Bediener& b) {
    b.Klicken(dauernd);
    ASSERT_TRUE(AufRahmenWarten(sim, 3)) << "the query runs";
    ASSERT_TRUE(FeldWaehlen(b, feld, "SPANNUNG"));
    b.Tippen(englisch ? "12.25" : "12,25");
    b.Taste("Tab");
    ASSERT_TRUE(ImProgrammWarten([] { return !Markiert(MAINPANEL_SPANNUNG).empty(); })) << "refused";
    // Two ticks of the query later (each clears the error area) the mark stays.
    ASSERT_TRUE(AufRahmenWarten(sim, sim.frames().size() + 6)) << "the query went on meanwhile";
    ASSERT_TRUE(ImProgrammWarten(NimmtEingabenAn));
    nachher = QColor(b.Bild(QRect(rand, QSize(1, 1))).pixel(0, 0));
    // Invalid text, then the Up key: refused, not thrown away.
    ASSERT_TRUE(FeldWaehlen(b, zeit, "ZEIT2"));
    b.Tippen("12x");
    b.Taste("Up");
    ASSERT_TRUE(ImProgrammWarten([] { return !Markiert(MAINPANEL_ZEIT2).empty(); })) << "refused";
    b.Klicken(dauernd);
    ASSERT_TRUE(ImProgrammWarten([] { return lauf::Ganzzahl(MAINPANEL_DAUERNDABFRAGEN) == 0; })) << "the query ended";
  }, 0);
  // The error area follows its rule: a successful tick cleared it.
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERNUMMER), 0);
  const std::string text = Markiert(MAINPANEL_SPANNUNG);
  EXPECT_NE(text.find(englisch ? "at most 1 decimal, range 9.0 to 53.0" : "höchstens 1 Nachkommastelle, Bereich 9,0 bis 53,0"),
            std::string::npos)
      << text;
  EXPECT_EQ(Widget("SPANNUNG")->toolTip().toStdString(), text);
  EXPECT_TRUE(Rot(nachher)) << "the field's frame on the screen 2.5 s later: " << nachher.name().toStdString();
  EXPECT_DOUBLE_EQ(gPar[gParIndex].spannung, spannung);
  EXPECT_NE(Markiert(MAINPANEL_ZEIT2).find(englisch ? "digits only" : "nur Ziffern"), std::string::npos)
      << Markiert(MAINPANEL_ZEIT2);
  EXPECT_DOUBLE_EQ(gPar[gParIndex].zeit2, zeit2) << "the step did not start from the committed value";

  // With the query off, the error area keeps the refusal whole, as its tooltip.
  Bedienen([&](Bediener& b) {
    ASSERT_TRUE(FeldWaehlen(b, feld, "SPANNUNG"));
    b.Tippen("99");
    b.Taste("Tab");
    ASSERT_TRUE(ImProgrammWarten([] { return !FokusIn("SPANNUNG"); })) << "Tab was handled";
  }, 0);
  const std::string meldung = lauf::Text(MAINPANEL_FEHLERSTRING);
  EXPECT_NE(meldung.find(englisch ? "range 9.0 to 53.0" : "Bereich 9,0 bis 53,0"), std::string::npos) << meldung;
  EXPECT_EQ(Widget("FEHLERSTRING")->toolTip().toStdString(), meldung);

  // The next valid entry takes the field's mark away; a command that uses the
  // table takes the others'.
  Bedienen([&](Bediener& b) {
    ASSERT_TRUE(FeldWaehlen(b, feld, "SPANNUNG"));
    b.Tippen("20");
    b.Taste("Tab");
    ASSERT_TRUE(ImProgrammWarten([] { return !FokusIn("SPANNUNG"); })) << "Tab was handled";
    // Drawn by the time the screen shows it: looked at until then.
    xtest::WartenBis([&] { return !Rot(nachher = QColor(b.Bild(QRect(rand, QSize(1, 1))).pixel(0, 0))); },
                     std::chrono::seconds(10));
  }, 0);
  EXPECT_EQ(Markiert(MAINPANEL_SPANNUNG), "");
  EXPECT_FALSE(Rot(nachher)) << nachher.name().toStdString();
  EXPECT_NE(Markiert(MAINPANEL_ZEIT2), "");
  TestQueueGenericAnswer(3);  // "abbrechen"
  TestOperatorClick(gPanelHandle, MAINPANEL_ZPK3SCHREIBEN);
  EXPECT_EQ(Markiert(MAINPANEL_ZEIT2), "");

  // A long curve name, cut in the closed list, is whole in its tooltip.
  SetCtrlVal(gPanelHandle, MAINPANEL_STROMKURVE, 10);
  EXPECT_EQ(Widget("STROMKURVE")->toolTip().toStdString(),
            englisch ? "10 - Triangle regulated,  Freq. man. setable" : "10 - Dreieck geregelt, Freq. man. einstellbar");
}

// The connection window opened from the menu takes the keyboard at once; Escape
// closes it, and the keyboard goes back to the button it was on.
TEST_P(XHinweis, DieTastaturFolgtDemVerbindungsfenster) {
  Sprache(GetParam());
  Sichtbar(gPanelHandle);
  simtest::Simulator sim;
  ASSERT_NO_FATAL_FAILURE(Verbinden(sim));
  const char adresse = gCom.adresse;
  const QPoint menu = MenueMitte("MENUBAR_EINSTELLUNGEN");
  ASSERT_FALSE(menu.isNull());
  const QPoint abfragen = Mitte("ABFRAGEN");
  Bedienen([&](Bediener& b) {
    b.Klicken(abfragen);  // the button under the window now has the keyboard
    ASSERT_TRUE(AufRahmenWarten(sim, 3));
    // The query is an operation: a click made before its end is discarded.
    ASSERT_TRUE(ImProgrammWarten(NimmtEingabenAn));
    b.Klicken(menu);
    // Keys only once the menu is open and holds the keyboard, as an operator
    // presses them after seeing it.
    unsigned long popup = 0;
    ASSERT_TRUE(ImProgrammWarten([&] { return MenueOffen("MENUBAR_EINSTELLUNGEN", &popup); })) << "the menu opened";
    ASSERT_TRUE(xtest::WartenBis([&] { return b.Abgebildet(popup); }));
    ASSERT_TRUE(b.TastaturGegriffen()) << "the open menu holds the keyboard";
    b.Taste("Down");  // "Com Einstellung", the menu's first item
    b.Taste("Return");
    unsigned long fenster = 0;
    ASSERT_TRUE(ImProgrammWarten([&] { return NimmtEingabenAn() && FensterAktiv("ADRESSE", &fenster); }))
        << "the connection window opened and is active";
    ASSERT_TRUE(xtest::WartenBis([&] { return b.HatFokus(fenster); })) << "the X server gives it the keyboard";
    b.Taste("Down");  // meant for the window that opened
    // Keys are handled in order: once this one is, any query a key started has run.
    ImProgrammWarten([&] { return gCom.adresse != adresse; });
  }, 0);
  QWidget* fokus = QApplication::focusWidget();
  ASSERT_NE(fokus, nullptr);
  EXPECT_EQ(fokus->objectName().toStdString(), "ADRESSE");
  EXPECT_EQ(gCom.adresse, adresse + 1) << "the key reached the address list";
  EXPECT_EQ(sim.frames().size(), 3u) << "nothing reached the operator window";
  Bedienen([&](Bediener& b) {
    b.Taste("Escape");
    unsigned long haupt = 0;
    EXPECT_TRUE(ImProgrammWarten([&] { return TestPanelVisible(gCompanelHandle) == 0 && FensterAktiv("ABFRAGEN", &haupt); }))
        << "Escape closed the connection window";
    EXPECT_TRUE(xtest::WartenBis([&] { return b.HatFokus(haupt); })) << "the X server gives the keyboard back";
  }, 0);
  fokus = QApplication::focusWidget();
  ASSERT_NE(fokus, nullptr);
  EXPECT_EQ(fokus->objectName().toStdString(), "ABFRAGEN") << "the keyboard went back";
  // Space on the button it went back to: a query, now to the address chosen.
  Bedienen([&](Bediener& b) {
    b.Taste("space");
    EXPECT_TRUE(AufRahmenWarten(sim, 4));
  }, 0);
  const auto rahmen = sim.frames();
  ASSERT_GE(rahmen.size(), 4u);
  EXPECT_EQ(rahmen[3], std::string("#") + static_cast<char>(adresse + 1) + "C0R");
}

INSTANTIATE_TEST_SUITE_P(Sprachen, XHinweis, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return std::string(i.param == 2 ? "Englisch" : "Deutsch");
                         });

}  // namespace

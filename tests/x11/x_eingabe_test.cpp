// Numeric entries and the wheel on a real X server, typed and clicked through
// the server: an entry outside its field's range is refused whole (never
// shortened), the command clicked after it is not carried out, and the wheel
// changes only the focused field.
#include <QApplication>
#include <QLineEdit>
#include <QWidget>

#include "Com/Com.h"
#include "lauf.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "x_fixture.h"
#include "zpk3xFunktionen/zpk3xFunktionen.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

#include <vector>

namespace {

using xtest::Bediener;

class XEingabe : public xtest::XFenster, public ::testing::WithParamInterface<int> {
 protected:
  // Replaces the field's text as an operator does: click, select all, type.
  static void Eintippen(Bediener& b, QPoint feld, const std::string& text) {
    b.Klicken(feld);
    b.Taste("a", true);
    b.Tippen(text);
  }
  static QRect Fensterbild() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->findChild<QWidget*>(QStringLiteral("FREQUENZ")))
        return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
    return {};
  }
};

TEST_P(XEingabe, EintraegeAusserhalbDesBereichsWerdenAbgelehntUndDerKlickDanachWirktNicht) {
  const bool englisch = GetParam() == 2;
  Sprache(GetParam());
  Sichtbar(gPanelHandle);
  simtest::Simulator sim;
  ASSERT_NO_FATAL_FAILURE(Verbinden(sim));
  const ProgramRecord vorher = gPar[gParIndex];
  int programm = 0;
  GetCtrlVal(gPanelHandle, MAINPANEL_EINZUSTELLENDESPROG, &programm);
  const QPoint frequenz = Mitte("FREQUENZ"), strom1 = Mitte("STROM1"), nummer = Mitte("EINZUSTELLENDESPROG");
  const QPoint speichern = Mitte("PROGRAMMSPEICHERN"), schreiben = Mitte("ZPK3SCHREIBEN");
  const std::string abgelehnt = englisch ? "PWM-Frequency [Hz]: Entry refused: allowed range 25 to 10000"
                                        : "PWM-Frequenz [Hz]: Eingabe abgelehnt: erlaubter Bereich 25 bis 10000";
  std::string fehlerNachTab;
  QImage bild;
  Bediener* bediener = nullptr;
  Bedienen([&](Bediener& b) {
    bediener = &b;
    Eintippen(b, frequenz, "12000");
    b.Taste("Tab");
    Eintippen(b, strom1, "0,25");
    b.Taste("Tab");
    Eintippen(b, nummer, "17");
    b.Klicken(speichern);
    Eintippen(b, frequenz, "12000");
    b.Klicken(schreiben);
    // The click ends the entry, which is refused; looked at once the window says so.
    ImProgrammWarten([&] { return lauf::Text(MAINPANEL_FEHLERSTRING) == abgelehnt && !FokusIn("FREQUENZ"); });
    bild = b.Bild(Fensterbild());
  }, 300);
  EXPECT_TRUE(sim.frames().empty()) << "a refused entry sends nothing";
  EXPECT_TRUE(TestTakePopups().empty()) << "the write was not carried out";
  EXPECT_DOUBLE_EQ(gPar[gParIndex].frequenz, vorher.frequenz);
  EXPECT_DOUBLE_EQ(lauf::Zahl(MAINPANEL_FREQUENZ), vorher.frequenz) << "the field is back at its value";
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_EINZUSTELLENDESPROG), programm);
  // German takes the comma; English refuses it (never a thousands separator).
  EXPECT_DOUBLE_EQ(gPar[gParIndex].strom1, englisch ? vorher.strom1 : 0.25);
  EXPECT_DOUBLE_EQ(lauf::Zahl(MAINPANEL_STROM1), gPar[gParIndex].strom1);
  EXPECT_EQ(lauf::Text(MAINPANEL_FEHLERSTRING), abgelehnt);
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERLED), 1);
  ASSERT_FALSE(bild.isNull());
  bild.save(QString::fromStdString(Bildpfad(englisch ? "x11_refused_en.png" : "x11_refused_de.png")));
}

// Typed numbers stay exactly as typed in the field; on Tab they are taken exactly
// or refused whole, with the field's label in the message; the next valid entry
// clears the message; a click on a command after a refused entry sends nothing.
TEST_P(XEingabe, GetippteZahlenWerdenGenauGenommenOderAbgelehnt) {
  const bool englisch = GetParam() == 2;
  Sprache(GetParam());
  Sichtbar(gPanelHandle);
  simtest::Simulator sim;
  ASSERT_NO_FATAL_FAILURE(Verbinden(sim));
  struct Fall {
    const char* feld;
    double ProgramRecord::*wert;
    const char* getippt;
    double neu;  // 0: refused
  };
  const std::vector<Fall> faelle =
      englisch ? std::vector<Fall>{{"ZEIT1", &ProgramRecord::zeit1, "2,5", 0},
                                   {"ZEIT1", &ProgramRecord::zeit1, "2,500", 0},
                                   {"ZEIT1", &ProgramRecord::zeit1, "2 500", 0},
                                   {"STROM2", &ProgramRecord::strom2, "1.234,5", 0},
                                   {"STROM2", &ProgramRecord::strom2, "0.5.5", 0},
                                   {"ZEIT2", &ProgramRecord::zeit2, "2500", 2500}}
               : std::vector<Fall>{{"ZEIT1", &ProgramRecord::zeit1, "1.000", 0},
                                   {"ZEIT2", &ProgramRecord::zeit2, "12x3", 0},
                                   {"STROM2", &ProgramRecord::strom2, "1.234,5", 0},
                                   {"STROM2", &ProgramRecord::strom2, "0,5,5", 0},
                                   {"ZEIT2", &ProgramRecord::zeit2, "2500", 2500}};
  for (const Fall& f : faelle) {
    SCOPED_TRACE(f.getippt);
    const double vorher = gPar[gParIndex].*f.wert;
    const QPoint feld = Mitte(f.feld);
    Bedienen([&](Bediener& b) {
      Eintippen(b, feld, f.getippt);
      ImProgrammWarten([&] {
        auto* e = QApplication::focusWidget() ? QApplication::focusWidget()->findChild<QLineEdit*>() : nullptr;
        return e && e->text().toStdString() == f.getippt;
      });
    }, 0);
    auto* edit = QApplication::focusWidget() ? QApplication::focusWidget()->findChild<QLineEdit*>() : nullptr;
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text().toStdString(), f.getippt) << "shown as typed";
    // The next entry only once the window has dealt with this one, as an operator
    // types after seeing it.
    Bedienen([&](Bediener& b) {
      Gedrueckt(b, "Tab");
      ImProgrammWarten([&] { return !FokusIn(f.feld); });
    }, 0);
    EXPECT_DOUBLE_EQ(gPar[gParIndex].*f.wert, f.neu != 0 ? f.neu : vorher);
    const std::string meldung = lauf::Text(MAINPANEL_FEHLERSTRING);
    if (f.neu == 0) {
      std::string label;
      GetCtrlAttribute(gPanelHandle, MAINPANEL_STROM2, ATTR_LABEL_TEXT, &label);
      EXPECT_EQ(meldung.rfind(std::string(f.feld) == "STROM2" ? label : (englisch ? "Time " : "Zeit "), 0), 0u)
          << meldung;
      EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERLED), 1);
    } else {
      EXPECT_EQ(meldung, "") << "the valid entry ended the refusal's message";
      EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERLED), 0);
    }
  }
  const QPoint zeit2 = Mitte("ZEIT2"), speichern = Mitte("PROGRAMMSPEICHERN"), schreiben = Mitte("ZPK3SCHREIBEN");
  Bedienen([&](Bediener& b) {
    Eintippen(b, zeit2, "12x3");
    b.Klicken(speichern);
    Eintippen(b, zeit2, englisch ? "2,5" : "1.000");
    EXPECT_TRUE(Bedient(b, schreiben));
    // The 300 ms after it watch for a write that must not come.
  }, 300);
  EXPECT_TRUE(sim.frames().empty()) << "a refused entry sends nothing";
  EXPECT_TRUE(TestTakePopups().empty()) << "the write was not carried out";
  EXPECT_DOUBLE_EQ(gPar[gParIndex].zeit2, 2500);
}

// Two notches over an unfocused field or list change nothing; over the focused
// field they do.
TEST_P(XEingabe, DasRadWirktNurAufDasFokussierteFeld) {
  Sprache(GetParam());
  Sichtbar(gPanelHandle);
  const ProgramRecord vorher = gPar[gParIndex];
  const QPoint strom1 = Mitte("STROM1"), spannung = Mitte("SPANNUNG"), kurve = Mitte("STROMKURVE");
  Bedienen([&](Bediener& b) {
    b.Klicken(strom1);
    b.Rad(spannung, 2);
    b.Rad(kurve, -2);
    b.Rad(strom1, 1);
    ImProgrammWarten([&] { return gPar[gParIndex].strom1 != vorher.strom1; });
  }, 300);
  EXPECT_DOUBLE_EQ(gPar[gParIndex].spannung, vorher.spannung);
  EXPECT_EQ(gPar[gParIndex].stromkurve, vorher.stromkurve);
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_STROMKURVE), vorher.stromkurve);
  EXPECT_GT(gPar[gParIndex].strom1, vorher.strom1) << "the focused field takes the wheel";
}

INSTANTIATE_TEST_SUITE_P(Sprachen, XEingabe, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return std::string(i.param == 2 ? "Englisch" : "Deutsch");
                         });

}  // namespace

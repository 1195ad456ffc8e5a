// The trend window in the running program: fed by the real queries against the
// simulator, zoom, pan and cursor, recording through the window, its settings
// file beside an unchanged configuration, and pictures of both editions.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <chrono>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <csignal>
#include <filesystem>
#include <string>

#include "Com/Com.h"
#include "zpk3xSteuerung/VerlaufFenster.h"
#include "lauf.h"
#include "sim_harness.h"
#include "support_ui/ui_fixture.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_graph.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace {

class VerlaufFenster : public uitest::UiTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(uitest::ToolkitStarten());
    SteuerungCallbacksRegistrieren();
    VerlaufCallbacksRegistrieren();
    UiTest::SetUp();
  }
  void TearDown() override {
    VerlaufBeenden();
    UiTest::TearDown();
  }
  void Oeffnen() {
    ASSERT_EQ(TestOperatorMenu(gPanelHandle, MENUBAR_EINSTELLUNGEN_VERLAUF), 0);
    ASSERT_GE(gVerlaufPanelHandle, 0);
    ASSERT_TRUE(TestPanelVisible(gVerlaufPanelHandle));
  }
  static int Anzahl() { return static_cast<int>(VerlaufDatenLesen().anzahl); }
  static const VerlaufProbe& Letzte() { return VerlaufProbeNr(&VerlaufDatenLesen(), VerlaufDatenLesen().anzahl - 1); }
  static void Bereich(double* von, double* bis) {
    ASSERT_EQ(GetGraphTimeRange(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, von, bis), 0);
  }
};

TEST_F(VerlaufFenster, DauerndesAbfragenFuettertDasFensterMitZoomSchwenkUndCursor) {
  simtest::Simulator sim;
  Verbinden(sim);
  sim.control("value C0R 1.250");
  sim.control("value V0R 23.5");
  sim.control("status 300");
  Oeffnen();
  ASSERT_EQ(TestOperatorClick(gPanelHandle, MAINPANEL_DAUERNDABFRAGEN), 0);
  TestRunEvents(1800);
  ASSERT_EQ(TestOperatorClick(gPanelHandle, MAINPANEL_DAUERNDABFRAGEN), 0);
  ASSERT_GE(Anzahl(), 3);
  EXPECT_EQ(Letzte().fehler, 0);
  EXPECT_DOUBLE_EQ(Letzte().strom, 1.25);
  EXPECT_DOUBLE_EQ(Letzte().spannung, 23.5);
  EXPECT_EQ(Letzte().status, 0x300);
  // Following: the axis ends in the pixel column of the newest sample and shows
  // the chosen ten minutes.
  double von = 0, bis = 0;
  Bereich(&von, &bis);
  int pixel = 0;
  ASSERT_EQ(GetGraphPlotWidth(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, &pixel), 0);
  EXPECT_GE(bis, static_cast<double>(Letzte().zeitMs));
  EXPECT_LT(bis - static_cast<double>(Letzte().zeitMs), 600000.0 / pixel);
  EXPECT_DOUBLE_EQ(bis - von, 600000.0);

  // The wheel zooms about the mouse and stops following; a drag pans.
  ASSERT_EQ(TestOperatorWheel(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, 0.5, 3), 0);
  double von2 = 0, bis2 = 0;
  Bereich(&von2, &bis2);
  EXPECT_NEAR(bis2 - von2, 600000.0 * 0.512, 1.0);
  EXPECT_NEAR((von2 + bis2) / 2, (von + bis) / 2, 2000.0);
  EXPECT_EQ(uitest::Ganzzahl(VERLAUFPANEL_FOLGEN, gVerlaufPanelHandle), 0);
  ASSERT_EQ(TestOperatorDrag(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, 0.5, 0.75), 0);
  double von3 = 0, bis3 = 0;
  Bereich(&von3, &bis3);
  EXPECT_NEAR(von2 - von3, (bis2 - von2) * 0.25, (bis2 - von2) * 0.01);
  EXPECT_NEAR(bis3 - von3, bis2 - von2, 1.0);
  // A query while paused leaves the axis where the operator put it.
  ASSERT_EQ(TestOperatorClick(gPanelHandle, MAINPANEL_ABFRAGEN), 0);
  double von4 = 0, bis4 = 0;
  Bereich(&von4, &bis4);
  EXPECT_EQ(von4, von3);

  ASSERT_EQ(TestOperatorHover(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, 0.5), 0);
  double t = 0;
  EXPECT_EQ(GetGraphCursor(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, &t), 1);
  EXPECT_NEAR(t, (von3 + bis3) / 2, (bis3 - von3) * 0.01);

  // Following again: the time window ring puts the axis back on the newest values.
  ASSERT_EQ(TestOperatorSetValue(gVerlaufPanelHandle, VERLAUFPANEL_ZEITFENSTER, 60), 0);
  Bereich(&von, &bis);
  EXPECT_DOUBLE_EQ(bis - von, 60000.0);
  EXPECT_EQ(uitest::Ganzzahl(VERLAUFPANEL_FOLGEN, gVerlaufPanelHandle), 1);

  // A picture of the plot; one that cannot be written is said in a popup.
  TestPopupAutomation(true);
  TestQueueFileAnswer(VAL_NEW_FILE_SELECTED, Pfad("bild.png"));
  ASSERT_EQ(TestOperatorClick(gVerlaufPanelHandle, VERLAUFPANEL_BILD), 0);
  EXPECT_EQ(lauf::DateiLesen(Pfad("bild.png")).substr(0, 8), "\x89PNG\r\n\x1a\n");
  TestQueueFileAnswer(VAL_NEW_FILE_SELECTED, Pfad("fehlt/bild.png"));
  ASSERT_EQ(TestOperatorClick(gVerlaufPanelHandle, VERLAUFPANEL_BILD), 0);
  int meldungen = 0;
  for (const TestPopupRecord& p : TestTakePopups()) meldungen += p.kind == 1;
  EXPECT_EQ(meldungen, 1);
}

TEST_F(VerlaufFenster, AufzeichnungUeberDasFensterUndEinFehlschlagendesSchreiben) {
  simtest::Simulator sim;
  Verbinden(sim);
  sim.control("value C0R 0.842");
  sim.control("value V0R 24.3");
  sim.control("status 300");
  Oeffnen();
  TestPopupAutomation(true);
  const std::string pfad = Pfad("lauf.csv");
  TestQueueFileAnswer(VAL_NEW_FILE_SELECTED, pfad);
  ASSERT_EQ(TestOperatorClick(gVerlaufPanelHandle, VERLAUFPANEL_AUFZEICHNEN), 0);
  EXPECT_EQ(uitest::Text(VERLAUFPANEL_DATEI, gVerlaufPanelHandle), pfad);
  int gedimmt = 0;
  GetCtrlAttribute(gVerlaufPanelHandle, VERLAUFPANEL_AUFZEICHNEN, ATTR_DIMMED, &gedimmt);
  EXPECT_EQ(gedimmt, 1);
  ASSERT_EQ(TestOperatorClick(gPanelHandle, MAINPANEL_ABFRAGEN), 0);
  sim.control("fault nak C0R");
  ASSERT_EQ(TestOperatorClick(gPanelHandle, MAINPANEL_ABFRAGEN), 0);
  sim.control("fault none");
  sim.control("value C0R 0.842");
  sim.control("value V0R 24.3");
  ASSERT_EQ(TestOperatorClick(gPanelHandle, MAINPANEL_ABFRAGEN), 0);
  // Clearing empties the plot, not the recording.
  ASSERT_EQ(TestOperatorClick(gVerlaufPanelHandle, VERLAUFPANEL_LEEREN), 0);
  EXPECT_EQ(Anzahl(), 0);
  ASSERT_EQ(TestOperatorClick(gPanelHandle, MAINPANEL_ABFRAGEN), 0);
  ASSERT_EQ(TestOperatorClick(gVerlaufPanelHandle, VERLAUFPANEL_AUFZEICHNUNGSTOPP), 0);
  ASSERT_EQ(TestOperatorClick(gPanelHandle, MAINPANEL_ABFRAGEN), 0);  // no longer recorded
  EXPECT_EQ(uitest::Text(VERLAUFPANEL_DATEI, gVerlaufPanelHandle), "");

  const std::string inhalt = lauf::DateiLesen(pfad);
  std::vector<std::string> zeilen;
  for (std::size_t a = 0, e; (e = inhalt.find('\n', a)) != std::string::npos; a = e + 1)
    zeilen.push_back(inhalt.substr(a, e - a));
  ASSERT_EQ(zeilen.size(), 5u) << inhalt;
  EXPECT_EQ(zeilen[0], "time,seconds,current_A,voltage_V,status,status_bits,error");
  const std::string gut = ",0.842,24.3,0x0300,\"Prozess wurde gestartet|Programm aktiv\",0";
  EXPECT_EQ(zeilen[1].substr(29), ",0.000" + gut);
  EXPECT_NE(zeilen[2].find(",,,,,402"), std::string::npos) << zeilen[2];
  EXPECT_EQ(zeilen[3].substr(zeilen[3].size() - gut.size()), gut);
  EXPECT_EQ(zeilen[4].substr(zeilen[4].size() - gut.size()), gut);
  const auto meldungen = [] {
    std::vector<TestPopupRecord> m;
    for (const TestPopupRecord& p : TestTakePopups())
      if (p.kind == 1) m.push_back(p);
    return m;
  };
  EXPECT_TRUE(meldungen().empty());

  // A file that stops growing: the recording ends, the error shows once.
  TestQueueFileAnswer(VAL_NEW_FILE_SELECTED, Pfad("voll.csv"));
  ASSERT_EQ(TestOperatorClick(gVerlaufPanelHandle, VERLAUFPANEL_AUFZEICHNEN), 0);
  rlimit alt{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &alt), 0);
  auto* altSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit eng = alt;
  eng.rlim_cur = 200;  // the header and one line
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &eng), 0);
  for (int i = 0; i < 4; ++i) TestOperatorClick(gPanelHandle, MAINPANEL_ABFRAGEN);
  setrlimit(RLIMIT_FSIZE, &alt);
  std::signal(SIGXFSZ, altSignal);
  const auto popups = meldungen();
  ASSERT_EQ(popups.size(), 1u);
  EXPECT_NE(popups[0].message.find("Fehler beim Schreiben auf Datei"), std::string::npos) << popups[0].message;
  GetCtrlAttribute(gVerlaufPanelHandle, VERLAUFPANEL_AUFZEICHNEN, ATTR_DIMMED, &gedimmt);
  EXPECT_EQ(gedimmt, 0);
  EXPECT_EQ(uitest::Text(VERLAUFPANEL_DATEI, gVerlaufPanelHandle), "");
  EXPECT_EQ(Anzahl(), 6);  // the course itself kept every query since the clearing
}

std::int64_t gUhrMs = 1796648601500;
std::int64_t TestUhr() { return gUhrMs; }

// What the screen shows after many updates that each painted only a strip is
// what a full painting of the window shows.
TEST_F(VerlaufFenster, TeilweisesNeuzeichnenGleichtDemGanzen) {
  VerlaufUhrSetzen(TestUhr);
  Oeffnen();
  ASSERT_EQ(TestOperatorSetValue(gVerlaufPanelHandle, VERLAUFPANEL_ZEITFENSTER, 0), 0);
  const auto abfragen = [](int von, int bis) {
    for (int i = von; i < bis; ++i) {
      gUhrMs += 500;
      if (i == 250) VerlaufAbfrage(-403101, 0, 0, 0);
      else VerlaufAbfrage(0, 1.0 + std::sin(i * 0.1), 20 + (i % 50) * 0.1, i > 100 ? 0x300 : 0);
      TestRunEvents(0);
    }
  };
  abfragen(0, 100);
  // Zoomed out and held: the axes stay, each new value changes a strip only.
  ASSERT_EQ(TestOperatorWheel(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, 0.0, -8), 0);
  TestRunEvents(0);
  abfragen(100, 400);
  TestRunEvents(20);
  QWidget* fenster = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == QLatin1String("VERLAUFPANEL")) fenster = w;
  ASSERT_NE(fenster, nullptr);
  const QImage gezeigt = fenster->screen()->grabWindow(fenster->winId()).toImage().convertToFormat(QImage::Format_RGB32);
  const QImage ganz = fenster->grab().toImage().convertToFormat(QImage::Format_RGB32);
  VerlaufUhrSetzen(nullptr);
  ASSERT_EQ(gezeigt.size(), ganz.size());
  EXPECT_TRUE(gezeigt == ganz);
  if (!(gezeigt == ganz)) {
    gezeigt.save(QString::fromUtf8(ZPK3X_BILDER) + "/teilweise_gezeigt.png");
    ganz.save(QString::fromUtf8(ZPK3X_BILDER) + "/teilweise_ganz.png");
  }
}

// Two cycles of a triangle with a failed query during the first, started and ended
// marked; pictures of both editions in the build folder.
TEST_F(VerlaufFenster, BilderNachZweiZyklen) {
  for (int sprache : {1, 2}) {
    SCOPED_TRACE(sprache);
    if (sprache == 2) {
      VerlaufBeenden();
      Sprache(2);
    }
    simtest::Simulator sim;
    Verbinden(sim);
    sim.control("program 0 5 0.5 3.5 600 400 100 24 2 50 0");
    Oeffnen();
    ASSERT_EQ(TestOperatorSetValue(gVerlaufPanelHandle, VERLAUFPANEL_ZEITFENSTER, 0), 0);
    SetPanelSize(gVerlaufPanelHandle, 900, 520);
    const auto abfragen = [](int ms) {
      const auto ende = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
      while (std::chrono::steady_clock::now() < ende) {
        TestOperatorClick(gPanelHandle, MAINPANEL_ABFRAGEN);
        TestRunEvents(40);
      }
    };
    abfragen(300);
    ASSERT_EQ(TestOperatorClick(gPanelHandle, MAINPANEL_ZPK3START), 0);
    abfragen(700);
    sim.control("fault nak V0R");
    TestOperatorClick(gPanelHandle, MAINPANEL_ABFRAGEN);
    sim.control("fault none");
    TestRunEvents(150);  // the next query comes a while later, as a tick would
    abfragen(1700);      // the second cycle ends 2 s after the start
    const VerlaufSpeicher& d = VerlaufDatenLesen();
    int fehl = 0;
    for (std::size_t i = 0; i < d.anzahl; ++i) fehl += VerlaufProbeNr(&d, i).fehler != 0;
    EXPECT_EQ(fehl, 1);
    ASSERT_EQ(d.marken.size(), 2u);
    EXPECT_EQ(d.marken[0].bit, 0x100);
    EXPECT_EQ(d.marken[1].bit, 0x800);
    EXPECT_EQ(Letzte().status & 0x900, 0x900);
    TestOperatorHover(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, 0.35);
    TestRunEvents(50);
    const std::string bild = std::string(ZPK3X_BILDER) + (sprache == 2 ? "/verlauf_en.png" : "/verlauf_de.png");
    EXPECT_EQ(TestGrabPanel(gVerlaufPanelHandle, bild.c_str()), 0);
  }
}

// ---- axes, marks and points ----

// Local wall-clock milliseconds of the day.
std::int64_t TagesMs(double t) {
  const std::time_t s = static_cast<std::time_t>(std::floor(t / 1000));
  std::tm lokal{};
  localtime_r(&s, &lokal);
  return (lokal.tm_hour * 3600 + lokal.tm_min * 60 + lokal.tm_sec) * 1000LL +
         static_cast<std::int64_t>(t - static_cast<double>(s) * 1000);
}

std::string Uhrzeit(double t, const char* format) {
  const std::time_t s = static_cast<std::time_t>(std::floor(t / 1000));
  std::tm lokal{};
  localtime_r(&s, &lokal);
  char text[32];
  std::strftime(text, sizeof text, format, &lokal);
  return text;
}

// For every zoom level the time axis is divided at round instants of the
// clock (a step that divides the next larger unit), labelled as such.
TEST_F(VerlaufFenster, ZeitachseTeiltAnRundenZeitpunkten) {
  Oeffnen();
  SetPanelSize(gVerlaufPanelHandle, 900, 520);
  TestRunEvents(20);
  const double start = 1796648950932.0;  // an odd instant, as a real query's
  for (double spanne : {10e3, 60e3, 600e3, 3600e3, 86400e3}) {
    SCOPED_TRACE(spanne);
    ASSERT_EQ(SetGraphTimeRange(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, start, start + spanne), 0);
    double t[100];
    std::string text[100];
    const int n = GetGraphTimeTicks(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, t, text, 100);
    ASSERT_GE(n, 4);
    EXPECT_LE(n, 16);
    const double schritt = t[1] - t[0];
    const double einheit = schritt < 60e3 ? 60e3 : schritt < 3600e3 ? 3600e3 : 86400e3;
    EXPECT_EQ(std::fmod(einheit, schritt), 0.0) << schritt;
    for (int i = 0; i < n; ++i) {
      EXPECT_GE(t[i], start);
      EXPECT_LE(t[i], start + spanne);
      if (i > 0) {
        EXPECT_EQ(t[i] - t[i - 1], schritt);
      }
      EXPECT_EQ(TagesMs(t[i]) % static_cast<std::int64_t>(schritt), 0) << text[i];
      const bool mitternacht = TagesMs(t[i]) == 0 && schritt >= 60e3;
      EXPECT_EQ(text[i], Uhrzeit(t[i], mitternacht ? "%d.%m." : schritt < 60e3 ? "%H:%M:%S" : "%H:%M"));
    }
    EXPECT_GT(t[0] - start, -1.0);
    EXPECT_LE(t[0] - start, schritt);  // the first round instant of the range is used
  }
}

// Status marks 2 s apart in the ten-minute view, and a burst of them: no two
// labels are drawn over each other; two close ones are stacked and stay legible.
// A single query after a gap is more than a pixel. Pictures of both editions.
TEST_F(VerlaufFenster, NaheMarkenUndEinzelnerPunkt) {
  const auto ueberlappen = [](const GraphLabelBox& a, const GraphLabelBox& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
  };
  const auto beschriftungen = [] {
    std::vector<GraphLabelBox> v(64);
    v.resize(static_cast<std::size_t>(GetGraphMarkLabels(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, v.data(), 64)));
    return v;
  };
  VerlaufUhrSetzen(TestUhr);
  for (int sprache : {1, 2}) {
    SCOPED_TRACE(sprache);
    if (sprache == 2) {
      VerlaufBeenden();
      Sprache(2);
    }
    gUhrMs = 1796648601500;
    Oeffnen();
    SetPanelSize(gVerlaufPanelHandle, 900, 520);
    ASSERT_EQ(TestOperatorSetValue(gVerlaufPanelHandle, VERLAUFPANEL_ZEITFENSTER, 600), 0);
    for (int i = 0; i < 480; ++i) {
      const int status = i < 200 ? 0 : i < 204 ? 0x100 : 0x900;  // started, ended 2 s later
      VerlaufAbfrage(0, 1.0 + 0.5 * std::sin(i * 0.05), 24.0 + (i % 40) * 0.1, status);
      gUhrMs += 500;
    }
    VerlaufAbfrage(-403101, 0, 0, 0);  // the continuous query failed,
    gUhrMs += 60000;                   // and a minute later one click on "abfragen"
    VerlaufAbfrage(0, 3.0, 30.0, 0x900);
    gUhrMs += 20000;
    VerlaufNeuzeichnen();
    TestRunEvents(20);
    const std::vector<GraphLabelBox> zwei = beschriftungen();
    ASSERT_EQ(zwei.size(), 2u);
    EXPECT_FALSE(ueberlappen(zwei[0], zwei[1]));
    const std::string gestartet = sprache == 2 ? "Process has been started" : "Prozess wurde gestartet";
    EXPECT_EQ(zwei[0].text, gestartet);
    // The second keeps what tells it from the first, not the words they share.
    EXPECT_NE(zwei[1].text.find(sprache == 2 ? "ended" : "abgeschlossen"), std::string::npos) << zwei[1].text;
    const std::string bild = std::string(ZPK3X_BILDER) + (sprache == 2 ? "/verlauf_marken_en.png" : "/verlauf_marken_de.png");
    EXPECT_EQ(TestGrabPanel(gVerlaufPanelHandle, bild.c_str()), 0);

    // The lone point, alone in the middle of the shown range: its markers have
    // more than a pixel of the curves' colours (legend and axes lie outside).
    ASSERT_EQ(TestOperatorClick(gVerlaufPanelHandle, VERLAUFPANEL_FOLGEN), 0);  // hold the axis
    ASSERT_EQ(SetGraphTimeRange(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, gUhrMs - 40000.0, gUhrMs + 0.0), 0);
    VerlaufNeuzeichnen();
    const std::string punkt = std::string(ZPK3X_BILDER) + "/verlauf_punkt.png";
    ASSERT_EQ(SaveCtrlDisplayToFile(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, punkt.c_str()), 0);
    const QImage b = QImage(QString::fromStdString(punkt)).convertToFormat(QImage::Format_RGB32);
    int strompixel = 0;
    for (int y = b.height() / 4; y < b.height() * 85 / 100; ++y)
      for (int x = b.width() * 3 / 10; x < b.width() * 7 / 10; ++x) {
        const QRgb farbe = b.pixel(x, y) & 0xFFFFFF;
        strompixel += farbe == 0x1F5FBF || farbe == 0xC02020;
      }
    EXPECT_GE(strompixel, 9);

    // A burst of marks within a second: still nothing drawn over anything.
    ASSERT_EQ(TestOperatorClick(gVerlaufPanelHandle, VERLAUFPANEL_FOLGEN), 0);
    gUhrMs += 60000;
    for (int i = 0; i < 12; ++i) {
      VerlaufAbfrage(0, 1.0, 24.0, (i % 2) != 0 ? 0x2B1B : 0);
      gUhrMs += 80;
    }
    VerlaufNeuzeichnen();
    const std::vector<GraphLabelBox> viele = beschriftungen();
    ASSERT_FALSE(viele.empty());
    std::string alle;
    for (const GraphLabelBox& l : viele) alle += l.text + "|";
    // Shortened or not, the labels still tell the marks apart.
    EXPECT_NE(alle.find(sprache == 2 ? "nceld" : "brochen"), std::string::npos) << alle;
    for (std::size_t i = 0; i < viele.size(); ++i)
      for (std::size_t j = i + 1; j < viele.size(); ++j) EXPECT_FALSE(ueberlappen(viele[i], viele[j])) << i << " " << j;
  }
  VerlaufUhrSetzen(nullptr);
}

// Readings of 0 A and 0 V lie on the axis' foot and are still drawn: forty
// answered queries at zero are no gap.
TEST_F(VerlaufFenster, NullwerteSindZuSehen) {
  VerlaufUhrSetzen(TestUhr);
  gUhrMs = 1796648601500;
  Oeffnen();
  SetPanelSize(gVerlaufPanelHandle, 900, 520);
  ASSERT_EQ(TestOperatorSetValue(gVerlaufPanelHandle, VERLAUFPANEL_ZEITFENSTER, 60), 0);
  for (int i = 0; i < 40; ++i, gUhrMs += 500) VerlaufAbfrage(0, 0.0, 0.0, 0);
  VerlaufNeuzeichnen();
  const std::string pfad = std::string(ZPK3X_BILDER) + "/verlauf_null.png";
  ASSERT_EQ(SaveCtrlDisplayToFile(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, pfad.c_str()), 0);
  const QImage b = QImage(QString::fromStdString(pfad)).convertToFormat(QImage::Format_RGB32);
  // Columns of the plot with a pixel of either curve's colour.
  int spalten = 0;
  for (int x = 0; x < b.width(); ++x) {
    bool farbig = false;
    for (int y = 0; y < b.height() && !farbig; ++y) {
      const QRgb farbe = b.pixel(x, y) & 0xFFFFFF;
      farbig = farbe == 0x1F5FBF || farbe == 0xC02020;
    }
    spalten += farbig;
  }
  // 20 s of 60 s across the plot: about a third of its width.
  EXPECT_GE(spalten, b.width() / 5) << spalten << " of " << b.width();
  // The current's line shows under the voltage's on the same row.
  GraphLabelBox plot{};
  ASSERT_EQ(GetGraphPlotRect(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, &plot), 0);
  int strom = 0, spannung = 0;
  for (int x = static_cast<int>(plot.left); x < static_cast<int>(plot.right); ++x) {
    bool s = false, u = false;
    for (int y = static_cast<int>(plot.top); y < static_cast<int>(plot.bottom); ++y) {
      s |= (b.pixel(x, y) & 0xFFFFFF) == 0x1F5FBF;
      u |= (b.pixel(x, y) & 0xFFFFFF) == 0xC02020;
    }
    strom += s;
    spannung += u;
  }
  EXPECT_GE(strom, spannung / 4) << strom << " columns of current, " << spannung << " of voltage";
  EXPECT_GE(spannung, b.width() / 8);
  VerlaufUhrSetzen(nullptr);
}

// Marks 0.6 s apart, and two bits that rose in one query: every name whole,
// none over another or over the plot where the curves run.
TEST_F(VerlaufFenster, NaheMarkenGanzLesbarUndNebenDenKurven) {
  VerlaufUhrSetzen(TestUhr);
  gUhrMs = 1796648601500;
  Oeffnen();
  SetPanelSize(gVerlaufPanelHandle, 900, 520);
  ASSERT_EQ(TestOperatorSetValue(gVerlaufPanelHandle, VERLAUFPANEL_ZEITFENSTER, 60), 0);
  const int folge[] = {0, 0, 0x1, 0x3, 0x3, 0x1B, 0x1B, 0x1B};
  for (int status : folge) {
    VerlaufAbfrage(0, 1.5, 24.0, status);
    gUhrMs += 600;
  }
  VerlaufNeuzeichnen();
  TestRunEvents(20);
  std::vector<GraphLabelBox> v(16);
  v.resize(static_cast<std::size_t>(GetGraphMarkLabels(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, v.data(), 16)));
  GraphLabelBox plot{};
  ASSERT_EQ(GetGraphPlotRect(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, &plot), 0);
  std::string alle;
  for (std::size_t i = 0; i < v.size(); ++i) {
    alle += v[i].text + "|";
    EXPECT_LE(v[i].bottom, plot.top) << v[i].text;
    for (std::size_t j = i + 1; j < v.size(); ++j)
      EXPECT_FALSE(v[i].left < v[j].right && v[j].left < v[i].right && v[i].top < v[j].bottom && v[j].top < v[i].bottom);
  }
  EXPECT_EQ(alle, "Innentemperatur zu hoch|Parameter zerstört|Kalibrierung ungültig, Prüfspannung außerhalb der Toleranz|");
  EXPECT_EQ(TestGrabPanel(gVerlaufPanelHandle, (std::string(ZPK3X_BILDER) + "/verlauf_marken_nah.png").c_str()), 0);
  VerlaufUhrSetzen(nullptr);
}

// The value grid of an empty plot reads exactly: 0,25 and not 0,3.
TEST_F(VerlaufFenster, WertachsenMitGenugNachkommastellen) {
  Oeffnen();
  for (int kurve : {VAL_LEFT_CURVE, VAL_RIGHT_CURVE}) {
    std::string text[32];
    const int n = GetGraphValueLabels(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, kurve, text, 32);
    ASSERT_GE(n, 3);
    std::vector<double> wert;
    for (int i = 0; i < n; ++i) {
      std::string t = text[i];
      std::replace(t.begin(), t.end(), ',', '.');
      wert.push_back(std::stod(t));
    }
    for (int i = 2; i < n; ++i) EXPECT_NEAR(wert[i] - wert[i - 1], wert[1] - wert[0], 1e-9) << text[i];
  }
}

// Closed while the operator looked at an earlier part, the window opens again
// on its time window with the newest values.
TEST_F(VerlaufFenster, WiederGeoeffnetMitDenNeuestenWerten) {
  VerlaufUhrSetzen(TestUhr);
  gUhrMs = 1796648601500;
  Oeffnen();
  ASSERT_EQ(TestOperatorSetValue(gVerlaufPanelHandle, VERLAUFPANEL_ZEITFENSTER, 60), 0);
  for (int i = 0; i < 400; ++i, gUhrMs += 500) VerlaufAbfrage(0, 1.0, 24.0, 0);
  ASSERT_EQ(TestOperatorWheel(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, 0.5, 2), 0);
  ASSERT_EQ(TestOperatorDrag(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, 0.2, 0.9), 0);
  ASSERT_EQ(uitest::Ganzzahl(VERLAUFPANEL_FOLGEN, gVerlaufPanelHandle), 0);
  ASSERT_EQ(TestOperatorClose(gVerlaufPanelHandle), 0);
  ASSERT_FALSE(TestPanelVisible(gVerlaufPanelHandle));
  for (int i = 0; i < 20; ++i, gUhrMs += 500) VerlaufAbfrage(0, 1.0, 24.0, 0);
  Oeffnen();
  EXPECT_EQ(uitest::Ganzzahl(VERLAUFPANEL_FOLGEN, gVerlaufPanelHandle), 1);
  double von = 0, bis = 0;
  Bereich(&von, &bis);
  EXPECT_DOUBLE_EQ(bis - von, 60000.0);
  EXPECT_GE(bis, static_cast<double>(Letzte().zeitMs));
  EXPECT_LT(bis - static_cast<double>(Letzte().zeitMs), 1000.0);
  VerlaufUhrSetzen(nullptr);
}

// The continuous query's toggle looks plainly different when it is on.
TEST_F(VerlaufFenster, DauerndIstEingeschaltetDeutlichAnders) {
  const auto bild = [](const char* name) {
    const std::string pfad = std::string(ZPK3X_BILDER) + "/" + name;
    EXPECT_EQ(SaveCtrlDisplayToFile(gPanelHandle, MAINPANEL_DAUERNDABFRAGEN, pfad.c_str()), 0);
    return QImage(QString::fromStdString(pfad)).convertToFormat(QImage::Format_RGB32);
  };
  const QImage aus = bild("dauernd_aus.png");
  SetCtrlVal(gPanelHandle, MAINPANEL_DAUERNDABFRAGEN, 1);
  const QImage an = bild("dauernd_an.png");
  SetCtrlVal(gPanelHandle, MAINPANEL_DAUERNDABFRAGEN, 0);
  ASSERT_EQ(an.size(), aus.size());
  int anders = 0;
  for (int y = 0; y < an.height(); ++y)
    for (int x = 0; x < an.width(); ++x) {
      const QColor a(an.pixel(x, y)), b(aus.pixel(x, y));
      anders += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) > 120;
    }
  EXPECT_GT(anders, an.width() * an.height() / 2) << "on and off must differ over most of the button";
}

// The whole program: the configuration file comes out the same whether the trend
// window was used or not; zpk3xVerlauf.ini only once it was, and it brings the
// window back at the next start.
TEST(VerlaufLauf, KonfigurationUnveraendertUndEigeneDateiNurNachGebrauch) {
  std::string ohne, mit;
  {
    lauf::Arbeitsverzeichnis dir;
    ASSERT_EQ(lauf::ProgrammLaufen([] {}), 0);
    ohne = lauf::DateiLesen("zpk3xSteuerung.ini");
    EXPECT_FALSE(std::filesystem::exists("zpk3xVerlauf.ini"));
  }
  lauf::Arbeitsverzeichnis dir;
  ASSERT_EQ(lauf::ProgrammLaufen([] {
              TestOperatorMenu(gPanelHandle, MENUBAR_EINSTELLUNGEN_VERLAUF);
              TestOperatorSetValue(gVerlaufPanelHandle, VERLAUFPANEL_ZEITFENSTER, 3600);
              SetPanelSize(gVerlaufPanelHandle, 800, 450);
            }),
            0);
  mit = lauf::DateiLesen("zpk3xSteuerung.ini");
  ASSERT_FALSE(ohne.empty());
  EXPECT_EQ(mit, ohne);
  const std::string verlauf = lauf::DateiLesen("zpk3xVerlauf.ini");
  EXPECT_NE(verlauf.find("[Verlauf]"), std::string::npos) << verlauf;
  EXPECT_NE(verlauf.find("3600"), std::string::npos) << verlauf;

  int offen = 0, zeitfenster = 0, hoehe = 0;
  ASSERT_EQ(lauf::ProgrammLaufen([&] {
              offen = gVerlaufPanelHandle >= 0 ? TestPanelVisible(gVerlaufPanelHandle) : 0;
              if (offen) {
                zeitfenster = uitest::Ganzzahl(VERLAUFPANEL_ZEITFENSTER, gVerlaufPanelHandle);
                GetPanelAttribute(gVerlaufPanelHandle, ATTR_HEIGHT, &hoehe);
              }
            }),
            0);
  EXPECT_EQ(offen, 1);
  EXPECT_EQ(zeitfenster, 3600);
  EXPECT_EQ(hoehe, 450);  // the default is 520
  EXPECT_EQ(lauf::DateiLesen("zpk3xSteuerung.ini"), ohne);
}

// Without a place of its own the window opens beside the operator window, or
// within the screen; at the next start it is where it was left.
TEST(VerlaufLauf, FensterKommtAnSeinenPlatzZurueck) {
  lauf::Arbeitsverzeichnis dir;
  lauf::DateiSchreiben("zpk3xVerlauf.ini", "[Verlauf]\nbreite = 420\nhoehe = 300\n");
  int links = 0, oben = 0;
  ASSERT_EQ(lauf::ProgrammLaufen([&] {
              TestOperatorMenu(gPanelHandle, MENUBAR_EINSTELLUNGEN_VERLAUF);
              int ml = 0, mb = 0, vl = 0, vb = 0;
              GetPanelAttribute(gPanelHandle, ATTR_LEFT, &ml);
              GetPanelAttribute(gPanelHandle, ATTR_WIDTH, &mb);
              GetPanelAttribute(gVerlaufPanelHandle, ATTR_LEFT, &vl);
              GetPanelAttribute(gVerlaufPanelHandle, ATTR_WIDTH, &vb);
              const QRect schirm = QApplication::primaryScreen()->availableGeometry();
              // Beside the operator window where there is room; else within the screen,
              // leaving its switch and error area in view (checked on a real display).
              EXPECT_TRUE(vl >= ml + mb || (vl >= schirm.left() && vl + vb <= schirm.right() + 1))
                  << vl << " " << vb << " " << ml << " " << mb;
              SetPanelAttribute(gVerlaufPanelHandle, ATTR_LEFT, 37);
              SetPanelAttribute(gVerlaufPanelHandle, ATTR_TOP, 41);
            }),
            0);
  ASSERT_EQ(lauf::ProgrammLaufen([&] {
              ASSERT_GE(gVerlaufPanelHandle, 0);
              GetPanelAttribute(gVerlaufPanelHandle, ATTR_LEFT, &links);
              GetPanelAttribute(gVerlaufPanelHandle, ATTR_TOP, &oben);
            }),
            0);
  EXPECT_EQ(links, 37);
  EXPECT_EQ(oben, 41);
}

}  // namespace

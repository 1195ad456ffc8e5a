// The test plan window on a real X server: from the menu to the verdict and the
// record on disk with real input, the same verdict and steps as the command
// line, and a run that ends when the operator window is closed.
#include <QApplication>
#include <QMainWindow>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli_lauf.h"
#include "olqzpk3x/olqzpk3x.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_graph.h"
#include "toolkit/toolkit_testing.h"
#include "x_fixture.h"
#include "zpk3xSteuerung/PruefplanFenster.h"
#include "zpk3xSteuerung/VerlaufFenster.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "Com/Com.h"

namespace {

using Json = nlohmann::json;
using xtest::Bediener;

// The example plans that ship with the program.
std::string Plan(const char* name) { return std::string(ZPK3X_PLAENE) + "/" + name; }

std::string Ergebnis() {
  std::string text;
  GetCtrlString(gPruefPanelHandle, PRUEFPANEL_ERGEBNIS, &text);
  return text;
}

// The one record below the records' folder.
Json Aufzeichnung() {
  std::vector<std::filesystem::path> ordner;
  for (const auto& e : std::filesystem::directory_iterator(PROTOKOLLORDNER_STANDARD)) ordner.push_back(e.path());
  EXPECT_EQ(ordner.size(), 1u);
  if (ordner.size() != 1) return Json();
  std::ifstream f(ordner[0] / "record.json");
  std::stringstream s;
  s << f.rdbuf();
  return Json::parse(s.str(), nullptr, false);
}

// What a step of the record says that does not depend on when it ran.
Json Schritte(const Json& record) {
  Json schritte = Json::array();
  for (Json s : record["steps"]) {
    for (const char* k : {"start", "seconds", "current", "voltage", "samples", "missed_ticks"}) s.erase(k);
    if (s.contains("limits"))
      for (Json& g : s["limits"]) g.erase("value");
    schritte.push_back(s);
  }
  return schritte;
}

class XPruefplan : public xtest::XFenster, public ::testing::WithParamInterface<int> {
 protected:
  void TearDown() override {
    PruefplanBeenden();
    VerlaufBeenden();
    XFenster::TearDown();
  }
  static void PlanAnbieten(const char* name) { TestQueueFileAnswer(VAL_EXISTING_FILE_SELECTED, Plan(name)); }
};

TEST_P(XPruefplan, VomMenueZumUrteilUndZurAufzeichnung) {
  const bool englisch = GetParam() == 2;
  Sprache(GetParam());
  Sichtbar(gPanelHandle);
  simtest::Simulator sim;
  ASSERT_NO_FATAL_FAILURE(Verbinden(sim));
  PlanAnbieten("quick-check.toml");
  const QPoint datei = MenueMitte("MENUBAR_MENU");
  Bedienen([&](Bediener& b) {
    b.Klicken(datei);
    unsigned long popup = 0;
    ASSERT_TRUE(ImProgrammWarten([&] { return MenueOffen("MENUBAR_MENU", &popup); })) << "the menu opened";
    ASSERT_TRUE(xtest::WartenBis([&] { return b.Abgebildet(popup); }));
    ASSERT_TRUE(b.TastaturGegriffen()) << "the open menu holds the keyboard";
    for (int i = 0; i < 5; ++i) b.Taste("Down");  // New, Open, Save, Save as, Test plan…
    b.Taste("Return");
    unsigned long fenster = 0;
    ASSERT_TRUE(ImProgrammWarten([&] { return NimmtEingabenAn() && FensterAktiv("SERIENNUMMER", &fenster); }))
        << "the plan window opened";
    ASSERT_TRUE(xtest::WartenBis([&] { return b.HatFokus(fenster); }));
    ASSERT_TRUE(Bedient(b, Mitte("WAEHLEN")));  // the file dialog answers with the plan
    ASSERT_TRUE(ImProgrammWarten([] { return FokusIn("SERIENNUMMER"); })) << "the chosen plan waits for the unit";
    // As a barcode scanner types: the characters, then Enter.
    b.Tippen("47110815");
    b.Taste("Return");
    ASSERT_TRUE(ImProgrammWarten([] { return Ergebnis() == "PASS"; }, 60000)) << Ergebnis();
  }, 0);
  EXPECT_EQ(TestTakePopups().size(), 1u) << "only the file dialog";
  TestGrabPanel(gPruefPanelHandle, Bildpfad(englisch ? "x11_pruefplan_en.png" : "x11_pruefplan_de.png").c_str());
  TestGrabPanel(gVerlaufPanelHandle, Bildpfad(englisch ? "x11_pruefplan_verlauf_en.png" : "x11_pruefplan_verlauf_de.png").c_str());
  std::string schritt;
  GetCtrlString(gPruefPanelHandle, PRUEFPANEL_SCHRITT, &schritt);
  EXPECT_EQ(schritt, std::string(englisch ? "passed" : "bestanden") + ": 47110815, Quick check 2 A");
  // The trend showed the samples with the limits' bands: the mean's 2.0 A ± 2 %,
  // every sample's 1.9 A to 2.1 A, the voltage's 12.0 V ± 0.5 V.
  GraphBand baender[4]{};
  ASSERT_EQ(GetGraphBands(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, baender, 4), 3);
  EXPECT_EQ(baender[0].curve, VAL_LEFT_CURVE);
  EXPECT_NEAR(baender[0].low, 1.96, 1e-9);
  EXPECT_NEAR(baender[0].high, 2.04, 1e-9);
  EXPECT_EQ(baender[2].curve, VAL_RIGHT_CURVE);
  EXPECT_NEAR(baender[2].low, 11.5, 1e-9);
  EXPECT_NEAR(baender[2].high, 12.5, 1e-9);
  EXPECT_NEAR(baender[0].toMs - baender[0].fromMs, 5000, 1e-6) << "over the 5 s it samples";
  EXPECT_GE(VerlaufDatenLesen().anzahl, 20);
  const Json fenster = Aufzeichnung();
  ASSERT_TRUE(fenster.is_object());
  EXPECT_EQ(fenster["outcome"], "PASS");
  EXPECT_EQ(fenster["serial"], "47110815");
  EXPECT_EQ(fenster["stop_sent"], false);
  EXPECT_EQ(sim.frames().back(), "#1DF2") << "the plan's own stop";

  // The same plan from the command line on the same device: the same verdict and steps.
  OLQZPK3X_Close(gCom.offenerPort);
  gCom.offenerPort = -1;
  ::setenv("LANG", englisch ? "en_US.UTF-8" : "de_DE.UTF-8", 1);
  const clitest::Ergebnis cli = clitest::Cli({"--port", "1", "test", Plan("quick-check.toml"), "--serial", "47110815", "--json"});
  ::unsetenv("LANG");
  ASSERT_EQ(cli.status, 0) << cli.err;
  const Json zeile = Json::parse(cli.aus, nullptr, false);
  ASSERT_TRUE(zeile.is_object()) << cli.aus;
  EXPECT_EQ(zeile["outcome"], fenster["outcome"]);
  EXPECT_EQ(Schritte(zeile), Schritte(fenster));
  EXPECT_EQ(zeile["plan"]["sha256"], fenster["plan"]["sha256"]);
}

INSTANTIATE_TEST_SUITE_P(Sprachen, XPruefplan, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return std::string(i.param == 2 ? "Englisch" : "Deutsch");
                         });

// Closing the operator window during a run stops the device first: the run ends
// ABORTED, the stop goes out, the record is filed, and then the program ends.
TEST_F(XPruefplan, SchliessenWaehrendDesLaufsStopptDasGeraet) {
  Sichtbar(gPanelHandle);
  simtest::Simulator sim;
  ASSERT_NO_FATAL_FAILURE(Verbinden(sim));
  PlanAnbieten("endurance.toml");
  ASSERT_EQ(PruefplanOeffnen(), 0);
  ASSERT_EQ(TestOperatorClick(gPruefPanelHandle, PRUEFPANEL_WAEHLEN), 0);
  SetCtrlVal(gPruefPanelHandle, PRUEFPANEL_SERIENNUMMER, "SN9");
  Sichtbar(gPruefPanelHandle);
  unsigned long haupt = 0;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (qobject_cast<QMainWindow*>(top)) haupt = static_cast<unsigned long>(top->winId());
  ASSERT_NE(haupt, 0u);
  const QPoint starten = Mitte("STARTEN");
  Bedienen([&](Bediener& b) {
    b.Klicken(starten);
    ASSERT_TRUE(ImProgrammWarten([] { return VerlaufDatenLesen().anzahl >= 3; })) << "it measures";
    b.Schliessen(haupt);
    ASSERT_TRUE(ImProgrammWarten([] { return !PruefplanLaeuft(); }, 10000)) << "the run ended at once";
  }, 0);
  EXPECT_EQ(Ergebnis(), "ABORTED");
  EXPECT_EQ(sim.frames().back(), "#1DF2") << "the stop went out";
  const Json j = Aufzeichnung();
  ASSERT_TRUE(j.is_object());
  EXPECT_EQ(j["outcome"], "ABORTED");
  EXPECT_EQ(j["stop_sent"], true);
  EXPECT_EQ(j["stop_code"], 0);
  // The program's loop ends: asked to, it returns at once, not with the hook's code.
  TestOnLoopStart([] { QuitUserInterface(7); });
  EXPECT_EQ(RunUserInterface(), 0);
  TestOnLoopStart(nullptr);
}

}  // namespace

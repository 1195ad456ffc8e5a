// The window publishes its continuous query to a real Mosquitto, with the same
// topics and payloads as the command line's monitor; a broker that is away shows
// in the error line and stops nothing.
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <string>
#include <vector>

#include "Com/Com.h"
#include "lauf.h"
#include "mqtt_broker.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "x_fixture.h"
#include "zpk3xSteuerung/PruefplanFenster.h"
#include "zpk3xSteuerung/VerlaufFenster.h"
#include "zpk3xSteuerung/Veroeffentlichung.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"

namespace {

using xtest::Bediener;
using xtest::Schlafen;
using Json = nlohmann::json;

class XMqtt : public xtest::XFenster {
 protected:
  void SetUp() override {
    if (const std::string fehlt = mqtttest::Fehlt(); !fehlt.empty()) GTEST_SKIP() << "not installed: " << fehlt;
    XFenster::SetUp();
  }
  void TearDown() override {
    VeroeffentlichungBeenden();
    for (const char* n : {"ZPK3X_MQTT", "ZPK3X_MQTT_STATION", "ZPK3X_MQTT_PASSWORD"}) ::unsetenv(n);
    XFenster::TearDown();
  }
  void Einstellen(const mqtttest::Broker& b) {
    ::setenv("ZPK3X_MQTT", b.url("lab", false).c_str(), 1);
    ::setenv("ZPK3X_MQTT_STATION", "fenster", 1);
    ::setenv("ZPK3X_MQTT_PASSWORD", b.optionen().passwort.c_str(), 1);
  }
};

TEST_F(XMqtt, DasDauerndeAbfragenWirdVeroeffentlicht) {
  simtest::Simulator sim;
  ASSERT_NO_FATAL_FAILURE(Verbinden(sim));
  mqtttest::Broker b(Arbeitsverzeichnis());
  ASSERT_TRUE(b.starten());
  mqtttest::Abonnent sub(b, Pfad("sub.txt"), {"lab/fenster/#"});
  ASSERT_TRUE(sub.bereit());
  Einstellen(b);
  VeroeffentlichungStarten();
  const QPoint dauernd = Mitte("DAUERNDABFRAGEN");
  Bedienen([&](Bediener& bediener) {
    bediener.Klicken(dauernd);
    EXPECT_TRUE(sub.warten([](const auto& n) {
      return std::count_if(n.begin(), n.end(), [](const auto& m) { return m.thema == "lab/fenster/values"; }) >= 3;
    }, 30));
    bediener.Klicken(dauernd);
    EXPECT_TRUE(ImProgrammWarten([] { return lauf::Ganzzahl(MAINPANEL_DAUERNDABFRAGEN) == 0; })) << "the query ended";
  }, 0);
  VeroeffentlichungBeenden();
  ASSERT_TRUE(sub.warten([](const auto& n) {
    return std::count_if(n.begin(), n.end(), [](const auto& m) { return m.thema == "lab/fenster/online"; }) >= 2;
  }, 10));
  EXPECT_EQ(sub.inhalte("lab/fenster/online"), (std::vector<std::string>{"true", "false"}));
  const Json wert = Json::parse(sub.inhalte("lab/fenster/values").front());
  EXPECT_TRUE(wert["current"].is_number() && wert["voltage"].is_number() && wert["error"].is_null()) << wert;
  EXPECT_EQ(wert["status"], 0);
  // Which device it is once the first query reached it.
  const Json meta = Json::parse(sub.inhalte("lab/fenster/meta").back());
  EXPECT_FALSE(meta["identity"].is_null()) << meta;
  EXPECT_EQ(meta["baud_rate"], 9600);
  EXPECT_EQ(meta["units"]["current"], "A");
  EXPECT_EQ(sub.inhalte("lab/fenster/status").size(), 1u);
}

// A test plan run from the window publishes its outcome retained under
// `result`, as the command line's does.
TEST_F(XMqtt, EinPruefplanlaufVeroeffentlichtSeinErgebnis) {
  simtest::Simulator sim;
  ASSERT_NO_FATAL_FAILURE(Verbinden(sim));
  mqtttest::Broker b(Arbeitsverzeichnis());
  ASSERT_TRUE(b.starten());
  mqtttest::Abonnent sub(b, Pfad("sub.txt"), {"lab/fenster/result"});
  ASSERT_TRUE(sub.bereit());
  Einstellen(b);
  VeroeffentlichungStarten();
  TestQueueFileAnswer(VAL_EXISTING_FILE_SELECTED, std::string(ZPK3X_PLAENE) + "/quick-check.toml");
  ASSERT_GE(PruefplanOeffnen(), 0);
  Callback_Button_PruefplanWaehlen(gPruefPanelHandle, PRUEFPANEL_WAEHLEN, EVENT_COMMIT, nullptr, 0, 0);
  SetCtrlVal(gPruefPanelHandle, PRUEFPANEL_SERIENNUMMER, "SN-7");
  Callback_Button_PruefplanStarten(gPruefPanelHandle, PRUEFPANEL_STARTEN, EVENT_COMMIT, nullptr, 0, 0);
  ASSERT_TRUE(sub.warten([](const auto& n) { return !n.empty(); }, 30));
  const Json ergebnis = Json::parse(sub.inhalte("lab/fenster/result").front(), nullptr, false);
  EXPECT_EQ(ergebnis["outcome"], "PASS") << ergebnis;
  EXPECT_EQ(ergebnis["serial"], "SN-7") << ergebnis;
  PruefplanBeenden();
  VerlaufBeenden();
}

TEST_F(XMqtt, EinFehlenderBrokerStehtInDerFehlerzeileUndHaeltNichtsAuf) {
  simtest::Simulator sim;
  ASSERT_NO_FATAL_FAILURE(Verbinden(sim));
  mqtttest::Broker b(Arbeitsverzeichnis());  // not started: its port is free
  Einstellen(b);
  VeroeffentlichungStarten();
  const QPoint dauernd = Mitte("DAUERNDABFRAGEN");
  Bedienen([&](Bediener& bediener) {
    bediener.Klicken(dauernd);
    EXPECT_TRUE(AufRahmenWarten(sim, 12)) << "the query runs on";
    // The publisher's thread tells the window when its attempt failed.
    ImProgrammWarten([] { return lauf::Text(MAINPANEL_FEHLERSTRING).find("keine Verbindung") != std::string::npos; });
  }, 0);
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_DAUERNDABFRAGEN), 1);
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERLED), 1);
  EXPECT_NE(lauf::Text(MAINPANEL_FEHLERSTRING).find("keine Verbindung (Verbindung abgewiesen)"), std::string::npos)
      << lauf::Text(MAINPANEL_FEHLERSTRING);
  Bedienen([&](Bediener& bediener) {
    bediener.Klicken(dauernd);
    EXPECT_TRUE(ImProgrammWarten([] { return lauf::Ganzzahl(MAINPANEL_DAUERNDABFRAGEN) == 0; })) << "the query ended";
  }, 0);
}

}  // namespace

// A device that goes away and comes back on the same link (an adapter pulled out
// and plugged in again): the window shows the port closed and one message at
// once, and the next click that needs the device opens the port again by itself.
#include <cstdlib>
#include <memory>
#include <string>

#include "Com/Com.h"
#include "lauf.h"
#include "olqzpk3x/olqzpk3x.h"
#include "ser2net_harness.h"
#include "toolkit/toolkit_testing.h"
#include "x_fixture.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"

namespace {

using xtest::Bediener;

constexpr int kGetrennt = -OLQZPK3X_LEITUNG_GETRENNT;

class XTrennung : public xtest::XFenster {
 protected:
  // The simulator behind a link that stays the port's name across restarts.
  std::unique_ptr<simtest::Simulator> Starten(bool gemaechlich) {
    simtest::SimOptions o;
    o.pace = gemaechlich;
    o.extraArgs = {"--link", Pfad("COM1")};
    auto sim = std::make_unique<simtest::Simulator>(o);
    EXPECT_TRUE(sim->ok());
    return sim;
  }
  void Verbinden() {
    ::setenv("ZPK3X_COM1", Pfad("COM1").c_str(), 1);
    gCom.port = 1;
    ASSERT_EQ(ComPortOeffnen(), 0);
    ComEinstellungenAusStrukturInGui();
    ASSERT_EQ(lauf::Ganzzahl(MAINPANEL_COMPICTURERING), 1);
  }
  // The loss as the window must show it, before anything is touched.
  void GetrenntGezeigt() {
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_COMPICTURERING), -1) << "the picture shows the port closed";
    EXPECT_EQ(gCom.offenerPort, -1);
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERNUMMER), kGetrennt);
    // A transfer adds after the text how far it got.
    EXPECT_EQ(lauf::Text(MAINPANEL_FEHLERSTRING).rfind("Verbindung zum seriellen Gerät unterbrochen (Schnittstelle getrennt)", 0), 0u)
        << lauf::Text(MAINPANEL_FEHLERSTRING);
  }
  // Waits, from the operator thread, until the window shows the error `nummer`.
  bool AufFehlerWarten(int nummer) {
    return ImProgrammWarten([nummer] { return lauf::Ganzzahl(MAINPANEL_FEHLERNUMMER) == nummer; });
  }
  // One click on "abfragen" reaches the device that is back, without the picture.
  void AbfragenGehtWieder(simtest::Simulator& neu) {
    const QPoint abfragen = Mitte("ABFRAGEN");
    Bedienen([&](Bediener& b) {
      EXPECT_TRUE(Bedient(b, abfragen));
      EXPECT_TRUE(AufRahmenWarten(neu, 3)) << "the query reached the device that is back";
    }, 0);
    EXPECT_EQ(neu.frames(), (std::vector<std::string>{"#1C0R", "#1V0R", "#1S0R"}));
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERNUMMER), 0);
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERLED), 0);
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_COMPICTURERING), 1);
  }
};

TEST_F(XTrennung, WaehrendDesDauerndenAbfragens) {
  auto sim = Starten(false);
  ASSERT_NO_FATAL_FAILURE(Verbinden());
  const QPoint dauernd = Mitte("DAUERNDABFRAGEN");
  std::unique_ptr<simtest::Simulator> neu;
  Bedienen([&](Bediener& b) {
    b.Klicken(dauernd);
    ASSERT_TRUE(AufRahmenWarten(*sim, 6)) << "the query runs";
    sim.reset();  // the device goes away
    EXPECT_TRUE(AufFehlerWarten(kGetrennt)) << "the window saw it go";
    neu = Starten(false);  // and is back on the same link
  }, 0);
  ASSERT_TRUE(neu && neu->ok());
  GetrenntGezeigt();
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_DAUERNDABFRAGEN), 0) << "the continuous query stopped";
  // Nothing may come by itself: watched for more than two periods (0.5 s) of the
  // continuous query. A slower build could only send later, so this margin can
  // hide a fault on a slow machine but never fail a sound program.
  TestRunEvents(1300);
  EXPECT_TRUE(neu->frames().empty()) << "nothing is sent until an operation needs the device";
  AbfragenGehtWieder(*neu);
}

TEST_F(XTrennung, WaehrendAllesLesen) {
  auto sim = Starten(true);
  ASSERT_NO_FATAL_FAILURE(Verbinden());
  TestQueueGenericAnswer(2);  // "alle"
  const QPoint lesen = Mitte("ZPK3LESEN");
  std::unique_ptr<simtest::Simulator> neu;
  Bedienen([&](Bediener& b) {
    b.Klicken(lesen);
    ASSERT_TRUE(AufRahmenWarten(*sim, 20));
    sim.reset();
    neu = Starten(false);
    EXPECT_TRUE(AufFehlerWarten(kGetrennt)) << "the window saw it go";
  }, 0);
  ASSERT_TRUE(neu && neu->ok());
  GetrenntGezeigt();
  AbfragenGehtWieder(*neu);
}

// A device restarted while the window was idle: the hang-up is seen before
// anything is sent, and the first click reaches the device that is back.
TEST_F(XTrennung, NeuGestartetWaehrendNichtsLief) {
  auto sim = Starten(false);
  ASSERT_NO_FATAL_FAILURE(Verbinden());
  sim.reset();
  auto neu = Starten(false);
  ASSERT_TRUE(neu->ok());
  AbfragenGehtWieder(*neu);
}

// A device that is not back: the hang-up is seen before sending, the one reopen
// fails with the port's error and nothing is tried again by itself.
TEST_F(XTrennung, OhneGeraetMeldetDasOeffnenDenPortfehler) {
  auto sim = Starten(false);
  ASSERT_NO_FATAL_FAILURE(Verbinden());
  const QPoint abfragen = Mitte("ABFRAGEN");
  Bedienen([&](Bediener& b) {
    sim.reset();
    EXPECT_TRUE(Bedient(b, abfragen));
  }, 0);
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_COMPICTURERING), -1);
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERNUMMER), 100003);
  Bedienen([&](Bediener& b) { EXPECT_TRUE(Bedient(b, abfragen)); }, 0);
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERNUMMER), 122201) << "the port is not opened again and again";
}

// The same through a device server on raw TCP: the server killed during the
// continuous query is the line's hang-up, shown at once; with the server still
// away the next command opens once and says why it could not.
TEST_F(XTrennung, GeraeteserverWeg) {
  simtest::Simulator sim;
  nettest::Ser2net server(sim.ptyPath());
  ASSERT_TRUE(sim.ok() && server.ok());
  ::setenv("ZPK3X_COM1", server.rawUrl().c_str(), 1);
  gCom.port = 1;
  ASSERT_EQ(ComPortOeffnen(), 0);
  ComEinstellungenAusStrukturInGui();
  const QPoint dauernd = Mitte("DAUERNDABFRAGEN"), abfragen = Mitte("ABFRAGEN");
  Bedienen([&](Bediener& b) {
    b.Klicken(dauernd);
    ASSERT_TRUE(AufRahmenWarten(sim, 6)) << "the query runs";
    server.kill();
    EXPECT_TRUE(AufFehlerWarten(kGetrennt)) << "the window saw it go";
  }, 0);
  GetrenntGezeigt();
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_DAUERNDABFRAGEN), 0) << "the continuous query stopped";
  Bedienen([&](Bediener& b) { EXPECT_TRUE(Bedient(b, abfragen)); }, 0);
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERNUMMER), 100003);
  EXPECT_NE(lauf::Text(MAINPANEL_FEHLERSTRING).find(server.rawUrl() + ": Verbindung abgewiesen"), std::string::npos)
      << lauf::Text(MAINPANEL_FEHLERSTRING);
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_COMPICTURERING), -1);
  ::unsetenv("ZPK3X_COM1");
}

// A device server that refuses, or a name that is none: the picture's click says
// why, in the layer's words after the catalogue's text.
TEST_F(XTrennung, VerweigerterNetzportNenntDenGrund) {
  const std::string url = "tcp://127.0.0.1:" + std::to_string(nettest::FreePort());
  ::setenv("ZPK3X_COM1", url.c_str(), 1);
  gCom.port = 1;  // as the start opens the configured port
  ASSERT_NE(ComPortOeffnen(), 0);
  ComEinstellungenAusStrukturInGui();
  const QPoint bild = Mitte("COMPICTURERING");
  Bedienen([&](Bediener& b) { EXPECT_TRUE(Bedient(b, bild)); }, 0);
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERNUMMER), 100003);
  EXPECT_NE(lauf::Text(MAINPANEL_FEHLERSTRING).find(url + ": Verbindung abgewiesen"), std::string::npos)
      << lauf::Text(MAINPANEL_FEHLERSTRING);
  ::setenv("ZPK3X_COM1", "tcp://[::1", 1);
  Bedienen([&](Bediener& b) {
    EXPECT_TRUE(Bedient(b, bild));
  }, 0);
  EXPECT_NE(lauf::Text(MAINPANEL_FEHLERSTRING).find("tcp://HOST:PORT"), std::string::npos)
      << lauf::Text(MAINPANEL_FEHLERSTRING);
  EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_COMPICTURERING), -1);
  ::unsetenv("ZPK3X_COM1");
}

}  // namespace

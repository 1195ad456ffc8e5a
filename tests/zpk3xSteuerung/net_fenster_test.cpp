// The operator window with COM 1 on a serial device server: ZPK3X_COM1 names
// Debian's ser2net (RFC 2217) in front of the simulator.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Com/Com.h"
#include "lauf.h"
#include "ser2net_harness.h"
#include "sim_harness.h"
#include "support_ui/ui_fixture.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xFunktionen/zpk3xFunktionen.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace {

class FensterNetz : public uitest::UiTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(uitest::ToolkitStarten());
    SteuerungCallbacksRegistrieren();
    UiTest::SetUp();
  }
  void TearDown() override {
    UiTest::TearDown();
    ::unsetenv("ZPK3X_COM1");
  }
};

TEST_F(FensterNetz, Com1UeberRfc2217LiestAlleProgrammeUndDasVerbindungsbildSchaltet) {
  simtest::Simulator sim;
  nettest::Ser2net server(sim.ptyPath());
  ASSERT_TRUE(sim.ok());
  ASSERT_TRUE(server.ok());
  for (int n = 1; n <= 16; ++n) sim.control(lauf::SimulatorBefehl(n, lauf::UnterscheidbaresProgramm(n)));
  ::setenv("ZPK3X_COM1", server.rfcUrl().c_str(), 1);
  DisplayPanel(gCompanelHandle);  // as the menu "Com Einstellung" does
  TestOperatorSetValue(gCompanelHandle, COMPANEL_PORT, 1);
  ASSERT_EQ(gCom.offenerPort, 1);
  EXPECT_EQ(uitest::Ganzzahl(MAINPANEL_FEHLERLED), 0);
  EXPECT_EQ(uitest::Ganzzahl(MAINPANEL_COMPICTURERING), 1);

  sim.clearFrames();
  TestQueueGenericAnswer(2);  // "alle"
  TestOperatorClick(gPanelHandle, MAINPANEL_ZPK3LESEN);
  std::vector<std::string> erwartet;
  for (int n = 1; n <= 16; ++n) {
    const std::vector<std::string> r = lauf::LeseRahmen(n);
    erwartet.insert(erwartet.end(), r.begin(), r.end());
  }
  EXPECT_EQ(sim.frames(), erwartet);
  for (int n = 1; n <= 16; ++n) EXPECT_TRUE(lauf::Gleich(gPar[n], lauf::AlsRecord(lauf::UnterscheidbaresProgramm(n)))) << n;
  EXPECT_EQ(uitest::Ganzzahl(MAINPANEL_FEHLERLED), 0);

  // The connection picture closes the connection and opens it again.
  TestOperatorClick(gPanelHandle, MAINPANEL_COMPICTURERING);
  EXPECT_EQ(gCom.offenerPort, -1);
  TestOperatorClick(gPanelHandle, MAINPANEL_COMPICTURERING);
  EXPECT_EQ(gCom.offenerPort, 1);
  TestQueueGenericAnswer(1);  // "aktuelles"
  sim.clearFrames();
  TestOperatorClick(gPanelHandle, MAINPANEL_ZPK3LESEN);
  EXPECT_FALSE(sim.frames().empty());
  EXPECT_EQ(uitest::Ganzzahl(MAINPANEL_FEHLERLED), 0);
}

// Over raw TCP the search asks the eight addresses at the server's rate only, and
// the connection window says so.
TEST_F(FensterNetz, SucheUeberRohesTcpFragtNurBeiDerRateDesServersUndSagtEs) {
  simtest::Simulator sim;
  nettest::Ser2net server(sim.ptyPath());
  ASSERT_TRUE(sim.ok());
  ASSERT_TRUE(server.ok());
  ::setenv("ZPK3X_COM1", server.rawUrl().c_str(), 1);
  DisplayPanel(gCompanelHandle);
  TestOperatorSetValue(gCompanelHandle, COMPANEL_PORT, 1);
  ASSERT_EQ(gCom.offenerPort, 1);
  sim.clearFrames();
  TestOperatorClick(gCompanelHandle, COMPANEL_SCAN);
  EXPECT_LE(sim.frames().size(), 8u);
  EXPECT_EQ(gCom.adresse, '1');
  EXPECT_NE(uitest::Text(COMPANEL_SCANTEXT, gCompanelHandle).find("Geräteservers"), std::string::npos);
}

}  // namespace

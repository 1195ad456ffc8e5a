// Connection settings, connecting, identity and device search against the
// simulator on a pseudo-terminal.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Com/Com.h"
#include "rs232/rs232_seam.h"
#include "sim_harness.h"
#include "support_ui/ui_fixture.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"
#include "support_ui/paint_counter.h"

namespace {

using uitest::Ganzzahl;
using uitest::Text;

constexpr int kLeds[8] = {COMPANEL_LED1, COMPANEL_LED2, COMPANEL_LED3, COMPANEL_LED4,
                          COMPANEL_LED5, COMPANEL_LED6, COMPANEL_LED7, COMPANEL_LED8};

int Farbe(int led) {
  int v = -1;
  GetCtrlAttribute(gCompanelHandle, led, ATTR_ON_COLOR, &v);
  return v;
}

// Records every line speed the program sets on the terminal while it runs.
class Baudbeobachter {
 public:
  explicit Baudbeobachter(const std::string& pty) : fd_(::open(pty.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK)) {
    thread_ = std::thread([this] {
      while (!ende_) {
        termios t{};
        if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
          const int b = Rate(cfgetospeed(&t));
          if (b != 0 && (raten_.empty() || raten_.back() != b)) raten_.push_back(b);
        }
        ::usleep(200);
      }
    });
  }
  ~Baudbeobachter() { Stopp(); }
  std::vector<int> Stopp() {
    ende_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return raten_;
  }

 private:
  static int Rate(speed_t s) {
    switch (s) {
      case B1200: return 1200;
      case B2400: return 2400;
      case B4800: return 4800;
      case B9600: return 9600;
      default: return 0;
    }
  }
  int fd_;
  std::atomic<bool> ende_{false};
  std::vector<int> raten_;
  std::thread thread_;
};

class Verbindung : public uitest::UiTest {
 protected:
  void SetUp() override {
    uitest::UiTest::SetUp();
    Rs232Seam_TimeoutOverride(0.02);
    DisplayPanel(gCompanelHandle);
    TestRunEvents(50);  // shown on screen, as when the operator uses it
  }
  // Chooses a port in the dialog's ring as the operator would.
  void PortWaehlen(int port) { ASSERT_EQ(TestOperatorSetValue(gCompanelHandle, COMPANEL_PORT, port), 0); }
};

TEST_F(Verbindung, PortWaehlenOeffnetIhnUndZeigtIhn) {
  simtest::Simulator sim;
  ASSERT_TRUE(sim.ok());
  sim.mapToCom(3);
  ComFehlerSetzen(-122201);

  PortWaehlen(3);
  EXPECT_EQ(gCom.offenerPort, 3);
  EXPECT_EQ(gCom.port, 3);
  EXPECT_EQ(offeneBaudrate, 9600);
  EXPECT_EQ(Ganzzahl(COMPANEL_PORT, gCompanelHandle), 3);
  EXPECT_EQ(Ganzzahl(MAINPANEL_COMPICTURERING, gPanelHandle), 3);
  EXPECT_EQ(Ganzzahl(MAINPANEL_FEHLERLED, gPanelHandle), 0);

  ASSERT_EQ(TestOperatorClick(gCompanelHandle, COMPANEL_IDLESEN), 0);
  EXPECT_EQ(Text(COMPANEL_IDSTRING, gCompanelHandle), "OLQ-ZPK3X-SIM");
  EXPECT_EQ(Ganzzahl(MAINPANEL_FEHLERLED, gPanelHandle), 0);
  EXPECT_EQ(sim.frames(), std::vector<std::string>{"#1IDR"});
}

TEST_F(Verbindung, GleicherPortUndNurAdresseAendernNichtsAnDerLeitung) {
  simtest::Simulator sim;
  ASSERT_TRUE(sim.ok());
  sim.mapToCom(2);
  PortWaehlen(2);
  ASSERT_EQ(gCom.offenerPort, 2);
  sim.clearFrames();

  // A reopen would fail now and show in the error area.
  Rs232Seam_Fail(Rs232Op::Open, 100);
  Rs232Seam_Fail(Rs232Op::Close, 100);
  PortWaehlen(2);
  EXPECT_EQ(gCom.offenerPort, 2);
  EXPECT_EQ(Ganzzahl(MAINPANEL_FEHLERLED, gPanelHandle), 0);

  ASSERT_EQ(TestOperatorSetValue(gCompanelHandle, COMPANEL_ADRESSE, '&'), 0);
  EXPECT_EQ(gCom.adresse, '&');
  EXPECT_EQ(gCom.offenerPort, 2);
  EXPECT_EQ(Ganzzahl(MAINPANEL_FEHLERLED, gPanelHandle), 0);
  EXPECT_TRUE(sim.frames().empty());

  // Reading the identity of "all devices" is refused by the driver.
  Rs232Seam_Reset();
  Rs232Seam_TimeoutOverride(0.02);
  EXPECT_EQ(IDLesen(), -400006);
  TestOperatorClick(gCompanelHandle, COMPANEL_IDLESEN);
  EXPECT_EQ(Ganzzahl(MAINPANEL_FEHLERNUMMER, gPanelHandle), 400006);
  EXPECT_EQ(Text(COMPANEL_IDSTRING, gCompanelHandle), "");

  // A new baud rate reopens the port.
  ASSERT_EQ(TestOperatorSetValue(gCompanelHandle, COMPANEL_BAUDRATE, 2400), 0);
  EXPECT_EQ(offeneBaudrate, 2400);
  EXPECT_EQ(gCom.offenerPort, 2);
  EXPECT_EQ(gCom.lport, 2);
}

TEST_F(Verbindung, TrennenUndWiederverbindenUeberDasVerbindungsbild) {
  simtest::Simulator sim;
  ASSERT_TRUE(sim.ok());
  sim.mapToCom(4);
  PortWaehlen(4);
  ASSERT_EQ(gCom.offenerPort, 4);

  PortWaehlen(-1);
  EXPECT_EQ(gCom.offenerPort, -1);
  EXPECT_EQ(gCom.lport, 4);
  EXPECT_EQ(Ganzzahl(COMPANEL_PORT, gCompanelHandle), -1);
  EXPECT_EQ(Ganzzahl(MAINPANEL_COMPICTURERING, gPanelHandle), -1);

  TestOperatorClick(gPanelHandle, MAINPANEL_COMPICTURERING);
  EXPECT_EQ(gCom.offenerPort, 4);
  EXPECT_EQ(Ganzzahl(COMPANEL_PORT, gCompanelHandle), 4);
  EXPECT_EQ(Ganzzahl(MAINPANEL_COMPICTURERING, gPanelHandle), 4);
  EXPECT_EQ(IDLesen(), 0);

  TestOperatorClick(gPanelHandle, MAINPANEL_COMPICTURERING);
  EXPECT_EQ(gCom.offenerPort, -1);
  EXPECT_EQ(gCom.lport, 4);
  EXPECT_EQ(IDLesen(), -122202);

  // Enter and space toggle as a click does; other keys do nothing.
  TestOperatorKey(gPanelHandle, MAINPANEL_COMPICTURERING, 'a');
  EXPECT_EQ(gCom.offenerPort, -1);
  TestOperatorKey(gPanelHandle, MAINPANEL_COMPICTURERING, VAL_ENTER_VKEY);
  EXPECT_EQ(gCom.offenerPort, 4);
  TestOperatorKey(gPanelHandle, MAINPANEL_COMPICTURERING, VAL_SPACE_KEY);
  EXPECT_EQ(gCom.offenerPort, -1);
}

TEST_F(Verbindung, KlickNachDemStartOhneLetztenPortTutNichts) {
  TestOperatorClick(gPanelHandle, MAINPANEL_COMPICTURERING);
  EXPECT_EQ(gCom.offenerPort, -1);
  EXPECT_EQ(gCom.port, -1);
  EXPECT_EQ(gCom.lport, -1);
  EXPECT_EQ(Ganzzahl(MAINPANEL_FEHLERLED, gPanelHandle), 0);
  EXPECT_EQ(Ganzzahl(MAINPANEL_COMPICTURERING, gPanelHandle), -1);
}

TEST_F(Verbindung, VerweigerterPortZeigtFehlerUndKeinenOffenenPort) {
  simtest::Simulator sim;
  ASSERT_TRUE(sim.ok());
  sim.mapToCom(1);
  PortWaehlen(1);
  ASSERT_EQ(gCom.offenerPort, 1);

  setenv("ZPK3X_COM6", (Arbeitsverzeichnis() + "/gibtsnicht/tty").c_str(), 1);
  PortWaehlen(6);
  EXPECT_EQ(gCom.offenerPort, -1);
  EXPECT_EQ(gCom.port, 6);
  EXPECT_EQ(gCom.lport, 1);
  EXPECT_EQ(Ganzzahl(COMPANEL_PORT, gCompanelHandle), -1);
  EXPECT_EQ(Ganzzahl(MAINPANEL_COMPICTURERING, gPanelHandle), -1);
  EXPECT_EQ(Ganzzahl(MAINPANEL_FEHLERLED, gPanelHandle), 1);
  EXPECT_EQ(Ganzzahl(MAINPANEL_FEHLERNUMMER, gPanelHandle), 100003);
  EXPECT_EQ(Text(MAINPANEL_FEHLERSTRING, gPanelHandle),
            "Fehler beim öffnen der seriellen Schnittstelle: " + Arbeitsverzeichnis() + "/gibtsnicht/tty: Gerät nicht vorhanden");
  unsetenv("ZPK3X_COM6");
}

TEST_F(Verbindung, SucheFindetDasGeraetAnAdresseDreiMit4800Baud) {
  simtest::SimOptions o;
  o.address = '3';
  o.baud = 4800;
  simtest::Simulator sim(o);
  ASSERT_TRUE(sim.ok());
  sim.mapToCom(5);
  PortWaehlen(5);
  ASSERT_EQ(offeneBaudrate, 9600);
  sim.clearFrames();
  ComFehlerSetzen(-122201);

  Baudbeobachter beobachter(sim.ptyPath());
  uitest::PaintCounter led1("LED1");
  uitest::PaintCounter led3("LED3");
  ASSERT_TRUE(led1.found() && led3.found());
  ASSERT_EQ(TestOperatorClick(gCompanelHandle, COMPANEL_SCAN), 0);
  std::vector<int> raten = beobachter.Stopp();
  // The lamps are seen while the search runs: each probe shows its lamp lit
  // and then its result, at each of the three rates.
  EXPECT_GE(led1.paints(), 6);
  EXPECT_GE(led3.paints(), 6);
  if (!raten.empty() && raten.front() == 9600) raten.erase(raten.begin());  // before the search

  // Reopened at 1200, 2400 and 4800, and never again at 9600.
  EXPECT_EQ(raten, (std::vector<int>{1200, 2400, 4800}));
  // The simulator logs every frame, also those at a rate it does not answer:
  // all eight addresses at each of the three rates, in order, after the hit too.
  std::vector<std::string> erwartet;
  for (int runde = 0; runde < 3; ++runde)
    for (char a = '1'; a <= '8'; ++a) erwartet.push_back(std::string("#") + a + "IDR");
  EXPECT_EQ(sim.frames(), erwartet);
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(Ganzzahl(kLeds[i], gCompanelHandle), i == 2 ? 1 : 0);
  }
  EXPECT_EQ(Farbe(COMPANEL_LED3), 0x00FF00);
  EXPECT_EQ(gCom.adresse, '3');
  EXPECT_EQ(gCom.baudrate, 4800);
  EXPECT_EQ(gCom.offenerPort, 5);
  EXPECT_EQ(offeneBaudrate, 4800);
  EXPECT_EQ(Text(COMPANEL_IDSTRING, gCompanelHandle), "OLQ-ZPK3X-SIM");
  EXPECT_EQ(Text(COMPANEL_SCANTEXT, gCompanelHandle), "");
  EXPECT_EQ(Ganzzahl(MAINPANEL_FEHLERLED, gPanelHandle), 0);
  // The dialog shows the settings found.
  char adresse = 0;
  GetCtrlVal(gCompanelHandle, COMPANEL_ADRESSE, &adresse);
  EXPECT_EQ(adresse, '3');
  EXPECT_EQ(Ganzzahl(COMPANEL_BAUDRATE, gCompanelHandle), 4800);

  sim.clearFrames();
  EXPECT_EQ(IDLesen(), 0);
  EXPECT_EQ(sim.frames(), std::vector<std::string>{"#3IDR"});
}

TEST_F(Verbindung, SucheOhneGeraetEndetBei9600MitDunklenLeds) {
  simtest::SimOptions o;
  o.address = '6';
  o.baud = 1200;
  simtest::Simulator sim(o);
  ASSERT_TRUE(sim.ok());
  sim.mapToCom(7);
  gCom.adresse = '2';
  PortWaehlen(7);
  ASSERT_EQ(gCom.offenerPort, 7);

  // A first search lights LED 6; then the device goes silent.
  ASSERT_EQ(Zpk3Scan(), 0);
  ASSERT_EQ(Ganzzahl(COMPANEL_LED6, gCompanelHandle), 1);
  ASSERT_EQ(gCom.adresse, '6');
  ASSERT_EQ(gCom.baudrate, 1200);
  sim.control("fault silence *");
  ASSERT_TRUE(sim.ok());

  EXPECT_EQ(Zpk3Scan(), 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Ganzzahl(kLeds[i], gCompanelHandle), 0) << "LED" << i + 1;
  EXPECT_EQ(gCom.baudrate, 9600);
  EXPECT_EQ(offeneBaudrate, 9600);
  EXPECT_EQ(gCom.offenerPort, 7);
  EXPECT_EQ(gCom.adresse, '6');
  EXPECT_EQ(Text(COMPANEL_IDSTRING, gCompanelHandle), "");
  EXPECT_EQ(Text(COMPANEL_SCANTEXT, gCompanelHandle), "");
}

TEST_F(Verbindung, FremdeKennungLeuchtetRot) {
  simtest::SimOptions o;
  o.address = '2';
  simtest::Simulator sim(o);
  ASSERT_TRUE(sim.ok());
  sim.control("identity ANDERES-GERAET");
  sim.mapToCom(8);
  PortWaehlen(8);
  ASSERT_EQ(gCom.offenerPort, 8);

  EXPECT_EQ(Zpk3Scan(), 0);
  EXPECT_EQ(Ganzzahl(COMPANEL_LED2, gCompanelHandle), 1);
  EXPECT_EQ(Farbe(COMPANEL_LED2), 0xFF0000);
  EXPECT_EQ(Ganzzahl(COMPANEL_LED1, gCompanelHandle), 0);
  EXPECT_EQ(gCom.adresse, '1');
  EXPECT_EQ(gCom.baudrate, 9600);
  EXPECT_EQ(Text(COMPANEL_IDSTRING, gCompanelHandle), "");
}

TEST_F(Verbindung, SucheOhneOffenenPortBeruehrtKeineLed) {
  SetCtrlAttribute(gCompanelHandle, COMPANEL_LED5, ATTR_ON_COLOR, 0xFF0000);
  SetCtrlVal(gCompanelHandle, COMPANEL_LED5, 1);
  gCom.baudrate = 2400;

  ASSERT_EQ(TestOperatorClick(gCompanelHandle, COMPANEL_SCAN), 0);
  EXPECT_EQ(Ganzzahl(MAINPANEL_FEHLERLED, gPanelHandle), 1);
  EXPECT_EQ(Ganzzahl(MAINPANEL_FEHLERNUMMER, gPanelHandle), 122201);
  EXPECT_EQ(Ganzzahl(COMPANEL_LED5, gCompanelHandle), 1);
  EXPECT_EQ(Farbe(COMPANEL_LED5), 0xFF0000);
  for (int i = 0; i < 8; ++i) {
    if (i != 4) {
      EXPECT_EQ(Ganzzahl(kLeds[i], gCompanelHandle), 0);
    }
  }
  EXPECT_EQ(gCom.baudrate, 2400);
  EXPECT_EQ(IDLesen(), -122202);
}

TEST_F(Verbindung, MisslungenesWiederoeffnenBeendetDieSuche) {
  simtest::Simulator sim;
  ASSERT_TRUE(sim.ok());
  sim.mapToCom(3);
  for (const int sprache : {1, 2}) {
    SCOPED_TRACE(sprache);
    Sprache(sprache);
    DisplayPanel(gCompanelHandle);
    PortWaehlen(3);
    ASSERT_EQ(gCom.offenerPort, 3);

    // 1200 and 2400 open, 4800 does not.
    Rs232Seam_Fail(Rs232Op::Open, 1, 2);
    const ErrorCode fehler = Zpk3Scan();
    EXPECT_LT(fehler, 0);
    EXPECT_EQ(-fehler / 1000, 100);
    EXPECT_EQ(gCom.offenerPort, -1);
    EXPECT_EQ(gCom.lport, 3);
    EXPECT_EQ(gCom.baudrate, 9600);
    // The text tells where the search stopped.
    EXPECT_EQ(Text(COMPANEL_SCANTEXT, gCompanelHandle),
              sprache == 2 ? "Looking for device with 2400 Baud ..." : "Suche Gerät mit 2400 Baud ...");
  }
}

TEST_F(Verbindung, MenuZeigtDenDialogSchliessenVerbirgtIhn) {
  HidePanel(gCompanelHandle);
  EXPECT_EQ(TestPanelVisible(gCompanelHandle), 0);
  TestOperatorMenu(gPanelHandle, MENUBAR_EINSTELLUNGEN_COM);
  EXPECT_EQ(TestPanelVisible(gCompanelHandle), 1);
  TestOperatorClick(gCompanelHandle, COMPANEL_SCHLIESSEN);
  EXPECT_EQ(TestPanelVisible(gCompanelHandle), 0);
}

}  // namespace

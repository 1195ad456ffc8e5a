// Start-up, end, language menu and information dialog of the whole program.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Com/Com.h"
#include "lauf.h"
#include "olqzpk3x/olqzpk3x.h"
#include "ser2net_harness.h"
#include "sim_harness.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

extern char** environ;

namespace {

using lauf::Arbeitsverzeichnis;
using lauf::DateiLesen;
using lauf::ProgrammLaufen;

// Whether `text` holds `zeile` as a whole line (the file ends its lines with CR LF).
bool HatZeile(const std::string& text, const std::string& zeile) {
  return ("\n" + text).find("\n" + zeile + "\r\n") != std::string::npos;
}

std::string PanelTitel(int panel) {
  std::string t;
  GetPanelAttribute(panel, ATTR_TITLE, &t);
  return t;
}

std::string Beschriftung(int panel, int control) {
  std::string t;
  GetCtrlAttribute(panel, control, ATTR_LABEL_TEXT, &t);
  return t;
}

TEST(Start, OhneKonfigurationDeutschOhnePortUndSchreibtKonfigurationBeimBeenden) {
  Arbeitsverzeichnis dir;
  int ergebnis = ProgrammLaufen([] {
    EXPECT_EQ(gSprache, 1);
    EXPECT_EQ(gCom.offenerPort, -1);
    EXPECT_EQ(gCom.adresse, '1');
    EXPECT_EQ(gCom.baudrate, 9600);
    EXPECT_TRUE(TestPanelVisible(gPanelHandle));
    EXPECT_FALSE(TestPanelVisible(gCompanelHandle));
    EXPECT_FALSE(TestPanelVisible(gInfopanelHandle));
    EXPECT_EQ(PanelTitel(gCompanelHandle), "COM Einstellung");
    EXPECT_EQ(PanelTitel(gPanelHandle), "ZPK-3X Steuerung  [Unbenannt]");
    EXPECT_EQ(Beschriftung(gPanelHandle, MAINPANEL_ZPK3LESEN), "vom ZPK-3 lesen");
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_COMPICTURERING), -1);
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERLED), 0);
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_PARAMETERSATZAUSWAHL), 0);
    EXPECT_DOUBLE_EQ(lauf::Zahl(MAINPANEL_STROM1), 0.1);
    std::string scantext = "x";
    GetCtrlString(gCompanelHandle, COMPANEL_SCANTEXT, &scantext);
    EXPECT_EQ(scantext, "");
    EXPECT_EQ(DateiLesen("zpk3xSteuerung.ini"), "") << "nothing is written before the end";
    TestOperatorMenu(gPanelHandle, MENUBAR_MENU_BEENDEN);
  });
  EXPECT_EQ(ergebnis, 0);
  std::string ini = DateiLesen("zpk3xSteuerung.ini");
  EXPECT_TRUE(HatZeile(ini, "[ZPK3X]")) << ini;
  EXPECT_TRUE(HatZeile(ini, "adresse = 49")) << ini;
  EXPECT_TRUE(HatZeile(ini, "baudrate = 9600")) << ini;
  EXPECT_TRUE(HatZeile(ini, "lport = -1")) << ini;
  EXPECT_TRUE(HatZeile(ini, "port = -1")) << ini;
  EXPECT_TRUE(HatZeile(ini, "sprache = 1")) << ini;
  EXPECT_TRUE(TestTakePopups().empty()) << "the end asks nothing";
}

TEST(Start, EnglischAusDerKonfigurationUndSchliessenDesFenstersSchreibtSieWieder) {
  Arbeitsverzeichnis dir;
  lauf::KonfigurationSchreiben(-1, 2);
  int ergebnis = ProgrammLaufen([] {
    EXPECT_EQ(gSprache, 2);
    EXPECT_EQ(PanelTitel(gCompanelHandle), "COM settings");
    EXPECT_EQ(PanelTitel(gPanelHandle), "ZPK-3X Steuerung  [Unnamed]");
    EXPECT_EQ(Beschriftung(gPanelHandle, MAINPANEL_ZPK3LESEN), "Read from ZPK-3");
    EXPECT_EQ(Beschriftung(gPanelHandle, MAINPANEL_DAUERNDABFRAGEN), "Continously");
    // Messages follow the language of the run too.
    TestOperatorClick(gPanelHandle, MAINPANEL_ZPK3START);
    EXPECT_EQ(lauf::Text(MAINPANEL_FEHLERSTRING), "COM-port not open");
    TestOperatorClose(gPanelHandle);
  });
  EXPECT_EQ(ergebnis, 0);
  EXPECT_TRUE(HatZeile(DateiLesen("zpk3xSteuerung.ini"), "sprache = 2"));
}

// Both ends must write what the run changed: here the language of the next start.
void EnglischWaehlenUndEnden(bool menue) {
  Arbeitsverzeichnis dir;
  int ergebnis = ProgrammLaufen([menue] {
    TestOperatorMenu(gPanelHandle, MENUBAR_EINSTELLUNGEN_SPRACHE_EN);
    if (menue) {
      TestOperatorMenu(gPanelHandle, MENUBAR_MENU_BEENDEN);
    } else {
      TestOperatorClose(gPanelHandle);
    }
  });
  EXPECT_EQ(ergebnis, 0);
  EXPECT_TRUE(HatZeile(DateiLesen("zpk3xSteuerung.ini"), "sprache = 2"));
}

TEST(Ende, BeendenImMenueSchreibtDieKonfiguration) { EnglischWaehlenUndEnden(true); }
TEST(Ende, SchliessenDesFenstersSchreibtDieKonfiguration) { EnglischWaehlenUndEnden(false); }

// Which language the submenu marks: {German, English}.
std::pair<int, int> Sprachmarken() {
  int de = -1, en = -1;
  GetMenuBarAttribute(GetPanelMenuBar(gPanelHandle), MENUBAR_EINSTELLUNGEN_SPRACHE_DE, ATTR_CHECKED, &de);
  GetMenuBarAttribute(GetPanelMenuBar(gPanelHandle), MENUBAR_EINSTELLUNGEN_SPRACHE_EN, ATTR_CHECKED, &en);
  return {de, en};
}

TEST(Sprache, MenueZeigtDenHinweisNurBeiEinemWechsel) {
  Arbeitsverzeichnis dir;
  int ergebnis = ProgrammLaufen([] {
    EXPECT_EQ(Sprachmarken(), std::make_pair(1, 0)) << "the language of the run is marked";
    TestOperatorMenu(gPanelHandle, MENUBAR_EINSTELLUNGEN_SPRACHE_DE);
    EXPECT_EQ(Sprachmarken(), std::make_pair(1, 0));
    EXPECT_TRUE(TestTakePopups().empty()) << "the active language shows nothing";
    EXPECT_EQ(gSpracheNeu, 1);

    TestOperatorMenu(gPanelHandle, MENUBAR_EINSTELLUNGEN_SPRACHE_EN);
    std::vector<TestPopupRecord> p = TestTakePopups();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].kind, 1);
    EXPECT_EQ(p[0].title, "Info");
    EXPECT_EQ(p[0].message,
              "Die Sprache wird nach einem Programmneustart geändert.\n\n"
              "The language will be changed after restarting the program.");
    EXPECT_EQ(gSpracheNeu, 2);
    EXPECT_EQ(Sprachmarken(), std::make_pair(0, 1)) << "the language of the next start is marked";
    EXPECT_EQ(gSprache, 1) << "the run keeps its language";
    EXPECT_EQ(PanelTitel(gCompanelHandle), "COM Einstellung") << "no window is relabelled";

    TestOperatorMenu(gPanelHandle, MENUBAR_EINSTELLUNGEN_SPRACHE_DE);
    EXPECT_TRUE(TestTakePopups().empty()) << "back to the language of the run";
    EXPECT_EQ(gSpracheNeu, 1);
  });
  EXPECT_EQ(ergebnis, 0);
  EXPECT_TRUE(HatZeile(DateiLesen("zpk3xSteuerung.ini"), "sprache = 1"));
}

TEST(Sprache, EnglischerLaufZeigtDenHinweisBeiDeutsch) {
  Arbeitsverzeichnis dir;
  lauf::KonfigurationSchreiben(-1, 2);
  ProgrammLaufen([] {
    TestOperatorMenu(gPanelHandle, MENUBAR_EINSTELLUNGEN_SPRACHE_EN);
    EXPECT_TRUE(TestTakePopups().empty());
    TestOperatorMenu(gPanelHandle, MENUBAR_EINSTELLUNGEN_SPRACHE_DE);
    std::vector<TestPopupRecord> p = TestTakePopups();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].title, "Info");
  });
  EXPECT_TRUE(HatZeile(DateiLesen("zpk3xSteuerung.ini"), "sprache = 1"));
}

void InfoDialogPruefen() {
  EXPECT_FALSE(TestPanelVisible(gInfopanelHandle));
  TestOperatorMenu(gPanelHandle, MENUBAR_HILFE_INFO);
  EXPECT_EQ(TestPanelVisible(gInfopanelHandle), 2) << "shown as a modal popup";
  std::string version, datum;
  GetCtrlString(gInfopanelHandle, INFOPANEL_VERSION, &version);
  GetCtrlString(gInfopanelHandle, INFOPANEL_DATUM, &datum);
  EXPECT_EQ(version, "V 1.0.2");
  EXPECT_EQ(datum, "1/2012");
  TestOperatorClick(gInfopanelHandle, INFOPANEL_OK);
  EXPECT_FALSE(TestPanelVisible(gInfopanelHandle));
  // It stays loaded and comes up again.
  TestOperatorMenu(gPanelHandle, MENUBAR_HILFE_INFO);
  EXPECT_TRUE(TestPanelVisible(gInfopanelHandle));
  TestOperatorClick(gInfopanelHandle, INFOPANEL_OK);
  EXPECT_FALSE(TestPanelVisible(gInfopanelHandle));
}

TEST(Info, DialogZeigtVersionUndDatumDeutsch) {
  Arbeitsverzeichnis dir;
  EXPECT_EQ(ProgrammLaufen(InfoDialogPruefen), 0);
}

TEST(Info, DialogZeigtVersionUndDatumEnglisch) {
  Arbeitsverzeichnis dir;
  lauf::KonfigurationSchreiben(-1, 2);
  EXPECT_EQ(ProgrammLaufen(InfoDialogPruefen), 0);
}

TEST(Start, KonfigurierterVorhandenerPortWirdGeoeffnetUndWiederGeschrieben) {
  simtest::Simulator sim;
  ASSERT_TRUE(sim.ok());
  sim.mapToCom(3);
  Arbeitsverzeichnis dir;
  lauf::KonfigurationSchreiben(3, 1);
  int ergebnis = ProgrammLaufen([] {
    EXPECT_EQ(gCom.offenerPort, 3);
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_COMPICTURERING), 3);
    int port = 0;
    GetCtrlVal(gCompanelHandle, COMPANEL_PORT, &port);
    EXPECT_EQ(port, 3);
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERLED), 0);
  });
  EXPECT_EQ(ergebnis, 0);
  EXPECT_TRUE(HatZeile(DateiLesen("zpk3xSteuerung.ini"), "port = 3"));
  EXPECT_TRUE(sim.frames().empty()) << "nothing is sent at start or end";
}

// Ctrl+C or SIGTERM while the window reads all programs: the program ends at
// once and sends nothing more; what it may have left owed costs the next user a
// check read, never a stale answer taken for its own.
TEST(Ende, SignalImLesenSendetNichtsMehr) {
  simtest::Simulator sim;
  ASSERT_TRUE(sim.ok());
  sim.mapToCom(1);
  sim.control("fault delay 20");
  Arbeitsverzeichnis dir;
  lauf::KonfigurationSchreiben(1, 1);
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    sim.clearFrames();
    // A process of its own, forked before this one touches the window.
    const pid_t kind = fork();
    ASSERT_GE(kind, 0);
    if (kind == 0) {
      ProgrammLaufen([] {
        TestQueueGenericAnswer(2);  // "alle"
        TestOperatorClick(gPanelHandle, MAINPANEL_ZPK3LESEN);
      });
      std::_Exit(0);
    }
    const auto ende = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (sim.frames().size() < 25 && std::chrono::steady_clock::now() < ende)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(::kill(kind, signal), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(kind, &status, 0), kind);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "ended by the signal, nothing run after it";
    // The next user of the port proves the line in step before its command.
    sim.clearFrames();
    ASSERT_EQ(OLQZPK3X_OpenDevice(1, sim.ptyPath().c_str(), 9600), 0);
    EXPECT_EQ(OLQZPK3X_DeviceFunction(1, '1', "stopp"), 0);
    EXPECT_EQ(OLQZPK3X_Close(1), 0);
    const std::vector<std::string> rahmen = sim.frames();
    ASSERT_FALSE(rahmen.empty());
    EXPECT_EQ(rahmen.front(), "#1S0R");
    EXPECT_EQ(rahmen.back(), "#1DF2");
  }
}

// A configured port that is missing stays closed, and the error area says why
// from the start, in the command line's words; no popup.
TEST(Start, KonfigurierterFehlenderPortBleibtZuUndNenntDenGrund) {
  Arbeitsverzeichnis dir;
  const std::string pfad = dir.pfad() + "/kein/geraet";
  setenv("ZPK3X_COM2", pfad.c_str(), 1);
  lauf::KonfigurationSchreiben(2, 1);
  int ergebnis = ProgrammLaufen([&pfad] {
    EXPECT_EQ(gCom.offenerPort, -1);
    EXPECT_EQ(gCom.port, 2);
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_COMPICTURERING), -1);
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERLED), 1);
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERNUMMER), 100003);
    EXPECT_EQ(lauf::Text(MAINPANEL_FEHLERSTRING),
              "Fehler beim öffnen der seriellen Schnittstelle: " + pfad + ": Gerät nicht vorhanden");
    EXPECT_TRUE(TestTakePopups().empty());
  });
  unsetenv("ZPK3X_COM2");
  EXPECT_EQ(ergebnis, 0);
  EXPECT_TRUE(HatZeile(DateiLesen("zpk3xSteuerung.ini"), "port = -1"));
}

// A device server that refuses: the port stays closed, and since the serial
// layer knows why, the error area says so from the start.
TEST(Start, KonfigurierterVerweigerterNetzportNenntDenGrund) {
  Arbeitsverzeichnis dir;
  const std::string url = "tcp://127.0.0.1:" + std::to_string(nettest::FreePort());
  setenv("ZPK3X_COM2", url.c_str(), 1);
  lauf::KonfigurationSchreiben(2, 1);
  int ergebnis = ProgrammLaufen([url] {
    EXPECT_EQ(gCom.offenerPort, -1);
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERNUMMER), 100003);
    EXPECT_EQ(lauf::Text(MAINPANEL_FEHLERSTRING),
              "Fehler beim öffnen der seriellen Schnittstelle: " + url + ": Verbindung abgewiesen");
  });
  unsetenv("ZPK3X_COM2");
  EXPECT_EQ(ergebnis, 0);
}

// Starts the real program in a process of its own with the display variables
// removed and then `display` (if any) as DISPLAY; returns its standard error.
std::string OhneAnzeigeStarten(const char* display, int* status) {
  std::vector<std::string> umgebung;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string v = *e;
    if (v.rfind("QT_QPA_PLATFORM=", 0) == 0 || v.rfind("DISPLAY=", 0) == 0 ||
        v.rfind("WAYLAND_DISPLAY=", 0) == 0) {
      continue;
    }
    umgebung.push_back(v);
  }
  if (display != nullptr) umgebung.push_back(std::string("DISPLAY=") + display);
  std::vector<char*> envp;
  for (std::string& v : umgebung) envp.push_back(v.data());
  envp.push_back(nullptr);

  int rohr[2];
  if (pipe(rohr) != 0) return "pipe failed";
  posix_spawn_file_actions_t aktionen;
  posix_spawn_file_actions_init(&aktionen);
  posix_spawn_file_actions_adddup2(&aktionen, rohr[1], 2);
  posix_spawn_file_actions_addclose(&aktionen, rohr[0]);
  std::string programm = ZPK3X_PROGRAMM;
  char* argv[] = {programm.data(), nullptr};
  pid_t kind = 0;
  int rc = posix_spawn(&kind, programm.c_str(), &aktionen, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&aktionen);
  close(rohr[1]);
  std::string fehler;
  if (rc != 0) {
    close(rohr[0]);
    return "spawn failed";
  }
  char puffer[512];
  ssize_t n;
  while ((n = read(rohr[0], puffer, sizeof puffer)) > 0) fehler.append(puffer, static_cast<size_t>(n));
  close(rohr[0]);
  if (waitpid(kind, status, 0) != kind) *status = -1;
  return fehler;
}

void ErwarteEndeOhneAnzeige(const char* display) {
  Arbeitsverzeichnis dir;
  int status = 0;
  const std::string fehler = OhneAnzeigeStarten(display, &status);
  ASSERT_TRUE(WIFEXITED(status)) << "the program must not abort: " << fehler;
  EXPECT_EQ(WEXITSTATUS(status), 255);
  ASSERT_FALSE(fehler.empty());
  EXPECT_EQ(fehler.find('\n'), fehler.size() - 1) << "exactly one line: " << fehler;
  EXPECT_NE(fehler.find("display"), std::string::npos) << fehler;
  EXPECT_EQ(DateiLesen("zpk3xSteuerung.ini"), "") << "no configuration is written";
}

TEST(Start, OhneAnzeigeEndetDasProgrammMitMinusEinsUndEinerZeile) { ErwarteEndeOhneAnzeige(nullptr); }

// A display that is named but has no server behind it (a stale DISPLAY).
TEST(Start, MitVerschwundenerAnzeigeEndetDasProgrammEbenso) { ErwarteEndeOhneAnzeige(":987"); }

// The main window after reading all programs, as a picture for the documentation.
void BildNachAllemLesen(int sprache, const std::string& datei) {
  simtest::Simulator sim;
  ASSERT_TRUE(sim.ok());
  sim.mapToCom(1);
  for (int n = 0; n <= 16; ++n) sim.control(lauf::SimulatorBefehl(n, lauf::UnterscheidbaresProgramm(n)));
  sim.control("value C0R 0.842");
  sim.control("value V0R 24.3");
  Arbeitsverzeichnis dir;
  lauf::KonfigurationSchreiben(1, sprache);
  const std::string pfad = std::string(ZPK3X_BILDER) + "/" + datei;
  std::filesystem::remove(pfad);
  int ergebnis = ProgrammLaufen([&pfad, &sim] {
    TestOperatorSetValue(gPanelHandle, MAINPANEL_PARAMETERSATZAUSWAHL, 4);
    TestQueueGenericAnswer(2);
    TestOperatorClick(gPanelHandle, MAINPANEL_ZPK3LESEN);
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERNUMMER), 0);
    // A running process, for the lamps (the device refuses transfers while it runs).
    sim.control("status 301");
    TestOperatorClick(gPanelHandle, MAINPANEL_ABFRAGEN);
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_FEHLERLED), 0) << lauf::Text(MAINPANEL_FEHLERSTRING);
    EXPECT_TRUE(lauf::Gleich(gPar[4], lauf::AlsRecord(lauf::UnterscheidbaresProgramm(4))))
        << lauf::Beschreibung(gPar[4]);
    EXPECT_DOUBLE_EQ(lauf::Zahl(MAINPANEL_STROM1), gPar[4].strom1);
    EXPECT_EQ(TestGrabPanel(gPanelHandle, pfad.c_str()), 0);
  });
  EXPECT_EQ(ergebnis, 0);
  std::string bild = DateiLesen(pfad);
  ASSERT_GT(bild.size(), 1000u);
  EXPECT_EQ(bild.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
}

TEST(Bild, HauptfensterDeutsch) { BildNachAllemLesen(1, "hauptfenster_de.png"); }
TEST(Bild, HauptfensterEnglisch) { BildNachAllemLesen(2, "hauptfenster_en.png"); }

}  // namespace

// zpk3x-cli as a separate process against the simulator on a pseudo-terminal:
// output, exit status and the frames on the line for every command.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_lauf.h"
#include "olqzpk3x/olqzpk3x.h"
#include "sim_harness.h"
#include "testdateien.h"

namespace {

using clitest::Cli;
using clitest::DateiDa;
using clitest::Ergebnis;
using testdateien::DateiLesen;
using testdateien::DateiSchreiben;
using Json = nlohmann::json;
using Strings = std::vector<std::string>;

bool Enthaelt(const std::string& text, const std::string& teil) { return text.find(teil) != std::string::npos; }

std::string Fest(double wert, int stellen) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", stellen, wert);
  return text;
}

// Program n as distinct values that are exact in binary, so texts and doubles agree.
struct Programm {
  int kurve;
  double strom1, strom2, zeit1, zeit2, frequenz, spannung, zyklen, regel;
  int endstufe;
};

Programm Unterscheidbar(int n) {
  return {n % 12 + 1, n * 0.125,     4.0 - n * 0.125, 100.0 * n, 50.0 + n, 1000.0 + n,
          9.0 + n * 0.5, 1.0 * n, 10.0 + n, n % 2};
}

std::string SimulatorProgramm(int n, const Programm& p) {
  return "program " + std::to_string(n) + " " + std::to_string(p.kurve) + " " + Fest(p.strom1, 3) + " " +
         Fest(p.strom2, 3) + " " + Fest(p.zeit1, 0) + " " + Fest(p.zeit2, 0) + " " + Fest(p.frequenz, 0) + " " +
         Fest(p.spannung, 1) + " " + Fest(p.zyklen, 0) + " " + Fest(p.regel, 0) + " " + std::to_string(p.endstufe);
}

// The frames the window sends for one program (Part of the shared transfer).
Strings SchreibRahmen(int n, const Programm& p) {
  Strings r = {"#1WFW" + std::to_string(p.kurve), "#1C1W" + Fest(p.strom1, 3), "#1C2W" + Fest(p.strom2, 3),
               "#1T1W" + Fest(p.zeit1, 0),        "#1T2W" + Fest(p.zeit2, 0),  "#1F1W" + Fest(p.frequenz, 0),
               "#1V1W" + Fest(p.spannung, 1),     "#1L1W" + Fest(p.zyklen, 0), "#1A1W" + Fest(p.regel, 0),
               "#1M1W" + std::to_string(p.endstufe)};
  if (n != 0) r.push_back("#1PNP" + std::to_string(n));
  return r;
}

Strings LeseRahmen(int n) {
  Strings r;
  if (n != 0) r.push_back("#1PNS" + std::to_string(n));
  for (const char* c : {"WFR", "C1R", "C2R", "T1R", "T2R", "F1R", "V1R", "L1R", "A1R", "M1R"})
    r.push_back(std::string("#1") + c);
  return r;
}

class Kommandozeile : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("LANG");
    ::unsetenv("LC_ALL");  // the language variables come before LANG
    ::unsetenv("LC_MESSAGES");
    ASSERT_TRUE(sim_.ok());
    sim_.mapToCom(1);
  }

  void ProgrammeVorgeben() {
    for (int n = 1; n <= 16; ++n) ASSERT_TRUE((sim_.control(SimulatorProgramm(n, Unterscheidbar(n))), sim_.ok()));
    sim_.clearFrames();
  }

  Ergebnis Am1(Strings argumente) {
    argumente.insert(argumente.begin(), {"--port", "1"});
    return Cli(argumente);
  }

  testdateien::Arbeitsverzeichnis verzeichnis_;
  simtest::Simulator sim_;
};

TEST_F(Kommandozeile, GeraetebefehleSendenIhrenRahmenUndMeldenErfolg) {
  const std::pair<Strings, std::string> faelle[] = {
      {{"start"}, "#1DF1"}, {{"stop"}, "#1DF2"},         {{"clear"}, "#1DF3"},
      {{"calibrate"}, "#1DF4"}, {{"load", "5"}, "#1PNS5"}, {{"store", "16"}, "#1PNP16"},
  };
  for (const auto& [argumente, rahmen] : faelle) {
    sim_.clearFrames();
    const Ergebnis r = Am1(argumente);
    EXPECT_EQ(r.status, 0) << argumente[0] << r.err;
    EXPECT_TRUE(Enthaelt(r.aus, "done")) << r.aus;
    EXPECT_EQ(sim_.frames(), Strings{rahmen}) << argumente[0];
  }
  Strings json = {"--json", "start"};
  EXPECT_EQ(Json::parse(Am1(json).aus)["ok"], true);
  // A refusal is the device's answer: status 4 and the catalogue text.
  sim_.control("fault nak DF1");
  const Ergebnis r = Am1({"start"});
  EXPECT_EQ(r.status, 4);
  EXPECT_TRUE(Enthaelt(r.err, "Error #402021: Errormessage (NAK) received from device")) << r.err;
}

TEST_F(Kommandozeile, KennungStatusUndIstwerte) {
  sim_.control("status 2201");
  sim_.control("value C0R 1.250");
  sim_.control("value V0R 24.5");
  Ergebnis r = Am1({"id"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.aus, "OLQ-ZPK3X-SIM\n");

  r = Am1({"status"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.aus, "Status: 0x2201\n  0x0001  Inside temperature too high\n  0x0200  Programm aktiv\n"
                   "  0x2000  Process has been canceld\n");
  EXPECT_EQ(sim_.frames().back(), "#1S0R");

  ::setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_TRUE(Enthaelt(Am1({"status"}).aus, "Innentemperatur zu hoch"));
  EXPECT_TRUE(Enthaelt(Am1({"--lang", "en", "status"}).aus, "Inside temperature too high"));

  const Json j = Json::parse(Am1({"--json", "get"}).aus);
  EXPECT_EQ(j["current"], 1.25);
  EXPECT_EQ(j["voltage"], 24.5);
  EXPECT_EQ(j["status"], 0x2201);
  ASSERT_EQ(j["bits"].size(), 3u);
  EXPECT_EQ(j["bits"][1]["text"], "Programm aktiv");
  EXPECT_EQ(j["bits"][2]["text"], "Prozess wurde abgebrochen");

  // A whole reading as the table and the text write it: 12, not 12.0.
  sim_.control("value V0R 12.0");
  r = Am1({"--json", "get"});
  EXPECT_TRUE(Enthaelt(r.aus, "\"voltage\":12,")) << r.aus;
  EXPECT_TRUE(Enthaelt(Am1({"--lang", "en", "get"}).aus, "Voltage [V]:  12\n"));
}

TEST_F(Kommandozeile, AlleLesenSendetDieRahmenDesFenstersUndSchreibtDieDatei) {
  ProgrammeVorgeben();
  Ergebnis r = Am1({"read", "all", "-o", "a.json"});
  ASSERT_EQ(r.status, 0) << r.err;
  // The working parameters are read first and written back at the end: reading
  // leaves the device as it found it.
  Strings erwartet = LeseRahmen(0);
  for (int n = 1; n <= 16; ++n) {
    const Strings s = LeseRahmen(n);
    erwartet.insert(erwartet.end(), s.begin(), s.end());
  }
  EXPECT_EQ(erwartet.size(), 186u);
  Strings rahmen = sim_.frames();
  ASSERT_EQ(rahmen.size(), 196u);
  const Strings zurueck(rahmen.begin() + 186, rahmen.end());
  rahmen.resize(186);
  EXPECT_EQ(rahmen, erwartet);
  const Strings arbeit = SchreibRahmen(0, Unterscheidbar(0));
  for (std::size_t i = 0; i < zurueck.size(); ++i) EXPECT_EQ(zurueck[i].substr(0, 5), arbeit[i].substr(0, 5));
  EXPECT_EQ(r.err, "");  // no progress where nobody watches

  // On a terminal the count of programs done goes to standard error.
  r = clitest::CliAmTerminal({"--port", "1", "read", "all", "-o", "a.json"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(Enthaelt(r.err, "\rprograms read 1/16")) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, "\rprograms read 16/16")) << r.err;

  const Json j = Json::parse(DateiLesen("a.json"));
  EXPECT_EQ(j["auswahl"], 0);
  for (int n = 1; n <= 16; ++n) {
    const Programm p = Unterscheidbar(n);
    const Json& s = j["programme"][n];
    EXPECT_EQ(s["stromkurve"], p.kurve);
    EXPECT_EQ(s["strom2"], p.strom2);
    EXPECT_EQ(s["spannung"], p.spannung);
    EXPECT_EQ(s["endstuferegeln"], p.endstufe);
  }
  // Slot 0 holds the working parameters, which are still on the device.
  const Json jetzt = Json::parse(Am1({"--json", "read", "0"}).aus);
  EXPECT_EQ(j["programme"][0], jetzt["programme"][0]);
}

TEST_F(Kommandozeile, RundreiseUeberDasGeraetGibtDieGleicheDatei) {
  ProgrammeVorgeben();
  ASSERT_EQ(Am1({"read", "all", "-o", "a.zpk"}).status, 0);
  for (int n = 1; n <= 16; ++n) sim_.control(SimulatorProgramm(n, Unterscheidbar(17 - n)));
  sim_.clearFrames();

  const Ergebnis r = Am1({"write", "all", "-i", "a.zpk"});
  ASSERT_EQ(r.status, 0) << r.err;
  // The working parameters read first; each program written, read back and
  // compared; the working parameters put back as they were found.
  Strings erwartet = LeseRahmen(0);
  for (int n = 1; n <= 16; ++n) {
    const Strings s = SchreibRahmen(n, Unterscheidbar(n));
    erwartet.insert(erwartet.end(), s.begin(), s.end());
  }
  for (int n = 1; n <= 16; ++n) {
    const Strings s = LeseRahmen(n);
    erwartet.insert(erwartet.end(), s.begin(), s.end());
  }
  Strings rahmen = sim_.frames();
  ASSERT_EQ(rahmen.size(), erwartet.size() + 10);
  const Strings zurueck = SchreibRahmen(0, Unterscheidbar(1));
  for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(rahmen[erwartet.size() + i].substr(0, 5), zurueck[i].substr(0, 5));
  rahmen.resize(erwartet.size());
  EXPECT_EQ(rahmen, erwartet);

  ASSERT_EQ(Am1({"read", "all", "-o", "b.zpk"}).status, 0);
  EXPECT_EQ(DateiLesen("a.zpk").size(), 1408u);
  // Every slot the same, the working parameters too: nothing changed them.
  EXPECT_EQ(DateiLesen("a.zpk"), DateiLesen("b.zpk"));
}

TEST_F(Kommandozeile, EinzelnesProgrammUndArbeitsparameter) {
  ProgrammeVorgeben();
  ASSERT_EQ(Am1({"read", "0"}).status, 0);
  EXPECT_EQ(sim_.frames(), LeseRahmen(0));  // no "programmladen"

  sim_.clearFrames();
  ASSERT_EQ(Am1({"read", "5", "-o", "c.csv"}).status, 0);
  Strings rahmen = sim_.frames();
  ASSERT_EQ(rahmen.size(), 31u);  // working parameters, program 5, working parameters back
  rahmen.resize(21);
  Strings erwartet = LeseRahmen(0);
  const Strings fuenf = LeseRahmen(5);
  erwartet.insert(erwartet.end(), fuenf.begin(), fuenf.end());
  EXPECT_EQ(rahmen, erwartet);
  const Json j = Json::parse(Am1({"--json", "show", "c.csv"}).aus);
  EXPECT_EQ(j["auswahl"], 5);
  EXPECT_EQ(j["programme"][5]["zeit1"], 500);
  EXPECT_TRUE(j["programme"][4].is_null());  // not read: not in the file

  sim_.clearFrames();
  ASSERT_EQ(Am1({"write", "0", "-i", "c.csv", "--no-verify"}).status, 0);
  const Strings geschrieben = sim_.frames();
  ASSERT_EQ(geschrieben.size(), 10u);  // no "programmspeichern"
  for (std::size_t i = 0; i < geschrieben.size(); ++i)
    EXPECT_EQ(geschrieben[i].substr(0, 5), SchreibRahmen(0, Unterscheidbar(5))[i].substr(0, 5));
}

TEST_F(Kommandozeile, TrockenlaufZeigtDieRahmenUndSendetNichts) {
  ProgrammeVorgeben();
  ASSERT_EQ(Am1({"read", "all", "-o", "a.zpk"}).status, 0);
  sim_.clearFrames();
  const Ergebnis r = Am1({"write", "all", "-i", "a.zpk", "--dry-run"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string erwartet;
  for (int n = 1; n <= 16; ++n)
    for (const std::string& s : SchreibRahmen(n, Unterscheidbar(n))) erwartet += s + "\n";
  EXPECT_EQ(r.aus, erwartet);
  EXPECT_TRUE(sim_.frames().empty());
}

TEST_F(Kommandozeile, UngueltigerWertInDerDateiNenntProgrammFeldUndBereichUndSendetNichts) {
  ASSERT_EQ(Am1({"read", "all", "-o", "alle.json"}).status, 0);
  Json j = Json::parse(DateiLesen("alle.json"));
  j["programme"][5]["strom1"] = 7;
  j["programme"][9]["spannung"] = "nan";
  DateiSchreiben("bad.json", j.dump());
  sim_.clearFrames();

  Ergebnis r = Am1({"write", "all", "-i", "bad.json"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Enthaelt(r.err, "program 5, strom1 = 7; allowed: 0.001 .. 4.000")) << r.err;
  EXPECT_TRUE(sim_.frames().empty());

  // Only the slots to be written are checked.
  EXPECT_EQ(Am1({"write", "3", "-i", "bad.json"}).status, 0);
  r = Am1({"write", "9", "-i", "bad.json"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Enthaelt(r.err, "program 9, spannung = nan; allowed: 9.0 .. 53.0")) << r.err;

  // A value that is no number at all is a bad value too.
  j["programme"][5]["strom1"] = "viel";
  DateiSchreiben("bad.json", j.dump());
  r = Am1({"write", "all", "-i", "bad.json"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Enthaelt(r.err, "program 5, field strom1: \"viel\" is not a number")) << r.err;
}

TEST_F(Kommandozeile, StummesGeraetMittenImLesenLaesstDieAlteDateiStehen) {
  ProgrammeVorgeben();
  DateiSchreiben("out.zpk", "alt");
  sim_.control("fault after 40 silence");
  const Ergebnis r = Am1({"--json", "--timeout", "0.1", "read", "all", "-o", "out.zpk"});
  EXPECT_EQ(r.status, 4);
  EXPECT_TRUE(Enthaelt(r.err, "No answer from device")) << r.err;
  const Json fehler = Json::parse(r.aus)["error"];
  EXPECT_EQ(fehler["code"].get<int>() / 1000, 403);
  EXPECT_EQ(DateiLesen("out.zpk"), "alt");
  EXPECT_EQ(sim_.frames().size(), 41u);
  // Nothing half-written was left behind beside it.
  int dateien = 0;
  for (const auto& eintrag : std::filesystem::directory_iterator(".")) dateien += eintrag.is_regular_file() ? 1 : 0;
  EXPECT_EQ(dateien, 1);
}

TEST_F(Kommandozeile, EinVonEinemAnderenProzessGehaltenerPortGibtStatus3) {
  // The test process holds the port exactly as the window does.
  ASSERT_EQ(OLQZPK3X_Open(1, 9600), 0);
  const Ergebnis r = Am1({"id"});
  OLQZPK3X_Close(1);
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(Enthaelt(r.err, "Error #100003: Error opening com-port")) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, ": held by another program: " + std::to_string(::getpid()) + " (")) << r.err;
  EXPECT_EQ(Am1({"id"}).status, 0);
  EXPECT_EQ(Cli({"--port", "/nonexistent/tty", "id"}).status, 3);
}

// A device that goes away in the middle (the line hung up) is the port's
// failure with its own message, not a silent device.
TEST_F(Kommandozeile, GetrennteLeitungMittenImLesenGibtStatus3UndIhreMeldung) {
  ProgrammeVorgeben();
  sim_.control("fault hangup 20");
  const Ergebnis r = Am1({"--json", "read", "all", "-o", "out.zpk"});
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(Enthaelt(r.err, "Error #127125: Connection to the serial device lost (port hung up)")) << r.err;
  EXPECT_EQ(Json::parse(r.aus)["error"]["code"], 127125);
  EXPECT_FALSE(DateiDa("out.zpk"));
}

// The monitor ends on a hung-up port as the window's continuous query does,
// without --stop-on-error, instead of polling a line that is gone.
TEST_F(Kommandozeile, MonitorEndetBeiGetrennterLeitung) {
  sim_.control("fault hangup 2");
  const Ergebnis r = Am1({"monitor", "--interval", "0.05", "--duration", "20"});
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(Enthaelt(r.err, "Error #127125")) << r.err;
}


// seconds since the first line, status names in the command's language.
TEST_F(Kommandozeile, MonitorSchreibtJedeAbfrageAuchDieFehlgeschlagenen) {
  const std::string zeitMuster = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)";
  const std::regex zeit(zeitMuster);
  sim_.control("value C0R 0.500");
  sim_.control("value V0R 24.5");
  sim_.control("status 300");
  ::setenv("LANG", "de_DE.UTF-8", 1);
  Ergebnis r = Am1({"monitor", "--interval", "0.2", "--duration", "0.9", "-o", "m.csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string csv = DateiLesen("m.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 6);  // header and five queries
  EXPECT_EQ(csv.rfind("time,seconds,current_A,voltage_V,status,status_bits,error\n", 0), 0u);
  const std::string zweite = csv.substr(csv.find('\n') + 1);
  const std::regex gut("^" + zeitMuster + ",0\\.000,0\\.500,24\\.5,0x0300,\"Prozess wurde gestartet\\|Programm aktiv\",0\n");
  EXPECT_TRUE(std::regex_search(zweite, gut)) << csv;
  // The terminal shows the same time stamps.
  EXPECT_TRUE(std::regex_search(r.aus, zeit)) << r.aus;
  EXPECT_TRUE(Enthaelt(r.err, "monitor: 5 Abfragen, 5 beantwortet")) << r.err;
  // One query is one, in either language.
  EXPECT_TRUE(Enthaelt(Am1({"monitor", "--interval", "1", "--duration", "0.3"}).err, "monitor: 1 Abfrage, 1 beantwortet"));
  EXPECT_TRUE(Enthaelt(Am1({"--lang", "en", "monitor", "--interval", "1", "--duration", "0.3"}).err, "monitor: 1 query, 1 answered"));

  // A silent device: every query a line with the code and empty values, and on.
  ::unsetenv("LANG");
  sim_.control("fault silence C0R");
  // Not one query answered: exit 4, and the stream ends with its summary.
  r = Am1({"--json", "--timeout", "0.05", "monitor", "--interval", "0.1", "--duration", "0.25", "-o", "m.csv"});
  EXPECT_EQ(r.status, 4);
  EXPECT_TRUE(Enthaelt(r.err, " queries, 0 answered, ")) << r.err;
  const std::string letzte = r.aus.substr(r.aus.rfind('\n', r.aus.size() - 2) + 1);
  const Json summe = Json::parse(letzte)["summary"];
  EXPECT_EQ(summe["answered"], 0) << letzte;
  EXPECT_EQ(summe["failed"], summe["queries"]) << letzte;
  csv = DateiLesen("m.csv");
  EXPECT_TRUE(Enthaelt(csv, ",,,,,403101\n")) << csv;
  const Json zeile = Json::parse(r.aus.substr(0, r.aus.find('\n')));
  EXPECT_TRUE(std::regex_match(zeile["time"].get<std::string>(), zeit)) << zeile;
  EXPECT_TRUE(zeile["current"].is_null());
  EXPECT_EQ(zeile["error"]["code"], 403101);

  r = Am1({"--timeout", "0.05", "monitor", "--interval", "0.1", "--stop-on-error"});
  EXPECT_EQ(r.status, 4);
  EXPECT_TRUE(Enthaelt(r.err, "#403101")) << r.err;
}

TEST_F(Kommandozeile, StrgCBeendetDenMonitorMitVollstaendigerDatei) {
  clitest::Hintergrund monitor({"--port", "1", "monitor", "--interval", "0.05", "-o", "m.csv"});
  const auto ende = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::string csv;
  while (std::count(csv.begin(), csv.end(), '\n') < 4 && std::chrono::steady_clock::now() < ende) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    csv = DateiLesen("m.csv");
  }
  // Ctrl+C is a monitor's normal end, as of ping: a summary, and success.
  const Ergebnis r = monitor.Beenden();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, "failed in ")) << r.err;
  EXPECT_FALSE(Enthaelt(r.err, "Error")) << r.err;
  csv = DateiLesen("m.csv");
  ASSERT_GE(std::count(csv.begin(), csv.end(), '\n'), 4);
  EXPECT_EQ(csv.back(), '\n');
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), std::count(r.aus.begin(), r.aus.end(), '\n'));
}

// A pattern in -o: a new file whenever the name changes, each line in the file
// that its time names; a name that comes again leaves the earlier file alone.
TEST_F(Kommandozeile, MonitorBeginntEineNeueDateiWennSichDerNameAendert) {
  Ergebnis r = Am1({"--json", "monitor", "--interval", "0.25", "--duration", "2.2", "-o", "m-%H%M%S.csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::map<std::string, long> zeilen;
  std::istringstream aus(r.aus);
  for (std::string z; std::getline(aus, z);) {
    if (z.rfind("{\"summary\":", 0) == 0) continue;
    const std::string t = Json::parse(z)["time"];
    ++zeilen["m-" + t.substr(11, 2) + t.substr(14, 2) + t.substr(17, 2) + ".csv"];
  }
  EXPECT_GE(zeilen.size(), 2u) << r.aus;
  for (const auto& [name, anzahl] : zeilen) {
    const std::string csv = DateiLesen(name);
    EXPECT_EQ(csv.rfind("time,seconds,", 0), 0u) << name;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), anzahl + 1) << name << "\n" << csv;
  }

  ASSERT_EQ(Am1({"monitor", "--duration", "0.1", "-o", "fest%%.csv"}).status, 0);
  ASSERT_EQ(Am1({"monitor", "--duration", "0.1", "-o", "fest%%.csv"}).status, 0);
  EXPECT_TRUE(DateiDa("fest%.csv") && DateiDa("fest%-2.csv"));

  r = Am1({"monitor", "--duration", "0.1", "-o", "m-%s.csv"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Enthaelt(r.err, "only %Y %y %m %d %H %M %S %j and %% in the name")) << r.err;
}

TEST(KommandozeileSuche, FindetDasGeraetBeiSeinerRateUndAdresse) {
  ::unsetenv("LANG");
  ::unsetenv("LC_ALL");  // the language variables come before LANG
  ::unsetenv("LC_MESSAGES");
  testdateien::Arbeitsverzeichnis verzeichnis;
  simtest::SimOptions optionen;
  optionen.address = '3';
  optionen.baud = 4800;
  simtest::Simulator sim(optionen);
  ASSERT_TRUE(sim.ok());
  sim.mapToCom(2);
  Ergebnis r = Cli({"--port", "2", "--timeout", "0.02", "scan"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Enthaelt(r.aus, "Found: address 3, 4800 baud")) << r.aus;
  // Probed at 1200, 2400 and 4800 only, every address at each.
  EXPECT_EQ(sim.frames().size(), 24u);

  // The configuration file's settings, each on its own, as the window keeps them.
  DateiSchreiben("zpk3xSteuerung.ini", "[ZPK3X]\nport = 2\nadresse = 51\nbaudrate = 4800\n");
  r = Cli({"--json", "id"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Json::parse(r.aus)["identity"], "OLQ-ZPK3X-SIM");
  EXPECT_EQ(Cli({"--timeout", "0.02", "--address", "1", "id"}).status, 4);

  sim.control("fault silence *");
  r = Cli({"--port", "2", "--timeout", "0.01", "--json", "scan"});
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(Json::parse(r.aus)["error"]["code"], 780308);
}

TEST_F(Kommandozeile, AufrufUndDateifehler) {
  const std::pair<Strings, int> faelle[] = {
      {{}, 2},
      {{"fly"}, 2},
      {{"--port", "1", "load", "17"}, 2},
      {{"--port", "9", "id"}, 2},
      {{"--baud", "1234", "id"}, 2},
      {{"--port", "1", "read", "17"}, 2},
      {{"--port", "1", "read", "all", "-o", "a.txt"}, 2},
      {{"--port", "1", "read", "all", "-o", "fehlt/a.zpk"}, 5},
      {{"show", "fehlt.zpk"}, 5},
      {{"convert", "fehlt.zpk", "b.json"}, 5},
      {{"convert", "a.zpk", "b.txt"}, 2},
  };
  for (const auto& [argumente, status] : faelle) {
    const Ergebnis r = Cli(argumente);
    EXPECT_EQ(r.status, status) << (argumente.empty() ? "" : argumente[0]) << r.err;
    EXPECT_FALSE(r.err.empty());
  }
  EXPECT_TRUE(sim_.frames().empty());

  const Ergebnis r = Cli({"--json", "--port", "1", "load", "0"});
  EXPECT_EQ(Json::parse(r.aus)["error"]["code"], 504301);

  DateiSchreiben("fremd.zpk", std::string(1408, 'x'));
  ::setenv("LANG", "de_DE.UTF-8", 1);
  const Ergebnis d = Cli({"show", "fremd.zpk"});
  EXPECT_EQ(d.status, 5);
  EXPECT_TRUE(Enthaelt(d.err, "Fehler #302106: Die Datei ist nicht vom richtigen Typ")) << d.err;
}

TEST_F(Kommandozeile, ZeigenUndUmwandeln) {
  ProgrammeVorgeben();
  ASSERT_EQ(Am1({"read", "all", "-o", "a.zpk"}).status, 0);
  const Ergebnis r = Cli({"show", "a.zpk"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(std::count(r.aus.begin(), r.aus.end(), '\n'), 19);  // header, 17 slots, the mark's note
  EXPECT_TRUE(Enthaelt(r.aus, "\n  0*")) << r.aus;
  ASSERT_EQ(Cli({"convert", "a.zpk", "a.csv"}).status, 0);
  ASSERT_EQ(Cli({"convert", "a.csv", "a.json"}).status, 0);
  ASSERT_EQ(Cli({"convert", "a.json", "b.zpk"}).status, 0);
  EXPECT_EQ(DateiLesen("a.zpk"), DateiLesen("b.zpk"));
  EXPECT_TRUE(DateiDa("a.csv"));
}

// An output file stays the file it was, as after the window's save: a link
// stays a link to it, and its mode, owner and group are kept. Unlike the save,
// it is never written in place: another hard link keeps the old content.
TEST_F(Kommandozeile, AusgabedateiBehaeltLinkModusUndBesitzer) {
  ProgrammeVorgeben();
  ASSERT_EQ(Am1({"read", "all", "-o", "a.zpk"}).status, 0);
  std::filesystem::create_directory("ziel");
  DateiSchreiben("ziel/b.zpk", "alt");
  ASSERT_EQ(::chmod("ziel/b.zpk", 0640), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown("ziel/b.zpk", 65534, 65534), 0);
  }
  ASSERT_EQ(::symlink("ziel/b.zpk", "b.zpk"), 0);
  ASSERT_EQ(::link("ziel/b.zpk", "alt.zpk"), 0);

  ASSERT_EQ(Cli({"convert", "a.zpk", "b.zpk"}).status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink("b.zpk"));
  EXPECT_EQ(DateiLesen("ziel/b.zpk"), DateiLesen("a.zpk"));
  struct stat st {};
  ASSERT_EQ(::stat("ziel/b.zpk", &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
  }
  EXPECT_EQ(DateiLesen("alt.zpk"), "alt");
  EXPECT_EQ(std::filesystem::directory_iterator("ziel")->path().filename(), "b.zpk");  // no temporary left
}

}  // namespace

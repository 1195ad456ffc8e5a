// zpk3x-cli against a device that answers late, twice or not at all, and
// interrupted transfers: never a success for what did not happen, and every
// device error says where it happened.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "cli_lauf.h"
#include "sim_harness.h"
#include "testdateien.h"

namespace {

using clitest::Cli;
using clitest::Ergebnis;
using Json = nlohmann::json;
using Strings = std::vector<std::string>;

bool Enthaelt(const std::string& text, const std::string& teil) { return text.find(teil) != std::string::npos; }

class Geraetefehler : public ::testing::Test {
 protected:
  explicit Geraetefehler(simtest::SimOptions optionen = {}) : sim_(optionen) {}
  void SetUp() override {
    ::unsetenv("LANG");
    ASSERT_TRUE(sim_.ok());
    sim_.mapToCom(1);
  }
  void Steuern(const std::string& befehl) {
    sim_.control(befehl);
    ASSERT_TRUE(sim_.ok()) << befehl;
  }
  Ergebnis Am1(Strings argumente) {
    argumente.insert(argumente.begin(), {"--port", "1"});
    return Cli(argumente);
  }
  // Waits until the device has received `anzahl` frames (at most 20 s).
  void FrameAbwarten(std::size_t anzahl) {
    const auto ende = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (sim_.frames().size() < anzahl && std::chrono::steady_clock::now() < ende)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }

  testdateien::Arbeitsverzeichnis verzeichnis_;
  simtest::Simulator sim_;
};

// The first call's answer comes after its time-out, while the second call waits
// for its own: the late ACK must not be taken for "stop"'s.
TEST_F(Geraetefehler, SpaeteAntwortEinesAufrufsGiltNichtFuerDenNaechsten) {
  Steuern("fault late DF1 400");
  Steuern("fault silence DF2");
  EXPECT_EQ(Am1({"--timeout", "0.3", "start"}).status, 4);
  Ergebnis r = Am1({"--timeout", "0.3", "stop"});
  EXPECT_EQ(r.status, 4) << r.aus;
  EXPECT_TRUE(Enthaelt(r.err, "#403023")) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, "frame #1DF2, answer: nothing within the time-out")) << r.err;

  // The device refuses "stop" after its late ACK of "start".
  Steuern("fault nak DF2");
  EXPECT_EQ(Am1({"--timeout", "0.3", "start"}).status, 4);
  r = Am1({"--timeout", "0.3", "stop"});
  EXPECT_EQ(r.status, 4) << r.aus;
  EXPECT_TRUE(Enthaelt(r.err, "frame #1DF2, answer: NAK")) << r.err;
  EXPECT_EQ(sim_.frames(), (Strings{"#1DF1", "#1DF2", "#1DF1", "#1DF2"}));
}

// Killed right after its frame, the first call cannot wait for quiet; the
// record it left is found through another link to the same terminal.
TEST_F(Geraetefehler, GetoeteterAufrufHinterlaesstDieFalleNicht) {
  ASSERT_EQ(::symlink(sim_.ptyPath().c_str(), "a"), 0);
  ASSERT_EQ(::symlink(sim_.ptyPath().c_str(), "b"), 0);
  Steuern("fault late DF1 300");
  Steuern("fault silence DF2");
  clitest::Hintergrund start({"--port", "a", "start"});
  FrameAbwarten(1);
  start.Beenden(SIGKILL);
  const Ergebnis r = Cli({"--port", "b", "stop"});
  EXPECT_EQ(r.status, 4) << r.aus;
  EXPECT_FALSE(Enthaelt(r.aus, "done")) << r.aus;
  EXPECT_EQ(sim_.frames(), (Strings{"#1DF1", "#1DF2"}));
  // Once the line was quiet the record is gone: a device that answers is not delayed.
  Steuern("fault none");
  const auto vorher = std::chrono::steady_clock::now();
  EXPECT_EQ(Cli({"--port", "b", "stop"}).status, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - vorher, std::chrono::milliseconds(400));
}

// An ACK sent twice, the second 50 ms later, arrives where the refused store's
// answer should be.
TEST_F(Geraetefehler, DoppelteAntwortImSchreibenIstEinFehlerMitEigenemCode) {
  ASSERT_EQ(Am1({"read", "3", "-o", "p.json"}).status, 0);
  Steuern("fault twice M1W");
  Steuern("fault nak PNP");
  const Ergebnis r = Am1({"--json", "write", "3", "-i", "p.json"});
  EXPECT_EQ(r.status, 4);
  EXPECT_FALSE(Enthaelt(r.aus, "written:")) << r.aus;
  const Json fehler = Json::parse(r.aus)["error"];
  EXPECT_EQ(fehler["code"], -410125);
  EXPECT_EQ(fehler["program"], 3);
  EXPECT_EQ(fehler["frame"], "#1PNP3");
  EXPECT_EQ(fehler["answer"], "ACK NAK");
  EXPECT_EQ(fehler["completed"], 0);
  EXPECT_TRUE(Enthaelt(r.err, "Answers out of step")) << r.err;
  // A single command too, in German.
  Steuern("fault none");
  Steuern("fault twice DF3 0");
  const Ergebnis de = Am1({"--lang", "de", "clear"});
  EXPECT_EQ(de.status, 4);
  EXPECT_TRUE(Enthaelt(de.err, "Antworten nicht im Takt der Befehle")) << de.err;
}

TEST_F(Geraetefehler, TransferfehlerNennenProgrammFeldRahmenAntwortUndStand) {
  ASSERT_EQ(Am1({"read", "all", "-o", "alle.json"}).status, 0);
  sim_.clearFrames();
  // Programs 1 to 4 and three frames of program 5, then nothing.
  Steuern("fault after 47 silence");
  Ergebnis r = Am1({"--json", "--timeout", "0.1", "write", "all", "-i", "alle.json"});
  EXPECT_EQ(r.status, 4);
  Json fehler = Json::parse(r.aus)["error"];
  EXPECT_EQ(fehler["program"], 5);
  EXPECT_EQ(fehler["field"], "zeit1");
  EXPECT_EQ(fehler["frame"].get<std::string>().rfind("#1T1W", 0), 0u) << fehler;
  EXPECT_TRUE(fehler["answer"].is_null());
  EXPECT_EQ(fehler["completed"], 4);
  EXPECT_TRUE(Enthaelt(r.err, "program 5, field zeit1: frame #1T1W")) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, "programs 1 to 4 stored; program 5 partly written to the working parameters")) << r.err;

  Steuern("fault none");
  Steuern("fault nak PNP");
  r = Am1({"--lang", "de", "write", "all", "-i", "alle.json"});
  EXPECT_EQ(r.status, 4);
  EXPECT_TRUE(Enthaelt(r.err, "Programm 1: Rahmen #1PNP1, Antwort: NAK\nnichts gespeichert; Programm 1 in die "
                               "Arbeitsparameter geschrieben, nicht gespeichert")) << r.err;

  // Reading: silent at program 3's second current; the file stays untouched.
  Steuern("fault none");
  Steuern("fault after 25 silence");
  r = Am1({"--timeout", "0.1", "read", "all", "-o", "neu.json"});
  EXPECT_EQ(r.status, 4);
  EXPECT_TRUE(Enthaelt(r.err, "program 3, field strom2: frame #1C2R, answer: nothing within the time-out\n"
                              "programs 1 to 2 read; program 3 loaded into the working parameters, not read whole; "
                              "file not written: neu.json")) << r.err;
  EXPECT_FALSE(clitest::DateiDa("neu.json"));

  // A garbled answer: printable text in quotes, the rest by name or in hex (the
  // read stops at the byte above 0x7F).
  Steuern("fault none");
  Steuern("value C0R \\x01\\xA5");
  r = Am1({"--json", "get"});
  EXPECT_EQ(r.status, 4);
  fehler = Json::parse(r.aus)["error"];
  EXPECT_EQ(fehler["frame"], "#1C0R");
  EXPECT_EQ(fehler["code"], -404103);
  EXPECT_EQ(fehler["answer"], "ACK \"#1C0R\" 0x01 0xA5") << fehler;

  // A device that goes away mid-transfer is a lost line, not a silent device.
  Steuern("fault none");
  Steuern("fault hangup 30");
  r = Am1({"read", "all", "-o", "neu.json"});
  EXPECT_EQ(r.status, 3);  // a hung-up port is a port error
  EXPECT_TRUE(Enthaelt(r.err, "program 3, field zyklen: frame #1L1R, answer: the line was lost")) << r.err;
}

// Reading all, stopped by SIGTERM: the output file is not written at all.
TEST_F(Geraetefehler, SignalImLesenLaesstDieAusgabedateiUnberuehrt) {
  Steuern("fault delay 30");
  clitest::Hintergrund lesen({"--port", "1", "read", "all", "-o", "neu.json"});
  FrameAbwarten(14);
  const Ergebnis r = lesen.Beenden(SIGTERM);
  EXPECT_EQ(r.status, 143) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, "program 1 read; program 2 loaded into the working parameters, not read whole; "
                              "file not written: neu.json")) << r.err;
  EXPECT_FALSE(clitest::DateiDa("neu.json"));
  EXPECT_LT(sim_.frames().size(), 22u);
}

class GeraetefehlerLangsam : public Geraetefehler {
 protected:
  GeraetefehlerLangsam() : Geraetefehler(Langsam()) {}
  static simtest::SimOptions Langsam() {
    simtest::SimOptions o;
    o.baud = 1200;
    o.pace = true;
    return o;
  }
};

// Ctrl+C or SIGTERM in the middle of program 2: its frame in flight is answered,
// nothing more is sent, and the command says how far it got.
TEST_F(GeraetefehlerLangsam, SignalImSchreibenBeendetNachDemRahmenUnterwegs) {
  // A whole table: the working parameters read, the other slots at their defaults.
  ASSERT_EQ(Am1({"--baud", "1200", "read", "0", "-o", "alle.zpk"}).status, 0);
  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    SCOPED_TRACE(signal);
    sim_.clearFrames();
    clitest::Hintergrund schreiben({"--port", "1", "--baud", "1200", "--json", "write", "all", "-i", "alle.zpk"});
    FrameAbwarten(14);
    const Ergebnis r = schreiben.Beenden(signal);
    EXPECT_EQ(r.status, status) << r.err;
    const Strings rahmen = sim_.frames();
    ASSERT_GE(rahmen.size(), 14u);
    ASSERT_LT(rahmen.size(), 22u);
    EXPECT_EQ(rahmen[10], "#1PNP1");
    const Json fehler = Json::parse(r.aus)["error"];
    EXPECT_EQ(fehler["completed"], 1);
    EXPECT_TRUE(Enthaelt(r.err, "Aborted by user\nprogram 1 stored; program 2 partly written to the working parameters"))
        << r.err;
    // The last frame left whole: the next one arrives on its own.
    ASSERT_EQ(Am1({"--baud", "1200", "id"}).status, 0);
    EXPECT_EQ(sim_.frames().back(), "#1IDR");
  }
}

}  // namespace

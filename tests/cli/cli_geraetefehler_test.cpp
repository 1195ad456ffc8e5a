// zpk3x-cli against a device that answers late, twice or not at all, and
// interrupted transfers: never a success for what did not happen, and every
// device error says where it happened.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <regex>
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

// The first call's answer comes 1.5 s late, after its time-out; "stop" is never
// answered. The late ACK must never pass for stop's: the next call proves the
// line in step first, and sends nothing while that proof does not come.
TEST_F(Geraetefehler, SpaeteAntwortEinesAufrufsGiltNichtFuerDenNaechsten) {
  // Late enough that both calls below end before it, also in the sanitizer's
  // build on a busy machine (each call there takes up to about 1 s).
  Steuern("fault late DF1 4000");
  Steuern("fault silence DF2");
  EXPECT_EQ(Am1({"start"}).status, 4);
  Ergebnis r = Am1({"--json", "stop"});
  EXPECT_EQ(r.status, 4) << r.aus;
  EXPECT_FALSE(Enthaelt(r.aus, "\"ok\"")) << r.aus;
  EXPECT_EQ(Json::parse(r.aus)["error"]["sent"], false) << r.aus;
  EXPECT_TRUE(Enthaelt(r.err, "not sent: the check that the device answers in step went unanswered")) << r.err;
  EXPECT_EQ(sim_.frames(), (Strings{"#1DF1", "#1S0R"}));
  sim_.drain();
  // Now the late ACK and the late status answer wait: passed over by another read's echo.
  r = Am1({"stop"});
  EXPECT_EQ(r.status, 4) << r.aus;
  EXPECT_TRUE(Enthaelt(r.err, "frame #1DF2, answer: nothing within the time-out")) << r.err;
  EXPECT_EQ(sim_.frames(), (Strings{"#1DF1", "#1S0R", "#1C0R", "#1DF2"}));
  // A long time-out leaves nothing behind that locks later calls out.
  Steuern("fault none");
  Steuern("fault silence DF1");
  EXPECT_EQ(Am1({"--timeout", "3", "start"}).status, 4);
  Steuern("fault none");
  r = Am1({"--timeout", "1", "stop"});
  EXPECT_EQ(r.status, 0) << r.err;
}

// Killed right after its frame, the first call leaves a record that something
// of unknown kind is owed; the record is found through another link to the
// same terminal, and the next call proves the line in step with two reads.
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
  EXPECT_EQ(sim_.frames(), (Strings{"#1DF1", "#1S0R", "#1C0R", "#1DF2"}));
  // A query after the killed call gets its own answer, never the earlier one.
  Steuern("fault none");
  Steuern("value C0R 1.25");
  sim_.clearFrames();
  const Ergebnis get = Cli({"--port", "b", "--json", "get"});
  ASSERT_EQ(get.status, 0) << get.err;
  EXPECT_EQ(Json::parse(get.aus)["current"], 1.25);
  // In step again: a call owes nothing and sends only its own frame.
  sim_.clearFrames();
  EXPECT_EQ(Cli({"--port", "b", "stop"}).status, 0);
  EXPECT_EQ(sim_.frames(), (Strings{"#1DF2"}));
}

// Another user's file or folder at the record's name fails closed: it counts as
// an answer owed of unknown kind (two check reads), never as "nothing owed". The
// superuser replaces it with its own record, so the next call owes nothing.
TEST_F(Geraetefehler, FremderEintragAmPlatzDesProtokollsKostetEinePruefung) {
  struct stat st {};
  ASSERT_EQ(::stat(sim_.ptyPath().c_str(), &st), 0);
  char pfad[96];
  std::snprintf(pfad, sizeof pfad, "/run/lock/zpk3x-dev_%u_%u.owed", major(st.st_rdev), minor(st.st_rdev));
  for (const bool ordner : {true, false}) {
    SCOPED_TRACE(ordner ? "folder" : "file");
    ::rmdir(pfad);
    ::unlink(pfad);
    const std::string anlegen = ordner ? std::string("mkdir ") + pfad : std::string("printf '9600 ?' > ") + pfad;
    ASSERT_EQ(std::system(("setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c \"" + anlegen + "\"").c_str()), 0);
    sim_.clearFrames();
    const Ergebnis r = Am1({"--trace", "stop"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim_.frames(), (Strings{"#1S0R", "#1C0R", "#1DF2"}));
    EXPECT_TRUE(Enthaelt(r.err, "a check read goes first")) << r.err;
    sim_.clearFrames();
    EXPECT_EQ(Am1({"stop"}).status, 0);
    EXPECT_EQ(sim_.frames(), (Strings{"#1DF2"}));
  }
  ::rmdir(pfad);
  ::unlink(pfad);
}

// Every write is read back unless --no-verify: a device that keeps another value
// than it acknowledged is found.
TEST_F(Geraetefehler, SchreibenPrueftDurchZuruecklesen) {
  ASSERT_EQ(Am1({"read", "7", "-o", "p.json"}).status, 0);
  Steuern("value C1R 3.999");
  Ergebnis r = Am1({"write", "7", "-i", "p.json"});
  EXPECT_EQ(r.status, 4) << r.aus;
  EXPECT_FALSE(Enthaelt(r.aus, "written")) << r.aus;
  EXPECT_TRUE(Enthaelt(r.err, "program 7, strom1")) << r.err;
  r = Am1({"write", "7", "-i", "p.json", "--no-verify"});
  EXPECT_EQ(r.status, 0) << r.err;
}

// A result that cannot be written is no success; an empty port name is a usage error.
TEST_F(Geraetefehler, AusgabeUndPortnameWerdenGeprueft) {
  for (const Strings& befehl : {Strings{"--port", "1", "id"}, Strings{"--port", "1", "--json", "get"}, Strings{"ports"},
                                Strings{"--port", "1", "monitor", "--duration", "0.2"}}) {
    const Ergebnis voll = clitest::CliMitAusgabe(befehl, "/dev/full");
    EXPECT_EQ(voll.status, 5) << befehl.back();
    EXPECT_TRUE(Enthaelt(voll.err, "standard output: No space left on device")) << voll.err;
  }
  sim_.clearFrames();
  const Ergebnis leer = Cli({"--port", "", "id"});
  EXPECT_EQ(leer.status, 2);
  EXPECT_TRUE(sim_.frames().empty());
}

// A device error says where it looked; one that got nothing points to the search.
// A read-back that fails says what the write proved, and that the working
// parameters could not be put back, with their values.
TEST_F(Geraetefehler, FehlerSagenWoGesuchtWurde) {
  Steuern("fault silence IDR");
  Ergebnis r = Am1({"--timeout", "0.05", "id"});
  EXPECT_EQ(r.status, 4);
  EXPECT_TRUE(Enthaelt(r.err, "Port " + sim_.ptyPath() + ", 9600 baud, address 1")) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, "zpk3x-cli scan")) << r.err;

  Steuern("fault none");
  ASSERT_EQ(Am1({"read", "3", "-o", "p.json"}).status, 0);
  // The working parameters' 10 reads and the write's 11 frames answered, the read-back not.
  Steuern("fault after 21 silence");
  r = Am1({"--json", "--timeout", "0.05", "write", "3", "-i", "p.json"});
  EXPECT_EQ(r.status, 4);
  EXPECT_TRUE(Enthaelt(r.err, "program 3: frame #1PNS3, answer: nothing within the time-out")) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, "every program was acknowledged in step")) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, "working parameters were not put back; they were: stromkurve")) << r.err;
  const Json fehler = Json::parse(r.aus)["error"];
  EXPECT_EQ(fehler["address"], 1);
  EXPECT_EQ(fehler["baud_rate"], 9600);
  EXPECT_TRUE(fehler.contains("note")) << fehler;
}

// Ctrl+C or SIGTERM while the check before a command waits (a check read for a
// command, the first query itself for `get`): nothing is sent after it.
TEST_F(Geraetefehler, SignalWaehrendDerPruefungSendetNichtsMehr) {
  for (const auto& [signal, befehl, pruefung, status] :
       {std::tuple{SIGINT, "start", "S0R", 130}, std::tuple{SIGTERM, "get", "C0R", 143}}) {
    SCOPED_TRACE(befehl);
    Steuern("fault silence DF2");
    EXPECT_EQ(Am1({"--timeout", "0.05", "stop"}).status, 4);
    Steuern("fault none");
    // The check would pass, long after the signal (a margin for the sanitizer's build).
    Steuern(std::string("fault late ") + pruefung + " 2000");
    sim_.clearFrames();
    clitest::Hintergrund lauf({"--port", "1", "--timeout", "5", befehl});
    FrameAbwarten(1);
    const Ergebnis r = lauf.Beenden(signal);
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_EQ(sim_.frames(), (Strings{std::string("#1") + pruefung}));
    Steuern("fault none");
    // The port usable afterwards, with the late answer waiting on the line.
    sim_.drain();
    const Ergebnis kennung = Am1({"id"});
    EXPECT_EQ(kennung.status, 0) << kennung.err;
  }
}

// A doubled answer inside a program and a refusal of a later field: without
// read-back the write is still no success, in every front end (the check is
// below them all); what came is shown by the trace.
TEST_F(Geraetefehler, DoppelteAntwortUndSpaetereAblehnungOhneZuruecklesen) {
  ASSERT_EQ(Am1({"read", "3", "-o", "p.json"}).status, 0);
  Steuern("fault twice C1W 30");
  Steuern("fault nak T1W");
  const Ergebnis r = Am1({"--trace", "write", "3", "-i", "p.json", "--no-verify"});
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_FALSE(Enthaelt(r.aus, "written")) << r.aus;
  EXPECT_TRUE(Enthaelt(r.err, "nothing stored")) << r.err;
  // The second ACK is in the trace, not thrown away unseen.
  const std::regex zweiAck("-> #1C1W[^\n]*\n[^\n]* <- <ACK>\n(.*\n)*[^\n]* <- <ACK>\n");
  EXPECT_TRUE(std::regex_search(r.err, zweiAck)) << r.err;
}

// Ctrl+C while a single command waits for a late answer ends it as Ctrl+C does,
// never as a device failure or a success.
TEST_F(Geraetefehler, StrgCWaehrendEinerSpaetenAntwortGibt130) {
  Steuern("fault late DF1 3000");  // a margin for the sanitizer's build
  clitest::Hintergrund start({"--port", "1", "--timeout", "5", "start"});
  FrameAbwarten(1);
  const Ergebnis r = start.Beenden(SIGINT);
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_FALSE(Enthaelt(r.aus, "done")) << r.aus;
}

// An ACK sent twice, the second 50 ms later, is waiting before the store: the
// store is not sent, and the write is no success.
TEST_F(Geraetefehler, DoppelteAntwortImSchreibenIstEinFehlerMitEigenemCode) {
  ASSERT_EQ(Am1({"read", "3", "-o", "p.json"}).status, 0);
  Steuern("fault twice M1W");
  Steuern("fault nak PNP");
  const Ergebnis r = Am1({"--json", "write", "3", "-i", "p.json"});
  EXPECT_EQ(r.status, 4);
  EXPECT_FALSE(Enthaelt(r.aus, "written:")) << r.aus;
  const Json fehler = Json::parse(r.aus)["error"];
  EXPECT_EQ(fehler["code"], 410125);
  EXPECT_EQ(fehler["program"], 3);
  EXPECT_EQ(fehler["frame"], "#1PNP3");
  // Waiting before the store (not sent), or taken for the store's answer and the
  // refusal found by the closing check: which one depends on the timing.
  EXPECT_EQ(fehler["answer"].get<std::string>().rfind("<ACK>", 0), 0u) << fehler;
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
  Steuern("fault after 57 silence");  // after the 10 reads of the working parameters
  Ergebnis r = Am1({"--json", "--timeout", "0.1", "write", "all", "-i", "alle.json"});
  EXPECT_EQ(r.status, 4);
  Json fehler = Json::parse(r.aus)["error"];
  EXPECT_EQ(fehler["program"], 5);
  EXPECT_EQ(fehler["field"], "zeit1");
  EXPECT_EQ(fehler["frame"].get<std::string>().rfind("#1T1W", 0), 0u) << fehler;
  EXPECT_EQ(fehler["answer"], "");
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
  Steuern("fault after 35 silence");  // after the 10 reads of the working parameters
  r = Am1({"--timeout", "0.1", "read", "all", "-o", "neu.json"});
  EXPECT_EQ(r.status, 4);
  EXPECT_TRUE(Enthaelt(r.err, "program 3, field strom2: frame #1C2R, answer: nothing within the time-out\n"
                              "programs 1 to 2 read; program 3 loaded into the working parameters, not read whole; "
                              "file not written: neu.json")) << r.err;
  EXPECT_FALSE(clitest::DateiDa("neu.json"));

  // A garbled answer: printable text in quotes, the rest by name or in hex, whole
  // up to its CR (the byte above 0x7F makes it garbled, and the rest is read too).
  Steuern("fault none");
  Steuern("value C0R \\x01\\xA5");
  r = Am1({"--json", "get"});
  EXPECT_EQ(r.status, 4);
  fehler = Json::parse(r.aus)["error"];
  EXPECT_EQ(fehler["frame"], "#1C0R");
  EXPECT_EQ(fehler["code"], 404103);
  EXPECT_EQ(fehler["answer"], "<ACK>#1C0R\\x01\\xA5<CR>") << fehler;

  // A device that goes away mid-transfer is a lost line, not a silent device.
  Steuern("fault none");
  Steuern("fault hangup 40");
  r = Am1({"read", "all", "-o", "neu.json"});
  EXPECT_EQ(r.status, 3);  // a hung-up port is a port error
  EXPECT_TRUE(Enthaelt(r.err, "program 3, field zyklen: frame #1L1R, answer: the line was lost")) << r.err;
}

// Reading all, stopped by SIGTERM: the output file is not written at all.
TEST_F(Geraetefehler, SignalImLesenLaesstDieAusgabedateiUnberuehrt) {
  Steuern("fault delay 30");
  clitest::Hintergrund lesen({"--port", "1", "read", "all", "-o", "neu.json"});
  FrameAbwarten(24);  // the working parameters' 10 reads come first
  const Ergebnis r = lesen.Beenden(SIGTERM);
  EXPECT_EQ(r.status, 143) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, "program 1 read; program 2 loaded into the working parameters, not read whole; "
                              "file not written: neu.json")) << r.err;
  EXPECT_FALSE(clitest::DateiDa("neu.json"));
  // The working parameters put back before the end: the last ten frames write them.
  const Strings rahmen = sim_.frames();
  ASSERT_LT(rahmen.size(), 42u);
  ASSERT_GE(rahmen.size(), 34u);
  EXPECT_EQ(rahmen[rahmen.size() - 10].substr(0, 5), "#1WFW");
  EXPECT_EQ(rahmen.back().substr(0, 5), "#1M1W");
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

// Ctrl+C or SIGTERM in the middle of program 2: the wait ends at once, nothing
// more of it is sent, the working parameters are put back, and the command says
// how far it got.
TEST_F(GeraetefehlerLangsam, SignalImSchreibenBeendetNachDemRahmenUnterwegs) {
  // A whole table: the working parameters read, the other slots at their defaults.
  ASSERT_EQ(Am1({"--baud", "1200", "read", "0", "-o", "alle.zpk"}).status, 0);
  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    SCOPED_TRACE(signal);
    sim_.clearFrames();
    clitest::Hintergrund schreiben({"--port", "1", "--baud", "1200", "--json", "write", "all", "-i", "alle.zpk"});
    FrameAbwarten(24);  // the working parameters' 10 reads come first
    const Ergebnis r = schreiben.Beenden(signal);
    EXPECT_EQ(r.status, status) << r.err;
    const Strings rahmen = sim_.frames();
    // Nothing more of program 2 after the signal; the working parameters put back.
    ASSERT_GE(rahmen.size(), 34u);
    ASSERT_LT(rahmen.size(), 46u);
    EXPECT_EQ(rahmen[20], "#1PNP1");
    EXPECT_EQ(rahmen[rahmen.size() - 10].substr(0, 5), "#1WFW");
    const Json fehler = Json::parse(r.aus)["error"];
    EXPECT_EQ(fehler["completed"], 1);
    EXPECT_TRUE(Enthaelt(r.err, "Aborted by user\nprogram 1 stored; program 2 partly written to the working parameters"))
        << r.err;
    // The last frame left whole: the next one arrives on its own.
    ASSERT_EQ(Am1({"--baud", "1200", "id"}).status, 0);
    EXPECT_EQ(sim_.frames().back(), "#1IDR");
  }
}

// Ctrl+C three seconds into reading all at 1200 baud: the working parameters
// the read found are put back before the end, and the file is not written.
TEST_F(GeraetefehlerLangsam, StrgCImLesenStelltDieArbeitsparameterWiederHer) {
  clitest::Hintergrund lesen({"--port", "1", "--baud", "1200", "read", "all", "-o", "neu.zpk"});
  FrameAbwarten(30);  // into program 2: the working parameters were loaded over
  const Ergebnis r = lesen.Beenden(SIGINT);
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_FALSE(clitest::DateiDa("neu.zpk"));
  EXPECT_FALSE(Enthaelt(r.err, "not put back")) << r.err;
  const Strings rahmen = sim_.frames();
  ASSERT_GE(rahmen.size(), 40u);
  EXPECT_EQ(rahmen[rahmen.size() - 10].substr(0, 5), "#1WFW");
  EXPECT_EQ(rahmen.back().substr(0, 5), "#1M1W");
}

}  // namespace

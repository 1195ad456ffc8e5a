// zpk3x-cli as a bench tool: why a port does not open, the JSON error object,
// unknown commands and the language, --trace, -q, ZPK3X_PORT, "-", --verify and diff.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "cli_lauf.h"
#include "sim_harness.h"
#include "testdateien.h"

namespace {

using namespace clitest;
using Json = nlohmann::json;

class Werkzeug : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* n : {"LANG", "LC_ALL", "LC_MESSAGES", "ZPK3X_PORT"}) ::unsetenv(n);
    ASSERT_TRUE(sim_.ok());
    sim_.mapToCom(1);
  }
  void TearDown() override { ::unsetenv("ZPK3X_PORT"); }

  testdateien::Arbeitsverzeichnis verzeichnis_;
  simtest::Simulator sim_;
};

TEST_F(Werkzeug, PortNenntPfadUndGrund) {
  Ergebnis r = Cli({"--port", "/dev/fehlt-tty", "id"});
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(Enthaelt(r.err, "Error #100003: Error opening com-port\n/dev/fehlt-tty: no such device")) << r.err;

  r = Cli({"--json", "--port", "/dev/null", "id"});
  EXPECT_EQ(r.status, 3);
  const Json e = Json::parse(r.aus)["error"];
  EXPECT_EQ(e["code"], 100003);
  EXPECT_EQ(e["exit"], 3);
  EXPECT_EQ(e["port"], "/dev/null");
  EXPECT_EQ(e["reason"], "not a serial port");

  // A port number names the device it stands for.
  ::setenv("ZPK3X_COM2", "/dev/fehlt-tty2", 1);
  r = Cli({"--port", "2", "id"});
  ::unsetenv("ZPK3X_COM2");
  EXPECT_TRUE(Enthaelt(r.err, "/dev/fehlt-tty2: no such device")) << r.err;
  EXPECT_TRUE(sim_.frames().empty());
}

// A program that holds the terminal without any lock, as a terminal program does.
TEST_F(Werkzeug, PortInDerHandEinesProzessesOhneSperreWirdAbgewiesen) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int fd = ::open(sim_.ptyPath().c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) ::_exit(1);
    ::dup2(fd, STDIN_FILENO);
    ::execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
    ::_exit(1);
  }
  // The child holds the terminal once /proc shows it running sleep (30 s at most).
  for (int i = 0; i < 3000; ++i) {
    std::string comm;
    if (std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "r")) {
      char text[32] = {};
      if (std::fgets(text, sizeof text, f) != nullptr) comm = text;
      std::fclose(f);
    }
    if (comm == "sleep\n") break;
    ::usleep(10000);
  }
  const Ergebnis r = AnPort1({"--json", "id"});
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(Enthaelt(r.err, "held by another program: " + std::to_string(pid) + " (sleep)")) << r.err;
  const Json fehler = Json::parse(r.aus)["error"];
  EXPECT_EQ(fehler["port"], sim_.ptyPath());
  EXPECT_EQ(fehler["reason_code"], "busy");
  EXPECT_EQ(fehler["holders"][0]["pid"], pid);
  EXPECT_EQ(fehler["holders"][0]["name"], "sleep");
  EXPECT_TRUE(sim_.frames().empty());
  EXPECT_EQ(AnPort1({"id"}).status, 0);
}

TEST_F(Werkzeug, AlsNobodyOhneRechtAmTerminal) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to become nobody";
  ASSERT_EQ(::chmod(sim_.ptyPath().c_str(), 0600), 0);
  // A copy of the program, because nobody may not enter the build folder.
  char muster[] = "/tmp/zpk3x-cli-nobody-XXXXXX";
  ASSERT_NE(::mkdtemp(muster), nullptr);
  const std::string ordner = muster;
  ASSERT_EQ(::chmod(ordner.c_str(), 0777), 0);
  std::filesystem::copy_file(ZPK3X_CLI, ordner + "/zpk3x-cli");
  const std::string befehl = "cd / && setpriv --reuid=nobody --regid=nogroup --clear-groups env -u LSAN_OPTIONS " +
                             ordner + "/zpk3x-cli --port " + sim_.ptyPath() + " id 2> " + ordner + "/err";
  const int status = std::system(befehl.c_str());
  const std::string err = testdateien::DateiLesen(ordner + "/err");
  std::filesystem::remove_all(ordner);
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_TRUE(Enthaelt(err, sim_.ptyPath() + ": permission denied (is the user in the group dialout?")) << err;
}

TEST_F(Werkzeug, FehlerobjektHatEigeneSchluessel) {
  ASSERT_EQ(AnPort1({"read", "all", "-o", "a.json"}).status, 0);
  Json datei = Json::parse(testdateien::DateiLesen("a.json"));
  datei["programme"][4]["strom1"] = 99.5;
  testdateien::DateiSchreiben("b.json", datei.dump());
  sim_.clearFrames();
  const Ergebnis r = AnPort1({"--json", "write", "all", "-i", "b.json"});
  EXPECT_EQ(r.status, 2);
  const Json e = Json::parse(r.aus)["error"];
  EXPECT_EQ(e["code"], 500302);
  EXPECT_EQ(e["exit"], 2);
  EXPECT_EQ(e["file"], "b.json");
  EXPECT_EQ(e["program"], 4);
  EXPECT_EQ(e["field"], "strom1");
  EXPECT_EQ(e["value"], 99.5);
  // The limits as the text shows them, rounded as the driver sends them.
  EXPECT_EQ(e["minimum"], 0.001);
  EXPECT_EQ(e["maximum"], 4.0);
  EXPECT_TRUE(Enthaelt(e["message"], "Parameter out of limits")) << e;
  EXPECT_TRUE(sim_.frames().empty());
}

TEST_F(Werkzeug, UnbekannterBefehlUndSprache) {
  Ergebnis r = Cli({"--port", "1", "stat"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Enthaelt(r.err, "unknown command: stat; did you mean: status")) << r.err;
  EXPECT_TRUE(Enthaelt(Cli({"wirte"}).err, "did you mean: write"));
  EXPECT_FALSE(Enthaelt(Cli({"xyzzy"}).err, "did you mean"));

  // LC_ALL over LC_MESSAGES over LANG; --lang over all.
  ::setenv("LANG", "en_US.UTF-8", 1);
  ::setenv("LC_MESSAGES", "de_DE.UTF-8", 1);
  EXPECT_TRUE(Enthaelt(Cli({"stat"}).err, "unbekannter Befehl: stat; gemeint ist wohl: status"));
  ::setenv("LC_ALL", "C", 1);
  EXPECT_TRUE(Enthaelt(Cli({"stat"}).err, "unknown command"));
  ::setenv("LC_ALL", "de_AT.UTF-8", 1);
  const Ergebnis hilfe = Cli({"--help"});
  EXPECT_EQ(hilfe.status, 0);
  for (const char* wort : {"Aufruf: zpk3x-cli [OPTIONEN] BEFEHL", "Optionen:", "Befehle:", "diese Hilfe zeigen"})
    EXPECT_TRUE(Enthaelt(hilfe.aus, wort)) << wort << "\n" << hilfe.aus;
  const std::string monitorHilfe = Cli({"monitor", "--help"}).aus;
  for (const char* wort : {"Usage", "Options:", "Subcommands:", "Print this help", "FLOAT", " in ["}) {
    EXPECT_FALSE(Enthaelt(hilfe.aus, wort)) << wort;
    EXPECT_FALSE(Enthaelt(monitorHilfe, wort)) << wort;
  }
  EXPECT_TRUE(Enthaelt(Cli({"read", "--help"}).aus, "Aufruf: zpk3x-cli read [OPTIONEN]"));
  EXPECT_TRUE(Enthaelt(Cli({"--lang", "en", "--help"}).aus, "Usage: zpk3x-cli [OPTIONS] SUBCOMMAND"));
  for (const char* n : {"LANG", "LC_ALL", "LC_MESSAGES"}) ::unsetenv(n);
}

TEST_F(Werkzeug, TraceZeigtRahmenUndAntwortMitZeit) {
  sim_.control("fault silence S0R");
  const Ergebnis r = AnPort1({"--trace", "--timeout", "0.05", "status"});
  EXPECT_EQ(r.status, 4);
  const Ergebnis k = AnPort1({"--trace", "id"});
  ASSERT_EQ(k.status, 0);
  const std::string zeit = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)";
  // The status read left its answer owed: the trace says why the line is checked.
  EXPECT_TRUE(std::regex_match(k.err, std::regex(zeit + " !! answer owed by the record \\(9600 S0R\\): a check read goes first\n" +
                                                 zeit + " -> #1IDR<CR>\n" + zeit + " <- <ACK>\n" + zeit +
                                                 " <- #1OLQ-ZPK3X-SIM<CR>\n")))
      << k.err;
  EXPECT_TRUE(std::regex_search(r.err, std::regex(zeit + " -> #1S0R<CR>\n" + zeit + R"( <- \(nothing within the time-out\))")))
      << r.err;
  EXPECT_EQ(k.aus, "OLQ-ZPK3X-SIM\n");

  // Every byte in the order received, before the error message: text after a CR,
  // the rest of a garbled answer, an ACK sent twice.
  const std::pair<const char*, std::vector<std::string>> faelle[] = {
      {"value C0R AB\\x0DCD\\x01", {"<- #1C0RAB<CR>", "<- CD\\x01<CR>"}},
      {"fault garbage DF1", {"<- Z?\\xA5"}},
      {"fault twice DF1 0", {"<- <ACK>", "<- <ACK>"}},
  };
  for (const auto& [fehler, zeilen] : faelle) {
    sim_.control("fault none");
    sim_.control(fehler);
    const Ergebnis f = AnPort1({"--trace", std::string(fehler).find("C0R") != std::string::npos ? "get" : "start"});
    EXPECT_EQ(f.status, 4) << fehler;
    const std::size_t meldung = f.err.find("Error #");
    std::size_t ab = 0;
    for (const std::string& z : zeilen) {
      const std::size_t da = f.err.find(z, ab);
      EXPECT_LT(da, meldung) << fehler << ": " << z << "\n" << f.err;
      ab = da == std::string::npos ? ab : da + 1;
    }
  }
}

TEST_F(Werkzeug, LeiseUmgebungsportUndStandardstroeme) {
  // ZPK3X_PORT between --port and the configuration file.
  ::setenv("ZPK3X_PORT", sim_.ptyPath().c_str(), 1);
  Ergebnis r = Cli({"--format", "json", "read", "all", "-o", "-"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Json::parse(r.aus)["programme"].size(), 17u);
  testdateien::DateiSchreiben("a.json", r.aus);
  ::setenv("ZPK3X_PORT", "/dev/fehlt-tty", 1);
  EXPECT_TRUE(Enthaelt(Cli({"id"}).err, "/dev/fehlt-tty: no such device"));
  EXPECT_EQ(AnPort1({"id"}).status, 0);
  ::unsetenv("ZPK3X_PORT");

  // "-" is standard input; without --format its format is unknown.
  r = CliMitEingabe({"--port", "1", "-q", "--format", "json", "write", "all", "-i", "-"}, "a.json");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.aus, "");
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(AnPort1({"write", "all", "-i", "a.json"}).aus.empty());
  // No progress on a terminal either.
  r = CliAmTerminal({"--port", "1", "-q", "read", "all", "-o", "b.json"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.aus + r.err, "");
  EXPECT_FALSE(CliAmTerminal({"--port", "1", "read", "all", "-o", "b.json"}).err.empty());
  r = CliMitEingabe({"show", "-"}, "a.json");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Enthaelt(r.err, "give --format")) << r.err;
  r = CliMitEingabe({"--format", "csv", "convert", "-", "b.zpk"}, "a.json");
  EXPECT_EQ(r.status, 5);
  // The monitor's recording on standard output.
  r = AnPort1({"monitor", "--interval", "0.05", "--duration", "0.12", "-o", "-"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.aus.rfind("time,seconds,current_A,voltage_V,status,status_bits,error\n", 0), 0u) << r.aus;
  EXPECT_TRUE(Enthaelt(r.aus, ",0.000,")) << r.aus;
  r = CliMitEingabe({"--format", "json", "convert", "-", "-"}, "a.json");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Json::parse(r.aus), Json::parse(testdateien::DateiLesen("a.json")));
}

TEST_F(Werkzeug, VerifyUndDiffVergleichenGeraetUndDatei) {
  ASSERT_EQ(AnPort1({"read", "all", "-o", "a.json"}).status, 0);
  Ergebnis r = AnPort1({"diff", "a.json"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.aus, "no differences\n");

  ASSERT_TRUE((sim_.control("program 5 3 0.500 1.000 100 50 1000 10.0 1 10 0"), sim_.ok()));
  r = AnPort1({"diff", "a.json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Enthaelt(r.aus, "program 5, strom1: device 0.500, file ")) << r.aus;
  r = AnPort1({"--json", "diff", "a.json", "5"});
  EXPECT_EQ(r.status, 1);
  const Json d = Json::parse(r.aus);
  EXPECT_EQ(d["equal"], false);
  EXPECT_EQ(d["differences"][0]["program"], 5);
  EXPECT_EQ(d["differences"][0]["field"], "stromkurve");
  EXPECT_EQ(d["differences"][0]["value"], 3);  // an integer field as an integer
  EXPECT_TRUE(d["differences"][0]["value"].is_number_integer());

  // A device that keeps another value than it was sent.
  ASSERT_EQ(AnPort1({"write", "3", "-i", "a.json", "--verify"}).status, 0);
  sim_.control("value C2R 3.333");
  r = AnPort1({"--json", "write", "3", "-i", "a.json", "--verify"});
  EXPECT_EQ(r.status, 4);
  EXPECT_TRUE(Enthaelt(r.err, "verify: program 3, strom2: written ")) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, ", read back 3.333")) << r.err;
  const Json e = Json::parse(r.aus)["error"];
  EXPECT_EQ(e["program"], 3);
  EXPECT_EQ(e["field"], "strom2");
  EXPECT_EQ(e["exit"], 4);
}

}  // namespace

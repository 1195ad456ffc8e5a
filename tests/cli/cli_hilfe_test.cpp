// zpk3x-cli's habits: the help command, each command's help with the global
// options and an example, the nearest option for a mistyped one, and the parser's
// messages and the system's reasons in German.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli_lauf.h"
#include "testdateien.h"

namespace {

using namespace clitest;

class Hilfe : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* n : {"LANG", "LC_ALL", "LC_MESSAGES", "ZPK3X_PORT"}) ::unsetenv(n);
  }
  testdateien::Arbeitsverzeichnis verzeichnis_;
};

// The command names as the program's help lists them.
std::vector<std::string> Befehle(const std::string& hilfe) {
  std::vector<std::string> namen;
  std::istringstream zeilen(hilfe.substr(hilfe.find("\nCommands:\n") + 11));
  for (std::string zeile; std::getline(zeilen, zeile) && zeile.rfind("  ", 0) == 0;) namen.push_back(zeile.substr(2, zeile.find(' ', 2) - 2));
  return namen;
}

TEST_F(Hilfe, HilfebefehlUndBeispielJeBefehl) {
  const Ergebnis alle = Cli({"help"});
  EXPECT_EQ(alle.status, 0) << alle.err;
  EXPECT_EQ(alle.aus, Cli({"--help"}).aus);
  const std::vector<std::string> befehle = Befehle(alle.aus);
  ASSERT_GE(befehle.size(), 17u) << alle.aus;

  const Ergebnis schreiben = Cli({"help", "write"});
  EXPECT_EQ(schreiben.status, 0) << schreiben.err;
  EXPECT_EQ(schreiben.aus, Cli({"write", "--help"}).aus);
  for (const char* teil : {"Usage: zpk3x-cli write", "-i,--input FILE", "Global options", "--port N|PATH|URL", "--json",
                           "-q,--quiet", "Example:\n  zpk3x-cli --port 1 write 3 -i programs.json"})
    EXPECT_TRUE(Enthaelt(schreiben.aus, teil)) << teil << "\n" << schreiben.aus;
  // A file command takes no connection.
  const std::string zeigen = Cli({"help", "show"}).aus;
  EXPECT_TRUE(Enthaelt(zeigen, "--format zpk|csv|json") && !Enthaelt(zeigen, "--port N")) << zeigen;
  for (const std::string& b : befehle) {
    const Ergebnis r = Cli({"help", b});
    EXPECT_EQ(r.status, 0) << b;
    EXPECT_TRUE(Enthaelt(r.aus, "Example:\n  zpk3x-cli ") && Enthaelt(r.aus, " " + b)) << r.aus;
  }
  const Ergebnis falsch = Cli({"help", "wirte"});
  EXPECT_EQ(falsch.status, 2);
  EXPECT_TRUE(Enthaelt(falsch.err, "unknown command: wirte; did you mean: write")) << falsch.err;
}

TEST_F(Hilfe, VertippteOptionBekommtDieNaechste) {
  Ergebnis r = Cli({"--prot", "1", "id"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Enthaelt(r.err, "unknown option: --prot; did you mean: --port")) << r.err;
  // Before the parser's complaint of the option it takes for missing.
  r = Cli({"write", "--inptu", "a.json"});
  EXPECT_TRUE(Enthaelt(r.err, "unknown option: --inptu; did you mean: --input")) << r.err;
  r = Cli({"--lang", "de", "monitor", "--stop-on-eror"});
  EXPECT_TRUE(Enthaelt(r.err, "unbekannte Option: --stop-on-eror; gemeint ist wohl: --stop-on-error")) << r.err;
  EXPECT_FALSE(Enthaelt(Cli({"--xyzzy-plugh", "id"}).err, "did you mean")) << r.err;
}

// A port on this machine that nobody listens on: a connection there is refused at once.
int PortOhneLauscher() {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t l = sizeof a;
  const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &l) == 0;
  ::close(s);
  return ok ? ntohs(a.sin_port) : 1;
}

TEST_F(Hilfe, ParserUndSystemSprechenDeutsch) {
  const std::string abgewiesen = "tcp://127.0.0.1:" + std::to_string(PortOhneLauscher());
  const std::pair<std::vector<std::string>, std::string> faelle[] = {
      {{"--lang", "de", "--port", abgewiesen, "id"}, abgewiesen + ": Verbindung abgewiesen"},
      {{"--lang", "de"}, "Befehl fehlt"},
      {{"--lang", "de", "id", "extra"}, "unerwartetes Argument: extra"},
      {{"--lang", "de", "load", "0"}, "N: 0 ist keine Zahl von 1 bis 16"},
      {{"--lang", "de", "--baud", "5", "id"}, "--baud: 5 ist keiner der Werte 1200,2400,4800,9600"},
      {{"--lang", "de", "read", "-o"}, "--output: Wert fehlt (DATEI)"},
      {{"--lang", "de", "show"}, "DATEI fehlt"},
      {{"--lang", "de", "monitor", "--mqtt-ca", "ca.pem"}, "--mqtt-ca braucht --mqtt"},
      {{"--lang", "de", "show", "fehlt.zpk"}, "fehlt.zpk: Datei oder Ordner nicht vorhanden"},
  };
  for (const auto& [argumente, meldung] : faelle) {
    const Ergebnis r = Cli(argumente);
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(Enthaelt(r.err, meldung)) << meldung << "\n" << r.err;
  }
  // No English placeholder is left in the German help.
  for (const char* b : {"", "monitor", "convert", "diff", "write"}) {
    const std::string text = Cli({"--lang", "de", "help", b}).aus;
    for (const char* wort : {"TEXT", "FILE", "PATH", "INT", "FLOAT", "USER"}) EXPECT_FALSE(Enthaelt(text, wort)) << wort << "\n" << text;
  }
}

TEST_F(Hilfe, UnbekannteEndungNenntFormat) {
  Ergebnis r = Cli({"show", "programme.txt"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Enthaelt(r.err, "programme.txt: no known extension (.zpk, .csv, .json); or give --format zpk, csv or json"))
      << r.err;
  // convert takes --format for its output only: its input, through "-".
  r = Cli({"convert", "programme.txt", "aus.json"});
  EXPECT_TRUE(Enthaelt(r.err, "or give it as - on standard input with --format")) << r.err;
}

}  // namespace

// What the parser says to a mistyped command line: the option named, a sentence
// in the run's language, and where the help is; an option given twice counts
// with its last value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_lauf.h"
#include "testdateien.h"

namespace {

using clitest::Cli;
using clitest::Enthaelt;

TEST(Aufruf, FehlerNennenDieOptionUndZeigenAufDieHilfe) {
  ::unsetenv("LANG");
  testdateien::Arbeitsverzeichnis v;
  const struct {
    std::vector<std::string> argumente;
    const char* text;
  } faelle[] = {
      {{"-V"}, "unknown option: -V\nsee: zpk3x-cli --help\n"},
      {{"show", "-dash.zpk"}, "unknown option: -dash.zpk; a file name that begins with - goes after -- or as ./-dash.zpk\n"
                              "see: zpk3x-cli show --help\n"},
      {{"--no-verify", "write", "2", "-i", "p.json"}, "--no-verify is an option of write: give it after the command\n"},
      {{"--baud", "--json", "id"}, "--baud: the value is missing (1200|2400|4800|9600)\nsee: zpk3x-cli id --help"},
      {{"id", "--baud"}, "--baud: the value is missing (1200|2400|4800|9600)\n"},
      {{"--lang", "de", "-v"}, "unbekannte Option: -v\nHilfe: zpk3x-cli --help\n"},
      {{"--prot", "1", "id"}, "unknown option: --prot; did you mean: --port\nsee: zpk3x-cli --help\n"},
      {{"read", "all", "-o"}, "--output: the value is missing (FILE)\nsee: zpk3x-cli read --help\n"},
  };
  for (const auto& f : faelle) {
    const clitest::Ergebnis r = Cli(f.argumente);
    EXPECT_EQ(r.status, 2) << f.text;
    EXPECT_TRUE(Enthaelt(r.err, f.text)) << r.err;
  }
  // Two outputs for the one standard output are refused; help is JSON with --json.
  clitest::Ergebnis j = Cli({"--port", "/dev/null", "--json", "monitor", "-o", "-"});
  EXPECT_EQ(j.status, 2);
  EXPECT_TRUE(Enthaelt(j.err, "--json and -o - both want standard output")) << j.err;
  j = Cli({"--json", "help", "id"});
  EXPECT_EQ(j.status, 0);
  EXPECT_EQ(j.aus.rfind(R"({"help":"read the identity\n)", 0), 0u) << j.aus;

  // The last of two values counts: the second file is the one read.
  const clitest::Ergebnis r = Cli({"convert", "fehlt.json", "-", "--format", "zpk", "--format", "json"});
  EXPECT_EQ(r.status, 5) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, "fehlt.json")) << r.err;
}

}  // namespace

namespace {

// A converted table that cannot be written to standard output: one message,
// with the system's reason.
TEST(Aufruf, VolleStandardausgabeEinmalMitGrund) {
  ::unsetenv("LANG");
  testdateien::Arbeitsverzeichnis v;
  testdateien::DateiSchreiben("t.csv",
                              "slot,auswahl,stromkurve,strom1,strom2,zeit1,zeit2,frequenz,spannung,zyklen,regelgeschwindigkeit,"
                              "endstuferegeln\n0,1,1,0.5,1,1000,1,25,24,1,1,0\n");
  const clitest::Ergebnis r = clitest::CliMitAusgabe({"--format", "json", "convert", "t.csv", "-"}, "/dev/full");
  EXPECT_EQ(r.status, 5);
  EXPECT_EQ(r.err, "zpk3x-cli: Error #301307: Error writing to file\nstandard output: No space left on device\n");
  // Written to a file: named `file`, as read -o names what it wrote.
  EXPECT_EQ(clitest::Cli({"--json", "convert", "t.csv", "t.json"}).aus, "{\"input\":\"t.csv\",\"file\":\"t.json\"}\n");
}

}  // namespace

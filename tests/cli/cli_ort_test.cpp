// Errors that said too little: a read-back that differs, a search that finds
// nothing and the monitor's end name where the device was looked for; the
// monitor shows a code with the sign every message gives it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Programmformate/Programmformate.h"
#include "cli_lauf.h"
#include "sim_harness.h"
#include "testdateien.h"

namespace {

using clitest::AnPort1;
using clitest::Enthaelt;
using clitest::Ergebnis;
using Json = nlohmann::json;

class Ort : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("LANG");
    ASSERT_TRUE(sim_.ok());
    sim_.mapToCom(1);
  }
  // The error object of the output (the monitor's summary follows it).
  static Json Fehler(const Ergebnis& r) {
    const std::size_t anfang = r.aus.rfind("{\"error\":");
    if (anfang == std::string::npos) return Json::object();
    return Json::parse(r.aus.substr(anfang, r.aus.find('\n', anfang) - anfang))["error"];
  }
  void OrtPruefen(const Json& f) {
    EXPECT_EQ(f["port"], sim_.ptyPath()) << f;
    EXPECT_EQ(f["baud_rate"], 9600) << f;
    EXPECT_EQ(f["address"], 1) << f;
  }
  testdateien::Arbeitsverzeichnis verzeichnis_;
  simtest::Simulator sim_;
};

TEST_F(Ort, RueckleseSucheUndMonitorNennenPortBaudrateUndAdresse) {
  testdateien::DateiSchreiben("p.json", TabelleAlsJson(StandardTabelle()));
  sim_.control("value C1R 3.999");
  Ergebnis r = AnPort1({"--json", "write", "3", "-i", "p.json"});
  ASSERT_EQ(r.status, 4) << r.err;
  EXPECT_EQ(Fehler(r)["code"], 404341);
  OrtPruefen(Fehler(r));
  EXPECT_TRUE(Enthaelt(r.err, "9600")) << r.err;
  sim_.control("fault none");

  sim_.control("fault silence *");
  r = AnPort1({"--json", "--timeout", "0.005", "scan"});
  ASSERT_EQ(r.status, 4) << r.err;
  const Json suche = Fehler(r);
  EXPECT_EQ(suche["code"], 780308);
  EXPECT_EQ(suche["port"], sim_.ptyPath()) << suche;
  EXPECT_EQ(suche["baud_rates"], Json({1200, 2400, 4800, 9600}));
  EXPECT_EQ(suche["addresses"].size(), 8u);
  EXPECT_TRUE(Enthaelt(r.err, "no answer at 1200, 2400, 4800 and 9600 baud, addresses 1 to 8")) << r.err;

  for (const char* art : {"--stop-on-error", "--duration"}) {
    std::vector<std::string> a = {"--json", "--timeout", "0.02", "monitor", art};
    if (std::string(art) == "--duration") a.push_back("0.1");
    r = AnPort1(a);
    ASSERT_EQ(r.status, 4) << r.err;
    const Json f = Fehler(r);
    OrtPruefen(f);
    EXPECT_EQ(f["frame"], "#1C0R") << f;
    EXPECT_EQ(f.contains("note"), std::string(art) == "--duration") << f;
  }
  // A status bit by its number, and its mask.
  sim_.control("fault none");
  sim_.control("status 2201");
  const Json st = Json::parse(AnPort1({"--json", "status"}).aus);
  EXPECT_EQ(st["bits"][0]["bit"], 0) << st;
  EXPECT_EQ(st["bits"][0]["mask"], 1) << st;
  EXPECT_EQ(st["bits"].back()["bit"], 13) << st;
  sim_.control("fault silence *");

  // Each failed query names its frame, in its JSON line and its text line.
  r = AnPort1({"--json", "--timeout", "0.02", "monitor", "--duration", "0.05"});
  const Json zeile = Json::parse(r.aus.substr(0, r.aus.find('\n')));
  EXPECT_EQ(zeile["error"]["frame"], "#1C0R") << zeile;
  EXPECT_EQ(zeile["error"]["answer"], "") << zeile;

  // The text lines give the code as the messages do.
  const Json f = Fehler(AnPort1({"--json", "--timeout", "0.02", "monitor", "--duration", "0.05"}));
  r = AnPort1({"--timeout", "0.02", "monitor", "--duration", "0.05"});
  ASSERT_TRUE(f["code"].is_number()) << f;
  EXPECT_TRUE(Enthaelt(r.aus, "  " + std::to_string(f["code"].get<int>()) + " ")) << r.aus;
  EXPECT_FALSE(Enthaelt(r.aus, "  -")) << r.aus;
  EXPECT_TRUE(Enthaelt(r.aus, " (#1C0R)\n")) << r.aus;
}

}  // namespace

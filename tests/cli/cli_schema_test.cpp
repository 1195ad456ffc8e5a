// One vocabulary for scripts: every command's --json output, successes and
// failures, walked key by key; a key that appears with two JSON types (beside
// null for "not known") is a fault of the schema.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_lauf.h"
#include "sim_harness.h"
#include "testdateien.h"

namespace {

using clitest::Cli;
using Json = nlohmann::json;
using Strings = std::vector<std::string>;

std::string Art(const Json& j) {
  if (j.is_number()) return "number";  // integer or real: one JSON type
  if (j.is_string()) return "string";
  if (j.is_boolean()) return "boolean";
  if (j.is_array()) return "array";
  if (j.is_object()) return "object";
  return "null";
}

void Sammeln(const Json& j, const std::string& woher, std::map<std::string, std::map<std::string, std::string>>* arten) {
  if (j.is_array()) {
    for (const Json& e : j) Sammeln(e, woher, arten);
    return;
  }
  if (!j.is_object()) return;
  for (const auto& [schluessel, wert] : j.items()) {
    if (!wert.is_null()) (*arten)[schluessel].emplace(Art(wert), woher);
    Sammeln(wert, woher, arten);
  }
}

TEST(Schema, JederSchluesselHatInJedemBefehlEinenTyp) {
  ::unsetenv("LANG");
  testdateien::Arbeitsverzeichnis verzeichnis;
  simtest::Simulator sim;
  ASSERT_TRUE(sim.ok());
  sim.mapToCom(1);
  const Strings p = {"--json", "--port", "1", "--timeout", "0.1"};
  auto mit = [&](Strings a) {
    a.insert(a.begin(), p.begin(), p.end());
    return a;
  };
  std::vector<std::pair<Strings, std::function<void()>>> laeufe = {
      {{"--json", "--version"}, nullptr},
      {{"--json", "ports"}, nullptr},
      {mit({"scan"}), nullptr},
      {mit({"id"}), nullptr},
      {mit({"status"}), nullptr},
      {mit({"get"}), nullptr},
      {mit({"start"}), nullptr},
      {mit({"load", "3"}), nullptr},
      {mit({"read", "3", "-o", "p.json"}), nullptr},
      {mit({"read", "0"}), nullptr},
      {mit({"write", "3", "-i", "p.json"}), nullptr},
      {mit({"diff", "p.json", "3"}), [&] { sim.control("program 3 5 0.500 1.000 100 50 1000 10.0 1 10 0"); }},
      {mit({"diff", "p.json", "3"}), nullptr},
      {{"--json", "show", "p.json"}, nullptr},
      {{"--json", "convert", "p.json", "p.csv"}, nullptr},
      {mit({"monitor", "--interval", "0.05", "--duration", "0.12"}), nullptr},
      // Failures of every kind.
      {{"--json", "--port", "/nonexistent/tty", "id"}, nullptr},
      {{"--json", "show", "fehlt.json"}, nullptr},
      {{"--json", "--bogus"}, nullptr},
      {mit({"write", "3", "-i", "p.json"}), [&] { sim.control("value C1R 3.999"); }},
      {mit({"id"}), [&] { sim.control("fault silence *"); }},
      {mit({"read", "all", "-o", "q.json"}), nullptr},
      {mit({"start"}), [&] { sim.control("fault none"); sim.control("fault nak DF1"); }},
      {mit({"monitor", "--duration", "0.12"}), [&] { sim.control("fault silence *"); }},
  };
  std::map<std::string, std::map<std::string, std::string>> arten;
  for (auto& [argumente, vorher] : laeufe) {
    if (vorher) vorher();
    const clitest::Ergebnis r = Cli(argumente);
    std::string befehl;
    for (const std::string& a : argumente) befehl += a + " ";
    std::istringstream zeilen(r.aus);
    int objekte = 0;
    for (std::string z; std::getline(zeilen, z);) {
      if (z.empty() || (z[0] != '{' && z[0] != '[')) continue;
      // A program document spans lines: parse the whole output then.
      const Json j = Json::parse(z, nullptr, false);
      if (j.is_discarded()) {
        const Json ganz = Json::parse(r.aus, nullptr, false);
        ASSERT_FALSE(ganz.is_discarded()) << befehl << r.aus;
        Sammeln(ganz, befehl, &arten);
        ++objekte;
        break;
      }
      Sammeln(j, befehl, &arten);
      ++objekte;
    }
    EXPECT_GT(objekte, 0) << befehl << r.aus << r.err;
  }
  for (const auto& [schluessel, typen] : arten) {
    std::string wo;
    for (const auto& [typ, befehl] : typen) wo += typ + " in \"" + befehl + "\"; ";
    EXPECT_EQ(typen.size(), 1u) << "\"" << schluessel << "\": " << wo;
  }
  // The keys scripts look for first.
  for (const char* k : {"code", "message", "exit", "port", "file", "frame", "answer", "reason_code", "summary"})
    EXPECT_EQ(arten.count(k), 1u) << k;
}

}  // namespace

// zpk3x-cli test as a process against the simulator: verdicts and exit statuses,
// plan faults that send nothing, signals that stop the device and keep the record.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "cli_lauf.h"
#include "mqtt_broker.h"
#include "sim_harness.h"
#include "testdateien.h"

namespace {

using clitest::Cli;
using clitest::Enthaelt;
using clitest::Ergebnis;
using Json = nlohmann::json;
using Strings = std::vector<std::string>;

const char* kPlan = R"(name = "Kurz"
[[step]]
type = "write"
values = { stromkurve = 8, strom1 = "2.0 A", zyklen = 1000 }
[[step]]
type = "start"
[[step]]
type = "measure"
name = "2 A"
interval = "100 ms"
duration = "%DAUER%"
settle = "200 ms"
  [[step.limit]]
  quantity = "current"
  on = "mean"
  nominal = "2.0 A"
  tolerance = "2 %"
[[step]]
type = "stop"
)";

std::string Plan(const std::string& dauer) {
  std::string p = kPlan;
  p.replace(p.find("%DAUER%"), 7, dauer);
  return p;
}

class Pruefbefehl : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ASSERT_TRUE(sim_.ok());
    sim_.mapToCom(1);
    testdateien::DateiSchreiben("plan.toml", Plan("1 s"));
  }

  Ergebnis Test(Strings mehr) {
    Strings a = {"--port", "1", "test", "plan.toml", "--serial", "SN7", "--record", "rec"};
    a.insert(a.end(), mehr.begin(), mehr.end());
    return Cli(a);
  }

  // The one record folder below rec.
  std::string Aufzeichnung() {
    std::string gefunden;
    for (const auto& e : std::filesystem::directory_iterator("rec")) gefunden = e.path().string();
    return gefunden;
  }

  // Until the device has received `rahmen`; the bound only ends a failure.
  bool Abwarten(const std::string& rahmen) {
    const auto bis = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < bis) {
      for (const std::string& f : sim_.frames())
        if (f == rahmen) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  testdateien::Arbeitsverzeichnis verzeichnis_;
  simtest::Simulator sim_;
};

TEST_F(Pruefbefehl, BestandenGibtNullUndAlleAufzeichnungen) {
  const Ergebnis r = Test({"--junit", "j.xml", "--report", "r.html", "--operator", "Kim"});
  ASSERT_EQ(r.status, 0) << r.err << r.aus;
  EXPECT_EQ(r.aus.substr(0, 4), "PASS");
  const std::string ordner = Aufzeichnung();
  EXPECT_NE(ordner.find("rec/SN7_"), std::string::npos);
  const Json j = Json::parse(testdateien::DateiLesen(ordner + "/record.json"));
  EXPECT_EQ(j["outcome"], "PASS");
  EXPECT_EQ(j["serial"], "SN7");
  EXPECT_EQ(j["operator"], "Kim");
  EXPECT_EQ(j["device"]["baud_rate"], 9600);
  EXPECT_EQ(j["steps"].size(), 4u);
  EXPECT_GT(j["steps"][2]["samples"].size(), 5u);
  EXPECT_NE(testdateien::DateiLesen("j.xml").find("<testcase name=\"3 2 A\""), std::string::npos);
  EXPECT_NE(testdateien::DateiLesen("r.html").find("id=\"verdict\" class=\"PASS\""), std::string::npos);
  // --json: the record itself on stdout.
  const Ergebnis js = Test({"--json"});
  ASSERT_EQ(js.status, 0) << js.err;
  EXPECT_EQ(Json::parse(js.aus)["steps"][2]["outcome"], "PASS");
}

TEST_F(Pruefbefehl, DurchgefallenGibtEinsUndNenntWertUndGrenze) {
  sim_.control("shape sag 0.8");
  const Ergebnis r = Test({});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.aus.substr(0, 4), "FAIL");
  EXPECT_TRUE(Enthaelt(r.aus, "3 2 A: FAIL: mean current 1.6")) << r.aus;
  EXPECT_TRUE(Enthaelt(r.aus, "below minimum 1.960 A (limit 2 A \xC2\xB1 2 %)")) << r.aus;
  EXPECT_EQ(sim_.frames().back(), "#1DF2");
}

TEST_F(Pruefbefehl, PlanfehlerMitOrtUndNichtsGesendet) {
  struct Fall {
    std::string plan;
    int status;
    const char* ort;
  };
  const std::string start = "name = \"x\"\n[[step]]\ntype = \"wait\"\n";
  const Fall faelle[] = {
      {start + "time = \"1 s\"\n[[step]\n", 5, "line 5, column 8"},
      {start + "time = \"1 s\"\nwhen = 2\n", 2, "line 5, column 1"},
      {start + "time = 1\n", 2, "line 4, column 8"},
      {"name = \"x\"\n[[step]]\ntype = \"write\"\nvalues = { zeit1 = \"70 s\" }\n", 2, "line 4, column 20"},
  };
  for (const Fall& f : faelle) {
    testdateien::DateiSchreiben("plan.toml", f.plan);
    sim_.clearFrames();
    const Ergebnis r = Test({});
    EXPECT_EQ(r.status, f.status) << f.plan << r.err;
    EXPECT_TRUE(Enthaelt(r.err, "plan.toml, " + std::string(f.ort))) << r.err;
    EXPECT_EQ(Cli({"test", "--check", "plan.toml"}).status, f.status);
    EXPECT_TRUE(sim_.frames().empty());
  }
  EXPECT_FALSE(std::filesystem::exists("rec"));
  // Faster than the line carries at 1200 baud: refused before anything is sent.
  testdateien::DateiSchreiben("plan.toml", Plan("1 s"));
  sim_.control("baud 1200");
  const Ergebnis r = Cli({"--port", "1", "--baud", "1200", "test", "plan.toml", "--serial", "S"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Enthaelt(r.err, "line 10, column 12: interval 0.1 s: at 1200 baud")) << r.err;
  EXPECT_TRUE(sim_.frames().empty());
  EXPECT_EQ(Cli({"test", "--check", "plan.toml"}).status, 0);
  EXPECT_EQ(Cli({"--port", "1", "test", "plan.toml"}).status, 2);  // no serial number
  // A record that could not be kept: refused before the run.
  testdateien::DateiSchreiben("datei", "x");
  const Ergebnis ordner = Cli({"--port", "1", "test", "plan.toml", "--serial", "S", "--record", "datei/rec"});
  EXPECT_EQ(ordner.status, 5);
  EXPECT_TRUE(Enthaelt(ordner.err, "datei/rec: Not a directory")) << ordner.err;
  EXPECT_TRUE(sim_.frames().empty());
}

TEST_F(Pruefbefehl, SignaleStoppenDasGeraetUndHaltenDieAufzeichnung) {
  testdateien::DateiSchreiben("plan.toml", Plan("1 min"));
  for (const int signal : {SIGINT, SIGTERM}) {
    std::filesystem::remove_all("rec");
    sim_.clearFrames();
    clitest::Hintergrund lauf({"--port", "1", "test", "plan.toml", "--serial", "SN7", "--record", "rec"});
    ASSERT_TRUE(Abwarten("#1C0R"));
    const Ergebnis r = lauf.Beenden(signal);
    EXPECT_EQ(r.status, 128 + signal) << r.err;
    EXPECT_EQ(r.aus.substr(0, 7), "ABORTED");
    EXPECT_EQ(sim_.frames().back(), "#1DF2");
    const Json j = Json::parse(testdateien::DateiLesen(Aufzeichnung() + "/record.json"));
    EXPECT_EQ(j["outcome"], "ABORTED");
    EXPECT_EQ(j["stop_sent"], true);
    EXPECT_EQ(j["steps"][3]["outcome"], "SKIPPED");
  }
}

TEST_F(Pruefbefehl, GeraetVerstummtGibtVierMitAufzeichnung) {
  sim_.control("fault after 30 silence");
  const Ergebnis r = Test({});
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_TRUE(Enthaelt(r.aus, "ERROR")) << r.aus;
  EXPECT_TRUE(Enthaelt(r.err, "Error #403101: No answer from device\nstep 3 2 A")) << r.err;
  const Json j = Json::parse(testdateien::DateiLesen(Aufzeichnung() + "/record.json"));
  EXPECT_EQ(j["outcome"], "ERROR");
  EXPECT_EQ(j["stop_sent"], true);
  EXPECT_EQ(j["steps"][2]["code"], 403101);
}

// The outcome stays at the broker under the station's result topic, for a
// dashboard that connects later.
TEST_F(Pruefbefehl, ErgebnisBleibtBeimBroker) {
  if (const std::string fehlt = mqtttest::Fehlt(); !fehlt.empty()) GTEST_SKIP() << "not installed: " << fehlt;
  mqtttest::Broker b(verzeichnis_.pfad());
  ASSERT_TRUE(b.starten());
  sim_.control("shape sag 0.8");
  const Ergebnis r = Test({"--mqtt", b.url("lab"), "--station", "st"});
  EXPECT_EQ(r.status, 1) << r.err;
  mqtttest::Abonnent sub(b, verzeichnis_.pfad() + "/sub.txt", {"lab/st/result"});
  ASSERT_TRUE(sub.bereit());
  ASSERT_TRUE(sub.warten([](const std::vector<mqtttest::Nachricht>& n) { return !n.empty(); }, 10));
  const Json j = Json::parse(sub.inhalte("lab/st/result").at(0));
  EXPECT_EQ(j["outcome"], "FAIL");
  EXPECT_EQ(j["serial"], "SN7");
  EXPECT_EQ(j["steps"][2]["outcome"], "FAIL");
  EXPECT_TRUE(Enthaelt(j["reason"].get<std::string>(), "below minimum 1.960 A"));
}

}  // namespace

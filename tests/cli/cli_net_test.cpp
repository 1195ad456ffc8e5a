// zpk3x-cli through Debian's ser2net in front of the simulator: the same frames
// and files as on the local terminal, the search, and a server that goes away.
#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <future>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "cli_lauf.h"
#include "ser2net_harness.h"
#include "sim_harness.h"
#include "testdateien.h"

namespace {

using clitest::Cli;
using clitest::Ergebnis;
using testdateien::DateiLesen;
using Clock = std::chrono::steady_clock;

bool Enthaelt(const std::string& text, const std::string& teil) { return text.find(teil) != std::string::npos; }

simtest::SimOptions Geraet(char adresse, int baud) {
  simtest::SimOptions o;
  o.address = adresse;
  o.baud = baud;
  return o;
}

class KommandozeileNetz : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("LANG");
    ASSERT_TRUE(sim_.ok());
    ASSERT_TRUE(server_.ok()) << "ser2net did not start";
  }
  // The frames one command sends, with the simulator's log emptied before.
  std::vector<std::string> Rahmen(const std::vector<std::string>& argumente, Ergebnis* r) {
    sim_.clearFrames();
    *r = Cli(argumente);
    return sim_.frames();
  }

  testdateien::Arbeitsverzeichnis verzeichnis_;
  simtest::Simulator sim_{Geraet('1', 9600)};
  nettest::Ser2net server_{sim_.ptyPath()};
};

TEST_F(KommandozeileNetz, AlleLesenUndSchreibenWieAmEigenenTerminal) {
  Ergebnis r;
  const auto lokalGelesen = Rahmen({"--port", sim_.ptyPath(), "read", "all", "-o", "lokal.zpk"}, &r);
  ASSERT_EQ(r.status, 0) << r.err;
  // The working parameters, 16 programs, the working parameters put back.
  ASSERT_EQ(lokalGelesen.size(), 196u);
  const auto lokalGeschrieben = Rahmen({"--port", sim_.ptyPath(), "write", "all", "-i", "lokal.zpk"}, &r);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(lokalGeschrieben.size(), 372u);  // working parameters kept; written, then read back

  for (const std::string& url : {server_.rawUrl(), server_.rfcUrl()}) {
    EXPECT_EQ(Rahmen({"--port", url, "id"}, &r), std::vector<std::string>{"#1IDR"});
    EXPECT_EQ(r.aus, "OLQ-ZPK3X-SIM\n") << url << r.err;
    // The same frames up to the working parameters put back, which are now program 16.
    auto gelesen = Rahmen({"--port", url, "read", "all", "-o", "netz.zpk"}, &r);
    ASSERT_EQ(gelesen.size(), 196u) << url;
    EXPECT_TRUE(std::equal(gelesen.begin() + 10, gelesen.begin() + 186, lokalGelesen.begin() + 10)) << url;
    EXPECT_EQ(r.status, 0) << url << r.err;
    EXPECT_EQ(DateiLesen("netz.zpk").substr(128), DateiLesen("lokal.zpk").substr(128)) << url;
    EXPECT_EQ(Rahmen({"--port", url, "write", "all", "-i", "lokal.zpk"}, &r), lokalGeschrieben) << url;
    EXPECT_EQ(r.status, 0) << url << r.err;
  }
}

// The raw and the RFC 2217 accepter of one server serve one line: an answer
// owed through one is checked for before a command through the other.
TEST_F(KommandozeileNetz, ZweiAnnehmerEinesServersTeilenWasGeschuldetIst) {
  // The other accepter, and the same one at another baud rate (a raw port runs
  // at the server's rate, so the rate must not clear what is owed).
  for (const std::vector<std::string>& danach : {std::vector<std::string>{"--port", server_.rfcUrl(), "start"},
                                                 std::vector<std::string>{"--port", server_.rawUrl(), "--baud", "4800",
                                                                          "start"}}) {
    sim_.control("fault late DF2 300");
    Ergebnis r;
    EXPECT_EQ(Rahmen({"--port", server_.rawUrl(), "--timeout", "0.1", "stop"}, &r),
              std::vector<std::string>{"#1DF2"});
    EXPECT_EQ(r.status, 4);
    sim_.control("fault none");
    const auto rahmen = Rahmen(danach, &r);
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(rahmen.empty());
    EXPECT_EQ(rahmen.front(), "#1S0R");
    EXPECT_EQ(rahmen.back(), "#1DF1");
  }
}

// A late answer to a query is never printed as the device's identity.
TEST_F(KommandozeileNetz, SpaeteAbfrageIstKeineKennung) {
  for (const char* befehl : {"id", "scan"}) {
    SCOPED_TRACE(befehl);
    sim_.control("fault late C0R 300");
    Ergebnis r;
    Rahmen({"--port", server_.rawUrl(), "--timeout", "0.1", "get"}, &r);
    EXPECT_EQ(r.status, 4);
    sim_.control("fault none");
    Rahmen({"--port", server_.rawUrl(), befehl}, &r);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Enthaelt(r.aus, "OLQ-ZPK3X-SIM")) << r.aus;
    EXPECT_FALSE(Enthaelt(r.aus, "C0R")) << r.aus;
  }
}

// One server by two names is one device: an answer owed to a call through one
// name is proven away before a call through the other trusts the line, and the
// lock files go with the connections.
TEST_F(KommandozeileNetz, ZweiNamenEinesServersSindEinGeraet) {
  sim_.control("fault late DF1 1000");
  sim_.control("fault silence DF2");
  const std::string ip = server_.rawUrl();
  std::string name = ip;
  // Another spelling of the same address, numeric so that no resolver is asked
  // (a new machine's root may not resolve even "localhost").
  name.replace(name.find("127.0.0.1"), 9, "127.1");
  Ergebnis r;
  EXPECT_EQ(Rahmen({"--port", ip, "start"}, &r), std::vector<std::string>{"#1DF1"});
  EXPECT_EQ(r.status, 4);
  sim_.clearFrames();
  r = Cli({"--port", name, "stop"});
  EXPECT_EQ(r.status, 4) << r.aus;
  EXPECT_FALSE(Enthaelt(r.aus, "done")) << r.aus;
  const auto rahmen = sim_.frames();
  ASSERT_FALSE(rahmen.empty());
  EXPECT_EQ(rahmen[0], "#1S0R");
  const std::string port = ip.substr(ip.rfind(':') + 1);
  EXPECT_FALSE(clitest::DateiDa("/run/lock/zpk3x-tcp_127.0.0.1_" + port + ".lock"));
}

TEST_F(KommandozeileNetz, VerweigerteVerbindungUndFalscherName) {
  const int frei = nettest::FreePort();
  const Ergebnis r = Cli({"--json", "--port", "rfc2217://127.0.0.1:" + std::to_string(frei), "id"});
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(Enthaelt(r.err, "Error #100003: Error opening com-port\nrfc2217://127.0.0.1:")) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, ": connection refused")) << r.err;
  EXPECT_TRUE(Enthaelt(r.aus, "\"reason_code\":\"refused\"")) << r.aus;
  // No lock file for a server that never took us.
  EXPECT_FALSE(clitest::DateiDa("/run/lock/zpk3x-tcp_127.0.0.1_" + std::to_string(frei) + ".lock"));
  const Ergebnis falsch = Cli({"--port", "tcp://127.0.0.1", "id"});
  EXPECT_EQ(falsch.status, 2);
  EXPECT_TRUE(Enthaelt(falsch.err, "tcp://HOST:PORT or rfc2217://HOST:PORT")) << falsch.err;
}

TEST_F(KommandozeileNetz, ServerBeendetMittenImLesenIstDieGetrennteLeitungUndLaesstDieDatei) {
  testdateien::DateiSchreiben("alt.json", "{\"alt\": true}\n");
  // The device falls silent at the 21st frame; the server goes while the program waits.
  sim_.control("fault after 20 silence");
  auto lauf = std::async(std::launch::async, [this] {
    return Cli({"--port", server_.rfcUrl(), "--timeout", "5", "read", "all", "-o", "alt.json"});
  });
  const auto frist = Clock::now() + std::chrono::seconds(30);
  while (sim_.frames().size() < 21 && Clock::now() < frist) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(sim_.frames().size(), 21u);
  server_.kill();
  const auto ende = Clock::now();
  const Ergebnis r = lauf.get();
  // Seen at once, not after the 5 s time-out of the answer (waiting for it would
  // take over 5 s). The margin takes in the end of the process: 0.05 s here, 0.6 s
  // in the sanitizer's build on a busy machine (measured), where leak checking runs.
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - ende).count(), 4.0);
  // The server's going is the line's hang-up, as on a terminal of this machine.
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(Enthaelt(r.err, "Error #127125")) << r.err;
  EXPECT_EQ(DateiLesen("alt.json"), "{\"alt\": true}\n");
}

TEST(SucheUeberSer2net, Rfc2217FindetAdresseDreiBei4800RohFragtNurEinmal) {
  ::unsetenv("LANG");
  testdateien::Arbeitsverzeichnis verzeichnis;
  simtest::Simulator sim(Geraet('3', 4800));
  nettest::Ser2net server(sim.ptyPath());
  ASSERT_TRUE(sim.ok());
  ASSERT_TRUE(server.ok());
  Ergebnis r = Cli({"--port", server.rfcUrl(), "--timeout", "0.1", "scan"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Enthaelt(r.aus, "Found: address 3, 4800 baud")) << r.aus;
  // Raw TCP: only at the server's rate (its 9600, where the device is silent), and it says so.
  sim.clearFrames();
  r = Cli({"--port", server.rawUrl(), "--timeout", "0.05", "scan"});
  EXPECT_EQ(r.status, 4);
  EXPECT_TRUE(Enthaelt(r.err, "the search asks only at the device server's baud rate")) << r.err;
  EXPECT_EQ(sim.frames().size(), 8u);

  // A raw server at the device's 4800: found, and no rate claimed that the program did not set.
  nettest::Ser2net server4800(sim.ptyPath(), 4800);
  ASSERT_TRUE(server4800.ok());
  r = Cli({"--port", server4800.rawUrl(), "--timeout", "0.1", "scan"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Enthaelt(r.aus, "Found: address 3, at the device server's rate")) << r.aus;
  EXPECT_FALSE(Enthaelt(r.aus, "9600")) << r.aus;
  r = Cli({"--json", "--port", server4800.rawUrl(), "--timeout", "0.1", "scan"});
  EXPECT_TRUE(nlohmann::json::parse(r.aus)["baud_rate"].is_null()) << r.aus;
}

}  // namespace

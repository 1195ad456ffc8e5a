// The MQTT publisher against brokers that misbehave: a hostile one over TLS,
// one that never finishes a packet, one that comes up refusing, and an ACL that
// denies only the values. In-process where a short time limit is needed, else
// the command against a real Mosquitto.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "Telemetrie/Telemetrie.h"
#include "cli_lauf.h"
#include "mqtt_broker.h"
#include "sim_harness.h"
#include "testdateien.h"

extern char** environ;

namespace {

using clitest::Enthaelt;
using Strings = std::vector<std::string>;

int Lauscher(int* port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(*port));
  const int ja = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &ja, sizeof ja);
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 8) != 0) {
    ::close(s);
    return -1;
  }
  socklen_t l = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &l);
  *port = ntohs(a.sin_port);
  return s;
}

// A broker of the test's own making: each connection gets `antwort` after its
// CONNECT and is then held open and silent.
class Falscher {
 public:
  Falscher(int port, std::string antwort) : antwort_(std::move(antwort)) {
    port_ = port;
    lauscher_ = Lauscher(&port_);
    faden_ = std::thread([this] {
      std::vector<int> offen;
      while (!ende_) {
        pollfd f = {lauscher_, POLLIN, 0};
        if (::poll(&f, 1, 20) <= 0) continue;
        const int k = ::accept4(lauscher_, nullptr, nullptr, SOCK_CLOEXEC);
        char connect[512];
        pollfd r = {k, POLLIN, 0};
        if (k >= 0 && ::poll(&r, 1, 2000) > 0 && ::recv(k, connect, sizeof connect, 0) > 0 &&
            ::send(k, antwort_.data(), antwort_.size(), MSG_NOSIGNAL) > 0)
          ++beantwortet_;
        offen.push_back(k);
      }
      for (int k : offen) ::close(k);
    });
  }
  ~Falscher() {
    ende_ = true;
    faden_.join();
    ::close(lauscher_);
  }
  int port() const { return port_; }
  int beantwortet() const { return beantwortet_; }

 private:
  std::string antwort_;
  std::atomic<int> beantwortet_{0};
  int port_ = 0, lauscher_ = -1;
  std::atomic<bool> ende_{false};
  std::thread faden_;
};

// Starts a program with standard input from `ein` (-1: none) and its output into files.
pid_t Starten(const Strings& argv, int ein, const std::string& aus, const std::string& err) {
  posix_spawn_file_actions_t a;
  posix_spawn_file_actions_init(&a);
  if (ein >= 0) posix_spawn_file_actions_adddup2(&a, ein, 0);
  posix_spawn_file_actions_addopen(&a, 1, aus.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&a, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (const std::string& s : argv) args.push_back(const_cast<char*>(s.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, argv[0].c_str(), &a, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&a);
  return pid;
}

struct Notizen {
  std::mutex m;
  Strings texte;
  bool hat(const std::string& teil) {
    std::lock_guard<std::mutex> s(m);
    for (const std::string& t : texte)
      if (Enthaelt(t, teil)) return true;
    return false;
  }
};

MqttEinstellungen Einstellungen(int port, Notizen* n) {
  MqttEinstellungen e;
  e.url = "mqtt://127.0.0.1:" + std::to_string(port) + "/lab";
  e.station = "st";
  e.stationGegeben = true;
  e.antwortFrist = std::chrono::milliseconds(300);
  e.hinweis = [n](const std::string& text, bool) {
    std::lock_guard<std::mutex> s(n->m);
    n->texte.push_back(text);
  };
  return e;
}

const std::string kConnack("\x20\x03\x00\x00\x00", 5);

TEST(MqttTelemetrie, EinNieFertigesPaketUndEinBrokerDerErstSpaeterAblehntWerdenGenannt) {
  Notizen n;
  std::unique_ptr<MqttSender> sender;
  MqttFeld feld{};
  std::string detail;
  {
    // 100 bytes announced, 10 sent, then nothing: the connection counts as dead.
    Falscher langsam(0, kConnack + std::string("\x30\x64\x00\x02lab", 7) + "xxxxx");
    ASSERT_EQ(MqttVerbinden(Einstellungen(langsam.port(), &n), &sender, &feld, &detail), 0) << detail;
    EXPECT_TRUE(mqtttest::Warten([&] { return n.hat("connection lost (a packet from the broker did not finish within 300 ms)"); }, 5))
        << ::testing::PrintToString(n.texte);
    sender.reset();
  }
  // Nobody there, then a broker that is up but turns the station away.
  int port = 0;
  ::close(Lauscher(&port));
  {
    std::lock_guard<std::mutex> s(n.m);
    n.texte.clear();
  }
  ASSERT_EQ(MqttVerbinden(Einstellungen(port, &n), &sender, &feld, &detail), 0) << detail;
  ASSERT_TRUE(mqtttest::Warten([&] { return n.hat("no connection (Connection refused)"); }, 5));
  Falscher voll(port, std::string("\x20\x03\x00\x88\x00", 5));
  EXPECT_TRUE(mqtttest::Warten([&] { return n.hat("no connection (Server unavailable)"); }, 5));
  sender.reset();
}

// A broker that takes the connection and then acknowledges nothing: the end
// waits its bound and names the values it cannot prove delivered.
TEST(MqttTelemetrie, UnbestaetigteWerteWerdenAmEndeGezaehlt) {
  Notizen n;
  std::unique_ptr<MqttSender> sender;
  MqttFeld feld{};
  std::string detail;
  Falscher stumm(0, kConnack);
  MqttEinstellungen e = Einstellungen(stumm.port(), &n);
  e.antwortFrist = std::chrono::seconds(60);  // no reconnection while the test runs
  ASSERT_EQ(MqttVerbinden(e, &sender, &feld, &detail), 0) << detail;
  ASSERT_TRUE(mqtttest::Warten([&] { return stumm.beantwortet() > 0; }, 30));
  MqttAbfrage a;
  a.zeit = "2026-12-10T12:00:00.000+00:00";
  for (int i = 0; i < 3; ++i) sender->Abfrage(a);
  sender.reset();
  EXPECT_TRUE(n.hat("3 values not delivered to the broker (no acknowledgement within "))
      << ::testing::PrintToString(n.texte);
}

TEST(MqttTelemetrie, EineZuLangeStationWirdVorEinemZeichenGekuerzt) {
  Notizen n;
  MqttEinstellungen e = Einstellungen(1, &n);
  e.station = std::string(39, 'a') + "\xC3\xBC/";  // "ü" across the 40th byte, and a "/"
  std::unique_ptr<MqttSender> sender;
  MqttFeld feld{};
  std::string detail;
  EXPECT_EQ(MqttVerbinden(e, &sender, &feld, &detail), MQTT_ANGABE_FALSCH);
  EXPECT_TRUE(Enthaelt(detail, "\"" + std::string(39, 'a') + "... (42 bytes)\"")) << detail;
}

class MqttMonitor : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("LANG");
    if (const std::string fehlt = mqtttest::Fehlt(); !fehlt.empty()) GTEST_SKIP() << "not installed: " << fehlt;
    ASSERT_TRUE(sim_.ok());
    sim_.mapToCom(1);
  }
  std::string Datei(const std::string& name) const { return verzeichnis_.pfad() + "/" + name; }

  testdateien::Arbeitsverzeichnis verzeichnis_;
  simtest::Simulator sim_;
};

// Values go at QoS 0; now and then one at QoS 1 shows whether the broker takes
// them. Meta is published once, with the device's identity and address number.
TEST_F(MqttMonitor, VerweigerteWerteWerdenGemeldetUndMetaKommtMitKennung) {
  mqtttest::BrokerOptionen o;
  o.acl = "user bench\ntopic write lab/st/online\ntopic write lab/st/status\ntopic write lab/st/meta\ntopic read lab/#\n"
          "topic readwrite zpk3x-test/#\n";
  mqtttest::Broker b(verzeichnis_.pfad(), o);
  ASSERT_TRUE(b.starten());
  mqtttest::Abonnent sub(b, Datei("sub.txt"), {"lab/st/meta"});
  ASSERT_TRUE(sub.bereit());
  const clitest::Ergebnis r = clitest::Cli({"--port", "1", "monitor", "--interval", "0.1", "--duration", "0.5", "--mqtt",
                                            b.url("lab"), "--station", "st"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, "denies publishing under lab/st/ (user \"bench\"): Not authorized (values)")) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, "publications denied by the broker (values)")) << r.err;
  ASSERT_TRUE(sub.warten([](const auto& m) { return !m.empty(); }, 10));
  for (const std::string& meta : sub.inhalte("lab/st/meta")) {
    const nlohmann::json j = nlohmann::json::parse(meta);
    EXPECT_TRUE(j["identity"].is_string()) << meta;
    EXPECT_EQ(j["address"], 1) << meta;
  }
}

// The openssl command as a TLS broker: what the test writes into its standard
// input goes to the client, a good CONNACK and then a PUBLISH announcing 256 MB,
// with its body following as fast as the client takes it.
TEST_F(MqttMonitor, EinFeindlicherBrokerUeberTlsBleibtUnterDerSpeichergrenze) {
  ASSERT_TRUE(mqtttest::ZertifikateMachen(verzeichnis_.pfad(), "f"));
  int port = 0;
  ::close(Lauscher(&port));
  int rohr[2];
  ASSERT_EQ(::pipe2(rohr, O_CLOEXEC), 0);
  ::signal(SIGPIPE, SIG_IGN);  // the writer learns of the server's end by EPIPE
  const std::string p = verzeichnis_.pfad() + "/f";
  const pid_t server = Starten({"openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(port), "-cert", p + "-broker.pem",
                                "-key", p + "-broker.key"}, rohr[0], "/dev/null", "/dev/null");
  ASSERT_GT(server, 0);
  ::close(rohr[0]);
  std::atomic<bool> ende{false}, fertig{false};
  std::thread schreiber([&] {
    const std::string kopf = kConnack + std::string("\x30\xFF\xFF\xFF\x7F\x00\x01x", 8);
    bool gut = ::write(rohr[1], kopf.data(), kopf.size()) == static_cast<ssize_t>(kopf.size());
    const std::string nullen(1 << 16, '\0');
    for (std::size_t n = 0; gut && !ende && n < (std::size_t{256} << 20); n += nullen.size())
      gut = ::write(rohr[1], nullen.data(), nullen.size()) > 0;
    fertig = true;
  });
  // Listening, seen from the kernel's table: a probe connection would take the
  // bytes meant for the monitor.
  char hex[16];
  std::snprintf(hex, sizeof hex, ":%04X ", port);
  ASSERT_TRUE(mqtttest::Warten([&] {
    const std::string tabelle = testdateien::DateiLesen("/proc/net/tcp");
    const std::size_t i = tabelle.find(std::string("0100007F") + hex);
    return i != std::string::npos && tabelle.compare(i + 14 + 14, 2, "0A") == 0;
  }, 10));

  const pid_t monitor = Starten({ZPK3X_CLI, "--port", "1", "monitor", "--interval", "0.1", "--mqtt",
                                 "mqtts://127.0.0.1:" + std::to_string(port) + "/lab", "--mqtt-ca", p + "-ca.pem", "--station", "st"},
                                -1, "aus.txt", "err.txt");
  // Until the monitor leaves the connection, or takes more than the bound, and
  // has answered a query (Ctrl+C before any answer is an abort, not an end).
  long kb = 0;
  EXPECT_TRUE(mqtttest::Warten([&] {
    kb = std::max(kb, mqtttest::SpitzenspeicherKb(monitor));
    return kb > mqtttest::kSpeichergrenzeKb || (Enthaelt(testdateien::DateiLesen("err.txt"), "connection lost") &&
                                                !testdateien::DateiLesen("aus.txt").empty());
  }, 20));
  kb = std::max(kb, mqtttest::SpitzenspeicherKb(monitor));
  ::kill(monitor, SIGINT);
  int status = -1;
  ::waitpid(monitor, &status, 0);
  const clitest::Ergebnis r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, "", testdateien::DateiLesen("err.txt")};
  ende = true;
  ::kill(server, SIGKILL);
  ::close(rohr[1]);
  schreiber.join();
  ::waitpid(server, nullptr, 0);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_GT(kb, 0);
  EXPECT_LT(kb, mqtttest::kSpeichergrenzeKb);
  RecordProperty("VmHWM_kB", static_cast<int>(kb));
  EXPECT_TRUE(Enthaelt(r.err, "the broker sent more than 65536 bytes beyond what it was sent")) << r.err;
}

}  // namespace

namespace {

// A broker that accepts the connection and then never answers, not even a
// ping: after a keep-alive interval the client pings, after another it gives up
// (about 30 s), and the note names that cause, not the library's "Unknown error.".
TEST(MqttTelemetrie, DerVerlustDerKeepaliveAntwortNenntSeinenGrund) {
  Notizen n;
  std::unique_ptr<MqttSender> sender;
  MqttFeld feld{};
  std::string detail;
  Falscher stumm(0, kConnack);
  MqttEinstellungen e = Einstellungen(stumm.port(), &n);
  // The unanswered publications of the start must not end the connection first.
  e.antwortFrist = std::chrono::milliseconds(120000);
  ASSERT_EQ(MqttVerbinden(e, &sender, &feld, &detail), 0) << detail;
  EXPECT_TRUE(mqtttest::Warten(
      [&] { return n.hat("connection lost (no answer from the broker within the keep-alive time of 15 s)"); }, 50))
      << ::testing::PrintToString(n.texte);
  EXPECT_FALSE(n.hat("Unknown error")) << ::testing::PrintToString(n.texte);
  sender.reset();
}

}  // namespace

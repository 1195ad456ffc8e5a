// Network ports of the serial layer: the telnet codec, port names, the real
// ser2net between the program and the simulator, and servers that misbehave.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232.h"
#include "rs232/rs232_net.h"
#include "rs232/rs232_seam.h"
#include "rs232/rs232_telnet.h"
#include "ser2net_harness.h"
#include "sim_harness.h"

namespace {

namespace tn = rs232telnet;
using Clock = std::chrono::steady_clock;
using Bytes = std::string;

Bytes B(std::initializer_list<int> bytes) {
  Bytes b;
  for (int x : bytes) b.push_back(static_cast<char>(x));
  return b;
}

struct Dekodiert {
  Bytes daten, antwort;
};

Dekodiert Fuettern(tn::Decoder& d, const Bytes& in) {
  Dekodiert r;
  d.feed(reinterpret_cast<const unsigned char*>(in.data()), in.size(), &r.daten, &r.antwort);
  return r;
}

double SekundenSeit(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

int Oeffnen(int port, const std::string& name, long baud = 9600) {
  return OpenComConfig(port, name.c_str(), baud, 1, 7, 1, 512, 512);
}

std::string Kennung(int port, char adresse = '1', ErrorCode* fehler = nullptr) {
  char kennung[32] = {};
  const ErrorCode e = OLQZPK3X_IDLesen(port, adresse, kennung);
  if (fehler != nullptr) *fehler = e;
  return e == 0 ? std::string(kennung) : std::string();
}

// ---- codec ----

TEST(Telnet, DatenMitFfUndBefehlenDazwischen) {
  tn::Decoder d;
  d.requestOptions();
  // Data, an escaped 0xFF, a NOP, a negotiation answer and data again, split anywhere.
  const Bytes strom = B({'#', 0xFF, 0xFF, 0xFF, 241, 'A', 0xFF, 253, 0, 0x06, '\r', 0});
  for (std::size_t teil = 1; teil <= strom.size(); ++teil) {
    tn::Decoder e;
    e.requestOptions();
    Bytes daten;
    for (std::size_t i = 0; i < strom.size(); i += teil) daten += Fuettern(e, strom.substr(i, teil)).daten;
    // Outside binary mode from the server, the NUL after CR is padding.
    EXPECT_EQ(daten, B({'#', 0xFF, 'A', 0x06, '\r'})) << teil;
  }
  // Once the server sends binary, a NUL after CR is data.
  Fuettern(d, B({0xFF, 251, 0}));
  EXPECT_EQ(Fuettern(d, B({'\r', 0})).daten, B({'\r', 0}));

  EXPECT_EQ(tn::encodeData("\xFF\r", 2, true), B({0xFF, 0xFF, '\r'}));
  EXPECT_EQ(tn::encodeData("\xFF\r", 2, false), B({0xFF, 0xFF, '\r', 0}));
  EXPECT_EQ(tn::comPortBaudRate(0x12C0FF), B({0xFF, 250, 44, 1, 0, 0x12, 0xC0, 0xFF, 0xFF, 0xFF, 240}));
}

TEST(Telnet, VerhandlungAntwortetNurBeiAenderungUndLehntEinmalAb) {
  tn::Decoder d;
  d.requestOptions();
  // What we asked for is not answered again; what we do not offer is refused once.
  EXPECT_EQ(Fuettern(d, B({0xFF, 253, 0, 0xFF, 251, 0, 0xFF, 253, 44})).antwort, "");
  EXPECT_TRUE(d.comPortAccepted());
  EXPECT_TRUE(d.binaryToServer());
  EXPECT_EQ(Fuettern(d, B({0xFF, 253, 24, 0xFF, 251, 1, 0xFF, 251, 3})).antwort,
            B({0xFF, 252, 24, 0xFF, 254, 1, 0xFF, 253, 3}));
  Bytes flut;
  for (int i = 0; i < 1000; ++i) flut += B({0xFF, 253, 24, 0xFF, 251, 1, 0xFF, 241});
  EXPECT_EQ(Fuettern(d, flut).antwort, "");
  // Switching binary off is acknowledged, and encoding follows it.
  EXPECT_EQ(Fuettern(d, B({0xFF, 254, 0})).antwort, B({0xFF, 252, 0}));
  EXPECT_FALSE(d.binaryToServer());
  EXPECT_FALSE(d.comPortRefused());
  EXPECT_EQ(Fuettern(d, B({0xFF, 254, 44})).antwort, B({0xFF, 252, 44}));
  EXPECT_TRUE(d.comPortRefused());
}

TEST(Telnet, KomPortAntwortenUndMeldungen) {
  tn::Decoder d;
  EXPECT_EQ(d.baudReply(), -1);
  // The server's rate answer, with a 0xFF in its value.
  Fuettern(d, B({0xFF, 250, 44, 101, 0, 0x01, 0xFF, 0xFF, 0x00, 0xFF, 240}));
  EXPECT_EQ(d.baudReply(), 0x01FF00);
  // Line state: "transmitter empty" is no fault, a parity error is, and is taken once.
  EXPECT_EQ(Fuettern(d, B({0xFF, 250, 44, 106, 0x60, 0xFF, 240, 'x'})).daten, "x");
  EXPECT_FALSE(d.takeLineError());
  Fuettern(d, B({0xFF, 250, 44, 106, 0x04, 0xFF, 240}));
  EXPECT_TRUE(d.takeLineError());
  EXPECT_FALSE(d.takeLineError());
  // A notification far longer than any answer is dropped whole; what follows is data.
  Bytes riesig = B({0xFF, 250, 44, 101});
  riesig += Bytes(1 << 20, '\x07');
  riesig += B({0xFF, 240, 'o', 'k'});
  EXPECT_EQ(Fuettern(d, riesig).daten, "ok");
  EXPECT_EQ(d.baudReply(), 0x01FF00);
  // A command inside a sub-negotiation ends it and is carried out.
  EXPECT_EQ(Fuettern(d, B({0xFF, 250, 44, 106, 0xFF, 253, 24, 'z'})).daten, "z");
}

// ---- port names ----

TEST(Portname, FormenUndIdentitaet) {
  const auto a = rs232net::parseName("rfc2217://Bench-3.lab:2001");
  EXPECT_EQ(a.kind, rs232net::Kind::Rfc2217);
  EXPECT_EQ(rs232net::identity(a), "tcp:bench-3.lab:2001");
  const auto v6 = rs232net::parseName("TCP://[fe80::1%eth0]:65535");
  EXPECT_EQ(v6.kind, rs232net::Kind::Raw);
  EXPECT_EQ(v6.host, "fe80::1%eth0");
  EXPECT_EQ(rs232net::identity(v6), "tcp:[fe80::1%eth0]:65535");
  EXPECT_EQ(rs232net::parseName("tcp://10.0.0.7:4001").host, "10.0.0.7");
  EXPECT_EQ(rs232net::parseName("/dev/ttyUSB0").kind, rs232net::Kind::Local);
  for (const char* falsch : {"tcp://host", "tcp://:80", "tcp://host:0", "tcp://host:65536", "tcp://host:80/x",
                             "rfc2217://::1:80", "rfc2217://[::1:80", "tcp://[host]:80", "tcp://a b:80", "tcp://"}) {
    EXPECT_EQ(rs232net::parseName(falsch).kind, rs232net::Kind::Invalid) << falsch;
  }
  ::setenv("ZPK3X_COM5", "rfc2217://127.0.0.1:9", 1);
  EXPECT_EQ(ComPortKind(5, ""), COM_KIND_RFC2217);
  EXPECT_EQ(ComPortKind(5, "tcp://127.0.0.1:9"), COM_KIND_TCP);
  ::setenv("ZPK3X_COM5", "tcp://127.0.0.1:", 1);
  EXPECT_EQ(ComPortKind(5, ""), -1);
  EXPECT_NE(OpenComConfig(5, "", 9600, 1, 7, 1, 512, 512), 0);
  EXPECT_NE(std::string(ComLastError()).find("tcp://HOST:PORT"), std::string::npos);
  ::unsetenv("ZPK3X_COM5");
}

TEST(Portidentitaet, EinGeraetUeberZweiWegeGleich) {
  int master = -1, slave = -1;
  char name[128] = {};
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  const std::string link = "/tmp/zpk3x-net-test-link-" + std::to_string(::getpid());
  ASSERT_EQ(::symlink(name, link.c_str()), 0);
  char a[64] = {}, b[64] = {};
  ASSERT_EQ(Oeffnen(6, name), 0);
  EXPECT_GT(ComPortIdentity(6, a, sizeof a), 0);
  CloseCom(6);
  ASSERT_EQ(Oeffnen(6, link), 0);
  EXPECT_GT(ComPortIdentity(6, b, sizeof b), 0);
  EXPECT_EQ(ComPortIdentity(6, b, 4), -1);
  CloseCom(6);
  EXPECT_EQ(std::string(a).rfind("dev:", 0), 0u) << a;
  EXPECT_STREQ(a, b);
  EXPECT_EQ(ComPortIdentity(6, a, sizeof a), -1);
  ::unlink(link.c_str());
  ::close(slave);
  ::close(master);
}

// ---- through ser2net ----

class UeberSer2net : public ::testing::Test {
 protected:
  void SetUp() override {
    Rs232Seam_Reset();
    ASSERT_TRUE(sim_.ok());
    ASSERT_TRUE(server_.ok()) << "ser2net did not start";
  }
  void TearDown() override {
    for (int port = 1; port <= 8; ++port) CloseCom(port);
  }
  static simtest::SimOptions Bei4800() {
    simtest::SimOptions o;
    o.baud = 4800;
    return o;
  }
  simtest::Simulator sim_{Bei4800()};
  nettest::Ser2net server_{sim_.ptyPath()};
};

TEST_F(UeberSer2net, KennungRohUndRfc2217MitIdentitaetDesPorts) {
  // The simulator talks at 4800: only RFC 2217 can bring the line there.
  ASSERT_EQ(Oeffnen(1, server_.rfcUrl(), 4800), 0);
  EXPECT_EQ(Kennung(1), "OLQ-ZPK3X-SIM");
  const Rs232LineSettings s = Rs232Seam_LastLineSettings();
  EXPECT_EQ(s.dataBits * 100 + s.parity * 10 + s.stopBits, 711);
  char identitaet[64];
  ASSERT_GT(ComPortIdentity(1, identitaet, sizeof identitaet), 0);
  EXPECT_EQ(std::string(identitaet), "tcp:127.0.0.1:" + server_.rfcUrl().substr(server_.rfcUrl().rfind(':') + 1));
  EXPECT_EQ(ComFixedRate(1), 0);
  ASSERT_EQ(Oeffnen(1, server_.rfcUrl(), 9600), 0);
  ErrorCode fehler = 0;
  Kennung(1, '1', &fehler);
  EXPECT_EQ(fehler, -403012);
  EXPECT_EQ(CloseCom(1), 0);

  // Raw: the server's 9600 stands, whatever the program asks for.
  sim_.control("baud 9600");
  ASSERT_EQ(Oeffnen(2, server_.rawUrl(), 1200), 0);
  EXPECT_EQ(ComFixedRate(2), 1);
  EXPECT_EQ(Kennung(2), "OLQ-ZPK3X-SIM");
  EXPECT_EQ(sim_.frames().back(), "#1IDR");

  // The server serves one client; a second is refused with its reason.
  // Depending on when its refusal text arrives, the open fails on it or on the
  // line settings the server no longer takes; never as a success.
  EXPECT_NE(Oeffnen(3, server_.rfcUrl()), 0);
  const std::string grund = ComLastError();
  EXPECT_TRUE(grund.find("in use") != std::string::npos || grund.find("line settings could not be sent") != std::string::npos)
      << grund;
  // The same server by another name: the server or our own lock, keyed by the
  // server's address, refuses it.
  std::string anders = server_.rawUrl();
  anders.replace(anders.find("127.0.0.1"), 9, "127.1");
  EXPECT_NE(Oeffnen(4, anders), 0);
}

TEST_F(UeberSer2net, VerbindungsverlustGibtKeineAntwortUndDerNaechsteBefehlVerbindetNeu) {
  sim_.control("baud 9600");
  ASSERT_EQ(Oeffnen(1, server_.rawUrl()), 0);
  ASSERT_EQ(SetComTime(1, 5.0), 0);
  sim_.control("fault silence IDR");
  const size_t gesendet = sim_.frames().size();
  // Killed once the request has reached the device, while the answer is awaited.
  std::thread beenden([this, gesendet] {
    const auto frist = Clock::now() + std::chrono::seconds(30);
    while (sim_.frames().size() <= gesendet && Clock::now() < frist)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    server_.kill();
  });
  const auto anfang = Clock::now();
  ErrorCode fehler = 0;
  Kennung(1, '1', &fehler);
  beenden.join();
  // The server's end is seen at once, not after the 5 s time-out, and is the
  // line's hang-up, as on a device of this machine.
  EXPECT_EQ(fehler, OLQZPK3X_LEITUNG_GETRENNT);
  // (Waiting for the time-out would take over 5 s; the margin below it takes in
  // a slow build on a busy machine.)
  EXPECT_LT(SekundenSeit(anfang), 4.0);
  EXPECT_EQ(ComLineLost(1), 1);

  // While the server is away nothing is reported as done; once back, the same port works.
  EXPECT_NE(OLQZPK3X_DeviceFunction(1, '&', "start"), 0);
  EXPECT_NE(std::string(ComLastError()).find("connection refused"), std::string::npos) << ComLastError();
  sim_.control("fault none");
  ASSERT_TRUE(server_.restart());
  EXPECT_EQ(Kennung(1), "OLQ-ZPK3X-SIM");
  EXPECT_EQ(ComLineLost(1), 0);

  // A server that goes away while the port is idle: the hang-up can be read
  // before anything is sent.
  server_.kill();
  bool gesehen = false;
  for (int i = 0; i < 6000 && !gesehen; ++i) {  // 30 s at most
    gesehen = ComLineLost(1) == 1;
    if (!gesehen) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(gesehen);
}

// ---- servers that misbehave ----

// A listener on 127.0.0.1 whose thread treats each client with `umgang`.
class Server {
 public:
  explicit Server(std::function<void(int fd, const std::atomic<bool>& ende)> umgang) : umgang_(std::move(umgang)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 4);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      while (!ende_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int client = ::accept(fd_, nullptr, nullptr);
        if (client < 0) continue;
        umgang_(client, ende_);
        ::close(client);
      }
    });
  }
  ~Server() {
    ende_ = true;
    thread_.join();
    ::close(fd_);
  }
  std::string url(const char* schema) const { return std::string(schema) + "://127.0.0.1:" + std::to_string(port_); }

 private:
  std::function<void(int, const std::atomic<bool>&)> umgang_;
  std::atomic<bool> ende_{false};
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

bool Senden(int fd, const Bytes& b) { return ::send(fd, b.data(), b.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(b.size()); }

// Takes the com-port option and confirms any rate, as a device server would.
void Einrichten(int fd) {
  Senden(fd, B({0xFF, 253, 44, 0xFF, 251, 0, 0xFF, 253, 0}));
  Senden(fd, B({0xFF, 250, 44, 101, 0, 0, 0x25, 0x80, 0xFF, 240}));
}

void Warten(const std::atomic<bool>& ende) {
  while (!ende) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

class Feindlich : public ::testing::Test {
 protected:
  void TearDown() override { CloseCom(1); }
};

TEST_F(Feindlich, VerweigertOderSofortGeschlossenGibtDenPortfehlerMitGrund) {
  const int frei = nettest::FreePort();
  auto anfang = Clock::now();
  EXPECT_NE(Oeffnen(1, "rfc2217://127.0.0.1:" + std::to_string(frei)), 0);
  EXPECT_LT(SekundenSeit(anfang), 0.5);
  EXPECT_NE(std::string(ComLastError()).find("connection refused"), std::string::npos) << ComLastError();

  Server schliesst([](int fd, const std::atomic<bool>&) { Senden(fd, "Port already in use\r\n"); });
  for (const char* schema : {"tcp", "rfc2217"}) {
    anfang = Clock::now();
    EXPECT_NE(Oeffnen(1, schliesst.url(schema)), 0) << schema;
    EXPECT_LT(SekundenSeit(anfang), 2.0);
    EXPECT_NE(std::string(ComLastError()).find("closed by the server: Port already in use"), std::string::npos)
        << ComLastError();
  }
}

TEST_F(Feindlich, StummerServerGibtKeineAntwortOderDieEinrichtungsfrist) {
  Server stumm([](int, const std::atomic<bool>& ende) { Warten(ende); });
  ASSERT_EQ(Oeffnen(1, stumm.url("tcp")), 0);
  ASSERT_EQ(SetComTime(1, 0.5), 0);
  static int haken = 0;  // a wait hook divides the wait, never shortens it
  SetComWaitHook([] { ++haken; });
  auto anfang = Clock::now();
  ErrorCode fehler = 0;
  Kennung(1, '1', &fehler);
  SetComWaitHook(nullptr);
  EXPECT_EQ(fehler, -403012);
  EXPECT_GE(SekundenSeit(anfang), 0.45);
  EXPECT_LT(SekundenSeit(anfang), 0.5 + 0.7);
  EXPECT_GE(haken, 4);
  CloseCom(1);

  // RFC 2217 needs the server to take part: its own time-out and message.
  anfang = Clock::now();
  EXPECT_NE(Oeffnen(1, stumm.url("rfc2217")), 0);
  EXPECT_NEAR(SekundenSeit(anfang), rs232net::kConnectTimeoutSeconds, 0.5);
  EXPECT_NE(std::string(ComLastError()).find("connect time-out"), std::string::npos) << ComLastError();
}

TEST_F(Feindlich, FlutenBleibenInDerFristUndGebenEinenFehler) {
  struct Fall {
    const char* name;
    Bytes einheit;
    ErrorCode erwartet;
  };
  const Fall faelle[] = {
      {"telnet commands", B({0xFF, 241, 0xFF, 253, 24, 0xFF, 250, 44, 107, 0x30, 0xFF, 240}), -403012},
      {"0xFF data", B({0xFF, 0xFF}), -403012},
      {"endless notification", B({0xFF, 250, 44, 107}) + Bytes(4096, '\x01'), -403012},
  };
  for (const Fall& f : faelle) {
    Server flut([&f](int fd, const std::atomic<bool>& ende) {
      Einrichten(fd);
      // Waits for the first frame, then floods until the client leaves.
      Bytes bisher;
      pollfd p{fd, POLLIN, 0};
      while (bisher.find('#') == Bytes::npos && ::poll(&p, 1, 2000) > 0) {
        char puffer[256];
        const ssize_t n = ::recv(fd, puffer, sizeof puffer, 0);
        if (n <= 0) return;
        bisher.append(puffer, static_cast<std::size_t>(n));
      }
      const Bytes block = [&] {
        Bytes b;
        while (b.size() < 65536) b += f.einheit;
        return b;
      }();
      while (!ende && Senden(fd, block)) {
      }
    });
    ASSERT_EQ(Oeffnen(1, flut.url("rfc2217")), 0) << f.name << ": " << ComLastError();
    ASSERT_EQ(SetComTime(1, 0.5), 0);
    const auto anfang = Clock::now();
    ErrorCode fehler = 0;
    Kennung(1, '1', &fehler);
    EXPECT_EQ(fehler, f.erwartet) << f.name;
    EXPECT_LT(SekundenSeit(anfang), 0.5 + 1.0) << f.name;
    CloseCom(1);
  }
}

}  // namespace

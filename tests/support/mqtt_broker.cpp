#include "mqtt_broker.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

extern char** environ;

namespace mqtttest {

namespace {

constexpr const char* kBereitThema = "zpk3x-test/bereit";

bool ImPfad(const std::string& name) {
  const char* pfad = std::getenv("PATH");
  std::stringstream ein(pfad != nullptr ? pfad : "/usr/bin:/bin");
  std::string ordner;
  while (std::getline(ein, ordner, ':'))
    if (!ordner.empty() && ::access((ordner + "/" + name).c_str(), X_OK) == 0) return true;
  return false;
}

sockaddr_in Schleife(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  return a;
}

// A socket bound to a free port of 127.0.0.1 (listening on request); -1 on failure.
int Binden(int* port, bool lauschen) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Schleife(0);
  socklen_t laenge = sizeof a;
  if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || (lauschen && ::listen(s, 8) != 0) ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &laenge) != 0) {
    if (s >= 0) ::close(s);
    return -1;
  }
  *port = ntohs(a.sin_port);
  return s;
}

// A port that was free a moment ago; the broker takes it at once.
int FreierPort() {
  int port = 0;
  if (const int s = Binden(&port, false); s >= 0) ::close(s);
  return port;
}

int Lauschen(int* port) { return Binden(port, true); }

int Verbinden(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in a = Schleife(port);
  if (s >= 0 && ::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return s;
  if (s >= 0) ::close(s);
  return -1;
}

bool NimmtAn(int port) {
  const int s = Verbinden(port);
  if (s >= 0) ::close(s);
  return s >= 0;
}

std::string Lesen(const std::string& pfad) {
  std::ifstream ein(pfad, std::ios::binary);
  std::ostringstream inhalt;
  inhalt << ein.rdbuf();
  return inhalt.str();
}

}  // namespace

std::string Fehlt() {
  std::string fehlt;
  for (const char* p : {"mosquitto", "mosquitto_sub", "mosquitto_pub", "mosquitto_passwd", "openssl"})
    if (!ImPfad(p)) fehlt += std::string(fehlt.empty() ? "" : ", ") + p;
  return fehlt;
}

Prozess::Prozess(const std::vector<std::string>& argv, const std::string& ausgabe) {
  std::vector<std::string> args = argv;
  std::vector<char*> zeiger;
  for (std::string& a : args) zeiger.push_back(a.data());
  zeiger.push_back(nullptr);
  posix_spawn_file_actions_t aktionen;
  posix_spawn_file_actions_init(&aktionen);
  posix_spawn_file_actions_addopen(&aktionen, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&aktionen, STDOUT_FILENO, ausgabe.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&aktionen, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, zeiger[0], &aktionen, nullptr, zeiger.data(), environ) == 0) pid_ = pid;
  posix_spawn_file_actions_destroy(&aktionen);
}

Prozess::~Prozess() { beenden(); }

Prozess::Prozess(Prozess&& p) noexcept : pid_(std::exchange(p.pid_, -1)) {}

Prozess& Prozess::operator=(Prozess&& p) noexcept {
  if (this != &p) {
    beenden();
    pid_ = std::exchange(p.pid_, -1);
  }
  return *this;
}

int Prozess::beenden(int signal) {
  if (pid_ <= 0) return -1;
  if (signal != 0) ::kill(pid_, signal);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

int Ausfuehren(const std::vector<std::string>& argv) {
  Prozess p(argv);
  return p.beenden(0);
}

bool Warten(const std::function<bool()>& bedingung, double sekunden) {
  const auto ende = std::chrono::steady_clock::now() + std::chrono::duration<double>(sekunden);
  while (!bedingung()) {
    if (std::chrono::steady_clock::now() >= ende) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

Broker::Broker(const std::string& ordner, BrokerOptionen o) : ordner_(ordner), o_(std::move(o)) {
  port_ = FreierPort();
  const bool tls = !o_.zertifikat.empty() && !o_.schluessel.empty();
  if (tls) tlsPort_ = FreierPort();
  Ausfuehren({"mosquitto_passwd", "-c", "-b", ordner_ + "/passwd", o_.benutzer, o_.passwort});
  std::ofstream k(ordner_ + "/mosquitto.conf");
  // As root the broker would switch to its own user and then not read the
  // test's files.
  if (::geteuid() == 0) k << "user root\n";
  k << "allow_anonymous false\npassword_file " << ordner_ << "/passwd\n";
  k << "listener " << port_ << " 127.0.0.1\n";
  if (tls) {
    k << "listener " << tlsPort_ << " 127.0.0.1\ncertfile " << o_.zertifikat << "\nkeyfile " << o_.schluessel << "\n";
  }
  if (!o_.acl.empty()) {
    std::ofstream(ordner_ + "/acl") << o_.acl;
    k << "acl_file " << ordner_ << "/acl\n";
  }
  if (o_.persistenz) {
    k << "persistence true\npersistence_location " << ordner_ << "/\nqueue_qos0_messages true\n";
  }
}

Broker::~Broker() { stoppen(); }

bool Broker::starten() {
  // Kept after the test for a look at what the broker saw; one file per port.
  ::mkdir(ZPK3X_TEST_LOGS, 0755);
  prozess_ = Prozess({"mosquitto", "-c", ordner_ + "/mosquitto.conf"},
                     std::string(ZPK3X_TEST_LOGS) + "/mosquitto-" + std::to_string(port_) + ".log");
  return prozess_.laeuft() && Warten([this] { return NimmtAn(port_) && (tlsPort_ == 0 || NimmtAn(tlsPort_)); }, 30);
}

void Broker::stoppen() { prozess_.beenden(); }

void Broker::passwortSetzen(const std::string& passwort) {
  o_.passwort = passwort;
  Ausfuehren({"mosquitto_passwd", "-b", ordner_ + "/passwd", o_.benutzer, o_.passwort});
}

std::string Broker::url(const std::string& praefix, bool mitPasswort) const {
  return "mqtt://" + o_.benutzer + (mitPasswort ? ":" + o_.passwort : "") + "@127.0.0.1:" + std::to_string(port_) + "/" +
         praefix;
}

std::vector<std::string> Broker::anmeldung() const {
  return {"-h", "127.0.0.1", "-p", std::to_string(port_), "-u", o_.benutzer, "-P", o_.passwort};
}

Abonnent::Abonnent(const Broker& b, const std::string& datei, const std::vector<std::string>& themen,
                   const std::vector<std::string>& extra)
    : datei_(datei) {
  std::vector<std::string> argv = {"mosquitto_sub", "-v", "-t", kBereitThema};
  const std::vector<std::string> anmeldung = b.anmeldung();
  argv.insert(argv.end(), anmeldung.begin(), anmeldung.end());
  for (const std::string& t : themen) argv.insert(argv.end(), {"-t", t});
  argv.insert(argv.end(), extra.begin(), extra.end());
  prozess_ = Prozess(argv, datei_);
  // Subscribed once a probe comes back (all topics are in one subscription).
  probe_ = {"mosquitto_pub", "-t", kBereitThema, "-m", "1"};
  probe_.insert(probe_.end(), anmeldung.begin(), anmeldung.end());
  bereit_ = abgleichen();
}

bool Abonnent::abgleichen(double sekunden) const {
  const auto proben = [this] {
    const std::string text = Lesen(datei_);
    std::size_t n = 0;
    for (std::size_t i = text.find(kBereitThema); i != std::string::npos; i = text.find(kBereitThema, i + 1)) ++n;
    return n;
  };
  const std::size_t vorher = proben();
  // Sent again while none is back: before the subscription took effect a probe is lost.
  return Warten(
      [&] {
        Ausfuehren(probe_);
        return Warten([&] { return proben() > vorher; }, 0.2);
      },
      sekunden);
}

std::vector<Nachricht> Abonnent::nachrichten() const {
  std::vector<Nachricht> r;
  std::istringstream ein(Lesen(datei_));
  std::string zeile;
  while (std::getline(ein, zeile)) {
    const std::size_t leer = zeile.find(' ');
    if (leer == std::string::npos || zeile.compare(0, leer, kBereitThema) == 0) continue;
    r.push_back({zeile.substr(0, leer), zeile.substr(leer + 1)});
  }
  return r;
}

std::vector<std::string> Abonnent::inhalte(const std::string& thema) const {
  std::vector<std::string> r;
  for (const Nachricht& n : nachrichten())
    if (n.thema == thema) r.push_back(n.inhalt);
  return r;
}

bool Abonnent::warten(const std::function<bool(const std::vector<Nachricht>&)>& bis, double sekunden) const {
  return Warten([&] { return bis(nachrichten()); }, sekunden);
}

Vermittler::Vermittler(int zielPort) : zielPort_(zielPort) {
  lauscher_ = Lauschen(&port_);
  faden_ = std::thread([this] { Lauf(); });
}

Vermittler::~Vermittler() {
  ende_ = true;
  faden_.join();
  for (const Paar& p : paare_) {
    if (p.kunde >= 0) ::close(p.kunde);
    if (p.ziel >= 0) ::close(p.ziel);
  }
  if (lauscher_ >= 0) ::close(lauscher_);
}

void Vermittler::KundenseiteKappen() {
  std::lock_guard<std::mutex> sperre(m_);
  for (Paar& p : paare_) {
    if (p.kunde >= 0) ::close(p.kunde);
    p.kunde = -1;
    p.stumm = true;
  }
}

void Vermittler::Lauf() {
  while (!ende_) {
    std::vector<pollfd> f = {{lauscher_, POLLIN, 0}};
    {
      std::lock_guard<std::mutex> sperre(m_);
      for (const Paar& p : paare_) {
        f.push_back({p.kunde, static_cast<short>(angehalten_ ? 0 : POLLIN), 0});
        f.push_back({p.ziel, POLLIN, 0});
      }
    }
    if (::poll(f.data(), f.size(), 50) <= 0) continue;
    std::lock_guard<std::mutex> sperre(m_);
    // Pairs are only added below, so the entries polled are the first ones;
    // a side closed meanwhile no longer matches its entry.
    for (std::size_t i = 0; 2 + 2 * i < f.size(); ++i) {
      Paar& p = paare_[i];
      char puffer[4096];
      if (p.kunde >= 0 && f[1 + 2 * i].fd == p.kunde && (f[1 + 2 * i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        const ssize_t n = ::recv(p.kunde, puffer, sizeof puffer, 0);
        if (n <= 0 || ::send(p.ziel, puffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) {
          ::close(p.kunde);
          ::close(p.ziel);
          p.kunde = p.ziel = -1;
        }
      }
      if (p.ziel >= 0 && f[2 + 2 * i].fd == p.ziel && (f[2 + 2 * i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        const ssize_t n = ::recv(p.ziel, puffer, sizeof puffer, 0);
        if (n <= 0) {
          if (p.stumm) ++stummGeschlossen_;
          ::close(p.ziel);
          if (p.kunde >= 0) ::close(p.kunde);
          p.kunde = p.ziel = -1;
        } else if (p.kunde >= 0 && ::send(p.kunde, puffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) {
          ::close(p.kunde);
          p.kunde = -1;
        }
      }
    }
    if ((f[0].revents & POLLIN) != 0) {
      const int kunde = ::accept4(lauscher_, nullptr, nullptr, SOCK_CLOEXEC);
      const int ziel = kunde >= 0 ? Verbinden(zielPort_) : -1;
      if (ziel >= 0) {
        paare_.push_back({kunde, ziel, false});
      } else if (kunde >= 0) {
        ::close(kunde);
      }
    }
  }
}

FeindlicherBroker::FeindlicherBroker(Art art) : art_(art) {
  lauscher_ = Lauschen(&port_);
  faden_ = std::thread([this] { Lauf(); });
}

FeindlicherBroker::~FeindlicherBroker() {
  ende_ = true;
  faden_.join();
  if (lauscher_ >= 0) ::close(lauscher_);
}

void FeindlicherBroker::Lauf() {
  while (!ende_) {
    pollfd f = {lauscher_, POLLIN, 0};
    if (::poll(&f, 1, 50) <= 0) continue;
    const int s = ::accept4(lauscher_, nullptr, nullptr, SOCK_CLOEXEC);
    if (s < 0) continue;
    if (verbindungen_++ == 0)
      ersteVerbindungMs_ = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
    if (art_ == Art::Stumm) {
      while (!ende_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ::close(s);
      continue;
    }
    char connect[1024];
    pollfd k = {s, POLLIN, 0};
    if (::poll(&k, 1, 2000) > 0 && ::recv(s, connect, sizeof connect, 0) > 0) {
      // The protocol's largest remaining length (256 MB), then the body.
      const unsigned char connack[] = {0x20, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00};
      const unsigned char publish[] = {0x20, 0x03, 0x00, 0x00, 0x00, 0x30, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x01, 'x'};
      const bool p = art_ == Art::RiesigesPublish;
      std::vector<char> nullen(1 << 16, 0);
      std::size_t gesendet = 0;
      const std::size_t laenge = p ? sizeof publish : sizeof connack;
      bool weiter = ::send(s, p ? publish : connack, laenge, MSG_NOSIGNAL) == static_cast<ssize_t>(laenge);
      while (weiter && !ende_ && gesendet < (std::size_t{256} << 20)) {
        pollfd w = {s, POLLOUT, 0};
        if (::poll(&w, 1, 50) <= 0) continue;
        const ssize_t n = ::send(s, nullen.data(), nullen.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) gesendet += static_cast<std::size_t>(n);
        weiter = n > 0 || errno == EAGAIN;
      }
    }
    ::close(s);
  }
}

long SpitzenspeicherKb(pid_t pid) {
  std::istringstream ein(Lesen("/proc/" + std::to_string(pid) + "/status"));
  std::string zeile;
  while (std::getline(ein, zeile))
    if (zeile.rfind("VmHWM:", 0) == 0) return std::atol(zeile.c_str() + 6);
  return 0;
}

bool ZertifikateMachen(const std::string& ordner, const std::string& name) {
  const std::string p = ordner + "/" + name;
  const std::string ec = "ec:" + ordner + "/ec.param";
  if (Ausfuehren({"openssl", "ecparam", "-name", "prime256v1", "-out", ordner + "/ec.param"}) != 0) return false;
  std::ofstream(ordner + "/san.cnf") << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
  return Ausfuehren({"openssl", "req", "-x509", "-newkey", ec, "-nodes", "-keyout", p + "-ca.key", "-out", p + "-ca.pem",
                     "-days", "2", "-subj", "/CN=" + name + " test CA"}) == 0 &&
         Ausfuehren({"openssl", "req", "-newkey", ec, "-nodes", "-keyout", p + "-broker.key", "-out", p + "-broker.csr",
                     "-subj", "/CN=127.0.0.1"}) == 0 &&
         Ausfuehren({"openssl", "x509", "-req", "-in", p + "-broker.csr", "-CA", p + "-ca.pem", "-CAkey", p + "-ca.key",
                     "-CAcreateserial", "-out", p + "-broker.pem", "-days", "2", "-extfile", ordner + "/san.cnf"}) == 0;
}

}  // namespace mqtttest

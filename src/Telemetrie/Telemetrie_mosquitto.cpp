// The MQTT publisher on Linux, with the broker's own client library. One thread
// owns the client and does all its network work, so a slow or absent broker
// never delays a query; the monitor and the window only hand their queries over.
#include <fcntl.h>
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <vector>
#include <mutex>
#include <optional>
#include <thread>

#include "Telemetrie/Telemetrie.h"
#include "common/Dateizugriff.h"
#include "Verlauf/VerlaufDaten.h"

namespace {

using Uhr = std::chrono::steady_clock;

constexpr int kKeepaliveS = 15;
constexpr auto kErsteWartezeit = std::chrono::seconds(1);
constexpr auto kLaengsteWartezeit = std::chrono::seconds(30);
// At the end, an attempt under way gets kEndeWarten to succeed; the goodbye on a
// connection (what waits, online false, every acknowledgement, disconnect) gets
// until then, but at least kAbschiedWarten from when the connection stands.
constexpr auto kEndeWarten = std::chrono::seconds(2);
constexpr auto kAbschiedWarten = std::chrono::seconds(2);
// The monitor waits this long for the publisher's end; beyond the two bounds it
// is only left behind when stuck in a name lookup.
constexpr auto kEndeGesamt = kEndeWarten + kAbschiedWarten + std::chrono::seconds(1);
constexpr auto kVerbindenWarten = std::chrono::seconds(10);
// A value at QoS 1 at least this often (the first after each connection), so
// that the broker's acknowledgement tells a denial of the values topic; the rest
// go at QoS 0.
constexpr auto kWerteBestaetigen = std::chrono::seconds(10);

// The client library takes a packet of any size the broker announces (up to
// 256 MB) into memory. The library therefore talks to one end of a socket pair,
// and the bytes from the broker pass through here first. On a plain connection a
// packet announced larger than kMqttGroesstesPaket ends the connection before
// the library reads a byte of it, and so does a packet that does not finish in
// time. Over TLS the packets are encrypted: a publisher is only ever sent
// acknowledgements smaller than what it sent, so the broker may send at most
// kMqttGroesstesPaket more than it was sent (the handshake fits in that);
// whatever the library holds of an unfinished packet stays under that bound.
class Weiche {
 public:
  ~Weiche() { Schliessen(); }
  bool Aktiv() const { return echt_ >= 0; }
  const std::string& Fehler() const { return fehler_; }

  // Puts the pair under the library's socket `sock`; false leaves it as it is.
  bool Einsetzen(int sock, bool tls) {
    Schliessen();
    int paar[2];
    if (sock < 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, paar) != 0) return false;
    const int echt = ::fcntl(sock, F_DUPFD_CLOEXEC, 0);
    if (echt < 0 || ::dup3(paar[0], sock, O_CLOEXEC) < 0) {
      if (echt >= 0) ::close(echt);
      ::close(paar[0]);
      ::close(paar[1]);
      return false;
    }
    ::close(paar[0]);
    echt_ = echt;
    eigen_ = paar[1];
    verbunden_ = false;
    bibliothekFertig_ = false;
    fehler_.clear();
    zumBroker_.clear();
    zurBibliothek_.clear();
    kopf_ = 0;
    rest_ = 0;
    tls_ = tls;
    guthaben_ = kMqttGroesstesPaket;
    paketSeit_.reset();
    return true;
  }

  // A packet from the broker begun longer than `frist` ago and not finished ends
  // the connection; true when it did.
  bool Ueberfaellig(std::chrono::milliseconds frist, bool englisch) {
    if (echt_ < 0 || !paketSeit_ || Uhr::now() - *paketSeit_ < frist) return false;
    char text[160];
    std::snprintf(text, sizeof text,
                  englisch ? "a packet from the broker did not finish within %lld ms"
                           : "ein Paket des Brokers wurde nicht innerhalb von %lld ms fertig",
                  static_cast<long long>(frist.count()));
    Ende(text);
    return true;
  }

  void Schliessen() {
    if (echt_ >= 0) ::close(echt_);
    if (eigen_ >= 0) ::close(eigen_);
    echt_ = eigen_ = -1;
    fehler_.clear();
  }

  // The poll entries of the broker's connection and of our end of the pair.
  void Eintragen(pollfd* echt, pollfd* eigen) const {
    *echt = {echt_, static_cast<short>((zurBibliothek_.size() < kPuffer || bibliothekFertig_ ? POLLIN : 0) |
                                       (!verbunden_ || !zumBroker_.empty() ? POLLOUT : 0)),
             0};
    *eigen = {eigen_, static_cast<short>((zumBroker_.size() < kPuffer ? POLLIN : 0) | (!zurBibliothek_.empty() ? POLLOUT : 0)), 0};
  }

  // Moves what the poll found; false when the connection is over (the pair is
  // then closed, so that the library reads its end, and Fehler() says why where
  // the library cannot).
  bool Pumpen(short echt, short eigen, bool englisch) {
    char puffer[16384];
    if (!verbunden_ && (echt & (POLLOUT | POLLERR | POLLHUP)) != 0) {
      int fehler = 0;
      socklen_t laenge = sizeof fehler;
      if (::getsockopt(echt_, SOL_SOCKET, SO_ERROR, &fehler, &laenge) == 0 && fehler != 0) return Ende(Systemgrund(fehler, englisch));
      verbunden_ = (echt & POLLOUT) != 0;
    }
    if ((eigen & (POLLIN | POLLHUP | POLLERR)) != 0) {
      const ssize_t n = ::recv(eigen_, puffer, sizeof puffer, 0);
      if (n > 0) zumBroker_.append(puffer, static_cast<std::size_t>(n));
      if (n == 0 || (n < 0 && errno != EAGAIN)) {
        // The library is done with this connection (its disconnect): what it wrote
        // last still goes out, and the broker's side stays open until the broker
        // closes it. Closed at once, a broker that acknowledges a publication after
        // we are gone meets a reset and drops what it had not read yet.
        ::close(eigen_);
        eigen_ = -1;
        zurBibliothek_.clear();
        if (!verbunden_) {
          Schliessen();
          return false;
        }
        bibliothekFertig_ = true;
      }
    }
    if (verbunden_ && !zumBroker_.empty()) {
      const ssize_t n = ::send(echt_, zumBroker_.data(), zumBroker_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        zumBroker_.erase(0, static_cast<std::size_t>(n));
        guthaben_ = std::min(kMqttGroesstesPaket, guthaben_ + static_cast<std::size_t>(n));
      }
      if (n < 0 && errno != EAGAIN) return Ende(Systemgrund(errno, englisch));
    }
    if (bibliothekFertig_) {
      // Our side is done once all is written; what the broker still sends is
      // read and dropped until it closes, so that closing never resets.
      if (zumBroker_.empty()) ::shutdown(echt_, SHUT_WR);
      if ((echt & (POLLIN | POLLHUP | POLLERR)) != 0) {
        const ssize_t n = ::recv(echt_, puffer, sizeof puffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN)) {
          Schliessen();
          return false;
        }
      }
      return true;
    }
    if (verbunden_ && (echt & (POLLIN | POLLHUP | POLLERR)) != 0) {
      const ssize_t n = ::recv(echt_, puffer, sizeof puffer, 0);
      if (n == 0) return Ende("");  // the library says "connection lost"
      if (n < 0 && errno != EAGAIN) return Ende(Systemgrund(errno, englisch));
      if (n > 0) {
        if (tls_ ? !Anrechnen(static_cast<std::size_t>(n), englisch) : !Zerlegen(puffer, static_cast<std::size_t>(n), englisch))
          return false;
        zurBibliothek_.append(puffer, static_cast<std::size_t>(n));
      }
    }
    if (!zurBibliothek_.empty()) {
      const ssize_t n = ::send(eigen_, zurBibliothek_.data(), zurBibliothek_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) zurBibliothek_.erase(0, static_cast<std::size_t>(n));
    }
    return true;
  }

 private:
  static constexpr std::size_t kPuffer = 65536;

  bool Ende(const std::string& grund) {
    fehler_ = grund;
    ::close(echt_);
    echt_ = -1;
    ::shutdown(eigen_, SHUT_RDWR);  // the library reads the end
    ::close(eigen_);
    eigen_ = -1;
    return false;
  }

  bool Anrechnen(std::size_t n, bool englisch) {
    if (n <= guthaben_) {
      guthaben_ -= n;
      return true;
    }
    return Ende((englisch ? "the broker sent more than " : "der Broker sandte mehr als ") + std::to_string(kMqttGroesstesPaket) +
                (englisch ? " bytes beyond what it was sent, at most that accepted over TLS"
                          : " Bytes über das ihm Gesandte hinaus, über TLS höchstens so viel angenommen"));
  }

  // Follows the packets' fixed headers through the bytes from the broker.
  bool Zerlegen(const char* p, std::size_t n, bool englisch) {
    const bool ok = Kopfe(p, n, englisch);
    if (ok && (kopf_ != 0 || rest_ > 0)) {
      paketSeit_ = paketBeginn_;
    } else {
      paketSeit_.reset();
    }
    return ok;
  }

  bool Kopfe(const char* p, std::size_t n, bool englisch) {
    for (std::size_t i = 0; i < n;) {
      if (rest_ > 0) {
        const std::size_t k = std::min(rest_, n - i);
        rest_ -= k;
        i += k;
        continue;
      }
      const auto b = static_cast<unsigned char>(p[i++]);
      if (kopf_ == 0) {  // the packet's type
        paketBeginn_ = Uhr::now();
        kopf_ = 1;
        laenge_ = 0;
        continue;
      }
      laenge_ |= static_cast<std::size_t>(b & 0x7F) << (7 * (kopf_ - 1));
      if ((b & 0x80) != 0 && ++kopf_ <= 4) continue;
      if ((b & 0x80) != 0 || laenge_ + 1 + static_cast<std::size_t>(kopf_) > kMqttGroesstesPaket) {
        return Ende((englisch ? "the broker announced a packet of " : "der Broker kündigt ein Paket von ") + std::to_string(laenge_) +
                    (englisch ? " bytes, at most " : " Bytes an, höchstens ") + std::to_string(kMqttGroesstesPaket) +
                    (englisch ? " accepted" : " angenommen"));
      }
      rest_ = laenge_;
      kopf_ = 0;
    }
    return true;
  }

  int echt_ = -1, eigen_ = -1;
  bool verbunden_ = false;
  bool bibliothekFertig_ = false;  // the library closed its end; the broker's side drains
  std::string fehler_;
  std::string zumBroker_, zurBibliothek_;
  int kopf_ = 0;  // 0: a packet begins; 1..4: length bytes to come
  std::size_t laenge_ = 0, rest_ = 0;
  bool tls_ = false;
  std::size_t guthaben_ = kMqttGroesstesPaket;  // TLS: bytes the broker may still send
  std::optional<Uhr::time_point> paketSeit_;   // plain: when the unfinished packet began
  Uhr::time_point paketBeginn_{};               // when the packet being read began
};

// Shared by the monitor's handle and the publishing thread, so that a thread
// stuck in a name lookup at the end can be left behind without harm.
class MosquittoSender final : public std::enable_shared_from_this<MosquittoSender> {
 public:
  MosquittoSender(const MqttAdresse& a, std::string ort, std::string basis, const MqttEinstellungen& e)
      : adresse_(a), ort_(std::move(ort)), basis_(std::move(basis)), englisch_(e.englisch), hinweis_(e.hinweis),
        frist_(e.antwortFrist), meta_(MqttMetaNachricht(e.meta)), metaFrei_(!e.metaFolgt) {}

  ~MosquittoSender() {
    if (mosq_ != nullptr) mosquitto_destroy(mosq_);
    if (weckFd_ >= 0) ::close(weckFd_);
  }

  // A clean end, bounded: the thread says goodbye to the broker, or is left to
  // finish on its own while the command ends.
  void Beenden() {
    if (!faden_.joinable()) return;
    bool fertig = false;
    const auto anfang = Uhr::now();
    {
      std::unique_lock<std::mutex> sperre(m_);
      ende_ = true;
      Wecken();
      fertig = cv_.wait_for(sperre, kEndeGesamt, [this] { return fertig_; });
    }
    if (fertig) {
      faden_.join();
    } else {
      faden_.detach();
    }
    std::lock_guard<std::mutex> sperre(m_);
    // A value is delivered once an acknowledgement of the broker covers it; the
    // rest is said, never dropped unseen (after a refusal on the first attempt
    // the command ends with that reason instead).
    if (const std::size_t n = werte_.size() + (uebergeben_ - belegt_); n > 0 && abgewiesen_ == 0) {
      char text[200];
      std::snprintf(text, sizeof text,
                    T("%zu Werte nicht beim Broker angekommen (keine Bestätigung innerhalb von %.1f s nach dem Ende)",
                      "%zu values not delivered to the broker (no acknowledgement within %.1f s of the end)"),
                    n, std::chrono::duration<double>(Uhr::now() - anfang).count());
      Hinweis(text);
    }
    if (verweigert_ > 0) {
      std::string themen;
      for (const std::string& t : verweigerteThemen_) themen += (themen.empty() ? " (" : ", ") + t;
      Hinweis(std::to_string(verweigert_) + T(" Veröffentlichungen vom Broker verweigert", " publications denied by the broker") +
              themen + (themen.empty() ? "" : ")"));
    }
  }

  // Library set-up that can fail before anything runs; an exit status.
  ErrorCode Einrichten(const std::string& ca, const std::string& kennung, std::string* detail) {
    weckFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    mosq_ = mosquitto_new(kennung.c_str(), true, this);
    if (weckFd_ < 0 || mosq_ == nullptr) {
      *detail = ort_ + ": " + std::strerror(errno);
      return MQTT_EINRICHTEN;
    }
    // MQTT 5, so that an acknowledgement says when the broker denies a publication.
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_connect_v5_callback_set(mosq_, &MosquittoSender::BeiVerbindung);
    mosquitto_publish_v5_callback_set(mosq_, &MosquittoSender::BeiBestaetigung);
    mosquitto_log_callback_set(mosq_, &MosquittoSender::BeiProtokoll);
    const std::string online = basis_ + "online";
    int rc = mosquitto_will_set(mosq_, online.c_str(), 5, "false", 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !adresse_.benutzer.empty())
      rc = mosquitto_username_pw_set(mosq_, adresse_.benutzer.c_str(), adresse_.mitPasswort ? adresse_.passwort.c_str() : nullptr);
    if (rc == MOSQ_ERR_SUCCESS && adresse_.tls)
      rc = ca.empty() ? mosquitto_tls_set(mosq_, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr)
                      : mosquitto_tls_set(mosq_, ca.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
      *detail = ort_ + ": " + mosquitto_strerror(rc);
      return MQTT_EINRICHTEN;
    }
    return 0;
  }

  void Starten() {
    // Signals stay with the monitor's thread; a broker that closed its end gives
    // this thread EPIPE instead of ending the process.
    sigset_t alle, vorher;
    sigfillset(&alle);
    pthread_sigmask(SIG_BLOCK, &alle, &vorher);
    faden_ = std::thread([selbst = shared_from_this()] { selbst->Lauf(); });
    pthread_sigmask(SIG_SETMASK, &vorher, nullptr);
  }

  void Abfrage(const MqttAbfrage& a) {
    const std::int32_t wort = a.fehler == 0 ? a.status : 0;  // a failed query has no status word
    {
      std::lock_guard<std::mutex> sperre(m_);
      werte_.push_back(MqttWerteJson(a).dump());
      if (werte_.size() > static_cast<std::size_t>(kMqttWarteschlange)) {
        werte_.pop_front();
        ++verworfen_;
      }
      if (!statusBekannt_ || wort != letzterStatus_ || a.fehler != letzterFehler_) {
        statusBekannt_ = true;
        letzterStatus_ = wort;
        letzterFehler_ = a.fehler;
        letzteAbfrage_ = a;
        statusOffen_ = true;
      }
    }
    Wecken();
  }

  void MetaSetzen(const MqttMeta& m) {
    std::string meta = MqttMetaNachricht(m);
    {
      std::lock_guard<std::mutex> sperre(m_);
      if (meta == meta_ && metaFrei_) return;
      meta_ = std::move(meta);
      metaOffen_ = true;
      metaFrei_ = true;
    }
    Wecken();
  }

  void Resultat(const std::string& nutzlast) {
    {
      std::lock_guard<std::mutex> sperre(m_);
      resultat_ = nutzlast;
      resultatOffen_ = true;
    }
    Wecken();
  }

  ErrorCode Abgewiesen(std::string* detail) {
    std::lock_guard<std::mutex> sperre(m_);
    if (abgewiesen_ != 0) *detail = abweisung_;
    return abgewiesen_;
  }

 private:
  enum class Zustand { Getrennt, Verbindet, Verbunden };

  static void BeiVerbindung(mosquitto*, void* selbst, int rc, int, const mosquitto_property*) {
    auto* s = static_cast<MosquittoSender*>(selbst);
    s->connack_ = rc;
  }

  // An acknowledgement of MQTT 5 with a reason of 0x80 or more: not published.
  // Told once; the end names every topic denied.
  static void BeiBestaetigung(mosquitto*, void* selbst, int mid, int grund, const mosquitto_property*) {
    auto* s = static_cast<MosquittoSender*>(selbst);
    const auto offen = s->offen_.find(mid);
    const std::string ebene = offen != s->offen_.end() ? offen->second.ebene : "";
    std::lock_guard<std::mutex> sperre(s->m_);
    if (offen != s->offen_.end()) {
      // The broker reads a connection in order: its acknowledgement covers the
      // values of QoS 0 handed over before this publication as well.
      s->belegt_ = std::max(s->belegt_, offen->second.werteBis);
      s->offen_.erase(offen);
    }
    if (grund < 0x80) return;
    if (!ebene.empty() && std::find(s->verweigerteThemen_.begin(), s->verweigerteThemen_.end(), ebene) == s->verweigerteThemen_.end())
      s->verweigerteThemen_.push_back(ebene);
    if (s->verweigert_++ > 0) return;
    const std::string wer = s->adresse_.benutzer.empty() ? std::string() : " (user \"" + s->adresse_.benutzer + "\")";
    const std::string wer_de = s->adresse_.benutzer.empty() ? std::string() : " (Benutzer \"" + s->adresse_.benutzer + "\")";
    const std::string warum = mosquitto_reason_string(grund);
    s->Hinweis(s->T("der Broker verweigert die Veröffentlichung unter ", "the broker denies publishing under ") + s->basis_ +
               (s->englisch_ ? wer : wer_de) + ": " + warum + (ebene.empty() ? "" : " (" + ebene + ")"));
  }

  // CONNACK reasons of a login that stays refused however often it is tried.
  static bool AnmeldungAbgelehnt(int rc) {
    return rc == 4 || rc == 5 || rc == MQTT_RC_BAD_USERNAME_OR_PASSWORD || rc == MQTT_RC_NOT_AUTHORIZED ||
           rc == MQTT_RC_BANNED || rc == MQTT_RC_BAD_AUTHENTICATION_METHOD;
  }

  std::string ConnackText(int rc) const {
    return v311_ ? mosquitto_connack_string(rc) : mosquitto_reason_string(rc);
  }

  // The library says why a TLS handshake failed only in its log.
  static void BeiProtokoll(mosquitto*, void* selbst, int stufe, const char* text) {
    auto* s = static_cast<MosquittoSender*>(selbst);
    if ((stufe & MOSQ_LOG_ERR) != 0 && text != nullptr) {
      if (!s->protokoll_.empty()) s->protokoll_ += "; ";
      s->protokoll_ += text;
    }
  }

  void Wecken() {
    const std::uint64_t eins = 1;
    if (weckFd_ >= 0 && ::write(weckFd_, &eins, sizeof eins) < 0) {
      // Only a full counter fails, and then the thread is awake anyway.
    }
  }

  const char* T(const char* deutsch, const char* englisch) const { return englisch_ ? englisch : deutsch; }

  void Hinweis(const std::string& text, bool problem = true) {
    if (hinweis_) hinweis_("MQTT " + ort_ + ": " + text, problem);
  }

  // A refusal: on the first attempt it ends the monitor; later the recording
  // goes on, and so do the attempts (the password may be changed back).
  void Abweisen(ErrorCode code, const std::string& detail, const std::string& de, const std::string& en) {
    if (ersterVersuchVorbei_) {
      {
        std::lock_guard<std::mutex> sperre(m_);
        if (problem_.code != code) {
          problem_ = {code, de, en, VerlaufZeitstempel(VerlaufJetztMs())};
          gemeldet_ = false;
        }
      }
      if (!gemeldet_) {
        Hinweis(detail + T("; die Aufzeichnung läuft weiter, neue Versuche folgen", "; the recording goes on, retrying"));
        gemeldet_ = true;
      }
      zustand_ = Zustand::Getrennt;
      mosquitto_disconnect(mosq_);
      weiche_.Schliessen();
      naechsterVersuch_ = Uhr::now() + wartezeit_;
      wartezeit_ = std::min<std::chrono::seconds>(wartezeit_ * 2, kLaengsteWartezeit);
      return;
    }
    zustand_ = Zustand::Getrennt;  // nothing more on this connection
    {
      std::lock_guard<std::mutex> sperre(m_);
      abgewiesen_ = code;
      abweisung_ = "\nMQTT " + ort_ + ": " + detail;
    }
    ErsterVersuchVorbei();
  }

  void ErsterVersuchVorbei() {
    std::lock_guard<std::mutex> sperre(m_);
    if (!ersterVersuchVorbei_) {
      ersterVersuchVorbei_ = true;
      cv_.notify_all();
    }
  }

  // A connection that failed or was lost: try again after a growing pause.
  void Verloren(const std::string& grund) {
    const bool warVerbunden = zustand_ == Zustand::Verbunden;
    zustand_ = Zustand::Getrennt;
    mosquitto_disconnect(mosq_);
    weiche_.Schliessen();
    // The same reason again stays quiet; a new one (the broker is up now, but
    // refuses) is told.
    if (warVerbunden || !gemeldet_ || grund != letzterGrund_) {
      char text[256];
      std::snprintf(text, sizeof text,
                    T("%s (%s); neuer Versuch in %d s, bis dahin bleiben die letzten %d Werte",
                      "%s (%s); retrying in %d s, keeping the last %d values until then"),
                    warVerbunden ? T("Verbindung verloren", "connection lost") : T("keine Verbindung", "no connection"),
                    grund.c_str(), static_cast<int>(wartezeit_.count()), kMqttWarteschlange);
      Hinweis(text);
      gemeldet_ = true;
      letzterGrund_ = grund;
    }
    naechsterVersuch_ = Uhr::now() + wartezeit_;
    wartezeit_ = std::min<std::chrono::seconds>(wartezeit_ * 2, kLaengsteWartezeit);
    ErsterVersuchVorbei();
  }

  std::string Grund(int rc, int fehlerNr) const {
    if (!weiche_.Fehler().empty()) return weiche_.Fehler();
    // The library's own text for it is "Unknown error.".
    if (rc == MOSQ_ERR_KEEPALIVE)
      return T("keine Antwort des Brokers innerhalb der Keep-alive-Zeit von 15 s", "no answer from the broker within the keep-alive time of 15 s");
    if (rc == MOSQ_ERR_ERRNO) return Systemgrund(fehlerNr, englisch_);
    if (!protokoll_.empty()) return protokoll_;
    return mosquitto_strerror(rc);
  }

  // Result of a library call on the connection.
  void Ergebnis(int rc) {
    const int fehlerNr = errno;
    if (rc == MOSQ_ERR_SUCCESS || zustand_ == Zustand::Getrennt) return;
    // A broker of MQTT 3.1.1 only: the same again in its protocol, at once.
    if (!v311_ && (connack_ == 1 || connack_ == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION)) {
      v311_ = true;
      mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
      zustand_ = Zustand::Getrennt;
      mosquitto_disconnect(mosq_);
      weiche_.Schliessen();
      naechsterVersuch_ = Uhr::now();
      return;
    }
    if (AnmeldungAbgelehnt(connack_)) {
      const std::string benutzer = adresse_.benutzer;
      const std::string de = "der Broker lehnt die Anmeldung ab (" + (benutzer.empty() ? "ohne Benutzer" : "Benutzer \"" + benutzer + "\"") +
                             "): " + ConnackText(connack_);
      const std::string en = "the broker refused the login (" + (benutzer.empty() ? "without a user" : "user \"" + benutzer + "\"") +
                             "): " + ConnackText(connack_);
      Abweisen(MQTT_ANMELDUNG_ABGELEHNT, englisch_ ? en : de, de, en);
      return;
    }
    // A certificate that does not verify stays refused however often we try.
    if (rc == MOSQ_ERR_TLS && (protokoll_.find("certif") != std::string::npos || protokoll_.find("verify") != std::string::npos ||
                               protokoll_.find("unknown ca") != std::string::npos)) {
      Abweisen(MQTT_ZERTIFIKAT_ABGELEHNT, T("TLS-Zertifikat abgelehnt: ", "TLS certificate refused: ") + protokoll_,
               "TLS-Zertifikat abgelehnt: " + protokoll_, "TLS certificate refused: " + protokoll_);
      return;
    }
    Verloren(connack_ > 0 ? ConnackText(connack_) : Grund(rc, fehlerNr));
  }

  void Verbinden() {
    protokoll_.clear();
    connack_ = -1;
    const int rc = ersterVersuch_ ? mosquitto_connect_async(mosq_, adresse_.host.c_str(), adresse_.port, kKeepaliveS)
                                  : mosquitto_reconnect_async(mosq_);
    ersterVersuch_ = false;
    zustand_ = Zustand::Verbindet;
    verbindetSeit_ = Uhr::now();
    weiche_.Schliessen();
    if (rc == MOSQ_ERR_SUCCESS) weiche_.Einsetzen(mosquitto_socket(mosq_), adresse_.tls);
    Ergebnis(rc);
  }

  // Publishes what is waiting: online, meta and status after every connection (a
  // restarted broker may have lost its retained messages, and a will of an older
  // connection may have said false), then the values.
  void Senden() {
    const std::string online = basis_ + "online", status = basis_ + "status", werte = basis_ + "values", meta = basis_ + "meta";
    const std::string resultat = basis_ + "result";
    if (neuVerbunden_) {
      neuVerbunden_ = false;
      offen_.clear();
      {
        // What went out on a connection that died is past knowing; the note of
        // the lost connection has told of the gap.
        std::lock_guard<std::mutex> sperre(m_);
        belegt_ = uebergeben_;
      }
      werteBestaetigt_.reset();
      Veroeffentlichen("online", "true", 1, true);
      std::lock_guard<std::mutex> sperre(m_);
      statusOffen_ = statusBekannt_;
      metaOffen_ = metaFrei_;
    }
    // Hand over one message at a time, so that the library's own queue stays
    // short while the socket is slow and the bound of ours holds.
    while (zustand_ == Zustand::Verbunden && !mosquitto_want_write(mosq_)) {
      std::string nachricht;
      bool istStatus = false;  // retained, QoS 1
      const std::string* thema = nullptr;
      {
        std::lock_guard<std::mutex> sperre(m_);
        if (!werte_.empty()) {
          nachricht = std::move(werte_.front());
          werte_.pop_front();
        } else if (metaOffen_ && metaFrei_) {
          nachricht = meta_;
          metaOffen_ = false;
          istStatus = true;
          thema = &meta;
        } else if (resultatOffen_) {
          nachricht = resultat_;
          resultatOffen_ = false;
          istStatus = true;
          thema = &resultat;
        } else if (statusOffen_) {
          // A problem of the gap is told once, with the next status.
          nachricht = MqttStatusNachricht(letzteAbfrage_, problem_);
          problem_ = {};
          statusOffen_ = false;
          istStatus = true;
        } else {
          break;
        }
      }
      if (thema == nullptr) thema = istStatus ? &status : &werte;
      if (!istStatus) {
        std::lock_guard<std::mutex> sperre(m_);
        ++uebergeben_;
      }
      int qos = istStatus ? 1 : 0;
      if (!istStatus && (!werteBestaetigt_ || Uhr::now() - *werteBestaetigt_ >= kWerteBestaetigen)) {
        qos = 1;
        werteBestaetigt_ = Uhr::now();
      }
      Veroeffentlichen(thema->substr(basis_.size()), nachricht, qos, istStatus);
    }
  }

  // Whether a message waits to be handed over.
  bool WasWartet() {
    std::lock_guard<std::mutex> sperre(m_);
    return !werte_.empty() || (metaOffen_ && metaFrei_) || resultatOffen_ || statusOffen_;
  }

  // One publication under the station's `ebene`; one of QoS 1 is awaited.
  void Veroeffentlichen(const std::string& ebene, const std::string& nachricht, int qos, bool behalten) {
    const std::string thema = basis_ + ebene;
    int mid = 0;
    const int rc = mosquitto_publish(mosq_, &mid, thema.c_str(), static_cast<int>(nachricht.size()), nachricht.data(), qos, behalten);
    if (rc == MOSQ_ERR_SUCCESS && qos > 0) {
      std::lock_guard<std::mutex> sperre(m_);
      offen_[mid] = {Uhr::now(), ebene, uebergeben_};
    }
    Ergebnis(rc);
  }

  // The broker acknowledges what it was sent, or the connection is dead
  // whatever TCP says (a packet it never finishes holds every acknowledgement).
  bool Unbestaetigt() const {
    const auto jetzt = Uhr::now();
    return std::any_of(offen_.begin(), offen_.end(), [&](const auto& o) { return jetzt - o.second.seit > frist_; });
  }

  void Lauf() {
    while (true) {
      bool ende = false, abgewiesen = false;
      {
        std::lock_guard<std::mutex> sperre(m_);
        ende = ende_;
        abgewiesen = abgewiesen_ != 0;
      }
      if (abgewiesen) break;
      // An attempt under way at the end may still succeed within the end's bound:
      // the values queried meanwhile are then published, not dropped unseen.
      if (ende && endeBis_ == Uhr::time_point{}) endeBis_ = Uhr::now() + kEndeWarten;
      if (ende && (zustand_ != Zustand::Verbindet || Uhr::now() >= endeBis_)) break;
      if (zustand_ == Zustand::Getrennt && Uhr::now() >= naechsterVersuch_) Verbinden();
      if (zustand_ == Zustand::Verbindet && connack_ == 0) {
        zustand_ = Zustand::Verbunden;
        neuVerbunden_ = true;
        offen_.clear();
        wartezeit_ = kErsteWartezeit;
        std::size_t verworfen = 0;
        {
          std::lock_guard<std::mutex> sperre(m_);
          std::swap(verworfen, verworfen_);
        }
        if (gemeldet_) {
          Hinweis(verworfen == 0 ? std::string(T("verbunden", "connected"))
                                 : T("verbunden; ", "connected; ") + std::to_string(verworfen) +
                                       T(" Werte der Lücke verworfen", " values of the gap dropped"),
                 false);
        }
        gemeldet_ = false;
        ErsterVersuchVorbei();
      } else if (zustand_ == Zustand::Verbindet && connack_ > 0) {
        Ergebnis(MOSQ_ERR_CONN_REFUSED);
        continue;
      } else if (zustand_ == Zustand::Verbindet && Uhr::now() - verbindetSeit_ > kVerbindenWarten) {
        // A host that drops the packets would hold an attempt for minutes.
        Verloren(T("keine Antwort in 10 s", "no answer within 10 s"));
        continue;
      }
      // The packet that holds the acknowledgements back is the better reason.
      if (zustand_ != Zustand::Getrennt && weiche_.Ueberfaellig(frist_, englisch_)) {
        Verloren(std::string(weiche_.Fehler()));  // a copy: Verloren closes the relay
        continue;
      }
      if (zustand_ == Zustand::Verbunden && Unbestaetigt()) {
        char text[160];
        std::snprintf(text, sizeof text, T("keine Bestätigung des Brokers innerhalb von %lld ms", "no acknowledgement from the broker within %lld ms"),
                      static_cast<long long>(frist_.count()));
        Verloren(text);
        continue;
      }
      if (zustand_ == Zustand::Verbunden) Senden();
      Warten();
    }
    if (zustand_ == Zustand::Verbunden) Abschied();
    ErsterVersuchVorbei();
    std::lock_guard<std::mutex> sperre(m_);
    fertig_ = true;
    cv_.notify_all();
  }

  // Waits for the socket, a new query or the next attempt, then lets the library
  // read, write and keep the connection alive.
  void Warten() {
    int frist = 1000;
    if (zustand_ == Zustand::Getrennt || endeBis_ != Uhr::time_point{}) {
      const auto bis = std::chrono::duration_cast<std::chrono::milliseconds>(
                           (endeBis_ != Uhr::time_point{} ? endeBis_ : naechsterVersuch_) - Uhr::now())
                           .count();
      frist = static_cast<int>(std::clamp<long long>(bis, 0, 1000));
    }
    pollfd p[4] = {{weckFd_, POLLIN, 0}, {-1, 0, 0}, {-1, 0, 0}, {-1, 0, 0}};
    const int sock = zustand_ == Zustand::Getrennt ? -1 : mosquitto_socket(mosq_);
    if (sock >= 0) p[1] = {sock, static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)), 0};
    if (weiche_.Aktiv()) weiche_.Eintragen(&p[2], &p[3]);
    if (::poll(p, 4, frist) < 0 && errno != EINTR) return;
    if ((p[0].revents & POLLIN) != 0) {
      std::uint64_t n = 0;
      [[maybe_unused]] ssize_t gelesen = ::read(weckFd_, &n, sizeof n);
    }
    if (weiche_.Aktiv()) weiche_.Pumpen(p[2].revents, p[3].revents, englisch_);
    if (sock < 0) return;
    if ((p[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0) Ergebnis(mosquitto_loop_read(mosq_, 1));
    if (zustand_ != Zustand::Getrennt && (p[1].revents & POLLOUT) != 0) Ergebnis(mosquitto_loop_write(mosq_, 1));
    if (zustand_ != Zustand::Getrennt) Ergebnis(mosquitto_loop_misc(mosq_));
  }

  // A clean end: what is waiting, online false, and a disconnect, so the broker
  // does not send the last will; bounded, so a stalled broker cannot hold the end.
  // The connection is closed only after the broker has acknowledged online false
  // (and so read every value before it): a broker that meets a closed connection
  // with an acknowledgement still to send drops what it has not read yet.
  void Abschied() {
    // One bound for the whole end, also when it began with an attempt under way.
    // A connection made late in the bound still gets its own time for what waits.
    const auto bis = endeBis_ != Uhr::time_point{} ? std::max(endeBis_, Uhr::now() + kAbschiedWarten)
                                                   : Uhr::now() + kEndeWarten;
    endeBis_ = bis;
    // Everything still waiting first: Senden hands over one message per write,
    // so it is called until nothing waits (or the bound is reached).
    while (zustand_ == Zustand::Verbunden && Uhr::now() < bis) {
      Senden();
      if (!WasWartet() && !mosquitto_want_write(mosq_)) break;
      Warten();
    }
    if (zustand_ != Zustand::Verbunden) return;
    Veroeffentlichen("online", "false", 1, true);
    while (zustand_ == Zustand::Verbunden && Uhr::now() < bis && (!offen_.empty() || mosquitto_want_write(mosq_))) Warten();
    if (zustand_ != Zustand::Verbunden) return;
    mosquitto_disconnect(mosq_);
    while ((mosquitto_socket(mosq_) >= 0 || weiche_.Aktiv()) && Uhr::now() < bis) {
      const int sock = mosquitto_socket(mosq_);
      pollfd p[3] = {{sock, static_cast<short>(sock >= 0 ? POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0) : 0), 0},
                     {-1, 0, 0},
                     {-1, 0, 0}};
      if (weiche_.Aktiv()) weiche_.Eintragen(&p[1], &p[2]);
      const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(bis - Uhr::now()).count();
      if (::poll(p, 3, static_cast<int>(std::clamp<long long>(rest, 0, 100))) < 0 && errno != EINTR) break;
      if (weiche_.Aktiv()) weiche_.Pumpen(p[1].revents, p[2].revents, englisch_);
      if (sock < 0) continue;
      if ((p[0].revents & POLLOUT) != 0 && mosquitto_loop_write(mosq_, 1) != MOSQ_ERR_SUCCESS) break;
      if ((p[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0 && mosquitto_loop_read(mosq_, 1) != MOSQ_ERR_SUCCESS) break;
    }
    weiche_.Schliessen();
  }

  const MqttAdresse adresse_;
  const std::string ort_;    // "host:port" for messages
  const std::string basis_;  // "PREFIX/STATION/"
  const bool englisch_;
  const std::function<void(const std::string&, bool)> hinweis_;
  const std::chrono::milliseconds frist_;
  mosquitto* mosq_ = nullptr;
  Weiche weiche_;
  int weckFd_ = -1;
  std::thread faden_;

  // Shared with the monitor's thread, under m_.
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<std::string> werte_;
  std::size_t verworfen_ = 0;
  bool statusBekannt_ = false, statusOffen_ = false;
  std::int32_t letzterStatus_ = 0;
  ErrorCode letzterFehler_ = 0;
  MqttAbfrage letzteAbfrage_;
  std::string meta_;  // payload of the meta topic
  bool metaOffen_ = false;
  std::string resultat_;  // payload of the result topic
  bool resultatOffen_ = false;
  bool metaFrei_ = true;  // false until the monitor has the identity (or knows it cannot have it)
  std::vector<std::string> verweigerteThemen_;  // in the order denied
  MqttProblem problem_;
  std::size_t verweigert_ = 0;
  // Values handed to the library, and of them those an acknowledgement covers.
  std::size_t uebergeben_ = 0, belegt_ = 0;
  bool ende_ = false, ersterVersuchVorbei_ = false, fertig_ = false;
  ErrorCode abgewiesen_ = 0;
  std::string abweisung_;

  // The publishing thread's own.
  Zustand zustand_ = Zustand::Getrennt;
  Uhr::time_point naechsterVersuch_{}, verbindetSeit_{};
  Uhr::time_point endeBis_{};  // set when the end is asked for
  std::chrono::seconds wartezeit_ = kErsteWartezeit;
  bool ersterVersuch_ = true, neuVerbunden_ = false, gemeldet_ = false, v311_ = false;
  int connack_ = -1;
  std::string protokoll_;
  std::string letzterGrund_;  // of the last note of a failed attempt
  struct Offen {
    Uhr::time_point seit;
    std::string ebene;
    std::size_t werteBis = 0;  // values handed over up to this publication
  };
  std::map<int, Offen> offen_;  // publications of QoS 1 not yet acknowledged, by message id
  std::optional<Uhr::time_point> werteBestaetigt_;
};

class MqttGriff final : public MqttSender {
 public:
  explicit MqttGriff(std::shared_ptr<MosquittoSender> s) : s_(std::move(s)) {}
  ~MqttGriff() override { s_->Beenden(); }
  void Abfrage(const MqttAbfrage& a) override { s_->Abfrage(a); }
  void MetaSetzen(const MqttMeta& m) override { s_->MetaSetzen(m); }
  ErrorCode Abgewiesen(std::string* detail) override { return s_->Abgewiesen(detail); }
  void Ergebnis(const std::string& nutzlast) override { s_->Resultat(nutzlast); }

 private:
  std::shared_ptr<MosquittoSender> s_;
};

}  // namespace

ErrorCode MqttVerbinden(const MqttEinstellungen& e, std::unique_ptr<MqttSender>* sender, MqttFeld* feld, std::string* detail) {
  const auto T = [&e](const char* deutsch, const char* englisch) { return e.englisch ? englisch : deutsch; };
  // Never cleaned up: a thread left behind at the end may still use it.
  static const int bibliothek = mosquitto_lib_init();
  (void)bibliothek;
  *feld = MqttFeld::Url;
  MqttAdresse a;
  if (!MqttAdresseLesen(e.url, &a, detail, e.englisch)) return MQTT_ANGABE_FALSCH;
  if (!a.mitPasswort && e.passwort != nullptr && !a.benutzer.empty()) {
    a.passwort = e.passwort;
    a.mitPasswort = true;
  }
  *feld = MqttFeld::Ca;
  if (!e.ca.empty() && !a.tls) {
    *detail = T("nur mit mqtts://", "only with mqtts://");
    return MQTT_ANGABE_FALSCH;
  }
  if (!e.ca.empty()) {
    std::FILE* f = std::fopen(e.ca.c_str(), "rb");
    if (f == nullptr) {
      *detail = e.ca + ": " + Systemgrund(errno, e.englisch);
      return MQTT_CA_DATEI;
    }
    std::fclose(f);
  }
  *feld = MqttFeld::Station;
  const std::string station = e.stationGegeben ? e.station : e.standardStation;
  const std::string basis = a.praefix + "/" + station + "/";
  const std::string kennung = "zpk3x-" + station;
  // The longest topic is PREFIX/STATION/values or .../status.
  if (!MqttGueltigeStation(station) || basis.size() + 6 > kMqttLaengsterText || kennung.size() > kMqttLaengsterText) {
    // Cut before a character, not inside one: the message stays UTF-8.
    std::size_t schnitt = std::min<std::size_t>(40, station.size());
    while (schnitt > 0 && schnitt < station.size() && (static_cast<unsigned char>(station[schnitt]) & 0xC0) == 0x80) --schnitt;
    const std::string gezeigt = station.size() > 40 ? station.substr(0, schnitt) + "... (" + std::to_string(station.size()) + " bytes)" : station;
    char grenze[200];
    std::snprintf(grenze, sizeof grenze,
                  T(": ein nicht leerer Name ohne /, + und #, UTF-8, mit dem Präfix höchstens %zu Bytes",
                    ": a name that is not blank, without /, + and #, UTF-8, at most %zu bytes with the prefix"),
                  static_cast<std::size_t>(std::max<long long>(0, static_cast<long long>(kMqttLaengsterText) - 8 - static_cast<long long>(a.praefix.size()))));
    *detail = "\"" + gezeigt + "\"" + grenze;
    return MQTT_ANGABE_FALSCH;
  }
  *feld = MqttFeld::Keines;
  const std::string ort = (a.host.find(':') != std::string::npos ? "[" + a.host + "]" : a.host) + ":" + std::to_string(a.port);
  auto s = std::make_shared<MosquittoSender>(a, ort, basis, e);
  if (ErrorCode err = s->Einrichten(e.ca, kennung, detail); err != 0) return err;
  s->Starten();
  *sender = std::make_unique<MqttGriff>(std::move(s));
  return 0;
}

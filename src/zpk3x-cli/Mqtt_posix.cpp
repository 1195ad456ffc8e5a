// The MQTT publisher on Linux, with the broker's own client library. One thread
// owns the client and does all its network work, so a slow or absent broker
// never delays a query; the monitor only hands its lines over.
#include <mosquitto.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "common/Dateizugriff.h"
#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Mqtt.h"

namespace {

using Uhr = std::chrono::steady_clock;

constexpr int kKeepaliveS = 15;
constexpr auto kErsteWartezeit = std::chrono::seconds(1);
constexpr auto kLaengsteWartezeit = std::chrono::seconds(30);
constexpr auto kStartWarten = std::chrono::seconds(2);
constexpr auto kEndeWarten = std::chrono::seconds(2);
constexpr auto kVerbindenWarten = std::chrono::seconds(10);

// Shared by the monitor's handle and the publishing thread, so that a thread
// stuck in a name lookup at the end can be left behind without harm.
class MosquittoSender final : public std::enable_shared_from_this<MosquittoSender> {
 public:
  MosquittoSender(const MqttAdresse& a, std::string ort, std::string basis)
      : adresse_(a), ort_(std::move(ort)), basis_(std::move(basis)) {}

  ~MosquittoSender() {
    if (mosq_ != nullptr) mosquitto_destroy(mosq_);
    if (weckFd_ >= 0) ::close(weckFd_);
  }

  // A clean end, bounded: the thread says goodbye to the broker, or is left to
  // finish on its own while the command ends.
  void Beenden() {
    if (!faden_.joinable()) return;
    bool fertig = false;
    {
      std::unique_lock<std::mutex> sperre(m_);
      ende_ = true;
      Wecken();
      fertig = cv_.wait_for(sperre, kEndeWarten + std::chrono::seconds(1), [this] { return fertig_; });
    }
    if (fertig) {
      faden_.join();
    } else {
      faden_.detach();
    }
  }

  // Library set-up that can fail before anything runs; an exit status.
  int Einrichten(const Optionen& o, const std::string& ca) {
    weckFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    mosq_ = mosquitto_new(nullptr, true, this);
    if (weckFd_ < 0 || mosq_ == nullptr) return FehlerMelden(o, MQTT_EINRICHTEN, "\n" + ort_ + ": " + Systemgrund(errno, Englisch()));
    mosquitto_connect_callback_set(mosq_, &MosquittoSender::BeiVerbindung);
    mosquitto_log_callback_set(mosq_, &MosquittoSender::BeiProtokoll);
    const std::string online = basis_ + "online";
    int rc = mosquitto_will_set(mosq_, online.c_str(), 5, "false", 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !adresse_.benutzer.empty())
      rc = mosquitto_username_pw_set(mosq_, adresse_.benutzer.c_str(), adresse_.mitPasswort ? adresse_.passwort.c_str() : nullptr);
    if (rc == MOSQ_ERR_SUCCESS && adresse_.tls)
      rc = ca.empty() ? mosquitto_tls_set(mosq_, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr)
                      : mosquitto_tls_set(mosq_, ca.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) return FehlerMelden(o, MQTT_EINRICHTEN, "\n" + ort_ + ": " + mosquitto_strerror(rc));
    return EXIT_OK;
  }

  void Starten() {
    // Signals stay with the monitor's thread; a broker that closed its end gives
    // this thread EPIPE instead of ending the process.
    sigset_t alle, vorher;
    sigfillset(&alle);
    pthread_sigmask(SIG_BLOCK, &alle, &vorher);
    faden_ = std::thread([selbst = shared_from_this()] { selbst->Lauf(); });
    pthread_sigmask(SIG_SETMASK, &vorher, nullptr);
    std::unique_lock<std::mutex> sperre(m_);
    cv_.wait_for(sperre, kStartWarten, [this] { return ersterVersuchVorbei_; });
  }

  void Abfrage(const MqttAbfrage& a) {
    const std::string status = MqttStatusNachricht(a);
    const std::int32_t wort = a.fehler == 0 ? a.status : 0;  // a failed query has no status word
    {
      std::lock_guard<std::mutex> sperre(m_);
      werte_.push_back(a.werte);
      if (werte_.size() > static_cast<std::size_t>(kMqttWarteschlange)) {
        werte_.pop_front();
        ++verworfen_;
      }
      if (!statusBekannt_ || wort != letzterStatus_ || a.fehler != letzterFehler_) {
        statusBekannt_ = true;
        letzterStatus_ = wort;
        letzterFehler_ = a.fehler;
        statusNachricht_ = status;
        statusOffen_ = true;
      }
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

  static void BeiVerbindung(mosquitto*, void* selbst, int rc) {
    auto* s = static_cast<MosquittoSender*>(selbst);
    s->connack_ = rc;
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

  void Hinweis(const std::string& text) {
    std::fprintf(stderr, "zpk3x-cli: MQTT %s: %s\n", ort_.c_str(), text.c_str());
    std::fflush(stderr);
  }

  void Abweisen(ErrorCode code, const std::string& detail) {
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
    if (warVerbunden || !gemeldet_) {
      char text[256];
      std::snprintf(text, sizeof text,
                    T("%s (%s); neuer Versuch in %d s, bis dahin bleiben die letzten %d Werte",
                      "%s (%s); retrying in %d s, keeping the last %d values until then"),
                    warVerbunden ? T("Verbindung verloren", "connection lost") : T("keine Verbindung", "no connection"),
                    grund.c_str(), static_cast<int>(wartezeit_.count()), kMqttWarteschlange);
      Hinweis(text);
      gemeldet_ = true;
    }
    naechsterVersuch_ = Uhr::now() + wartezeit_;
    wartezeit_ = std::min<std::chrono::seconds>(wartezeit_ * 2, kLaengsteWartezeit);
    ErsterVersuchVorbei();
  }

  std::string Grund(int rc, int fehlerNr) const {
    if (rc == MOSQ_ERR_ERRNO) return Systemgrund(fehlerNr, Englisch());
    if (!protokoll_.empty()) return protokoll_;
    return mosquitto_strerror(rc);
  }

  // Result of a library call on the connection.
  void Ergebnis(int rc) {
    const int fehlerNr = errno;
    if (rc == MOSQ_ERR_SUCCESS || zustand_ == Zustand::Getrennt) return;
    if (connack_ == 4 || connack_ == 5) {
      const std::string wer = adresse_.benutzer.empty() ? std::string(T("ohne Benutzer", "without a user"))
                                                        : T("Benutzer \"", "user \"") + adresse_.benutzer + "\"";
      Abweisen(MQTT_ANMELDUNG_ABGELEHNT, T("der Broker lehnt die Anmeldung ab (", "the broker refused the login (") + wer +
                                              "): " + mosquitto_connack_string(connack_));
      return;
    }
    // A certificate that does not verify stays refused however often we try.
    if (rc == MOSQ_ERR_TLS && (protokoll_.find("certif") != std::string::npos || protokoll_.find("verify") != std::string::npos ||
                               protokoll_.find("unknown ca") != std::string::npos)) {
      Abweisen(MQTT_ZERTIFIKAT_ABGELEHNT, T("TLS-Zertifikat abgelehnt: ", "TLS certificate refused: ") + protokoll_);
      return;
    }
    Verloren(connack_ > 0 ? mosquitto_connack_string(connack_) : Grund(rc, fehlerNr));
  }

  void Verbinden() {
    protokoll_.clear();
    connack_ = -1;
    const int rc = ersterVersuch_ ? mosquitto_connect_async(mosq_, adresse_.host.c_str(), adresse_.port, kKeepaliveS)
                                  : mosquitto_reconnect_async(mosq_);
    ersterVersuch_ = false;
    zustand_ = Zustand::Verbindet;
    verbindetSeit_ = Uhr::now();
    Ergebnis(rc);
  }

  // Publishes what is waiting: online and status after every connection (a
  // restarted broker may have lost its retained messages), then the values.
  void Senden() {
    const std::string online = basis_ + "online", status = basis_ + "status", werte = basis_ + "values";
    if (neuVerbunden_) {
      neuVerbunden_ = false;
      Ergebnis(mosquitto_publish(mosq_, nullptr, online.c_str(), 4, "true", 1, true));
      std::lock_guard<std::mutex> sperre(m_);
      statusOffen_ = statusBekannt_;
    }
    // Hand over one message at a time, so that the library's own queue stays
    // short while the socket is slow and the bound of ours holds.
    while (zustand_ == Zustand::Verbunden && !mosquitto_want_write(mosq_)) {
      std::string nachricht;
      bool istStatus = false;
      {
        std::lock_guard<std::mutex> sperre(m_);
        if (!werte_.empty()) {
          nachricht = std::move(werte_.front());
          werte_.pop_front();
        } else if (statusOffen_) {
          nachricht = statusNachricht_;
          statusOffen_ = false;
          istStatus = true;
        } else {
          break;
        }
      }
      const std::string& thema = istStatus ? status : werte;
      Ergebnis(mosquitto_publish(mosq_, nullptr, thema.c_str(), static_cast<int>(nachricht.size()), nachricht.data(),
                                 istStatus ? 1 : 0, istStatus));
    }
  }

  void Lauf() {
    while (true) {
      bool ende = false;
      {
        std::lock_guard<std::mutex> sperre(m_);
        ende = ende_ || abgewiesen_ != 0;
      }
      if (ende) break;
      if (zustand_ == Zustand::Getrennt && Uhr::now() >= naechsterVersuch_) Verbinden();
      if (zustand_ == Zustand::Verbindet && connack_ == 0) {
        zustand_ = Zustand::Verbunden;
        neuVerbunden_ = true;
        wartezeit_ = kErsteWartezeit;
        std::size_t verworfen = 0;
        {
          std::lock_guard<std::mutex> sperre(m_);
          std::swap(verworfen, verworfen_);
        }
        if (gemeldet_) {
          Hinweis(verworfen == 0 ? std::string(T("verbunden", "connected"))
                                 : T("verbunden; ", "connected; ") + std::to_string(verworfen) +
                                       T(" Werte der Lücke verworfen", " values of the gap dropped"));
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
    if (zustand_ == Zustand::Getrennt) {
      const auto bis = std::chrono::duration_cast<std::chrono::milliseconds>(naechsterVersuch_ - Uhr::now()).count();
      frist = static_cast<int>(std::clamp<long long>(bis, 0, 1000));
    }
    pollfd p[2] = {{weckFd_, POLLIN, 0}, {-1, 0, 0}};
    const int sock = zustand_ == Zustand::Getrennt ? -1 : mosquitto_socket(mosq_);
    if (sock >= 0) p[1] = {sock, static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)), 0};
    if (::poll(p, sock >= 0 ? 2 : 1, frist) < 0 && errno != EINTR) return;
    if ((p[0].revents & POLLIN) != 0) {
      std::uint64_t n = 0;
      [[maybe_unused]] ssize_t gelesen = ::read(weckFd_, &n, sizeof n);
    }
    if (sock < 0) return;
    if ((p[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0) Ergebnis(mosquitto_loop_read(mosq_, 1));
    if (zustand_ != Zustand::Getrennt && (p[1].revents & POLLOUT) != 0) Ergebnis(mosquitto_loop_write(mosq_, 1));
    if (zustand_ != Zustand::Getrennt) Ergebnis(mosquitto_loop_misc(mosq_));
  }

  // A clean end: what is waiting, online false, and a disconnect, so the broker
  // does not send the last will; bounded, so a stalled broker cannot hold the end.
  void Abschied() {
    Senden();
    const std::string online = basis_ + "online";
    Ergebnis(mosquitto_publish(mosq_, nullptr, online.c_str(), 5, "false", 1, true));
    if (zustand_ != Zustand::Verbunden) return;
    mosquitto_disconnect(mosq_);
    const auto bis = Uhr::now() + kEndeWarten;
    while (mosquitto_socket(mosq_) >= 0 && Uhr::now() < bis) {
      pollfd p = {mosquitto_socket(mosq_), static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)), 0};
      if (::poll(&p, 1, 100) < 0 && errno != EINTR) break;
      if ((p.revents & POLLOUT) != 0 && mosquitto_loop_write(mosq_, 1) != MOSQ_ERR_SUCCESS) break;
      if ((p.revents & (POLLIN | POLLERR | POLLHUP)) != 0 && mosquitto_loop_read(mosq_, 1) != MOSQ_ERR_SUCCESS) break;
    }
  }

  const MqttAdresse adresse_;
  const std::string ort_;    // "host:port" for messages
  const std::string basis_;  // "PREFIX/STATION/"
  mosquitto* mosq_ = nullptr;
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
  std::string statusNachricht_;
  bool ende_ = false, ersterVersuchVorbei_ = false, fertig_ = false;
  ErrorCode abgewiesen_ = 0;
  std::string abweisung_;

  // The publishing thread's own.
  Zustand zustand_ = Zustand::Getrennt;
  Uhr::time_point naechsterVersuch_{}, verbindetSeit_{};
  std::chrono::seconds wartezeit_ = kErsteWartezeit;
  bool ersterVersuch_ = true, neuVerbunden_ = false, gemeldet_ = false;
  int connack_ = -1;
  std::string protokoll_;
};

class MqttGriff final : public MqttSender {
 public:
  explicit MqttGriff(std::shared_ptr<MosquittoSender> s) : s_(std::move(s)) {}
  ~MqttGriff() override { s_->Beenden(); }
  void Abfrage(const MqttAbfrage& a) override { s_->Abfrage(a); }
  ErrorCode Abgewiesen(std::string* detail) override { return s_->Abgewiesen(detail); }

 private:
  std::shared_ptr<MosquittoSender> s_;
};

}  // namespace

int MqttStarten(const Optionen& o, const Verbindung& v, std::unique_ptr<MqttSender>* sender) {
  // Never cleaned up: a thread left behind at the end may still use it.
  static const int bibliothek = mosquitto_lib_init();
  (void)bibliothek;
  MqttAdresse a;
  std::string grund;
  if (!MqttAdresseLesen(o.mqtt, &a, &grund)) return FehlerMelden(o, AUFRUF_FEHLER, "\n--mqtt: " + grund);
  if (!a.mitPasswort) {
    if (const char* p = std::getenv("ZPK3X_MQTT_PASSWORD"); p != nullptr && !a.benutzer.empty()) {
      a.passwort = p;
      a.mitPasswort = true;
    }
  }
  if (!o.mqttCa.empty() && !a.tls) return FehlerMelden(o, AUFRUF_FEHLER, "\n--mqtt-ca: " + std::string(T("nur mit mqtts://", "only with mqtts://")));
  if (!o.mqttCa.empty()) {
    std::FILE* f = std::fopen(o.mqttCa.c_str(), "rb");
    if (f == nullptr) return FehlerMelden(o, MQTT_CA_DATEI, "\n--mqtt-ca " + o.mqttCa + ": " + Systemgrund(errno, Englisch()));
    std::fclose(f);
  }
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) name[0] = '\0';
  const std::string station = MqttStation(o, v, name);
  if (station.empty())
    return FehlerMelden(o, AUFRUF_FEHLER, "\n--station " + o.station +
                                              T(": ein Name ohne /, + und #, UTF-8", ": a name without /, + and #, UTF-8"));
  const std::string ort = (a.host.find(':') != std::string::npos ? "[" + a.host + "]" : a.host) + ":" + std::to_string(a.port);
  auto s = std::make_shared<MosquittoSender>(a, ort, a.praefix + "/" + station + "/");
  if (int status = s->Einrichten(o, o.mqttCa); status != EXIT_OK) return status;
  s->Starten();
  std::string detail;
  if (ErrorCode err = s->Abgewiesen(&detail); err != 0) {
    s->Beenden();
    return FehlerMelden(o, err, detail);
  }
  *sender = std::make_unique<MqttGriff>(std::move(s));
  return EXIT_OK;
}

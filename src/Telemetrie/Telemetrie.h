#pragma once
// The queries of a bench published to an MQTT broker, so that many benches show
// in one place; the same topics and payloads from the command line's monitor and
// from the window. Publishing only: nothing received from the broker reaches the
// device.
//
// Topics under PREFIX/STATION/: `values` (every query, QoS 0), `status` (status
// word, bit names in both languages and error code when they change, retained,
// QoS 1), `online` (true while the station runs, retained; false as the last
// will and at a clean end) and `meta` (which device, where, how often, retained).
// The client id is "zpk3x-STATION": a reconnection takes over the session of a
// connection that died half-open, whose last will can then no longer come late.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "common/ErrorCode.h"

struct MqttAdresse {
  bool tls = false;
  std::string benutzer;
  std::string passwort;
  bool mitPasswort = false;
  std::string host;
  int port = 0;
  std::string praefix;  // without leading or trailing "/"
};

// mqtt://[USER[:PASSWORD]@]HOST[:PORT]/PREFIX or mqtts://...; USER and PASSWORD
// may be percent-encoded, HOST may be an IPv6 address in brackets. False with the
// reason in *grund (in English or German) for anything else.
bool MqttAdresseLesen(const std::string& url, MqttAdresse* a, std::string* grund, bool englisch);

// The default station: "<host name>-<port>" (the port's number, or the device
// file's name), with "/", "+" and "#" made "_".
std::string MqttStandardStation(const std::string& hostname, const std::string& port);
// A station given by the user: one topic level of UTF-8, not blank.
bool MqttGueltigeStation(const std::string& station);

// One query as the station made it.
struct MqttAbfrage {
  std::string zeit;
  double strom = 0, spannung = 0;
  std::int32_t status = 0;
  ErrorCode fehler = 0;
  std::string meldung;               // in the station's language
  std::string meldungDe, meldungEn;  // both, for dashboards in either
  // Of a failed query, where known: the frame it failed on and the bytes that
  // came back (as BytesLesbar writes them); the error's `frame` and `answer`.
  std::string rahmen, antwort;
};

// The catalogue's message for `code` in the station's language and in both.
void MqttMeldungen(ErrorCode code, MqttAbfrage* a);

// Payload of `values`: the command line's monitor prints the same with --json.
nlohmann::ordered_json MqttWerteJson(const MqttAbfrage& a);

// A problem with the broker that lost publications while the station went on
// (a login refused mid-run); told once in the status topic.
struct MqttProblem {
  ErrorCode code = 0;
  std::string de, en;
  std::string seit;
};

// Payload of `status` for a query.
std::string MqttStatusNachricht(const MqttAbfrage& a, const MqttProblem& problem = {});

// What the `meta` topic says about the station.
struct MqttMeta {
  std::string kennung;  // the device's answer to the identity request; empty: unknown
  std::string port;
  int baudrate = 0;
  char adresse = '1';  // '1'..'8', published as its number
  double intervall = 0;
  std::string version;
  std::string start;  // time stamp of the start
};
std::string MqttMetaNachricht(const MqttMeta& m);

// The longest topic and client id the protocol carries (a two-byte length).
constexpr std::size_t kMqttLaengsterText = 65535;
// Packets larger than this from the broker end a plain connection before the
// client library reads them (a publisher gets only small acknowledgements).
constexpr std::size_t kMqttGroesstesPaket = 64 * 1024;
// Values of a gap without broker that are kept for publishing on reconnection;
// older ones are dropped.
constexpr int kMqttWarteschlange = 100;

// Refusals by the broker that end a command-line monitor on the first attempt.
constexpr ErrorCode MQTT_ANMELDUNG_ABGELEHNT = -2601;
constexpr ErrorCode MQTT_ZERTIFIKAT_ABGELEHNT = -2602;
// Settings that cannot work (URL, station, CA option).
constexpr ErrorCode MQTT_ANGABE_FALSCH = -504301;
constexpr ErrorCode MQTT_EINRICHTEN = -7601;  // the client library cannot be set up
constexpr ErrorCode MQTT_CA_DATEI = -308601;  // the CA file cannot be opened

struct MqttEinstellungen {
  std::string url, ca, station;
  bool stationGegeben = false;  // a station given, even as ""
  std::string standardStation;  // when none is given
  // The password when the URL has none (ZPK3X_MQTT_PASSWORD).
  const char* passwort = nullptr;
  bool englisch = true;
  // Notes of the publishing thread (connection lost, back, refused, denied), in
  // the station's language; `problem` false for the note that it works again.
  // Called from that thread.
  std::function<void(const std::string& text, bool problem)> hinweis;
  MqttMeta meta;
  // The meta topic waits for MetaSetzen (the device's identity being asked),
  // so that it is not published first without it.
  bool metaFolgt = false;
  // How long the broker may take to finish a packet it began or to acknowledge
  // a publication of QoS 1 before the connection counts as dead.
  std::chrono::milliseconds antwortFrist{15000};
};

// Which setting a refusal of MqttVerbinden is about.
enum class MqttFeld { Url, Station, Ca, Keines };

class MqttSender {
 public:
  virtual ~MqttSender() = default;  // a clean end: online false, then disconnect
  // Hands one query over for publishing; never waits for the broker.
  virtual void Abfrage(const MqttAbfrage& a) = 0;
  // A new meta payload (the port or interval changed); published when it differs.
  virtual void MetaSetzen(const MqttMeta& m) = 0;
  // A refusal on the first attempt (login or TLS certificate): its code, and the
  // detail in *detail; 0 while there is none. Later refusals are retried.
  virtual ErrorCode Abgewiesen(std::string* detail) = 0;
  // A test run's outcome and summary (JSON), retained under `result` (QoS 1),
  // published before the station says it went offline.
  virtual void Ergebnis(const std::string& nutzlast) = 0;
};

// Checks the settings and connects in the background, never waiting for the
// broker. 0 and *sender set, or a code with *feld and the reason in *detail.
ErrorCode MqttVerbinden(const MqttEinstellungen& e, std::unique_ptr<MqttSender>* sender, MqttFeld* feld, std::string* detail);

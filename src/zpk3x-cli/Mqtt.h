#pragma once
// The monitor's queries published to an MQTT broker, so that many benches show
// in one place. Publishing only: nothing received from the broker reaches the
// device.
//
// Topics under PREFIX/STATION/: `values` (every query, QoS 0), `status` (status
// word, bit names in both languages and error code when they change, retained,
// QoS 1), `online` (true while the monitor runs, retained; false as the last
// will and at a clean end) and `meta` (which device, where, how often, retained).
// The client id is "zpk3x-STATION": a reconnection takes over the session of a
// connection that died half-open, whose last will can then no longer come late.
#include <cstdint>
#include <memory>
#include <string>

#include "common/ErrorCode.h"
#include "zpk3x-cli/Befehle.h"
#include "zpk3x-cli/Verbindung.h"

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
// reason in *grund for anything else.
bool MqttAdresseLesen(const std::string& url, MqttAdresse* a, std::string* grund);

// The station's topic level: --station, else "<host name>-<port>" (the port's
// number, or the device file's name), with "/", "+" and "#" made "_".
std::string MqttStation(const Optionen& o, const Verbindung& v, const std::string& hostname);

// One query as the monitor made it.
struct MqttAbfrage {
  std::string zeit;
  std::string werte;  // the monitor's JSON line without its line end
  std::int32_t status = 0;
  ErrorCode fehler = 0;
  std::string meldung;              // in the station's language
  std::string meldungDe, meldungEn;  // both, for dashboards in either
};

// What the `meta` topic says about the station, published after every connection.
struct MqttMeta {
  std::string kennung;  // the device's answer to the identity request; empty: unknown
  std::string port;
  int baudrate = 0;
  char adresse = 'A';
  double intervall = 0;
  std::string version;
  std::string start;  // time stamp of the start
};
std::string MqttMetaNachricht(const MqttMeta& m);

// The longest topic and client id the protocol carries (a two-byte length).
constexpr std::size_t kMqttLaengsterText = 65535;

// A problem with the broker that lost publications while the monitor went on
// (a login refused mid-run, denied publishes); shown in the status topic.
struct MqttProblem {
  ErrorCode code = 0;
  std::string de, en;
  std::string seit;
};

// Payload of the status topic for a query.
std::string MqttStatusNachricht(const MqttAbfrage& a, const MqttProblem& problem = {});

// Failures of the publisher's set-up (the refusals that end the monitor are in
// Befehle.h, with their exit status).
constexpr ErrorCode MQTT_EINRICHTEN = -7601;  // the client library cannot be set up
constexpr ErrorCode MQTT_CA_DATEI = -308601;  // --mqtt-ca cannot be opened

// Packets larger than this from the broker end the connection where they can be
// seen before the client library reads them (a publisher gets only small acknowledgements).
constexpr std::size_t kMqttGroesstesPaket = 64 * 1024;

// Values of a gap without broker that are kept for publishing on reconnection;
// older ones are dropped.
constexpr int kMqttWarteschlange = 100;

class MqttSender {
 public:
  virtual ~MqttSender() = default;  // a clean end: online false, then disconnect
  // Hands one query over for publishing; never waits for the broker.
  virtual void Abfrage(const MqttAbfrage& a) = 0;
  // A refusal that ends the monitor (login or TLS certificate): its code, and
  // the detail in *detail; 0 while there is none.
  virtual ErrorCode Abgewiesen(std::string* detail) = 0;
};

// Checks the options and connects in the background, never waiting for the
// broker. A refusal on the first attempt ends the monitor (Abgewiesen); later
// ones are retried while the recording goes on. An exit status; *sender is set on EXIT_OK.
int MqttStarten(const Optionen& o, const Verbindung& v, const MqttMeta& meta, std::unique_ptr<MqttSender>* sender);

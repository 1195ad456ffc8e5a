#pragma once
// The window's queries published to an MQTT broker, with the same topics and
// payloads as the command line's monitor --mqtt, through the same module. The
// settings come from the environment (ZPK3X_MQTT, ZPK3X_MQTT_STATION,
// ZPK3X_MQTT_CA, ZPK3X_MQTT_PASSWORD) or, for each one not set there, the same
// key in the section [MQTT] of the configuration file.
#include <string>

#include "common/ErrorCode.h"

struct Istwerte;

// The [MQTT] section as read at start; kept in the file when it is written.
struct MqttKonfiguration {
  std::string url, station, ca, passwort;
  bool stationGegeben = false, passwortGegeben = false;
};
extern MqttKonfiguration gMqttKonfiguration;

// Starts publishing when a URL is set; a setting that cannot work shows in the
// error line. Never waits for the broker.
void VeroeffentlichungStarten();
// Hands one query over (called by every one-shot and continuous query).
void VeroeffentlichungAbfrage(ErrorCode fehler, const Istwerte& werte);
// After a query has set the error line: a broker problem not shown yet shows
// there once, without stopping the query.
void VeroeffentlichungZeigen();
// A test plan run's summary (JSON), retained under `result`, as the command
// line's test --mqtt publishes it.
void VeroeffentlichungErgebnis(const std::string& zusammenfassung);
// online false, then the connection ends (bounded).
void VeroeffentlichungBeenden();

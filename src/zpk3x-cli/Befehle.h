#pragma once
// The commands of zpk3x-cli, each on one parsed set of options. main.cpp parses
// the command line; everything after that lives here.
#include <string>

#include "common/ErrorCode.h"

// Exit statuses, as documented in --help and the manual page.
constexpr int EXIT_OK = 0;
constexpr int EXIT_UNTERSCHIED = 1;  // diff: device and file differ
constexpr int EXIT_AUFRUF = 2;   // usage, or a bad value in an input file
constexpr int EXIT_PORT = 3;     // port cannot be opened, is held by another program, or hung up
constexpr int EXIT_GERAET = 4;   // the device did not answer or refused
constexpr int EXIT_DATEI = 5;    // a file cannot be read or written, or is not a program table
constexpr int EXIT_MQTT = 6;     // the MQTT broker refused the login or the TLS certificate

struct Optionen {
  // Connection; `port` empty: from the configuration file, else 1.
  std::string port;
  bool portGegeben = false;  // --port was given (maybe empty)
  int baudrate = 0;       // 0: from the configuration file, else 9600
  std::string adresse;    // empty: from the configuration file, else "1"
  double timeout = 0.5;   // seconds per byte, as in the window
  bool englisch = false;
  bool json = false;
  bool leise = false;     // -q: errors only
  bool trace = false;     // every frame and answer on stderr
  std::string format;     // --format: zpk, csv or json over the file name's extension

  std::string befehl;     // scan, id, status, get, start, ...
  int programm = 0;       // load / store
  std::string bereich = "all";  // read / write: "all" or 0..16
  std::string datei;      // read -o, write -i, show, monitor -o
  std::string ziel;       // convert OUT
  bool trockenlauf = false;
  double intervall = 0.5;
  double dauer = 0;       // 0: until stopped
  bool stoppBeiFehler = false;
  std::string mqtt;       // monitor --mqtt URL, --mqtt-ca FILE, --station NAME
  std::string mqttCa;
  std::string station;
  bool stationGegeben = false;  // --station given, even as ""
  bool pruefen = true;    // write: read back and compare (--no-verify: not)
};

// Language of the run from LC_ALL, else LC_MESSAGES, else LANG (German when it
// begins with "de"); --lang overrides it.
bool EnglischAusUmgebung();

// Language of messages and errors from now on.
void SpracheSetzen(bool englisch);

// Runs the command; returns the exit status.
int BefehlAusfuehren(Optionen& o);

// Reports a failure on stderr (and as a JSON error object on stdout with
// --json) and returns its exit status. `detail` is appended to the message.
int FehlerMelden(const Optionen& o, ErrorCode code, const std::string& detail = "");

// Exit status of a failure code.
int ExitStatus(ErrorCode code);

// A usage error found by the argument parser: class "Wrong parameter".
constexpr ErrorCode AUFRUF_FEHLER = -504301;

// The MQTT refusals (MQTT_ANMELDUNG_ABGELEHNT, ...) are in Telemetrie/Telemetrie.h.

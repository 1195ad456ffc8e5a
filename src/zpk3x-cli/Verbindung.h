#pragma once
// The connection of one run: port, baud rate, address and time-out from the
// options, else the configuration file, else the defaults; one place for both.
#include <string>

#include <nlohmann/json.hpp>

#include "Geraetemeldungen/Geraetemeldungen.h"
#include "Programmtransfer/Programmtransfer.h"
#include "zpk3x-cli/Befehle.h"

using Json = nlohmann::ordered_json;

// A device path is opened under this port number of the serial layer.
constexpr int kPfadPort = 1;

struct Verbindung {
  int port;          // 1..8, or kPfadPort for a device path
  std::string pfad;  // empty: port number with the serial layer's own mapping
  int baudrate;
  char adresse;
  double timeout;
  bool offen = false;
  // Why the last open failed, where known: the device, the cause, its code, the holders.
  Portfehler fehler;
  // The device (or network address) the port was last opened on, for messages.
  std::string geraet;

  Geraeteverbindung Geraet() const { return {port, adresse}; }
};

// Fills `v` from the options and the configuration file; an exit status.
int VerbindungBestimmen(const Optionen& o, Verbindung* v);

// Opens (or opens again) the port at `baudrate`; a catalogue code. A device that
// another process holds open is refused, whether or not that process locked it.
ErrorCode PortOeffnen(Verbindung* v, int baudrate);

// Reports a failure of PortOeffnen with the device's path (or network address)
// and the cause: in JSON `port`, `reason`, `reason_code` and `holders`.
int PortFehlerMelden(const Optionen& o, const Verbindung& v, ErrorCode code);

// Where a device command went (VerbindungsText), and the same as JSON keys.
std::string VerbindungText(const Verbindung& v);
void VerbindungJson(const Verbindung& v, Json* angaben);

// "all" or a slot 0..16 into a range of slots; false for anything else.
bool BereichLesen(const std::string& text, int* von, int* bis);

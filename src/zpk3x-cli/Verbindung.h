#pragma once
// The connection of one run: port, baud rate, address and time-out from the
// options, else the configuration file, else the defaults; one place for both.
#include <string>

#include "Programmtransfer/Programmtransfer.h"
#include "zpk3x-cli/Befehle.h"

// A device path is opened under this port number of the serial layer.
constexpr int kPfadPort = 1;

struct Verbindung {
  int port;          // 1..8, or kPfadPort for a device path
  std::string pfad;  // empty: port number with the serial layer's own mapping
  int baudrate;
  char adresse;
  double timeout;
  bool offen = false;
  // Why the last open failed, where known: the device and the cause.
  std::string fehlerPfad;
  std::string fehlerGrund;

  Geraeteverbindung Geraet() const { return {port, adresse}; }
};

// Fills `v` from the options and the configuration file; an exit status.
int VerbindungBestimmen(const Optionen& o, Verbindung* v);

// Opens (or opens again) the port at `baudrate`; a catalogue code. A device that
// another process holds open is refused, whether or not that process locked it.
ErrorCode PortOeffnen(Verbindung* v, int baudrate);

// Reports a failure of PortOeffnen with the device's path (or network address)
// and the cause.
int PortFehlerMelden(const Optionen& o, const Verbindung& v, ErrorCode code);

// "all" or a slot 0..16 into a range of slots; false for anything else.
bool BereichLesen(const std::string& text, int* von, int* bis);

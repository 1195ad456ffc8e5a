#pragma once
// Device errors that say where they happened: the program and field of a
// transfer, the frame sent, what came back, and how far the transfer got.
#include <string>

#include "Programmtransfer/Programmtransfer.h"
#include "zpk3x-cli/Befehle.h"
#include "zpk3x-cli/Verbindung.h"

// Reports `code` of a single command with the frame and the answer of the last
// transaction; returns the exit status.
// `nachsatz`, when given, is a last line of the message (also JSON `note`).
int GeraetefehlerMelden(const Optionen& o, const Verbindung& v, ErrorCode code, const std::string& nachsatz = "");

// The same for a transfer of slots from `von` on: also the program and field where it
// ended and what was completed. An end on request (TRANSFER_ABGEBROCHEN) gives
// the exit status of the signal (130, 143).
enum class Richtung { Lesen, Schreiben };

// A report for a transfer that Ctrl+C and SIGTERM end after the frame in flight.
Transferbericht AbbrechbarerBericht();
// `nachsatz`, when given, is a last line of the message (also JSON `note`).
int TransferfehlerMelden(const Optionen& o, const Verbindung& v, ErrorCode code, Richtung richtung, int von,
                         const Transferbericht& bericht, const std::string& nachsatz = "");

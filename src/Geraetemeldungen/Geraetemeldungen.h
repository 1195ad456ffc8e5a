#pragma once
// Opening a device port for a front end, and what a failure looks like in words:
// the cause of a refused open, the last frame and its answer, how far a transfer
// got. The command line and the Python package give the same texts, in the
// language of the error catalogue (OLQ_Fehlersprache).
#include <string>
#include <vector>

#include "Programmtransfer/Programmtransfer.h"
#include "common/ErrorCode.h"
#include "rs232/Portbelegung.h"

// Why an open failed: the device (or network address), the cause in words, and
// the other processes that hold the device, where that was the cause.
// `grundCode` names the cause for scripts, the same in every language: the
// system's error name (ENOENT, EACCES, ...) where the system gave one, else
// busy, not_serial, settings, refused, timeout, closed, unresolved, invalid.
struct Portfehler {
  std::string pfad;
  std::string grund;
  std::string grundCode;
  std::vector<Portinhaber> inhaber;
};

// The name of the errno value `fehler` ("ENOENT"), or "E" and its number.
std::string FehlerName(int fehler);

// Why the latest open of port `port` on `pfad` ("" : the port number's own)
// failed, from the serial layer's record of it: fills *fehler as below. Every
// front end that opens a port names the refusal with it.
void OeffnungsfehlerBeschreiben(int port, const std::string& pfad, Portfehler* fehler);

// Opens port `port` (1..8) on device `pfad` ("" : the port number's own) at
// `baudrate` and sets `timeout`; a catalogue code. A device that another process
// holds open is refused, whether or not that process locked it. On failure the
// port is closed and *fehler says why, where known.
ErrorCode PortOeffnenGeprueft(int port, const std::string& pfad, int baudrate, double timeout, Portfehler* fehler);

// What came back in the last transaction, readable: ACK, NAK, CAN and CR by
// name, printable text in quotes, other bytes in hex; "" when nothing came.
std::string AntwortText(const char* bytes, int anzahl);

// Bytes as scripts get them (JSON `answer`, the trace): printable ASCII as it is,
// ACK, NAK, CAN and CR as <ACK>, <NAK>, <CAN>, <CR>, every other byte (the
// backslash too) as \xHH. One escaping, so the bytes can be recovered.
std::string BytesLesbar(const char* bytes, int anzahl);

// The last transaction on `port` in words ("frame #1C1W1.000, answer: NAK");
// *rahmen gets the frame, *antwort the answer's AntwortText ("" when none came).
std::string TransaktionText(int port, std::string* rahmen, std::string* antwort);

// Where a device command went, the last lines of every device error: "port
// /dev/ttyS0, 9600 baud, address 1" (over raw TCP "at the device server's
// rate"), and, when the last transaction on `port` got nothing at all, the hint
// that the device may be elsewhere.
std::string VerbindungsText(int port, const std::string& geraet, int baudrate, char adresse);

// Where a transfer ended: "program 9, field strom1" ("working parameters" for slot 0).
std::string TransferStelle(const Transferbericht& b);

// How far a transfer of slots from `von` got ("programs 1 to 8 stored; program 9
// partly written to the working parameters").
std::string TransferStand(bool schreiben, int von, const Transferbericht& b);

// The last line of a failed transfer's message when the working parameters were
// read but could not be put back: what they were, so that the operator can;
// "" when there is nothing to say.
std::string ArbeitsstandText(const Arbeitsstand& stand);

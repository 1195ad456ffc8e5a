#pragma once
// Driver of the ZPK-3X: serial port handling and the device's command protocol.
// Every operation performs one complete transaction and returns an ErrorCode.
#include "common/ErrorCode.h"

// --- serial port ---
// What every operation reports once the port has hung up (the device side went
// away): the port must be opened again before anything can pass.
constexpr ErrorCode OLQZPK3X_LEITUNG_GETRENNT = -127125;
// What an operation reports when its answers were out of step (a late or doubled
// answer came where none was due).
constexpr ErrorCode OLQZPK3X_AUSSER_TAKT = -410125;
// What an operation reports when the serial layer's abort check asked to stop
// (SetComAbortCheck): nothing was sent after the request ("Aborted by user").
constexpr ErrorCode OLQZPK3X_ABGEBROCHEN = -4126;

ErrorCode OLQZPK3X_Open(int port, int baudrate);
// As OLQZPK3X_Open, on the device file `device` ("" or null: the port's own).
// With a device named, the port may also be one of the serial layer's numbers
// beyond the COM numbers (9 to COM_PORT_SLOTS), for callers that open many.
ErrorCode OLQZPK3X_OpenDevice(int port, const char* device, int baudrate);
// An answer stays owed while a transaction went unanswered or out of step. Until
// the line is proven in step again, a command answered by a single byte, or a
// read of the same command at the same address, is preceded by a read whose
// answer echoes its frame (the status read, or the actual current), and
// everything before that echo is passed over; if the check goes unanswered the
// command is not sent and its own no-answer code is returned
// (OLQZPK3X_LetzteTransaktion: `nichtGesendet`). Other reads pass over late
// answers by their echo. Closing keeps a record of what is owed beside the
// port's lock for the next opener (a killed holder leaves "unknown" behind); a
// proof of step, not a close, clears it. Opening at another baud rate than the
// one owed at clears it as well. Ports still open when the process ends
// normally are closed the same way.
ErrorCode OLQZPK3X_Close(int port);

// Frames sent between these two calls are one operation (a program's fields
// and its store, a range of programs): before each frame the driver looks at
// what waits on the line, and once a frame of the operation was sent, bytes
// waiting before a later one mean that the device answered out of step. That
// frame is not sent; OLQZPK3X_AUSSER_TAKT is returned, with the bytes in
// OLQZPK3X_LetzteTransaktion, and an answer is owed from then on. Outside an
// operation such bytes are a late answer: owed, and the usual check decides.
// Operations nest: the outermost pair counts. Opening and closing the port keep
// an operation that is under way (a reopen inside it still belongs to it).
void OLQZPK3X_VorgangBeginnen(int port);
void OLQZPK3X_VorgangBeenden(int port);
ErrorCode OLQZPK3X_Timeout(int port, double seconds);
ErrorCode FlushInOut(int port);

// --- command protocol ---
// identity: caller's buffer of 32 bytes; receives the identity word.
ErrorCode OLQZPK3X_IDLesen(int port, char adresse, char* identity);
// funktion: "start", "stopp", "fehlerloeschen", "kalibrieren".
ErrorCode OLQZPK3X_DeviceFunction(int port, char adresse, const char* funktion);
ErrorCode OLQZPK3X_ParameterSchreiben(int port, char adresse, const char* parameter, double realWert,
                                      int intWert, int reserviert);
// Only the destination of the keyword's kind is used; the others may be null.
ErrorCode OLQZPK3X_ParameterLesen(int port, char adresse, const char* parameter, double* realWert,
                                  int* intWert, char* text);

// Called at the end of an operation that changed the device: its answers were out
// of step (a late or doubled answer was taken for a later command's) when a byte
// is waiting or arrives within two character times of the last answer. Returns
// -410125 then (and an answer is owed from then on), else 0.
ErrorCode OLQZPK3X_ImTaktPruefen(int port);

// The last transaction on a port, for messages that say what went wrong: the
// frame sent (without its CR) and the bytes that came back, up to 32, including
// any caught by OLQZPK3X_ImTaktPruefen; `stumm` when the last read waited in
// vain, `verloren` when it found the port failed or the line hung up,
// `nichtGesendet` when the frame was not sent because the check that the line
// is in step went unanswered.
struct OLQZPK3X_Transaktion {
  char rahmen[40];
  char antwort[32];
  int antwortLaenge;
  bool stumm;
  bool verloren;
  bool nichtGesendet;
};
OLQZPK3X_Transaktion OLQZPK3X_LetzteTransaktion(int port);
// Forgets the last transaction, for a caller that refuses an operation itself
// before the driver is asked: its error then shows no frame of an earlier one.
void OLQZPK3X_TransaktionVergessen(int port);
// Puts back a transaction taken with OLQZPK3X_LetzteTransaktion, so that the
// error of an operation shows its own frame after a clean-up that followed it.
void OLQZPK3X_TransaktionZuruecklegen(int port, const OLQZPK3X_Transaktion& t);

// --- sister device family, same framing ---
ErrorCode OLQVMB1_ProgrammUndSchrittEinstellen(int port, char adresse, int programm, int schritt);
ErrorCode OLQVMB1_StatusLesen(int port, char adresse, int auswahl, int* status);

// 0-9 for '0'-'9', 10-15 for 'a'-'f' and 'A'-'F', -1 otherwise.
int Hexchar2Int(char c);

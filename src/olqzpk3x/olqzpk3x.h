#pragma once
// Driver of the ZPK-3X: serial port handling and the device's command protocol.
// Every operation performs one complete transaction and returns an ErrorCode.
#include "common/ErrorCode.h"

// --- serial port ---
// What every operation reports once the port has hung up (the device side went
// away): the port must be opened again before anything can pass.
constexpr ErrorCode OLQZPK3X_LEITUNG_GETRENNT = -127125;

ErrorCode OLQZPK3X_Open(int port, int baudrate);
ErrorCode OLQZPK3X_Close(int port);
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

// --- sister device family, same framing ---
ErrorCode OLQVMB1_ProgrammUndSchrittEinstellen(int port, char adresse, int programm, int schritt);
ErrorCode OLQVMB1_StatusLesen(int port, char adresse, int auswahl, int* status);

// 0-9 for '0'-'9', 10-15 for 'a'-'f' and 'A'-'F', -1 otherwise.
int Hexchar2Int(char c);

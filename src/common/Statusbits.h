#pragma once
// The eight bits of the device's status word that mean something, rising, with
// their explanation lines (each ends in a line feed, as the status popup joins
// them). Shared by the window, the trend recording and the command line.

struct Statusbit {
  int bit;
  const char* deutsch;
  const char* englisch;
};
constexpr int STATUSBITS_ANZAHL = 8;
inline constexpr Statusbit STATUSBITS[STATUSBITS_ANZAHL] = {
    {0x1, "Innentemperatur zu hoch\n", "Inside temperature too high\n"},
    {0x2, "Parameter zerstört\n", "Parameters destroyed\n"},
    {0x8, "Kalibrierung ungültig\n", "Invalid calibration\n"},
    {0x10, "Prüfspannung außerhalb der Toleranz\n", "Voltage out of tolerance\n"},
    {0x100, "Prozess wurde gestartet\n", "Process has been started\n"},
    {0x200, "Programm aktiv\n", "Programm aktiv\n"},
    {0x800, "Prozess wurde abgeschlossen\n", "Process has ended\n"},
    {0x2000, "Prozess wurde abgebrochen\n", "Process has been canceld\n"},
};

#pragma once
// One program of the device and the table of them. Shared by the window, the
// command line and the program-file code, so it pulls in nothing else.
#include <cstdint>

struct ProgramRecord {
  std::int32_t stromkurve;
  double strom1;
  double strom2;
  double zeit1;
  double zeit2;
  double frequenz;
  double spannung;
  double zyklen;
  double regelgeschwindigkeit;
  std::int32_t endstuferegeln;
};

constexpr int PROGRAMM_SLOTS = 17;  // slot 0: working parameters, 1..16: programs

// Every slot after start-up and after New.
constexpr ProgramRecord PROGRAMM_STANDARDSATZ = {1, 0.1, 0.5, 1000.0, 1000.0, 1000.0, 12.0, 1.0, 100.0, 0};

#pragma once
// One query result as the trend data and the recording take it, for the tests.
#include <cstdint>

#include "Verlauf/VerlaufDaten.h"

inline VerlaufProbe Probe(std::int64_t t, double i, double u, int status = 0, ErrorCode fehler = 0) {
  VerlaufProbe p;
  p.zeitMs = t;
  p.strom = i;
  p.spannung = u;
  p.status = status;
  p.fehler = fehler;
  return p;
}

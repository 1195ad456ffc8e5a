// The replacement's test seam, the same on every system.
#include "common/Dateiersetzen.h"
#include "common/Dateiersetzen_intern.h"

namespace {
bool gFehler[5] = {};
int gSchreibgrenze = -1;
}  // namespace

void ErsetzenSeam_Fail(ErsetzenSchritt schritt) { gFehler[static_cast<int>(schritt)] = true; }
void ErsetzenSeam_WriteLimit(int bytes) { gSchreibgrenze = bytes < 0 ? 0 : bytes; }
void ErsetzenSeam_Reset() {
  for (bool& f : gFehler) f = false;
  gSchreibgrenze = -1;
}

bool ErsetzenSeam_SchlaegtFehl(ErsetzenSchritt schritt) {
  bool& f = gFehler[static_cast<int>(schritt)];
  const bool fehl = f;
  f = false;
  return fehl;
}

std::size_t ErsetzenSeam_Erlaubt(std::size_t laenge, bool* halbFehl) {
  *halbFehl = false;
  if (gSchreibgrenze < 0) return laenge;
  std::size_t erlaubt = laenge;
  if (static_cast<std::size_t>(gSchreibgrenze) < laenge) {
    erlaubt = static_cast<std::size_t>(gSchreibgrenze);
    *halbFehl = true;
  }
  gSchreibgrenze = -1;
  return erlaubt;
}

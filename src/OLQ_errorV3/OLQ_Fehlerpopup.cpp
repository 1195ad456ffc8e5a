// Error popups: number and message of a code in a modal message box.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "toolkit/toolkit.h"

namespace {

// Class 6 is the catalogue's silent class: it is never shown in a popup.
bool StilleKlasse(ErrorCode code) { return code / 1000 == -6; }

// Minus the code, in 64 bits so the most negative code does not overflow.
long long Nummer(ErrorCode code) { return -static_cast<long long>(code); }

}  // namespace

void OLQ_Fehlerpopup(ErrorCode code) {
  if (StilleKlasse(code)) return;
  char titel[32];
  std::snprintf(titel, sizeof titel, OLQ_FehlerspracheLesen() == 2 ? "Error #%lld" : "Fehler #%lld", Nummer(code));
  MessagePopup(titel, OLQ_Fehlermeldung(code));
}

void OLQ_Fehlerpopup2(ErrorCode code, const char* titel) {
  if (StilleKlasse(code)) return;
  char suffix[20];
  std::snprintf(suffix, sizeof suffix, " #%lld", Nummer(code));

  // Title and suffix share 99 characters; a longer title is cut, never in the
  // middle of a UTF-8 character.
  char voll[100];
  const std::size_t platz = sizeof voll - 1 - std::strlen(suffix);
  const char* quelle = titel ? titel : "";
  std::size_t laenge = std::strlen(quelle);
  if (laenge > platz) {
    laenge = platz;
    while (laenge > 0 && (static_cast<unsigned char>(quelle[laenge]) & 0xC0) == 0x80) --laenge;
  }
  std::memcpy(voll, quelle, laenge);
  std::memcpy(voll + laenge, suffix, std::strlen(suffix) + 1);
  MessagePopup(voll, OLQ_Fehlermeldung(code));
}

// Error catalogue: turns an error code into its message in the catalogue
// language and appends the pending one-shot text once.
#include "OLQ_errorV3/OLQ_errorV3.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "OLQ_errorV3/OLQ_Fehlerkatalog.h"

namespace {

constexpr int kEnglisch = 2;
// Longest one-shot text kept, in bytes.
constexpr std::size_t kUserStringMax = 299;

int gFehlerSprache = 1;
char gFehlerText[500];
char gFehlerUserString[kUserStringMax + 1];

// The buffer takes the longest text, the longest one-shot text and the zero:
// appending can therefore never be cut short, whatever the caller set.
static_assert(FehlerKatalogLaengsterText() + kUserStringMax + 1 <= sizeof gFehlerText,
              "message buffer too small for the longest catalogue text");

const FehlerEintrag* EintragSuchen(int klasse) {
  const FehlerEintrag* anfang = std::begin(kFehlerKatalog);
  const FehlerEintrag* ende = std::end(kFehlerKatalog);
  const FehlerEintrag* e = std::lower_bound(
      anfang, ende, klasse, [](const FehlerEintrag& a, int k) { return a.klasse < k; });
  return (e != ende && e->klasse == klasse) ? e : nullptr;
}

bool IstFolgebyte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

const char* OLQ_Fehlermeldung(ErrorCode code) {
  // Truncating division: no overflow even for the most negative code, and the
  // negated quotient stays far inside int.
  const int klasse = -(code / 1000);
  const FehlerEintrag* e = klasse < 0 ? nullptr : EintragSuchen(klasse);
  if (e == nullptr) e = &kFehlerStandard;
  const char* text = gFehlerSprache == kEnglisch ? e->englisch : e->deutsch;

  const std::size_t laenge = std::strlen(text);
  const std::size_t zusatz = std::strlen(gFehlerUserString);
  std::memcpy(gFehlerText, text, laenge);
  std::memcpy(gFehlerText + laenge, gFehlerUserString, zusatz);
  gFehlerText[laenge + zusatz] = '\0';
  gFehlerUserString[0] = '\0';
  return gFehlerText;
}

void OLQ_Fehlersprache(int sprache) { gFehlerSprache = sprache; }

int OLQ_FehlerspracheLesen() { return gFehlerSprache; }

const char* OLQ_Text(const char* deutsch, const char* englisch) { return gFehlerSprache == 2 ? englisch : deutsch; }

void OLQ_Fehleruserstring(const char* text) {
  if (text == nullptr) {
    gFehlerUserString[0] = '\0';
    return;
  }
  // Read no further than needed to know whether the text is too long.
  std::size_t n = strnlen(text, kUserStringMax + 1);
  if (n > kUserStringMax) {
    // Cut before a character that would not fit whole: back up over at most
    // the three continuation bytes a UTF-8 sequence can have.
    n = kUserStringMax;
    for (int i = 0; i < 3 && n > 0 && IstFolgebyte(text[n]); ++i) --n;
  }
  std::memcpy(gFehlerUserString, text, n);
  gFehlerUserString[n] = '\0';
}

// The transfer module's own promises: its ranges are the driver's, and a range
// transfer reports progress and keeps the table whole on a failure.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "Programmtransfer/Programmtransfer.h"
#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232_seam.h"

namespace {

// The driver checks the range before it touches the port: on a port that is not
// open, -500034 means "out of range", anything else means it was accepted.
bool TreiberNimmt(const Programmfeld& f, double wert) {
  const ErrorCode e = f.ganz != nullptr ? OLQZPK3X_ParameterSchreiben(0, '1', f.name, 0.0, static_cast<int>(wert), 0)
                                        : OLQZPK3X_ParameterSchreiben(0, '1', f.name, wert, 0, 0);
  return e != -500034;
}

TEST(Programmtransfer, BereicheSindDieDesTreibers) {
  for (const Programmfeld& f : PROGRAMMFELDER) {
    const double schritt = f.ganz != nullptr ? 1.0 : 1e-9;
    for (const double wert : {f.minimum, f.maximum, f.minimum - schritt, f.maximum + schritt,
                              std::numeric_limits<double>::quiet_NaN()}) {
      if (f.ganz != nullptr && std::isnan(wert)) continue;
      ProgramRecord r = PROGRAMM_STANDARDSATZ;
      if (f.ganz != nullptr) {
        r.*f.ganz = static_cast<std::int32_t>(wert);
      } else {
        r.*f.reell = wert;
      }
      EXPECT_EQ(FeldImBereich(r, f), TreiberNimmt(f, wert)) << f.name << " " << wert;
    }
  }
}

std::vector<int> gSchritte;
void Merken(int fertig, int anzahl, void*) { gSchritte.push_back(fertig * 100 + anzahl); }

TEST(Programmtransfer, SchreibfehlerLaesstDieTabelleUndMeldetDenFortschrittBisDahin) {
  // Two programs acknowledged, then a NAK in the third.
  std::string antworten(2 * 11 + 3, '\x06');
  antworten += '\x15';
  Rs232Seam_ScriptPort(1, antworten.data(), static_cast<int>(antworten.size()));
  ASSERT_EQ(OLQZPK3X_Open(1, 9600), 0);
  ProgramRecord tabelle[PROGRAMM_SLOTS];
  for (int i = 0; i < PROGRAMM_SLOTS; ++i) tabelle[i] = PROGRAMM_STANDARDSATZ, tabelle[i].zyklen = i;
  gSchritte.clear();
  EXPECT_EQ(ProgrammeSchreiben({1, '1'}, 1, 16, tabelle, Merken, nullptr), -402051);
  EXPECT_EQ(gSchritte, (std::vector<int>{116, 216}));
  EXPECT_EQ(tabelle[0].zyklen, 0.0);  // slot 0 only follows a complete write
  OLQZPK3X_Close(1);
  Rs232Seam_Reset();
}

}  // namespace

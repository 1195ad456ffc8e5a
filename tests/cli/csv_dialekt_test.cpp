// CSV from spreadsheets: a German one's thousands grouping, files that mix the
// two dialects, and the empty column after a trailing separator.
#include <gtest/gtest.h>

#include <string>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "Programmformate/Programmdateien.h"
#include "Programmformate/Programmformate.h"

namespace {

constexpr const char* kKopf =
    "slot;auswahl;stromkurve;strom1;strom2;zeit1;zeit2;frequenz;spannung;zyklen;regelgeschwindigkeit;endstuferegeln\r\n";

struct Gelesen {
  ErrorCode code;
  Programmtabelle t;
  Formatfehler f;
};

Gelesen Lesen(const std::string& text) {
  Gelesen g{0, StandardTabelle(), {}};
  g.code = TabelleLesen(Dateiformat::Csv, text, &g.t, &g.f);
  return g;
}

TEST(CsvDialekt, PunkteGruppierenNurDieTausenderEinerDeutschenDatei) {
  Gelesen g = Lesen(std::string(kKopf) + "0;1;1;0,5;1;1.000;2.500;1.000;24;12.345;1;0\r\n");
  ASSERT_EQ(g.code, 0) << g.f.text;
  EXPECT_EQ(g.t.slots[0].zeit1, 1000);
  EXPECT_EQ(g.t.slots[0].zeit2, 2500);
  EXPECT_EQ(g.t.slots[0].frequenz, 1000);
  EXPECT_EQ(g.t.slots[0].zyklen, 12345);
  g = Lesen(std::string(kKopf) + "0;1;1;0,5;1;-12.345.678,25;1;1;24;1;1;0\r\n");
  ASSERT_EQ(g.code, 0) << g.f.text;
  EXPECT_EQ(g.t.slots[0].zeit1, -12345678.25);

  // Any other dot is a point as decimal mark: neither guessed nor read.
  for (const char* falsch : {"1.5", "1.00", "1.0000", ".500", "1000.", "1..000", "1.000.00", "1,000.5", "1.000,5.0", "1234.567"}) {
    g = Lesen(std::string(kKopf) + "0;1;1;0,5;1;" + falsch + ";1;1;24;1;1;0\r\n");
    EXPECT_EQ(g.code, FORMAT_WERT) << falsch;
    EXPECT_EQ(g.f.art, Fehlerart::Dialekt) << falsch;
    EXPECT_EQ(g.f.zeile, 2);
    EXPECT_EQ(g.f.spalte, 6);
    EXPECT_EQ(g.t.slots[0].zeit1, StandardTabelle().slots[0].zeit1);
  }
  OLQ_Fehlersprache(2);
  EXPECT_NE(FormatfehlerSatz(g.f, Dateiformat::Csv).find("field zeit1: \"1234.567\" mixes the dialects"), std::string::npos)
      << FormatfehlerSatz(g.f, Dateiformat::Csv);
}

TEST(CsvDialekt, EineZeileDesAnderenDialektsNenntZeileUndSpalte) {
  const std::string englisch = TabelleAlsCsv(StandardTabelle());
  std::string c = englisch;
  c.replace(c.find("\r\n3,0,"), 6, "\r\n3;0,");
  Gelesen g = Lesen(c);
  EXPECT_EQ(g.code, FORMAT_AUFBAU);
  EXPECT_EQ(g.f.art, Fehlerart::Dialekt);
  EXPECT_EQ(g.f.zeile, 5);
  EXPECT_EQ(g.f.spalte, 1);

  g = Lesen(std::string(kKopf) + "0;1;1;0,5;1;1000;1;1;24;1;1;0\r\n1,0,1,0.5,1,1000,1,1,24,1,1,0\r\n");
  EXPECT_EQ(g.code, FORMAT_AUFBAU);
  EXPECT_EQ(g.f.art, Fehlerart::Dialekt);
  EXPECT_EQ(g.f.zeile, 3);
  EXPECT_EQ(g.f.spalte, 1);
  OLQ_Fehlersprache(2);
  EXPECT_NE(FormatfehlerSatz(g.f, Dateiformat::Csv).find("mixes the dialects: the header separates with semicolons"),
            std::string::npos)
      << FormatfehlerSatz(g.f, Dateiformat::Csv);
}

TEST(CsvDialekt, EineLeereSpalteNachDemLetztenTrennerTraegtNichts) {
  std::string c = std::string(kKopf) + "0;1;1;0,5;1;1000;1;1;24;1;1;0;\r\n";
  Gelesen g = Lesen(c);
  ASSERT_EQ(g.code, 0) << g.f.text;
  EXPECT_EQ(g.t.slots[0].endstuferegeln, 0);
  c.insert(c.find("\r\n"), ";");
  EXPECT_EQ(Lesen(c).code, 0);
  // Anything in that column, or two of them, is still a column too many.
  EXPECT_EQ(Lesen(std::string(kKopf) + "0;1;1;0,5;1;1000;1;1;24;1;1;0;x\r\n").f.art, Fehlerart::Spaltenzahl);
  EXPECT_EQ(Lesen(std::string(kKopf) + "0;1;1;0,5;1;1000;1;1;24;1;1;0;;\r\n").f.art, Fehlerart::Spaltenzahl);
}

}  // namespace

// The program table as JSON and CSV: exact round trips, quoting, and the faults
// a hand-edited file can have.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <algorithm>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "Programmtransfer/Programmtransfer.h"
#include "Programmformate/Programmdateien.h"
#include "Programmformate/Programmformate.h"

namespace {

// A table with every kind of value a program file may hold.
Programmtabelle Ungewoehnlich() {
  Programmtabelle t = StandardTabelle();
  t.auswahl = 16;
  t.slots[1].strom1 = std::numeric_limits<double>::quiet_NaN();
  t.slots[2].strom2 = std::numeric_limits<double>::infinity();
  t.slots[3].zeit1 = -std::numeric_limits<double>::infinity();
  t.slots[4].zeit2 = -0.0;
  t.slots[5].frequenz = 0.1 + 0.2;
  t.slots[6].spannung = 1e300;
  t.slots[7].zyklen = 5e-324;
  t.slots[8].regelgeschwindigkeit = 123456789012345678.0;
  t.slots[9].stromkurve = std::numeric_limits<std::int32_t>::min();
  t.slots[10].endstuferegeln = std::numeric_limits<std::int32_t>::max();
  t.slots[11].strom1 = -2.5;
  // NaNs with every kind of bits: the processor's default NaN, a signalling one,
  // one with a full payload.
  const std::uint64_t nans[] = {0xFFF8000000000000u, 0x7FF0000000000001u, 0xFFFFFFFFFFFFFFFFu};
  double* felder[] = {&t.slots[12].strom1, &t.slots[13].strom2, &t.slots[14].spannung};
  for (int i = 0; i < 3; ++i) std::memcpy(felder[i], &nans[i], sizeof(double));
  return t;
}

std::string Zurueck(Dateiformat format, const std::string& text) {
  Programmtabelle t{};
  Formatfehler f{};
  EXPECT_EQ(TabelleLesen(format, text, &t, &f), 0) << f.text;
  return TabelleAlsZpk(t);
}

TEST(Programmformate, JsonUndCsvGebenDieProgrammdateiBitgenauWieder) {
  // Under a German locale as well: numbers never take a decimal comma.
  const char* vorher = std::setlocale(LC_ALL, "de_DE.UTF-8");
  const Programmtabelle t = Ungewoehnlich();
  const std::string zpk = TabelleAlsZpk(t);
  EXPECT_EQ(Zurueck(Dateiformat::Json, TabelleAlsJson(t)), zpk);
  EXPECT_EQ(Zurueck(Dateiformat::Csv, TabelleAlsCsv(t)), zpk);
  EXPECT_EQ(Zurueck(Dateiformat::Zpk, zpk), zpk);

  const std::string csv = TabelleAlsCsv(t);
  EXPECT_NE(csv.find("\r\n1,0,1,nan,0.5,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\r\n5,0,1,0.1,0.5,1000,1000,0.30000000000000004,12,"), std::string::npos) << csv;
  const std::string json = TabelleAlsJson(t);
  EXPECT_NE(json.find("\"strom2\": \"inf\""), std::string::npos);
  EXPECT_NE(json.find("\"zeit1\": \"-inf\""), std::string::npos);
  EXPECT_NE(json.find("\"strom1\": 0.1,"), std::string::npos);
  EXPECT_NE(json.find("\"strom1\": \"-nan\""), std::string::npos);
  EXPECT_NE(json.find("\"strom2\": \"nan(0x1)\""), std::string::npos);
  EXPECT_NE(csv.find(",-nan(0xfffffffffffff),"), std::string::npos) << csv;
  if (vorher != nullptr) std::setlocale(LC_ALL, "C");
}

TEST(Programmformate, ZahlenAlsKuerzesterText) {
  EXPECT_EQ(ZahlText(0.1), "0.1");
  EXPECT_EQ(ZahlText(1000.0), "1000");
  EXPECT_EQ(ZahlText(-0.0), "-0");
  EXPECT_EQ(ZahlText(std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(ZahlText(-std::numeric_limits<double>::quiet_NaN()), "-nan");
  EXPECT_EQ(ZahlText(-std::numeric_limits<double>::infinity()), "-inf");
}

TEST(Programmformate, CsvFelderMitTrennzeichenWerdenZitiert) {
  EXPECT_EQ(CsvFeld("0.5"), "0.5");
  EXPECT_EQ(CsvFeld("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvFeld("sag \"ja\""), "\"sag \"\"ja\"\"\"");
  EXPECT_EQ(CsvFeld("Zeile 1\nZeile 2"), "\"Zeile 1\nZeile 2\"");
  EXPECT_EQ(CsvFeld(" rand"), "\" rand\"");

  // Quoted fields read as their contents; LF alone ends a line too.
  std::string csv = TabelleAlsCsv(StandardTabelle());
  const std::string::size_type zeile = csv.find("\r\n3,0,");
  csv.replace(zeile, 6, "\n\"3\",\"0\",");
  Programmtabelle t{};
  EXPECT_EQ(TabelleLesen(Dateiformat::Csv, csv, &t, nullptr), 0);

  for (const char* kaputt : {"\n\"3,0,", "\n\"3\"x,0,", "\n3\"\",0,"}) {
    std::string c = TabelleAlsCsv(StandardTabelle());
    c.replace(c.find("\r\n3,0,"), 6, kaputt);
    EXPECT_EQ(TabelleLesen(Dateiformat::Csv, c, &t, nullptr), FORMAT_AUFBAU) << kaputt;
  }
}

TEST(Programmformate, FehlerNennenProgrammUndFeldUndAendernNichts) {
  const std::string json = TabelleAlsJson(StandardTabelle());
  Programmtabelle t = Ungewoehnlich();
  const std::string vorher = TabelleAlsZpk(t);
  Formatfehler f{};

  std::string j = json;
  j.replace(j.find("\"strom2\": 0.5", j.find("\"slot\": 7")), 13, "\"strom2\": true");
  EXPECT_EQ(TabelleLesen(Dateiformat::Json, j, &t, &f), FORMAT_WERT);
  EXPECT_EQ(f.slot, 7);
  EXPECT_EQ(f.text, "true");

  j = json;
  j.erase(j.find("\"zeit2\": 1000,", j.find("\"slot\": 4")), 14);
  EXPECT_EQ(TabelleLesen(Dateiformat::Json, j, &t, &f), FORMAT_AUFBAU);
  EXPECT_EQ(f.slot, 4);
  EXPECT_EQ(f.art, Fehlerart::FeldFehlt);
  EXPECT_STREQ(PROGRAMMFELDER[f.feld].name, "zeit2");

  j = json;
  j.replace(j.find("\"strom1\""), 8, "\"storm1\"");
  EXPECT_EQ(TabelleLesen(Dateiformat::Json, j, &t, &f), FORMAT_AUFBAU);
  EXPECT_EQ(f.text, "storm1");

  for (const char* kaputt : {"", "[]", "{\"auswahl\": 0}", "{\"auswahl\": 17, \"programme\": []}", "{\"auswahl\": 0,"}) {
    EXPECT_NE(TabelleLesen(Dateiformat::Json, kaputt, &t, &f), 0) << kaputt;
  }
  j = json;
  j.replace(j.find("\"auswahl\": 0"), 12, "\"auswahl\": 17");
  EXPECT_EQ(TabelleLesen(Dateiformat::Json, j, &t, &f), FORMAT_WERT);

  std::string c = TabelleAlsCsv(StandardTabelle());
  c.replace(c.find("\r\n2,0,"), 6, "\r\n2,1,");  // two selected slots
  EXPECT_EQ(TabelleLesen(Dateiformat::Csv, c, &t, &f), FORMAT_WERT);
  c = TabelleAlsCsv(StandardTabelle());
  c.replace(c.find("\r\n6,0,1,0.1"), 11, "\r\n6,0,1,0,1");  // one field too many
  EXPECT_EQ(TabelleLesen(Dateiformat::Csv, c, &t, &f), FORMAT_AUFBAU);
  c = TabelleAlsCsv(StandardTabelle());
  c.replace(c.find("\r\n6,0,1,0.1"), 11, "\r\n6,0,1,0.1e");
  EXPECT_EQ(TabelleLesen(Dateiformat::Csv, c, &t, &f), FORMAT_WERT);
  EXPECT_EQ(f.slot, 6);
  EXPECT_EQ(f.feld, 1);

  EXPECT_EQ(TabelleAlsZpk(t), vorher);
}

// Where a hand-edited file went wrong: the place of a syntax error, and the
// slots and keys that are missing or stand twice.
TEST(Programmformate, FehlerNennenZeileSpalteUndDoppeltes) {
  Programmtabelle t{};
  Formatfehler f{};
  EXPECT_EQ(TabelleLesen(Dateiformat::Json, "{\n  \"auswahl\": 0,\n  \"programme\": [,]\n}", &t, &f), FORMAT_AUFBAU);
  EXPECT_EQ(f.art, Fehlerart::Syntax);
  EXPECT_EQ(f.zeile, 3);
  EXPECT_EQ(f.spalte, 17);
  EXPECT_EQ(TabelleLesen(Dateiformat::Json, "{\"auswahl\": 1e400}", &t, &f), FORMAT_AUFBAU);  // no double holds it

  const std::string json = TabelleAlsJson(StandardTabelle());
  std::string j = json;
  j.insert(j.find("\"zeit1\"", j.find("\"slot\": 5")), "\"zeit1\": 3, ");
  EXPECT_EQ(TabelleLesen(Dateiformat::Json, j, &t, &f), FORMAT_AUFBAU);
  EXPECT_EQ(f.art, Fehlerart::FeldDoppelt);
  EXPECT_EQ(f.slot, 5);
  EXPECT_EQ(f.text, "zeit1");
  // Named by the slot the object gives, not by its place in the list.
  const std::size_t erstes = j.find("{", j.find("\"programme\""));
  j.erase(erstes, j.find("{", erstes + 1) - erstes);
  EXPECT_EQ(TabelleLesen(Dateiformat::Json, j, &t, &f), FORMAT_AUFBAU);
  EXPECT_EQ(f.art, Fehlerart::FeldDoppelt);
  EXPECT_EQ(f.slot, 5);
  j = json;
  j.replace(j.find("\"slot\": 9"), 9, "\"slot\": 8");
  EXPECT_EQ(TabelleLesen(Dateiformat::Json, j, &t, &f), FORMAT_AUFBAU);
  EXPECT_EQ(f.art, Fehlerart::SlotDoppelt);
  EXPECT_EQ(f.slot, 8);

  // A spreadsheet's "CSV UTF-8": byte-order mark and CRLF.
  const std::string csv = TabelleAlsCsv(StandardTabelle());
  EXPECT_EQ(TabelleLesen(Dateiformat::Csv, "\xEF\xBB\xBF" + csv, &t, &f), 0);
  std::string c = csv;
  c.replace(c.find("\r\n4,0,1,"), 8, "\r\n4,0,\"1,");
  EXPECT_EQ(TabelleLesen(Dateiformat::Csv, c, &t, &f), FORMAT_AUFBAU);
  EXPECT_EQ(f.art, Fehlerart::Syntax);
  EXPECT_EQ(f.zeile, 6);
  EXPECT_EQ(f.spalte, 5);
  c = csv;
  c.replace(c.find("\r\n9,0,"), 6, "\r\n3,0,");
  EXPECT_EQ(TabelleLesen(Dateiformat::Csv, c, &t, &f), FORMAT_AUFBAU);
  EXPECT_EQ(f.art, Fehlerart::SlotDoppelt);
  EXPECT_EQ(f.slot, 3);
  EXPECT_EQ(f.zeile, 11);
  // A slot left out is missing from the table, not a fault of the file.
  c = csv.substr(0, csv.find("\r\n16,0,") + 2);
  EXPECT_EQ(TabelleLesen(Dateiformat::Csv, c, &t, &f), 0);
  EXPECT_FALSE(SlotVorhanden(t, 16));
  EXPECT_TRUE(SlotVorhanden(t, 15));
}

// A spreadsheet set to German exports semicolons, decimal commas, a byte-order
// mark, CRLF and rows of bare separators below the table.
TEST(Programmformate, CsvEinerDeutschenTabellenkalkulation) {
  const Programmtabelle t = Ungewoehnlich();
  std::string c = TabelleAlsCsv(t);
  for (char& z : c) z = z == ',' ? ';' : z == '.' ? ',' : z;
  c = "\xEF\xBB\xBF" + c + ";;;;;;;;;;;\r\n";
  EXPECT_EQ(Zurueck(Dateiformat::Csv, c), TabelleAlsZpk(t));

  // Only the header's semicolon makes the comma decimal.
  std::string komma = TabelleAlsCsv(t);
  komma.replace(komma.find("\r\n11,0,1,-2.5,"), 15, "\r\n11,0,1,-2,5,");
  Programmtabelle gelesen{};
  Formatfehler f{};
  EXPECT_EQ(TabelleLesen(Dateiformat::Csv, komma, &gelesen, &f), FORMAT_AUFBAU);
  EXPECT_EQ(f.art, Fehlerart::Spaltenzahl);
}

// The sentences of two faults count what the file really holds.
TEST(Programmformate, SaetzeNennenKopfbreiteUndPlatzDesSlots) {
  const int sprache = OLQ_FehlerspracheLesen();
  OLQ_Fehlersprache(2);
  Programmtabelle t{};
  Formatfehler f{};
  std::string c = TabelleAlsCsv(StandardTabelle());
  c.replace(c.find("\r\n6,0,1,0.1"), 11, "\r\n6,0,1,0,1");
  ASSERT_NE(TabelleLesen(Dateiformat::Csv, c, &t, &f), 0);
  EXPECT_EQ(FormatfehlerSatz(f, Dateiformat::Csv), "the line has 13 fields, the header 12");

  // Slot 9 left out instead of written as null: the list's 10th entry is slot 10.
  const std::string json = TabelleAlsJson(StandardTabelle());
  std::string j = json;
  const std::size_t neun = j.rfind("{", j.find("\"slot\": 9"));
  j.erase(neun, j.find("{", neun + 1) - neun);
  ASSERT_NE(TabelleLesen(Dateiformat::Json, j, &t, &f), 0);
  EXPECT_EQ(FormatfehlerSatz(f, Dateiformat::Json),
            "entry 10 of \"programme\" holds slot 10, the place of slot 9: slots stand in order from 0, a missing one as null");
  // The slots in reverse order.
  nlohmann::ordered_json doc = nlohmann::ordered_json::parse(json);
  std::reverse(doc["programme"].begin(), doc["programme"].end());
  ASSERT_NE(TabelleLesen(Dateiformat::Json, doc.dump(), &t, &f), 0);
  EXPECT_EQ(f.slot, 16);
  EXPECT_NE(FormatfehlerSatz(f, Dateiformat::Json).find("entry 1 of \"programme\" holds slot 16, the place of slot 0"),
            std::string::npos);
  OLQ_Fehlersprache(sprache);
}

TEST(Programmformate, FormatNachDerEndung) {
  EXPECT_EQ(FormatAusName("a/b.ZPK"), Dateiformat::Zpk);
  EXPECT_EQ(FormatAusName("x.Json"), Dateiformat::Json);
  EXPECT_EQ(FormatAusName("messung.csv"), Dateiformat::Csv);
  EXPECT_EQ(FormatAusName("ordner.json/datei"), Dateiformat::Unbekannt);
  EXPECT_EQ(FormatAusName("zpk"), Dateiformat::Unbekannt);
}

}  // namespace

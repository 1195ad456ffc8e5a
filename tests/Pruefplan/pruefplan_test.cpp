// Test plans: faults of a plan with their place, units and ranges; runs against
// the simulator judged as a production line needs; records that never overwrite.
#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "Programmformate/Programmdateien.h"
#include "Pruefplan/Aufzeichnung.h"
#include "Pruefplan/Pruefplan.h"
#include "Pruefplan/Sha256.h"
#include "olqzpk3x/olqzpk3x.h"
#include "sim_harness.h"
#include "testdateien.h"

namespace {

const char* kKopf = "name = \"t\"\n";

Planfehler Fehler(const std::string& text) {
  Pruefplan p;
  Planfehler f;
  f.code = PlanLesen(text, ".", &p, &f);
  return f;
}

TEST(PlanLesen, JederFehlerMitZeileUndSpalte) {
  OLQ_Fehlersprache(2);
  struct Fall {
    std::string text;
    ErrorCode code;
    int zeile, spalte;
    const char* enthaelt;
  };
  const Fall faelle[] = {
      {"name = \"t\"\n[[step]\ntype = \"start\"\n", PLAN_SYNTAX, 2, 8, ""},
      {std::string(kKopf) + "[[step]]\ntype = \"start\"\ncolour = 3\n", PLAN_UNBEKANNT, 4, 1, "colour"},
      {std::string(kKopf) + "speed = 1\n[[step]]\ntype = \"start\"\n", PLAN_UNBEKANNT, 2, 1, "speed"},
      {std::string(kKopf) + "[[step]]\ntype = \"wait\"\ntime = 5\n", PLAN_WERT, 4, 8, "unit missing"},
      {std::string(kKopf) + "[[step]]\ntype = \"wait\"\ntime = \"5\"\n", PLAN_WERT, 4, 8, "unit missing"},
      {std::string(kKopf) + "[[step]]\ntype = \"wait\"\ntime = \"5 A\"\n", PLAN_WERT, 4, 8, "unit"},
      {std::string(kKopf) + "[[step]]\ntype = \"write\"\nvalues = { strom1 = \"4.5 A\" }\n", PLAN_BEREICH, 4, 21, "0.001"},
      {std::string(kKopf) + "[[step]]\ntype = \"write\"\nvalues = { spannung = \"8 V\" }\n", PLAN_BEREICH, 4, 23, "spannung"},
      {std::string(kKopf) + "[[step]]\ntype = \"write\"\nvalues = { strom3 = \"1 A\" }\n", PLAN_UNBEKANNT, 4, 12, "strom3"},
      {std::string(kKopf) + "[[step]]\ntype = \"load\"\nprogram = 17\n", PLAN_BEREICH, 4, 11, "1 to 16"},
      {std::string(kKopf) + "[[step]]\ntype = \"jump\"\n", PLAN_UNBEKANNT, 3, 8, "jump"},
      {std::string(kKopf) + "[[step]]\ntype = \"measure\"\ninterval = \"1 s\"\nduration = \"1 s\"\nstatus_set = [\"Kaffee\"]\n",
       PLAN_UNBEKANNT, 6, 15, "Kaffee"},
      {std::string(kKopf) + "[[step]]\ntype = \"measure\"\ninterval = \"1 s\"\nduration = \"1 s\"\n[[step.limit]]\nquantity = \"current\"\nmin = \"1 A\"\n",
       PLAN_FEHLT, 6, 1, "\"on\""},
      {std::string(kKopf) + "[[step]]\ntype = \"measure\"\ninterval = \"0 s\"\nduration = \"1 s\"\n", PLAN_BEREICH, 4, 12, "interval"},
      {"[[step]]\ntype = \"start\"\n", PLAN_FEHLT, 0, 0, "name"},
      // Where the TOML library itself once went astray: a header without a key,
      // a letter outside ASCII where white space may stand.
      {std::string(kKopf) + "[ #]\n", PLAN_SYNTAX, 2, 3, "key"},
      {std::string(kKopf) + "gr\xC3\xB6\xC3\x9F" "e = 1\n", PLAN_SYNTAX, 2, 3, ""},
  };
  for (const Fall& f : faelle) {
    const Planfehler e = Fehler(f.text);
    EXPECT_EQ(e.code, f.code) << f.text;
    if (f.zeile > 0) {
      EXPECT_EQ(e.zeile, f.zeile) << f.text << e.text;
      EXPECT_EQ(e.spalte, f.spalte) << f.text << e.text;
    }
    EXPECT_NE(e.text.find(f.enthaelt), std::string::npos) << e.text;
  }
  EXPECT_EQ(PlanfehlerDetail("p.toml", {PLAN_WERT, 4, 8, "x"}, true), "\np.toml, line 4, column 8: x");
}

// A line-ending backslash before a line that begins with an umlaut.
TEST(PlanLesen, UmlautNachZeilenendeImText) {
  Pruefplan p;
  Planfehler f;
  ASSERT_EQ(PlanLesen("name = \"t\"\ndescription = \"\"\"Strom \\\n   \xC3\xBC" "ber 2 A\"\"\"\n[[step]]\ntype = \"stop\"\n", ".",
                      &p, &f),
            0)
      << f.text;
  EXPECT_EQ(p.beschreibung, "Strom \xC3\xBC" "ber 2 A");
}

TEST(PlanLesen, EinheitenGrenzenUndStatusnamenBeiderSprachen) {
  const std::string text = std::string(kKopf) +
                           "on_fail = \"continue\"\n"
                           "[[step]]\ntype = \"write\"\nprogram = 3\n"
                           "values = { strom1 = \"250 mA\", zeit1 = \"1.5 s\", frequenz = \"2 kHz\", stromkurve = 4, endstuferegeln = true }\n"
                           "[[step]]\ntype = \"measure\"\ninterval = \"500 ms\"\nduration = \"2 min\"\nsettle = \"1 s\"\non_fail = \"stop\"\n"
                           "status_set = [\"programm AKTIV\", \"Process has been started\"]\nstatus_clear = [\"Innentemperatur zu hoch\"]\n"
                           "[[step.limit]]\nquantity = \"current\"\non = \"mean\"\nnominal = \"2.0 A\"\ntolerance = \"5 %\"\n"
                           "[[step.limit]]\nquantity = \"voltage\"\non = \"sample\"\nnominal = \"12 V\"\ntolerance = \"500 mV\"\n"
                           "[[step.limit]]\nquantity = \"current\"\non = \"max\"\nmax = \"3 A\"\n";
  Pruefplan p;
  Planfehler f;
  ASSERT_EQ(PlanLesen(text, ".", &p, &f), 0) << f.text;
  ASSERT_EQ(p.schritte.size(), 2u);
  const Schritt& w = p.schritte[0];
  EXPECT_EQ(w.programm, 3);
  EXPECT_TRUE(w.weiterBeiFehler);
  EXPECT_DOUBLE_EQ(w.satz.strom1, 0.25);
  EXPECT_DOUBLE_EQ(w.satz.zeit1, 1500);
  EXPECT_DOUBLE_EQ(w.satz.frequenz, 2000);
  EXPECT_EQ(w.satz.endstuferegeln, 1);
  EXPECT_DOUBLE_EQ(w.satz.spannung, PROGRAMM_STANDARDSATZ.spannung);  // not given: the default
  const Schritt& m = p.schritte[1];
  EXPECT_FALSE(m.weiterBeiFehler);
  EXPECT_DOUBLE_EQ(m.intervall, 0.5);
  EXPECT_DOUBLE_EQ(m.dauer, 120);
  EXPECT_EQ(m.statusGesetzt, 0x300);
  EXPECT_EQ(m.statusFrei, 0x1);
  ASSERT_EQ(m.grenzen.size(), 3u);
  EXPECT_DOUBLE_EQ(m.grenzen[0].unten, 1.9);
  EXPECT_DOUBLE_EQ(m.grenzen[0].oben, 2.1);
  EXPECT_EQ(m.grenzen[0].auf, Bewertung::Mittel);
  EXPECT_DOUBLE_EQ(m.grenzen[1].unten, 11.5);
  EXPECT_TRUE(std::isinf(m.grenzen[2].unten));
  EXPECT_EQ(p.sha256, Sha256Hex(text));
}

TEST(PlanLesen, ProgrammAusDateiWirdGeprueft) {
  testdateien::Arbeitsverzeichnis v;
  testdateien::DateiSchreiben("gut.csv",
                              "slot,auswahl,stromkurve,strom1,strom2,zeit1,zeit2,frequenz,spannung,zyklen,regelgeschwindigkeit,endstuferegeln\r\n"
                              "2,1,8,1.25,0.5,1000,1000,1000,12,5,100,0\r\n");
  testdateien::DateiSchreiben("plan.toml", std::string(kKopf) + "[[step]]\ntype = \"write\"\nfile = \"gut.csv\"\n");
  Pruefplan p;
  Planfehler f;
  ASSERT_EQ(PlanDateiLesen(v.pfad() + "/plan.toml", &p, &f), 0) << f.text;
  EXPECT_DOUBLE_EQ(p.schritte[0].satz.strom1, 1.25);
  testdateien::DateiSchreiben("schlecht.csv",
                              "slot,auswahl,stromkurve,strom1,strom2,zeit1,zeit2,frequenz,spannung,zyklen,regelgeschwindigkeit,endstuferegeln\r\n"
                              "2,1,8,9.5,0.5,1000,1000,1000,12,5,100,0\r\n");
  testdateien::DateiSchreiben("plan2.toml", std::string(kKopf) + "[[step]]\ntype = \"write\"\nfile = \"schlecht.csv\"\n");
  EXPECT_EQ(PlanDateiLesen("plan2.toml", &p, &f), PLAN_BEREICH);
  EXPECT_EQ(f.zeile, 4);
}

TEST(PlanLesen, DieBeispielplaeneSindGueltig) {
  for (const char* name : {"quick-check.toml", "endurance.toml"}) {
    Pruefplan p;
    Planfehler f;
    ASSERT_EQ(PlanDateiLesen(std::string(ZPK3X_PLAENE) + "/" + name, &p, &f), 0) << name << f.zeile << ": " << f.text;
    EXPECT_EQ(PlanFuerLeitungPruefen(p, 9600, &f, true), 0) << name;
  }
}

TEST(PlanLesen, LeitungsgrenzeJeBaudrate) {
  EXPECT_NEAR(KleinsterAbstand(9600), 0.05625, 1e-9);
  EXPECT_NEAR(KleinsterAbstand(1200), 0.45, 1e-9);
  Pruefplan p;
  Planfehler f;
  ASSERT_EQ(PlanLesen(std::string(kKopf) + "[[step]]\ntype = \"measure\"\ninterval = \"200 ms\"\nduration = \"1 s\"\n", ".", &p, &f), 0);
  EXPECT_EQ(PlanFuerLeitungPruefen(p, 9600, &f, true), 0);
  EXPECT_EQ(PlanFuerLeitungPruefen(p, 1200, &f, true), PLAN_BEREICH);
  EXPECT_EQ(f.zeile, 4);
  EXPECT_NE(f.text.find("1200 baud"), std::string::npos);
}

TEST(Sha256, BekannteWerte) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // Two blocks of padding: 56 bytes.
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

// ---- runs against the simulator ----

const char* kMessplan = R"(name = "Messung"
[[step]]
type = "write"
values = { stromkurve = 8, strom1 = "2.0 A", zyklen = 100 }
[[step]]
type = "start"
[[step]]
type = "measure"
name = "2 A"
interval = "100 ms"
duration = "1 s"
settle = "300 ms"
status_set = ["Programm aktiv"]
  [[step.limit]]
  quantity = "current"
  on = "mean"
  nominal = "2.0 A"
  tolerance = "2 %"
  [[step.limit]]
  quantity = "current"
  on = "min"
  min = "1.9 A"
  [[step.limit]]
  quantity = "current"
  on = "max"
  max = "2.1 A"
  [[step.limit]]
  quantity = "current"
  on = "sample"
  min = "1.9 A"
  max = "2.1 A"
[[step]]
type = "stop"
)";

class Lauf : public ::testing::Test {
 protected:
  void SetUp() override {
    OLQ_Fehlersprache(2);
    ASSERT_TRUE(sim_.ok());
    sim_.mapToCom(3);
    ASSERT_EQ(OLQZPK3X_Open(3, 9600), 0);
    Planfehler f;
    ASSERT_EQ(PlanLesen(kMessplan, ".", &plan_, &f), 0) << f.text;
    angaben_.seriennummer = "SN/1";
    angaben_.port = "3";
    angaben_.baudrate = 9600;
  }
  void TearDown() override { OLQZPK3X_Close(3); }

  Protokoll Ausfuehren() {
    Leitungsgeraet g({3, '1'});
    return PlanAusfuehren(plan_, g, angaben_);
  }
  bool StoppGesendet() {
    const auto r = sim_.frames();
    return !r.empty() && r.back() == "#1DF2";
  }

  simtest::Simulator sim_;
  Pruefplan plan_;
  Laufangaben angaben_;
};

TEST_F(Lauf, BestehtUndHaeltKennzahlenUndProben) {
  const Protokoll p = Ausfuehren();
  ASSERT_EQ(p.ausgang, Ausgang::Pass) << p.grund;
  EXPECT_EQ(p.kennung, "OLQ-ZPK3X-SIM");
  const Schrittergebnis& m = p.schritte[2];
  EXPECT_GE(m.proben.size(), 9u);
  EXPECT_LE(m.proben.size(), 11u);
  EXPECT_NEAR(m.strom.mittel, 2.0, 0.02);
  EXPECT_LE(m.strom.min, m.strom.mittel);
  EXPECT_FALSE(p.stoppVersucht);
  EXPECT_TRUE(StoppGesendet());  // the plan's own last step
}

TEST_F(Lauf, JedeGrenzartFaelltMitWertUndGrenze) {
  // Sagging to 1.7 A: mean, minimum and every sample fail; the maximum holds.
  sim_.control("shape sag 0.85");
  Protokoll p = Ausfuehren();
  ASSERT_EQ(p.ausgang, Ausgang::Fail);
  const Schrittergebnis& m = p.schritte[2];
  EXPECT_FALSE(m.grenzen[0].bestanden);
  EXPECT_FALSE(m.grenzen[1].bestanden);
  EXPECT_TRUE(m.grenzen[2].bestanden);
  EXPECT_FALSE(m.grenzen[3].bestanden);
  EXPECT_NE(m.grund.find("mean current 1.7"), std::string::npos) << m.grund;
  EXPECT_NE(m.grund.find("below minimum 1.960 A (limit 2 A \xC2\xB1 2 %)"), std::string::npos) << m.grund;
  EXPECT_NE(m.grund.find("minimum current 1."), std::string::npos) << m.grund;
  EXPECT_NE(m.grund.find("below minimum 1.900 A (limit \xE2\x89\xA5 1.9 A)"), std::string::npos) << m.grund;
  EXPECT_NE(m.grund.find("samples outside"), std::string::npos) << m.grund;
  // The failed measurement ends the run: its stop step is skipped, a stop is sent anyway.
  EXPECT_EQ(p.schritte[3].ausgang, Ausgang::Skipped);
  EXPECT_TRUE(p.stoppVersucht);
  EXPECT_EQ(p.stoppCode, 0);
  EXPECT_TRUE(StoppGesendet());

  // Overshooting for the first samples: the maximum fails, the minimum holds.
  sim_.control("shape none");
  sim_.control("shape overshoot 0.1 600");
  p = Ausfuehren();
  ASSERT_EQ(p.ausgang, Ausgang::Fail);
  EXPECT_TRUE(p.schritte[2].grenzen[1].bestanden);
  EXPECT_FALSE(p.schritte[2].grenzen[2].bestanden);
  EXPECT_NE(p.schritte[2].grund.find("maximum current 2."), std::string::npos) << p.schritte[2].grund;
  EXPECT_NE(p.schritte[2].grund.find("above maximum 2.100 A"), std::string::npos);
}

TEST_F(Lauf, StatusbitFehltOderIstGesetzt) {
  sim_.control("shape raise 1 500");  // "Inside temperature too high" half-way
  plan_.schritte[2].statusFrei = 0x1;
  Protokoll p = Ausfuehren();
  ASSERT_EQ(p.ausgang, Ausgang::Fail);
  EXPECT_NE(p.schritte[2].grund.find("status bit \"Inside temperature too high\" (0x0001) set"), std::string::npos)
      << p.schritte[2].grund;
  sim_.control("shape none");
  plan_.schritte[2].statusFrei = 0;
  plan_.schritte[1].art = Schrittart::FehlerLoeschen;  // never started: "Programm aktiv" missing
  p = Ausfuehren();
  ASSERT_EQ(p.ausgang, Ausgang::Fail);
  EXPECT_NE(p.schritte[2].grund.find("status bit \"Programm aktiv\" (0x0200) missing"), std::string::npos);
}

TEST_F(Lauf, GeraetVerstummtMitten) {
  // Identity 1, write 10 + read back 10, start 1, then a few samples of 3 reads.
  sim_.control("fault after 30 silence");
  const Protokoll p = Ausfuehren();
  EXPECT_EQ(p.ausgang, Ausgang::Error);
  EXPECT_EQ(p.schritte[2].ausgang, Ausgang::Error);
  EXPECT_EQ(p.schritte[2].code, -403101);
  EXPECT_FALSE(p.schritte[2].proben.empty());  // what came before is kept
  EXPECT_EQ(p.schritte[3].ausgang, Ausgang::Skipped);
  // Attempted; the driver holds a command back while the line is not proven in
  // step, and the stop's own no-answer code says so in the record.
  EXPECT_TRUE(p.stoppVersucht);
  EXPECT_EQ(p.stoppCode, -403023);
}

TEST_F(Lauf, OhneKennungIstDerErsteSchrittEinFehler) {
  sim_.control("fault silence IDR");
  const Protokoll p = Ausfuehren();
  EXPECT_EQ(p.ausgang, Ausgang::Error);
  EXPECT_EQ(p.schritte[0].ausgang, Ausgang::Error);
  EXPECT_EQ(p.schritte[0].grund.rfind("-403012 ", 0), 0u) << p.schritte[0].grund;  // code and text first
  EXPECT_NE(ProtokollJunit(p).find("errors=\"1\""), std::string::npos);  // CI sees it as an error, not as skipped
  EXPECT_TRUE(p.stoppVersucht);
}

TEST_F(Lauf, AbbruchEndetSofortMitStopp) {
  int proben = 0;
  angaben_.beiProbe = [&proben](int, const Probe&) { ++proben; };
  angaben_.abbrechen = [&proben] { return proben >= 3; };
  const Protokoll p = Ausfuehren();
  EXPECT_EQ(p.ausgang, Ausgang::Aborted);
  EXPECT_EQ(p.schritte[2].ausgang, Ausgang::Aborted);
  EXPECT_EQ(p.schritte[2].proben.size(), 3u);
  EXPECT_TRUE(p.stoppVersucht);
  EXPECT_TRUE(StoppGesendet());
}

TEST_F(Lauf, AufzeichnungUeberschreibtNieUndSchreibtZahlenMitPunkt) {
  testdateien::Arbeitsverzeichnis v;
  // Under a German LC_NUMERIC, as the window runs: the reasons too keep their point.
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
  sim_.control("shape sag 0.85");
  const Protokoll p = Ausfuehren();
  EXPECT_NE(p.schritte[2].grund.find("below minimum 1.960 A"), std::string::npos) << p.schritte[2].grund;
  std::string a, b;
  int sys = 0;
  ASSERT_EQ(ProtokollAblegen(p, "rec", &a, &sys), 0);
  ASSERT_EQ(ProtokollAblegen(p, "rec", &b, &sys), 0);
  const std::string html = ProtokollHtml(p);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(html, ProtokollHtml(p));
  EXPECT_NE(a, b);
  EXPECT_EQ(a.substr(0, 9), "rec/SN_1_");  // the "/" of the serial number is no folder
  EXPECT_EQ(b, a + "-2");
  for (const char* n : {"record.json", "junit.xml", "samples.csv", "report.html"})
    EXPECT_TRUE(std::filesystem::is_regular_file(a + "/" + n)) << n;
  const std::string csv = testdateien::DateiLesen(a + "/samples.csv");
  EXPECT_NE(csv.find(",1.7"), std::string::npos) << csv.substr(0, 200);
  EXPECT_EQ(csv.find(",1,7"), std::string::npos);
  const auto j = ProtokollJson(p);
  EXPECT_EQ(j["steps"][2]["limits"][0]["passed"], false);
  EXPECT_EQ(j["steps"][2]["samples"].size(), p.schritte[2].proben.size());
  // A file where the folder should be: the record says so, nothing is lost silently.
  testdateien::DateiSchreiben("datei", "x");
  EXPECT_EQ(ProtokollAblegen(p, "datei", &a, &sys), AUFZEICHNUNG_ORDNER);
  // Another user's link in a sticky folder is not followed to make the record.
  std::filesystem::create_directories("klebrig/ziel");
  std::filesystem::permissions("klebrig", std::filesystem::perms(01777));
  std::filesystem::permissions(v.pfad(), std::filesystem::perms::others_exec, std::filesystem::perm_options::add);
  ASSERT_EQ(std::system("setpriv --reuid=nobody --regid=nogroup --clear-groups ln -s ziel klebrig/link"), 0);
  EXPECT_EQ(ProtokollAblegen(p, "klebrig/link", &a, &sys), AUFZEICHNUNG_ORDNER);
  EXPECT_EQ(sys, EACCES);
  EXPECT_TRUE(std::filesystem::is_empty("klebrig/ziel"));
}

}  // namespace

// The recording: the lines byte for byte, and a recording that cannot write.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Verlauf/VerlaufDaten.h"
#include "verlauf_probe.h"

namespace {

// As the status popup names them, line breaks taken off.
constexpr VerlaufStatusName kDeutsch[] = {
    {0x1, "Innentemperatur zu hoch"},  {0x2, "Parameter zerstört"},
    {0x8, "Kalibrierung ungültig"},    {0x10, "Prüfspannung außerhalb der Toleranz"},
    {0x100, "Prozess wurde gestartet"}, {0x200, "Programm aktiv"},
    {0x800, "Prozess wurde abgeschlossen"}, {0x2000, "Prozess wurde abgebrochen"},
};

constexpr std::int64_t kBeispielMs = 1796648601500;  // 2026-12-07 13:03:21.500 UTC


class VerlaufCsv : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    altTz_ = tz ? tz : "";
    hatteTz_ = tz != nullptr;
    // Central European time by rule, so that no time-zone database is needed.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    dir_ = std::filesystem::temp_directory_path() / ("verlauf_csv_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    if (hatteTz_) setenv("TZ", altTz_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
    std::filesystem::remove_all(dir_);
  }
  static std::string Lesen(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream o;
    o << f.rdbuf();
    return o.str();
  }
  std::filesystem::path dir_;

 private:
  std::string altTz_;
  bool hatteTz_ = false;
};

TEST_F(VerlaufCsv, ZeilenWieVorgegeben) {
  VerlaufAufzeichnung a;
  const auto pfad = dir_ / "lauf.csv";
  ASSERT_EQ(VerlaufAufzeichnungStarten(&a, pfad.string().c_str()), 0);
  EXPECT_TRUE(VerlaufAufzeichnungLaeuft(&a));
  ASSERT_EQ(VerlaufAufzeichnungZeile(&a, Probe(kBeispielMs, 0.842, 24.3, 0x300), kDeutsch, 8), 0);
  ASSERT_EQ(VerlaufAufzeichnungZeile(&a, Probe(kBeispielMs + 500, 0.8515, 24.34, 0x0300), kDeutsch, 8), 0);
  ASSERT_EQ(VerlaufAufzeichnungZeile(&a, Probe(kBeispielMs + 1000, 0, 0, 0, -403101), kDeutsch, 8), 0);
  ASSERT_EQ(VerlaufAufzeichnungZeile(&a, Probe(kBeispielMs + 61250, 0, 0, 0x2809), kDeutsch, 8), 0);
  EXPECT_EQ(VerlaufAufzeichnungBeenden(&a), 0);
  EXPECT_FALSE(VerlaufAufzeichnungLaeuft(&a));
  EXPECT_EQ(Lesen(pfad),
            "time,seconds,current_A,voltage_V,status,status_bits,error\n"
            "2026-12-07T14:03:21.500+01:00,0.000,0.842,24.3,0x0300,\"Prozess wurde gestartet|Programm aktiv\",0\n"
            "2026-12-07T14:03:22.000+01:00,0.500,0.852,24.3,0x0300,\"Prozess wurde gestartet|Programm aktiv\",0\n"
            "2026-12-07T14:03:22.500+01:00,1.000,,,,,403101\n"
            "2026-12-07T14:04:22.750+01:00,61.250,0.000,0.0,0x2809,\"Innentemperatur zu hoch|Kalibrierung "
            "ungültig|Prozess wurde abgeschlossen|Prozess wurde abgebrochen\",0\n");
}

TEST_F(VerlaufCsv, SommerzeitNegativerVersatzUndLeereNamen) {
  // Summer time: +02:00; no bit set: an empty quoted field; bits beyond 16 are cut.
  EXPECT_EQ(VerlaufCsvZeile(Probe(1782900000007, -0.0004, 5, 0x10000), 1782900000000, kDeutsch, 8),
            "2026-07-01T12:00:00.007+02:00,0.007,-0.000,5.0,0x0000,\"\",0\n");
  setenv("TZ", "EST5", 1);
  tzset();
  EXPECT_EQ(VerlaufCsvZeile(Probe(kBeispielMs, 1, 2, 0x100), kBeispielMs, kDeutsch, 8),
            "2026-12-07T08:03:21.500-05:00,0.000,1.000,2.0,0x0100,\"Prozess wurde gestartet\",0\n");
  // A name with a quote keeps the field readable.
  const VerlaufStatusName zitat[] = {{0x1, "zu \"heiß\""}};
  EXPECT_EQ(VerlaufCsvZeile(Probe(kBeispielMs, 1, 2, 0x1), kBeispielMs, zitat, 1),
            "2026-12-07T08:03:21.500-05:00,0.000,1.000,2.0,0x0001,\"zu \"\"heiß\"\"\",0\n");
}

TEST_F(VerlaufCsv, FehlschlagendesSchreibenBeendetDieAufzeichnung) {
  VerlaufAufzeichnung a;
  EXPECT_EQ(VerlaufAufzeichnungStarten(&a, (dir_ / "fehlt" / "x.csv").string().c_str()), kVerlaufCsvOeffnen);
  EXPECT_FALSE(VerlaufAufzeichnungLaeuft(&a));
  // A device is no recording: refused when it is opened.
  EXPECT_EQ(VerlaufAufzeichnungStarten(&a, "/dev/full"), kVerlaufCsvOeffnen);
  EXPECT_FALSE(VerlaufAufzeichnungLaeuft(&a));

  // A file that may grow only so far: the header and one line fit, the next does not.
  const auto pfad = dir_ / "voll.csv";
  const std::string zeile = VerlaufCsvZeile(Probe(kBeispielMs, 1, 2, 0x100), kBeispielMs, kDeutsch, 8);
  rlimit alt{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &alt), 0);
  auto* altSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit eng = alt;
  eng.rlim_cur = std::string(kVerlaufCsvKopf).size() + zeile.size() + 10;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &eng), 0);
  ErrorCode e1 = VerlaufAufzeichnungStarten(&a, pfad.string().c_str());
  ErrorCode e2 = VerlaufAufzeichnungZeile(&a, Probe(kBeispielMs, 1, 2, 0x100), kDeutsch, 8);
  ErrorCode e3 = VerlaufAufzeichnungZeile(&a, Probe(kBeispielMs + 500, 1, 2, 0x100), kDeutsch, 8);
  const bool laeuft = VerlaufAufzeichnungLaeuft(&a);
  ErrorCode e4 = VerlaufAufzeichnungZeile(&a, Probe(kBeispielMs + 1000, 1, 2, 0x100), kDeutsch, 8);
  setrlimit(RLIMIT_FSIZE, &alt);
  std::signal(SIGXFSZ, altSignal);
  EXPECT_EQ(e1, 0);
  EXPECT_EQ(e2, 0);
  EXPECT_EQ(e3, kVerlaufCsvSchreiben);
  EXPECT_FALSE(laeuft);
  EXPECT_EQ(e4, 0);  // stopped: nothing more is written, and nothing reported again
  // Cut back to the last complete line, with the system's reason kept for the message.
  EXPECT_EQ(Lesen(pfad), kVerlaufCsvKopf + zeile);
  EXPECT_EQ(a.systemfehler, EFBIG);
}

}  // namespace

// The course of the actual values: bound, order, status marks, thinning for drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Verlauf/VerlaufDaten.h"
#include "verlauf_probe.h"

namespace {


TEST(VerlaufDaten, OrdnetZurueckgestellteUhrEinUndFindetNaechsteProbe) {
  VerlaufSpeicher s;
  VerlaufAnhaengen(&s, Probe(1000, 1, 10));
  VerlaufAnhaengen(&s, Probe(1500, 2, 20));
  VerlaufAnhaengen(&s, Probe(1200, 3, 30));  // clock set back: taken as 1500
  ASSERT_EQ(s.anzahl, 3u);
  EXPECT_EQ(VerlaufProbeNr(&s, 2).zeitMs, 1500);
  VerlaufProbe p;
  ASSERT_TRUE(VerlaufProbeBei(&s, 1240, &p));
  EXPECT_EQ(p.strom, 1);
  ASSERT_TRUE(VerlaufProbeBei(&s, 1260, &p));
  EXPECT_EQ(p.zeitMs, 1500);
  ASSERT_TRUE(VerlaufProbeBei(&s, 99999, &p));
  EXPECT_EQ(p.strom, 3);
  VerlaufLeeren(&s);
  EXPECT_FALSE(VerlaufProbeBei(&s, 1000, &p));
}

TEST(VerlaufDaten, HaeltHoechstensEinenTagUndSoVieleProben) {
  VerlaufSpeicher s;
  // Queries faster than two a second for a good while: the count bound takes the
  // oldest, a minute's worth at a time, and a full day's count always stays.
  const std::size_t mehr = 3 * kVerlaufMaxProben;
  std::size_t wenigste = mehr, meiste = 0;
  for (std::size_t i = 0; i < mehr; ++i) {
    VerlaufAnhaengen(&s, Probe(static_cast<std::int64_t>(i) * 100, i, 0));
    if (i >= kVerlaufMaxProben) {
      wenigste = std::min(wenigste, s.anzahl);
      meiste = std::max(meiste, s.anzahl);
    }
  }
  EXPECT_GT(wenigste, kVerlaufMaxProben);
  EXPECT_EQ(meiste, kVerlaufMaxProben + kVerlaufAbwurf);
  EXPECT_EQ(VerlaufProbeNr(&s, s.anzahl - 1).strom, mehr - 1);
  EXPECT_EQ(VerlaufProbeNr(&s, 0).strom, mehr - s.anzahl);
  EXPECT_EQ(s.ring.size(), kVerlaufMaxProben + kVerlaufAbwurf);  // never grows beyond the bound

  // One query a second: the time bound takes what is older than a day, marks too.
  VerlaufSpeicher t;
  VerlaufAnhaengen(&t, Probe(0, 0, 0, 0));
  VerlaufAnhaengen(&t, Probe(1000, 0, 0, 0x100));
  ASSERT_EQ(t.marken.size(), 1u);
  std::int64_t kuerzeste = kVerlaufMaxDauerMs * 2, laengste = 0;
  for (std::int64_t k = 2; k <= 25 * 3600; ++k) {
    VerlaufAnhaengen(&t, Probe(k * 1000, 0, 0, 0x100));
    const std::int64_t dauer = k * 1000 - VerlaufProbeNr(&t, 0).zeitMs;
    if (k > 24 * 3600) {
      kuerzeste = std::min(kuerzeste, dauer);
      laengste = std::max(laengste, dauer);
    }
  }
  EXPECT_EQ(kuerzeste, kVerlaufMaxDauerMs);
  EXPECT_EQ(laengste, kVerlaufMaxDauerMs + kVerlaufAbwurfMs);
  EXPECT_TRUE(t.marken.empty());
}

TEST(VerlaufDaten, MarkiertKommendeStatusbitsNichtAberDenAnfang) {
  VerlaufSpeicher s;
  VerlaufAnhaengen(&s, Probe(0, 0, 0, 0x800));              // first answer: no change known
  VerlaufAnhaengen(&s, Probe(500, 0, 0, 0x300));            // started (program active is not marked)
  VerlaufAnhaengen(&s, Probe(1000, 0, 0, 0, -403101));      // failed: changes nothing
  VerlaufAnhaengen(&s, Probe(1500, 0, 0, 0x300));           // still running
  VerlaufAnhaengen(&s, Probe(2000, 0, 0, 0x900 | 0x8));     // ended, calibration invalid
  VerlaufAnhaengen(&s, Probe(2500, 0, 0, 0x300 | 0x8));     // started again: the started bit stayed on
  VerlaufAnhaengen(&s, Probe(3000, 0, 0, 0x2100 | 0x8));    // cancelled
  ASSERT_EQ(s.marken.size(), 5u);
  const VerlaufMarke erwartet[] = {{500, 0x100}, {2000, 0x8}, {2000, 0x800}, {2500, 0x100}, {3000, 0x2000}};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(s.marken[i].zeitMs, erwartet[i].zeitMs) << i;
    EXPECT_EQ(s.marken[i].bit, erwartet[i].bit) << i;
  }
  VerlaufLeeren(&s);
  VerlaufAnhaengen(&s, Probe(3000, 0, 0, 0x100));
  EXPECT_TRUE(s.marken.empty());
}

TEST(VerlaufDaten, AuszugBehaeltHuelleZeitfolgeUndLuecken) {
  VerlaufSpeicher s;
  // 10 000 samples of a fast sine, one failed query in the middle.
  for (int i = 0; i < 10000; ++i) {
    const bool fehl = i == 5000;
    VerlaufAnhaengen(&s, Probe(i * 500LL, std::sin(i * 0.37), 20 + std::cos(i * 0.11), 0, fehl ? -403101 : 0));
  }
  VerlaufAuszug a;
  const std::int64_t von = 1000 * 500LL, bis = 9000 * 500LL;
  VerlaufAuszugBilden(&s, von, bis, 100, &a);
  ASSERT_EQ(a.t.size(), a.strom.size());
  ASSERT_EQ(a.t.size(), a.spannung.size());
  EXPECT_LE(a.t.size(), 4u * 101 + 3);  // at most the four extremes a column, a break, two neighbours
  EXPECT_EQ(a.t.front(), 999 * 500.0);  // the neighbour left of the range
  EXPECT_EQ(a.t.back(), 9001 * 500.0);  // and right of it
  int brueche = 0;
  double minI = 1e9, maxI = -1e9;
  for (std::size_t k = 0; k < a.t.size(); ++k) {
    if (k > 0) {
      EXPECT_LE(a.t[k - 1], a.t[k]);
    }
    if (std::isnan(a.strom[k])) {
      ++brueche;
      EXPECT_EQ(a.t[k], 5000 * 500.0);
      EXPECT_TRUE(std::isnan(a.spannung[k]));
      continue;
    }
    minI = std::min(minI, a.strom[k]);
    maxI = std::max(maxI, a.strom[k]);
  }
  EXPECT_EQ(brueche, 1);
  // The thinned line still reaches the true extremes of what is shown.
  double wahrMin = 1e9, wahrMax = -1e9;
  for (int i = 999; i <= 9001; ++i) {
    if (i == 5000) continue;
    wahrMin = std::min(wahrMin, std::sin(i * 0.37));
    wahrMax = std::max(wahrMax, std::sin(i * 0.37));
  }
  EXPECT_EQ(minI, wahrMin);
  EXPECT_EQ(maxI, wahrMax);
}

TEST(VerlaufDaten, AuszugMitWenigenProbenZeigtJedeUndLeerenBereich) {
  VerlaufSpeicher s;
  VerlaufAuszug a;
  VerlaufAuszugBilden(&s, 0, 1000, 800, &a);
  EXPECT_TRUE(a.t.empty());
  for (int i = 0; i < 20; ++i) VerlaufAnhaengen(&s, Probe(i * 500LL, i, i));
  VerlaufAuszugBilden(&s, 2000, 6000, 800, &a);  // samples 4..12 and the neighbours 3 and 13
  ASSERT_EQ(a.t.size(), 11u);
  for (std::size_t k = 0; k < a.t.size(); ++k) EXPECT_EQ(a.strom[k], 3.0 + k);
  VerlaufAuszugBilden(&s, 6000, 2000, 800, &a);  // an empty range draws nothing
  EXPECT_TRUE(a.t.empty());
}

}  // namespace

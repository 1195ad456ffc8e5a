// The bounded course of the actual values and its thinned extract for drawing.
#include "Verlauf/VerlaufDaten.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

std::size_t RingIndex(const VerlaufSpeicher* s, std::size_t i) {
  const std::size_t k = s->anfang + i;
  return k < s->ring.size() ? k : k - s->ring.size();
}

void AeltesteEntfernen(VerlaufSpeicher* s) {
  s->anfang = s->anfang + 1 == s->ring.size() ? 0 : s->anfang + 1;
  --s->anzahl;
}

// Marks older than the oldest sample have nothing left to point at.
void MarkenKuerzen(VerlaufSpeicher* s) {
  if (s->anzahl == 0) {
    s->marken.clear();
    return;
  }
  const std::int64_t aeltest = VerlaufProbeNr(s, 0).zeitMs;
  auto bis = std::find_if(s->marken.begin(), s->marken.end(),
                          [aeltest](const VerlaufMarke& m) { return m.zeitMs >= aeltest; });
  s->marken.erase(s->marken.begin(), bis);
}

}  // namespace

void VerlaufAnhaengen(VerlaufSpeicher* s, const VerlaufProbe& neu) {
  if (s->ring.empty()) s->ring.resize(kVerlaufMaxProben + kVerlaufAbwurf);
  VerlaufProbe p = neu;
  if (s->anzahl > 0) p.zeitMs = std::max(p.zeitMs, VerlaufProbeNr(s, s->anzahl - 1).zeitMs);

  bool gekuerzt = false;
  if (s->anzahl == s->ring.size()) {
    for (std::size_t i = 0; i < kVerlaufAbwurf; ++i) AeltesteEntfernen(s);
    gekuerzt = true;
  }
  s->ring[RingIndex(s, s->anzahl)] = p;
  ++s->anzahl;
  if (p.zeitMs - VerlaufProbeNr(s, 0).zeitMs > kVerlaufMaxDauerMs + kVerlaufAbwurfMs) {
    while (s->anzahl > 1 && p.zeitMs - VerlaufProbeNr(s, 0).zeitMs > kVerlaufMaxDauerMs) AeltesteEntfernen(s);
    gekuerzt = true;
  }
  if (gekuerzt) MarkenKuerzen(s);

  if (p.fehler != 0) return;
  // A change needs a known state before it: the first answer marks nothing.
  if (s->hatStatus) {
    int gekommen = p.status & ~s->letzterStatus & kVerlaufMarkenBits;
    // A new start may leave the started bit set from the run before: then the
    // program-active bit coming on is what shows the start.
    if ((p.status & ~s->letzterStatus & 0x200) && (p.status & 0x100)) gekommen |= 0x100;
    for (int bit = 1; bit <= 0x2000; bit <<= 1)
      if (gekommen & bit) s->marken.push_back({p.zeitMs, bit});
  }
  s->hatStatus = true;
  s->letzterStatus = p.status;
}

void VerlaufLeeren(VerlaufSpeicher* s) {
  s->anfang = 0;
  s->anzahl = 0;
  s->marken.clear();
  s->hatStatus = false;
  s->letzterStatus = 0;
}

const VerlaufProbe& VerlaufProbeNr(const VerlaufSpeicher* s, std::size_t i) { return s->ring[RingIndex(s, i)]; }

std::size_t VerlaufSuchen(const VerlaufSpeicher* s, std::int64_t zeitMs) {
  std::size_t lo = 0, hi = s->anzahl;
  while (lo < hi) {
    const std::size_t mitte = lo + (hi - lo) / 2;
    if (VerlaufProbeNr(s, mitte).zeitMs < zeitMs) lo = mitte + 1;
    else hi = mitte;
  }
  return lo;
}

bool VerlaufProbeBei(const VerlaufSpeicher* s, std::int64_t zeitMs, VerlaufProbe* p) {
  if (s->anzahl == 0) return false;
  std::size_t i = VerlaufSuchen(s, zeitMs);
  if (i == s->anzahl) i = s->anzahl - 1;
  else if (i > 0 && zeitMs - VerlaufProbeNr(s, i - 1).zeitMs <= VerlaufProbeNr(s, i).zeitMs - zeitMs) --i;
  *p = VerlaufProbeNr(s, i);
  return true;
}

namespace {

// Emits samples and breaks. The two curves share one time list, so each point
// carries both values.
struct Ausgabe {
  VerlaufAuszug* a;
  const VerlaufSpeicher* s;
  bool luecke = false;  // the last thing emitted is a break

  void Punkt(std::size_t i) {
    const VerlaufProbe& p = VerlaufProbeNr(s, i);
    a->t.push_back(static_cast<double>(p.zeitMs));
    a->strom.push_back(p.strom);
    a->spannung.push_back(p.spannung);
    luecke = false;
  }
  void Bruch(std::int64_t t) {
    if (luecke || a->t.empty()) return;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    a->t.push_back(static_cast<double>(t));
    a->strom.push_back(nan);
    a->spannung.push_back(nan);
    luecke = true;
  }
};

}  // namespace

void VerlaufAuszugBilden(const VerlaufSpeicher* s, std::int64_t vonMs, std::int64_t bisMs, int pixel,
                         VerlaufAuszug* a) {
  a->t.clear();
  a->strom.clear();
  a->spannung.clear();
  if (s->anzahl == 0 || bisMs <= vonMs) return;
  pixel = std::max(pixel, 1);
  // One sample on either side, so that the lines run to the edges.
  std::size_t erst = VerlaufSuchen(s, vonMs);
  if (erst > 0) --erst;
  std::size_t ende = VerlaufSuchen(s, bisMs + 1);
  if (ende < s->anzahl) ++ende;
  const double spalteMs = static_cast<double>(bisMs - vonMs) / pixel;

  Ausgabe aus{a, s};
  // The run: successful samples in one column; its extremes as values and indices.
  bool lauf = false;
  double grenze = 0;  // where the run's column ends
  struct Extrem {
    double wert;
    std::size_t i;
  } minI{}, maxI{}, minU{}, maxU{};
  auto abschliessen = [&] {
    if (!lauf) return;
    lauf = false;
    // At most the four extremes, in time order: the envelope a column shows.
    std::size_t k[4] = {minI.i, maxI.i, minU.i, maxU.i};
    std::sort(k, k + 4);
    const std::size_t* e = std::unique(k, k + 4);
    for (const std::size_t* i = k; i != e; ++i) aus.Punkt(*i);
  };
  // Walks the ring as it lies in memory: one index, wrapped once.
  std::size_t r = RingIndex(s, erst);
  for (std::size_t i = erst; i < ende; ++i, r = r + 1 == s->ring.size() ? 0 : r + 1) {
    const VerlaufProbe& p = s->ring[r];
    if (p.fehler != 0) {
      abschliessen();
      aus.Bruch(p.zeitMs);
      continue;
    }
    const double t = static_cast<double>(p.zeitMs);
    if (lauf && t >= grenze) abschliessen();
    if (!lauf) {
      lauf = true;
      grenze = vonMs + (std::floor((t - vonMs) / spalteMs) + 1) * spalteMs;
      minI = maxI = {p.strom, i};
      minU = maxU = {p.spannung, i};
      continue;
    }
    if (p.strom < minI.wert) minI = {p.strom, i};
    if (p.strom > maxI.wert) maxI = {p.strom, i};
    if (p.spannung < minU.wert) minU = {p.spannung, i};
    if (p.spannung > maxU.wert) maxU = {p.spannung, i};
  }
  abschliessen();
}

#include "DateiFunktionen/Programmdatei.h"

#include <bit>
#include <cstring>

namespace {

constexpr char kMagic[] = "OLQZPK3X Programme";  // with its zero byte: 19 bytes compared
constexpr std::size_t kMagicLaenge = sizeof(kMagic);
constexpr std::size_t kVersionOffset = 32;
constexpr std::size_t kSlotsOffset = 40;
constexpr std::size_t kSlotGroesse = 80;
constexpr std::size_t kIndexOffset = 1400;

void U32Schreiben(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void U64Schreiben(unsigned char* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t U32Lesen(const unsigned char* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

std::uint64_t U64Lesen(const unsigned char* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void IntSchreiben(unsigned char* p, std::int32_t v) { U32Schreiben(p, static_cast<std::uint32_t>(v)); }
void RealSchreiben(unsigned char* p, double v) { U64Schreiben(p, std::bit_cast<std::uint64_t>(v)); }
std::int32_t IntLesen(const unsigned char* p) { return static_cast<std::int32_t>(U32Lesen(p)); }
double RealLesen(const unsigned char* p) { return std::bit_cast<double>(U64Lesen(p)); }

void SlotSchreiben(unsigned char* p, const ProgramRecord& r) {
  IntSchreiben(p + 0, r.stromkurve);
  RealSchreiben(p + 8, r.strom1);
  RealSchreiben(p + 16, r.strom2);
  RealSchreiben(p + 24, r.zeit1);
  RealSchreiben(p + 32, r.zeit2);
  RealSchreiben(p + 40, r.frequenz);
  RealSchreiben(p + 48, r.spannung);
  RealSchreiben(p + 56, r.zyklen);
  RealSchreiben(p + 64, r.regelgeschwindigkeit);
  IntSchreiben(p + 72, r.endstuferegeln);
}

ProgramRecord SlotLesen(const unsigned char* p) {
  ProgramRecord r{};
  r.stromkurve = IntLesen(p + 0);
  r.strom1 = RealLesen(p + 8);
  r.strom2 = RealLesen(p + 16);
  r.zeit1 = RealLesen(p + 24);
  r.zeit2 = RealLesen(p + 32);
  r.frequenz = RealLesen(p + 40);
  r.spannung = RealLesen(p + 48);
  r.zyklen = RealLesen(p + 56);
  r.regelgeschwindigkeit = RealLesen(p + 64);
  r.endstuferegeln = IntLesen(p + 72);
  return r;
}

}  // namespace

void ProgrammdateiBauen(const ProgramRecord* table, int index, unsigned char* image) {
  std::memset(image, 0, PROGRAMMDATEI_GROESSE);  // reserved bytes are zero
  std::memcpy(image, kMagic, kMagicLaenge);
  IntSchreiben(image + kVersionOffset, PROGRAMMDATEI_VERSION);
  for (int slot = 0; slot < PROGRAMM_SLOTS; ++slot)
    SlotSchreiben(image + kSlotsOffset + slot * kSlotGroesse, table[slot]);
  IntSchreiben(image + kIndexOffset, index);
}

ErrorCode ProgrammdateiLesen(const unsigned char* data, std::size_t length, ProgramRecord* table, int* index,
                             std::int32_t* version) {
  if (length < PROGRAMMDATEI_GROESSE) return PROGRAMMDATEI_ZU_KURZ;
  if (std::memcmp(data, kMagic, kMagicLaenge) != 0) return PROGRAMMDATEI_FALSCHER_TYP;
  const std::int32_t gefunden = IntLesen(data + kVersionOffset);
  *version = gefunden;
  if (gefunden != PROGRAMMDATEI_VERSION) return PROGRAMMDATEI_FALSCHE_VERSION;

  for (int slot = 0; slot < PROGRAMM_SLOTS; ++slot)
    table[slot] = SlotLesen(data + kSlotsOffset + slot * kSlotGroesse);
  // A damaged or foreign file must never pick a slot outside the table.
  const std::int32_t auswahl = IntLesen(data + kIndexOffset);
  *index = (auswahl >= 0 && auswahl < PROGRAMM_SLOTS) ? auswahl : 0;
  return 0;
}

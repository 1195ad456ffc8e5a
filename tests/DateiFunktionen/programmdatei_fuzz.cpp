// Any byte sequence must decode to a defined result; a decoded table must encode
// back to the same bytes outside the reserved ones.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "DateiFunktionen/Programmdatei.h"

namespace {

void Pruefen(const unsigned char* data, std::size_t size, bool mussGelingen) {
  ProgramRecord tabelle[PROGRAMM_SLOTS];
  int index = -99;
  std::int32_t version = 0;
  const ErrorCode fehler = ProgrammdateiLesen(data, size, tabelle, &index, &version);
  if (fehler != 0) {
    if (mussGelingen) __builtin_trap();
    if (fehler != PROGRAMMDATEI_ZU_KURZ && fehler != PROGRAMMDATEI_FALSCHER_TYP &&
        fehler != PROGRAMMDATEI_FALSCHE_VERSION)
      __builtin_trap();
    return;
  }
  if (index < 0 || index >= PROGRAMM_SLOTS) __builtin_trap();

  unsigned char image[PROGRAMMDATEI_GROESSE];
  ProgrammdateiBauen(tabelle, index, image);
  if (std::memcmp(image, data, 19) != 0 || std::memcmp(image + 32, data + 32, 4) != 0) __builtin_trap();
  for (int s = 0; s < PROGRAMM_SLOTS; ++s) {
    const std::size_t o = 40 + 80 * static_cast<std::size_t>(s);
    if (std::memcmp(image + o, data + o, 4) != 0 || std::memcmp(image + o + 8, data + o + 8, 68) != 0)
      __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Pruefen(data, size, false);

  // The same bytes behind a valid header, so the slots and the selection are
  // reached without a seed file.
  std::vector<unsigned char> datei(size + 19 > PROGRAMMDATEI_GROESSE ? size + 19 : PROGRAMMDATEI_GROESSE, 0);
  std::memcpy(datei.data(), "OLQZPK3X Programme", 19);
  if (size > 0) std::memcpy(datei.data() + 19, data, size);
  const unsigned char eins[4] = {1, 0, 0, 0};
  std::memcpy(datei.data() + 32, eins, 4);
  Pruefen(datei.data(), datei.size(), true);
  return 0;
}

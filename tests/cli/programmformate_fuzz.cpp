// Any bytes as a JSON or CSV program table (the first byte picks which): a defined
// result, and a table that was accepted reads back the same from both formats.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Programmformate/Programmformate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Dateiformat format = (data[0] & 1) != 0 ? Dateiformat::Csv : Dateiformat::Json;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  Programmtabelle t{};
  Formatfehler f{};
  const ErrorCode code = TabelleLesen(format, text, &t, &f);
  if (code != 0) {
    if (code != FORMAT_AUFBAU && code != FORMAT_WERT) __builtin_trap();
    if (f.slot < -1 || f.slot >= PROGRAMM_SLOTS || f.feld < -1 || f.feld >= 10) __builtin_trap();
    return 0;
  }
  if (t.auswahl < 0 || t.auswahl >= PROGRAMM_SLOTS) __builtin_trap();
  const std::string zpk = TabelleAlsZpk(t);
  for (const Dateiformat zurueck : {Dateiformat::Json, Dateiformat::Csv}) {
    Programmtabelle u{};
    const std::string wieder = zurueck == Dateiformat::Json ? TabelleAlsJson(t) : TabelleAlsCsv(t);
    if (TabelleLesen(zurueck, wieder, &u, nullptr) != 0 || TabelleAlsZpk(u) != zpk) __builtin_trap();
  }
  return 0;
}

// File access by name on POSIX systems: names are bytes, passed as they are.
#include <unistd.h>

#include "common/Dateiidentitaet.h"
#include "common/Dateizugriff.h"

std::FILE* DateiZumLesenOeffnen(const std::string& pfad) { return std::fopen(pfad.c_str(), "rb"); }

std::FILE* DateiNeuAnlegen(const std::string& pfad) {
  // The chain of links is held against the sticky-folder rule here, since the
  // kernel may be set not to; then the kernel follows it as it always did, so
  // that names such as /dev/stdout keep working.
  std::string ziel;
  if (!LinkzielBestimmen(pfad, &ziel)) return nullptr;
  return std::fopen(pfad.c_str(), "wb");
}

bool DateiKuerzen(std::FILE* datei, std::int64_t laenge) {
  return ::ftruncate(::fileno(datei), static_cast<off_t>(laenge)) == 0 &&
         ::fseeko(datei, static_cast<off_t>(laenge), SEEK_SET) == 0;
}

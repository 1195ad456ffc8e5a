// File access by name on POSIX systems: names are bytes, passed as they are.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/Dateiidentitaet.h"
#include "common/Dateizugriff.h"

std::FILE* DateiZumLesenOeffnen(const std::string& pfad) { return std::fopen(pfad.c_str(), "rb"); }

std::FILE* DateiNeuAnlegen(const std::string& pfad) {
  std::string ziel;
  if (!LinkzielBestimmen(pfad, &ziel)) return nullptr;
  // The end of the chain was checked; a link swapped in since then is not followed.
  const int fd = ::open(ziel.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return nullptr;
  std::FILE* datei = ::fdopen(fd, "wb");
  if (datei == nullptr) {
    const int fehler = errno;
    ::close(fd);
    errno = fehler;
  }
  return datei;
}

bool DateiKuerzen(std::FILE* datei, std::int64_t laenge) {
  return ::ftruncate(::fileno(datei), static_cast<off_t>(laenge)) == 0 &&
         ::fseeko(datei, static_cast<off_t>(laenge), SEEK_SET) == 0;
}

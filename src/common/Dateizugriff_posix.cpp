// File access by name on POSIX systems: names are bytes, passed as they are.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/Dateiidentitaet.h"
#include "common/Dateizugriff.h"

std::FILE* DateiZumLesenOeffnen(const std::string& pfad) { return std::fopen(pfad.c_str(), "rb"); }

std::FILE* DateiNeuAnlegen(const std::string& pfad) {
  // The chain of links is held against the sticky-folder rule here, since the
  // kernel may be set not to; then the kernel follows it as it always did, so
  // that names such as /dev/stdout keep working.
  std::string ziel;
  if (!LinkzielBestimmen(pfad, &ziel)) return nullptr;
  // Only a regular file is an output: a fifo planted at the name would block the
  // open until someone reads, a device or socket would take the data away.
  // O_NONBLOCK makes the open itself return at once; the file is emptied only
  // once it is known to be one.
  const int fd = ::open(pfad.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int fehler = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = fehler;
    return nullptr;
  }
  std::FILE* datei = nullptr;
  const int flags = ::fcntl(fd, F_GETFL);
  if (::ftruncate(fd, 0) != 0 || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
      (datei = ::fdopen(fd, "wb")) == nullptr) {
    const int fehler = errno;
    ::close(fd);
    errno = fehler;
    return nullptr;
  }
  return datei;
}

bool DateiKuerzen(std::FILE* datei, std::int64_t laenge) {
  return ::ftruncate(::fileno(datei), static_cast<off_t>(laenge)) == 0 &&
         ::fseeko(datei, static_cast<off_t>(laenge), SEEK_SET) == 0;
}

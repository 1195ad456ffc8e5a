// Replacing a file on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/Dateiersetzen.h"
#include "common/Dateiersetzen_intern.h"
#include "common/Dateiidentitaet.h"

namespace {

std::string Verzeichnisteil(const std::string& pfad) {
  const std::string::size_type pos = pfad.rfind('/');
  if (pos == std::string::npos) return ".";
  if (pos == 0) return "/";
  return pfad.substr(0, pos);
}

bool AllesSchreiben(int fd, const unsigned char* daten, std::size_t laenge) {
  bool halbFehl = false;
  const std::size_t erlaubt = ErsetzenSeam_Erlaubt(laenge, &halbFehl);
  if (ErsetzenSeam_SchlaegtFehl(ErsetzenSchritt::Schreiben)) {
    errno = EIO;
    return false;
  }
  std::size_t geschrieben = 0;
  while (geschrieben < erlaubt) {
    const ssize_t n = ::write(fd, daten + geschrieben, erlaubt - geschrieben);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    geschrieben += static_cast<std::size_t>(n);
  }
  // The seam's half write stands for a disk that filled up.
  if (halbFehl) errno = ENOSPC;
  return !halbFehl;
}

// Seam failures report EIO, as a failing disk would.
bool SeamFehler(ErsetzenSchritt schritt) {
  if (!ErsetzenSeam_SchlaegtFehl(schritt)) return false;
  errno = EIO;
  return true;
}

// On failure *fehler takes the first step's errno.
bool SchreibenSyncSchliessen(int fd, const unsigned char* daten, std::size_t laenge, int* fehler) {
  bool gut = AllesSchreiben(fd, daten, laenge);
  if (gut && (SeamFehler(ErsetzenSchritt::Sync) || ::fsync(fd) != 0)) gut = false;
  if (!gut) *fehler = errno;
  const bool geschlossen = ::close(fd) == 0 && !SeamFehler(ErsetzenSchritt::Schliessen);
  if (gut && !geschlossen) *fehler = errno;
  return gut && geschlossen;
}

// Open, truncate, write, flush: the file stays the same file (owner, links) where
// replacing it would have made it another one. A failure half-way leaves the
// partly written file, as any writing in place must.
Ersetzt AnOrtSchreiben(const std::string& pfad, const unsigned char* daten, std::size_t laenge, int* fehler) {
  // Non-blocking, and only a regular file: a fifo put in its place must not hang the caller.
  const int fd = SeamFehler(ErsetzenSchritt::Anlegen)
                     ? -1
                     : ::open(pfad.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) {
    *fehler = errno;
    return Ersetzt::NichtMoeglich;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(fd, 0) != 0) {
    *fehler = S_ISREG(st.st_mode) ? errno : EINVAL;
    ::close(fd);
    return Ersetzt::NichtMoeglich;
  }
  return SchreibenSyncSchliessen(fd, daten, laenge, fehler) ? Ersetzt::Ja : Ersetzt::Schreibfehler;
}

}  // namespace

Ersetzt DateiErsetzen(const std::string& ziel, const void* inhalt, std::size_t laenge, Ersetzungsart art,
                      int* systemfehler) {
  int ablage = 0;
  int* fehler = systemfehler != nullptr ? systemfehler : &ablage;
  *fehler = 0;
  if (ziel.empty()) {
    *fehler = ENOENT;
    return Ersetzt::NichtMoeglich;
  }
  const auto* daten = static_cast<const unsigned char*>(inhalt);
  const bool anOrtErlaubt = art == Ersetzungsart::IdentitaetZuerst;

  // Through a link to the file it names (or creates), so the link itself stays.
  std::string pfad;
  if (!LinkzielBestimmen(ziel, &pfad)) {
    *fehler = errno;
    return Ersetzt::NichtMoeglich;
  }

  std::string verzeichnis = Verzeichnisteil(pfad);
  if (verzeichnis.back() != '/') verzeichnis += '/';

  struct stat alt {};
  const bool vorhanden = ::stat(pfad.c_str(), &alt) == 0;
  if (vorhanden) {
    // Only a regular file that may be written is replaced, as writing through it
    // would have required: never a directory, device or fifo.
    if (!S_ISREG(alt.st_mode)) {
      *fehler = S_ISDIR(alt.st_mode) ? EISDIR : EINVAL;
      return Ersetzt::NichtMoeglich;
    }
    if (::access(pfad.c_str(), W_OK) != 0) {
      *fehler = errno;
      return Ersetzt::NichtMoeglich;
    }
    if (anOrtErlaubt && (alt.st_nlink > 1 || ::access(verzeichnis.c_str(), W_OK | X_OK) != 0))
      return AnOrtSchreiben(pfad, daten, laenge, fehler);
  }

  std::string temp = verzeichnis + ".zpk3x-speichern-XXXXXX";
  // mkstemp opens with O_CREAT|O_EXCL: never through an existing file or link.
  const int fd = SeamFehler(ErsetzenSchritt::Anlegen) ? -1 : ::mkstemp(temp.data());
  if (fd < 0) {
    *fehler = errno;
    return Ersetzt::NichtMoeglich;
  }
  if (vorhanden) {
    // Without the right to give the file away, the mode is still kept.
    if (!IdentitaetUebernehmen(fd, alt) && anOrtErlaubt) {
      ::close(fd);
      ::unlink(temp.c_str());
      return AnOrtSchreiben(pfad, daten, laenge, fehler);
    }
  } else {
    const mode_t maske = ::umask(0);
    ::umask(maske);
    ::fchmod(fd, 0666 & ~maske);
  }

  bool gut = SchreibenSyncSchliessen(fd, daten, laenge, fehler);
  if (gut && (SeamFehler(ErsetzenSchritt::Umbenennen) || ::rename(temp.c_str(), pfad.c_str()) != 0)) {
    *fehler = errno;
    gut = false;
  }
  if (!gut) {
    ::unlink(temp.c_str());
    return Ersetzt::Schreibfehler;
  }

  // Make the rename itself durable; the file is complete either way.
  const int dfd = ::open(verzeichnis.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return Ersetzt::Ja;
}

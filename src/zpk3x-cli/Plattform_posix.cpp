// The command line's operating-system services on POSIX.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "zpk3x-cli/Plattform.h"

namespace {

volatile sig_atomic_t gAbbruch = 0;

void AbbruchMerken(int) { gAbbruch = 1; }

bool AllesSchreiben(int fd, const std::string& inhalt) {
  std::size_t fertig = 0;
  while (fertig < inhalt.size()) {
    const ssize_t n = ::write(fd, inhalt.data() + fertig, inhalt.size() - fertig);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    fertig += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

void AusgabeEinrichten() {}

bool IstTerminal(int stream) { return ::isatty(stream == 1 ? STDOUT_FILENO : STDERR_FILENO) == 1; }

void AbbruchAbfangen() {
  struct sigaction sa {};
  sa.sa_handler = AbbruchMerken;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

bool AbbruchVerlangt() { return gAbbruch != 0; }

bool DateiErsetzen(const std::string& ziel, const std::string& inhalt) {
  if (ziel.empty()) return false;
  // Through a link, the file it names is replaced and the link stays.
  std::string pfad = ziel;
  if (char* echt = ::realpath(ziel.c_str(), nullptr)) {
    pfad = echt;
    std::free(echt);
  }
  struct stat st {};
  mode_t modus = 0;
  if (::stat(pfad.c_str(), &st) == 0) {
    // Never a directory, device or fifo in place of a file.
    if (!S_ISREG(st.st_mode)) return false;
    modus = st.st_mode & 07777;
  } else {
    const mode_t maske = ::umask(0);
    ::umask(maske);
    modus = 0666 & ~maske;
  }
  const std::string::size_type schnitt = pfad.rfind('/');
  const std::string verzeichnis = schnitt == std::string::npos ? "." : (schnitt == 0 ? "/" : pfad.substr(0, schnitt));
  std::string temp = verzeichnis + "/.zpk3x-cli-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool gut = ::fchmod(fd, modus) == 0 && AllesSchreiben(fd, inhalt) && ::fsync(fd) == 0;
  gut = (::close(fd) == 0) && gut;
  if (!gut || ::rename(temp.c_str(), pfad.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  const int dfd = ::open(verzeichnis.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

std::tm UtcZeit(std::time_t zeit) {
  std::tm t{};
  ::gmtime_r(&zeit, &t);
  return t;
}

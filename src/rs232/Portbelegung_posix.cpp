// Who holds a device open, found as fuser(1) does: through every process's open
// descriptors in /proc. Processes this user may not look into are skipped.
#include "rs232/Portbelegung.h"
#include "rs232/rs232.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace {

// Unix 98 pseudo-terminal slaves: majors 136 to 143.
bool IstPtsSlave(dev_t geraet) { return major(geraet) >= 136 && major(geraet) <= 143; }

// The index of the pseudo-terminal whose master descriptor `fd` of process `pid` is,
// -1 when it is no master, -2 when it is one whose index cannot be read.
long MasterIndex(const std::string& pid, const std::string& fd) {
  char ziel[64];
  const ssize_t n = ::readlink(("/proc/" + pid + "/fd/" + fd).c_str(), ziel, sizeof ziel - 1);
  if (n <= 0) return -1;
  ziel[n] = '\0';
  const std::string z = ziel;
  if (z != "/dev/ptmx" && z != "/dev/pts/ptmx") return -1;
  std::ifstream info("/proc/" + pid + "/fdinfo/" + fd);
  if (!info) return -2;
  std::string zeile;
  while (std::getline(info, zeile)) {
    if (zeile.rfind("tty-index:", 0) == 0) return std::strtol(zeile.c_str() + 10, nullptr, 10);
  }
  return -1;
}

std::string ProzessName(const std::string& pid) {
  std::ifstream comm("/proc/" + pid + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// An entry as getdents64 returns it (the kernel's linux_dirent64).
struct Eintrag64 {
  std::uint64_t d_ino;
  std::int64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[1];
};

constexpr std::size_t kPuffer = 8192;

// The numeric entries of an open folder, read straight with getdents64: no
// allocation per process, as this runs before the first frame of every command.
// A short answer is not the end: a pending signal cuts a listing short.
template <typename Jeder>
void Eintraege(int ordner, Jeder&& jeder) {
  alignas(8) char puffer[kPuffer];
  for (;;) {
    const long n = ::syscall(SYS_getdents64, ordner, puffer, sizeof puffer);
    if (n <= 0) return;
    for (long pos = 0; pos < n;) {
      const auto* e = reinterpret_cast<const Eintrag64*>(puffer + pos);
      pos += e->d_reclen;
      if (e->d_name[0] >= '0' && e->d_name[0] <= '9') jeder(e->d_name);
    }
  }
}

struct Geraet {
  dev_t rdev;
  bool pts;
  long ptsIndex;
};

// On how many descriptors process `pid` holds the device open as a user of the
// line (0 for the far end of a pseudo-terminal).
int Haelt(int proc, const char* pid, const Geraet& geraet) {
  char ort[300];
  std::snprintf(ort, sizeof ort, "%.255s/fd", pid);
  const int fds = ::openat(proc, ort, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fds < 0) return 0;
  int haelt = 0;
  bool gegenstelle = false;
  bool unbekannt = false;
  // One fstatat per descriptor, relative to the open folder.
  Eintraege(fds, [&](const char* fd) {
    struct stat s {};
    if (::fstatat(fds, fd, &s, 0) != 0 || !S_ISCHR(s.st_mode)) return;
    if (s.st_rdev == geraet.rdev) ++haelt;
    // The multiplexer /dev/ptmx is 5:2; only its descriptors can be masters.
    if (geraet.pts && major(s.st_rdev) == 5 && minor(s.st_rdev) == 2) {
      const long index = MasterIndex(pid, fd);
      gegenstelle = gegenstelle || index == geraet.ptsIndex;
      // Out of descriptors ourselves: a master we cannot look into may be this
      // terminal's far end, and a far end named as a holder sends the user
      // after the wrong program. Skipped, as a process we may not look into is.
      unbekannt = unbekannt || index == -2;
    }
  });
  ::close(fds);
  return gegenstelle || unbekannt ? 0 : haelt;
}

// This process holds the device beyond the serial layer's own open of it
// (another port of the layer, a file opened on it): it is a holder too, named
// as the others are. The layer's latest open, when it succeeded, is the
// caller's own descriptor.
bool SelbstInhaber(int proc, const std::string& pfad, const Geraet& geraet) {
  char geoeffnet[512] = {};
  int systemfehler = 0;
  const bool offen = GetComOpenResult(geoeffnet, sizeof geoeffnet, &systemfehler) == COM_OPEN_OK && pfad == geoeffnet;
  return Haelt(proc, "self", geraet) > (offen ? 1 : 0);
}

}  // namespace

std::vector<Portinhaber> AnderePortinhaber(const std::string& pfad) {
  std::vector<Portinhaber> inhaber;
  struct stat st {};
  if (::stat(pfad.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return inhaber;
  const Geraet geraet{st.st_rdev, IstPtsSlave(st.st_rdev),
                      static_cast<long>(minor(st.st_rdev)) + (static_cast<long>(major(st.st_rdev)) - 136) * 256};
  const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc < 0) return inhaber;
  const long selbst = ::getpid();
  std::vector<long> pids;
  pids.reserve(1024);
  Eintraege(proc, [&](const char* pid) {
    const long n = std::strtol(pid, nullptr, 10);
    if (n != selbst) pids.push_back(n);
  });
  // The cost grows with the machine, some 18 us per process with its
  // descriptors (opening and closing the folder alone is 4): with many
  // processes the processors share it, each taking the next process in turn.
  std::atomic<std::size_t> naechster{0};
  std::mutex schutz;
  auto suchen = [&] {
    for (std::size_t i; (i = naechster.fetch_add(1, std::memory_order_relaxed)) < pids.size();) {
      char pid[24];
      std::snprintf(pid, sizeof pid, "%ld", pids[i]);
      if (Haelt(proc, pid, geraet) == 0) continue;
      Portinhaber gefunden{pids[i], ProzessName(pid)};
      const std::lock_guard<std::mutex> sperre(schutz);
      inhaber.push_back(std::move(gefunden));
    }
  };
  // Helpers only on the processors this process may use, and never on the one
  // it runs on: a new thread starts there and may wait until the scheduler
  // moves it.
  cpu_set_t andere;
  CPU_ZERO(&andere);
  const int hier = ::sched_getcpu();
  if (hier >= 0 && ::sched_getaffinity(0, sizeof andere, &andere) == 0) CPU_CLR(hier, &andere);
  constexpr std::size_t kProHelfer = 250;
  const std::size_t helfer =
      std::min<std::size_t>({static_cast<std::size_t>(CPU_COUNT(&andere)), 3, pids.size() / kProHelfer});
  std::vector<std::thread> faeden;
  // The helpers take no signal: the caller's handlers stay on the caller's thread.
  sigset_t alle, vorher;
  ::sigfillset(&alle);
  const bool maskiert = helfer > 0 && ::pthread_sigmask(SIG_SETMASK, &alle, &vorher) == 0;
  for (std::size_t i = 0; maskiert && i < helfer; ++i) {
    try {
      faeden.emplace_back([&] {
        ::sched_setaffinity(0, sizeof andere, &andere);
        suchen();
      });
    } catch (const std::system_error&) {
      break;  // no thread to be had: this one does it all
    }
  }
  if (maskiert) ::pthread_sigmask(SIG_SETMASK, &vorher, nullptr);
  suchen();
  for (std::thread& f : faeden) f.join();
  if (SelbstInhaber(proc, pfad, geraet)) inhaber.push_back({selbst, ProzessName("self")});
  ::close(proc);
  std::sort(inhaber.begin(), inhaber.end(), [](const Portinhaber& a, const Portinhaber& b) { return a.pid < b.pid; });
  return inhaber;
}

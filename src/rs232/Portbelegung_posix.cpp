// Who holds a device open, found as fuser(1) does: through every process's open
// descriptors in /proc. Processes this user may not look into are skipped.
#include "rs232/Portbelegung.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// Unix 98 pseudo-terminal slaves: majors 136 to 143.
bool IstPtsSlave(dev_t geraet) { return major(geraet) >= 136 && major(geraet) <= 143; }

// The index of the pseudo-terminal whose master descriptor `fd` of process `pid` is,
// or -1 when it is no master.
long MasterIndex(const std::string& pid, const std::string& fd) {
  char ziel[64];
  const ssize_t n = ::readlink(("/proc/" + pid + "/fd/" + fd).c_str(), ziel, sizeof ziel - 1);
  if (n <= 0) return -1;
  ziel[n] = '\0';
  const std::string z = ziel;
  if (z != "/dev/ptmx" && z != "/dev/pts/ptmx") return -1;
  std::ifstream info("/proc/" + pid + "/fdinfo/" + fd);
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

// The numeric entries of an open folder, read straight with getdents64: no
// allocation per process, as this runs before the first frame of every command.
template <typename Jeder>
void Eintraege(int ordner, Jeder&& jeder) {
  alignas(8) char puffer[8192];
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

}  // namespace

std::vector<Portinhaber> AnderePortinhaber(const std::string& pfad) {
  std::vector<Portinhaber> inhaber;
  struct stat geraet {};
  if (::stat(pfad.c_str(), &geraet) != 0 || !S_ISCHR(geraet.st_mode)) return inhaber;
  const bool pts = IstPtsSlave(geraet.st_rdev);
  const long ptsIndex = static_cast<long>(minor(geraet.st_rdev)) + (static_cast<long>(major(geraet.st_rdev)) - 136) * 256;
  const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc < 0) return inhaber;
  const std::string selbst = std::to_string(::getpid());
  // Every descriptor of every process, relative to open folders: one fstatat
  // each, no path built from the root.
  Eintraege(proc, [&](const char* pid) {
    if (selbst == pid) return;
    char ort[300];
    std::snprintf(ort, sizeof ort, "%.255s/fd", pid);
    const int fds = ::openat(proc, ort, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fds < 0) return;
    bool haelt = false, gegenstelle = false;
    Eintraege(fds, [&](const char* fd) {
      struct stat s {};
      if (::fstatat(fds, fd, &s, 0) != 0 || !S_ISCHR(s.st_mode)) return;
      if (s.st_rdev == geraet.st_rdev) haelt = true;
      // The multiplexer /dev/ptmx is 5:2; only its descriptors can be masters.
      if (pts && major(s.st_rdev) == 5 && minor(s.st_rdev) == 2 && MasterIndex(pid, fd) == ptsIndex) gegenstelle = true;
    });
    ::close(fds);
    if (haelt && !gegenstelle) inhaber.push_back({std::strtol(pid, nullptr, 10), ProzessName(pid)});
  });
  ::close(proc);
  return inhaber;
}

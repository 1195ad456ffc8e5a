// Who holds a device open, found as fuser(1) does: through every process's open
// descriptors in /proc. Processes this user may not look into are skipped.
#include "rs232/Portbelegung.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

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

}  // namespace

std::vector<Portinhaber> AnderePortinhaber(const std::string& pfad) {
  std::vector<Portinhaber> inhaber;
  struct stat geraet {};
  if (::stat(pfad.c_str(), &geraet) != 0 || !S_ISCHR(geraet.st_mode)) return inhaber;
  const bool pts = IstPtsSlave(geraet.st_rdev);
  const long ptsIndex = static_cast<long>(minor(geraet.st_rdev)) + (static_cast<long>(major(geraet.st_rdev)) - 136) * 256;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return inhaber;
  const std::string selbst = std::to_string(::getpid());
  while (const dirent* e = ::readdir(proc)) {
    const std::string pid = e->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == selbst) continue;
    DIR* fds = ::opendir(("/proc/" + pid + "/fd").c_str());
    if (fds == nullptr) continue;
    bool haelt = false, gegenstelle = false;
    while (const dirent* f = ::readdir(fds)) {
      const std::string fd = f->d_name;
      if (fd == "." || fd == "..") continue;
      struct stat s {};
      if (::stat(("/proc/" + pid + "/fd/" + fd).c_str(), &s) != 0 || !S_ISCHR(s.st_mode)) continue;
      if (s.st_rdev == geraet.st_rdev) haelt = true;
      // The multiplexer /dev/ptmx is 5:2; only its descriptors can be masters.
      if (pts && major(s.st_rdev) == 5 && minor(s.st_rdev) == 2 && MasterIndex(pid, fd) == ptsIndex) gegenstelle = true;
    }
    ::closedir(fds);
    if (haelt && !gegenstelle) inhaber.push_back({std::strtol(pid.c_str(), nullptr, 10), ProzessName(pid)});
  }
  ::closedir(proc);
  return inhaber;
}

#pragma once
// Replacing a file through a temporary file without losing what makes it that
// file: where a symbolic link leads, and the mode, owner and group of the file
// replaced. Shared by the program file and the configuration file writers.
#include <sys/stat.h>

#include <cstddef>
#include <string>

#ifdef _WIN32
// No symbolic links to follow and no owner to keep in the sense of this file:
// the name is the file, and a new file gets the folder's defaults.
inline bool LinkzielBestimmen(const std::string& pfad, std::string* ziel) {
  *ziel = pfad;
  return true;
}
inline bool IdentitaetUebernehmen(int, const struct stat&) { return true; }
#else
#include <unistd.h>

#include <cerrno>

// True when the link described by `link`, lying at `pfad`, may be followed by
// this process. The links are resolved here, not by the kernel, so the kernel's
// rule for sticky, world-writable folders (/tmp) is applied here: such a link is
// followed only when its owner is the caller or the folder's owner. Otherwise a
// link planted by another user would redirect the write onto a file of its
// choice.
inline bool LinkFolgenErlaubt(const std::string& pfad, const struct stat& link) {
  const std::string::size_type schraegstrich = pfad.rfind('/');
  const std::string ordner =
      schraegstrich == std::string::npos ? "." : (schraegstrich == 0 ? "/" : pfad.substr(0, schraegstrich));
  struct stat o {};
  if (::stat(ordner.c_str(), &o) != 0) return false;
  if ((o.st_mode & S_ISVTX) == 0 || (o.st_mode & S_IWOTH) == 0) return true;
  return link.st_uid == ::geteuid() || link.st_uid == o.st_uid;
}

// The name a replacement must be renamed onto so that a symbolic link stays a
// link: the end of the chain of links that starts at `pfad`, also when that end
// does not exist (a dangling link's target is then created). `pfad` itself when
// it is no link. False for a chain that loops or cannot be read, and for a link
// that LinkFolgenErlaubt refuses (errno then EACCES, as the kernel's refusal).
// The folders along `pfad` hold the same rule: a link among them that another
// user planted in a sticky folder would redirect the write just as well.
inline bool OrdnerLinksErlaubt(const std::string& pfad) {
  for (std::string::size_type ende = pfad.find('/', 1); ende != std::string::npos; ende = pfad.find('/', ende + 1)) {
    const std::string teil = pfad.substr(0, ende);
    struct stat st {};
    if (::lstat(teil.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && !LinkFolgenErlaubt(teil, st)) return false;
  }
  return true;
}

inline bool LinkzielBestimmen(const std::string& pfad, std::string* ziel) {
  std::string p = pfad;
  // The kernel gives up after 40 links, too.
  for (int glied = 0; glied < 40; ++glied) {
    if (!OrdnerLinksErlaubt(p)) {
      errno = EACCES;
      return false;
    }
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *ziel = p;
      return true;
    }
    if (!LinkFolgenErlaubt(p, st)) {
      errno = EACCES;
      return false;
    }
    std::string inhalt(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(p.c_str(), inhalt.data(), inhalt.size());
    // A link that grew between lstat and readlink is read again next round.
    if (n <= 0) return false;
    if (static_cast<std::size_t>(n) >= inhalt.size()) continue;
    inhalt.resize(static_cast<std::size_t>(n));
    // A relative link is relative to the folder the link lies in.
    const std::string::size_type schraegstrich = p.rfind('/');
    if (inhalt[0] != '/' && schraegstrich != std::string::npos) inhalt = p.substr(0, schraegstrich + 1) + inhalt;
    p = std::move(inhalt);
  }
  errno = ELOOP;
  return false;
}

// Gives the open file `fd` the mode of the file described by `alt` and, where the
// process may set them, its owner and group. True when all three now match.
inline bool IdentitaetUebernehmen(int fd, const struct stat& alt) {
  struct stat neu {};
  if (::fstat(fd, &neu) != 0) return false;
  bool gleich = true;
  if ((neu.st_uid != alt.st_uid || neu.st_gid != alt.st_gid) && ::fchown(fd, alt.st_uid, alt.st_gid) != 0) {
    gleich = false;
    // The group alone may still be allowed (a group the process belongs to).
    if (neu.st_gid != alt.st_gid) (void)::fchown(fd, static_cast<uid_t>(-1), alt.st_gid);
  }
  // After the owner: a change of owner clears the set-user-ID and set-group-ID bits.
  if (::fchmod(fd, alt.st_mode & 07777) != 0) gleich = false;
  return gleich;
}
#endif

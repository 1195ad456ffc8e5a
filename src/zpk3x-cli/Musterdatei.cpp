#include "zpk3x-cli/Musterdatei.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "Verlauf/VerlaufDaten.h"
#include "common/Dateizugriff.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// A name of a pattern may come again (a restart within the same day): the file
// of the earlier run stays, and this one gets "-2", "-3", ... before the extension.
std::string FreierName(const std::string& name) {
  const auto da = [](const std::string& n) {
    errno = 0;
    std::FILE* f = DateiZumLesenOeffnen(n);
    if (f != nullptr) std::fclose(f);
    return f != nullptr || errno != ENOENT;
  };
  if (!da(name)) return name;
  const std::size_t ordner = name.find_last_of("/\\");
  std::size_t punkt = name.rfind('.');
  if (punkt == std::string::npos || (ordner != std::string::npos && punkt <= ordner + 1) || punkt == 0) punkt = name.size();
  for (int i = 2; i < 1000; ++i) {
    const std::string n = name.substr(0, punkt) + "-" + std::to_string(i) + name.substr(punkt);
    if (!da(n)) return n;
  }
  return name;
}

#ifdef _WIN32
bool OrdnerMachen(const std::string& teil) {
  if (::CreateDirectoryW(BreitAusUtf8(teil).c_str(), nullptr) != 0) return true;
  const DWORD fehler = ::GetLastError();
  if (fehler == ERROR_ALREADY_EXISTS) {
    const DWORD art = ::GetFileAttributesW(BreitAusUtf8(teil).c_str());
    if (art != INVALID_FILE_ATTRIBUTES && (art & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;
    errno = ENOTDIR;
    return false;
  }
  errno = ErrnoAusSystemfehler(fehler);
  return false;
}
#else
// Another user's folder or link inside a sticky, world-writable folder.
bool Fremd(const std::string& teil, const struct stat& st) {
  const std::string::size_type s = teil.find_last_of('/');
  const std::string ordner = s == std::string::npos ? "." : (s == 0 ? "/" : teil.substr(0, s));
  struct stat o {};
  if (::stat(ordner.c_str(), &o) != 0 || (o.st_mode & S_ISVTX) == 0 || (o.st_mode & S_IWOTH) == 0) return false;
  return st.st_uid != ::geteuid() && st.st_uid != o.st_uid;
}

bool OrdnerMachen(const std::string& teil) {
  struct stat st {};
  if (::lstat(teil.c_str(), &st) != 0) {
    if (errno != ENOENT) return false;
    if (::mkdir(teil.c_str(), 0777) == 0) return true;
    // Made by someone else meanwhile: judged as any folder found.
    if (errno != EEXIST || ::lstat(teil.c_str(), &st) != 0) return false;
  }
  if (Fremd(teil, st)) {
    errno = EACCES;
    return false;
  }
  if (S_ISLNK(st.st_mode) && ::stat(teil.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}
#endif

}  // namespace

bool OrdnerFuerDatei(const std::string& pfad) {
#ifdef _WIN32
  const char* trenner = "/\\";
#else
  const char* trenner = "/";
#endif
  const std::string::size_type ende = pfad.find_last_of(trenner);
  if (ende == std::string::npos || ende == 0) return true;
  for (std::string::size_type i = pfad.find_first_of(trenner, 1); i != std::string::npos && i <= ende;
       i = pfad.find_first_of(trenner, i + 1)) {
    const std::string teil = pfad.substr(0, i);
    // "a//b", "./x" and a drive ("C:") need nothing made.
    if (teil.empty() || teil.back() == '/' || teil.back() == '\\' || teil.back() == ':' || teil == "." || teil == "..")
      continue;
    if (teil.size() >= 2 && (teil.compare(teil.size() - 2, 2, "/.") == 0 || teil.compare(teil.size() - 2, 2, "\\.") == 0))
      continue;
    if (!OrdnerMachen(teil)) return false;
  }
  return true;
}

bool Musterdatei::Gueltig() const {
  std::string name;
  return VerlaufDateiname(muster_, 0, &name);
}

bool Musterdatei::Wechsel(std::int64_t zeitMs, std::string* name, int* systemfehler) {
  *systemfehler = 0;
  std::string jetzt;
  if (!VerlaufDateiname(muster_, zeitMs, &jetzt) || jetzt == letzter_) return false;
  errno = 0;
  if (!OrdnerFuerDatei(jetzt)) {
    *systemfehler = errno != 0 ? errno : EIO;
    *name = jetzt;
    return false;
  }
  letzter_ = jetzt;
  *name = FreierName(jetzt);
  return true;
}

// File access by name on Windows: UTF-8 names go through the wide-character API,
// since the narrow one reads them in the ANSI code page and mangles umlauts.
#include <windows.h>
#include <io.h>

#include <cerrno>

#include "common/Dateizugriff.h"

std::wstring BreitAusUtf8(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

std::string Utf8AusBreit(const wchar_t* breit) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, breit, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, breit, -1, s.data(), n, nullptr, nullptr);
  s.resize(static_cast<std::size_t>(n - 1));
  return s;
}

int ErrnoAusSystemfehler(unsigned long code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    default:
      return EIO;
  }
}

std::FILE* DateiZumLesenOeffnen(const std::string& pfad) { return _wfopen(BreitAusUtf8(pfad).c_str(), L"rb"); }

// No symbolic links to weigh here (see Dateiidentitaet.h).
std::FILE* DateiNeuAnlegen(const std::string& pfad) { return _wfopen(BreitAusUtf8(pfad).c_str(), L"wb"); }

bool DateiKuerzen(std::FILE* datei, std::int64_t laenge) {
  return _chsize_s(_fileno(datei), laenge) == 0 && _fseeki64(datei, laenge, SEEK_SET) == 0;
}

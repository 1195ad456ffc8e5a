// The command line's operating-system services on Windows.
#include <windows.h>
#include <io.h>

#include <atomic>

#include "zpk3x-cli/Plattform.h"

namespace {

std::atomic<bool> gAbbruch{false};

BOOL WINAPI AbbruchMerken(DWORD art) {
  if (art == CTRL_C_EVENT || art == CTRL_BREAK_EVENT || art == CTRL_CLOSE_EVENT) {
    gAbbruch = true;
    return TRUE;
  }
  return FALSE;
}

std::wstring Breit(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

}  // namespace

void AusgabeEinrichten() { SetConsoleOutputCP(CP_UTF8); }

bool IstTerminal(int stream) { return _isatty(stream == 1 ? 1 : 2) != 0; }

void AbbruchAbfangen() { SetConsoleCtrlHandler(AbbruchMerken, TRUE); }

bool AbbruchVerlangt() { return gAbbruch; }

bool DateiErsetzen(const std::string& ziel, const std::string& inhalt) {
  if (ziel.empty()) return false;
  const std::wstring pfad = Breit(ziel);
  const DWORD attribute = GetFileAttributesW(pfad.c_str());
  if (attribute != INVALID_FILE_ATTRIBUTES && (attribute & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  const std::wstring temp = pfad + L".zpk3x-cli-neu";
  HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD geschrieben = 0;
  bool gut = WriteFile(h, inhalt.data(), static_cast<DWORD>(inhalt.size()), &geschrieben, nullptr) != 0 &&
             geschrieben == inhalt.size() && FlushFileBuffers(h) != 0;
  gut = CloseHandle(h) != 0 && gut;
  if (!gut || MoveFileExW(temp.c_str(), pfad.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    DeleteFileW(temp.c_str());
    return false;
  }
  return true;
}

std::tm UtcZeit(std::time_t zeit) {
  std::tm t{};
  gmtime_s(&t, &zeit);
  return t;
}

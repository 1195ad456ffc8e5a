// Replacing a file on Windows: no links to follow and no owner to keep (see
// Dateiidentitaet.h); the replacement is one move that overwrites the old file.
#include <windows.h>

#include "common/Dateiersetzen.h"
#include "common/Dateiersetzen_intern.h"

namespace {

std::wstring Breit(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

}  // namespace

Ersetzt DateiErsetzen(const std::string& ziel, const void* inhalt, std::size_t laenge, Ersetzungsart) {
  if (ziel.empty() || laenge > MAXDWORD) return Ersetzt::NichtMoeglich;
  const std::wstring pfad = Breit(ziel);
  const DWORD attribute = GetFileAttributesW(pfad.c_str());
  if (attribute != INVALID_FILE_ATTRIBUTES &&
      (attribute & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE)) != 0)
    return Ersetzt::NichtMoeglich;
  const std::wstring temp = pfad + L".zpk3x-speichern";
  HANDLE h = ErsetzenSeam_SchlaegtFehl(ErsetzenSchritt::Anlegen)
                 ? INVALID_HANDLE_VALUE
                 : CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Ersetzt::NichtMoeglich;
  bool halbFehl = false;
  const DWORD erlaubt = static_cast<DWORD>(ErsetzenSeam_Erlaubt(laenge, &halbFehl));
  DWORD geschrieben = 0;
  bool gut = !ErsetzenSeam_SchlaegtFehl(ErsetzenSchritt::Schreiben) &&
             WriteFile(h, inhalt, erlaubt, &geschrieben, nullptr) != 0 && geschrieben == erlaubt && !halbFehl;
  if (gut && (ErsetzenSeam_SchlaegtFehl(ErsetzenSchritt::Sync) || FlushFileBuffers(h) == 0)) gut = false;
  gut = CloseHandle(h) != 0 && !ErsetzenSeam_SchlaegtFehl(ErsetzenSchritt::Schliessen) && gut;
  if (gut && (ErsetzenSeam_SchlaegtFehl(ErsetzenSchritt::Umbenennen) ||
              MoveFileExW(temp.c_str(), pfad.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0))
    gut = false;
  if (!gut) {
    DeleteFileW(temp.c_str());
    return Ersetzt::Schreibfehler;
  }
  return Ersetzt::Ja;
}

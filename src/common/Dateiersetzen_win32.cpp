// Replacing a file on Windows: no links to follow and no owner to keep (see
// Dateiidentitaet.h); the replacement is one move that overwrites the old file.
#include <windows.h>

#include <cerrno>

#include "common/Dateiersetzen.h"
#include "common/Dateiersetzen_intern.h"
#include "common/Dateizugriff.h"

Ersetzt DateiErsetzen(const std::string& ziel, const void* inhalt, std::size_t laenge, Ersetzungsart,
                      int* systemfehler) {
  int ablage = 0;
  int* fehler = systemfehler != nullptr ? systemfehler : &ablage;
  *fehler = 0;
  if (ziel.empty() || laenge > MAXDWORD) {
    *fehler = ziel.empty() ? ENOENT : EFBIG;
    return Ersetzt::NichtMoeglich;
  }
  const std::wstring pfad = BreitAusUtf8(ziel);
  const DWORD attribute = GetFileAttributesW(pfad.c_str());
  if (attribute != INVALID_FILE_ATTRIBUTES &&
      (attribute & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    *fehler = (attribute & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EISDIR : EACCES;
    return Ersetzt::NichtMoeglich;
  }
  const std::wstring temp = pfad + L".zpk3x-speichern";
  HANDLE h = ErsetzenSeam_SchlaegtFehl(ErsetzenSchritt::Anlegen)
                 ? INVALID_HANDLE_VALUE
                 : CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *fehler = ErrnoAusSystemfehler(GetLastError());
    return Ersetzt::NichtMoeglich;
  }
  bool halbFehl = false;
  const DWORD erlaubt = static_cast<DWORD>(ErsetzenSeam_Erlaubt(laenge, &halbFehl));
  DWORD geschrieben = 0;
  // The first failing step's reason; a seam's failure stands for a failing disk.
  auto fehlt = [fehler](bool seam) {
    if (*fehler == 0) *fehler = seam ? EIO : ErrnoAusSystemfehler(GetLastError());
    return false;
  };
  bool gut = true;
  if (ErsetzenSeam_SchlaegtFehl(ErsetzenSchritt::Schreiben)) {
    gut = fehlt(true);
  } else if (WriteFile(h, inhalt, erlaubt, &geschrieben, nullptr) == 0) {
    gut = fehlt(false);
  } else if (geschrieben != erlaubt || halbFehl) {
    *fehler = ENOSPC;
    gut = false;
  }
  if (gut && ErsetzenSeam_SchlaegtFehl(ErsetzenSchritt::Sync)) gut = fehlt(true);
  if (gut && FlushFileBuffers(h) == 0) gut = fehlt(false);
  if (CloseHandle(h) == 0 && gut) gut = fehlt(false);
  if (ErsetzenSeam_SchlaegtFehl(ErsetzenSchritt::Schliessen) && gut) gut = fehlt(true);
  if (gut && ErsetzenSeam_SchlaegtFehl(ErsetzenSchritt::Umbenennen)) gut = fehlt(true);
  if (gut && MoveFileExW(temp.c_str(), pfad.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0)
    gut = fehlt(false);
  if (!gut) {
    DeleteFileW(temp.c_str());
    return Ersetzt::Schreibfehler;
  }
  return Ersetzt::Ja;
}

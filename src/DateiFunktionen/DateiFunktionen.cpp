// Program files (*.zpk): the file menu's New, Open, Save and Save as, the current
// file path and the window title that shows its name.
#include "DateiFunktionen/DateiFunktionen.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "DateiFunktionen/DateiFunktionen_seam.h"
#include "DateiFunktionen/Programmdatei.h"
#include "OLQ_errorV3/OLQ_errorV3.h"
#include "common/Dateiersetzen.h"
#include "toolkit/toolkit.h"
#include "zpk3xFunktionen/zpk3xFunktionen.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace {

// Paths are kept whole, whatever their length.
std::string gDateipfad;
std::string gPaneltitel;

constexpr ErrorCode kSchreibenNichtMoeglich = -301101;
constexpr ErrorCode kSchreibfehler = -301102;
constexpr ErrorCode kNeueDateiGewaehlt = -308103;
constexpr ErrorCode kOeffnenNichtMoeglich = -308104;

bool Englisch() { return gSprache == 2; }

const char* UnbenanntWort() { return Englisch() ? "Unnamed" : "Unbenannt"; }

// Directory part of the current path; empty while the table has no file, so the
// dialog starts in the working directory.
std::string Verzeichnisteil(const std::string& pfad) {
  const std::string::size_type pos = pfad.rfind('/');
  if (pos == std::string::npos) return std::string();
  if (pos == 0) return "/";
  return pfad.substr(0, pos);
}

std::string Dateinamenteil(const std::string& pfad) {
  const std::string::size_type pos = pfad.rfind('/');
  return pos == std::string::npos ? pfad : pfad.substr(pos + 1);
}

// The file's identity (links, mode, owner) comes first: where a replacement in one
// step would lose it, the file is written in place, as the operator expects of a save.
ErrorCode ImageSchreiben(const std::string& ziel, const unsigned char* image) {
  switch (DateiErsetzen(ziel, image, PROGRAMMDATEI_GROESSE, Ersetzungsart::IdentitaetZuerst)) {
    case Ersetzt::Ja:
      return 0;
    case Ersetzt::NichtMoeglich:
      return kSchreibenNichtMoeglich;
    case Ersetzt::Schreibfehler:
      break;
  }
  return kSchreibfehler;
}

// Reads at most `laenge` bytes; returns how many arrived, or -1 on a read error.
long DateiLesen(int fd, unsigned char* puffer, std::size_t laenge) {
  std::size_t gelesen = 0;
  while (gelesen < laenge) {
    const ssize_t n = ::read(fd, puffer + gelesen, laenge - gelesen);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    gelesen += static_cast<std::size_t>(n);
  }
  return static_cast<long>(gelesen);
}

int DateiDialog(bool speichern, std::string* pfad) {
  const char* titel = speichern ? (Englisch() ? "Save" : "Speichern") : (Englisch() ? "Open" : "Öffnen");
  return FileSelectPopup(Verzeichnisteil(gDateipfad).c_str(), "*.zpk", "*.zpk", titel,
                         speichern ? VAL_SAVE_BUTTON : VAL_LOAD_BUTTON, 0, 1, 1, speichern ? 1 : 0, pfad);
}

}  // namespace

// The save's steps are those of the shared replacement, in the same order.
void DateiSeam_Fail(DateiOp op) {
  switch (op) {
    case DateiOp::Create: ErsetzenSeam_Fail(ErsetzenSchritt::Anlegen); break;
    case DateiOp::Write: ErsetzenSeam_Fail(ErsetzenSchritt::Schreiben); break;
    case DateiOp::Sync: ErsetzenSeam_Fail(ErsetzenSchritt::Sync); break;
    case DateiOp::Close: ErsetzenSeam_Fail(ErsetzenSchritt::Schliessen); break;
    case DateiOp::Rename: ErsetzenSeam_Fail(ErsetzenSchritt::Umbenennen); break;
  }
}
void DateiSeam_WriteLimit(int bytes) { ErsetzenSeam_WriteLimit(bytes); }
void DateiSeam_Reset() { ErsetzenSeam_Reset(); }

void PaneltitelFestlegen(const char* titel) { gPaneltitel = titel ? titel : ""; }

void DateipfadZuruecksetzen() {
  gDateipfad = UnbenanntWort();
  PaneltitelAktualisieren();
}

void PaneltitelAktualisieren() {
  const std::string titel = gPaneltitel + "  [" + Dateinamenteil(gDateipfad) + "]";
  SetPanelAttribute(gPanelHandle, ATTR_TITLE, titel.c_str());
}

ErrorCode DateiSpeichern(int speichernUnter) {
  std::string pfad;
  if (speichernUnter || gDateipfad == UnbenanntWort()) {
    const int auswahl = DateiDialog(true, &pfad);
    if (auswahl == VAL_NO_FILE_SELECTED) return 0;
    if (auswahl < 0) return kSchreibenNichtMoeglich;
  } else {
    pfad = gDateipfad;
  }

  unsigned char image[PROGRAMMDATEI_GROESSE];
  ProgrammdateiBauen(gPar, gParIndex, image);
  const ErrorCode fehler = ImageSchreiben(pfad, image);
  if (fehler != 0) return fehler;

  gDateipfad = pfad;
  PaneltitelAktualisieren();
  return 0;
}

ErrorCode DateiOeffnen() {
  std::string pfad;
  const int auswahl = DateiDialog(false, &pfad);
  if (auswahl == VAL_NO_FILE_SELECTED) return 0;
  if (auswahl == VAL_NEW_FILE_SELECTED) return kNeueDateiGewaehlt;
  if (auswahl < 0) return kOeffnenNichtMoeglich;

  // Non-blocking, and only regular files: a fifo or device must not hang the window.
  const int fd = ::open(pfad.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return kOeffnenNichtMoeglich;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return kOeffnenNichtMoeglich;
  }
  unsigned char image[PROGRAMMDATEI_GROESSE];
  const long gelesen = DateiLesen(fd, image, sizeof image);
  ::close(fd);
  if (gelesen < 0) return PROGRAMMDATEI_ZU_KURZ;

  ProgramRecord tabelle[PROGRAMM_SLOTS];
  int index = 0;
  std::int32_t version = 0;
  const ErrorCode fehler =
      ProgrammdateiLesen(image, static_cast<std::size_t>(gelesen), tabelle, &index, &version);
  if (fehler == PROGRAMMDATEI_FALSCHE_VERSION) {
    char detail[80];
    std::snprintf(detail, sizeof detail,
                  Englisch() ? "\n\nexpected:  %d\nfound: %d" : "\n\nerwartet:  %d\ngefunden: %d",
                  static_cast<int>(PROGRAMMDATEI_VERSION), static_cast<int>(version));
    OLQ_Fehleruserstring(detail);
  }
  if (fehler != 0) return fehler;

  for (int slot = 0; slot < PROGRAMM_SLOTS; ++slot) gPar[slot] = tabelle[slot];
  gParIndex = index;
  gDateipfad = pfad;
  PaneltitelAktualisieren();
  return 0;
}

void Callback_Menu_Neu(int, int, void*, int) {
  ParameterStrukturInitialisieren();
  ParameterAusStrukturInGui();
  ParametersterneSetzen();
  DateipfadZuruecksetzen();
}

void Callback_Menu_Oeffnen(int, int, void*, int) {
  const ErrorCode fehler = DateiOeffnen();
  if (fehler != 0) OLQ_Fehlerpopup(fehler);
  ParameterAusStrukturInGui();
  ParametersterneSetzen();
}

void Callback_Menu_Speichern(int, int, void*, int) {
  const ErrorCode fehler = DateiSpeichern(0);
  if (fehler != 0) OLQ_Fehlerpopup(fehler);
}

void Callback_Menu_SpeichernUnter(int, int, void*, int) {
  const ErrorCode fehler = DateiSpeichern(1);
  if (fehler != 0) OLQ_Fehlerpopup(fehler);
}

void DateiCallbacksRegistrieren() {
  RegisterMenuCallback("Callback_Menu_Neu", Callback_Menu_Neu);
  RegisterMenuCallback("Callback_Menu_Oeffnen", Callback_Menu_Oeffnen);
  RegisterMenuCallback("Callback_Menu_Speichern", Callback_Menu_Speichern);
  RegisterMenuCallback("Callback_Menu_SpeichernUnter", Callback_Menu_SpeichernUnter);
}

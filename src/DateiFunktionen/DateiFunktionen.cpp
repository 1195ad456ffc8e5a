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
#include "common/Dateiidentitaet.h"
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

// ---- seam ----
bool gSeamFehler[5] = {};
int gSeamSchreibgrenze = -1;

bool SeamSchlaegtFehl(DateiOp op) {
  bool& f = gSeamFehler[static_cast<int>(op)];
  const bool fehl = f;
  f = false;
  return fehl;
}

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

bool AllesSchreiben(int fd, const unsigned char* daten, std::size_t laenge) {
  std::size_t erlaubt = laenge;
  bool halbFehl = false;
  if (gSeamSchreibgrenze >= 0) {
    if (static_cast<std::size_t>(gSeamSchreibgrenze) < laenge) {
      erlaubt = static_cast<std::size_t>(gSeamSchreibgrenze);
      halbFehl = true;
    }
    gSeamSchreibgrenze = -1;
  }
  if (SeamSchlaegtFehl(DateiOp::Write)) return false;
  std::size_t geschrieben = 0;
  while (geschrieben < erlaubt) {
    const ssize_t n = ::write(fd, daten + geschrieben, erlaubt - geschrieben);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    geschrieben += static_cast<std::size_t>(n);
  }
  return !halbFehl;
}

bool SchreibenSyncSchliessen(int fd, const unsigned char* image) {
  bool gut = AllesSchreiben(fd, image, PROGRAMMDATEI_GROESSE);
  if (gut && (SeamSchlaegtFehl(DateiOp::Sync) || ::fsync(fd) != 0)) gut = false;
  const bool geschlossen = ::close(fd) == 0 && !SeamSchlaegtFehl(DateiOp::Close);
  return gut && geschlossen;
}

// Open, truncate, write, flush: the file stays the same file (owner, links) where
// replacing it would have made it another one. A failure half-way leaves the
// partly written file, as any writing in place must.
ErrorCode AnOrtSchreiben(const std::string& pfad, const unsigned char* image) {
  // Non-blocking, and only a regular file: a fifo put in its place must not hang the window.
  const int fd = SeamSchlaegtFehl(DateiOp::Create)
                     ? -1
                     : ::open(pfad.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return kSchreibenNichtMoeglich;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return kSchreibenNichtMoeglich;
  }
  return SchreibenSyncSchliessen(fd, image) ? 0 : kSchreibfehler;
}

// Writes the image to a fresh file beside the target and moves it over the
// target only once it is complete and on disk, so a failed save never damages
// the file that was there. The new file takes the old one's mode, owner and
// group; where that cannot be had, or the folder may not be written, or other
// hard links share the file, it is written in place instead.
ErrorCode ImageSchreiben(const std::string& ziel, const unsigned char* image) {
  if (ziel.empty()) return kSchreibenNichtMoeglich;

  // Save through a link to the file it names (or creates), so the link itself stays.
  std::string pfad;
  if (!LinkzielBestimmen(ziel, &pfad)) return kSchreibenNichtMoeglich;

  std::string verzeichnis = Verzeichnisteil(pfad);
  if (verzeichnis.empty()) verzeichnis = ".";
  if (verzeichnis.back() != '/') verzeichnis += '/';

  struct stat alt {};
  const bool vorhanden = ::stat(pfad.c_str(), &alt) == 0;
  if (vorhanden) {
    // Only a regular file that may be written is replaced, as writing through it
    // would have required: never a directory, device or fifo.
    if (!S_ISREG(alt.st_mode) || ::access(pfad.c_str(), W_OK) != 0) return kSchreibenNichtMoeglich;
    if (alt.st_nlink > 1 || ::access(verzeichnis.c_str(), W_OK | X_OK) != 0) return AnOrtSchreiben(pfad, image);
  }

  std::string temp = verzeichnis + ".zpk3x-speichern-XXXXXX";
  // mkstemp opens with O_CREAT|O_EXCL: never through an existing file or link.
  const int fd = SeamSchlaegtFehl(DateiOp::Create) ? -1 : ::mkstemp(temp.data());
  if (fd < 0) return kSchreibenNichtMoeglich;
  if (vorhanden) {
    if (!IdentitaetUebernehmen(fd, alt)) {
      ::close(fd);
      ::unlink(temp.c_str());
      return AnOrtSchreiben(pfad, image);
    }
  } else {
    const mode_t maske = ::umask(0);
    ::umask(maske);
    ::fchmod(fd, 0666 & ~maske);
  }

  bool gut = SchreibenSyncSchliessen(fd, image);
  if (gut && (SeamSchlaegtFehl(DateiOp::Rename) || ::rename(temp.c_str(), pfad.c_str()) != 0)) gut = false;
  if (!gut) {
    ::unlink(temp.c_str());
    return kSchreibfehler;
  }

  // Make the rename itself durable; the file is complete either way.
  const int dfd = ::open(verzeichnis.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return 0;
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

void DateiSeam_Fail(DateiOp op) { gSeamFehler[static_cast<int>(op)] = true; }
void DateiSeam_WriteLimit(int bytes) { gSeamSchreibgrenze = bytes < 0 ? 0 : bytes; }
void DateiSeam_Reset() {
  for (bool& f : gSeamFehler) f = false;
  gSeamSchreibgrenze = -1;
}

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

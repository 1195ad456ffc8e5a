// The system's reasons in German: the C library gives them in English only, as
// the program does not switch its locale (numbers in files must not follow it).
#include <cerrno>
#include <cstring>
#include <string>

#include "common/Dateizugriff.h"

namespace {

struct Grund {
  int fehler;
  const char* deutsch;
};

// The errno values that files, ports and sockets report here; others keep the
// system's English text.
constexpr Grund kGruende[] = {
    {EPERM, "Vorgang nicht erlaubt"},
    {ENOENT, "Datei oder Ordner nicht vorhanden"},
    {EINTR, "Systemaufruf unterbrochen"},
    {EIO, "Ein-/Ausgabefehler"},
    {ENXIO, "Gerät oder Adresse nicht vorhanden"},
    {EAGAIN, "Vorübergehend nicht verfügbar"},
    {ENOMEM, "Nicht genug Speicher"},
    {EACCES, "Zugriff verweigert"},
    {EBUSY, "Gerät oder Ressource belegt"},
    {EEXIST, "Datei ist schon vorhanden"},
    {EXDEV, "Verweis über Dateisystemgrenzen hinweg"},
    {ENODEV, "Gerät nicht vorhanden"},
    {ENOTDIR, "Kein Ordner"},
    {EISDIR, "Ist ein Ordner"},
    {EINVAL, "Ungültiges Argument"},
    {ENFILE, "Zu viele offene Dateien im System"},
    {EMFILE, "Zu viele offene Dateien"},
    {ENOTTY, "Kein Terminal und keine serielle Schnittstelle"},
    {ETXTBSY, "Programmdatei wird gerade ausgeführt"},
    {EFBIG, "Datei zu groß"},
    {ENOSPC, "Kein Platz mehr auf dem Datenträger"},
    {EROFS, "Dateisystem nur lesbar"},
    {EPIPE, "Leitung unterbrochen (der Leser ist fort)"},
    {ENAMETOOLONG, "Dateiname zu lang"},
#ifdef ELOOP
    {ELOOP, "Zu viele Ebenen symbolischer Verknüpfungen"},
#endif
#ifdef EDQUOT
    {EDQUOT, "Speicherkontingent überschritten"},
#endif
#ifdef ECONNREFUSED
    {ECONNREFUSED, "Verbindung abgewiesen"},
    {ECONNRESET, "Verbindung von der Gegenseite zurückgesetzt"},
    {ETIMEDOUT, "Zeitüberschreitung der Verbindung"},
    {EHOSTUNREACH, "Rechner nicht erreichbar"},
    {ENETUNREACH, "Netz nicht erreichbar"},
#endif
};

}  // namespace

std::string Systemgrund(int fehler, bool englisch) {
  if (!englisch) {
    for (const Grund& g : kGruende)
      if (g.fehler == fehler) return g.deutsch;
  }
  return std::strerror(fehler);
}

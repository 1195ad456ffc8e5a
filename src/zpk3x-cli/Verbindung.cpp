#include "zpk3x-cli/Verbindung.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "ini/ini.h"
#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232.h"
#include "zpk3x-cli/Ausgabe.h"

namespace {

constexpr const char* kIniDatei = "zpk3xSteuerung.ini";
constexpr const char* kIniSektion = "ZPK3X";

// The configuration file's values where present and valid; the window's file.
struct Konfiguration {
  int port = -1, lport = -1, baudrate = 0, adresse = 0;
};

Konfiguration KonfigurationLesen() {
  Konfiguration k;
  IniText ini = Ini_New(1);
  if (ini != nullptr && Ini_ReadFromFile(ini, kIniDatei) == 0) {
    Ini_GetInt(ini, kIniSektion, "port", &k.port);
    Ini_GetInt(ini, kIniSektion, "lport", &k.lport);
    Ini_GetInt(ini, kIniSektion, "baudrate", &k.baudrate);
    Ini_GetInt(ini, kIniSektion, "adresse", &k.adresse);
  }
  Ini_Dispose(ini);
  return k;
}

bool PortNummer(int n) { return n >= 1 && n <= 8; }
bool Baudrate(int b) {
  return std::find(std::begin(SUCHE_BAUDRATEN), std::end(SUCHE_BAUDRATEN), b) != std::end(SUCHE_BAUDRATEN);
}


}  // namespace

// Each setting on its own: the option, else the configuration file, else the default.
int VerbindungBestimmen(const Optionen& o, Verbindung* v) {
  const Konfiguration k = KonfigurationLesen();
  v->port = PortNummer(k.port) ? k.port : (PortNummer(k.lport) ? k.lport : 1);
  if (!o.port.empty()) {
    if (o.port.find_first_not_of("0123456789") != std::string::npos) {
      v->port = kPfadPort;
      v->pfad = o.port;
    } else if (o.port.size() == 1 && PortNummer(o.port[0] - '0')) {
      v->port = o.port[0] - '0';
    } else {
      return FehlerMelden(o, AUFRUF_FEHLER, "\n--port " + o.port + T(": 1 bis 8 oder ein Gerätepfad", ": 1 to 8 or a device path"));
    }
  }
  v->baudrate = o.baudrate != 0 ? o.baudrate : (Baudrate(k.baudrate) ? k.baudrate : 9600);
  v->adresse = !o.adresse.empty() ? o.adresse[0] : (k.adresse >= '1' && k.adresse <= '8' ? static_cast<char>(k.adresse) : '1');
  v->timeout = o.timeout;
  return EXIT_OK;
}

ErrorCode PortOeffnen(Verbindung* v, int baudrate) {
  if (v->offen) OLQZPK3X_Close(v->port);
  v->offen = false;
  ErrorCode err = 0;
  err = OLQZPK3X_OpenDevice(v->port, v->pfad.c_str(), baudrate);
  if (err != 0) return err;
  v->offen = true;
  return OLQZPK3X_Timeout(v->port, v->timeout);
}

bool BereichLesen(const std::string& text, int* von, int* bis) {
  if (text == "all") {
    *von = 1;
    *bis = 16;
    return true;
  }
  if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const int n = std::atoi(text.c_str());
  if (n < 0 || n >= PROGRAMM_SLOTS) return false;
  *von = *bis = n;
  return true;
}

#include "zpk3x-cli/Verbindung.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <system_error>
#include <vector>

#include "ini/ini.h"
#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232.h"
#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Portbelegung.h"

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

constexpr ErrorCode kPortNichtZuOeffnen = -100003;  // the driver's code for a port the system refuses

bool PortNummer(int n) { return n >= 1 && n <= 8; }

std::string InhaberText(const std::vector<Portinhaber>& inhaber) {
  std::string text;
  for (const Portinhaber& p : inhaber) text += (text.empty() ? ": " : ", ") + std::to_string(p.pid) + " (" + p.name + ")";
  return text;
}

// The cause in words, from the serial layer's record of the failed open.
std::string Grund(ComOpenResult ergebnis, int systemfehler, const std::string& pfad) {
  switch (ergebnis) {
    case COM_OPEN_NO_DEVICE:
      return T("Gerät nicht vorhanden", "no such device");
    case COM_OPEN_DENIED:
      return T("Zugriff verweigert (gehört der Benutzer zur Gruppe dialout? usermod -aG dialout BENUTZER, dann neu anmelden)",
               "permission denied (is the user in the group dialout? usermod -aG dialout USER, then log in again)");
    case COM_OPEN_NOT_SERIAL:
      return T("keine serielle Schnittstelle", "not a serial port");
    case COM_OPEN_BUSY:
      return T("von einem anderen Programm belegt", "held by another program") + InhaberText(AnderePortinhaber(pfad));
    case COM_OPEN_SETTINGS:
      return T("Leitungseinstellungen nicht einstellbar", "the line settings could not be made");
    case COM_OPEN_SYSTEM:
      return systemfehler != 0 ? std::system_category().message(systemfehler) : "";
    default:
      return "";
  }
}
bool Baudrate(int b) {
  return std::find(std::begin(SUCHE_BAUDRATEN), std::end(SUCHE_BAUDRATEN), b) != std::end(SUCHE_BAUDRATEN);
}


}  // namespace

// Each setting on its own: the option, else the configuration file, else the default.
int VerbindungBestimmen(const Optionen& o, Verbindung* v) {
  const Konfiguration k = KonfigurationLesen();
  v->port = PortNummer(k.port) ? k.port : (PortNummer(k.lport) ? k.lport : 1);
  // --port, else the environment, else the configuration file.
  const char* umgebung = std::getenv("ZPK3X_PORT");
  // An empty name is a mistake in a script, never "the default port".
  if (o.portGegeben && o.port.empty())
    return FehlerMelden(o, AUFRUF_FEHLER, T("\n--port: leerer Name", "\n--port: empty name"));
  if (!o.portGegeben && umgebung != nullptr && umgebung[0] == '\0')
    return FehlerMelden(o, AUFRUF_FEHLER, T("\nZPK3X_PORT ist gesetzt, aber leer", "\nZPK3X_PORT is set but empty"));
  const bool ausUmgebung = !o.portGegeben && umgebung != nullptr;
  const std::string port = ausUmgebung ? umgebung : o.port;
  if (!port.empty()) {
    if (ComPortKind(kPfadPort, port.c_str()) < 0) {
      return FehlerMelden(o, AUFRUF_FEHLER,
                          "\n" + std::string(ausUmgebung ? "ZPK3X_PORT=" : "--port ") + port +
                              T(": tcp://HOST:PORT oder rfc2217://HOST:PORT", ": tcp://HOST:PORT or rfc2217://HOST:PORT"));
    }
    if (port.find_first_not_of("0123456789") != std::string::npos) {
      v->port = kPfadPort;
      v->pfad = port;
    } else if (port.size() == 1 && PortNummer(port[0] - '0')) {
      v->port = port[0] - '0';
    } else {
      return FehlerMelden(o, AUFRUF_FEHLER,
                          "\n" + std::string(ausUmgebung ? "ZPK3X_PORT=" : "--port ") + port +
                              T(": 1 bis 8 oder ein Gerätepfad", ": 1 to 8 or a device path"));
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
  v->fehlerPfad.clear();
  v->fehlerGrund.clear();
  ErrorCode err = 0;
  err = OLQZPK3X_OpenDevice(v->port, v->pfad.c_str(), baudrate);
  char geraet[512] = {};
  int systemfehler = 0;
  const ComOpenResult ergebnis = GetComOpenResult(geraet, sizeof geraet, &systemfehler);
  const bool netz = ComPortKind(v->port, v->pfad.c_str()) > COM_KIND_LOCAL;
  if (err != 0 && netz) {
    // A network port: the layer says "URL: reason" in its own words.
    const std::string text = ComLastError();
    const std::size_t schema = text.find("://");
    const std::size_t trenner = text.find(": ", schema == std::string::npos ? 0 : schema + 3);
    v->fehlerPfad = trenner == std::string::npos ? text : text.substr(0, trenner);
    v->fehlerGrund = trenner == std::string::npos ? "" : text.substr(trenner + 2);
    return err;
  }
  if (err != 0) {
    v->fehlerPfad = geraet;
    v->fehlerGrund = Grund(ergebnis, systemfehler, geraet);
    return err;
  }
  // A lock binds only programs that take it: whoever else has the device open
  // would read our answers or talk across our frames.
  // A device server refuses a second client itself.
  if (const std::vector<Portinhaber> inhaber = netz ? std::vector<Portinhaber>{} : AnderePortinhaber(geraet);
      !inhaber.empty()) {
    OLQZPK3X_Close(v->port);
    v->fehlerPfad = geraet;
    v->fehlerGrund = T("von einem anderen Programm belegt", "held by another program") + InhaberText(inhaber);
    return kPortNichtZuOeffnen;
  }
  v->offen = true;
  return OLQZPK3X_Timeout(v->port, v->timeout);
}

int PortFehlerMelden(const Optionen& o, const Verbindung& v, ErrorCode code) {
  if (v.fehlerPfad.empty() && v.fehlerGrund.empty()) return FehlerMelden(o, code);
  Json angaben = {{"path", v.fehlerPfad}};
  if (!v.fehlerGrund.empty()) angaben["reason"] = v.fehlerGrund;
  return FehlerMelden(o, code, "\n" + v.fehlerPfad + (v.fehlerGrund.empty() ? "" : ": " + v.fehlerGrund), angaben);
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

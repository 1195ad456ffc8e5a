#include "zpk3x-cli/Verbindung.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <system_error>
#include <vector>

#include "Geraetemeldungen/Geraetemeldungen.h"
#include "ini/ini.h"
#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232.h"
#include "zpk3x-cli/Ausgabe.h"
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
  const ErrorCode err = PortOeffnenGeprueft(v->port, v->pfad, baudrate, v->timeout, &v->fehler);
  char geraet[512] = {};
  GetComOpenResult(geraet, sizeof geraet, nullptr);
  v->geraet = ComPortKind(v->port, v->pfad.c_str()) > COM_KIND_LOCAL ? v->pfad : std::string(geraet);
  if (v->geraet.empty()) v->geraet = v->pfad;
  // Windows opens "\\.\COM3"; the user knows it, and typed it, as COM3.
  if (v->geraet.rfind("\\\\.\\", 0) == 0) v->geraet.erase(0, 4);
  v->offen = err == 0;
  if (v->offen) {
    FehlerOrtSetzen([v](std::string* detail, Json* angaben) {
      *detail += "\n" + VerbindungText(*v);
      VerbindungJson(*v, angaben);
    });
  }
  return err;
}

int PortFehlerMelden(const Optionen& o, const Verbindung& v, ErrorCode code) {
  const Portfehler& f = v.fehler;
  if (f.pfad.empty() && f.grund.empty()) return FehlerMelden(o, code);
  Json angaben = {{"port", f.pfad}};
  if (!f.grund.empty()) angaben["reason"] = f.grund;
  if (!f.grundCode.empty()) angaben["reason_code"] = f.grundCode;
  // A busy port always lists its holders, empty where the system does not tell
  // them (Windows, another user's process), so that a script finds one schema.
  if (!f.inhaber.empty() || f.grundCode == "busy") {
    Json inhaber = Json::array();
    for (const Portinhaber& p : f.inhaber) inhaber.push_back({{"pid", p.pid}, {"name", p.name}});
    angaben["holders"] = inhaber;
  }
  return FehlerMelden(o, code, "\n" + f.pfad + (f.grund.empty() ? "" : ": " + f.grund), angaben);
}

std::string VerbindungText(const Verbindung& v) {
  return VerbindungsText(v.port, v.geraet.empty() ? v.pfad : v.geraet, v.baudrate, v.adresse);
}

void VerbindungJson(const Verbindung& v, Json* angaben) {
  (*angaben)["port"] = v.geraet.empty() ? v.pfad : v.geraet;
  if (ComPortKind(v.port, v.pfad.c_str()) == COM_KIND_TCP) {
    (*angaben)["baud_rate"] = nullptr;  // the device server's, not ours to know
  } else {
    (*angaben)["baud_rate"] = v.baudrate;
  }
  (*angaben)["address"] = v.adresse - '0';
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

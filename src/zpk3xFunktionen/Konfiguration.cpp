// Configuration file: connection settings and language, read once at start and
// written once at exit.
#include "Com/Com.h"
#include "OLQ_errorV3/OLQ_errorV3.h"
#include "ini/ini.h"
#include "ini/ini_seam.h"
#include "zpk3xFunktionen/zpk3xFunktionen.h"
#include "zpk3xSteuerung/PruefplanFenster.h"
#include "zpk3xSteuerung/Veroeffentlichung.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace {

constexpr const char* kIniDatei = "zpk3xSteuerung.ini";
constexpr const char* kSektion = "ZPK3X";

constexpr int kIniDateiNichtGefunden = -802208;
constexpr int kIniLesefehler = -801209;
constexpr int kIniSchreibfehler = -800210;

constexpr int kIniKannNichtOeffnen = -5001;  // the INI module's "cannot open for reading"

bool PortGueltig(int wert) { return wert == -1 || (wert >= 1 && wert <= 8); }

bool AdresseGueltig(int wert) { return wert == '&' || (wert >= '1' && wert <= '8'); }

bool BaudrateGueltig(int wert) { return wert == 1200 || wert == 2400 || wert == 4800 || wert == 9600; }

// True when the key holds a valid integer.
bool IntLesen(IniText ini, const char* tag, int* wert) { return Ini_GetInt(ini, kSektion, tag, wert) > 0; }

// A text of the [MQTT] section; false when the key is missing.
bool MqttLesen(IniText ini, const char* tag, std::string* wert) {
  const std::string* text = Ini_FindValueText(ini, "MQTT", tag);
  if (text != nullptr) *wert = *text;
  return text != nullptr;
}

}  // namespace

ErrorCode IniLaden() {
  IniText ini = Ini_New(1);
  const int gelesen = Ini_ReadFromFile(ini, kIniDatei);
  if (gelesen < 0) {
    Ini_Dispose(ini);
    return gelesen == kIniKannNichtOeffnen ? kIniDateiNichtGefunden : kIniLesefehler;
  }

  int wert = 0;
  if (IntLesen(ini, "port", &wert) && PortGueltig(wert)) gCom.port = wert;
  if (IntLesen(ini, "lport", &wert) && PortGueltig(wert)) gCom.lport = wert;
  if (IntLesen(ini, "adresse", &wert) && AdresseGueltig(wert)) gCom.adresse = static_cast<char>(wert);
  if (IntLesen(ini, "baudrate", &wert) && BaudrateGueltig(wert)) gCom.baudrate = wert;

  // The test plans' records: a folder name as the operator wrote it; it is kept
  // in the file, not written by this program.
  const std::string* ordner = Ini_FindValueText(ini, kSektion, "protokollordner");
  gProtokollordner = ordner != nullptr && !ordner->empty() ? *ordner : PROTOKOLLORDNER_STANDARD;

  MqttKonfiguration& mqtt = gMqttKonfiguration;
  mqtt = MqttKonfiguration{};
  MqttLesen(ini, "ZPK3X_MQTT", &mqtt.url);
  mqtt.stationGegeben = MqttLesen(ini, "ZPK3X_MQTT_STATION", &mqtt.station);
  MqttLesen(ini, "ZPK3X_MQTT_CA", &mqtt.ca);
  mqtt.passwortGegeben = MqttLesen(ini, "ZPK3X_MQTT_PASSWORD", &mqtt.passwort);

  const bool englisch = IntLesen(ini, "sprache", &wert) && wert == 2;
  gSprache = 1;
  OLQ_Fehlersprache(1);
  if (englisch) {
    gSprache = 2;
    gSpracheNeu = 2;
    OLQ_Fehlersprache(2);
  }

  Ini_Dispose(ini);
  return 0;
}

ErrorCode IniSchreiben() {
  IniText ini = Ini_New(1);
  // Starting from the file as it stands keeps what this program does not write
  // itself, such as the [MQTT] section; a missing or unreadable file starts empty.
  if (Ini_ReadFromFile(ini, kIniDatei) < 0) {
    Ini_Dispose(ini);
    ini = Ini_New(1);
  }
  // The port open at exit, not the one chosen, so a failed open is not retried
  // at every start.
  Ini_PutInt(ini, kSektion, "port", gCom.offenerPort);
  Ini_PutInt(ini, kSektion, "lport", gCom.lport);
  Ini_PutInt(ini, kSektion, "adresse", static_cast<unsigned char>(gCom.adresse));
  Ini_PutInt(ini, kSektion, "baudrate", gCom.baudrate);
  Ini_PutInt(ini, kSektion, "sprache", gSpracheNeu);
  const int geschrieben = Ini_WriteToFile(ini, kIniDatei);
  Ini_Dispose(ini);
  return geschrieben < 0 ? kIniSchreibfehler : 0;
}

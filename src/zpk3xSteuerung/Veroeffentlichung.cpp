#include "zpk3xSteuerung/Veroeffentlichung.h"

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <mutex>

#include "Com/Com.h"
#include "Programmtransfer/Programmtransfer.h"
#include "Telemetrie/Telemetrie.h"
#include "Verlauf/VerlaufDaten.h"
#include "olqzpk3x/olqzpk3x.h"
#include "toolkit/toolkit.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"

MqttKonfiguration gMqttKonfiguration;

namespace {

std::unique_ptr<MqttSender> gSender;
MqttMeta gMeta;
int gKennungPort = -2;  // the port whose identity gMeta holds

// The broker's problem as the publishing thread last told it, shown by the
// window's own thread until it works again.
std::mutex gHinweisSperre;
std::string gProblem;

std::string Einstellung(const char* name, const std::string& ausDatei, bool* gegeben) {
  if (const char* wert = std::getenv(name); wert != nullptr) {
    if (gegeben != nullptr) *gegeben = true;
    return wert;
  }
  return ausDatei;
}

void Zeigen(const std::string& text) {
  SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERLED, 1);
  SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERSTRING, text.c_str());
  SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERNUMMER, 0);
}

// Where and how often, as the window now stands.
void MetaFuellen() {
  gMeta.port = std::to_string(gCom.offenerPort);
  gMeta.baudrate = gCom.baudrate;
  gMeta.adresse = gCom.adresse;
  GetCtrlAttribute(gPanelHandle, MAINPANEL_TIMER, ATTR_INTERVAL, &gMeta.intervall);
}

}  // namespace

void VeroeffentlichungStarten() {
  const MqttKonfiguration& k = gMqttKonfiguration;
  MqttEinstellungen e;
  e.url = Einstellung("ZPK3X_MQTT", k.url, nullptr);
  if (e.url.empty()) return;
  e.stationGegeben = k.stationGegeben;
  e.station = Einstellung("ZPK3X_MQTT_STATION", k.station, &e.stationGegeben);
  e.ca = Einstellung("ZPK3X_MQTT_CA", k.ca, nullptr);
  bool passwortGegeben = k.passwortGegeben;
  static std::string passwort;
  passwort = Einstellung("ZPK3X_MQTT_PASSWORD", k.passwort, &passwortGegeben);
  e.passwort = passwortGegeben ? passwort.c_str() : nullptr;
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) name[0] = '\0';
  e.standardStation = MqttStandardStation(name, "zpk3x");
  e.englisch = gSprache == 2;
  e.hinweis = [](const std::string& text, bool problem) {
    std::lock_guard<std::mutex> sperre(gHinweisSperre);
    gProblem = problem ? text : std::string();
  };
  gMeta = MqttMeta{};
  gMeta.version = ZPK3X_VERSION;
  gMeta.start = VerlaufZeitstempel(VerlaufJetztMs());
  gKennungPort = -2;
  MetaFuellen();
  e.meta = gMeta;
  MqttFeld feld = MqttFeld::Keines;
  std::string detail;
  if (MqttVerbinden(e, &gSender, &feld, &detail) != 0) {
    const char* name = feld == MqttFeld::Station ? "ZPK3X_MQTT_STATION " : feld == MqttFeld::Ca ? "ZPK3X_MQTT_CA " : "ZPK3X_MQTT ";
    Zeigen("MQTT: " + std::string(name) + detail);
  }
}

void VeroeffentlichungAbfrage(ErrorCode fehler, const Istwerte& werte) {
  if (!gSender) return;
  // Which device: asked once per port, at the first query that reached it.
  if (fehler == 0 && gKennungPort != gCom.offenerPort) {
    char kennung[32] = {};
    gKennungPort = gCom.offenerPort;
    gMeta.kennung = OLQZPK3X_IDLesen(gCom.offenerPort, gCom.adresse, kennung) == 0 ? kennung : "";
  }
  MetaFuellen();
  gSender->MetaSetzen(gMeta);
  MqttAbfrage a;
  a.zeit = VerlaufZeitstempel(VerlaufJetztMs());
  a.fehler = fehler;
  if (fehler != 0) {
    MqttMeldungen(fehler, &a);
  } else {
    a.strom = werte.strom;
    a.spannung = werte.spannung;
    a.status = werte.status;
  }
  gSender->Abfrage(a);
}

void VeroeffentlichungZeigen() {
  std::string text;
  {
    std::lock_guard<std::mutex> sperre(gHinweisSperre);
    text = gProblem;
  }
  // A device error in the line comes first.
  int nummer = 0;
  GetCtrlVal(gPanelHandle, MAINPANEL_FEHLERNUMMER, &nummer);
  if (!text.empty() && nummer == 0) Zeigen(text);
}

void VeroeffentlichungErgebnis(const std::string& zusammenfassung) {
  if (gSender) gSender->Ergebnis(zusammenfassung);
}

void VeroeffentlichungBeenden() { gSender.reset(); }

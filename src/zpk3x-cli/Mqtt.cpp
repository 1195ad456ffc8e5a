#include "zpk3x-cli/Mqtt.h"

#include "Verlauf/VerlaufDaten.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>

#include "zpk3x-cli/Ausgabe.h"

namespace {

std::string Rechnername() {
#ifdef _WIN32
  const char* name = std::getenv("COMPUTERNAME");
  return name != nullptr ? name : "";
#else
  char name[256] = {};
  return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
#endif
}

}  // namespace

int MqttStarten(const Optionen& o, const Verbindung& v, const MqttMeta& meta, std::unique_ptr<MqttSender>* sender) {
  MqttAdresse a;
  std::string grund;
  if (MqttAdresseLesen(o.mqtt, &a, &grund, Englisch()) && a.mitPasswort) {
    std::fprintf(stderr, "%s\n",
                 T("zpk3x-cli: Warnung: das Passwort in der --mqtt-URL steht in der Prozessliste; besser ZPK3X_MQTT_PASSWORD setzen",
                   "zpk3x-cli: warning: the password in the --mqtt URL shows in the process list; set ZPK3X_MQTT_PASSWORD instead"));
  }
  MqttEinstellungen e;
  e.url = o.mqtt;
  e.ca = o.mqttCa;
  e.station = o.station;
  e.stationGegeben = o.stationGegeben;
  e.standardStation = MqttStandardStation(Rechnername(), v.pfad.empty() ? "port" + std::to_string(v.port)
                                                                        : v.pfad.substr(v.pfad.find_last_of('/') + 1));
  e.passwort = std::getenv("ZPK3X_MQTT_PASSWORD");
  e.englisch = Englisch();
  e.hinweis = [](const std::string& text, bool) {
    std::fprintf(stderr, "zpk3x-cli: %s\n", text.c_str());
    std::fflush(stderr);
  };
  e.meta = meta;
  e.metaFolgt = true;  // the monitor asks the device's identity first
  MqttFeld feld = MqttFeld::Keines;
  std::string detail;
  const ErrorCode err = MqttVerbinden(e, sender, &feld, &detail);
  if (err == 0) return EXIT_OK;
  const char* option = feld == MqttFeld::Url       ? "--mqtt: "
                       : feld == MqttFeld::Station ? "--station "
                       : feld == MqttFeld::Ca      ? (err == MQTT_CA_DATEI ? "--mqtt-ca " : "--mqtt-ca: ")
                                                   : "";
  std::string text = "\n";
  text += option;
  text += detail;
  return FehlerMelden(o, err, text);
}

MqttMeta MqttMetaFuer(const Verbindung& v) {
  MqttMeta meta;
  meta.port = v.pfad.empty() ? std::to_string(v.port) : v.pfad;
  meta.baudrate = v.baudrate;
  meta.adresse = v.adresse;
  meta.version = ZPK3X_VERSION;
  meta.start = VerlaufZeitstempel(VerlaufJetztMs());
  return meta;
}

// The Windows build has no MQTT client library: publishing says so instead of
// silently publishing nothing.
#include "Telemetrie/Telemetrie.h"

ErrorCode MqttVerbinden(const MqttEinstellungen& e, std::unique_ptr<MqttSender>*, MqttFeld* feld, std::string* detail) {
  *feld = MqttFeld::Url;
  *detail = e.englisch ? "not available on Windows (Linux only)" : "unter Windows nicht verfügbar (nur Linux)";
  return MQTT_ANGABE_FALSCH;
}

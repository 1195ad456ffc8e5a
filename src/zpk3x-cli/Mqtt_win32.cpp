// The Windows build has no MQTT client library: --mqtt says so instead of
// silently publishing nothing.
#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Mqtt.h"

int MqttStarten(const Optionen& o, const Verbindung&, const MqttMeta&, std::unique_ptr<MqttSender>*) {
  return FehlerMelden(o, AUFRUF_FEHLER, "\n--mqtt: " + std::string(T("unter Windows nicht verfügbar (nur Linux)",
                                                                      "not available on Windows (Linux only)")));
}

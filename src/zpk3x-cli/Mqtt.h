#pragma once
// monitor --mqtt: the options made into the publisher's settings (the publisher
// itself is in Telemetrie, shared with the window).
#include <memory>

#include "Telemetrie/Telemetrie.h"
#include "zpk3x-cli/Befehle.h"
#include "zpk3x-cli/Verbindung.h"

// Checks the options and connects in the background, never waiting for the
// broker. A refusal on the first attempt ends the monitor (Abgewiesen); later
// ones are retried while the recording goes on. An exit status; *sender is set on EXIT_OK.
// What the meta topic says of the line and the run's start, for every command
// that publishes.
MqttMeta MqttMetaFuer(const Verbindung& v);

int MqttStarten(const Optionen& o, const Verbindung& v, const MqttMeta& meta, std::unique_ptr<MqttSender>* sender);

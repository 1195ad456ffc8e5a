#pragma once
// Control commands that steer the simulated device (faults, status, programs,
// dump). The command set is documented in tests/support/sim_harness.h.
#include <string>
#include <string_view>
#include <vector>

#include "device.h"

namespace zpksim {

struct ControlReply {
  std::vector<std::string> lines;  // reply lines before the final "ok"
  bool ok = true;
  std::string error;  // reason when !ok
};

ControlReply runControl(std::string_view command, Device& device, Clock::time_point now);

// "\xHH" in control texts stands for the byte HH, so tests can send control bytes.
std::string unescape(std::string_view text);
// The other way round, for the frame log: printable ASCII stays, the rest is "\xHH".
std::string escape(std::string_view bytes);

// Reads "program n ..." lines (blank lines and lines starting with ";" are skipped).
bool loadPrograms(const std::string& path, Device& device, std::string& error);

}  // namespace zpksim

// Serial port layer, the part every platform shares: the port table, the checks
// of the arguments, the test seam and the scripted port. The device itself is
// reached through rs232_platform.h.
#include <cmath>
#include <initializer_list>
#include <string>

#include "rs232/rs232.h"
#include "rs232/rs232_platform.h"
#include "rs232/rs232_seam_internal.h"

namespace {

constexpr int kPorts = 8;
// Until SetComTime is called; the program always sets its own right after opening.
constexpr double kDefaultTimeout = 1.0;

struct PortState {
  bool open = false;
  bool scripted = false;
  rs232platform::Device device;
  long baud = 0;
  double timeout = kDefaultTimeout;
  std::string identity;  // "" for the scripted port
};

PortState gPorts[kPorts + 1];

PortState* openPort(int port) {
  if (port < 1 || port > kPorts || !gPorts[port].open) return nullptr;
  return &gPorts[port];
}

double effectiveTimeout(const PortState& p) {
  double over = rs232seam::timeoutOverride();
  return over > 0 ? over : p.timeout;
}

bool supportedBaud(long baud) {
  for (long rate : {300L, 600L, 1200L, 2400L, 4800L, 9600L, 19200L, 38400L, 57600L, 115200L}) {
    if (rate == baud) return true;
  }
  return false;
}

}  // namespace

int OpenComConfig(int port, const char* deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize) {
  if (port < 1 || port > kPorts) return -1;
  if (!supportedBaud(baudRate) || parity < 0 || parity > 2 || dataBits < 5 || dataBits > 8 ||
      stopBits < 1 || stopBits > 2 || inputQueueSize < 0 || outputQueueSize < 0) {
    return -1;
  }
  // Opening an open port configures it anew, as a reopen would.
  if (gPorts[port].open) {
    if (!gPorts[port].scripted) rs232platform::close(gPorts[port].device);
    gPorts[port] = PortState{};
  }
  if (rs232seam::takeFailure(Rs232Op::Open)) return -1;

  PortState p;
  p.baud = baudRate;
  if (rs232seam::isScripted(port) && (deviceName == nullptr || deviceName[0] == '\0')) {
    rs232seam::recordLineSettings(Rs232LineSettings{dataBits, parity, stopBits, true, false, true, baudRate});
    p.scripted = true;
  } else {
    const rs232platform::LineRequest line{baudRate, parity, dataBits, stopBits, inputQueueSize, outputQueueSize};
    if (!rs232platform::open(port, deviceName, line, &p.device)) return -1;
    p.identity = rs232platform::identity(p.device);
  }
  p.open = true;
  gPorts[port] = p;
  return 0;
}

int CloseCom(int port) {
  PortState* p = openPort(port);
  if (p == nullptr) return -1;
  bool failed = rs232seam::takeFailure(Rs232Op::Close);
  rs232platform::Device device = p->device;
  bool scripted = p->scripted;
  // The port counts as closed even when the device reports an error.
  *p = PortState{};
  if (!scripted && !rs232platform::close(device)) failed = true;
  return failed ? -1 : 0;
}

int SetComTime(int port, double timeoutSeconds) {
  PortState* p = openPort(port);
  if (p == nullptr || !(timeoutSeconds > 0) || !std::isfinite(timeoutSeconds)) return -1;
  if (rs232seam::takeFailure(Rs232Op::SetTime)) return -1;
  p->timeout = timeoutSeconds;
  return 0;
}

int FlushInQ(int port) {
  PortState* p = openPort(port);
  if (p == nullptr || rs232seam::takeFailure(Rs232Op::FlushIn)) return -1;
  if (p->scripted) return 0;
  return rs232platform::flushInput(p->device) ? 0 : -1;
}

int FlushOutQ(int port) {
  PortState* p = openPort(port);
  if (p == nullptr || rs232seam::takeFailure(Rs232Op::FlushOut)) return -1;
  if (p->scripted) return 0;
  // Discard only what has not been sent. On a pseudo-terminal a written frame
  // leaves the queue at once but waits in the far end's input until it is read,
  // and a flush would drop it there: a broadcast followed at once by the next
  // frame would never reach the device.
  int pending = rs232platform::outputQueueLength(p->device);
  if (pending < 0) return -1;
  if (pending == 0) return 0;
  return rs232platform::flushOutput(p->device) ? 0 : -1;
}

int ComWrt(int port, const char* buffer, int count) {
  PortState* p = openPort(port);
  if (p == nullptr || buffer == nullptr || count < 0) return -1;
  if (rs232seam::takeFailure(Rs232Op::Write)) return -1;
  int limit = rs232seam::takeShortWrite();
  if (limit >= 0 && limit < count) count = limit;
  if (p->scripted) return rs232seam::scriptedWrite(port, buffer, count);
  return rs232platform::write(p->device, buffer, count, effectiveTimeout(*p));
}

int GetOutQLen(int port) {
  PortState* p = openPort(port);
  if (p == nullptr || rs232seam::takeFailure(Rs232Op::OutQLen)) return -1;
  if (int armed = 0; rs232seam::outQueueOverride(&armed)) return armed;
  if (p->scripted) return 0;
  return rs232platform::outputQueueLength(p->device);
}

int ComRdByte(int port) {
  PortState* p = openPort(port);
  if (p == nullptr || rs232seam::takeFailure(Rs232Op::ReadByte)) return -1;
  if (p->scripted) return rs232seam::scriptedRead(port);
  return rs232platform::readByte(p->device, effectiveTimeout(*p));
}

long GetComBaudRate(int port) {
  const PortState* p = openPort(port);
  return p == nullptr ? 0 : p->baud;
}

double GetComTime(int port) {
  const PortState* p = openPort(port);
  return p == nullptr ? -1.0 : effectiveTimeout(*p);
}

int ComRdByteWithin(int port, double seconds) {
  PortState* p = openPort(port);
  if (p == nullptr || rs232seam::takeFailure(Rs232Op::ReadByte)) return -1;
  if (p->scripted || !(seconds > 0)) return -1;
  return rs232platform::readByte(p->device, seconds);
}

std::string GetComIdentity(int port) {
  const PortState* p = openPort(port);
  return p == nullptr ? std::string() : p->identity;
}

bool ComOwedAnswerRecorded(int port) {
  const PortState* p = openPort(port);
  return p != nullptr && !p->identity.empty() && rs232platform::owedAnswerRecorded(p->identity);
}

void ComOwedAnswerRecord(int port, bool owed) {
  const PortState* p = openPort(port);
  if (p != nullptr && !p->identity.empty()) rs232platform::owedAnswerRecord(p->identity, owed);
}

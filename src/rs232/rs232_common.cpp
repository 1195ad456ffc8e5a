// Serial port layer, the part every platform shares: the port table, the checks
// of the arguments, the test seam and the scripted port. The device itself is
// reached through rs232_platform.h.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "rs232/rs232.h"
#include "rs232/rs232_frist.h"
#include "rs232/rs232_net.h"
#include "rs232/rs232_platform.h"
#include "rs232/rs232_seam_internal.h"

namespace {

constexpr int kPorts = COM_PORT_SLOTS;
// Until SetComTime is called; the program always sets its own right after opening.
constexpr double kDefaultTimeout = 1.0;

struct PortState {
  bool open = false;
  bool scripted = false;
  rs232platform::Device device;
  rs232net::Connection* net = nullptr;  // a network port instead of a device
  bool fixedRate = false;               // the line's rate is not ours to set
  std::intptr_t netLock = -2;           // our lock on the network port, named by recordKey(identity)
  std::string identity;
  long long since = 0;  // when the device came to be, 0 for network ports
  long baud = 0;
  double timeout = kDefaultTimeout;
  // What one read brought beyond the byte asked for: served first, in order,
  // and seen by the look before the next frame (ComRdWaiting).
  std::string eingang;
  std::size_t eingangPos = 0;
};

bool hatEingang(const PortState& p) { return p.eingangPos < p.eingang.size(); }

int naechstesEingang(PortState& p) { return static_cast<unsigned char>(p.eingang[p.eingangPos++]); }

// The identity as a file name on every platform ("tcp:[::1]:2001" has colons).
std::string recordKey(const std::string& identity) {
  std::string key = identity;
  for (char& c : key) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    if (!plain) c = '_';
  }
  return key;
}

PortState gPorts[kPorts + 1];
// Per thread: two threads writing to two network ports must not share it.
thread_local std::string gLastError;

// The network name a port is given, directly or through ZPK3X_COM<n>; every
// other name is left to the platform's own mapping.
rs232net::Address networkName(int port, const char* deviceName) {
  if (deviceName != nullptr && deviceName[0] != '\0') return rs232net::parseName(deviceName);
  if (port < 1 || port > COM_PORTS) return rs232net::Address{};
  char var[16];
  std::snprintf(var, sizeof var, "ZPK3X_COM%d", port);
  return rs232net::parseName(std::getenv(var));
}

// Closes what the port holds, device or connection.
bool release(PortState& p) {
  if (p.scripted) return true;
  if (p.net != nullptr) {
    rs232net::close(p.net);
    p.net = nullptr;
    rs232platform::releaseNamed(p.netLock, recordKey(p.identity));
    p.netLock = -2;
    return true;
  }
  return rs232platform::close(p.device);
}

struct OpenRecord {
  std::string device;
  ComOpenResult result = COM_OPEN_OK;
  int systemError = 0;
};
OpenRecord gLastOpen;

ComTraceHook gTrace = nullptr;
void* gTraceContext = nullptr;

void traceEmpfang(int port, int b) {
  if (gTrace == nullptr) return;
  const char c = static_cast<char>(b);
  gTrace(port, 0, &c, b < 0 ? -1 : 1, gTraceContext);
}

// One read of whatever the device or connection has, into the port's buffer
// (which is empty); the platform's result (> 0 bytes, -1, -2, -3).
int fuellen(PortState& p, double seconds) {
  unsigned char chunk[256];
  const int n = p.net != nullptr ? rs232net::readSome(p.net, chunk, sizeof chunk, seconds)
                                 : rs232platform::readSome(p.device, chunk, sizeof chunk, seconds);
  if (n > 0) {
    p.eingang.assign(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(n));
    p.eingangPos = 0;
  }
  return n;
}

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
  gLastOpen = OpenRecord{deviceName != nullptr ? deviceName : "", COM_OPEN_INVALID, 0};
  // The ports beyond the COM numbers have no device of their own.
  const bool named = deviceName != nullptr && deviceName[0] != '\0';
  if (port < 1 || port > kPorts || (port > COM_PORTS && !named)) return -1;
  if (!supportedBaud(baudRate) || parity < 0 || parity > 2 || dataBits < 5 || dataBits > 8 ||
      stopBits < 1 || stopBits > 2 || inputQueueSize < 0 || outputQueueSize < 0) {
    return -1;
  }
  gLastOpen.result = COM_OPEN_SYSTEM;
  // Opening an open port configures it anew, as a reopen would.
  if (gPorts[port].open) {
    release(gPorts[port]);
    gPorts[port] = PortState{};
  }
  gLastError.clear();
  if (rs232seam::takeFailure(Rs232Op::Open)) return -1;

  PortState p;
  p.baud = baudRate;
  const rs232platform::LineRequest line{baudRate, parity, dataBits, stopBits, inputQueueSize, outputQueueSize};
  const rs232net::Address address = networkName(port, deviceName);
  if (rs232seam::isScripted(port) && (deviceName == nullptr || deviceName[0] == '\0')) {
    rs232seam::recordLineSettings(Rs232LineSettings{dataBits, parity, stopBits, true, false, true, baudRate});
    p.scripted = true;
  } else if (address.kind == rs232net::Kind::Invalid) {
    gLastError = "not a network port name: expected tcp://HOST:PORT or rfc2217://HOST:PORT";
    return -1;
  } else if (address.kind != rs232net::Kind::Local) {
    std::string why;
    const std::string named = rs232net::identity(address);
    const std::string url = (address.kind == rs232net::Kind::Raw ? "tcp://" : "rfc2217://") + named.substr(4);
    p.net = rs232net::open(address, line, &why);
    if (p.net == nullptr) {
      gLastError = url + ": " + why;
      return -1;
    }
    // Keyed by the server's address, not the name: tcp://localhost:P and
    // tcp://127.0.0.1:P are one device. The lock is taken only now, for a name
    // that resolved and a server that took us, and keeps two of our programs on
    // one machine apart where the server itself might not.
    p.identity = rs232net::connectedIdentity(p.net);
    if (p.identity.empty()) p.identity = named;
    p.netLock = rs232platform::claimNamed(recordKey(p.identity));
    if (p.netLock == -1) {
      rs232net::close(p.net);
      gLastError = url + ": held by another program on this machine";
      return -1;
    }
    p.fixedRate = address.kind == rs232net::Kind::Raw;
  } else {
    if (!rs232platform::open(port, deviceName, line, &p.device)) return -1;
    p.identity = rs232platform::identity(p.device, &p.since);
  }
  gLastOpen.result = COM_OPEN_OK;
  p.open = true;
  gPorts[port] = p;
  return 0;
}

int CloseCom(int port) {
  PortState* p = openPort(port);
  if (p == nullptr) return -1;
  bool failed = rs232seam::takeFailure(Rs232Op::Close);
  PortState closing = *p;
  // The port counts as closed even when the device reports an error.
  *p = PortState{};
  if (!release(closing)) failed = true;
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
  // Nothing is discarded unseen: what waits is read and shown first.
  char seen[256];
  for (int total = 0; total < 4096;) {
    const int n = ComRdWaiting(port, seen, sizeof seen);
    if (n <= 0) break;
    total += n;
  }
  if (p->net != nullptr) {
    rs232net::flushInput(p->net);
    return 0;
  }
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
  int pending = p->net != nullptr ? rs232net::outputQueueLength(p->net) : rs232platform::outputQueueLength(p->device);
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
  int n;
  if (p->scripted) {
    n = rs232seam::scriptedWrite(port, buffer, count);
  } else if (p->net != nullptr) {
    n = rs232net::write(p->net, buffer, count, effectiveTimeout(*p), &gLastError);
  } else {
    n = rs232platform::write(p->device, buffer, count, effectiveTimeout(*p));
  }
  if (gTrace != nullptr && n > 0) gTrace(port, 1, buffer, n, gTraceContext);
  return n;
}

int GetOutQLen(int port) {
  PortState* p = openPort(port);
  if (p == nullptr || rs232seam::takeFailure(Rs232Op::OutQLen)) return -1;
  if (int armed = 0; rs232seam::outQueueOverride(&armed)) return armed;
  if (p->scripted) return 0;
  if (p->net != nullptr) return rs232net::outputQueueLength(p->net);
  return rs232platform::outputQueueLength(p->device);
}

int ComRdByte(int port) {
  PortState* p = openPort(port);
  if (p == nullptr || rs232seam::takeFailure(Rs232Op::ReadByte)) return -1;
  int b;
  if (hatEingang(*p)) {
    b = naechstesEingang(*p);
  } else if (p->scripted) {
    b = rs232seam::scriptedRead(port);
  } else {
    const int n = fuellen(*p, effectiveTimeout(*p));
    b = n > 0 ? naechstesEingang(*p) : n;
  }
  traceEmpfang(port, b);
  return b;
}

int ComRdWaiting(int port, char* buffer, int size) {
  PortState* p = openPort(port);
  if (p == nullptr || buffer == nullptr || size <= 0 || rs232seam::takeFailure(Rs232Op::FlushIn)) return -1;
  if (p->scripted) return 0;
  if (!hatEingang(*p)) {
    // One look, no wait: the usual case, nothing there, costs one system call.
    const int n = fuellen(*p, 0.0);
    if (n == -1) return 0;
    if (n < 0) return -1;
  }
  int count = 0;
  while (count < size && hatEingang(*p)) {
    const int b = naechstesEingang(*p);
    buffer[count++] = static_cast<char>(b);
    traceEmpfang(port, b);
  }
  return count;
}

int ComLineLost(int port) {
  PortState* p = openPort(port);
  if (p == nullptr || p->scripted) return 0;
  // A connection the server closed or reset is a network port's hang-up.
  if (p->net != nullptr) return rs232net::lineLost(p->net) ? 1 : 0;
  return rs232platform::lineLost(p->device) ? 1 : 0;
}

long GetComBaudRate(int port) {
  const PortState* p = openPort(port);
  return p == nullptr ? 0 : p->baud;
}

double GetComTime(int port) {
  const PortState* p = openPort(port);
  return p == nullptr ? -1.0 : effectiveTimeout(*p);
}

int ComPortKind(int port, const char* deviceName) {
  switch (networkName(port, deviceName).kind) {
    case rs232net::Kind::Raw: return COM_KIND_TCP;
    case rs232net::Kind::Rfc2217: return COM_KIND_RFC2217;
    case rs232net::Kind::Invalid: return -1;
    default: return COM_KIND_LOCAL;
  }
}

int ComFixedRate(int port) {
  const PortState* p = openPort(port);
  return p != nullptr && p->fixedRate ? 1 : 0;
}

int ComPortIdentity(int port, char* buffer, int size) {
  const PortState* p = openPort(port);
  if (p == nullptr || p->identity.empty() || buffer == nullptr || size <= static_cast<int>(p->identity.size())) return -1;
  std::memcpy(buffer, p->identity.c_str(), p->identity.size() + 1);
  return static_cast<int>(p->identity.size());
}

const char* ComLastError() { return gLastError.c_str(); }

ComOpenResult GetComOpenResult(char* device, int size, int* systemError) {
  if (device != nullptr && size > 0) {
    const std::size_t n = std::min(gLastOpen.device.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(device, gLastOpen.device.data(), n);
    device[n] = '\0';
  }
  if (systemError != nullptr) *systemError = gLastOpen.systemError;
  return gLastOpen.result;
}

rs232frist::WaitHook rs232frist::gWaitHook = nullptr;
rs232frist::AbortCheck rs232frist::gAbortCheck = nullptr;

void SetComAbortCheck(ComAbortCheck check) { rs232frist::gAbortCheck = check; }

ComAbortCheck GetComAbortCheck() { return rs232frist::gAbortCheck; }

thread_local int rs232frist::tAusgesetzt = 0;

void ComAbortCheckAside(bool aside) {
  if (aside) {
    ++rs232frist::tAusgesetzt;
  } else if (rs232frist::tAusgesetzt > 0) {
    --rs232frist::tAusgesetzt;
  }
}

int ComAbortRequested() { return rs232frist::abgebrochen() ? 1 : 0; }

void SetComWaitHook(ComWaitHook hook) { rs232frist::gWaitHook = hook; }

void SetComTrace(ComTraceHook hook, void* context) {
  gTrace = hook;
  gTraceContext = context;
}

void ComTraceNote(int port, const char* text) {
  if (gTrace != nullptr && text != nullptr) gTrace(port, 2, text, static_cast<int>(std::strlen(text)), gTraceContext);
}

namespace rs232platform {

void noteOpen(const std::string& device, ComOpenResult result, int systemError) {
  gLastOpen.device = device;
  gLastOpen.result = result;
  gLastOpen.systemError = systemError;
}

}  // namespace rs232platform

int ComRdByteWithin(int port, double seconds) {
  PortState* p = openPort(port);
  if (p == nullptr || rs232seam::takeFailure(Rs232Op::ReadByte)) return -1;
  int b = -1;
  if (hatEingang(*p)) {
    b = naechstesEingang(*p);
  } else if (p->scripted || !(seconds > 0)) {
    return -1;
  } else {
    const int n = fuellen(*p, seconds);
    b = n > 0 ? naechstesEingang(*p) : n;
  }
  // A byte seen here is shown like any other; a short look that saw nothing is no event.
  if (b >= 0) traceEmpfang(port, b);
  return b;
}

std::string GetComIdentity(int port) {
  const PortState* p = openPort(port);
  return p == nullptr ? std::string() : p->identity;
}

namespace {

// Every port of one device server shares what is owed: a raw and an RFC 2217
// accepter may serve the same line. Network identities are "tcp:HOST:PORT".
std::string recordIdentity(const PortState& p) {
  if (p.net == nullptr) return p.identity;
  const std::size_t colon = p.identity.rfind(':');
  return colon == std::string::npos || colon < 4 ? p.identity : p.identity.substr(0, colon);
}

}  // namespace

bool ComOwedAnswerRecorded(int port, std::string* text) {
  if (text != nullptr) text->clear();
  const PortState* p = openPort(port);
  std::string content;
  if (p == nullptr || p->identity.empty() ||
      !rs232platform::owedAnswerRecorded(recordKey(recordIdentity(*p)), &content, p->since))
    return false;
  if (text != nullptr) *text = content;
  return true;
}

bool ComOwedAnswerRecord(int port, const char* text) {
  const PortState* p = openPort(port);
  if (p == nullptr || p->identity.empty()) return true;
  return rs232platform::owedAnswerRecord(recordKey(recordIdentity(*p)), text);
}

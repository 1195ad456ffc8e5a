// Network ports of the serial layer (see rs232_net.h).
#include "rs232/rs232_net.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

#include "rs232/rs232_frist.h"
#include "rs232/rs232_seam_internal.h"
#include "rs232/rs232_socket.h"
#include "rs232/rs232_telnet.h"

namespace rs232net {

namespace {

using rs232frist::Clock;
using rs232frist::deadlineAfter;
using rs232frist::secondsUntil;
namespace tn = rs232telnet;

constexpr int kChunk = 4096;
// A raw server that refuses a client (its port in use) says so and closes right
// after accepting. The open watches for that a few round trips long, measured by
// the connection's own set-up: 10 ms plus four times that on a local network.
constexpr double kRawSettleMinimum = 0.01;
constexpr double kRawSettleMaximum = 0.5;
// Bytes a flush discards at most; a server that sends without pause cannot keep it busy.
constexpr int kFlushLimit = 256 * kChunk;
constexpr int kRefusalRetries = 5;
constexpr int kRefusalPauseMs = 100;
// Data kept while the connection is set up or flushed; beyond it, it is stale anyway.
constexpr std::size_t kReceiveLimit = 16 * kChunk;


bool validHost(const std::string& host, bool bracketed) {
  if (host.empty() || host.size() > 253) return false;
  for (char c : host) {
    const bool ok = std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '_' ||
                    (bracketed && (c == ':' || c == '%'));
    if (!ok) return false;
  }
  return !bracketed || host.find(':') != std::string::npos;
}

bool validPort(const std::string& port) {
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
  const long n = std::stol(port);
  return n >= 1 && n <= 65535;
}

}  // namespace

struct Connection {
  Address address;
  rs232platform::LineRequest line;
  rs232socket::Socket socket = rs232socket::kNoSocket;
  tn::Decoder decoder;
  std::string received;  // decoded data not read yet
  std::size_t readPos = 0;
  bool broken = false;
  bool closedByServer = false;  // the latest set-up ended with the server closing
};

namespace {

// Decodes what came in; false when the negotiation's answers could not be sent.
bool take(Connection* c, const char* chunk, int n) {
  if (c->readPos == c->received.size() || c->received.size() > kReceiveLimit) {
    c->received.clear();
    c->readPos = 0;
  }
  if (c->address.kind == Kind::Raw) {
    c->received.append(chunk, static_cast<std::size_t>(n));
    return true;
  }
  std::string reply;
  c->decoder.feed(reinterpret_cast<const unsigned char*>(chunk), static_cast<std::size_t>(n), &c->received, &reply);
  return reply.empty() || rs232socket::sendAll(c->socket, reply.data(), static_cast<int>(reply.size()), 1.0);
}

// Receives once, waiting at most `seconds`. 1 something came, 0 nothing, -1 the
// connection is gone (and marked so).
int pump(Connection* c, double seconds) {
  char chunk[kChunk];
  const int n = rs232socket::receive(c->socket, chunk, kChunk, seconds);
  if (n == 0) return 0;
  if (n < 0 || !take(c, chunk, n)) {
    c->broken = true;
    return -1;
  }
  return 1;
}

bool sendControl(Connection* c, const std::string& bytes) {
  if (rs232socket::sendAll(c->socket, bytes.data(), static_cast<int>(bytes.size()), 1.0)) return true;
  c->broken = true;
  return false;
}

std::string closedText(Connection* c) {
  c->closedByServer = true;
  std::string text = "connection closed by the server";
  std::string said;
  for (char ch : c->received.substr(c->readPos, 120)) {
    if (ch >= 0x20 && ch < 0x7F) said.push_back(ch);
  }
  if (!said.empty()) text += ": " + said;
  return text;
}

// The raw server's settle time: fails when it closes the connection at once.
bool settleRaw(Connection* c, double connectSeconds, std::string* why) {
  const auto deadline = deadlineAfter(std::min(kRawSettleMinimum + 4 * connectSeconds, kRawSettleMaximum));
  while (Clock::now() < deadline && c->received.size() < 1024) {
    if (pump(c, secondsUntil(deadline)) < 0) {
      *why = closedText(c);
      return false;
    }
  }
  c->received.clear();
  c->readPos = 0;
  return true;
}

// Waits until `done` holds, the server closes, or the deadline passes.
template <typename Done>
bool await(Connection* c, Clock::time_point deadline, Done done, std::string* why, const char* what) {
  while (!done()) {
    if (c->decoder.comPortRefused()) {
      *why = "the server does not offer RFC 2217 port control";
      return false;
    }
    const double left = secondsUntil(deadline);
    if (left <= 0) {
      *why = what;
      return false;
    }
    if (pump(c, left) < 0) {
      *why = closedText(c);
      return false;
    }
  }
  return true;
}

bool setLine(Connection* c, Clock::time_point deadline, std::string* why) {
  const rs232platform::LineRequest& l = c->line;
  // RFC 2217 codes: parity 1 none, 2 odd, 3 even; stop size 1 one, 2 two; control 1 no flow control.
  const unsigned char parity = static_cast<unsigned char>(l.parity == 1 ? 2 : (l.parity == 2 ? 3 : 1));
  std::string settings = tn::comPortBaudRate(static_cast<std::uint32_t>(l.baudRate));
  settings += tn::comPortCommand(tn::kSetDataSize, static_cast<unsigned char>(l.dataBits));
  settings += tn::comPortCommand(tn::kSetParity, parity);
  settings += tn::comPortCommand(tn::kSetStopSize, static_cast<unsigned char>(l.stopBits));
  settings += tn::comPortCommand(tn::kSetControl, 1);
  settings += tn::comPortCommand(tn::kSetLineStateMask, tn::kLineStateErrors);
  settings += tn::comPortCommand(tn::kSetModemStateMask, 0);
  settings += tn::comPortCommand(tn::kPurgeData, 3);
  rs232seam::recordLineSettings(Rs232LineSettings{l.dataBits, l.parity, l.stopBits, true, false, true, l.baudRate});
  if (!sendControl(c, settings)) {
    *why = "the line settings could not be sent";
    return false;
  }
  if (!await(c, deadline, [c] { return c->decoder.baudReply() >= 0; }, why,
             "the server did not confirm the line settings within the connect time-out")) {
    return false;
  }
  if (c->decoder.baudReply() != l.baudRate) {
    *why = "the server set " + std::to_string(c->decoder.baudReply()) + " baud instead of " + std::to_string(l.baudRate);
    return false;
  }
  return true;
}

bool connect(Connection* c, std::string* why) {
  const auto deadline = deadlineAfter(kConnectTimeoutSeconds);
  c->socket = rs232socket::connectTo(c->address.host, c->address.port, kConnectTimeoutSeconds, why);
  if (c->socket == rs232socket::kNoSocket) return false;
  const double connectSeconds = kConnectTimeoutSeconds - secondsUntil(deadline);
  c->broken = false;
  c->closedByServer = false;
  c->received.clear();
  c->readPos = 0;
  bool ok = false;
  if (c->address.kind == Kind::Raw) {
    ok = settleRaw(c, connectSeconds, why);
  } else {
    c->decoder = tn::Decoder{};
    c->decoder.requestOptions();
    ok = sendControl(c, tn::openingNegotiation()) &&
         await(c, deadline, [c] { return c->decoder.comPortAccepted(); }, why,
               "the server did not take up RFC 2217 port control within the connect time-out") &&
         setLine(c, deadline, why);
    if (!ok && why->empty()) *why = "the connection broke while it was set up";
    // A send that fails during set-up means the server closed the connection,
    // as ser2net does while its device is still held for the previous client:
    // a refusal like one at once, tried again.
    if (!ok && c->broken) c->closedByServer = true;
    c->received.clear();
    c->readPos = 0;
  }
  if (!ok) {
    rs232socket::closeSocket(c->socket);
    c->socket = rs232socket::kNoSocket;
  }
  return ok;
}

bool reconnectIfLost(Connection* c, std::string* why) {
  if (!c->broken && c->socket != rs232socket::kNoSocket) return true;
  rs232socket::closeSocket(c->socket);
  c->socket = rs232socket::kNoSocket;
  return connect(c, why);
}

}  // namespace

Address parseName(const char* name) {
  Address a;
  if (name == nullptr) return a;
  std::string text = name;
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  std::size_t rest = 0;
  if (lower.rfind("tcp://", 0) == 0) {
    a.kind = Kind::Raw;
    rest = 6;
  } else if (lower.rfind("rfc2217://", 0) == 0) {
    a.kind = Kind::Rfc2217;
    rest = 10;
  } else {
    return a;
  }
  const std::string hostPort = text.substr(rest);
  std::size_t colon = std::string::npos;
  bool bracketed = false;
  if (!hostPort.empty() && hostPort[0] == '[') {
    const std::size_t close = hostPort.find(']');
    bracketed = true;
    if (close != std::string::npos && close + 1 < hostPort.size() && hostPort[close + 1] == ':') {
      a.host = hostPort.substr(1, close - 1);
      colon = close + 1;
    }
  } else {
    colon = hostPort.find(':');
    if (colon != std::string::npos) a.host = hostPort.substr(0, colon);
  }
  if (colon != std::string::npos) a.port = hostPort.substr(colon + 1);
  if (colon == std::string::npos || !validHost(a.host, bracketed) || !validPort(a.port)) a.kind = Kind::Invalid;
  return a;
}

std::string identity(const Address& address) {
  std::string host = address.host;
  std::transform(host.begin(), host.end(), host.begin(), [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return "tcp:" + host + ":" + address.port;
}

Connection* open(const Address& address, const rs232platform::LineRequest& line, std::string* why) {
  if (address.kind != Kind::Raw && address.kind != Kind::Rfc2217) {
    *why = "not a network port name";
    return nullptr;
  }
  auto* c = new Connection{address, line, rs232socket::kNoSocket, {}, {}, 0, false, false};
  // A server lets go of its device a moment after the previous client left (a
  // port reopened at another rate, another of its ports on the same device) and
  // refuses until then: such a refusal is tried again for a short while.
  for (int attempt = 0; !connect(c, why); ++attempt) {
    if (!c->closedByServer || attempt == kRefusalRetries) {
      delete c;
      return nullptr;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kRefusalPauseMs));
  }
  return c;
}

void close(Connection* c) {
  if (c == nullptr) return;
  rs232socket::closeSocket(c->socket);
  delete c;
}

void flushInput(Connection* c) {
  // What the server sent before and what waits in the socket is stale.
  c->received.clear();
  c->readPos = 0;
  for (int drained = 0; !c->broken && drained < kFlushLimit; drained += kChunk) {
    if (pump(c, 0.0) <= 0) break;
    c->received.clear();
    c->readPos = 0;
  }
  c->decoder.clearLineError();
  // A lost connection holds nothing; the write that follows connects again.
  if (c->broken || c->address.kind == Kind::Raw) return;
  // The server's own receive buffer too; the answer to the next frame comes after
  // it. Should this fail, the connection counts as lost, as above.
  sendControl(c, tn::comPortCommand(tn::kPurgeData, 1));
}

int outputQueueLength(Connection*) {
  // Every write hands all its bytes to the system, which sends them on its own.
  return 0;
}

int write(Connection* c, const char* buffer, int count, double timeoutSeconds, std::string* why) {
  if (!reconnectIfLost(c, why)) return -1;
  const std::string bytes = c->address.kind == Kind::Raw
                                ? std::string(buffer, static_cast<std::size_t>(count))
                                : tn::encodeData(buffer, static_cast<std::size_t>(count), c->decoder.binaryToServer());
  if (!rs232socket::sendAll(c->socket, bytes.data(), static_cast<int>(bytes.size()), timeoutSeconds)) {
    c->broken = true;
    *why = "the connection broke while sending";
    return -1;
  }
  return count;
}

int readSome(Connection* c, unsigned char* buffer, int size, double timeoutSeconds) {
  // The deadline is fixed once: telnet commands or notifications that arrive in
  // between do not prolong the wait.
  const auto deadline = deadlineAfter(timeoutSeconds);
  for (;;) {
    if (c->decoder.takeLineError()) return -1;
    if (c->readPos < c->received.size()) {
      const std::size_t n = std::min(c->received.size() - c->readPos, static_cast<std::size_t>(size));
      std::memcpy(buffer, c->received.data() + c->readPos, n);
      c->readPos += n;
      return static_cast<int>(n);
    }
    // A lost connection answers nothing more; the next flush or write connects again.
    if (c->broken || c->socket == rs232socket::kNoSocket) return -1;
    if (rs232frist::abgebrochen()) return -3;
    // With an abort check, waits of at most one slice, so that a request is seen.
    double wait = secondsUntil(deadline);
    if (rs232frist::gAbortCheck != nullptr) wait = std::min(wait, rs232frist::kWaitSliceMs / 1000.0);
    if (pump(c, wait) < 0) return -1;
    if (c->readPos < c->received.size()) continue;
    // Nothing, or only commands: a server that sends nothing else still meets the deadline.
    if (Clock::now() >= deadline) return -1;
  }
}

std::string connectedIdentity(Connection* c) {
  return c == nullptr || c->socket == rs232socket::kNoSocket ? std::string() : rs232socket::peerName(c->socket);
}

bool lineLost(Connection* c) {
  if (c->broken || c->socket == rs232socket::kNoSocket) return true;
  if (rs232socket::closedByPeer(c->socket)) c->broken = true;
  return c->broken;
}

}  // namespace rs232net

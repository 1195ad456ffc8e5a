#pragma once
// Network ports of the serial layer: a serial device server reached over TCP,
// either raw (the server's line settings stand) or with RFC 2217 (the program sets
// them). rs232_common.cpp calls these where it calls rs232_platform.h for a
// device file; sockets come from rs232_socket.h.
#include <string>

#include "rs232/rs232_platform.h"

namespace rs232net {

enum class Kind { Local, Raw, Rfc2217, Invalid };

// A port name split up: "tcp://HOST:PORT" is Raw, "rfc2217://HOST:PORT" Rfc2217
// (HOST a name, an IPv4 address or an IPv6 address in brackets; PORT 1 to
// 65535); a name with either prefix that does not fit is Invalid, anything else Local.
struct Address {
  Kind kind = Kind::Local;
  std::string host;  // without brackets
  std::string port;
};
Address parseName(const char* name);

// How the program's lock and records name the port before it is connected:
// "tcp:HOST:PORT" for both kinds, the host in lower case and an IPv6 address in
// brackets. Once connected, connectedIdentity names it by the server's address.
std::string identity(const Address& address);

// How long a connection may take to be made and set up.
constexpr double kConnectTimeoutSeconds = 3.0;

struct Connection;

// Connects and, for RFC 2217, sets the line as `line` asks. Null on failure,
// with *why naming the cause.
Connection* open(const Address& address, const rs232platform::LineRequest& line, std::string* why);
void close(Connection* c);
void flushInput(Connection* c);
int outputQueueLength(Connection* c);
// After a lost connection, the next write connects again; *why as for open.
int write(Connection* c, const char* buffer, int count, double timeoutSeconds, std::string* why);
// As rs232platform::readSome.
int readSome(Connection* c, unsigned char* buffer, int size, double timeoutSeconds);
// The server actually reached, by its numeric address and port ("tcp:ADDRESS:PORT"),
// the same for every name that leads to it; "" when not connected.
std::string connectedIdentity(Connection* c);
// True when the server closed or reset the connection (seen now, without a
// transfer) or it broke during one: the port's line has hung up.
bool lineLost(Connection* c);

}  // namespace rs232net

#pragma once
// TCP sockets as the network ports need them; rs232_socket_posix.cpp and
// rs232_socket_win32.cpp each implement them once. Every wait is bounded.
#include <cstdint>
#include <string>

namespace rs232socket {

using Socket = std::intptr_t;
constexpr Socket kNoSocket = -1;

// Connects to `host` (a name or a numeric address) and `port` within
// `timeoutSeconds`, trying each address the name resolves to. The socket sends
// without delay (no Nagle) and keeps the connection alive while idle. On failure
// *why says what went wrong (refused, time-out, unknown host, ...).
Socket connectTo(const std::string& host, const std::string& port, double timeoutSeconds, std::string* why);

// Sends all `n` bytes, waiting at most `timeoutSeconds` for room; false when not
// all of them could be handed to the system.
bool sendAll(Socket s, const char* data, int n, double timeoutSeconds);

// Receives up to `size` bytes, waiting at most `timeoutSeconds` (0: only what is
// there). The number received, 0 when nothing came in time, -1 when the server
// closed or reset the connection or the socket failed.
int receive(Socket s, char* buffer, int size, double timeoutSeconds);

// True when the server has closed or reset the connection, seen at once and
// without taking any data; false while data waits or nothing happened.
bool closedByPeer(Socket s);

void closeSocket(Socket s);

// The connected peer as the lock and the records name it: "tcp:ADDRESS:PORT",
// the address numeric (an IPv6 one in brackets), so that every name of one
// server gives the same text; "" when the system cannot tell.
std::string peerName(Socket s);

// The text peerName gives for a numeric address and port, on every platform.
inline std::string peerText(std::string address, const std::string& service) {
  // An IPv4 address reached through an IPv6 socket is the same server.
  if (address.rfind("::ffff:", 0) == 0 && address.find('.') != std::string::npos) address = address.substr(7);
  if (address.find(':') != std::string::npos) address = "[" + address + "]";
  return "tcp:" + address + ":" + service;
}

}  // namespace rs232socket

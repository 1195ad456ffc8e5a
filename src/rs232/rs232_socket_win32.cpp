// TCP sockets on Winsock for the network ports (see rs232_socket.h).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "rs232/rs232_frist.h"
#include "rs232/rs232_socket.h"

namespace {

// SIO_TCP_SET_ACK_FREQUENCY, which mingw's headers do not name.
constexpr DWORD kSetAckFrequency = _WSAIOW(IOC_VENDOR, 23);

using rs232frist::Clock;
using rs232frist::deadlineAfter;

// The next slice of a wait (see rs232frist::Slices); false when the wait has
// timed out meanwhile.
bool nextSlice(rs232frist::Slices& slices, timeval* tv) {
  const long long ms = slices.next();
  if (ms < 0) return false;
  *tv = timeval{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
  return true;
}

bool started() {
  static const bool ok = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ok;
}

// Waits until the socket is writable (or failed), at most until the deadline.
// 1 ready, 0 time-out, -1 error.
int waitWritable(SOCKET s, Clock::time_point deadline, bool connecting) {
  rs232frist::Slices slices(deadline);
  for (;;) {
    fd_set write, except;
    FD_ZERO(&write);
    FD_ZERO(&except);
    FD_SET(s, &write);
    FD_SET(s, &except);
    timeval tv{};
    if (!nextSlice(slices, &tv)) return 0;
    const int r = select(0, nullptr, &write, connecting ? &except : nullptr, &tv);
    if (r < 0) return -1;
    if (r > 0) return FD_ISSET(s, &write) ? 1 : -1;
    if (rs232frist::msUntil(deadline) == 0) return 0;
  }
}

// A silent peer is noticed after about 20 s of idleness, as on the other platforms.
void tune(SOCKET s) {
  BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
  tcp_keepalive k{1, 10000, 5000};
  DWORD returned = 0;
  WSAIoctl(s, SIO_KEEPALIVE_VALS, &k, sizeof k, nullptr, 0, &returned, nullptr, nullptr);
  // Acknowledge every segment at once: a server with Nagle's algorithm would hold
  // the device's next bytes for a delayed acknowledgement (Windows 10 and later;
  // elsewhere the call fails and nothing changes).
  DWORD everySegment = 1;
  WSAIoctl(s, kSetAckFrequency, &everySegment, sizeof everySegment, nullptr, 0, &returned, nullptr, nullptr);
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
}

}  // namespace

namespace rs232socket {

Socket connectTo(const std::string& host, const std::string& port, double timeoutSeconds, std::string* why) {
  if (!started()) {
    *why = "no network (WSAStartup failed)";
    return kNoSocket;
  }
  const auto deadline = deadlineAfter(timeoutSeconds);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (int r = getaddrinfo(host.c_str(), port.c_str(), &hints, &list); r != 0) {
    *why = "host not found (error " + std::to_string(r) + ")";
    return kNoSocket;
  }
  bool timedOut = false;
  int error = 0;
  SOCKET found = INVALID_SOCKET;
  for (const addrinfo* a = list; a != nullptr && found == INVALID_SOCKET && !timedOut; a = a->ai_next) {
    SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
      error = WSAGetLastError();
      continue;
    }
    tune(s);
    if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) {
      found = s;
      break;
    }
    error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      const int r = waitWritable(s, deadline, true);
      if (r == 1) {
        found = s;
        break;
      }
      timedOut = r == 0;
      int soError = 0;
      int len = sizeof soError;
      getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len);
      error = soError != 0 ? soError : error;
    }
    closesocket(s);
  }
  freeaddrinfo(list);
  if (found != INVALID_SOCKET) return static_cast<Socket>(found);
  char text[96];
  if (timedOut) {
    std::snprintf(text, sizeof text, "no connection within %g s (connect time-out)", timeoutSeconds);
  } else if (error == WSAECONNREFUSED) {
    std::snprintf(text, sizeof text, "connection refused");
  } else {
    std::snprintf(text, sizeof text, "connection failed (error %d)", error);
  }
  *why = text;
  return kNoSocket;
}

bool sendAll(Socket sock, const char* data, int n, double timeoutSeconds) {
  const SOCKET s = static_cast<SOCKET>(sock);
  const auto deadline = deadlineAfter(timeoutSeconds);
  int done = 0;
  while (done < n) {
    const int r = send(s, data + done, n - done, 0);
    if (r > 0) {
      done += r;
      continue;
    }
    if (r < 0 && WSAGetLastError() != WSAEWOULDBLOCK) return false;
    if (waitWritable(s, deadline, false) != 1) return false;
  }
  return true;
}

int receive(Socket sock, char* buffer, int size, double timeoutSeconds) {
  const SOCKET s = static_cast<SOCKET>(sock);
  const auto deadline = deadlineAfter(timeoutSeconds);
  rs232frist::Slices slices(deadline);
  for (;;) {
    const int r = recv(s, buffer, size, 0);
    if (r > 0) return r;
    if (r == 0) return -1;  // closed by the server
    if (WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    fd_set read;
    FD_ZERO(&read);
    FD_SET(s, &read);
    timeval tv{};
    if (!nextSlice(slices, &tv)) return 0;
    const int sr = select(0, &read, nullptr, nullptr, &tv);
    if (sr < 0) return -1;
    if (sr == 0 && rs232frist::msUntil(deadline) == 0) return 0;
  }
}

bool closedByPeer(Socket sock) {
  if (sock == kNoSocket) return true;
  char c = 0;
  const int r = recv(static_cast<SOCKET>(sock), &c, 1, MSG_PEEK);
  if (r > 0) return false;
  return r == 0 || WSAGetLastError() != WSAEWOULDBLOCK;
}

void closeSocket(Socket s) {
  if (s != kNoSocket) closesocket(static_cast<SOCKET>(s));
}

std::string peerName(Socket s) {
  sockaddr_storage peer{};
  int length = sizeof peer;
  if (::getpeername(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&peer), &length) != 0) return "";
  char host[NI_MAXHOST] = {};
  char service[NI_MAXSERV] = {};
  if (::getnameinfo(reinterpret_cast<sockaddr*>(&peer), length, host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return "";
  }
  return peerText(host, service);
}

}  // namespace rs232socket

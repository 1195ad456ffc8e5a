// TCP sockets on POSIX for the network ports (see rs232_socket.h).
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "rs232/rs232_frist.h"
#include "rs232/rs232_socket.h"

namespace {

using rs232frist::Clock;
using rs232frist::deadlineAfter;

// A silent peer (cable pulled, server machine gone) is noticed after about 20 s
// of idleness even when nothing is sent.
void tune(int fd) {
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  int idle = 10, interval = 5, count = 2;
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

std::string reason(int error) {
  switch (error) {
    case ECONNREFUSED: return "connection refused";
    case ETIMEDOUT: return "no connection (time-out)";
    case ENETUNREACH: return "network unreachable";
    case EHOSTUNREACH: return "host unreachable";
    default: return std::strerror(error);
  }
}

// One address: non-blocking connect, waited for until the deadline. 0, or the error.
int tryAddress(const addrinfo* a, Clock::time_point deadline, int* out) {
  rs232frist::Slices slices(deadline);
  int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
  if (fd < 0) return errno;
  tune(fd);
  int error = 0;
  if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
    error = errno;
    while (error == EINPROGRESS || error == EINTR) {
      pollfd p{fd, POLLOUT, 0};
      const int part = slices.next();
      if (part <= 0) {
        error = ETIMEDOUT;
        break;
      }
      const int r = ::poll(&p, 1, part);
      if (r == 0 || (r < 0 && errno == EINTR)) continue;  // next() looks at the deadline
      if (r < 0) {
        error = errno;
        break;
      }
      socklen_t len = sizeof error;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
    }
  }
  if (error != 0) {
    ::close(fd);
    return error;
  }
  *out = fd;
  return 0;
}

}  // namespace

namespace rs232socket {

Socket connectTo(const std::string& host, const std::string& port, double timeoutSeconds, std::string* why) {
  const auto deadline = deadlineAfter(timeoutSeconds);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  addrinfo* list = nullptr;
  if (int r = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &list); r != 0) {
    *why = std::string("host not found (") + gai_strerror(r) + ")";
    return kNoSocket;
  }
  int error = 0;
  int fd = -1;
  for (const addrinfo* a = list; a != nullptr && fd < 0; a = a->ai_next) {
    error = tryAddress(a, deadline, &fd);
    if (error == ETIMEDOUT) break;
  }
  ::freeaddrinfo(list);
  if (fd >= 0) return fd;
  if (error == ETIMEDOUT) {
    char text[64];
    std::snprintf(text, sizeof text, "no connection within %g s (connect time-out)", timeoutSeconds);
    *why = text;
  } else {
    *why = reason(error);
  }
  return kNoSocket;
}

bool sendAll(Socket s, const char* data, int n, double timeoutSeconds) {
  const int fd = static_cast<int>(s);
  rs232frist::Slices slices(deadlineAfter(timeoutSeconds));
  int done = 0;
  while (done < n) {
    const ssize_t r = ::send(fd, data + done, static_cast<size_t>(n - done), MSG_NOSIGNAL);
    if (r > 0) {
      done += static_cast<int>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    const int part = slices.next();
    if (part <= 0) return false;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, part) < 0 && errno != EINTR) return false;
  }
  return true;
}

int receive(Socket s, char* buffer, int size, double timeoutSeconds) {
  const int fd = static_cast<int>(s);
  rs232frist::Slices slices(deadlineAfter(timeoutSeconds));
  for (;;) {
    const ssize_t r = ::recv(fd, buffer, static_cast<size_t>(size), 0);
    if (r > 0) {
      // Acknowledge at once: a server that sends with Nagle's algorithm holds
      // the device's next bytes until this segment is acknowledged, and a
      // delayed acknowledgement would stall every answer by some 40 ms. Linux
      // falls back to delaying after each receive, so this is renewed each time.
      int on = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
      return static_cast<int>(r);
    }
    if (r == 0) return -1;  // closed by the server
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    const int part = slices.next();
    if (part <= 0) return 0;
    pollfd p{fd, POLLIN, 0};
    const int pr = ::poll(&p, 1, part);
    if (pr < 0 && errno != EINTR) return -1;
  }
}

bool closedByPeer(Socket s) {
  if (s == kNoSocket) return true;
  char c = 0;
  for (;;) {
    const ssize_t r = ::recv(static_cast<int>(s), &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (r > 0) return false;
    if (r == 0) return true;
    if (errno == EINTR) continue;
    return errno != EAGAIN && errno != EWOULDBLOCK;
  }
}

void closeSocket(Socket s) {
  if (s != kNoSocket) ::close(static_cast<int>(s));
}

std::string peerName(Socket s) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  if (::getpeername(static_cast<int>(s), reinterpret_cast<sockaddr*>(&peer), &length) != 0) return "";
  char host[NI_MAXHOST] = {};
  char service[NI_MAXSERV] = {};
  if (::getnameinfo(reinterpret_cast<sockaddr*>(&peer), length, host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return "";
  }
  return peerText(host, service);
}

}  // namespace rs232socket

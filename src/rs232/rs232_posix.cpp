// Serial port layer on POSIX termios.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "rs232/rs232.h"
#include "rs232/rs232_seam_internal.h"

namespace {

constexpr int kPorts = 8;
// Until SetComTime is called; the program always sets its own right after opening.
constexpr double kDefaultTimeout = 1.0;

struct PortState {
  bool open = false;
  bool scripted = false;
  int fd = -1;
  long baud = 0;
  double timeout = kDefaultTimeout;
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

using Clock = std::chrono::steady_clock;

Clock::time_point deadlineAfter(double seconds) {
  // Capped so that no time-out, however large, can overflow the clock.
  seconds = std::clamp(seconds, 0.0, 86400.0);
  return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

int msUntil(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  // Round up so a sub-millisecond rest still waits rather than spinning.
  return static_cast<int>(std::min<long long>(left + 1, 60 * 60 * 1000));
}

speed_t speedFor(long baud) {
  switch (baud) {
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

std::string deviceFile(int port, const char* deviceName) {
  if (deviceName != nullptr && deviceName[0] != '\0') return deviceName;
  char var[16];
  std::snprintf(var, sizeof var, "ZPK3X_COM%d", port);
  if (const char* mapped = std::getenv(var); mapped != nullptr && mapped[0] != '\0') return mapped;
  return "/dev/ttyS" + std::to_string(port - 1);
}

// What a termios structure asks of the line, for the seam.
Rs232LineSettings describe(const termios& t, long baud) {
  Rs232LineSettings s{};
  switch (t.c_cflag & CSIZE) {
    case CS5: s.dataBits = 5; break;
    case CS6: s.dataBits = 6; break;
    case CS7: s.dataBits = 7; break;
    default: s.dataBits = 8; break;
  }
  s.parity = (t.c_cflag & PARENB) == 0 ? 0 : ((t.c_cflag & PARODD) != 0 ? 1 : 2);
  s.stopBits = (t.c_cflag & CSTOPB) != 0 ? 2 : 1;
  s.rawMode = (t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 && (t.c_oflag & OPOST) == 0 &&
              (t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP)) == 0;
  s.flowControl = (t.c_cflag & CRTSCTS) != 0 || (t.c_iflag & (IXON | IXOFF)) != 0;
  s.clocal = (t.c_cflag & CLOCAL) != 0;
  s.baudRate = baud;
  return s;
}

bool configure(int fd, long baud, int parity, int dataBits, int stopBits) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                       IXON | IXOFF | IXANY | INPCK);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= sizes[dataBits - 5] | CLOCAL | CREAD;
  if (parity != 0) t.c_cflag |= PARENB | (parity == 1 ? PARODD : 0);
  if (stopBits == 2) t.c_cflag |= CSTOPB;
  // Reads are bounded by poll(), so the terminal itself never blocks.
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  speed_t speed = speedFor(baud);
  if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return false;
  rs232seam::recordLineSettings(describe(t, baud));
  if (tcsetattr(fd, TCSANOW, &t) == 0) return true;
  // tcsetattr fails when none of the asked changes could be made, e.g. on a
  // reopened pseudo-terminal that already runs raw at this speed but forces 8N1.
  // Accept the terminal when everything but character size and parity is as asked.
  termios now{};
  if (tcgetattr(fd, &now) != 0) return false;
  constexpr tcflag_t kForced = CSIZE | PARENB | PARODD;
  return cfgetispeed(&now) == speed && cfgetospeed(&now) == speed && now.c_iflag == t.c_iflag &&
         now.c_oflag == t.c_oflag && now.c_lflag == t.c_lflag &&
         (now.c_cflag & ~kForced) == (t.c_cflag & ~kForced);
}

void closePort(PortState& p) {
  if (p.fd >= 0) ::close(p.fd);
  p = PortState{};
}

}  // namespace

int OpenComConfig(int port, const char* deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize) {
  if (port < 1 || port > kPorts) return -1;
  if (speedFor(baudRate) == B0 || parity < 0 || parity > 2 || dataBits < 5 || dataBits > 8 ||
      stopBits < 1 || stopBits > 2 || inputQueueSize < 0 || outputQueueSize < 0) {
    return -1;
  }
  // Opening an open port configures it anew, as a reopen would.
  if (gPorts[port].open) closePort(gPorts[port]);
  if (rs232seam::takeFailure(Rs232Op::Open)) return -1;

  PortState p;
  p.baud = baudRate;
  if (rs232seam::isScripted(port) && (deviceName == nullptr || deviceName[0] == '\0')) {
    termios t{};
    t.c_cflag = CLOCAL | CREAD;
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[dataBits - 5] | (parity != 0 ? PARENB : 0) | (parity == 1 ? PARODD : 0) |
                 (stopBits == 2 ? CSTOPB : 0);
    rs232seam::recordLineSettings(describe(t, baudRate));
    p.scripted = true;
    p.open = true;
    gPorts[port] = p;
    return 0;
  }

  std::string path = deviceFile(port, deviceName);
  // O_NONBLOCK: a real port without carrier must not block in open().
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  // flock rather than TIOCEXCL: the latter does not bind root and would outlive our close
  // while the far end keeps the terminal open.
  if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0 ||
      !configure(fd, baudRate, parity, dataBits, stopBits)) {
    ::close(fd);
    return -1;
  }
  tcflush(fd, TCIOFLUSH);
  p.fd = fd;
  p.open = true;
  gPorts[port] = p;
  return 0;
}

int CloseCom(int port) {
  PortState* p = openPort(port);
  if (p == nullptr) return -1;
  bool failed = rs232seam::takeFailure(Rs232Op::Close);
  int fd = p->fd;
  p->fd = -1;
  closePort(*p);
  // The port counts as closed even when close() reports an error.
  if (fd >= 0 && ::close(fd) != 0) failed = true;
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
  return tcflush(p->fd, TCIFLUSH) == 0 ? 0 : -1;
}

int FlushOutQ(int port) {
  PortState* p = openPort(port);
  if (p == nullptr || rs232seam::takeFailure(Rs232Op::FlushOut)) return -1;
  if (p->scripted) return 0;
  // Discard only what has not been sent. On a pseudo-terminal a written frame
  // leaves the queue at once but waits in the far end's input until it is read,
  // and TCOFLUSH would drop it there: a broadcast followed at once by the next
  // frame would never reach the device.
  int pending = 0;
  if (ioctl(p->fd, TIOCOUTQ, &pending) != 0) return -1;
  if (pending == 0) return 0;
  return tcflush(p->fd, TCOFLUSH) == 0 ? 0 : -1;
}

int ComWrt(int port, const char* buffer, int count) {
  PortState* p = openPort(port);
  if (p == nullptr || buffer == nullptr || count < 0) return -1;
  if (rs232seam::takeFailure(Rs232Op::Write)) return -1;
  int limit = rs232seam::takeShortWrite();
  if (limit >= 0 && limit < count) count = limit;
  if (p->scripted) return rs232seam::scriptedWrite(port, buffer, count);

  int done = 0;
  auto deadline = deadlineAfter(effectiveTimeout(*p));
  while (done < count) {
    ssize_t n = ::write(p->fd, buffer + done, static_cast<size_t>(count - done));
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return done > 0 ? done : -1;
    // Output buffer full: wait for room, but no longer than the time-out.
    int wait = msUntil(deadline);
    if (wait == 0) break;
    pollfd pfd{p->fd, POLLOUT, 0};
    if (::poll(&pfd, 1, wait) < 0 && errno != EINTR) break;
    if ((pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) break;
  }
  return done;
}

int GetOutQLen(int port) {
  PortState* p = openPort(port);
  if (p == nullptr || rs232seam::takeFailure(Rs232Op::OutQLen)) return -1;
  if (int armed = 0; rs232seam::outQueueOverride(&armed)) return armed;
  if (p->scripted) return 0;
  int pending = 0;
  if (ioctl(p->fd, TIOCOUTQ, &pending) != 0) return -1;
  return pending;
}

int ComRdByte(int port) {
  PortState* p = openPort(port);
  if (p == nullptr || rs232seam::takeFailure(Rs232Op::ReadByte)) return -1;
  if (p->scripted) return rs232seam::scriptedRead(port);

  auto deadline = deadlineAfter(effectiveTimeout(*p));
  bool pollSaidReadable = false;
  for (;;) {
    unsigned char byte = 0;
    ssize_t n = ::read(p->fd, &byte, 1);
    if (n == 1) return byte;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    // With VMIN = VTIME = 0 an empty queue reads as 0 bytes; after poll said
    // "readable" it means end of file, which must not turn into a busy loop.
    if (n == 0 && pollSaidReadable) return -1;
    int wait = msUntil(deadline);
    if (wait == 0) return -1;
    pollfd pfd{p->fd, POLLIN, 0};
    int r = ::poll(&pfd, 1, wait);
    if (r < 0 && errno != EINTR) return -1;
    if (r == 0) return -1;
    // A line that hung up has nothing more to give: fail now instead of spinning.
    if ((pfd.revents & POLLIN) == 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return -1;
    pollSaidReadable = (pfd.revents & POLLIN) != 0;
  }
}

long GetComBaudRate(int port) {
  const PortState* p = openPort(port);
  return p == nullptr ? 0 : p->baud;
}

double GetComTime(int port) {
  const PortState* p = openPort(port);
  return p == nullptr ? -1.0 : effectiveTimeout(*p);
}

// Serial port layer on POSIX termios: the device operations of rs232_platform.h.
//
// Port n is the device file named by the environment variable ZPK3X_COM<n> when
// it is set, otherwise /dev/ttyS<n-1>.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "rs232/rs232_frist.h"
#include "rs232/rs232_platform.h"
#include "rs232/rs232_seam_internal.h"

namespace {

using rs232frist::deadlineAfter;

int fdOf(const rs232platform::Device& device) { return static_cast<int>(device.handle); }

// The kernel may end a timed wait as late as the thread's timer slack, 50 us by
// default: 2.5 % of the two-character check at 9600 baud, which ends by its
// time-out whenever the line is in step. For such short waits the slack is
// lowered and the caller's own value put back afterwards.
class KnappeFrist {
 public:
  explicit KnappeFrist(long long us) {
    if (us > kBisUs) return;
    const int alt = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    if (alt > kSlackNs && ::prctl(PR_SET_TIMERSLACK, kSlackNs, 0, 0, 0) == 0) alt_ = alt;
  }
  ~KnappeFrist() {
    if (alt_ > 0) ::prctl(PR_SET_TIMERSLACK, alt_, 0, 0, 0);
  }
  KnappeFrist(const KnappeFrist&) = delete;
  KnappeFrist& operator=(const KnappeFrist&) = delete;

 private:
  static constexpr long long kBisUs = 50'000;
  static constexpr int kSlackNs = 1'000;
  int alt_ = 0;
};

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

bool configure(int fd, const rs232platform::LineRequest& line) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                       IXON | IXOFF | IXANY | INPCK);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= sizes[line.dataBits - 5] | CLOCAL | CREAD;
  if (line.parity != 0) t.c_cflag |= PARENB | (line.parity == 1 ? PARODD : 0);
  if (line.stopBits == 2) t.c_cflag |= CSTOPB;
  // Reads are bounded by poll(), so the terminal itself never blocks.
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  speed_t speed = speedFor(line.baudRate);
  if (speed == B0 || cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return false;
  rs232seam::recordLineSettings(describe(t, line.baudRate));
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

// The cause of a failed open(2) as the layer reports it.
ComOpenResult openFailure(int error) {
  switch (error) {
    case ENOENT: case ENXIO: case ENODEV: case ENOTDIR: return COM_OPEN_NO_DEVICE;
    case EACCES: case EPERM: case EROFS: return COM_OPEN_DENIED;
    case EBUSY: return COM_OPEN_BUSY;
    case EISDIR: return COM_OPEN_NOT_SERIAL;
    default: return COM_OPEN_SYSTEM;
  }
}

// Where the owed-answer records live: beside the system's lock files, else in /tmp.
std::string lockFolder() {
  static const std::string folder = [] {
    for (const char* candidate : {"/run/lock", "/var/lock"}) {
      struct stat st {};
      if (::stat(candidate, &st) == 0 && S_ISDIR(st.st_mode) && ::access(candidate, W_OK) == 0) return std::string(candidate);
    }
    return std::string("/tmp");
  }();
  return folder;
}

// A file of ours beside the system's lock files: the owed-answer record or a lock.
std::string namedPath(const std::string& key, const char* suffix) { return lockFolder() + "/zpk3x-" + key + suffix; }

}  // namespace

namespace rs232platform {

bool open(int port, const char* deviceName, const LineRequest& line, Device* device) {
  std::string path = deviceFile(port, deviceName);
  noteOpen(path, COM_OPEN_SYSTEM);
  // O_NONBLOCK: a real port without carrier must not block in open().
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    noteOpen(path, openFailure(errno), errno);
    return false;
  }
  // flock rather than TIOCEXCL: the latter does not bind root and would outlive our close
  // while the far end keeps the terminal open.
  ComOpenResult fault = COM_OPEN_OK;
  if (!isatty(fd)) {
    fault = COM_OPEN_NOT_SERIAL;
  } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    fault = COM_OPEN_BUSY;
  } else if (!configure(fd, line)) {
    fault = COM_OPEN_SETTINGS;
  }
  if (fault != COM_OPEN_OK) {
    noteOpen(path, fault);
    ::close(fd);
    return false;
  }
  tcflush(fd, TCIOFLUSH);
  *device = Device{fd, 0, -1.0, ""};
  return true;
}

bool close(Device& device) {
  int fd = fdOf(device);
  device = Device{};
  return fd < 0 || ::close(fd) == 0;
}

bool flushInput(Device& device) { return tcflush(fdOf(device), TCIFLUSH) == 0; }

bool flushOutput(Device& device) { return tcflush(fdOf(device), TCOFLUSH) == 0; }

int write(Device& device, const char* buffer, int count, double timeoutSeconds) {
  const int fd = fdOf(device);
  int done = 0;
  rs232frist::Slices slices(deadlineAfter(timeoutSeconds));
  while (done < count) {
    ssize_t n = ::write(fd, buffer + done, static_cast<size_t>(count - done));
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return done > 0 ? done : -1;
    // Output buffer full: wait for room, but no longer than the time-out.
    const int part = slices.next();
    if (part <= 0) break;
    pollfd pfd{fd, POLLOUT, 0};
    if (::poll(&pfd, 1, part) < 0 && errno != EINTR) break;
    if ((pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) break;
  }
  return done;
}

int outputQueueLength(Device& device) {
  int pending = 0;
  if (ioctl(fdOf(device), TIOCOUTQ, &pending) != 0) return -1;
  return pending;
}

int readSome(Device& device, unsigned char* buffer, int size, double timeoutSeconds) {
  const int fd = fdOf(device);
  const auto deadline = deadlineAfter(timeoutSeconds);
  rs232frist::Slices slices(deadline);
  bool pollSaidReadable = false;
  for (;;) {
    // Everything that is there in one call: what follows an answer is kept as
    // evidence by the caller, never lost between single-byte reads.
    ssize_t n = ::read(fd, buffer, static_cast<size_t>(size));
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -2;
    // With VMIN = VTIME = 0 an empty queue reads as 0 bytes; after poll said
    // "readable" it means end of file, which must not turn into a busy loop.
    if (n == 0 && pollSaidReadable) return -2;
    const long long part = slices.nextUs();
    if (part == rs232frist::kAbgebrochen) return -3;
    if (part <= 0) return -1;
    pollfd pfd{fd, POLLIN, 0};
    const timespec span{static_cast<time_t>(part / 1000000), static_cast<long>(part % 1000000) * 1000};
    // By the whole wait, not the slice: the abort check's 40 ms slices would
    // otherwise cost two more system calls per byte on every long wait.
    const KnappeFrist knapp(rs232frist::usUntil(deadline));
    int r = ::ppoll(&pfd, 1, &span, nullptr);
    if (r < 0 && errno != EINTR) return -2;
    if (r == 0) {  // the slice ended; next() looks at the deadline
      pollSaidReadable = false;
      continue;
    }
    // A line that hung up has nothing more to give: fail now instead of spinning.
    if ((pfd.revents & POLLIN) == 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return -2;
    pollSaidReadable = (pfd.revents & POLLIN) != 0;
  }
}

bool lineLost(Device& device) {
  const int fd = fdOf(device);
  if (fd < 0) return false;
  // A hung-up terminal reports it to every poll; a merely silent one does not.
  pollfd pfd{fd, POLLIN, 0};
  if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return true;
  // An adapter that is gone fails every request with one of these.
  termios t{};
  return tcgetattr(fd, &t) != 0 && (errno == EIO || errno == ENODEV || errno == ENXIO || errno == EBADF);
}

std::string identity(const Device& device, long long* since) {
  *since = 0;
  struct stat st {};
  if (fstat(fdOf(device), &st) != 0) return "";
  char text[64];
  if (S_ISCHR(st.st_mode)) {
    *since = static_cast<long long>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    std::snprintf(text, sizeof text, "dev:%u:%u", major(st.st_rdev), minor(st.st_rdev));
  } else {
    std::snprintf(text, sizeof text, "file:%llu:%llu", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
  }
  return text;
}

// The folder is shared and every user may write in it, so the record fails
// closed: only its absence says nothing is owed. A regular file counts whoever
// wrote it (a second operator on the same port); anything else at the name (a
// folder, a link, a pipe), or a file that cannot be read, counts as owed of
// unknown kind (""). A link is never followed. An empty file of the superuser
// or of ours is no record.
bool owedAnswerRecorded(const std::string& identity, std::string* text, long long deviceSince) {
  const int fd = ::open(namedPath(identity, ".owed").c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno != ENOENT;
  struct stat st {};
  char buffer[64];
  ssize_t n = -1;
  const auto geschrieben = [&st] { return static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec; };
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (regular) n = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  // Left for a terminal or adapter of the same number that is gone.
  if (regular && deviceSince != 0 && geschrieben() < deviceSince) return false;
  const bool trusted = regular && (st.st_uid == 0 || st.st_uid == ::geteuid());
  if (n == 0 && trusted) return false;
  if (n > 0) text->assign(buffer, static_cast<std::size_t>(n));
  return true;
}

// Written by its owner only (0644): another user cannot rewrite it to say that
// nothing is owed. What stands at the name and is not our own regular file is
// removed first where the system lets us; false when the record could not be
// written or removed (it then still says what it said, and its reader pays a check).
bool owedAnswerRecord(const std::string& identity, const char* text) {
  const std::string path = namedPath(identity, ".owed");
  struct stat st {};
  const bool there = ::lstat(path.c_str(), &st) == 0;
  const auto entfernen = [&] { return S_ISDIR(st.st_mode) ? ::rmdir(path.c_str()) == 0 : ::unlink(path.c_str()) == 0; };
  if (text == nullptr) return !there || entfernen();
  if (there && (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) && !entfernen()) return false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  struct stat now {};
  bool written = false;
  if (::fstat(fd, &now) == 0 && S_ISREG(now.st_mode) && now.st_uid == ::geteuid()) {
    ::fchmod(fd, 0644);
    const std::size_t length = std::strlen(text);
    written = ::write(fd, text, length) == static_cast<ssize_t>(length);
  }
  ::close(fd);
  return written;
}

std::intptr_t claimNamed(const std::string& key) {
  const std::string path = namedPath(key, ".lock");
  // The file is removed by whoever releases it: a lock taken on a file that was
  // removed meanwhile is no lock, so the name must still lead to what we locked.
  for (int attempt = 0; attempt < 4; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) return -2;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      return -1;
    }
    struct stat held {}, named {};
    if (::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      return fd;
    }
    ::close(fd);
  }
  return -2;
}

void releaseNamed(std::intptr_t lock, const std::string& key) {
  if (lock < 0) return;
  // Removed while still held, so nobody can lock the name's old file after us.
  ::unlink(namedPath(key, ".lock").c_str());
  ::close(static_cast<int>(lock));
}

}  // namespace rs232platform

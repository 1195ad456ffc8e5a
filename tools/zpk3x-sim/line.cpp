#include "line.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zpksim {

namespace {

constexpr size_t kMaxFrame = 1024;  // longer lines are cut; no real frame comes close

speed_t speedCode(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
  }
  return B9600;
}

int speedValue(speed_t code) {
  switch (code) {
    case B50: return 50;
    case B75: return 75;
    case B110: return 110;
    case B134: return 134;
    case B150: return 150;
    case B200: return 200;
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B1800: return 1800;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
  }
  return 0;
}

}  // namespace

Line::~Line() { close(); }

bool Line::create(int baud, std::string& error) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  const char* name = ptsname(master_);
  if (!name) {
    error = "cannot name the pseudo-terminal";
    return false;
  }
  path_ = name;
  slaveKeep_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slaveKeep_ < 0) {
    error = "cannot open " + path_ + ": " + std::strerror(errno);
    return false;
  }
  // Settings made here are the program's settings too, so this happens once only.
  termios tio{};
  if (tcgetattr(master_, &tio) == 0) {
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, speedCode(baud));
    cfsetospeed(&tio, speedCode(baud));
    tcsetattr(master_, TCSANOW, &tio);
  }
  int flags = fcntl(master_, F_GETFL);
  fcntl(master_, F_SETFL, flags | O_NONBLOCK);
  return true;
}

int Line::lineBaud() const {
  termios tio{};
  int fd = slaveKeep_ >= 0 ? slaveKeep_ : master_;
  if (fd < 0 || tcgetattr(fd, &tio) != 0) return 0;
  return speedValue(cfgetospeed(&tio));
}

int Line::unreadByFarEnd() const {
  int n = 0;
  if (slaveKeep_ < 0 || ioctl(slaveKeep_, FIONREAD, &n) != 0) return 0;
  return n;
}

Clock::duration Line::charTime() const {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(10.0 / charBaud_));
}

std::vector<Line::Frame> Line::receive(Clock::time_point now) {
  std::vector<Frame> frames;
  if (master_ < 0) return frames;
  const Clock::duration ct = charTime();
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(master_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EIO) {
      // Nobody holds the far end open: wait instead of spinning on it.
      quietUntil = now + std::chrono::milliseconds(100);
      break;
    }
    if (n <= 0) break;
    const bool more = static_cast<size_t>(n) == sizeof buf;  // a short read took everything
    for (ssize_t i = 0; i < n; ++i) {
      const char c = buf[i];
      if (pace_) rxFree_ = std::max(rxFree_, now) + ct;
      if (c == CR) {
        frames.push_back(Frame{std::move(pending_), pace_ ? rxFree_ : now});
        pending_.clear();
        continue;
      }
      if (pending_.size() < kMaxFrame) pending_ += c;
    }
    if (!more) break;
  }
  return frames;
}

void Line::send(std::string bytes, Clock::time_point notBefore) {
  if (master_ < 0 || bytes.empty()) return;
  out_.push_back(Out{std::move(bytes), 0, notBefore});
}

std::optional<Clock::time_point> Line::flush(Clock::time_point now) {
  blocked_ = false;
  const Clock::duration ct = charTime();
  while (master_ >= 0 && !out_.empty()) {
    Out& o = out_.front();
    if (pace_) {
      // One character at a time, each one character time after the last.
      const Clock::time_point at = std::max(o.notBefore, txFree_) + ct;
      if (at > now) return at;
      ssize_t n = ::write(master_, o.bytes.data() + o.pos, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        blocked_ = errno == EAGAIN;
        if (!blocked_) out_.clear();
        return std::nullopt;
      }
      txFree_ = at;
      ++o.pos;
    } else {
      if (o.notBefore > now) return o.notBefore;
      ssize_t n = ::write(master_, o.bytes.data() + o.pos, o.bytes.size() - o.pos);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        blocked_ = errno == EAGAIN;
        if (!blocked_) out_.clear();  // the line is gone; nothing will take it
        return std::nullopt;
      }
      o.pos += static_cast<size_t>(n);
    }
    if (o.pos == o.bytes.size()) out_.pop_front();
  }
  return std::nullopt;
}

void Line::close() {
  if (slaveKeep_ >= 0) ::close(slaveKeep_);
  if (master_ >= 0) ::close(master_);
  slaveKeep_ = master_ = -1;
  out_.clear();
  pending_.clear();
}

}  // namespace zpksim

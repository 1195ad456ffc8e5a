#pragma once
// A bare terminal client for the simulator's tests: opens the terminal with
// open() and termios, sends frames and collects what comes back.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "sim_harness.h"

namespace simtest {

inline constexpr char kAck = 0x06;
inline constexpr char kNak = 0x15;
inline constexpr char kCan = 0x18;

class RawPort {
 public:
  RawPort(const std::string& path, speed_t speed = B9600) { open(path, speed); }
  ~RawPort() { close(); }
  RawPort(const RawPort&) = delete;
  RawPort& operator=(const RawPort&) = delete;

  bool open(const std::string& path, speed_t speed = B9600) {
    close();
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return false;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tcsetattr(fd_, TCSANOW, &tio);
    tcflush(fd_, TCIOFLUSH);
    return true;
  }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  bool isOpen() const { return fd_ >= 0; }

  bool send(const std::string& frame) {
    const std::string out = frame + "\r";
    return ::write(fd_, out.data(), out.size()) == static_cast<ssize_t>(out.size());
  }

  // One byte, or -1 after `ms` milliseconds without one (or on error).
  int readByte(int ms = 2000) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) != 1 || !(p.revents & POLLIN)) return -1;
    unsigned char c;
    return ::read(fd_, &c, 1) == 1 ? c : -1;
  }

  // Everything that has arrived already, without waiting.
  std::string pending() {
    std::string out;
    for (int c; (c = readByte(0)) >= 0;) out += static_cast<char>(c);
    return out;
  }

  // Sends a frame and returns the answer: one byte, and after an ACK also the
  // answer text up to its CR when `text` is set. Empty on silence.
  std::string transact(const std::string& frame, bool text = false) {
    pending();
    if (!send(frame)) return {};
    std::string out;
    int c = readByte();
    if (c < 0) return out;
    out += static_cast<char>(c);
    if (!text || c != kAck) return out;
    while ((c = readByte()) >= 0) {
      out += static_cast<char>(c);
      if (c == '\r') break;
    }
    return out;
  }

  // The value text of a read answer ("#1C1R0.100\r" -> "0.100"), or a marker of
  // what went wrong so that a comparison shows it.
  std::string read(const std::string& frame) {
    const std::string a = transact(frame, true);
    if (a.size() < 7 || a[0] != kAck || a.back() != '\r') return "<bad answer:" + a + ">";
    if (a.compare(1, 5, frame.substr(0, 5)) != 0) return "<bad echo:" + a + ">";
    return a.substr(6, a.size() - 7);
  }

  // Sends a frame and reports whether nothing at all came back. The simulator
  // answers while it processes a frame, so after a "sync" any answer would be here.
  bool silentTo(const std::string& frame, Simulator& sim) {
    pending();
    if (!send(frame)) return false;
    sim.control("sync");
    return pending().empty();
  }

  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

inline std::string ack() { return std::string(1, kAck); }
inline std::string nak() { return std::string(1, kNak); }
inline std::string can() { return std::string(1, kCan); }

// A simulator with a bare client on its terminal, for one test each.
class SimTest : public ::testing::Test {
 protected:
  Simulator sim;
  RawPort port{sim.ptyPath()};
  void SetUp() override {
    ASSERT_TRUE(sim.ok());
    ASSERT_TRUE(port.isOpen());
  }
};

}  // namespace simtest

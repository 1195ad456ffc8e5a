#pragma once
// Starts Debian's ser2net for a test, serving one terminal (the simulator's) on
// 127.0.0.1: raw TCP on one free port and RFC 2217 on another, 7O1 at 9600 baud
// (or `baud`), with a configuration file the harness writes.
#include <string>

namespace nettest {

// A TCP port on 127.0.0.1 that nothing listens on right now.
int FreePort();

class Ser2net {
 public:
  explicit Ser2net(const std::string& device, int baud = 9600);
  ~Ser2net();  // stops ser2net
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  // Running and listening on both ports.
  bool ok() const;
  std::string rawUrl() const;  // tcp://127.0.0.1:PORT
  std::string rfcUrl() const;  // rfc2217://127.0.0.1:PORT
  // Ends it at once (SIGKILL), as a crash or a pulled server would.
  void kill();
  // Starts it again on the same ports; true once it listens.
  bool restart();

 private:
  bool start();
  std::string dir_, config_;
  int rawPort_ = 0, rfcPort_ = 0;
  int pid_ = -1;
  bool listening_ = false;
};

}  // namespace nettest

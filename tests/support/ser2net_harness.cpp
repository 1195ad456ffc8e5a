#include "ser2net_harness.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace nettest {

namespace {

// True when a socket listens on 127.0.0.1:port (state 0A in /proc/net/tcp);
// probing with a connection would make ser2net open the device.
bool listens(int port) {
  std::ifstream in("/proc/net/tcp");
  std::string line;
  char want[32];
  std::snprintf(want, sizeof want, "0100007F:%04X", port);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (local == want && state == "0A") return true;
  }
  return false;
}

}  // namespace

int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    port = ntohs(a.sin_port);
  }
  ::close(fd);
  return port;
}

Ser2net::Ser2net(const std::string& device, int baud) {
  // A new server is a new device: what an earlier test's server on the same
  // host was owed does not apply to it.
  for (const char* folder : {"/run/lock", "/var/lock", "/tmp"}) ::unlink((std::string(folder) + "/zpk3x-tcp_127.0.0.1.owed").c_str());
  char tmpl[] = "/tmp/zpk3x-ser2net-XXXXXX";
  if (::mkdtemp(tmpl) == nullptr) return;
  dir_ = tmpl;
  config_ = dir_ + "/ser2net.yaml";
  rawPort_ = FreePort();
  rfcPort_ = FreePort();
  while (rfcPort_ == rawPort_) rfcPort_ = FreePort();
  // As the README shows it: without chardelay, ser2net passes each answer on at
  // once instead of waiting for a pause on the line.
  const std::string rest = "," + std::to_string(baud) + "o71,local\n  options:\n    chardelay: false\n";
  std::ofstream(config_) << "connection: &raw\n  accepter: tcp,127.0.0.1," << rawPort_ << "\n  connector: serialdev,"
                         << device << rest << "connection: &rfc\n  accepter: telnet(rfc2217),tcp,127.0.0.1,"
                         << rfcPort_ << "\n  connector: serialdev," << device << rest;
  start();
}

Ser2net::~Ser2net() {
  kill();
  if (!dir_.empty()) {
    ::unlink(config_.c_str());
    ::rmdir(dir_.c_str());
  }
}

bool Ser2net::start() {
  listening_ = false;
  // "-n -d": ser2net stays in the foreground, a child the harness can end.
  std::string program = "ser2net", foreground = "-n", debug = "-d", file = "-c";
  char* const argv[] = {program.data(), foreground.data(), debug.data(), file.data(), config_.data(), nullptr};
  // Its chatter ("Unable to start mdns") stays out of the test's output.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  pid_ = pid;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    if (listens(rawPort_) && listens(rfcPort_)) return listening_ = true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

bool Ser2net::ok() const { return pid_ > 0 && listening_; }

std::string Ser2net::rawUrl() const { return "tcp://127.0.0.1:" + std::to_string(rawPort_); }
std::string Ser2net::rfcUrl() const { return "rfc2217://127.0.0.1:" + std::to_string(rfcPort_); }

void Ser2net::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  listening_ = false;
}

bool Ser2net::restart() {
  kill();
  return start();
}

}  // namespace nettest

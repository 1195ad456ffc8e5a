#include "sim_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

extern char** environ;

namespace simtest {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStartTimeout = std::chrono::seconds(30);
constexpr auto kReplyTimeout = std::chrono::seconds(30);

int msLeft(Clock::time_point deadline) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return ms < 0 ? 0 : static_cast<int>(ms);
}

// One line from fd (without its newline), waiting until the deadline.
bool readLine(int fd, std::string& buffer, std::string& line, Clock::time_point deadline) {
  for (;;) {
    if (auto nl = buffer.find('\n'); nl != std::string::npos) {
      line = buffer.substr(0, nl);
      buffer.erase(0, nl + 1);
      return true;
    }
    pollfd p{fd, POLLIN, 0};
    int r = ::poll(&p, 1, msLeft(deadline));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    char buf[4096];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer.append(buf, static_cast<size_t>(n));
  }
}

}  // namespace

std::string simulatorPath() {
  if (const char* p = std::getenv("ZPK3X_SIM")) return p;
  return ZPK3X_SIM_PATH;
}

struct Simulator::Impl {
  pid_t pid = -1;
  std::string dir, logPath, socketPath, pty;
  int ctl = -1;
  std::string ctlBuffer;
  bool started = false;
  bool lastControlOk = true;
  size_t framesSkipped = 0;  // lines of the log that clearFrames() has hidden
  std::vector<int> mappedPorts;

  void start(const SimOptions& o);
  void stop();
};

namespace {

// A new terminal is a new device: a record that an answer is owed, left by an
// earlier test's device under the same terminal number, does not apply to it.
void forgetOwedAnswers(const std::string& pty) {
  struct stat st {};
  if (::stat(pty.c_str(), &st) != 0) return;
  for (const char* folder : {"/run/lock", "/var/lock", "/tmp"}) {
    char path[128];
    std::snprintf(path, sizeof path, "%s/zpk3x-dev_%u_%u.owed", folder, major(st.st_rdev), minor(st.st_rdev));
    ::unlink(path);
  }
}

}  // namespace

void Simulator::Impl::start(const SimOptions& o) {
  char tmpl[] = "/tmp/zpk3x-sim-XXXXXX";
  if (!::mkdtemp(tmpl)) return;
  dir = tmpl;
  logPath = dir + "/frames.log";
  socketPath = dir + "/ctl";

  std::vector<std::string> args = {simulatorPath(),          "--address", std::string(1, o.address),
                                   "--baud",                 std::to_string(o.baud),
                                   "--log",                  logPath,
                                   "--control",              socketPath};
  if (o.pace) args.push_back("--pace");
  args.insert(args.end(), o.extraArgs.begin(), o.extraArgs.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  // The child starts with no blocked signals, whatever the test process blocks.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
  int rc = ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(out[1]);
  if (rc != 0) {
    pid = -1;
    ::close(out[0]);
    return;
  }

  const auto deadline = Clock::now() + kStartTimeout;
  std::string buffer;
  bool havePath = readLine(out[0], buffer, pty, deadline);
  ::close(out[0]);
  if (!havePath || pty.empty()) return;
  forgetOwedAnswers(pty);

  // The simulator listens before it prints the path; retrying covers a slow start.
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
  while (Clock::now() < deadline) {
    ctl = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (ctl >= 0 && ::connect(ctl, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
      started = true;
      return;
    }
    if (ctl >= 0) ::close(ctl);
    ctl = -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void Simulator::Impl::stop() {
  if (ctl >= 0) ::close(ctl);
  ctl = -1;
  if (pid > 0) {
    ::kill(pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    pid_t r;
    while ((r = ::waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (r == 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
    }
    pid = -1;
  }
  for (int port : mappedPorts) {
    const std::string name = "ZPK3X_COM" + std::to_string(port);
    const char* v = std::getenv(name.c_str());
    if (v && pty == v) ::unsetenv(name.c_str());
  }
  if (!dir.empty()) {
    ::unlink(logPath.c_str());
    ::unlink(socketPath.c_str());
    ::rmdir(dir.c_str());
  }
}

Simulator::Simulator(const SimOptions& options) : impl_(new Impl) { impl_->start(options); }

Simulator::~Simulator() {
  impl_->stop();
  delete impl_;
}

bool Simulator::ok() const {
  if (impl_->pid > 0) {
    int status;
    if (::waitpid(impl_->pid, &status, WNOHANG) == impl_->pid) impl_->pid = -1;  // it has ended
  }
  return impl_->started && impl_->pid > 0 && impl_->lastControlOk;
}

const std::string& Simulator::ptyPath() const { return impl_->pty; }

void Simulator::mapToCom(int port) const {
  ::setenv(("ZPK3X_COM" + std::to_string(port)).c_str(), impl_->pty.c_str(), 1);
  impl_->mappedPorts.push_back(port);
}

std::vector<std::string> Simulator::control(const std::string& command) {
  std::vector<std::string> lines;
  impl_->lastControlOk = false;
  if (impl_->ctl < 0) return {};
  const std::string out = command + "\n";
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::send(impl_->ctl, out.data() + done, out.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return {};
    done += static_cast<size_t>(n);
  }
  const auto deadline = Clock::now() + kReplyTimeout;
  std::string line;
  while (readLine(impl_->ctl, impl_->ctlBuffer, line, deadline)) {
    if (line == "ok") {
      impl_->lastControlOk = true;
      return lines;
    }
    if (line.rfind("error", 0) == 0) {
      std::fprintf(stderr, "zpk3x-sim: '%s': %s\n", command.c_str(), line.c_str());
      return {};
    }
    lines.push_back(line);
  }
  return {};
}

std::vector<std::string> Simulator::frames() {
  std::vector<std::string> out;
  // Everything sent before this call is in the log once the simulator answers.
  control("sync");
  std::ifstream in(impl_->logPath);
  std::string line;
  size_t n = 0;
  while (std::getline(in, line))
    if (n++ >= impl_->framesSkipped) out.push_back(line);
  return out;
}

bool Simulator::drain() {
  control("drain");
  return impl_->lastControlOk;
}

void Simulator::clearFrames() {
  control("sync");
  std::ifstream in(impl_->logPath);
  std::string line;
  size_t n = 0;
  while (std::getline(in, line)) ++n;
  impl_->framesSkipped = n;
}

}  // namespace simtest

// zpk3x-sim: plays a ZPK-3X on a pseudo-terminal. Prints the terminal's path as
// its first line of output; see --help for the options.
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "control.h"
#include "device.h"
#include "line.h"

using namespace zpksim;

namespace {

const char kUsage[] =
    "usage: zpk3x-sim [options]\n"
    "  --address C        device address 1..8 (default 1)\n"
    "  --baud N           baud rate 1200, 2400, 4800 or 9600 (default 9600)\n"
    "  --link PATH        symbolic link to the terminal (replaced if it exists)\n"
    "  --control PATH     Unix socket for control commands\n"
    "  --log FILE         log every received frame, one per line\n"
    "  --programs FILE    'program n ...' lines to start from\n"
    "  --error-bits HEX   status bits set at start\n"
    "  --pace             talk at the speed of the baud rate\n"
    "  --fault SPEC       a fault as in the control command 'fault SPEC' (repeatable)\n"
    "  --command LINE     any control command, run at start (repeatable)\n"
    "  --version          print the version and exit\n"
    "  --help             print this text and exit\n"
    "\n"
    "Example: a simulated device at 1200 baud, address 3, as ./COM1:\n"
    "  zpk3x-sim --baud 1200 --address 3 --link ./COM1\n";

struct Options {
  std::string link, control, log, programs;
  std::vector<std::string> commands;  // control commands to run at start
  bool pace = false;
};

struct Client {
  int fd;
  std::string in;
  bool draining = false;  // "drain" asked: answered once the line has sent everything
};

// "drain" is answered by the loop, not by runControl, once the line is idle.
bool isDrain(std::string cmd) {
  while (!cmd.empty() && (cmd.back() == '\r' || cmd.back() == ' ')) cmd.pop_back();
  return cmd == "drain";
}

int die(const std::string& msg) {
  std::fprintf(stderr, "zpk3x-sim: %s\n", msg.c_str());
  return 2;
}

bool writeAll(int fd, const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    ssize_t n = ::send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool makeLink(const std::string& target, const std::string& link, std::string& error) {
  std::error_code ec;
  const std::filesystem::path p(link);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
  // A fresh link renamed over the old one: the path is never missing in between.
  const std::string tmp = link + ".tmp" + std::to_string(getpid());
  ::unlink(tmp.c_str());
  if (::symlink(target.c_str(), tmp.c_str()) != 0 || ::rename(tmp.c_str(), link.c_str()) != 0) {
    error = "cannot make link " + link + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

void removeLink(const std::string& link, const std::string& target) {
  char buf[PATH_MAX];
  ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
  // Leave a link alone that someone else has pointed elsewhere meanwhile.
  if (n > 0 && std::string(buf, static_cast<size_t>(n)) == target) ::unlink(link.c_str());
}

int listenOn(const std::string& path, std::string& error) {
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) {
    error = "control path too long: " + path;
    return -1;
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  ::unlink(path.c_str());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0) {
    error = "cannot listen on " + path + ": " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

bool parseArgs(int argc, char** argv, Options& o, Device& d, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string val;
    bool hasVal = false;
    if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      val = arg.substr(eq + 1);
      arg.resize(eq);
      hasVal = true;
    }
    auto next = [&]() -> bool {
      if (hasVal) return true;
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      val = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg == "--version") {
      std::puts("zpk3x-sim " ZPK3X_VERSION);
      std::exit(0);
    } else if (arg == "--pace") {
      o.pace = true;
    } else if (arg == "--address") {
      if (!next()) return false;
      o.commands.push_back("address " + val);
    } else if (arg == "--baud") {
      if (!next()) return false;
      o.commands.push_back("baud " + val);
    } else if (arg == "--error-bits") {
      if (!next()) return false;
      o.commands.push_back("status " + val);
    } else if (arg == "--fault") {
      if (!next()) return false;
      o.commands.push_back("fault " + val);
    } else if (arg == "--command") {
      if (!next()) return false;
      o.commands.push_back(val);
    } else if (arg == "--link") {
      if (!next()) return false;
      o.link = val;
    } else if (arg == "--control") {
      if (!next()) return false;
      o.control = val;
    } else if (arg == "--log") {
      if (!next()) return false;
      o.log = val;
    } else if (arg == "--programs") {
      if (!next()) return false;
      o.programs = val;
    } else {
      error = "unknown option " + arg + "\n" + kUsage;
      return false;
    }
  }
  if (!o.programs.empty() && !loadPrograms(o.programs, d, error)) return false;
  for (const std::string& c : o.commands) {
    ControlReply r = runControl(c, d, Clock::now());
    if (!r.ok) {
      error = "'" + c + "': " + r.error;
      return false;
    }
  }
  return true;
}

class Simulator {
 public:
  Simulator(Device& d, Line& l, int logFd) : dev_(d), line_(l), logFd_(logFd) {}

  // Takes everything the program has sent so far and answers it.
  void serviceLine(Clock::time_point now) {
    if (!line_.isOpen()) return;
    line_.setCharBaud(dev_.baud);
    for (Line::Frame& f : line_.receive(now)) {
      if (dev_.hangupAfter == 0) break;  // the line is about to go; nothing more arrives
      if (logFd_ >= 0) {
        std::string entry = escape(f.bytes) + "\n";
        if (::write(logFd_, entry.data(), entry.size()) < 0) { /* a full disk must not stop the device */ }
      }
      if (dev_.hangupAfter > 0) --dev_.hangupAfter;
      const Device::Timing timing = dev_.timingFor(f.bytes);
      if (auto answer = dev_.onFrame(f.bytes, line_.lineBaud(), now)) {
        const auto due = f.lineEnd + std::chrono::milliseconds(dev_.delayMs + timing.lateMs);
        // Answers leave in order, as on a real line: a copy delays what follows it.
        if (timing.againMs >= 0) line_.send(*answer, due);
        line_.send(std::move(*answer), due + std::chrono::milliseconds(std::max(timing.againMs, 0)));
      }
    }
    // Answers that are due go out now, so a "sync" reply comes after them.
    flush(now);
  }

  // Every answer owed has been written to the line (or the line is gone).
  bool drained() const { return !line_.isOpen() || line_.idle(); }

  // Writes what is due and closes the line once a hang-up has been asked for and
  // everything before it has been sent.
  std::optional<Clock::time_point> flush(Clock::time_point now) {
    auto next = line_.flush(now);
    if (dev_.hangupAfter == 0 && line_.isOpen() && line_.idle()) {
      // Closing discards what the program has not read yet; the answers before the
      // hang-up should still arrive, so wait a little for them to be read. Written
      // bytes reach the far end's queue only a moment after write() returns.
      if (!hangupBy_) hangupBy_ = now;
      const auto since = now - *hangupBy_;
      if ((since >= std::chrono::milliseconds(10) && line_.unreadByFarEnd() == 0) ||
          since >= std::chrono::milliseconds(500)) {
        line_.close();
      } else {
        const auto recheck = now + std::chrono::milliseconds(2);
        if (!next || recheck < *next) next = recheck;
      }
    }
    return next;
  }

 private:
  Device& dev_;
  Line& line_;
  int logFd_;
  std::optional<Clock::time_point> hangupBy_;
};

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  Device dev;
  std::string error;
  if (!parseArgs(argc, argv, opt, dev, error)) return die(error);

  // Signals arrive through a descriptor, so the poll loop ends cleanly.
  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGTERM);
  sigaddset(&mask, SIGINT);
  sigaddset(&mask, SIGHUP);
  sigprocmask(SIG_BLOCK, &mask, nullptr);
  const int sigFd = signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
  signal(SIGPIPE, SIG_IGN);

  // A paced line sends each character at its time: the kernel's default timer
  // slack (50 us) would send it that much later.
  if (opt.pace) prctl(PR_SET_TIMERSLACK, 1000, 0, 0, 0);

  Line line;
  line.setPace(opt.pace);
  line.setCharBaud(dev.baud);
  if (!line.create(dev.baud, error)) return die(error);

  int logFd = -1;
  if (!opt.log.empty()) {
    logFd = ::open(opt.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0) return die("cannot write " + opt.log + ": " + std::strerror(errno));
  }
  int listenFd = -1;
  if (!opt.control.empty()) {
    listenFd = listenOn(opt.control, error);
    if (listenFd < 0) return die(error);
  }
  if (!opt.link.empty() && !makeLink(line.path(), opt.link, error)) {
    if (!opt.control.empty()) ::unlink(opt.control.c_str());
    return die(error);
  }

  // Everything is ready before the path is announced: whoever reads it may connect.
  std::printf("%s\n", line.path().c_str());
  std::fflush(stdout);

  Simulator sim(dev, line, logFd);
  std::vector<Client> clients;
  bool running = true;
  while (running) {
    Clock::time_point now = Clock::now();
    std::optional<Clock::time_point> due = sim.flush(now);
    // A "drain" waiting for the last answer is answered in this round.
    if (sim.drained() && std::any_of(clients.begin(), clients.end(), [](const Client& c) { return c.draining; })) due = now;

    std::vector<pollfd> fds;
    fds.push_back({sigFd, POLLIN, 0});
    fds.push_back({listenFd, POLLIN, 0});
    const bool lineQuiet = now < line.quietUntil;
    fds.push_back({line.isOpen() && !lineQuiet ? line.fd() : -1,
                   static_cast<short>(POLLIN | (line.wantsWrite() ? POLLOUT : 0)), 0});
    for (const Client& c : clients) fds.push_back({c.fd, POLLIN, 0});
    if (lineQuiet && (!due || line.quietUntil < *due)) due = line.quietUntil;

    timespec ts{};
    timespec* timeout = nullptr;
    if (due) {
      auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*due - now).count();
      if (ns < 0) ns = 0;
      ts.tv_sec = static_cast<time_t>(ns / 1000000000);
      ts.tv_nsec = static_cast<long>(ns % 1000000000);
      timeout = &ts;
    }
    int n = ppoll(fds.data(), fds.size(), timeout, nullptr);
    if (n < 0) {
      if (errno == EINTR) continue;
      return die(std::string("poll: ") + std::strerror(errno));
    }
    now = Clock::now();

    if (fds[0].revents & POLLIN) running = false;

    const short lineEv = fds[2].revents;
    if (lineEv & POLLIN) {
      sim.serviceLine(now);
    } else if (lineEv & (POLLHUP | POLLERR)) {
      // Only when no one holds the far end; do not spin on it.
      line.quietUntil = now + std::chrono::milliseconds(100);
    }

    for (size_t i = 0; i < clients.size(); ++i) {
      if (!(fds[3 + i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      Client& c = clients[i];
      char buf[4096];
      ssize_t got = ::read(c.fd, buf, sizeof buf);
      if (got <= 0) {
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        ::close(c.fd);
        c.fd = -1;
        continue;
      }
      c.in.append(buf, static_cast<size_t>(got));
      if (c.in.size() > 65536) {  // not a line-oriented client
        ::close(c.fd);
        c.fd = -1;
      }
    }
    // Commands after a "drain" wait for its answer, as a client expects.
    for (Client& c : clients) {
      if (c.fd < 0) continue;
      if (c.draining) {
        sim.flush(Clock::now());
        if (!sim.drained()) continue;
        c.draining = false;
        if (!writeAll(c.fd, "ok\n")) continue;
      }
      size_t nl;
      while (!c.draining && (nl = c.in.find('\n')) != std::string::npos) {
        std::string cmd = c.in.substr(0, nl);
        c.in.erase(0, nl + 1);
        // What the program sent before this command counts first ("sync").
        sim.serviceLine(Clock::now());
        if (isDrain(cmd) && !sim.drained()) {
          c.draining = true;
          break;
        }
        ControlReply r = runControl(cmd, dev, Clock::now());
        std::string out;
        for (const std::string& l : r.lines) out += l + "\n";
        out += r.ok ? std::string("ok\n") : "error " + r.error + "\n";
        if (!writeAll(c.fd, out)) break;
      }
    }
    std::erase_if(clients, [](const Client& c) { return c.fd < 0; });

    if (fds[1].revents & POLLIN) {
      int cfd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (cfd >= 0) clients.push_back({cfd, {}});
    }
  }

  for (Client& c : clients) ::close(c.fd);
  if (listenFd >= 0) {
    ::close(listenFd);
    ::unlink(opt.control.c_str());
  }
  if (!opt.link.empty()) removeLink(opt.link, line.path());
  if (logFd >= 0) ::close(logFd);
  line.close();
  if (sigFd >= 0) ::close(sigFd);
  return 0;
}

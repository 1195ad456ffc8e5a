#include "cli_lauf.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace clitest {

namespace {

// With `terminal`, standard error is a pseudo-terminal and *err its master side.
int Starten(const std::vector<std::string>& argumente, int* aus, int* err, bool terminal = false,
            const char* eingabe = nullptr, const char* ausgabe = nullptr) {
  std::vector<std::string> args = {ZPK3X_CLI};
  args.insert(args.end(), argumente.begin(), argumente.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int a[2], e[2];
  if (::pipe2(a, O_CLOEXEC) != 0) return -1;
  if (terminal) {
    e[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (e[0] < 0 || ::grantpt(e[0]) != 0 || ::unlockpt(e[0]) != 0) return -1;
    e[1] = ::open(::ptsname(e[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
  } else if (::pipe2(e, O_CLOEXEC) != 0) {
    return -1;
  }
  posix_spawn_file_actions_t aktionen;
  posix_spawn_file_actions_init(&aktionen);
  posix_spawn_file_actions_adddup2(&aktionen, a[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&aktionen, e[1], STDERR_FILENO);
  if (eingabe != nullptr) posix_spawn_file_actions_addopen(&aktionen, STDIN_FILENO, eingabe, O_RDONLY, 0);
  if (ausgabe != nullptr) posix_spawn_file_actions_addopen(&aktionen, STDOUT_FILENO, ausgabe, O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, argv[0], &aktionen, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&aktionen);
  ::close(a[1]);
  ::close(e[1]);
  if (rc != 0) {
    ::close(a[0]);
    ::close(e[0]);
    return -1;
  }
  *aus = a[0];
  *err = e[0];
  return pid;
}

Ergebnis Einsammeln(int pid, int aus, int err) {
  Ergebnis r;
  pollfd p[2] = {{aus, POLLIN, 0}, {err, POLLIN, 0}};
  std::string* ziel[2] = {&r.aus, &r.err};
  int offen = 2;
  while (offen > 0) {
    if (::poll(p, 2, 30000) <= 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (p[i].fd < 0 || p[i].revents == 0) continue;
      char puffer[4096];
      const ssize_t n = ::read(p[i].fd, puffer, sizeof puffer);
      if (n > 0) {
        ziel[i]->append(puffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {  // a terminal's master reports EIO at the end
        ::close(p[i].fd);
        p[i].fd = -1;
        --offen;
      }
    }
  }
  for (pollfd& f : p)
    if (f.fd >= 0) ::close(f.fd);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace

Ergebnis Cli(const std::vector<std::string>& argumente) {
  int aus = -1, err = -1;
  const int pid = Starten(argumente, &aus, &err);
  if (pid < 0) return {};
  return Einsammeln(pid, aus, err);
}

Ergebnis AnPort1(std::vector<std::string> argumente) {
  argumente.insert(argumente.begin(), {"--port", "1"});
  return Cli(argumente);
}

Ergebnis CliMitEingabe(const std::vector<std::string>& argumente, const std::string& eingabe) {
  int aus = -1, err = -1;
  const int pid = Starten(argumente, &aus, &err, false, eingabe.c_str());
  if (pid < 0) return {};
  return Einsammeln(pid, aus, err);
}

Ergebnis CliMitAusgabe(const std::vector<std::string>& argumente, const std::string& ausgabe) {
  int aus = -1, err = -1;
  const int pid = Starten(argumente, &aus, &err, false, nullptr, ausgabe.c_str());
  if (pid < 0) return {};
  return Einsammeln(pid, aus, err);
}

Ergebnis CliAmTerminal(const std::vector<std::string>& argumente) {
  int aus = -1, err = -1;
  const int pid = Starten(argumente, &aus, &err, true);
  if (pid < 0) return {};
  return Einsammeln(pid, aus, err);
}

Hintergrund::Hintergrund(const std::vector<std::string>& argumente) { pid_ = Starten(argumente, &aus_, &err_); }

Hintergrund::~Hintergrund() {
  if (pid_ > 0) Beenden();
}

Ergebnis Hintergrund::Beenden(int signal) {
  if (pid_ <= 0) return {};
  ::kill(pid_, signal);
  const int pid = pid_;
  pid_ = -1;
  return Einsammeln(pid, aus_, err_);
}

bool DateiDa(const std::string& pfad) {
  struct stat st {};
  return ::stat(pfad.c_str(), &st) == 0;
}

}  // namespace clitest

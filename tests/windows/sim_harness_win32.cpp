// The simulator harness of tests/support/sim_harness.h for Windows programs under
// wine: the simulator is a Linux program, so each Simulator starts the Linux
// zpk3x-sim-bridge (wine runs Linux programs it is given by their Unix path) and
// talks to it over a loopback TCP connection (see sim_bridge.cpp).
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim_harness.h"

namespace simtest {

namespace {

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kReplyTimeoutMs = 20000;

std::string fromEnvironment(const char* name, const char* fallback) {
  char value[1024];
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string(fallback);
}

// One argument quoted for a Windows command line, which wine splits by the same rules.
std::string quoted(const std::string& arg) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

bool waitReadable(SOCKET s, DWORD ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &tv) == 1;
}

}  // namespace

std::string simulatorPath() { return fromEnvironment("ZPK3X_SIM", ZPK3X_SIM_PATH); }

struct Simulator::Impl {
  SOCKET link = INVALID_SOCKET;
  PROCESS_INFORMATION bridge{};
  std::string pty;
  std::string buffer;
  bool started = false;
  bool lastOk = false;

  // Sends one request; the answer's lines, and whether it ended with "ok".
  bool request(const std::string& line, std::vector<std::string>* lines);
  bool readLine(std::string& line, DWORD ms);
};

bool Simulator::Impl::readLine(std::string& line, DWORD ms) {
  for (;;) {
    if (size_t nl = buffer.find('\n'); nl != std::string::npos) {
      line = buffer.substr(0, nl);
      buffer.erase(0, nl + 1);
      return true;
    }
    if (!waitReadable(link, ms)) return false;
    char chunk[4096];
    int n = recv(link, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
  }
}

bool Simulator::Impl::request(const std::string& line, std::vector<std::string>* lines) {
  if (link == INVALID_SOCKET) return false;
  if (!line.empty()) {
    const std::string out = line + "\n";
    if (send(link, out.data(), static_cast<int>(out.size()), 0) != static_cast<int>(out.size())) return false;
  }
  std::string answer;
  while (readLine(answer, kReplyTimeoutMs)) {
    if (answer.rfind("| ", 0) == 0) {
      if (lines != nullptr) lines->push_back(answer.substr(2));
    } else {
      return answer == "ok";
    }
  }
  return false;
}

namespace {

// A new simulator is a new device: what an earlier test's device under the same
// COM name was owed does not apply to it (a port name tells nothing of when its
// device came to be, so nothing else clears such a record).
void forgetOwedAnswers() {
  char folder[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathA(sizeof folder, folder);
  if (n == 0 || n >= sizeof folder) return;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((std::string(folder, n) + "zpk3x-*.owed").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    DeleteFileA((std::string(folder, n) + found.cFileName).c_str());
  } while (FindNextFileA(h, &found));
  FindClose(h);
}

}  // namespace

Simulator::Simulator(const SimOptions& options) : impl_(new Impl) {
  forgetOwedAnswers();
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return;
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof addr;
  if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    closesocket(listener);
    return;
  }
  std::string command = quoted(fromEnvironment("ZPK3X_SIM_BRIDGE", ZPK3X_SIM_BRIDGE)) + " " +
                        std::to_string(ntohs(addr.sin_port)) + " " + quoted(std::string(1, options.address)) +
                        " " + std::to_string(options.baud) + " " + (options.pace ? "1" : "0");
  for (const std::string& arg : options.extraArgs) command += " " + quoted(arg);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &impl_->bridge)) {
    std::fprintf(stderr, "sim harness: cannot start %s\n", command.c_str());
    closesocket(listener);
    return;
  }
  if (waitReadable(listener, kStartTimeoutMs)) impl_->link = accept(listener, nullptr, nullptr);
  closesocket(listener);
  std::vector<std::string> lines;
  impl_->started = impl_->request("", &lines) && lines.size() == 1;
  if (impl_->started) impl_->pty = lines[0];
  impl_->lastOk = impl_->started;
}

Simulator::~Simulator() {
  // Closing the connection makes the bridge stop the simulator and remove its links.
  if (impl_->link != INVALID_SOCKET) {
    shutdown(impl_->link, SD_SEND);
    std::string rest;
    while (impl_->readLine(rest, 5000)) {
    }
    closesocket(impl_->link);
  }
  if (impl_->bridge.hProcess != nullptr) {
    WaitForSingleObject(impl_->bridge.hProcess, 5000);
    CloseHandle(impl_->bridge.hProcess);
    CloseHandle(impl_->bridge.hThread);
  }
  delete impl_;
}

bool Simulator::ok() const { return impl_->started && impl_->lastOk && impl_->request("alive", nullptr); }

const std::string& Simulator::ptyPath() const { return impl_->pty; }

void Simulator::mapToCom(int port) const {
  if (!impl_->request("map " + std::to_string(port), nullptr)) {
    std::fprintf(stderr, "sim harness: cannot link COM%d to the simulator\n", port);
  }
}

std::vector<std::string> Simulator::control(const std::string& command) {
  std::vector<std::string> lines;
  impl_->lastOk = impl_->request("control " + command, &lines);
  if (!impl_->lastOk) return {};
  return lines;
}

std::vector<std::string> Simulator::frames() {
  std::vector<std::string> lines;
  impl_->lastOk = impl_->request("frames", &lines);
  return lines;
}

void Simulator::clearFrames() { impl_->lastOk = impl_->request("clear", nullptr); }

bool Simulator::drain() {
  control("drain");
  return impl_->lastOk;
}

}  // namespace simtest

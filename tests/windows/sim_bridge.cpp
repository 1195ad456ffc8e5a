// zpk3x-sim-bridge: lets a Windows test under wine drive the device simulator.
// wine starts it as a Linux program; it connects back to the test over TCP on
// 127.0.0.1, runs the simulator through the Linux harness and answers one
// request line at a time:
//   map <n>          link <WINEPREFIX>/dosdevices/com<n> to the simulator's terminal
//   control <cmd>    a control command of the simulator
//   frames / clear   the frame log, as Simulator::frames() / clearFrames()
//   alive            whether the simulator still runs
// Each answer is its lines prefixed with "| ", then "ok" or "error". When the
// test closes the connection, the links go and the simulator stops.
// usage: zpk3x-sim-bridge <tcp-port> <address> <baud> <pace 0|1> [simulator options...]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim_harness.h"

namespace {

int connectBack(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

bool sendAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string dosDevice(int port) {
  const char* prefix = std::getenv("WINEPREFIX");
  std::string base = prefix != nullptr && prefix[0] != '\0' ? prefix : std::string(std::getenv("HOME")) + "/.wine";
  return base + "/dosdevices/com" + std::to_string(port);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: zpk3x-sim-bridge <tcp-port> <address> <baud> <pace> [options...]\n");
    return 2;
  }
  const int fd = connectBack(std::atoi(argv[1]));
  if (fd < 0) return 2;
  simtest::SimOptions options;
  options.address = argv[2][0];
  options.baud = std::atoi(argv[3]);
  options.pace = std::string(argv[4]) == "1";
  options.extraArgs.assign(argv + 5, argv + argc);
  std::vector<std::string> links;
  {
    simtest::Simulator sim(options);
    sendAll(fd, sim.ok() ? "| " + sim.ptyPath() + "\nok\n" : std::string("error\n"));
    std::string buffer;
    char chunk[4096];
    for (;;) {
      size_t nl = buffer.find('\n');
      if (nl == std::string::npos) {
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        buffer.append(chunk, static_cast<size_t>(n));
        continue;
      }
      const std::string request = buffer.substr(0, nl);
      buffer.erase(0, nl + 1);
      std::vector<std::string> lines;
      bool ok = true;
      if (request.rfind("map ", 0) == 0) {
        const std::string link = dosDevice(std::atoi(request.c_str() + 4));
        ::unlink(link.c_str());
        ok = ::symlink(sim.ptyPath().c_str(), link.c_str()) == 0;
        if (ok) links.push_back(link);
      } else if (request.rfind("control ", 0) == 0) {
        lines = sim.control(request.substr(8));
        ok = sim.ok();
      } else if (request == "frames") {
        lines = sim.frames();
      } else if (request == "clear") {
        sim.clearFrames();
      } else if (request == "alive") {
        ok = sim.ok();
      } else {
        ok = false;
      }
      std::string answer;
      for (const std::string& line : lines) answer += "| " + line + "\n";
      answer += ok ? "ok\n" : "error\n";
      if (!sendAll(fd, answer)) break;
    }
  }
  // A link to a terminal that is gone would let a later open reach nothing.
  for (const std::string& link : links) ::unlink(link.c_str());
  ::close(fd);
  return 0;
}

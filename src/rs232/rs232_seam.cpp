// Test seam of the serial layer: armed only by tests, inert otherwise.
#include <algorithm>
#include <array>
#include <string>

#include "rs232/rs232_seam_internal.h"

namespace {

constexpr int kOps = static_cast<int>(Rs232Op::ReadByte) + 1;

struct Failure {
  int skip = 0;
  int count = 0;
};

struct Seam {
  std::array<Failure, kOps> failures{};
  int shortWrite = -1;
  bool outQueueArmed = false;
  int outQueueLength = 0;
  double timeout = 0.0;
  Rs232LineSettings lastSettings{};
  int scriptedPort = 0;
  std::string script;
  std::size_t scriptPos = 0;
  std::string sent;
};

Seam& seam() {
  static Seam s;
  return s;
}

}  // namespace

void Rs232Seam_Fail(Rs232Op op, int count, int skip) {
  Failure& f = seam().failures[static_cast<int>(op)];
  f.count = std::max(count, 0);
  f.skip = std::max(skip, 0);
}

void Rs232Seam_ShortWrite(int bytes) { seam().shortWrite = std::max(bytes, 0); }

void Rs232Seam_OutQueue(int length) {
  seam().outQueueArmed = true;
  seam().outQueueLength = length;
}

void Rs232Seam_TimeoutOverride(double seconds) { seam().timeout = seconds > 0 ? seconds : 0.0; }

Rs232LineSettings Rs232Seam_LastLineSettings() { return seam().lastSettings; }

void Rs232Seam_ScriptPort(int port, const char* bytes, int count) {
  Seam& s = seam();
  s.scriptedPort = port;
  s.script.assign(bytes != nullptr && count > 0 ? std::string(bytes, static_cast<std::size_t>(count))
                                                : std::string());
  s.scriptPos = 0;
  s.sent.clear();
}

int Rs232Seam_ScriptedSent(char* buffer, int size) {
  const std::string& sent = seam().sent;
  if (buffer != nullptr && size > 0) {
    std::copy_n(sent.begin(), std::min<std::size_t>(sent.size(), static_cast<std::size_t>(size)),
                buffer);
  }
  return static_cast<int>(sent.size());
}

void Rs232Seam_Reset() {
  Rs232LineSettings keep = seam().lastSettings;
  seam() = Seam{};
  seam().lastSettings = keep;
}

namespace rs232seam {

bool takeFailure(Rs232Op op) {
  Failure& f = seam().failures[static_cast<int>(op)];
  if (f.count == 0) return false;
  if (f.skip > 0) {
    --f.skip;
    return false;
  }
  --f.count;
  return true;
}

int takeShortWrite() {
  int bytes = seam().shortWrite;
  seam().shortWrite = -1;
  return bytes;
}

bool outQueueOverride(int* length) {
  if (!seam().outQueueArmed) return false;
  *length = seam().outQueueLength;
  return true;
}

double timeoutOverride() { return seam().timeout; }

void recordLineSettings(const Rs232LineSettings& settings) { seam().lastSettings = settings; }

bool isScripted(int port) { return port > 0 && seam().scriptedPort == port; }

int scriptedRead(int port) {
  Seam& s = seam();
  if (!isScripted(port) || s.scriptPos >= s.script.size()) return -1;
  return static_cast<unsigned char>(s.script[s.scriptPos++]);
}

int scriptedWrite(int port, const char* buffer, int count) {
  if (!isScripted(port)) return -1;
  seam().sent.append(buffer, static_cast<std::size_t>(count));
  return count;
}

}  // namespace rs232seam

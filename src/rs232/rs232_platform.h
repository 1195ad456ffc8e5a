#pragma once
// What the serial layer needs of the operating system. rs232_common.cpp holds the
// port table, the argument checks, the test seam and the scripted port, and calls
// these for a real device; rs232_posix.cpp and rs232_win32.cpp each implement them
// once. Every function reports failure, never a platform error number.
#include <cstdint>
#include <string>

#include "rs232/rs232.h"
#include "rs232/rs232_seam.h"

namespace rs232platform {

// An open device: a file descriptor or a Windows handle; what else keeps other
// programs off the port where the handle alone does not (0: nothing); and the
// time-out last given to the device itself (for platforms that keep it there).
struct Device {
  std::intptr_t handle = -1;
  std::intptr_t hold = 0;
  double appliedTimeout = -1.0;
  std::string key;  // the identity, where the platform works it out at open
};

struct LineRequest {
  long baudRate;
  int parity;  // 0 none, 1 odd, 2 even
  int dataBits;
  int stopBits;
  int inputQueueSize;
  int outputQueueSize;
};

// Opens the device of port `port` (or `deviceName` when it is not empty)
// exclusively, raw, without flow control and with `line`; records what it asked
// of the device through rs232seam::recordLineSettings. False leaves nothing open.
bool open(int port, const char* deviceName, const LineRequest& line, Device* device);
// Called by open() with the device it tries and, when it fails, why (kept for
// GetComOpenResult; `systemError` only for COM_OPEN_SYSTEM).
void noteOpen(const std::string& device, ComOpenResult result, int systemError = 0);
bool close(Device& device);
bool flushInput(Device& device);
// Discards what waits in the output queue (called only when something does).
bool flushOutput(Device& device);
// Writes up to `count` bytes, waiting at most `timeoutSeconds` for room; the
// number of bytes accepted, or -1 when nothing could be written because of an error.
int write(Device& device, const char* buffer, int count, double timeoutSeconds);
// Bytes still waiting in the output queue, -1 on error.
int outputQueueLength(Device& device);
// What has arrived, up to `size` bytes, as soon as there is at least one: their
// number; -1 after `timeoutSeconds` with nothing, -2 when the port failed or the
// line hung up, -3 when the abort check asked to stop. A time-out of 0 looks
// once without waiting.
int readSome(Device& device, unsigned char* buffer, int size, double timeoutSeconds);
// True when the line has hung up for good (end of file, device gone).
bool lineLost(Device& device);
// The device behind the handle, the same through every path that leads to it.
// *since gets when it came to be (its node made: a pseudo-terminal created, an
// adapter plugged in), in nanoseconds of the system clock; 0 where unknown.
std::string identity(const Device& device, long long* since);
// The owed-answer record of the device named `identity` (see rs232.h): whether
// it says something is owed (true with an empty text: owed, of unknown kind),
// and writing or removing it (false when that failed; things stay as they were). A
// record written before `deviceSince` (when not 0) was left for a device that
// is gone, a terminal or adapter of the same number since made anew: it does
// not count.
bool owedAnswerRecorded(const std::string& identity, std::string* text, long long deviceSince);
bool owedAnswerRecord(const std::string& identity, const char* text);
// A lock by name beside the records, for a port that is no device of this machine
// (a network port): >= 0 while held, until releaseNamed; -1 when another process
// holds it; -2 when no lock can be made here (the port is then used without one).
// releaseNamed removes what claimNamed made, so no name outlives its use.
std::intptr_t claimNamed(const std::string& key);
void releaseNamed(std::intptr_t lock, const std::string& key);

}  // namespace rs232platform

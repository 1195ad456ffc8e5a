#pragma once
// The simulated device: its parameters, programs and status word, the faults a
// test has asked for, and the answer it gives to one received frame. No I/O here;
// the line and the control channel live in line.cpp and main.cpp.
#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "shape.h"

namespace zpksim {

using Clock = std::chrono::steady_clock;

inline constexpr char ACK = 0x06;
inline constexpr char NAK = 0x15;
inline constexpr char CAN = 0x18;
inline constexpr char CR = 0x0D;

// Status bits the device reports.
inline constexpr unsigned kErrorBits = 0x1 | 0x2 | 0x8 | 0x10;
inline constexpr unsigned kCalibrationInvalid = 0x8;
inline constexpr unsigned kStarted = 0x100;
inline constexpr unsigned kActive = 0x200;
inline constexpr unsigned kEnded = 0x800;
inline constexpr unsigned kCancelled = 0x2000;

struct Program {
  int stromkurve = 1;
  double strom1 = 0.1;
  double strom2 = 0.5;
  double zeit1 = 1000.0;
  double zeit2 = 1000.0;
  double frequenz = 1000.0;
  double spannung = 12.0;
  double zyklen = 1.0;
  double regelgeschwindigkeit = 100.0;
  int endstuferegeln = 0;
};

inline constexpr int kPrograms = 16;  // stored programs 1..16; index 0 is the working set

enum class Fault { Nak, Can, Silence, Err, Echo, Garbage, NoNumber };

// Locale-independent fixed-point text ("0.100", "12.0", "1000").
std::string formatFixed(double value, int decimals);
// Whole-text conversions; false when the text is not exactly one number.
bool parseInt(std::string_view text, long long& out);
bool parseReal(std::string_view text, double& out);
bool parseHex(std::string_view text, unsigned& out);

class Device {
 public:
  Device();

  // One frame as received up to, not including, its CR. lineBaud is the speed the
  // line is set to now. Returns the bytes to send back, or nothing for silence.
  std::optional<std::string> onFrame(std::string_view frame, int lineBaud, Clock::time_point now);

  // Brings the process state up to `now` (a started program ends on its own).
  void advance(Clock::time_point now);

  // Values as the device sends them in read answers.
  std::string readValue(std::string_view cmd, Clock::time_point now);
  std::string programLine(int n) const;  // "<stromkurve> <strom1> ... <endstuferegeln>"

  // Settings for the control channel.
  std::array<Program, kPrograms + 1> programs;  // [0] working parameters
  unsigned status = 0;
  char address = '1';
  int baud = 9600;
  std::string identity = "OLQ-ZPK3X-SIM";
  std::map<std::string, std::string> valueOverride;  // read command -> value text
  std::map<std::string, Fault> faults;               // command or "*" -> fault
  long long answerBudget = -1;                       // frames left to answer; -1 unlimited
  long long hangupAfter = -1;                        // frames until the line closes; -1 never
  int delayMs = 0;
  std::map<std::string, int> lateMs;                 // command or "*" -> extra delay of its answer
  std::map<std::string, int> twiceMs;                // command or "*" -> its answer again this much later
  Shape shape;                                       // sag, overshoot, raised bits (shape.h)

  // Extra delay of the answer to `frame`, and the delay of its copy (-1: none).
  struct Timing {
    int lateMs = 0;
    int againMs = -1;
  };
  Timing timingFor(std::string_view frame) const;

  void setStatus(unsigned word, Clock::time_point now);
  void clearFaults();

 private:
  std::string execute(std::string_view cmd, std::string_view value, std::optional<Fault> fault,
                      Clock::time_point now);
  std::string readAnswer(std::string_view cmd, std::optional<Fault> fault, Clock::time_point now);
  char write(std::string_view cmd, std::string_view value);
  char deviceFunction(char which, Clock::time_point now);
  std::optional<Fault> faultFor(std::string_view cmd) const;
  bool running() const { return (status & kActive) != 0; }
  double noise();  // -1 .. 1

  // The process that "start" runs: when it began, when it ends (none: until stopped),
  // and the working parameters it runs with.
  Clock::time_point processStart_{};
  std::optional<Clock::time_point> processEnd_;
  Program processProgram_;
  std::uint64_t rng_ = 0x9E3779B97F4A7C15ull;
};

}  // namespace zpksim

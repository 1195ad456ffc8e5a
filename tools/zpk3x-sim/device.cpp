#include "device.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace zpksim {

namespace {

// One working parameter: its read and write commands, how its value is written,
// and the range a write must fall in (the driver's ranges, inclusive).
struct Param {
  const char* read;
  const char* write;
  int Program::*intField;
  double Program::*realField;
  int decimals;
  double lo;
  double hi;
};

constexpr Param kParams[] = {
    {"WFR", "WFW", &Program::stromkurve, nullptr, 0, 1, 12},
    {"C1R", "C1W", nullptr, &Program::strom1, 3, 0.0009, 4.0001},
    {"C2R", "C2W", nullptr, &Program::strom2, 3, 0.0009, 4.0001},
    {"T1R", "T1W", nullptr, &Program::zeit1, 0, 0.9, 65534.1},
    {"T2R", "T2W", nullptr, &Program::zeit2, 0, 0.9, 65534.1},
    {"F1R", "F1W", nullptr, &Program::frequenz, 0, 24.9, 10000.1},
    {"V1R", "V1W", nullptr, &Program::spannung, 1, 8.99, 53.01},
    {"L1R", "L1W", nullptr, &Program::zyklen, 0, 0.9, 65534.1},
    {"A1R", "A1W", nullptr, &Program::regelgeschwindigkeit, 0, 0.9, 500.1},
    {"M1R", "M1W", &Program::endstuferegeln, nullptr, 0, 0, 1},
};

const Param* findRead(std::string_view cmd) {
  for (const Param& p : kParams)
    if (cmd == p.read) return &p;
  return nullptr;
}

const Param* findWrite(std::string_view cmd) {
  for (const Param& p : kParams)
    if (cmd == p.write) return &p;
  return nullptr;
}

std::string formatParam(const Param& p, const Program& prog) {
  if (p.intField) return std::to_string(prog.*(p.intField));
  return formatFixed(prog.*(p.realField), p.decimals);
}

bool isLiveRead(std::string_view cmd) { return cmd == "C0R" || cmd == "V0R" || cmd == "S0R"; }

std::string hex(unsigned v) {
  char buf[16];
  auto r = std::to_chars(buf, buf + sizeof buf, v, 16);
  std::string s(buf, r.ptr);
  for (char& c : s)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

}  // namespace

std::string formatFixed(double value, int decimals) {
  if (value == 0.0) value = 0.0;  // no "-0.000"
  // Fixed notation of the largest double needs about 310 digits before the point.
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return "err";
  return std::string(buf, r.ptr);
}

bool parseInt(std::string_view text, long long& out) {
  if (text.empty()) return false;
  auto r = std::from_chars(text.data(), text.data() + text.size(), out, 10);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool parseReal(std::string_view text, double& out) {
  if (text.empty()) return false;
  auto r = std::from_chars(text.data(), text.data() + text.size(), out);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool parseHex(std::string_view text, unsigned& out) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  if (text.empty()) return false;
  auto r = std::from_chars(text.data(), text.data() + text.size(), out, 16);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

Device::Device() = default;

void Device::clearFaults() {
  faults.clear();
  valueOverride.clear();
  answerBudget = -1;
  hangupAfter = -1;
  delayMs = 0;
  lateMs.clear();
  twiceMs.clear();
}

Device::Timing Device::timingFor(std::string_view line) const {
  Timing t;
  const auto start = line.rfind('#');
  if (start == std::string_view::npos || line.size() < start + 5) return t;
  const std::string cmd(line.substr(start + 2, 3));
  auto pick = [&cmd](const std::map<std::string, int>& m, int fallback) {
    auto it = m.find(cmd);
    if (it == m.end()) it = m.find("*");
    return it == m.end() ? fallback : it->second;
  };
  t.lateMs = pick(lateMs, 0);
  t.againMs = pick(twiceMs, -1);
  return t;
}

void Device::setStatus(unsigned word, Clock::time_point now) {
  status = word;
  // A process switched on from outside runs until "stopp"; its live values follow
  // the working parameters from now on.
  processStart_ = now;
  processEnd_.reset();
  processProgram_ = programs[0];
}

void Device::advance(Clock::time_point now) {
  if (running() && processEnd_ && now >= *processEnd_) {
    status &= ~kActive;
    status |= kEnded;
    processEnd_.reset();
  }
}

std::optional<Fault> Device::faultFor(std::string_view cmd) const {
  auto it = faults.find(std::string(cmd));
  if (it == faults.end()) it = faults.find("*");
  if (it == faults.end()) return std::nullopt;
  return it->second;
}

double Device::noise() {
  // xorshift64: cheap and reproducible between runs.
  rng_ ^= rng_ << 13;
  rng_ ^= rng_ >> 7;
  rng_ ^= rng_ << 17;
  return static_cast<double>(rng_ >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

std::optional<std::string> Device::onFrame(std::string_view line, int lineBaud, Clock::time_point now) {
  advance(now);
  // At another speed the device would only see noise.
  if (lineBaud != baud) return std::nullopt;
  // A frame starts at its "#": anything before it is line noise.
  auto start = line.rfind('#');
  if (start == std::string_view::npos) return std::nullopt;
  std::string_view frame = line.substr(start);
  if (frame.size() < 2) return std::nullopt;
  const char a = frame[1];
  const bool broadcast = a == '&';
  if (!broadcast && a != address) return std::nullopt;

  std::string_view cmd = frame.substr(2, 3);
  std::string_view value = frame.size() > 5 ? frame.substr(5) : std::string_view();

  if (!broadcast && answerBudget >= 0) {
    if (answerBudget == 0) return std::nullopt;  // a dead device neither acts nor answers
    --answerBudget;
  }

  std::optional<Fault> fault = faultFor(cmd);
  std::string answer;
  if (fault == Fault::Silence) return std::nullopt;
  if (fault == Fault::Nak) {
    answer = std::string(1, NAK);
  } else if (fault == Fault::Can) {
    answer = std::string(1, CAN);
  } else if (fault == Fault::Garbage) {
    answer = "Z?\xA5";  // first byte neither ACK, NAK nor CAN
  } else {
    answer = execute(cmd, value, fault, now);
  }
  if (broadcast) return std::nullopt;  // "&" is executed but never answered
  return answer;
}

std::string Device::execute(std::string_view cmd, std::string_view value, std::optional<Fault> fault,
                            Clock::time_point now) {
  if (cmd == "IDR") {
    if (!value.empty()) return std::string(1, NAK);
    char a = address;
    if (fault == Fault::Echo) a = static_cast<char>(a == '8' ? '1' : a + 1);
    std::string out(1, ACK);
    out += '#';
    out += a;
    auto it = valueOverride.find("IDR");
    out += it != valueOverride.end() ? it->second : identity;
    out += CR;
    return out;
  }
  if (findRead(cmd) || isLiveRead(cmd)) {
    if (!value.empty()) return std::string(1, NAK);
    return readAnswer(cmd, fault, now);
  }
  if (cmd.size() == 3 && cmd[0] == 'D' && cmd[1] == 'F' && cmd[2] >= '1' && cmd[2] <= '4') {
    if (!value.empty()) return std::string(1, NAK);
    return std::string(1, deviceFunction(cmd[2], now));
  }
  return std::string(1, write(cmd, value));
}

std::string Device::readAnswer(std::string_view cmd, std::optional<Fault> fault, Clock::time_point now) {
  std::string text;
  if (fault == Fault::Err) {
    text = "err";
  } else if (fault == Fault::NoNumber) {
    text = "???";  // no digit, not even a hexadecimal one
  } else {
    auto it = valueOverride.find(std::string(cmd));
    text = it != valueOverride.end() ? it->second : readValue(cmd, now);
  }
  std::string out(1, ACK);
  out += '#';
  out += address;
  if (fault == Fault::Echo) {
    out += 'X';
    out += cmd.substr(1);
  } else {
    out += cmd;
  }
  out += text;
  out += CR;
  return out;
}

std::string Device::readValue(std::string_view cmd, Clock::time_point now) {
  advance(now);
  const double msSinceStart = std::chrono::duration<double, std::milli>(now - processStart_).count();
  if (cmd == "S0R") return hex(shape.status(status, msSinceStart));
  if (cmd == "C0R" || cmd == "V0R") {
    if (!running()) return cmd == "C0R" ? "0.000" : "0.0";
    const Program& p = processProgram_;
    if (cmd == "V0R") return formatFixed(std::max(0.0, p.spannung + 0.05 * noise()), 1);
    const double t = std::chrono::duration<double, std::milli>(now - processStart_).count();
    const double period = std::max(0.0, p.zeit1) + std::max(0.0, p.zeit2);
    const double phase = period > 0 ? std::fmod(t, period) : 0.0;
    double current;
    switch (p.stromkurve) {
      case 5:
      case 6:
      case 10:  // triangles: up to strom2 during zeit1, back during zeit2
        if (phase < p.zeit1)
          current = p.strom1 + (p.strom2 - p.strom1) * (phase / p.zeit1);
        else
          current = p.strom2 + (p.strom1 - p.strom2) * ((phase - p.zeit1) / std::max(p.zeit2, 1e-9));
        break;
      case 3:
      case 4:
      case 7:
      case 9:  // rectangles and switched currents
        current = phase < p.zeit1 ? p.strom1 : p.strom2;
        break;
      default:
        current = p.strom1;
        break;
    }
    return formatFixed(std::max(0.0, shape.current(current, msSinceStart) * (1.0 + 0.005 * noise())), 3);
  }
  const Param* p = findRead(cmd);
  return p ? formatParam(*p, programs[0]) : std::string("err");
}

std::string Device::programLine(int n) const {
  std::string line;
  for (const Param& p : kParams) {
    if (!line.empty()) line += ' ';
    line += formatParam(p, programs[static_cast<size_t>(n)]);
  }
  return line;
}

char Device::write(std::string_view cmd, std::string_view value) {
  const Param* p = findWrite(cmd);
  const bool load = cmd == "PNS";
  const bool store = cmd == "PNP";
  if (!p && !load && !store) return NAK;
  if (running()) return CAN;
  if (load || store) {
    long long n;
    if (!parseInt(value, n) || n < 1 || n > kPrograms) return NAK;
    if (load)
      programs[0] = programs[static_cast<size_t>(n)];
    else
      programs[static_cast<size_t>(n)] = programs[0];
    return ACK;
  }
  if (p->intField) {
    long long v;
    if (!parseInt(value, v) || v < p->lo || v > p->hi) return NAK;
    programs[0].*(p->intField) = static_cast<int>(v);
  } else {
    double v;
    // Written so that NaN fails too.
    if (!parseReal(value, v) || !(v >= p->lo && v <= p->hi)) return NAK;
    programs[0].*(p->realField) = v;
  }
  return ACK;
}

char Device::deviceFunction(char which, Clock::time_point now) {
  switch (which) {
    case '1': {  // start: runs zyklen x (zeit1 + zeit2) ms of the working parameters
      status = (status | kStarted | kActive) & ~(kEnded | kCancelled);
      processStart_ = now;
      processProgram_ = programs[0];
      const Program& p = processProgram_;
      double ms = std::max(0.0, p.zyklen) * (std::max(0.0, p.zeit1) + std::max(0.0, p.zeit2));
      ms = std::min(ms, 1e12);  // stays representable on the clock
      processEnd_ = now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms));
      return ACK;
    }
    case '2':  // stopp
      status = (status | kCancelled) & ~kActive;
      processEnd_.reset();
      return ACK;
    case '3':  // fehlerloeschen
      status &= ~kErrorBits;
      return ACK;
    case '4':  // kalibrieren
      if (running()) return CAN;
      status &= ~kCalibrationInvalid;
      return ACK;
  }
  return NAK;
}

}  // namespace zpksim

#include "control.h"

#include <cmath>
#include <fstream>

namespace zpksim {

namespace {

std::vector<std::string_view> words(std::string_view s) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    size_t j = i;
    while (j < s.size() && s[j] != ' ' && s[j] != '\t') ++j;
    if (j > i) out.push_back(s.substr(i, j - i));
    i = j;
  }
  return out;
}

ControlReply fail(std::string why) {
  ControlReply r;
  r.ok = false;
  r.error = std::move(why);
  return r;
}

bool validCommand(std::string_view cmd) { return cmd == "*" || cmd.size() == 3; }

ControlReply fault(const std::vector<std::string_view>& w, Device& d) {
  if (w.size() < 2) return fail("usage: fault <kind> ...");
  const std::string_view kind = w[1];
  if (kind == "none" && w.size() == 2) {
    d.clearFaults();
    return {};
  }
  if (kind == "after") {
    long long n;
    if (w.size() != 4 || w[3] != "silence" || !parseInt(w[2], n) || n < 0)
      return fail("usage: fault after <N> silence");
    d.answerBudget = n;
    return {};
  }
  if (kind == "delay") {
    long long ms;
    if (w.size() != 3 || !parseInt(w[2], ms) || ms < 0 || ms > 600000) return fail("usage: fault delay <ms>");
    d.delayMs = static_cast<int>(ms);
    return {};
  }
  if (kind == "late" || kind == "twice") {
    long long ms = kind == "twice" ? 50 : -1;
    const bool withMs = w.size() == 4;
    if ((w.size() != 3 && !withMs) || !validCommand(w[2]) || (withMs && !parseInt(w[3], ms)) || ms < 0 ||
        ms > 600000)
      return fail("usage: fault " + std::string(kind) + (kind == "late" ? " <CMD> <ms>" : " <CMD> [ms]"));
    (kind == "late" ? d.lateMs : d.twiceMs)[std::string(w[2])] = static_cast<int>(ms);
    return {};
  }
  if (kind == "hangup") {
    long long n;
    if (w.size() != 3 || !parseInt(w[2], n) || n < 0) return fail("usage: fault hangup <N>");
    d.hangupAfter = n;
    return {};
  }
  static const std::pair<const char*, Fault> kinds[] = {
      {"nak", Fault::Nak},     {"can", Fault::Can},         {"silence", Fault::Silence},
      {"err", Fault::Err},     {"echo", Fault::Echo},       {"garbage", Fault::Garbage},
      {"nonumber", Fault::NoNumber},
  };
  for (const auto& [name, f] : kinds) {
    if (kind != name) continue;
    if (w.size() != 3 || !validCommand(w[2])) return fail("usage: fault " + std::string(kind) + " <CMD>");
    d.faults[std::string(w[2])] = f;
    return {};
  }
  return fail("unknown fault '" + std::string(kind) + "'");
}

ControlReply program(const std::vector<std::string_view>& w, Device& d) {
  if (w.size() != 12) return fail("usage: program <n> followed by ten values");
  long long n, kurve, endstufe;
  if (!parseInt(w[1], n) || n < 0 || n > kPrograms) return fail("program number must be 0 to 16");
  if (!parseInt(w[2], kurve) || kurve < -2147483647 || kurve > 2147483647) return fail("bad stromkurve");
  if (!parseInt(w[11], endstufe) || endstufe < -2147483647 || endstufe > 2147483647)
    return fail("bad endstuferegeln");
  double r[8];
  for (int i = 0; i < 8; ++i)
    if (!parseReal(w[static_cast<size_t>(3 + i)], r[i]) || !std::isfinite(r[i]))
      return fail("bad value '" + std::string(w[static_cast<size_t>(3 + i)]) + "'");
  Program p;
  p.stromkurve = static_cast<int>(kurve);
  p.strom1 = r[0];
  p.strom2 = r[1];
  p.zeit1 = r[2];
  p.zeit2 = r[3];
  p.frequenz = r[4];
  p.spannung = r[5];
  p.zyklen = r[6];
  p.regelgeschwindigkeit = r[7];
  p.endstuferegeln = static_cast<int>(endstufe);
  d.programs[static_cast<size_t>(n)] = p;
  return {};
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string unescape(std::string_view t) {
  std::string out;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\\' && i + 3 < t.size() && t[i + 1] == 'x' && hexDigit(t[i + 2]) >= 0 &&
        hexDigit(t[i + 3]) >= 0) {
      out += static_cast<char>(hexDigit(t[i + 2]) * 16 + hexDigit(t[i + 3]));
      i += 3;
    } else {
      out += t[i];
    }
  }
  return out;
}

std::string escape(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += ch;
    } else {
      out += "\\x";
      out += digits[c >> 4];
      out += digits[c & 15];
    }
  }
  return out;
}

ControlReply runControl(std::string_view command, Device& d, Clock::time_point now) {
  while (!command.empty() && (command.back() == '\r' || command.back() == ' ')) command.remove_suffix(1);
  const auto w = words(command);
  if (w.empty()) return fail("empty command");
  const std::string_view verb = w[0];

  if (verb == "sync" && w.size() == 1) return {};  // the caller has read the line first
  if (verb == "drain" && w.size() == 1) return {};  // the caller has waited for an idle line
  if (verb == "fault") return fault(w, d);
  if (verb == "program") return program(w, d);
  if (verb == "shape") return shapeControl(w, d.shape);
  if (verb == "status") {
    unsigned v;
    if (w.size() != 2 || !parseHex(w[1], v)) return fail("usage: status <hex>");
    d.setStatus(v, now);
    return {};
  }
  if (verb == "value") {
    if (w.size() < 2 || w[1].size() != 3) return fail("usage: value <CMD> <text>");
    const std::string cmd(w[1]);
    if (w.size() == 2) {
      d.valueOverride.erase(cmd);
      return {};
    }
    // The text is the rest of the line after the command, blanks included.
    const size_t at = static_cast<size_t>(w[1].data() - command.data()) + 3;
    d.valueOverride[cmd] = unescape(command.substr(at + 1));
    return {};
  }
  if (verb == "address") {
    if (w.size() != 2 || w[1].size() != 1 || w[1][0] < '1' || w[1][0] > '8')
      return fail("address must be 1 to 8");
    d.address = w[1][0];
    return {};
  }
  if (verb == "baud") {
    long long b;
    if (w.size() != 2 || !parseInt(w[1], b) || (b != 1200 && b != 2400 && b != 4800 && b != 9600))
      return fail("baud must be 1200, 2400, 4800 or 9600");
    d.baud = static_cast<int>(b);
    return {};
  }
  if (verb == "identity") {
    if (w.size() != 2) return fail("usage: identity <word>");
    d.identity = unescape(w[1]);
    return {};
  }
  if (verb == "dump" && w.size() == 1) {
    d.advance(now);
    ControlReply r;
    for (int n = 0; n <= kPrograms; ++n) r.lines.push_back("program " + std::to_string(n) + " " + d.programLine(n));
    r.lines.push_back("status " + d.readValue("S0R", now));
    r.lines.push_back(std::string("address ") + d.address);
    r.lines.push_back("baud " + std::to_string(d.baud));
    return r;
  }
  return fail("unknown command '" + std::string(verb) + "'");
}

bool loadPrograms(const std::string& path, Device& d, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    const auto w = words(line);
    if (w.empty() || w[0][0] == ';' || (w[0] == "\r")) continue;
    ControlReply r = w[0] == "program" ? runControl(line, d, Clock::now()) : fail("not a program line");
    if (!r.ok) {
      error = path + ":" + std::to_string(lineNo) + ": " + r.error;
      return false;
    }
  }
  return true;
}

}  // namespace zpksim

// Driver of the ZPK-3X: one complete transaction per operation. The only state kept
// between transactions is, per port, whether a late answer may still be on its way
// and what the last transaction sent and received.
#include "olqzpk3x/olqzpk3x.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "rs232/rs232.h"

namespace {

constexpr char kAck = 0x06;
constexpr char kNak = 0x15;
constexpr char kCan = 0x18;
constexpr char kCr = 0x0D;

constexpr int kAnswerLimit = 29;        // longest answer text read
constexpr int kSisterAnswerLimit = 14;  // for the sister family's status answer
constexpr int kFrameSize = 40;          // "#", address, command, longest value, CR, NUL

// The codes one operation reports for the steps every transaction shares.
struct Codes {
  ErrorCode flush;       // 0: pass FlushInOut's own code on
  ErrorCode write;
  ErrorCode shortWrite;
  ErrorCode nak;
  ErrorCode can;
  ErrorCode noAnswer;
  ErrorCode notAck;
  ErrorCode badTextByte;  // negative character inside an answer text
};

// Reads whose answers echo their frame, in the order they serve as checks that
// the line is in step (the device's own reads first, the sister family's last).
constexpr const char* kEchoReads[] = {"S0R", "C0R", "V0R", "WFR", "C1R", "C2R", "T1R", "T2R",
                                      "F1R", "V1R", "L1R", "A1R", "M1R", "S1R", "S2R"};
constexpr int kDeviceChecks = 13;

int echoReadIndex(const char* command) {
  for (int i = 0; i < static_cast<int>(std::size(kEchoReads)); ++i) {
    if (std::strncmp(kEchoReads[i], command, 3) == 0) return i;
  }
  return -1;
}

// Per port (every number the serial layer keeps): whether the device may still send an answer that is owed, so
// that a late answer could be read as the next command's: set while a
// transaction is in flight and left set when it went unanswered or out of step,
// or found in the record of whoever held the device before. `reads` counts, per
// echoed read, the late answers that may still come (their echo proves nothing
// until they came); `unknown` says that one more of any kind may (a holder
// that was killed).
constexpr int kEchoReadCount = static_cast<int>(std::size(kEchoReads));
struct Owed {
  bool owed = false;
  bool unknown = false;
  unsigned char reads[kEchoReadCount] = {};
};
Owed gOwed[COM_PORT_SLOTS + 1] = {};

bool portNummer(int port) { return port >= 1 && port <= COM_PORT_SLOTS; }

Owed* owedOf(int port) { return portNummer(port) ? &gOwed[port] : nullptr; }

// `frame` (from "#", address, command on) is on the line; null: not known what.
void owe(int port, const char* frame) {
  Owed* o = owedOf(port);
  if (o == nullptr) return;
  o->owed = true;
  if (frame == nullptr) {
    o->unknown = true;
  } else if (const int i = echoReadIndex(frame + 2); i >= 0) {
    if (o->reads[i] < 255) ++o->reads[i];
  }
}

// A late answer to echoed read `i` came and was passed over: one fewer owed.
void arrived(int port, int i) {
  Owed* o = owedOf(port);
  if (o != nullptr && i >= 0 && o->reads[i] > 0) --o->reads[i];
}

bool readsOwed(const Owed& o) {
  for (unsigned char n : o.reads) {
    if (n != 0) return true;
  }
  return false;
}

void settle(int port) {
  if (Owed* o = owedOf(port)) *o = Owed{};
}

// The record's text: the baud rate, then "?" for an answer of unknown kind and
// the echoed reads still owed. While the port is open it always holds "?", so
// that a holder killed in mid-transaction leaves that behind.
std::string recordText(long baud, const Owed& o, bool open) {
  std::string text = std::to_string(baud);
  if (open || o.unknown) text += " ?";
  if (o.owed && !o.unknown && !readsOwed(o)) text += " ACK";
  for (int i = 0; i < static_cast<int>(std::size(kEchoReads)); ++i) {
    if (o.reads[i] != 0) text += std::string(" ") + kEchoReads[i];
  }
  return text;
}

// What a record found at opening says is owed. The rate it names does not
// clear it: a network port or a pseudo-terminal passes bytes at any rate, and
// the check at the new rate decides. Anything not understood counts as unknown.
Owed fromRecord(const std::string& text) {
  Owed o;
  char* end = nullptr;
  (void)std::strtol(text.c_str(), &end, 10);
  o.owed = true;
  if (end == text.c_str()) {
    o.unknown = true;
    return o;
  }
  std::size_t pos = static_cast<std::size_t>(end - text.c_str());
  while (pos < text.size()) {
    const std::size_t start = text.find_first_not_of(' ', pos);
    if (start == std::string::npos) break;
    const std::size_t stop = std::min(text.find(' ', start), text.size());
    const std::string word = text.substr(start, stop - start);
    const int i = word.size() == 3 ? echoReadIndex(word.c_str()) : -1;
    if (i >= 0) {
      o.reads[i] = 1;
    } else if (word != "ACK") {
      o.unknown = true;
    }
    pos = stop;
  }
  return o;
}

void recordOwed(int port, bool open) {
  if (const Owed* o = owedOf(port)) ComOwedAnswerRecord(port, recordText(GetComBaudRate(port), *o, open).c_str());
}

// Per port: -1 outside an operation, else the frames of the current one sent so
// far; and how deep operations are nested (a program inside a range of them).
std::array<int, COM_PORT_SLOTS + 1> gVorgang = [] {
  std::array<int, COM_PORT_SLOTS + 1> a;
  a.fill(-1);
  return a;
}();
int gVorgangTiefe[COM_PORT_SLOTS + 1] = {};

int* vorgangOf(int port) { return portNummer(port) ? &gVorgang[port] : nullptr; }

OLQZPK3X_Transaktion gLetzte[COM_PORT_SLOTS + 1] = {};

OLQZPK3X_Transaktion* letzte(int port) { return portNummer(port) ? &gLetzte[port] : nullptr; }

void rahmenMerken(int port, const char* frame, int length) {
  OLQZPK3X_Transaktion* t = letzte(port);
  if (t == nullptr) return;
  *t = OLQZPK3X_Transaktion{};
  const int n = std::min<int>(length, static_cast<int>(sizeof t->rahmen) - 1);
  std::memcpy(t->rahmen, frame, static_cast<std::size_t>(n));
  // The CR ends every frame; the message shows what precedes it.
  t->rahmen[n > 0 && frame[n - 1] == '\r' ? n - 1 : n] = '\0';
}

// Every byte read is noted, and a read that waited in vain.
int gelesen(int port, int received) {
  if (OLQZPK3X_Transaktion* t = letzte(port)) {
    t->stumm = received == -1;
    t->verloren = received == -2;
    if (received >= 0 && t->antwortLaenge < static_cast<int>(sizeof t->antwort))
      t->antwort[t->antwortLaenge++] = static_cast<char>(received);
  }
  return received;
}

// A failure on a line that hung up is that, whichever step noticed it first; a
// wait ended by the abort check is the user's request.
ErrorCode lostOr(int port, ErrorCode r) {
  if (r == 0) return 0;
  if (ComAbortRequested() != 0) return OLQZPK3X_ABGEBROCHEN;
  return ComLineLost(port) != 0 ? OLQZPK3X_LEITUNG_GETRENNT : r;
}

// A new operation's error shows nothing of an earlier one's frame or answer.
void neueTransaktion(int port) {
  if (OLQZPK3X_Transaktion* t = letzte(port)) *t = OLQZPK3X_Transaktion{};
}

bool isDeviceAddress(char a) { return a >= '1' && a <= '8'; }
bool isSisterAddress(char a) { return (a >= '1' && a <= '9') || (a >= 'a' && a <= 'f'); }

// Waits until the frame has left the output queue. Ends on a port error and at
// the latest after the frame's time on the line plus the port's time-out, so a
// stuck queue cannot hang the program; the answer read that follows then reports it.
void waitForEmptyOutQueue(int port, int frameLength) {
  using Clock = std::chrono::steady_clock;
  long baud = GetComBaudRate(port);
  double timeout = GetComTime(port);
  double lineTime = baud > 0 ? frameLength * 10.0 / static_cast<double>(baud) : 0.0;
  // Capped so that no time-out, however large, can overflow the clock.
  double budget = std::min(lineTime + (timeout > 0 ? timeout : 0.0), 86400.0);
  auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(budget));
  for (;;) {
    int pending = GetOutQLen(port);
    if (pending <= 0 || Clock::now() >= deadline) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}


// Writes the frame and waits until it has left. Once any of it is on the line
// an answer is owed to `owed` (see transaction). The input is never flushed:
// the look before the frame has taken what waited. What has not left the output
// queue is ours and stale.
ErrorCode send(int port, const char* frame, int length, const Codes& c, bool owes, const char* owed) {
  rahmenMerken(port, frame, length);
  if (FlushOutQ(port) != 0) return c.flush != 0 ? c.flush : -123124;
  if (ComAbortRequested() != 0) {
    if (OLQZPK3X_Transaktion* t = letzte(port)) t->nichtGesendet = true;
    return OLQZPK3X_ABGEBROCHEN;
  }
  int written = ComWrt(port, frame, length);
  if (owes && written > 0) owe(port, owed);
  if (written > 0) {
    if (int* v = vorgangOf(port); v != nullptr && *v >= 0) ++*v;
  }
  if (written < 0) return c.write;
  if (written != length) return c.shortWrite;
  waitForEmptyOutQueue(port, length);
  return 0;
}

// A byte as the protocol sees it: the low 8 bits as a signed character, so that
// bytes 0x80 to 0xFF count as "no answer" like a time-out does.
int answerChar(int received) {
  if (received < 0) return -1;
  return static_cast<signed char>(static_cast<unsigned char>(received & 0xFF));
}

// The byte that answers every frame first. Only ACK, NAK and CAN are answers;
// anything else leaves the answer owed. With `whole` it is the whole answer,
// and the line is in step once it came.
ErrorCode readAck(int port, const Codes& c, bool whole) {
  int ch = answerChar(gelesen(port, ComRdByte(port)));
  if (ch < 0) return c.noAnswer;
  if (ch != kAck && ch != kNak && ch != kCan) return c.notAck;
  if (whole || ch != kAck) settle(port);
  if (ch == kNak) return c.nak;
  if (ch == kCan) return c.can;
  return 0;
}

// At most this many bytes are passed over while looking for an echoed answer.
constexpr int kStaleLimit = 256;

// A byte the protocol does not allow inside an answer text: the rest of the
// answer, up to its CR, is read as well, so that the error shows it whole and
// nothing of it is left to pass for the next answer. At most `rest` bytes more.
ErrorCode badTextByte(int port, int received, int rest, const Codes& c) {
  for (int b = received; b >= 0 && b != kCr && rest-- > 0;) b = gelesen(port, ComRdByte(port));
  return lostOr(port, c.badTextByte);
}

// Reads an answer text up to and including CR, at most `limit` bytes, into
// `text` (limit + 1 bytes) and terminates it.
ErrorCode readText(int port, char* text, int limit, const Codes& c) {
  int n = 0;
  while (n < limit) {
    const int received = gelesen(port, ComRdByte(port));
    int ch = answerChar(received);
    if (ch < 0) return badTextByte(port, received, limit - n, c);
    text[n++] = static_cast<char>(ch);
    if (ch == kCr) break;
  }
  text[n] = '\0';
  return 0;
}

// As readText, but only an answer that begins with `echo` (a frame's first five
// characters) counts: whatever comes before it is late, passed over (the trace
// shows it), and a late answer to an echoed read that is passed over whole is
// one fewer owed. Nothing of its own answer within the time-out: no answer.
ErrorCode readEchoed(int port, const char* echo, char* text, int limit, const Codes& c) {
  int n = 0;          // characters of the echo matched so far, then of the answer
  char line[8] = {};  // the start of the line being passed over, from its '#'
  int lineLength = -1;
  for (int passed = 0;;) {
    const int received = gelesen(port, ComRdByte(port));
    const int ch = answerChar(received);
    if (ch < 0 && n >= 5) return badTextByte(port, received, limit - n, c);
    if (ch < 0 && received < 0) return lostOr(port, c.noAnswer);
    if (ch < 0) {  // a stray byte before the echo, passed over
      if (++passed > kStaleLimit) return c.badTextByte;
      continue;
    }
    if (n >= 5) {
      text[n++] = static_cast<char>(ch);
      if (ch == kCr || n >= limit) break;
      continue;
    }
    if (++passed > kStaleLimit) return c.badTextByte;
    if (ch == '#') {
      lineLength = 0;
    } else if (ch == kCr && lineLength >= 5) {
      arrived(port, echoReadIndex(line + 2));
      lineLength = -1;
    }
    if (lineLength >= 0 && lineLength < static_cast<int>(sizeof line) - 1) line[lineLength++] = static_cast<char>(ch);
    if (ch == echo[n]) {
      text[n++] = static_cast<char>(ch);
    } else {
      n = ch == echo[0] ? 1 : 0;
      if (n == 1) text[0] = static_cast<char>(ch);
    }
  }
  text[n] = '\0';
  return 0;
}

void buildFrame(char* frame, char adresse, const char* command);

// Proves that the line is in step before a frame whose answer a late one could
// pass for: sends a read whose answer echoes its frame and reads until that
// answer has come; everything before it is stale. The status read, or the
// actual current when the status read is the one owed; when it is not known
// what is owed, both one after the other, so that a late answer to either is
// passed over by the other's echo. False when a check went unanswered: then
// nothing more may be sent.
bool resynchronise(int port, char adresse, const Codes& c) {
  Owed* o = owedOf(port);
  if (o == nullptr) return true;
  // A check proves nothing while a late answer of its own kind may still come;
  // after a killed holder, one of any kind may: then a second check follows.
  int needed = o->unknown ? 2 : 1;
  for (int i = 0, listened = 0; needed > 0; ++i) {
    if (i == kDeviceChecks) {
      // Every read owes a late answer: listen for them once, then choose again.
      if (listened++ > 0) return false;
      char text[kAnswerLimit + 1];
      readEchoed(port, "\x01\x01\x01\x01\x01", text, kAnswerLimit, c);
      i = -1;
      continue;
    }
    if (o->reads[i] != 0) continue;
    if (ComAbortRequested() != 0) return false;
    char frame[8];
    buildFrame(frame, adresse, kEchoReads[i]);
    rahmenMerken(port, frame, 6);
    const bool sent = ComWrt(port, frame, 6) == 6;
    char text[kAnswerLimit + 1];
    if (sent) waitForEmptyOutQueue(port, 6);
    if (!sent || readEchoed(port, frame, text, kAnswerLimit, c) != 0 || std::strchr(text, kCr) == nullptr) {
      // Its answer may come late in turn: the next check takes another read.
      if (o->reads[i] < 255) ++o->reads[i];
      recordOwed(port, true);
      return false;
    }
    --needed;
  }
  settle(port);
  return true;
}

// Text answers that begin with their own frame, and the identity answer, which does not.
enum class Answer { SingleByte, Echoed, Identity };

// While an answer is owed, a late one could pass for this frame's own only when
// a single byte answers it, or when it is the same read at the same address: the
// line is proven in step first. Other reads pass over late answers by their
// echo; a late identity answer still names the device that is there.
ErrorCode transaction(int port, char adresse, const char* frame, const Codes& c, Answer answer,
                      bool* owedBefore = nullptr) {
  const bool broadcast = adresse == '&';
  Owed* o = owedOf(port);
  const int length = static_cast<int>(std::strlen(frame));
  // A look at what waits, before anything is sent: nothing is discarded unseen.
  // Bytes there before an operation's first frame are a late answer (an answer
  // is owed, and the check below decides); before a later frame of the same
  // operation they mean its answers were out of step: it ends here.
  char waiting[kAnswerLimit + 3];
  int waited = 0;
  char line[8] = {};  // the start of a late answer seen whole, from its '#'
  int lineLength = -1;
  for (int n; waited < kStaleLimit && (n = ComRdWaiting(port, waiting, sizeof waiting)) != 0; waited += n) {
    if (n < 0) {
      rahmenMerken(port, frame, length);
      return lostOr(port, c.flush != 0 ? c.flush : -124123);
    }
    // A late answer to an echoed read that came whole is one fewer owed, as
    // when a read passes over it.
    for (int i = 0; i < n; ++i) {
      const char ch = waiting[i];
      if (ch == '#') {
        lineLength = 0;
      } else if (ch == kCr && lineLength >= 5) {
        arrived(port, echoReadIndex(line + 2));
        lineLength = -1;
      }
      if (lineLength >= 0 && lineLength < static_cast<int>(sizeof line) - 1) line[lineLength++] = ch;
    }
    if (waited == 0) {
      rahmenMerken(port, frame, length);
      if (OLQZPK3X_Transaktion* t = letzte(port)) {
        const int keep = std::min<int>(n, static_cast<int>(sizeof t->antwort));
        std::memcpy(t->antwort, waiting, static_cast<std::size_t>(keep));
        t->antwortLaenge = keep;
      }
    }
  }
  if (waited > 0) {
    // Already owed: what came is part of it, and the check decides as before.
    if (o != nullptr && !o->owed) owe(port, nullptr);
    if (const int* v = vorgangOf(port); v != nullptr && *v > 0) {
      recordOwed(port, true);
      if (OLQZPK3X_Transaktion* t = letzte(port)) t->nichtGesendet = true;
      return OLQZPK3X_AUSSER_TAKT;
    }
  }
  if (!broadcast && o != nullptr && o->owed) {
    const int read = echoReadIndex(frame + 2);
    const bool sameRead = o->unknown || (read >= 0 && o->reads[read] != 0);
    if ((answer == Answer::SingleByte || (answer == Answer::Echoed && sameRead)) && !resynchronise(port, adresse, c)) {
      rahmenMerken(port, frame, length);
      if (OLQZPK3X_Transaktion* t = letzte(port)) {
        t->stumm = true;
        t->nichtGesendet = true;
      }
      return lostOr(port, c.noAnswer);
    }
  }
  if (owedBefore != nullptr) *owedBefore = o != nullptr && o->owed;
  // A broadcast is never answered: it owes nothing. An identity request after
  // an owed answer leaves one owed, to what is not known.
  if (ErrorCode r = send(port, frame, length, c, !broadcast, frame); r != 0) return lostOr(port, r);
  if (broadcast) return 0;
  // While an answer is owed, the ACK of a read cannot be told from a late one:
  // its echoed text is looked for instead, and what comes before it passed over.
  if (answer != Answer::SingleByte && owedBefore != nullptr && *owedBefore) return 0;
  return lostOr(port, readAck(port, c, answer == Answer::SingleByte));
}

void buildFrame(char* frame, char adresse, const char* command) {
  frame[0] = '#';
  frame[1] = adresse;
  std::memcpy(frame + 2, command, 3);
  frame[5] = kCr;
  frame[6] = '\0';
}

// --- number parsing: finite values that fit, nothing else ---

const char* skipBlanks(const char* p) {
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r') ++p;
  return p;
}

const char* endOf(const char* p) { return p + std::strlen(p); }

bool parseReal(const char* text, double* out) {
  const char* p = skipBlanks(text);
  if (*p == '+' && p[1] != '-' && p[1] != '+') ++p;
  double value = 0;
  auto [end, ec] = std::from_chars(p, endOf(p), value, std::chars_format::general);
  if (ec != std::errc() || end == p || !std::isfinite(value)) return false;
  *out = value;
  return true;
}

bool parseDecimal(const char* text, int* out) {
  const char* p = skipBlanks(text);
  if (*p == '+' && p[1] != '-' && p[1] != '+') ++p;
  std::int32_t value = 0;
  auto [end, ec] = std::from_chars(p, endOf(p), value, 10);
  if (ec != std::errc() || end == p) return false;
  *out = value;
  return true;
}

// A status word is a set of bits: unsigned, up to 32 of them, optional "0x".
bool parseHex(const char* text, int* out) {
  const char* p = skipBlanks(text);
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && Hexchar2Int(p[2]) >= 0) p += 2;
  std::uint32_t value = 0;
  auto [end, ec] = std::from_chars(p, endOf(p), value, 16);
  if (ec != std::errc() || end == p) return false;
  *out = static_cast<int>(value);
  return true;
}

// --- keyword tables ---

enum class Kind { Integer, Real0, Real1, Real3 };

struct WriteKeyword {
  const char* name;
  const char* command;
  Kind kind;
  double low;
  double high;
};

// Each real range reaches just beyond a round limit so that every accepted value,
// once rounded, is sent from within the round limits.
constexpr WriteKeyword kWriteKeywords[] = {
    {"programmladen", "PNS", Kind::Integer, 1, 16},
    {"programmspeichern", "PNP", Kind::Integer, 1, 16},
    {"stromkurve", "WFW", Kind::Integer, 1, 12},
    {"strom1", "C1W", Kind::Real3, 0.0009, 4.0001},
    {"strom2", "C2W", Kind::Real3, 0.0009, 4.0001},
    {"zeit1", "T1W", Kind::Real0, 0.9, 65534.1},
    {"zeit2", "T2W", Kind::Real0, 0.9, 65534.1},
    {"frequenz", "F1W", Kind::Real0, 24.9, 10000.1},
    {"spannung", "V1W", Kind::Real1, 8.99, 53.01},
    {"zyklen", "L1W", Kind::Real0, 0.9, 65534.1},
    {"regelgeschwindigkeit", "A1W", Kind::Real0, 0.9, 500.1},
    {"endstuferegeln", "M1W", Kind::Integer, 0, 1},
};

enum class ReadKind { Real, Decimal, Hex };

struct ReadKeyword {
  const char* name;
  const char* command;
  ReadKind kind;
};

constexpr ReadKeyword kReadKeywords[] = {
    {"iststrom", "C0R", ReadKind::Real},
    {"istspannung", "V0R", ReadKind::Real},
    {"status", "S0R", ReadKind::Hex},
    {"stromkurve", "WFR", ReadKind::Decimal},
    {"strom1", "C1R", ReadKind::Real},
    {"strom2", "C2R", ReadKind::Real},
    {"zeit1", "T1R", ReadKind::Real},
    {"zeit2", "T2R", ReadKind::Real},
    {"frequenz", "F1R", ReadKind::Real},
    {"spannung", "V1R", ReadKind::Real},
    {"zyklen", "L1R", ReadKind::Real},
    {"regelgeschwindigkeit", "A1R", ReadKind::Real},
    {"endstuferegeln", "M1R", ReadKind::Decimal},
};

struct FunctionKeyword {
  const char* name;
  const char* command;
};

constexpr FunctionKeyword kFunctions[] = {
    {"start", "DF1"},
    {"stopp", "DF2"},
    {"fehlerloeschen", "DF3"},
    {"kalibrieren", "DF4"},
};

// Keywords are compared whole and case-sensitively.
template <typename Entry, std::size_t N>
const Entry* findKeyword(const Entry (&table)[N], const char* name) {
  if (name == nullptr) return nullptr;
  for (const Entry& entry : table) {
    if (std::strcmp(entry.name, name) == 0) return &entry;
  }
  return nullptr;
}

// Writes the value text of a write command; false when the value is out of range.
bool formatValue(const WriteKeyword& k, double realWert, int intWert, char* out, char* end) {
  std::to_chars_result r{};
  if (k.kind == Kind::Integer) {
    if (intWert < k.low || intWert > k.high) return false;
    r = std::to_chars(out, end, intWert);
  } else {
    // Written so that NaN fails the check.
    if (!(realWert >= k.low && realWert <= k.high)) return false;
    int decimals = k.kind == Kind::Real3 ? 3 : (k.kind == Kind::Real1 ? 1 : 0);
    r = std::to_chars(out, end, realWert, std::chars_format::fixed, decimals);
  }
  if (r.ec != std::errc() || r.ptr >= end) return false;
  *r.ptr = '\0';
  return true;
}

}  // namespace

// --- serial port ---

namespace {

void offeneSchliessen() {
  for (int port = 1; port <= COM_PORT_SLOTS; ++port) {
    if (GetComBaudRate(port) > 0) OLQZPK3X_Close(port);
  }
}

}  // namespace

ErrorCode OLQZPK3X_Open(int port, int baudrate) {
  if (baudrate != 1200 && baudrate != 2400 && baudrate != 4800 && baudrate != 9600) return -125001;
  if (port < 1 || port > COM_PORTS) return -100002;
  return OLQZPK3X_OpenDevice(port, "", baudrate);
}

ErrorCode OLQZPK3X_OpenDevice(int port, const char* device, int baudrate) {
  if (baudrate != 1200 && baudrate != 2400 && baudrate != 4800 && baudrate != 9600) return -125001;
  // Beyond the COM numbers only a named device: those ports have none of their own.
  const bool benannt = device != nullptr && device[0] != '\0';
  if (port < 1 || port > COM_PORT_SLOTS || (port > COM_PORTS && !benannt)) return -100002;
  // A reopen lets go of the old line the same careful way.
  if (GetComBaudRate(port) > 0) OLQZPK3X_Close(port);
  if (OpenComConfig(port, device != nullptr ? device : "", baudrate, 1, 7, 1, 512, 512) != 0) return -100003;
  static const bool registriert = std::atexit(offeneSchliessen) == 0;
  (void)registriert;
  // Whoever held the device before may have left an answer owed: the record says
  // what, and at which rate. While the port is open the record says "unknown",
  // so a holder that is killed leaves that behind.
  settle(port);
  neueTransaktion(port);
  std::string text;
  if (ComOwedAnswerRecorded(port, &text)) {
    if (Owed* o = owedOf(port)) *o = fromRecord(text);
    ComTraceNote(port, ("answer owed by the record (" + (text.empty() ? std::string("unreadable") : text) +
                        "): a check read goes first").c_str());
  }
  recordOwed(port, true);
  return 0;
}

ErrorCode OLQZPK3X_Close(int port) {
  if (GetComBaudRate(port) > 0) {
    // An answer still owed stays in the record for the next opener, who proves
    // the line in step before trusting it; otherwise the record goes.
    const Owed* o = owedOf(port);
    if (o != nullptr && o->owed) {
      recordOwed(port, false);
    } else if (!ComOwedAnswerRecord(port, nullptr)) {
      // Another user's record, or something planted at its name: it still says
      // owed, and every call pays one check read until its owner clears it.
      ComTraceNote(port, "the owed-answer record could not be cleared: the next call checks the line again");
    }
  }
  settle(port);
  neueTransaktion(port);
  if (int* v = vorgangOf(port)) *v = -1;
  return CloseCom(port) != 0 ? -103004 : 0;
}

void OLQZPK3X_VorgangBeginnen(int port) {
  if (int* v = vorgangOf(port); v != nullptr && gVorgangTiefe[port]++ == 0) *v = 0;
}

void OLQZPK3X_VorgangBeenden(int port) {
  if (int* v = vorgangOf(port); v != nullptr && gVorgangTiefe[port] > 0 && --gVorgangTiefe[port] == 0) *v = -1;
}

ErrorCode OLQZPK3X_Timeout(int port, double seconds) {
  return SetComTime(port, seconds) != 0 ? -111005 : 0;
}

ErrorCode FlushInOut(int port) {
  if (FlushInQ(port) != 0) return -124123;
  if (FlushOutQ(port) != 0) return -123124;
  return 0;
}

// --- command protocol ---

namespace {

// "#", address, one word, CR: nothing more, nothing less. The word's length, 0 if not.
std::size_t identityWord(const char* text, char adresse) {
  if (text[0] != '#' || text[1] != adresse) return 0;
  const std::size_t length = std::strcspn(text + 2, " \r");
  return text[2 + length] == kCr && text[3 + length] == '\0' ? length : 0;
}

// While an answer is owed, the identity's own acknowledgement cannot be told
// from a late one: the answer lines are read instead, and a line that echoes a
// read (a late answer to it) or is not of the identity's form is passed over.
ErrorCode readIdentityPassingOver(int port, char adresse, char* text, const Codes& c) {
  int length = -1;  // of the line being read, from its '#'; -1 between lines
  for (int passed = 0; passed <= kStaleLimit; ++passed) {
    const int ch = answerChar(gelesen(port, ComRdByte(port)));
    if (ch < 0) return lostOr(port, c.noAnswer);
    if (ch == '#') length = 0;
    if (length < 0) continue;
    if (length >= kAnswerLimit) {
      length = -1;
      continue;
    }
    text[length++] = static_cast<char>(ch);
    if (ch != kCr) continue;
    text[length] = '\0';
    if (const int echoed = length >= 6 ? echoReadIndex(text + 2) : -1; echoed >= 0) {
      arrived(port, echoed);
    } else if (identityWord(text, adresse) != 0) {
      return 0;
    }
    length = -1;
  }
  return c.badTextByte;
}

}  // namespace

ErrorCode OLQZPK3X_IDLesen(int port, char adresse, char* identity) {
  neueTransaktion(port);
  static constexpr Codes c{0, -101008, -114009, -402010, -405011, -403012, -404013, -404014};
  if (!isDeviceAddress(adresse)) return -400006;
  char frame[kFrameSize];
  buildFrame(frame, adresse, "IDR");
  bool owedBefore = false;
  if (ErrorCode r = transaction(port, adresse, frame, c, Answer::Identity, &owedBefore); r != 0) return r;
  char text[kAnswerLimit + 1];
  const ErrorCode got = owedBefore ? readIdentityPassingOver(port, adresse, text, c) : readText(port, text, kAnswerLimit, c);
  if (got != 0) return got;
  const std::size_t length = identityWord(text, adresse);
  if (length == 0) return -404015;
  // Its own answer, unless one was owed before it: an identity answer proves
  // nothing about the line being in step.
  if (!owedBefore) settle(port);
  if (identity != nullptr) {
    std::memcpy(identity, text + 2, length);
    identity[length] = '\0';
  }
  return 0;
}

ErrorCode OLQZPK3X_DeviceFunction(int port, char adresse, const char* funktion) {
  neueTransaktion(port);
  static constexpr Codes c{0, -101019, -101020, -402021, -405022, -403023, -404024, -404024};
  if (!isDeviceAddress(adresse) && adresse != '&') return -400016;
  const FunctionKeyword* k = findKeyword(kFunctions, funktion);
  if (k == nullptr) return -401017;
  char frame[kFrameSize];
  buildFrame(frame, adresse, k->command);
  return transaction(port, adresse, frame, c, Answer::SingleByte);
}

ErrorCode OLQZPK3X_ParameterSchreiben(int port, char adresse, const char* parameter, double realWert,
                                      int intWert, int /*reserviert*/) {
  neueTransaktion(port);
  static constexpr Codes c{-112048, -101049, -101050, -402051, -405052, -403053, -404054, -404054};
  if (!isDeviceAddress(adresse) && adresse != '&') return -400033;
  const WriteKeyword* k = findKeyword(kWriteKeywords, parameter);
  if (k == nullptr) return -401046;
  char frame[kFrameSize];
  buildFrame(frame, adresse, k->command);
  // Room for the value and CR after the five leading characters.
  if (!formatValue(*k, realWert, intWert, frame + 5, frame + kFrameSize - 1)) return -500034;
  std::size_t length = std::strlen(frame);
  frame[length] = kCr;
  frame[length + 1] = '\0';
  return transaction(port, adresse, frame, c, Answer::SingleByte);
}

ErrorCode OLQZPK3X_ParameterLesen(int port, char adresse, const char* parameter, double* realWert,
                                  int* intWert, char* /*text*/) {
  neueTransaktion(port);
  static constexpr Codes c{-112096, -101097, -114098, -402099, -405100, -403101, -404102, -404103};
  if (!isDeviceAddress(adresse)) return -400055;
  const ReadKeyword* k = findKeyword(kReadKeywords, parameter);
  if (k == nullptr) return -401095;
  // A missing destination for the keyword's kind is a wrong argument, not a reason to crash.
  if ((k->kind == ReadKind::Real && realWert == nullptr) || (k->kind != ReadKind::Real && intWert == nullptr)) {
    return -401095;
  }
  char frame[kFrameSize];
  buildFrame(frame, adresse, k->command);
  bool owedBefore = false;
  if (ErrorCode r = transaction(port, adresse, frame, c, Answer::Echoed, &owedBefore); r != 0) return r;
  char text[kAnswerLimit + 1];
  const ErrorCode got = owedBefore ? readEchoed(port, frame, text, kAnswerLimit, c) : readText(port, text, kAnswerLimit, c);
  if (got != 0) return got;

  if (std::strncmp(text, frame, 5) != 0) return -404104;
  // The answer echoes the frame: the line is in step.
  settle(port);
  if (std::strncmp(text + 5, "err\r", 4) == 0) return -409000;
  const char* value = text + 5;
  switch (k->kind) {
    case ReadKind::Real: {
      double v = 0;
      if (!parseReal(value, &v)) return -404105;
      *realWert = v;
      return 0;
    }
    case ReadKind::Decimal: {
      int v = 0;
      if (!parseDecimal(value, &v)) return -404106;
      *intWert = v;
      return 0;
    }
    case ReadKind::Hex: {
      int v = 0;
      if (!parseHex(value, &v)) return -404109;
      *intWert = v;
      return 0;
    }
  }
  return -404105;
}

ErrorCode OLQZPK3X_ImTaktPruefen(int port) {
  constexpr ErrorCode kAusserTakt = OLQZPK3X_AUSSER_TAKT;
  const long baud = GetComBaudRate(port);
  if (baud <= 0) return 0;
  // A character is 10 bits on the line: start, 7 data, parity, stop.
  const double zweiZeichen = 2 * 10.0 / static_cast<double>(baud);
  if (gelesen(port, ComRdByteWithin(port, zweiZeichen)) < 0) {
    if (OLQZPK3X_Transaktion* t = letzte(port)) t->stumm = false;
    return 0;
  }
  // More of the same may follow: the next frame that a late answer could pass
  // for waits until the line is proven in step.
  owe(port, nullptr);
  return kAusserTakt;
}

void OLQZPK3X_TransaktionVergessen(int port) { neueTransaktion(port); }

void OLQZPK3X_TransaktionZuruecklegen(int port, const OLQZPK3X_Transaktion& t) {
  if (OLQZPK3X_Transaktion* l = letzte(port)) *l = t;
}

OLQZPK3X_Transaktion OLQZPK3X_LetzteTransaktion(int port) {
  const OLQZPK3X_Transaktion* t = letzte(port);
  return t != nullptr ? *t : OLQZPK3X_Transaktion{};
}

// --- sister device family ---

ErrorCode OLQVMB1_ProgrammUndSchrittEinstellen(int port, char adresse, int programm, int schritt) {
  neueTransaktion(port);
  static constexpr Codes c{-112026, -101027, -101028, -402029, -405030, -403031, -404032, -404032};
  if (!isSisterAddress(adresse) && adresse != '&') return -400069;
  // The fields hold two digits; a wider value would set some other program or step.
  if (programm < 0 || programm > 99 || schritt < 0 || schritt > 99) return -500034;
  char frame[kFrameSize];
  buildFrame(frame, adresse, "P1S");
  frame[5] = static_cast<char>('0' + programm / 10);
  frame[6] = static_cast<char>('0' + programm % 10);
  frame[7] = static_cast<char>('0' + schritt / 10);
  frame[8] = static_cast<char>('0' + schritt % 10);
  frame[9] = kCr;
  frame[10] = '\0';
  return transaction(port, adresse, frame, c, Answer::SingleByte);
}

ErrorCode OLQVMB1_StatusLesen(int port, char adresse, int auswahl, int* status) {
  neueTransaktion(port);
  static constexpr Codes c{0, -101113, -114114, -402115, -405116, -403117, -404118, -404119};
  if (!isSisterAddress(adresse)) return -400110;
  if ((auswahl != 1 && auswahl != 2) || status == nullptr) return -401111;
  char frame[kFrameSize];
  buildFrame(frame, adresse, auswahl == 1 ? "S1R" : "S2R");
  bool owedBefore = false;
  if (ErrorCode r = transaction(port, adresse, frame, c, Answer::Echoed, &owedBefore); r != 0) return r;
  char text[kSisterAnswerLimit + 1];
  const ErrorCode got =
      owedBefore ? readEchoed(port, frame, text, kSisterAnswerLimit, c) : readText(port, text, kSisterAnswerLimit, c);
  if (got != 0) return got;

  // "#", address, "S", digit, "R", two hex digits, CR; checked left to right so
  // that nothing past the end of a short text is looked at.
  bool shape = text[0] == '#' && text[1] == adresse && text[2] == 'S' && text[3] >= '0' &&
               text[3] <= '9' && text[4] == 'R' && Hexchar2Int(text[5]) >= 0 &&
               Hexchar2Int(text[6]) >= 0 && text[7] == kCr && text[8] == '\0';
  if (std::strncmp(text, frame, 5) == 0) settle(port);  // it echoes the frame: in step
  if (!shape) return -404120;
  int high = Hexchar2Int(text[5]);
  int low = Hexchar2Int(text[6]);
  if (auswahl == 1 && text[3] != '1') return -404121;
  if (auswahl == 2 && text[3] != '2') return -404122;
  *status = high * 16 + low;
  return 0;
}

int Hexchar2Int(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

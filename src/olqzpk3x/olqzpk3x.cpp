// Driver of the ZPK-3X: one complete transaction per operation. The only state kept
// between transactions is, per port, whether a late answer may still be on its way
// and what the last transaction sent and received.
#include "olqzpk3x/olqzpk3x.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

// Per port 1 to 8: whether the device may still send an answer that is owed, so
// that a late ACK would be read as the answer to the next command: after our own
// transaction without an answer, or found recorded by whoever held the device
// before, whose send may have been a moment ago.
enum class Late : unsigned char { None, Own, Inherited };
Late gLateAnswer[9] = {};

Late* lateAnswerFlag(int port) { return port >= 1 && port <= 8 ? &gLateAnswer[port] : nullptr; }

OLQZPK3X_Transaktion gLetzte[9] = {};

OLQZPK3X_Transaktion* letzte(int port) { return port >= 1 && port <= 8 ? &gLetzte[port] : nullptr; }

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
    t->verloren = received < -1;
    if (received >= 0 && t->antwortLaenge < static_cast<int>(sizeof t->antwort))
      t->antwort[t->antwortLaenge++] = static_cast<char>(received);
  }
  return received;
}

void setLateAnswerPossible(int port, Late late) {
  if (Late* flag = lateAnswerFlag(port)) *flag = late;
}

// A failure on a line that hung up is that, whichever step noticed it first.
ErrorCode lostOr(int port, ErrorCode r) { return r != 0 && ComLineLost(port) != 0 ? OLQZPK3X_LEITUNG_GETRENNT : r; }

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

// Empties the queues, writes the frame and waits until it has left.
ErrorCode send(int port, const char* frame, int length, const Codes& c) {
  rahmenMerken(port, frame, length);
  if (ErrorCode r = FlushInOut(port); r != 0) return c.flush != 0 ? c.flush : r;
  int written = ComWrt(port, frame, length);
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

ErrorCode readAck(int port, const Codes& c) {
  int ch = answerChar(gelesen(port, ComRdByte(port)));
  if (ch == kNak) return c.nak;
  if (ch == kCan) return c.can;
  if (ch < 0) {
    setLateAnswerPossible(port, Late::Own);
    return c.noAnswer;
  }
  if (ch != kAck) return c.notAck;
  return 0;
}

// Reads an answer text up to and including CR, at most `limit` bytes, into
// `text` (limit + 1 bytes) and terminates it.
ErrorCode readText(int port, char* text, int limit, const Codes& c) {
  int n = 0;
  while (n < limit) {
    int ch = answerChar(gelesen(port, ComRdByte(port)));
    if (ch < 0) {
      setLateAnswerPossible(port, Late::Own);
      return lostOr(port, c.badTextByte);
    }
    text[n++] = static_cast<char>(ch);
    if (ch == kCr) break;
  }
  text[n] = '\0';
  return 0;
}

// After a transaction without an answer: waits until the line has been quiet for
// one time-out, discarding what arrives, so that a late answer cannot pass for the
// next one; our own read already waited one time-out before. An answer owed to
// an earlier holder may have been asked for just now: two time-outs of quiet
// then. Bounded at 2 s (at least the quiet sought); a line that stays busy
// longer gives false and nothing may be sent.
bool waitForQuietLine(int port) {
  using Clock = std::chrono::steady_clock;
  const Late* late = lateAnswerFlag(port);
  double timeout = GetComTime(port);
  if (timeout <= 0 || late == nullptr) return true;  // port not open: the send reports that
  auto seconds = [](double s) { return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s)); };
  const int spans = *late == Late::Inherited ? 2 : 1;
  const auto oneTimeout = seconds(std::min(timeout, 86400.0));
  const auto bound = Clock::now() + std::max(seconds(2.0), oneTimeout * spans);
  // Each read that times out is one time-out of quiet; a byte starts over.
  for (int quiet = 0; quiet < spans;) {
    if (Clock::now() + oneTimeout * (spans - quiet) > bound) return false;
    const int received = ComRdByte(port);
    if (received < -1) break;  // a read error is left to the send and read that follow
    quiet = received < 0 ? quiet + 1 : 0;
  }
  setLateAnswerPossible(port, Late::None);
  return true;
}

enum class Answer { SingleByte, Text };

ErrorCode transaction(int port, char adresse, const char* frame, const Codes& c, Answer answer) {
  const bool broadcast = adresse == '&';
  const Late* late = lateAnswerFlag(port);
  if (answer == Answer::SingleByte && !broadcast && late != nullptr && *late != Late::None && !waitForQuietLine(port)) {
    return lostOr(port, c.noAnswer);
  }
  int length = static_cast<int>(std::strlen(frame));
  if (ErrorCode r = send(port, frame, length, c); r != 0) return lostOr(port, r);
  if (adresse == '&') return 0;
  return lostOr(port, readAck(port, c));
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
  for (int port = 1; port <= 8; ++port) {
    if (GetComBaudRate(port) > 0) OLQZPK3X_Close(port);
  }
}

}  // namespace

ErrorCode OLQZPK3X_Open(int port, int baudrate) { return OLQZPK3X_OpenDevice(port, "", baudrate); }

ErrorCode OLQZPK3X_OpenDevice(int port, const char* device, int baudrate) {
  if (baudrate != 1200 && baudrate != 2400 && baudrate != 4800 && baudrate != 9600) return -125001;
  if (port < 1 || port > 8) return -100002;
  // A reopen lets go of the old line the same careful way.
  if (GetComBaudRate(port) > 0) OLQZPK3X_Close(port);
  if (OpenComConfig(port, device != nullptr ? device : "", baudrate, 1, 7, 1, 512, 512) != 0) return -100003;
  static const bool registriert = std::atexit(offeneSchliessen) == 0;
  (void)registriert;
  // Whoever held the device before may have left an answer owed; the record stays
  // while the port is open, so a holder that is killed leaves it behind too.
  setLateAnswerPossible(port, ComOwedAnswerRecorded(port) ? Late::Inherited : Late::None);
  ComOwedAnswerRecord(port, true);
  return 0;
}

ErrorCode OLQZPK3X_Close(int port) {
  const Late* late = lateAnswerFlag(port);
  if (GetComBaudRate(port) > 0) {
    // An answer still owed keeps the record for the next opener.
    const bool ruhig = late == nullptr || *late == Late::None || waitForQuietLine(port);
    if (ruhig) ComOwedAnswerRecord(port, false);
  }
  setLateAnswerPossible(port, Late::None);
  return CloseCom(port) != 0 ? -103004 : 0;
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

ErrorCode OLQZPK3X_IDLesen(int port, char adresse, char* identity) {
  static constexpr Codes c{0, -101008, -114009, -402010, -405011, -403012, -404013, -404014};
  if (!isDeviceAddress(adresse)) return -400006;
  char frame[kFrameSize];
  buildFrame(frame, adresse, "IDR");
  if (ErrorCode r = transaction(port, adresse, frame, c, Answer::Text); r != 0) return r;
  char text[kAnswerLimit + 1];
  if (ErrorCode r = readText(port, text, kAnswerLimit, c); r != 0) return r;

  // "#", address, one word, CR: nothing more, nothing less.
  if (text[0] != '#' || text[1] != adresse) return -404015;
  const char* word = text + 2;
  std::size_t length = std::strcspn(word, " \r");
  if (length == 0 || word[length] != kCr || word[length + 1] != '\0') return -404015;
  if (identity != nullptr) {
    std::memcpy(identity, word, length);
    identity[length] = '\0';
  }
  return 0;
}

ErrorCode OLQZPK3X_DeviceFunction(int port, char adresse, const char* funktion) {
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
  if (ErrorCode r = transaction(port, adresse, frame, c, Answer::Text); r != 0) return r;
  char text[kAnswerLimit + 1];
  if (ErrorCode r = readText(port, text, kAnswerLimit, c); r != 0) return r;

  if (std::strncmp(text, frame, 5) != 0) return -404104;
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
  constexpr ErrorCode kAusserTakt = -410125;
  const long baud = GetComBaudRate(port);
  if (baud <= 0) return 0;
  // A character is 10 bits on the line: start, 7 data, parity, stop.
  const double zweiZeichen = 2 * 10.0 / static_cast<double>(baud);
  if (gelesen(port, ComRdByteWithin(port, zweiZeichen)) < 0) {
    if (OLQZPK3X_Transaktion* t = letzte(port)) t->stumm = false;
    return 0;
  }
  // More of the same may follow: the next holder waits for a quiet line.
  setLateAnswerPossible(port, Late::Own);
  return kAusserTakt;
}

OLQZPK3X_Transaktion OLQZPK3X_LetzteTransaktion(int port) {
  const OLQZPK3X_Transaktion* t = letzte(port);
  return t != nullptr ? *t : OLQZPK3X_Transaktion{};
}

// --- sister device family ---

ErrorCode OLQVMB1_ProgrammUndSchrittEinstellen(int port, char adresse, int programm, int schritt) {
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
  static constexpr Codes c{0, -101113, -114114, -402115, -405116, -403117, -404118, -404119};
  if (!isSisterAddress(adresse)) return -400110;
  if ((auswahl != 1 && auswahl != 2) || status == nullptr) return -401111;
  char frame[kFrameSize];
  buildFrame(frame, adresse, auswahl == 1 ? "S1R" : "S2R");
  if (ErrorCode r = transaction(port, adresse, frame, c, Answer::Text); r != 0) return r;
  char text[kSisterAnswerLimit + 1];
  if (ErrorCode r = readText(port, text, kSisterAnswerLimit, c); r != 0) return r;

  // "#", address, "S", digit, "R", two hex digits, CR; checked left to right so
  // that nothing past the end of a short text is looked at.
  bool shape = text[0] == '#' && text[1] == adresse && text[2] == 'S' && text[3] >= '0' &&
               text[3] <= '9' && text[4] == 'R' && Hexchar2Int(text[5]) >= 0 &&
               Hexchar2Int(text[6]) >= 0 && text[7] == kCr && text[8] == '\0';
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

// Driver transactions against the serial layer's in-memory port: exact frames,
// checks before sending, answer classification and parsing, and every failure
// code of the port operations.
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232.h"
#include "rs232/rs232_seam.h"

namespace {

constexpr int kPort = 6;

class Script : public ::testing::Test {
 protected:
  void SetUp() override {
    Rs232Seam_Reset();
    answer("");
    ASSERT_EQ(OLQZPK3X_Open(kPort, 9600), 0);
    ASSERT_EQ(OLQZPK3X_Timeout(kPort, 0.5), 0);
  }
  void TearDown() override {
    OLQZPK3X_Close(kPort);
    Rs232Seam_Reset();
  }
  // What the device will send after the next frame.
  static void answer(const std::string& bytes) {
    Rs232Seam_ScriptPort(kPort, bytes.data(), static_cast<int>(bytes.size()));
  }
  // A scripted answer stands for what follows the next frame; after a transaction
  // without an answer the driver would first take it for a late answer and discard
  // it, so the cases below that test each code on its own start on a fresh port.
  static void reopen() { ASSERT_EQ(OLQZPK3X_Open(kPort, 9600), 0); }
  static std::string sent() {
    char buf[256];
    int n = Rs232Seam_ScriptedSent(buf, sizeof buf);
    return std::string(buf, static_cast<std::size_t>(std::min(n, 256)));
  }
};

// --- frames and range checks of the write commands ---

struct WriteCase {
  const char* keyword;
  double real;
  int integer;
  const char* frame;  // nullptr: refused with -500034
};

TEST_F(Script, WriteFramesRoundAndRangeCheck) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const WriteCase cases[] = {
      {"strom1", 4.0, 0, "#1C1W4.000\r"},
      {"strom1", 4.0001, 0, "#1C1W4.000\r"},
      {"strom1", 4.0002, 0, nullptr},
      {"strom1", 0.0009, 0, "#1C1W0.001\r"},
      {"strom1", 0.0008, 0, nullptr},
      {"strom1", 0.1, 0, "#1C1W0.100\r"},
      {"strom1", nan, 1, nullptr},
      {"strom2", 2.5, 0, "#1C2W2.500\r"},
      {"strom2", -1.0, 0, nullptr},
      {"zeit1", 65534.0, 0, "#1T1W65534\r"},
      {"zeit1", 65534.1, 0, "#1T1W65534\r"},
      {"zeit1", 0.9, 0, "#1T1W1\r"},
      {"zeit1", 65535.0, 0, nullptr},
      {"zeit1", 0.89, 0, nullptr},
      {"zeit2", 1000.0, 0, "#1T2W1000\r"},
      {"zeit2", inf, 0, nullptr},
      {"frequenz", 24.9, 0, "#1F1W25\r"},
      {"frequenz", 10000.1, 0, "#1F1W10000\r"},
      {"frequenz", 24.8, 0, nullptr},
      {"frequenz", 10000.2, 0, nullptr},
      {"spannung", 9.0, 0, "#1V1W9.0\r"},
      {"spannung", 53.01, 0, "#1V1W53.0\r"},
      {"spannung", 8.99, 0, "#1V1W9.0\r"},
      {"spannung", 12.0, 0, "#1V1W12.0\r"},
      {"spannung", 8.98, 0, nullptr},
      {"spannung", 53.02, 0, nullptr},
      {"zyklen", 1.0, 0, "#1L1W1\r"},
      {"zyklen", 65535.0, 0, nullptr},
      {"regelgeschwindigkeit", 500.1, 0, "#1A1W500\r"},
      {"regelgeschwindigkeit", 500.2, 0, nullptr},
      {"regelgeschwindigkeit", 0.9, 0, "#1A1W1\r"},
      {"programmladen", 0.0, 5, "#1PNS5\r"},
      {"programmladen", 0.0, 0, nullptr},
      {"programmladen", 0.0, 17, nullptr},
      {"programmladen", 0.0, 16, "#1PNS16\r"},
      {"programmspeichern", 0.0, 1, "#1PNP1\r"},
      {"programmspeichern", 0.0, 17, nullptr},
      {"stromkurve", 0.0, 12, "#1WFW12\r"},
      {"stromkurve", 0.0, 13, nullptr},
      {"stromkurve", 0.0, 0, nullptr},
      {"endstuferegeln", 0.0, 0, "#1M1W0\r"},
      {"endstuferegeln", 0.0, 1, "#1M1W1\r"},
      {"endstuferegeln", 0.0, 2, nullptr},
      {"endstuferegeln", 0.0, -1, nullptr},
      // Integer keywords ignore the real value and vice versa.
      {"endstuferegeln", nan, 1, "#1M1W1\r"},
      {"strom1", 1.0, 99999, "#1C1W1.000\r"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(std::string(c.keyword) + " " + std::to_string(c.real) + " " + std::to_string(c.integer));
    answer("\x06");
    ErrorCode r = OLQZPK3X_ParameterSchreiben(kPort, '1', c.keyword, c.real, c.integer, 0);
    if (c.frame != nullptr) {
      EXPECT_EQ(r, 0);
      EXPECT_EQ(sent(), c.frame);
    } else {
      EXPECT_EQ(r, -500034);
      EXPECT_EQ(sent(), "");
    }
  }
}

TEST_F(Script, KeywordsAreWholeAndCaseSensitive) {
  for (const char* bad : {"Strom1", "strom", "strom12", "strom1 ", "", "iststrom"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '1', bad, 1.0, 1, 0), -401046);
    EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', bad), -401017);
  }
  double r = 0;
  int i = 0;
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "Status", &r, &i, nullptr), -401095);
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "programmladen", &r, &i, nullptr), -401095);
  EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '1', nullptr, 1.0, 1, 0), -401046);
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', nullptr), -401017);
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', nullptr, &r, &i, nullptr), -401095);
  EXPECT_EQ(sent(), "");
}

TEST_F(Script, DeviceFunctionAndReadFrames) {
  const std::pair<const char*, const char*> functions[] = {
      {"start", "#3DF1\r"}, {"stopp", "#3DF2\r"}, {"fehlerloeschen", "#3DF3\r"}, {"kalibrieren", "#3DF4\r"}};
  for (auto [keyword, frame] : functions) {
    answer("\x06");
    EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '3', keyword), 0);
    EXPECT_EQ(sent(), frame);
  }
  const std::pair<const char*, const char*> reads[] = {
      {"iststrom", "C0R"}, {"istspannung", "V0R"}, {"status", "S0R"}, {"stromkurve", "WFR"},
      {"strom1", "C1R"},   {"strom2", "C2R"},      {"zeit1", "T1R"},  {"zeit2", "T2R"},
      {"frequenz", "F1R"}, {"spannung", "V1R"},    {"zyklen", "L1R"}, {"regelgeschwindigkeit", "A1R"},
      {"endstuferegeln", "M1R"}};
  for (auto [keyword, command] : reads) {
    SCOPED_TRACE(keyword);
    std::string frame = std::string("#3") + command;
    answer("\x06" + frame + "1\r");
    double r = -1;
    int i = -1;
    EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '3', keyword, &r, &i, nullptr), 0);
    EXPECT_EQ(sent(), frame + "\r");
    EXPECT_TRUE(r == 1.0 || i == 1);
  }
  answer("\x06#3OLQ-ZPK3X\r");
  char id[32];
  EXPECT_EQ(OLQZPK3X_IDLesen(kPort, '3', id), 0);
  EXPECT_EQ(sent(), "#3IDR\r");
  answer("\x06");
  EXPECT_EQ(OLQVMB1_ProgrammUndSchrittEinstellen(kPort, '3', 3, 7), 0);
  EXPECT_EQ(sent(), "#3P1S0307\r");
  answer("\x06#3S2R00\r");
  int st = -1;
  EXPECT_EQ(OLQVMB1_StatusLesen(kPort, '3', 2, &st), 0);
  EXPECT_EQ(sent(), "#3S2R\r");
}

// --- addresses ---

TEST_F(Script, EachOperationChecksItsAddressSetFirst) {
  auto device = [](char a) { return a >= '1' && a <= '8'; };
  auto sister = [](char a) { return (a >= '1' && a <= '9') || (a >= 'a' && a <= 'f'); };
  double r = 0;
  int i = 0;
  char id[32];
  for (int v = -128; v < 128; ++v) {
    char a = static_cast<char>(v);
    SCOPED_TRACE(v);
    answer("\x06");
    // Unknown keywords and selectors too: the address code must win.
    EXPECT_EQ(OLQZPK3X_IDLesen(kPort, a, id) == -400006, !device(a));
    EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, a, "nix") == -400016, !(device(a) || a == '&'));
    EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, a, "nix", 0, 0, 0) == -400033, !(device(a) || a == '&'));
    EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, a, "nix", &r, &i, nullptr) == -400055, !device(a));
    EXPECT_EQ(OLQVMB1_StatusLesen(kPort, a, 3, &i) == -400110, !sister(a));
    EXPECT_EQ(OLQVMB1_ProgrammUndSchrittEinstellen(kPort, a, 1, 1) == -400069, !(sister(a) || a == '&'));
    // Only the sister's program command, which has no keyword, can have sent anything.
    if (!(sister(a) || a == '&')) {
      EXPECT_EQ(sent(), "");
    }
  }
}

TEST_F(Script, BroadcastReturnsAtOnceWithoutReadingTheAnswer) {
  // Even a device that answers is not read: its NAK stays in the queue.
  answer("\x15");
  EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '&', "strom1", 1.0, 0, 0), 0);
  EXPECT_EQ(sent(), "#&C1W1.000\r");
  EXPECT_EQ(ComRdByte(kPort), 0x15);
  answer("\x15");
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '&', "start"), 0);
  EXPECT_EQ(sent(), "#&DF1\r");
  EXPECT_EQ(ComRdByte(kPort), 0x15);
  answer("\x15");
  EXPECT_EQ(OLQVMB1_ProgrammUndSchrittEinstellen(kPort, '&', 12, 0), 0);
  EXPECT_EQ(sent(), "#&P1S1200\r");
  EXPECT_EQ(ComRdByte(kPort), 0x15);
  // Range checks still apply to broadcasts.
  EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '&', "strom1", 5.0, 0, 0), -500034);
}

// --- the steps every transaction shares, for each operation ---

struct Op {
  const char* name;
  std::function<ErrorCode()> run;
  std::string goodAnswer;
  ErrorCode flushIn, flushOut, write, shortWrite, nak, can, none, notAck;
  ErrorCode textByte;  // 0: no answer text
};

std::vector<Op> operations() {
  static double r;
  static int i;
  static char id[32];
  return {
      {"IDLesen", [] { return OLQZPK3X_IDLesen(kPort, '1', id); }, "\x06#1OLQ-ZPK3X\r",
       -124123, -123124, -101008, -114009, -402010, -405011, -403012, -404013, -404014},
      {"DeviceFunction", [] { return OLQZPK3X_DeviceFunction(kPort, '1', "stopp"); }, "\x06",
       -124123, -123124, -101019, -101020, -402021, -405022, -403023, -404024, 0},
      {"ParameterSchreiben", [] { return OLQZPK3X_ParameterSchreiben(kPort, '1', "zeit2", 10, 0, 0); }, "\x06",
       -112048, -112048, -101049, -101050, -402051, -405052, -403053, -404054, 0},
      {"ParameterLesen", [] { return OLQZPK3X_ParameterLesen(kPort, '1', "zeit2", &r, &i, nullptr); },
       "\x06#1T2R10\r", -112096, -112096, -101097, -114098, -402099, -405100, -403101, -404102, -404103},
      {"ProgrammUndSchritt", [] { return OLQVMB1_ProgrammUndSchrittEinstellen(kPort, '1', 1, 2); }, "\x06",
       -112026, -112026, -101027, -101028, -402029, -405030, -403031, -404032, 0},
      {"StatusLesen", [] { return OLQVMB1_StatusLesen(kPort, '1', 1, &i); }, "\x06#1S1R0A\r",
       -124123, -123124, -101113, -114114, -402115, -405116, -403117, -404118, -404119},
  };
}

TEST_F(Script, PortFailuresGiveEachOperationsOwnCodesAndSendNothingBeforeTheWrite) {
  for (const Op& op : operations()) {
    SCOPED_TRACE(op.name);
    reopen();
    answer(op.goodAnswer);
    EXPECT_EQ(op.run(), 0);

    answer(op.goodAnswer);
    Rs232Seam_Fail(Rs232Op::FlushIn);
    Rs232Seam_Fail(Rs232Op::FlushOut);
    EXPECT_EQ(op.run(), op.flushIn);
    EXPECT_EQ(sent(), "");
    // The output queue was left alone: its armed failure is still waiting.
    EXPECT_LT(FlushOutQ(kPort), 0);

    answer(op.goodAnswer);
    Rs232Seam_Fail(Rs232Op::FlushOut);
    EXPECT_EQ(op.run(), op.flushOut);
    EXPECT_EQ(sent(), "");

    answer(op.goodAnswer);
    Rs232Seam_Fail(Rs232Op::Write);
    EXPECT_EQ(op.run(), op.write);

    answer(op.goodAnswer);
    Rs232Seam_ShortWrite(3);
    EXPECT_EQ(op.run(), op.shortWrite);
    EXPECT_EQ(sent().size(), 3u);

    // A failing read is "no answer".
    answer(op.goodAnswer);
    Rs232Seam_Fail(Rs232Op::ReadByte);
    EXPECT_EQ(op.run(), op.none);
  }
}

TEST_F(Script, FirstByteIsClassifiedAsSignedCharacter) {
  for (const Op& op : operations()) {
    SCOPED_TRACE(op.name);
    const std::pair<std::string, ErrorCode> firsts[] = {
        {"\x15" + op.goodAnswer.substr(1), op.nak},
        {"\x18", op.can},
        {"", op.none},
        {"\x80", op.none},
        {"\xff", op.none},
        {"\x86", op.none},  // ACK with the top bit set is no ACK
        {"A", op.notAck},
        {std::string(1, '\0'), op.notAck},
        {"\r", op.notAck},
    };
    for (const auto& [bytes, code] : firsts) {
      reopen();
      answer(bytes);
      EXPECT_EQ(op.run(), code) << "first byte " << (bytes.empty() ? -1 : static_cast<unsigned char>(bytes[0]));
    }
    // NAK ends the transaction at once: nothing after it is read.
    reopen();
    answer("\x15" "ABC");
    op.run();
    EXPECT_EQ(ComRdByte(kPort), 'A');
  }
}

TEST_F(Script, BadBytesInsideAnAnswerText) {
  for (const Op& op : operations()) {
    if (op.textByte == 0) continue;
    SCOPED_TRACE(op.name);
    for (const std::string& bytes : {std::string("\x06"), std::string("\x06#1"), std::string("\x06#1\x90\r")}) {
      reopen();
      answer(bytes);
      EXPECT_EQ(op.run(), op.textByte);
    }
  }
}

TEST_F(Script, OutputQueueThatReportsAnErrorOrNeverEmptiesStillEnds) {
  Rs232Seam_TimeoutOverride(0.02);
  for (const Op& op : operations()) {
    SCOPED_TRACE(op.name);
    reopen();
    Rs232Seam_OutQueue(-1);
    answer(op.goodAnswer);
    EXPECT_EQ(op.run(), 0);
    Rs232Seam_OutQueue(100);
    answer(op.goodAnswer);
    EXPECT_EQ(op.run(), 0);
    answer("");
    EXPECT_EQ(op.run(), op.none);
  }
}

// --- parameter reads ---

TEST_F(Script, ParameterReadParsesEachKind) {
  struct ReadCase {
    const char* keyword;
    std::string text;  // after the ACK
    ErrorCode code;
    double real;
    int integer;
  };
  const ReadCase cases[] = {
      {"strom1", "#1C1R1.500\r", 0, 1.5, 0},
      {"iststrom", "#1C0R 0.25\r", 0, 0.25, 0},
      {"istspannung", "#1V0R-3e1\r", 0, -30.0, 0},
      {"zeit1", "#1T1R+17\r", 0, 17.0, 0},
      {"spannung", "#1V1R12.0xyz\r", 0, 12.0, 0},
      {"status", "#1S0R201\r", 0, 0, 0x201},
      {"status", "#1S0R0x1F\r", 0, 0, 0x1F},
      {"status", "#1S0RffffFFFF\r", 0, 0, -1},
      {"stromkurve", "#1WFR12\r", 0, 0, 12},
      {"endstuferegeln", "#1M1R-1\r", 0, 0, -1},
      {"strom1", "#1C1Rerr\r", -409000, 0, 0},
      {"status", "#1S0Rerr\r", -409000, 0, 0},
      {"strom1", "#2C1R1.5\r", -404104, 0, 0},
      {"strom1", "#1C2R1.5\r", -404104, 0, 0},
      {"strom1", "#1C1\r", -404104, 0, 0},
      {"strom1", "#1C1Rerror\r", -404105, 0, 0},
      {"strom1", "#1C1R\r", -404105, 0, 0},
      {"strom1", "#1C1Rabc\r", -404105, 0, 0},
      {"strom1", "#1C1Rnan\r", -404105, 0, 0},
      {"strom1", "#1C1Rinf\r", -404105, 0, 0},
      {"strom1", "#1C1R-infinity\r", -404105, 0, 0},
      {"strom1", "#1C1R1e999\r", -404105, 0, 0},
      {"strom1", "#1C1R+-1\r", -404105, 0, 0},
      {"stromkurve", "#1WFRx\r", -404106, 0, 0},
      {"stromkurve", "#1WFR2147483648\r", -404106, 0, 0},
      {"endstuferegeln", "#1M1R\r", -404106, 0, 0},
      {"status", "#1S0Rxyz\r", -404109, 0, 0},
      {"status", "#1S0R100000000\r", -404109, 0, 0},
      {"status", "#1S0R-1\r", -404109, 0, 0},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.text);
    reopen();  // a wrong echo leaves an answer owed
    answer("\x06" + c.text);
    double r = 99.0;
    int i = 99;
    EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', c.keyword, &r, &i, nullptr), c.code);
    if (c.code == 0) {
      EXPECT_EQ(r, c.real == 0 ? 99.0 : c.real);
      EXPECT_EQ(i, c.integer == 0 ? 99 : c.integer);
    } else {
      // A failed read leaves the caller's variables alone.
      EXPECT_EQ(r, 99.0);
      EXPECT_EQ(i, 99);
    }
  }
}

TEST_F(Script, AnswerTextStopsAtTwentyNineBytes) {
  // 29 bytes without CR: parsed as read; the 30th byte stays unread.
  std::string text = "#1C1R1.5" + std::string(21, 'x');
  ASSERT_EQ(text.size(), 29u);
  answer("\x06" + text + "Q\r");
  double r = 0;
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "strom1", &r, nullptr, nullptr), 0);
  EXPECT_EQ(r, 1.5);
  EXPECT_EQ(ComRdByte(kPort), 'Q');

  // A number cut off by the limit is parsed as far as it got.
  answer("\x06#1C1R" + std::string(24, '7') + "9\r");
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "strom1", &r, nullptr, nullptr), 0);
  EXPECT_EQ(r, 777777777777777777777777.0);
  EXPECT_EQ(ComRdByte(kPort), '9');
}

TEST_F(Script, ReadWithoutDestinationForItsKindIsRefusedUnsent) {
  int i = 0;
  double r = 0;
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "strom1", nullptr, &i, nullptr), -401095);
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "status", &r, nullptr, nullptr), -401095);
  EXPECT_EQ(sent(), "");
  answer("\x06#1S0R8\r");
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "status", nullptr, &i, nullptr), 0);
  EXPECT_EQ(i, 8);
}

// --- identity ---

TEST_F(Script, IdentityAnswerShape) {
  const std::string longest(26, 'Z');
  const std::pair<std::string, const char*> cases[] = {
      {"#1OLQ-ZPK3X\r", "OLQ-ZPK3X"},
      {"#1OLQ-ZPK3X-V1.2\r", "OLQ-ZPK3X-V1.2"},
      {"#1" + longest + "\r", nullptr},  // filled in below
      {"#1OLQ-ZPK3X V1\r", ""},
      {"#1 OLQ\r", ""},
      {"#1\r", ""},
      {"#2OLQ-ZPK3X\r", ""},
      {"*1OLQ-ZPK3X\r", ""},
      {"#1" + longest + "Z\r", ""},  // 30 bytes: no CR within the limit
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    // Each on a line in step: while an answer is owed, a malformed one is passed over.
    reopen();
    answer("\x06" + text);
    char id[32] = "unchanged";
    ErrorCode r = OLQZPK3X_IDLesen(kPort, '1', id);
    std::string want = expected == nullptr ? longest : expected;
    if (want.empty()) {
      EXPECT_EQ(r, -404015);
      EXPECT_STREQ(id, "unchanged");
    } else {
      EXPECT_EQ(r, 0);
      EXPECT_EQ(std::string(id), want);
    }
  }
}

// --- sister family ---

TEST_F(Script, SisterStatusAnswerShapeAndSelector) {
  const std::pair<std::string, ErrorCode> cases[] = {
      {"#1S1RfF\r", 0},         {"#1S2R01\r", -404121},  {"#1S1R0\r", -404120},
      {"#1S1R0G\r", -404120},   {"#1S1R000\r", -404120}, {"#2S1R00\r", -404120},
      {"#1T1R00\r", -404120},   {"#1SxR00\r", -404120},  {"#1S1R00", -404119},
      {"", -404119},
  };
  for (const auto& [text, code] : cases) {
    SCOPED_TRACE(text);
    reopen();
    answer("\x06" + text);
    int status = -7;
    EXPECT_EQ(OLQVMB1_StatusLesen(kPort, '1', 1, &status), code);
    EXPECT_EQ(status, code == 0 ? 0xFF : -7);
  }
  reopen();
  answer("\x06#bS1R10\r");
  int status = 0;
  EXPECT_EQ(OLQVMB1_StatusLesen(kPort, 'b', 2, &status), -404122);
  reopen();  // the answer did not echo the frame: one is owed
  answer("\x06#bS2R10\r");
  EXPECT_EQ(OLQVMB1_StatusLesen(kPort, 'b', 2, &status), 0);
  EXPECT_EQ(status, 0x10);
  // A 14-byte answer is the most that is read.
  answer("\x06#bS2R10" + std::string(7, ' ') + "\r");
  EXPECT_EQ(OLQVMB1_StatusLesen(kPort, 'b', 2, &status), -404120);
  EXPECT_EQ(ComRdByte(kPort), '\r');

  answer("\x06");
  EXPECT_EQ(OLQVMB1_StatusLesen(kPort, '1', 0, &status), -401111);
  EXPECT_EQ(OLQVMB1_StatusLesen(kPort, '1', 3, &status), -401111);
  EXPECT_EQ(OLQVMB1_StatusLesen(kPort, '1', 1, nullptr), -401111);
  EXPECT_EQ(sent(), "");
}

TEST_F(Script, SisterProgramAndStepMustFitTwoDigits) {
  answer("\x06");
  EXPECT_EQ(OLQVMB1_ProgrammUndSchrittEinstellen(kPort, 'f', 99, 0), 0);
  EXPECT_EQ(sent(), "#fP1S9900\r");
  for (auto [p, s] : {std::pair{100, 1}, {1, 100}, {-1, 1}, {1, -1}}) {
    answer("\x06");
    EXPECT_EQ(OLQVMB1_ProgrammUndSchrittEinstellen(kPort, 'f', p, s), -500034);
    EXPECT_EQ(sent(), "");
  }
}

TEST(Hexchar2Int, DigitsAndLettersOfBothCases) {
  EXPECT_EQ(Hexchar2Int('F'), 15);
  EXPECT_EQ(Hexchar2Int('f'), 15);
  EXPECT_EQ(Hexchar2Int('a'), 10);
  EXPECT_EQ(Hexchar2Int('A'), 10);
  EXPECT_EQ(Hexchar2Int('0'), 0);
  EXPECT_EQ(Hexchar2Int('9'), 9);
  for (char c : {'g', 'G', '/', ':', '@', '`', ' ', '\0', static_cast<char>(0xC6)}) EXPECT_EQ(Hexchar2Int(c), -1);
}

// --- serial port operations ---

TEST(PortOperations, OpenChecksBaudRateThenPortThenPlatform) {
  Rs232Seam_Reset();
  EXPECT_EQ(OLQZPK3X_Open(0, 9600), -100002);
  EXPECT_EQ(OLQZPK3X_Open(3, 19200), -125001);
  EXPECT_EQ(OLQZPK3X_Open(9, 300), -125001);
  EXPECT_EQ(OLQZPK3X_Open(9, 1200), -100002);
  EXPECT_EQ(OLQZPK3X_Open(3, 0), -125001);
  Rs232Seam_ScriptPort(kPort, "", 0);
  Rs232Seam_Fail(Rs232Op::Open);
  EXPECT_EQ(OLQZPK3X_Open(kPort, 4800), -100003);
  EXPECT_EQ(OLQZPK3X_Close(kPort), -103004);  // nothing was left open
  for (int baud : {1200, 2400, 4800, 9600}) {
    ASSERT_EQ(OLQZPK3X_Open(kPort, baud), 0);
    Rs232LineSettings s = Rs232Seam_LastLineSettings();
    EXPECT_EQ(s.baudRate, baud);
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.parity, 1);
    EXPECT_EQ(s.stopBits, 1);
  }
  Rs232Seam_Fail(Rs232Op::SetTime);
  EXPECT_EQ(OLQZPK3X_Timeout(kPort, 0.5), -111005);
  EXPECT_EQ(OLQZPK3X_Timeout(kPort, 0.5), 0);
  Rs232Seam_Fail(Rs232Op::FlushIn);
  EXPECT_EQ(FlushInOut(kPort), -124123);
  Rs232Seam_Fail(Rs232Op::FlushOut);
  EXPECT_EQ(FlushInOut(kPort), -123124);
  EXPECT_EQ(FlushInOut(kPort), 0);
  Rs232Seam_Fail(Rs232Op::Close);
  EXPECT_EQ(OLQZPK3X_Close(kPort), -103004);
  EXPECT_EQ(OLQZPK3X_Close(kPort), -103004);
  Rs232Seam_Reset();
}

}  // namespace

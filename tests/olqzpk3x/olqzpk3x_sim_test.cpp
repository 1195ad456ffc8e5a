// Driver against the device simulator over a pseudo-terminal: what goes over the
// line, how the device's answers and faults come back, and the port's life cycle.
#include <algorithm>
#include <clocale>
#include <memory>
#include <cstdio>
#include <string>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232.h"
#include "rs232/rs232_seam.h"
#include "sim_harness.h"

namespace {

constexpr int kPort = 4;

// Take the locale from the environment, as the program's window library does
// (the tests run with LC_ALL=de_DE.UTF-8).
class LocaleFromEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { std::setlocale(LC_ALL, ""); }
};
[[maybe_unused]] ::testing::Environment* const gLocale =
    ::testing::AddGlobalTestEnvironment(new LocaleFromEnvironment);

class OnSimulator : public ::testing::Test {
 protected:
  void SetUp() override { start(simtest::SimOptions()); }
  void TearDown() override {
    OLQZPK3X_Close(kPort);
    Rs232Seam_Reset();
  }
  void start(const simtest::SimOptions& options) {
    Rs232Seam_Reset();
    sim_ = std::make_unique<simtest::Simulator>(options);
    ASSERT_TRUE(sim_->ok());
    sim_->mapToCom(kPort);
    ASSERT_EQ(OLQZPK3X_Open(kPort, options.baud), 0);
    ASSERT_EQ(OLQZPK3X_Timeout(kPort, 0.5), 0);
    // Silent devices cost one time-out each: keep them short.
    Rs232Seam_TimeoutOverride(0.15);
  }
  void control(const std::string& command) {
    sim_->control(command);
    ASSERT_TRUE(sim_->ok()) << command;
  }
  std::string lastFrame() {
    std::vector<std::string> f = sim_->frames();
    return f.empty() ? std::string() : f.back();
  }
  std::unique_ptr<simtest::Simulator> sim_;
};

struct WriteCase {
  const char* keyword;
  double real;
  int integer;
  const char* frame;  // nullptr: refused, nothing on the line
};

TEST_F(OnSimulator, WriteCommandsOnTheLineAtTheirLimits) {
  const WriteCase cases[] = {
      {"strom1", 4.0, 0, "#1C1W4.000"},       {"strom1", 4.0002, 0, nullptr},
      {"strom1", 0.0009, 0, "#1C1W0.001"},    {"strom1", 0.0008, 0, nullptr},
      {"zeit1", 65534.0, 0, "#1T1W65534"},    {"zeit1", 0.9, 0, "#1T1W1"},
      {"zeit1", 65535.0, 0, nullptr},         {"frequenz", 24.9, 0, "#1F1W25"},
      {"spannung", 9.0, 0, "#1V1W9.0"},       {"spannung", 53.01, 0, "#1V1W53.0"},
      {"spannung", 8.98, 0, nullptr},         {"programmladen", 0, 0, nullptr},
      {"programmladen", 0, 17, nullptr},      {"stromkurve", 0, 12, "#1WFW12"},
      {"stromkurve", 0, 13, nullptr},         {"endstuferegeln", 0, 1, "#1M1W1"},
      {"endstuferegeln", 0, 0, "#1M1W0"},     {"endstuferegeln", 0, 2, nullptr},
      {"regelgeschwindigkeit", 500.1, 0, "#1A1W500"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(std::string(c.keyword) + " " + std::to_string(c.real) + " " + std::to_string(c.integer));
    sim_->clearFrames();
    ErrorCode r = OLQZPK3X_ParameterSchreiben(kPort, '1', c.keyword, c.real, c.integer, 0);
    if (c.frame != nullptr) {
      EXPECT_EQ(r, 0);
      EXPECT_EQ(sim_->frames(), std::vector<std::string>{c.frame});
    } else {
      EXPECT_EQ(r, -500034);
      // A read afterwards proves the line is quiet and in order.
      int curve = 0;
      EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "stromkurve", nullptr, &curve, nullptr), 0);
      EXPECT_EQ(sim_->frames(), std::vector<std::string>{"#1WFR"});
    }
  }
}

TEST_F(OnSimulator, ValuesWrittenAreReadBack) {
  ASSERT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '1', "strom2", 1.2345, 0, 0), 0);
  ASSERT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '1', "spannung", 23.46, 0, 0), 0);
  ASSERT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '1', "stromkurve", 0.0, 7, 0), 0);
  double real = 0;
  int integer = 0;
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "strom2", &real, nullptr, nullptr), 0);
  EXPECT_DOUBLE_EQ(real, 1.234);  // sent with three decimals
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "spannung", &real, nullptr, nullptr), 0);
  EXPECT_DOUBLE_EQ(real, 23.5);
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "stromkurve", nullptr, &integer, nullptr), 0);
  EXPECT_EQ(integer, 7);
  control("status 201");
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "status", nullptr, &integer, nullptr), 0);
  EXPECT_EQ(integer, 0x201);
  char id[32] = {};
  EXPECT_EQ(OLQZPK3X_IDLesen(kPort, '1', id), 0);
  EXPECT_EQ(std::string(id).rfind("OLQ-ZPK3X", 0), 0u) << id;
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "fehlerloeschen"), 0);
  EXPECT_EQ(lastFrame(), "#1DF3");
}

TEST_F(OnSimulator, BroadcastIsSentAndNotAnswered) {
  EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '&', "zeit2", 250.0, 0, 0), 0);
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '&', "stopp"), 0);
  EXPECT_EQ(sim_->frames(), (std::vector<std::string>{"#&T2W250", "#&DF2"}));
  double real = 0;
  char id[32];
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '&', "zeit2", &real, nullptr, nullptr), -400055);
  EXPECT_EQ(OLQZPK3X_IDLesen(kPort, '&', id), -400006);
  EXPECT_EQ(sim_->frames().size(), 2u);
  // The broadcast reached the device.
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "zeit2", &real, nullptr, nullptr), 0);
  EXPECT_DOUBLE_EQ(real, 250.0);
}

struct FaultCase {
  const char* fault;
  ErrorCode real, decimal, hex, identity, write, function;
};

TEST_F(OnSimulator, DeviceFaultsForEachKindOfTransaction) {
  // 0 in a column: that fault does not apply to that transaction.
  const FaultCase cases[] = {
      {"nak", -402099, -402099, -402099, -402010, -402051, -402021},
      {"can", -405100, -405100, -405100, -405011, -405052, -405022},
      {"silence", -403101, -403101, -403101, -403012, -403053, -403023},
      {"garbage", -404102, -404102, -404102, -404013, -404054, -404024},
      {"echo", -404104, -404104, -404104, -404015, 0, 0},
      {"err", -409000, -409000, -409000, 0, 0, 0},
      {"nonumber", -404105, -404106, -404109, 0, 0, 0},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.fault);
    // Each transaction on a line in step: a failure leaves an answer owed, and
    // the next command would first have to prove the line in step.
    auto fault = [&] {
      control("fault none");
      double current = 0;
      ASSERT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "iststrom", &current, nullptr, nullptr), 0);
      control(std::string("fault ") + c.fault + " *");
    };
    double real = -5;
    int integer = -5;
    char id[32] = "before";
    fault();
    EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "frequenz", &real, nullptr, nullptr), c.real);
    fault();
    EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "endstuferegeln", nullptr, &integer, nullptr), c.decimal);
    fault();
    EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "status", nullptr, &integer, nullptr), c.hex);
    EXPECT_EQ(real, -5);
    EXPECT_EQ(integer, -5);
    if (c.identity != 0) {
      fault();
      EXPECT_EQ(OLQZPK3X_IDLesen(kPort, '1', id), c.identity);
      EXPECT_STREQ(id, "before");
    }
    if (c.write != 0) {
      fault();
      EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '1', "zyklen", 3, 0, 0), c.write);
    }
    if (c.function != 0) {
      fault();
      EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "start"), c.function);
    }
  }
  // After any failure the next transaction starts clean.
  control("fault none");
  double real = 0;
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "frequenz", &real, nullptr, nullptr), 0);
}

TEST_F(OnSimulator, FaultOnOneCommandOnly) {
  control("fault nak PNS");
  EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '1', "programmladen", 0, 3, 0), -402051);
  EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '1', "programmspeichern", 0, 3, 0), 0);
}

// "start" is answered 400 ms late, after the (shortened) 150 ms time-out;
// "stopp" is never answered. Its ACK must not pass for stop's.
TEST_F(OnSimulator, LateAnswerNeverPassesForTheNextCommand) {
  control("fault late DF1 400");
  control("fault silence DF2");
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "start"), -403023);
  // The check that the line is in step is answered only after the late ACK:
  // too late, so "stopp" is not sent at all.
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "stopp"), -403023);
  EXPECT_TRUE(OLQZPK3X_LetzteTransaktion(kPort).nichtGesendet);
  EXPECT_EQ(sim_->frames(), (std::vector<std::string>{"#1DF1", "#1S0R"}));
  ASSERT_TRUE(sim_->drain());
  // Now the late ACK and the late status answer are waiting: the look before the
  // frame sees both, the status answer came whole (its echo can no longer be
  // stale), and a status check proves the step.
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "stopp"), -403023);
  EXPECT_FALSE(OLQZPK3X_LetzteTransaktion(kPort).nichtGesendet);
  EXPECT_EQ(sim_->frames(), (std::vector<std::string>{"#1DF1", "#1S0R", "#1S0R", "#1DF2"}));

  // The same for a read of the same command at the same address.
  control("fault none");
  control("fault late C1R 400");
  double real = 0;
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "strom1", &real, nullptr, nullptr), -403101);
  control("fault none");
  control("value C1R 2.5");
  ASSERT_TRUE(sim_->drain());
  sim_->clearFrames();
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "strom1", &real, nullptr, nullptr), 0);
  EXPECT_EQ(real, 2.5);
  // A read of another command passes over the late answer by its echo; the
  // late answer seen whole before a read of the same command needs no check.
  control("fault late C1R 400");
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "strom1", &real, nullptr, nullptr), -403101);
  control("fault none");
  ASSERT_TRUE(sim_->drain());
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "strom2", &real, nullptr, nullptr), 0);
  EXPECT_EQ(sim_->frames(), (std::vector<std::string>{"#1C1R", "#1C1R", "#1C2R"}));
}

// What is owed outlives the process: a holder that closes, or is killed, leaves
// a record, and the next opener proves the line in step before a command.
TEST_F(OnSimulator, OwedAnswerIsRecordedForTheNextOpener) {
  control("fault late DF1 300");
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "start"), -403023);
  ASSERT_EQ(OLQZPK3X_Close(kPort), 0);
  ASSERT_TRUE(sim_->drain());  // the late answer came while the port was closed
  ASSERT_EQ(OLQZPK3X_Open(kPort, 9600), 0);
  control("fault none");
  control("fault silence DF2");
  sim_->clearFrames();
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "stopp"), -403023);
  EXPECT_EQ(sim_->frames(), (std::vector<std::string>{"#1S0R", "#1DF2"}));
  // A proof of step cleared what was owed; a clean close after it leaves nothing.
  control("fault none");
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "stopp"), 0);
  ASSERT_EQ(OLQZPK3X_Close(kPort), 0);
  ASSERT_EQ(OLQZPK3X_Open(kPort, 9600), 0);
  sim_->clearFrames();
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "stopp"), 0);
  EXPECT_EQ(sim_->frames(), (std::vector<std::string>{"#1DF2"}));

  // Opened at another rate, what is owed stays owed: a pseudo-terminal or a
  // network port passes bytes at any rate. The check at the new rate decides,
  // and here the device does not hear it: nothing is sent.
  control("fault late DF1 300");
  control("fault silence DF2");
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "start"), -403023);
  ASSERT_EQ(OLQZPK3X_Close(kPort), 0);
  ASSERT_TRUE(sim_->drain());
  ASSERT_EQ(OLQZPK3X_Open(kPort, 4800), 0);
  sim_->clearFrames();
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "stopp"), -403023);
  EXPECT_TRUE(OLQZPK3X_LetzteTransaktion(kPort).nichtGesendet);
  EXPECT_EQ(sim_->frames(), (std::vector<std::string>{"#1S0R"}));
}

TEST_F(OnSimulator, BroadcastOwesNothing) {
  control("fault late DF1 400");
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "start"), -403023);
  // The broadcast goes out at once; the command after it still proves the step.
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '&', "stopp"), 0);
  ASSERT_TRUE(sim_->drain());
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "kalibrieren"), 0);
  EXPECT_EQ(sim_->frames(), (std::vector<std::string>{"#1DF1", "#&DF2", "#1S0R", "#1DF4"}));
}

TEST_F(OnSimulator, AnswerTextOfTwentyNineBytesWithoutCarriageReturn) {
  // "#1C1R" and 24 value characters fill the 29 bytes; the CR comes too late.
  control("value C1R 1.5" + std::string(21, 'x'));
  double real = 0;
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "strom1", &real, nullptr, nullptr), 0);
  EXPECT_DOUBLE_EQ(real, 1.5);
  // The unread CR is a stray byte: the next read passes over it by its echo.
  control("value C1R 2.25");
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "strom1", &real, nullptr, nullptr), 0);
  EXPECT_DOUBLE_EQ(real, 2.25);
}

TEST_F(OnSimulator, NumbersTheDeviceMightSend) {
  const std::pair<const char*, ErrorCode> cases[] = {
      {"nan", -404105}, {"inf", -404105}, {"1e400", -404105}, {" 3.5", 0}, {"+0.5", 0}, {"12abc", 0}};
  for (auto [text, code] : cases) {
    SCOPED_TRACE(text);
    control(std::string("value V0R ") + text);
    double real = 0;
    EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "istspannung", &real, nullptr, nullptr), code);
  }
}

TEST_F(OnSimulator, WrongAddressOrBaudRateMeansNoAnswer) {
  char id[32];
  EXPECT_EQ(OLQZPK3X_IDLesen(kPort, '2', id), -403012);
  ASSERT_EQ(OLQZPK3X_Close(kPort), 0);
  ASSERT_EQ(OLQZPK3X_Open(kPort, 4800), 0);
  EXPECT_EQ(OLQZPK3X_IDLesen(kPort, '1', id), -403012);
  ASSERT_EQ(OLQZPK3X_Open(kPort, 9600), 0);
  EXPECT_EQ(OLQZPK3X_IDLesen(kPort, '1', id), 0);
}

TEST_F(OnSimulator, PortIsExclusiveAndReopensWhileTheSimulatorRuns) {
  sim_->mapToCom(kPort + 1);
  EXPECT_EQ(OLQZPK3X_Open(kPort + 1, 9600), -100003);
  EXPECT_EQ(OLQZPK3X_Close(kPort), 0);
  EXPECT_EQ(OLQZPK3X_Close(kPort), -103004);
  ASSERT_EQ(OLQZPK3X_Open(kPort + 1, 9600), 0);
  char id[32];
  EXPECT_EQ(OLQZPK3X_IDLesen(kPort + 1, '1', id), 0);
  EXPECT_EQ(OLQZPK3X_Close(kPort + 1), 0);
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(OLQZPK3X_Open(kPort, 2400 * (round + 1) / (round + 1)), 0);
    ASSERT_EQ(OLQZPK3X_Close(kPort), 0);
  }
  ASSERT_EQ(OLQZPK3X_Open(kPort, 9600), 0);
  EXPECT_EQ(OLQZPK3X_IDLesen(kPort, '1', id), 0);
  EXPECT_EQ(Rs232Seam_LastLineSettings().dataBits, 7);
  EXPECT_EQ(Rs232Seam_LastLineSettings().parity, 1);
}

TEST_F(OnSimulator, PlatformFailuresOnARealTerminal) {
  double real = 0;
  Rs232Seam_Fail(Rs232Op::FlushOut);
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "strom1", &real, nullptr, nullptr), -112096);
  Rs232Seam_Fail(Rs232Op::Write);
  EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '1', "strom1", 1.0, 0, 0), -101049);
  Rs232Seam_ShortWrite(4);
  EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '1', "strom1", 1.0, 0, 0), -101050);
  EXPECT_TRUE(sim_->frames().empty());
  // A queue that never empties: the wait gives up and the answer is read as usual.
  Rs232Seam_OutQueue(3);
  EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '1', "strom1", 1.0, 0, 0), 0);
  Rs232Seam_OutQueue(-1);
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "strom1", &real, nullptr, nullptr), 0);
  EXPECT_DOUBLE_EQ(real, 1.0);
}

// A line whose far end went away (an adapter pulled out) is one failure for
// every command, whichever step notices it, and unlike a silent device; a new
// open on a device that is back works again.
TEST_F(OnSimulator, HangUpIsOneFailureUntilThePortIsOpenedAgain) {
  double real = 0;
  int integer = 0;
  char id[32];
  control("fault silence DF2");
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "stopp"), -403023);
  EXPECT_EQ(ComLineLost(kPort), 0);
  control("fault hangup 1");
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "iststrom", &real, nullptr, nullptr), 0);
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "status", nullptr, &integer, nullptr), OLQZPK3X_LEITUNG_GETRENNT);
  EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '1', "strom1", 1.0, 0, 0), OLQZPK3X_LEITUNG_GETRENNT);
  EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "start"), OLQZPK3X_LEITUNG_GETRENNT);
  EXPECT_EQ(OLQZPK3X_IDLesen(kPort, '1', id), OLQZPK3X_LEITUNG_GETRENNT);
  EXPECT_EQ(ComLineLost(kPort), 1);
  // The simulator ended outright, while an answer is awaited, is the same.
  start(simtest::SimOptions());
  control("fault delay 1500");  // far longer than ending the simulator takes
  EXPECT_EQ(ComLineLost(kPort), 0);
  // Ended once the request is on the line, while its answer is held back.
  std::thread ende([this] {
    const auto bis = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (sim_->frames().empty() && std::chrono::steady_clock::now() < bis)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    sim_.reset();
  });
  Rs232Seam_TimeoutOverride(2.0);
  EXPECT_EQ(OLQZPK3X_IDLesen(kPort, '1', id), OLQZPK3X_LEITUNG_GETRENNT);
  ende.join();
  start(simtest::SimOptions());
  EXPECT_EQ(OLQZPK3X_IDLesen(kPort, '1', id), 0);
}

TEST(LocaleIndependence, FramesAndAnswersUnderAGermanLocale) {
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  ASSERT_STREQ(probe, "0,5");  // the locale really writes decimal commas

  simtest::Simulator sim;
  ASSERT_TRUE(sim.ok());
  sim.mapToCom(kPort);
  ASSERT_EQ(OLQZPK3X_Open(kPort, 9600), 0);
  ASSERT_EQ(OLQZPK3X_Timeout(kPort, 0.5), 0);
  EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '1', "strom1", 0.1, 0, 0), 0);
  EXPECT_EQ(OLQZPK3X_ParameterSchreiben(kPort, '1', "spannung", 12.0, 0, 0), 0);
  EXPECT_EQ(sim.frames(), (std::vector<std::string>{"#1C1W0.100", "#1V1W12.0"}));
  double real = 0;
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "strom1", &real, nullptr, nullptr), 0);
  EXPECT_DOUBLE_EQ(real, 0.1);
  sim.control("value C0R 1.500");
  EXPECT_EQ(OLQZPK3X_ParameterLesen(kPort, '1', "iststrom", &real, nullptr, nullptr), 0);
  EXPECT_DOUBLE_EQ(real, 1.5);
  EXPECT_EQ(OLQZPK3X_Close(kPort), 0);
  std::setlocale(LC_ALL, "");
}

}  // namespace

// However late the answer (here 6, 12 and 40 time-outs), the next command is
// either kept back or sent after a proof of step: never answered by it.
TEST(SpaeteAntwort, JeSpaeterDestoLaengerZurueckgehaltenNieGeglaubt) {
  for (const int spaet : {300, 600, 2000}) {
    SCOPED_TRACE(spaet);
    Rs232Seam_Reset();
    simtest::Simulator sim;
    ASSERT_TRUE(sim.ok());
    sim.mapToCom(kPort);
    ASSERT_EQ(OLQZPK3X_Open(kPort, 9600), 0);
    Rs232Seam_TimeoutOverride(0.05);
    sim.control("fault late DF1 " + std::to_string(spaet));
    sim.control("fault silence DF2");
    EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "start"), -403023);
    // Tried again and again until the late answer has come and the step is
    // proven; the deadline only bounds a failure, however slow the machine.
    const auto ende = std::chrono::steady_clock::now() + std::chrono::milliseconds(spaet + 30000);
    bool gesendet = false;
    while (!gesendet && std::chrono::steady_clock::now() < ende) {
      EXPECT_EQ(OLQZPK3X_DeviceFunction(kPort, '1', "stopp"), -403023);
      gesendet = !OLQZPK3X_LetzteTransaktion(kPort).nichtGesendet;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // pacing of the attempts, not a wait for anything
    }
    EXPECT_TRUE(gesendet);
    const std::vector<std::string> rahmen = sim.frames();
    ASSERT_GE(rahmen.size(), 3u);
    EXPECT_EQ(rahmen.back(), "#1DF2");
    EXPECT_EQ(rahmen[rahmen.size() - 2].back(), 'R');  // a check just before it
    EXPECT_EQ(std::count(rahmen.begin(), rahmen.end(), "#1DF2"), 1);
    OLQZPK3X_Close(kPort);
    Rs232Seam_Reset();
  }
}

// The numbers beyond the COM numbers, for a caller that opens many devices at
// once, name their device at every open; the highest one keeps its state too.
TEST(PortNumbers, BeyondTheComNumbersOnlyWithADeviceName) {
  Rs232Seam_Reset();
  simtest::Simulator sim;
  ASSERT_TRUE(sim.ok());
  const char* pfad = sim.ptyPath().c_str();
  EXPECT_EQ(OLQZPK3X_OpenDevice(COM_PORTS + 1, "", 9600), -100002);
  EXPECT_EQ(OLQZPK3X_Open(COM_PORTS + 1, 9600), -100002);
  EXPECT_EQ(OLQZPK3X_OpenDevice(COM_PORT_SLOTS + 1, pfad, 9600), -100002);
  ASSERT_EQ(OLQZPK3X_OpenDevice(COM_PORT_SLOTS, pfad, 9600), 0);
  char id[32] = {};
  EXPECT_EQ(OLQZPK3X_IDLesen(COM_PORT_SLOTS, '1', id), 0);
  EXPECT_STREQ(OLQZPK3X_LetzteTransaktion(COM_PORT_SLOTS).rahmen, "#1IDR");
  EXPECT_EQ(OLQZPK3X_Close(COM_PORT_SLOTS), 0);
  EXPECT_STREQ(OLQZPK3X_LetzteTransaktion(COM_PORT_SLOTS).rahmen, "");
}

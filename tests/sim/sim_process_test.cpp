// The status word's life cycle and the live values of a running process.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "raw_port.h"
#include "sim_harness.h"

namespace simtest {
namespace {

unsigned statusOf(RawPort& port) {
  const std::string v = port.read("#1S0R");
  size_t used = 0;
  const unsigned long s = std::stoul(v, &used, 16);
  EXPECT_EQ(used, v.size()) << v;
  return static_cast<unsigned>(s);
}

double number(const std::string& text) {
  size_t used = 0;
  const double v = std::stod(text, &used);
  EXPECT_EQ(used, text.size()) << text;
  return v;
}

using SimProcess = SimTest;

TEST_F(SimProcess, StartRunsRefusesChangesAndStoppCancels) {
  // A long rectangle: the test stays well inside its first half.
  ASSERT_EQ(port.transact("#1WFW3"), ack());
  ASSERT_EQ(port.transact("#1C1W1.000"), ack());
  ASSERT_EQ(port.transact("#1C2W2.000"), ack());
  ASSERT_EQ(port.transact("#1T1W60000"), ack());
  ASSERT_EQ(port.transact("#1V1W24.0"), ack());
  sim.control("status 2800");  // ended and cancelled from an earlier run
  ASSERT_EQ(port.transact("#1DF1"), ack());
  EXPECT_EQ(statusOf(port), 0x300u);

  for (const char* busy : {"#1C1W0.500", "#1WFW4", "#1M1W1", "#1PNS1", "#1PNP1", "#1DF4"})
    EXPECT_EQ(port.transact(busy), can()) << busy;
  EXPECT_EQ(port.read("#1C1R"), "1.000");  // reads still work, nothing changed
  EXPECT_EQ(port.transact("#1DF3"), ack());

  for (int i = 0; i < 5; ++i) {
    const double current = number(port.read("#1C0R"));
    EXPECT_NEAR(current, 1.0, 0.02);
    const double voltage = number(port.read("#1V0R"));
    EXPECT_NEAR(voltage, 24.0, 0.2);
  }

  ASSERT_EQ(port.transact("#1DF2"), ack());
  EXPECT_EQ(statusOf(port), 0x2100u);
  EXPECT_EQ(port.read("#1C0R"), "0.000");
  EXPECT_EQ(port.read("#1V0R"), "0.0");
  EXPECT_EQ(port.transact("#1C1W0.500"), ack());
}

TEST_F(SimProcess, ProgramEndsAfterItsCycles) {
  // 5 cycles of 1 + 1 ms.
  ASSERT_EQ(port.transact("#1T1W1"), ack());
  ASSERT_EQ(port.transact("#1T2W1"), ack());
  ASSERT_EQ(port.transact("#1L1W5"), ack());
  ASSERT_EQ(port.transact("#1DF1"), ack());
  unsigned s = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    s = statusOf(port);
    if (s & 0x800) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(s, 0x900u);
  EXPECT_EQ(port.transact("#1C1W0.500"), ack());  // no longer busy
  const auto dump = sim.control("dump");
  ASSERT_EQ(dump.size(), 20u);
  EXPECT_EQ(dump[17], "status 900");
}

TEST_F(SimProcess, ErrorBitsClearOnFehlerloeschenAndCalibrationOnKalibrieren) {
  sim.control("status 2C1F");
  ASSERT_EQ(port.transact("#1DF3"), ack());
  EXPECT_EQ(statusOf(port), 0x2C04u);
  sim.control("status 8");
  ASSERT_EQ(port.transact("#1DF4"), ack());
  EXPECT_EQ(statusOf(port), 0u);
}

TEST_F(SimProcess, StatusSetFromOutsideWithActiveBitRunsUntilStopp) {
  sim.control("status 200");
  EXPECT_EQ(port.transact("#1T1W5"), can());
  EXPECT_EQ(port.read("#1C0R"), "0.100");
  ASSERT_EQ(port.transact("#1DF2"), ack());
  EXPECT_EQ(statusOf(port), 0x2000u);
}

TEST_F(SimProcess, TriangleRampsBetweenTheCurrents) {
  sim.control("program 0 5 1 3 60000 60000 1000 12 1 100 0");
  ASSERT_EQ(port.transact("#1DF1"), ack());
  const double first = number(port.read("#1C0R"));
  EXPECT_GE(first, 0.99);
  EXPECT_LT(first, 1.1);  // at the very start of the ramp
}

TEST(SimErrorBitsOption, SetsTheStatusAtStart) {
  Simulator sim({'1', 9600, false, {"--error-bits", "13"}});
  ASSERT_TRUE(sim.ok());
  RawPort port(sim.ptyPath());
  EXPECT_EQ(port.read("#1S0R"), "13");
}

}  // namespace
}  // namespace simtest

// The line itself: speed, addresses, broadcast, the frame log, reopening, the
// link to the terminal and the harness around it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "raw_port.h"
#include "sim_harness.h"

namespace simtest {
namespace {

TEST(SimLine, SilentAtAnotherBaudRateUntilTheRatesMatch) {
  Simulator sim({'1', 4800, false, {}});
  ASSERT_TRUE(sim.ok());
  RawPort port(sim.ptyPath(), B9600);
  EXPECT_TRUE(port.silentTo("#1IDR", sim));
  EXPECT_TRUE(port.silentTo("#1C1W2.000", sim));
  ASSERT_TRUE(port.open(sim.ptyPath(), B4800));
  EXPECT_EQ(port.read("#1C1R"), "0.100");  // the write at 9600 did nothing
  sim.control("baud 2400");
  EXPECT_TRUE(port.silentTo("#1IDR", sim));
  ASSERT_TRUE(port.open(sim.ptyPath(), B2400));
  EXPECT_EQ(port.transact("#1DF3"), ack());
  // The device still heard every frame on the line.
  EXPECT_EQ(sim.frames().size(), 5u);
}

TEST(SimLine, AnswersOnlyItsOwnAddressAndExecutesBroadcastsSilently) {
  Simulator sim({'3', 9600, false, {}});
  ASSERT_TRUE(sim.ok());
  RawPort port(sim.ptyPath());
  for (const char* other : {"#1IDR", "#8C1W1.000", "#9DF1", "#aIDR", "#0IDR"})
    EXPECT_TRUE(port.silentTo(other, sim)) << other;
  EXPECT_EQ(port.transact("#3IDR", true), ack() + "#3OLQ-ZPK3X-SIM\r");
  EXPECT_TRUE(port.silentTo("#&C1W2.000", sim));
  EXPECT_TRUE(port.silentTo("#&C9W2.000", sim));  // refused, but still no answer
  EXPECT_TRUE(port.silentTo("#&IDR", sim));
  EXPECT_EQ(port.read("#3C1R"), "2.000");
  EXPECT_TRUE(port.silentTo("#&DF1", sim));
  EXPECT_EQ(port.read("#3S0R"), "300");
}

TEST(SimLine, FrameLogKeepsEveryFrameInOrderAndEscapesOddBytes) {
  Simulator sim;
  ASSERT_TRUE(sim.ok());
  RawPort port(sim.ptyPath());
  port.transact("#1C1W1.500");
  EXPECT_TRUE(port.silentTo("#2IDR", sim));
  port.transact(std::string("#1C1W\x01\xff\\", 8));
  EXPECT_EQ(sim.frames(), (std::vector<std::string>{"#1C1W1.500", "#2IDR", "#1C1W\\x01\\xFF\\x5C"}));
  sim.clearFrames();
  EXPECT_TRUE(sim.frames().empty());
  // Two frames in one write, and a frame split over two writes.
  const std::string two = "#1DF3\r#1S0R\r#1C";
  ASSERT_EQ(write(port.fd(), two.data(), two.size()), static_cast<ssize_t>(two.size()));
  port.transact("1R");
  EXPECT_EQ(sim.frames(), (std::vector<std::string>{"#1DF3", "#1S0R", "#1C1R"}));
}

TEST(SimLine, SurvivesTheProgramClosingAndReopeningItsPort) {
  Simulator sim;
  ASSERT_TRUE(sim.ok());
  RawPort port(sim.ptyPath());
  EXPECT_EQ(port.transact("#1C1W2.500"), ack());
  for (int i = 0; i < 3; ++i) {
    port.close();
    usleep(20000);  // give a spinning simulator the chance to show itself
    ASSERT_TRUE(port.open(sim.ptyPath()));
    EXPECT_EQ(port.read("#1C1R"), "2.500") << i;
  }
}

TEST(SimLine, PacedLineStillAnswersCorrectly) {
  Simulator sim({'1', 9600, true, {}});
  ASSERT_TRUE(sim.ok());
  RawPort port(sim.ptyPath());
  EXPECT_EQ(port.transact("#1IDR", true), ack() + "#1OLQ-ZPK3X-SIM\r");
  EXPECT_EQ(port.transact("#1T1W250"), ack());
  EXPECT_EQ(port.read("#1T1R"), "250");
}

TEST(SimLine, LinkPointsToTheTerminalAndGoesAwayWithTheSimulator) {
  char dir[] = "/tmp/zpk3x-simtest-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string link = std::string(dir) + "/sub/COM1";
  {
    Simulator first({'1', 9600, false, {"--link", link}});
    ASSERT_TRUE(first.ok());
    Simulator second({'1', 9600, false, {"--link", link}});  // replaces the link
    ASSERT_TRUE(second.ok());
    char buf[PATH_MAX] = {};
    ASSERT_GT(readlink(link.c_str(), buf, sizeof buf - 1), 0);
    EXPECT_EQ(std::string(buf), second.ptyPath());
    RawPort port(link);
    EXPECT_EQ(port.transact("#1DF3"), ack());
  }
  struct stat st;
  EXPECT_NE(lstat(link.c_str(), &st), 0);
  rmdir((std::string(dir) + "/sub").c_str());
  rmdir(dir);
}

TEST(SimHarness, MapsToComAndCleansUp) {
  {
    Simulator sim;
    ASSERT_TRUE(sim.ok());
    sim.mapToCom(7);
    const char* v = getenv("ZPK3X_COM7");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(std::string(v), sim.ptyPath());
  }
  EXPECT_EQ(getenv("ZPK3X_COM7"), nullptr);
}

TEST(SimHarness, ReportsAMissingSimulator) {
  setenv("ZPK3X_SIM", "/nonexistent/zpk3x-sim", 1);
  {
    Simulator sim;
    EXPECT_FALSE(sim.ok());
  }
  unsetenv("ZPK3X_SIM");
}

}  // namespace
}  // namespace simtest

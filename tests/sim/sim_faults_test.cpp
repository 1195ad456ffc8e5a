// Faults on demand: each control command changes the answers as documented.
#include <gtest/gtest.h>

#include <string>

#include "raw_port.h"
#include "sim_harness.h"

namespace simtest {
namespace {

class SimFaults : public SimTest {
 protected:
  void fault(const std::string& spec) {
    sim.control("fault " + spec);
    ASSERT_TRUE(sim.ok()) << spec;
  }
};

TEST_F(SimFaults, NakAndCanRefuseOnlyTheirCommandAndDoNotExecute) {
  fault("nak C1W");
  fault("can PNS");
  EXPECT_EQ(port.transact("#1C1W2.000"), nak());
  EXPECT_EQ(port.transact("#1PNS2"), can());
  EXPECT_EQ(port.transact("#1C2W2.000"), ack());
  EXPECT_EQ(port.read("#1C1R"), "0.100");
  fault("none");
  EXPECT_EQ(port.transact("#1C1W2.000"), ack());
  EXPECT_EQ(port.read("#1C1R"), "2.000");
}

TEST_F(SimFaults, SilenceForOneCommandOrForAll) {
  fault("silence DF1");
  EXPECT_TRUE(port.silentTo("#1DF1", sim));
  EXPECT_EQ(port.read("#1S0R"), "0");  // not started
  fault("silence *");
  EXPECT_TRUE(port.silentTo("#1IDR", sim));
  EXPECT_TRUE(port.silentTo("#1C1R", sim));
  fault("nak IDR");  // a fault of its own beats "*"
  EXPECT_EQ(port.transact("#1IDR"), nak());
}

TEST_F(SimFaults, ReadAnswerFaults) {
  fault("err C1R");
  EXPECT_EQ(port.transact("#1C1R", true), ack() + "#1C1Rerr\r");
  fault("nonumber S0R");
  EXPECT_EQ(port.transact("#1S0R", true), ack() + "#1S0R???\r");
  fault("echo C2R");
  EXPECT_EQ(port.transact("#1C2R", true), ack() + "#1X2R0.500\r");
  fault("echo IDR");
  EXPECT_EQ(port.transact("#1IDR", true), ack() + "#2OLQ-ZPK3X-SIM\r");
  EXPECT_EQ(port.transact("#1T1R", true), ack() + "#1T1R1000\r");  // others untouched
}

TEST_F(SimFaults, GarbageInsteadOfAck) {
  fault("garbage C1W");
  const std::string a = port.transact("#1C1W2.000");
  ASSERT_EQ(a.size(), 1u);
  EXPECT_NE(a[0], kAck);
  EXPECT_NE(a[0], kNak);
  EXPECT_NE(a[0], kCan);
  EXPECT_GE(static_cast<unsigned char>(a[0]), 0x20);  // a printable byte, not a read error
  EXPECT_LT(static_cast<unsigned char>(a[0]), 0x80);
  port.pending();
  EXPECT_EQ(port.read("#1C1R"), "0.100");
}

TEST_F(SimFaults, AfterNFramesTheDeviceGoesSilent) {
  fault("after 2 silence");
  EXPECT_EQ(port.transact("#1IDR", true), ack() + "#1OLQ-ZPK3X-SIM\r");
  EXPECT_EQ(port.transact("#1C1W3.000"), ack());
  EXPECT_TRUE(port.silentTo("#1C2W3.000", sim));
  EXPECT_TRUE(port.silentTo("#1IDR", sim));
  fault("none");
  EXPECT_EQ(port.read("#1C1R"), "3.000");
  EXPECT_EQ(port.read("#1C2R"), "0.500");  // the unanswered write did nothing
}

TEST_F(SimFaults, DelayHoldsTheAnswerBack) {
  fault("delay 1000");
  EXPECT_TRUE(port.silentTo("#1DF3", sim));
  // "drain" answers once the held answer is on the line: it is there at once.
  EXPECT_TRUE(sim.drain());
  EXPECT_EQ(port.pending(), ack());
  fault("delay 0");
  EXPECT_EQ(port.transact("#1DF3"), ack());
}

TEST_F(SimFaults, ValueOverrideAndItsReset) {
  sim.control("value C0R 1.25");
  sim.control("value IDR OLQ-ZPK3X with blank");
  EXPECT_EQ(port.read("#1C0R"), "1.25");
  EXPECT_EQ(port.transact("#1IDR", true), ack() + "#1OLQ-ZPK3X with blank\r");
  sim.control("value V0R \\x0d\\x06");
  EXPECT_EQ(port.transact("#1V0R", true), ack() + "#1V0R\r");
  EXPECT_EQ(port.pending(), std::string(1, kAck) + "\r");
  fault("none");
  EXPECT_EQ(port.read("#1C0R"), "0.000");
}

TEST_F(SimFaults, HangupClosesTheLineAfterNFrames) {
  fault("hangup 1");
  EXPECT_EQ(port.transact("#1DF3"), ack());
  // The far end is gone: our end reports a hang-up.
  port.send("#1DF3");
  pollfd p{port.fd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 2000), 1);
  EXPECT_TRUE(p.revents & (POLLHUP | POLLERR));
  const auto dump = sim.control("dump");  // the control channel lives on
  EXPECT_EQ(dump.size(), 20u);
}

TEST(SimFaultOptions, FaultsCanBeGivenAtStart) {
  Simulator sim({'1', 9600, false, {"--fault", "nak IDR", "--command", "value C1R 7.5"}});
  ASSERT_TRUE(sim.ok());
  RawPort port(sim.ptyPath());
  EXPECT_EQ(port.transact("#1IDR"), nak());
  EXPECT_EQ(port.read("#1C1R"), "7.5");
}

TEST(SimFaultOptions, BadOptionStopsTheStart) {
  Simulator sim({'1', 9600, false, {"--fault", "nak"}});
  EXPECT_FALSE(sim.ok());
}

}  // namespace
}  // namespace simtest

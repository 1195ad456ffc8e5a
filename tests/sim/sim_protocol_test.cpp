// Frames and answers of the simulated device, seen from a bare terminal client.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "raw_port.h"
#include "sim_harness.h"

namespace simtest {
namespace {

using SimProtocol = SimTest;

TEST_F(SimProtocol, IdentityIsOneWordWithTheDevicePrefix) {
  const std::string a = port.transact("#1IDR", true);
  ASSERT_GE(a.size(), 4u);
  EXPECT_EQ(a.substr(0, 3), ack() + "#1");
  EXPECT_EQ(a.back(), '\r');
  const std::string word = a.substr(3, a.size() - 4);
  EXPECT_EQ(word.rfind("OLQ-ZPK3X", 0), 0u) << word;
  EXPECT_LE(word.size(), 26u);
  EXPECT_EQ(word.find(' '), std::string::npos);

  ASSERT_TRUE(sim.control("identity OLQ-ZPK3X-V2").empty());
  EXPECT_EQ(port.transact("#1IDR", true), ack() + "#1OLQ-ZPK3X-V2\r");
}

TEST_F(SimProtocol, ReadsGiveTheDefaultsInTheWriteFormats) {
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"WFR", "1"},    {"C1R", "0.100"}, {"C2R", "0.500"}, {"T1R", "1000"}, {"T2R", "1000"},
      {"F1R", "1000"}, {"V1R", "12.0"},  {"L1R", "1"},     {"A1R", "100"},  {"M1R", "0"},
      {"C0R", "0.000"}, {"V0R", "0.0"},  {"S0R", "0"},
  };
  for (const auto& [cmd, value] : expected) EXPECT_EQ(port.read("#1" + cmd), value) << cmd;
}

TEST_F(SimProtocol, WritesInsideTheDriversRangesAreStoredAndReadBack) {
  const std::vector<std::vector<std::string>> cases = {
      // write, value, read, read-back
      {"WFW", "12", "WFR", "12"},        {"WFW", "1", "WFR", "1"},
      {"C1W", "4.000", "C1R", "4.000"},  {"C1W", "0.001", "C1R", "0.001"},
      {"C2W", "2.5", "C2R", "2.500"},    {"T1W", "65534", "T1R", "65534"},
      {"T2W", "1", "T2R", "1"},          {"F1W", "25", "F1R", "25"},
      {"F1W", "10000", "F1R", "10000"},  {"V1W", "9.0", "V1R", "9.0"},
      {"V1W", "53.0", "V1R", "53.0"},    {"L1W", "65534", "L1R", "65534"},
      {"A1W", "500", "A1R", "500"},      {"A1W", "1", "A1R", "1"},
      {"M1W", "1", "M1R", "1"},          {"M1W", "0", "M1R", "0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(port.transact("#1" + c[0] + c[1]), ack()) << c[0] << c[1];
    EXPECT_EQ(port.read("#1" + c[2]), c[3]) << c[0] << c[1];
  }
}

TEST_F(SimProtocol, OutOfRangeOrUnparsableWritesAreRefusedAndChangeNothing) {
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"C1W", "4.0002"}, {"C1W", "0.0008"}, {"C2W", "-1"},     {"T1W", "65535"}, {"T2W", "0.5"},
      {"F1W", "24"},     {"F1W", "10001"},  {"V1W", "8.9"},    {"V1W", "53.1"},  {"L1W", "0"},
      {"A1W", "501"},    {"WFW", "13"},     {"WFW", "0"},      {"WFW", "1.5"},   {"M1W", "2"},
      {"M1W", "-1"},     {"C1W", ""},       {"C1W", "abc"},    {"C1W", "1.0x"},  {"C1W", "nan"},
      {"T1W", "inf"},    {"C1W", "1,5"},    {"WFW", "99999999999999999999"},
  };
  for (const auto& [cmd, value] : refused) EXPECT_EQ(port.transact("#1" + cmd + value), nak()) << cmd << value;
  const auto dump = sim.control("dump");
  ASSERT_FALSE(dump.empty());
  EXPECT_EQ(dump[0], "program 0 1 0.100 0.500 1000 1000 1000 12.0 1 100 0");
}

TEST_F(SimProtocol, LoadAndStoreMoveProgramsThroughTheWorkingParameters) {
  ASSERT_EQ(port.transact("#1C1W1.234"), ack());
  ASSERT_EQ(port.transact("#1WFW7"), ack());
  ASSERT_EQ(port.transact("#1PNP16"), ack());
  ASSERT_EQ(port.transact("#1C1W0.500"), ack());
  ASSERT_EQ(port.transact("#1PNS16"), ack());
  EXPECT_EQ(port.read("#1C1R"), "1.234");
  EXPECT_EQ(port.read("#1WFR"), "7");
  ASSERT_EQ(port.transact("#1PNS1"), ack());
  EXPECT_EQ(port.read("#1C1R"), "0.100");

  for (const char* bad : {"#1PNS0", "#1PNS17", "#1PNP0", "#1PNP17", "#1PNSx", "#1PNP", "#1PNS-1"})
    EXPECT_EQ(port.transact(bad), nak()) << bad;

  const auto dump = sim.control("dump");
  ASSERT_EQ(dump.size(), 20u);
  EXPECT_EQ(dump[16], "program 16 7 1.234 0.500 1000 1000 1000 12.0 1 100 0");
  EXPECT_EQ(dump[15], "program 15 1 0.100 0.500 1000 1000 1000 12.0 1 100 0");
  EXPECT_EQ(dump[17], "status 0");
  EXPECT_EQ(dump[18], "address 1");
  EXPECT_EQ(dump[19], "baud 9600");
}

TEST_F(SimProtocol, DeviceFunctionsAreAcknowledgedOtherCommandsRefused) {
  for (const char* f : {"#1DF3", "#1DF4", "#1DF1", "#1DF2"}) EXPECT_EQ(port.transact(f), ack()) << f;
  for (const char* f : {"#1DF5", "#1DF0", "#1DF1x", "#1XYZ", "#1C1", "#1", "#1IDRx", "#1C1R5", "#1c1w1.0",
                        "#1P1S0307", "#1S1R", "#1S2R"})
    EXPECT_EQ(port.transact(f), nak()) << f;
}

TEST_F(SimProtocol, NoiseBeforeTheFrameStartIsSkipped) {
  EXPECT_EQ(port.transact("xx\x01#1C1R", true), ack() + "#1C1R0.100\r");
  EXPECT_EQ(port.transact("junk#1C1W2.000"), ack());
  EXPECT_EQ(port.read("#1C1R"), "2.000");
}

TEST(SimProgramsFile, StartsFromTheGivenPrograms) {
  char dir[] = "/tmp/zpk3x-simtest-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/progs.txt";
  FILE* f = fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs("; two programs\n\nprogram 3 4 1.5 2.25 10 20 500 24.5 3 50 1\nprogram 0 2 0.2 0.3 5 6 100 9 2 10 0\n", f);
  fclose(f);
  {
    Simulator sim({'1', 9600, false, {"--programs", file}});
    ASSERT_TRUE(sim.ok());
    const auto dump = sim.control("dump");
    ASSERT_EQ(dump.size(), 20u);
    EXPECT_EQ(dump[3], "program 3 4 1.500 2.250 10 20 500 24.5 3 50 1");
    EXPECT_EQ(dump[0], "program 0 2 0.200 0.300 5 6 100 9.0 2 10 0");
    RawPort port(sim.ptyPath());
    EXPECT_EQ(port.read("#1F1R"), "100");
  }
  f = fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs("program 3 4 1.5\n", f);
  fclose(f);
  {
    Simulator sim({'1', 9600, false, {"--programs", file}});
    EXPECT_FALSE(sim.ok());  // a broken file stops the start
  }
  unlink(file.c_str());
  rmdir(dir);
}

TEST(SimControl, RefusesMalformedCommands) {
  Simulator sim;
  ASSERT_TRUE(sim.ok());
  for (const char* bad : {"bogus", "", "fault", "fault nak", "fault nak TOOLONG", "fault after x silence",
                          "fault after 2 talk", "fault delay -1", "fault hangup", "status xyz",
                          "address 9", "address &", "baud 300", "program 17 1 1 1 1 1 1 1 1 1 0",
                          "program 1 1 1 1 1 1 1 1 1 0", "program 1 1 nan 1 1 1 1 1 1 1 0", "value C1"}) {
    sim.control(bad);
    EXPECT_FALSE(sim.ok()) << bad;
  }
  sim.control("sync");
  EXPECT_TRUE(sim.ok());
}

TEST(SimControl, SettingsChangeWhatTheDeviceAnswers) {
  Simulator sim;
  ASSERT_TRUE(sim.ok());
  RawPort port(sim.ptyPath());
  sim.control("program 0 9 3.5 0.25 7 8 9000 50 3 250 1");
  ASSERT_TRUE(sim.ok());
  EXPECT_EQ(port.read("#1WFR"), "9");
  EXPECT_EQ(port.read("#1C1R"), "3.500");
  EXPECT_EQ(port.read("#1A1R"), "250");
  EXPECT_EQ(port.read("#1V1R"), "50.0");
  sim.control("status 2a1b");
  EXPECT_EQ(port.read("#1S0R"), "2A1B");
  sim.control("value C1R 1.5\\x20x");
  EXPECT_EQ(port.read("#1C1R"), "1.5 x");
  sim.control("value C1R");
  EXPECT_EQ(port.read("#1C1R"), "3.500");
  sim.control("address 5");
  EXPECT_TRUE(port.silentTo("#1C1R", sim));
  EXPECT_EQ(port.read("#5C1R"), "3.500");
  const auto dump = sim.control("dump");
  ASSERT_EQ(dump.size(), 20u);
  EXPECT_EQ(dump[17], "status 2A1B");
  EXPECT_EQ(dump[18], "address 5");
}

}  // namespace
}  // namespace simtest

// Serial layer on the Win32 API, run under wine against the device simulator,
// whose pseudo-terminal is linked as a COM port of the wine prefix.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232.h"
#include "rs232/rs232_seam.h"
#include "sim_harness.h"

namespace {

constexpr int kPort = 3;
const char* gSelf = nullptr;

class Win32Port : public ::testing::Test {
 protected:
  void SetUp() override {
    Rs232Seam_Reset();
    ASSERT_TRUE(sim_.ok());
    sim_.mapToCom(kPort);
  }
  void TearDown() override {
    for (int port = 1; port <= 8; ++port) CloseCom(port);
    Rs232Seam_Reset();
  }
  int open(int port = kPort, long baud = 9600) { return OpenComConfig(port, "", baud, 1, 7, 1, 512, 512); }
  simtest::Simulator sim_;
};

TEST_F(Win32Port, AsksForSevenOddOneRawWithoutFlowControl) {
  ASSERT_EQ(open(kPort, 2400), 0);
  Rs232LineSettings s = Rs232Seam_LastLineSettings();
  EXPECT_EQ(s.dataBits, 7);
  EXPECT_EQ(s.parity, 1);
  EXPECT_EQ(s.stopBits, 1);
  EXPECT_TRUE(s.rawMode);
  EXPECT_FALSE(s.flowControl);
  EXPECT_TRUE(s.clocal);
  EXPECT_EQ(s.baudRate, 2400);
  EXPECT_EQ(GetComBaudRate(kPort), 2400);
}

TEST_F(Win32Port, RefusesMissingPortsAndPlainFiles) {
  EXPECT_LT(open(0), 0);
  EXPECT_LT(open(9), 0);
  EXPECT_LT(open(kPort, 12345), 0);
  EXPECT_LT(open(7), 0);  // no COM7 in the prefix
  char self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
  EXPECT_LT(OpenComConfig(kPort, self, 9600, 1, 7, 1, 512, 512), 0);
  EXPECT_LT(CloseCom(kPort), 0);
}

TEST_F(Win32Port, ReopensAfterCloseAndOpenAgainConfiguresAnew) {
  ASSERT_EQ(open(), 0);
  EXPECT_EQ(CloseCom(kPort), 0);
  EXPECT_LT(CloseCom(kPort), 0);
  // The terminal now runs at these settings already: nothing left to change.
  ASSERT_EQ(open(), 0);
  ASSERT_EQ(open(kPort, 2400), 0);
  EXPECT_EQ(GetComBaudRate(kPort), 2400);
  ASSERT_EQ(open(), 0);
  char id[32];
  ASSERT_EQ(OLQZPK3X_Timeout(kPort, 0.5), 0);
  EXPECT_EQ(OLQZPK3X_IDLesen(kPort, '1', id), 0);
}

TEST_F(Win32Port, FrameGoesOutAndTheAnswerComesBack) {
  ASSERT_EQ(open(), 0);
  ASSERT_EQ(SetComTime(kPort, 0.5), 0);
  ASSERT_EQ(FlushInQ(kPort), 0);
  EXPECT_EQ(ComWrt(kPort, "#1IDR\r", 6), 6);
  EXPECT_EQ(GetOutQLen(kPort), 0);
  std::string answer;
  for (int byte; (byte = ComRdByte(kPort)) >= 0 && byte != '\r';) answer += static_cast<char>(byte);
  EXPECT_EQ(answer.rfind("\x06#1OLQ-ZPK3X", 0), 0u) << answer;
  EXPECT_EQ(sim_.frames(), std::vector<std::string>{"#1IDR"});
}

TEST_F(Win32Port, SilentDeviceTimesOutAfterTheSetTime) {
  ASSERT_EQ(open(), 0);
  ASSERT_EQ(SetComTime(kPort, 0.5), 0);
  sim_.control("fault silence *");
  ASSERT_EQ(ComWrt(kPort, "#1IDR\r", 6), 6);
  static int haken = 0;  // a wait hook divides the wait, never shortens it
  SetComWaitHook([] { ++haken; });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_LT(ComRdByte(kPort), 0);
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  SetComWaitHook(nullptr);
  EXPECT_GE(waited, 0.45);
  EXPECT_LT(waited, 2.0);
  EXPECT_GE(haken, 4);
  // The driver reports the silence as its time-out code.
  char id[32];
  Rs232Seam_TimeoutOverride(0.1);
  EXPECT_EQ(OLQZPK3X_IDLesen(kPort, '1', id), -403012);
}

TEST_F(Win32Port, FlushDiscardsAnAnswerThatWaits) {
  ASSERT_EQ(open(), 0);
  ASSERT_EQ(SetComTime(kPort, 0.5), 0);
  ASSERT_EQ(ComWrt(kPort, "#1IDR\r", 6), 6);
  ASSERT_EQ(sim_.frames().size(), 1u);  // the simulator has taken and answered the frame
  Sleep(100);
  EXPECT_EQ(FlushOutQ(kPort), 0);
  EXPECT_EQ(FlushInQ(kPort), 0);
  Rs232Seam_TimeoutOverride(0.1);
  EXPECT_LT(ComRdByte(kPort), 0);
}

// Another program holds the port: this test program started again with
// --hold-port, which keeps the port open until its input ends.
TEST_F(Win32Port, PortHeldByAnotherProgramCannotBeOpened) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE childIn = nullptr, toChild = nullptr, fromChild = nullptr, childOut = nullptr;
  ASSERT_TRUE(CreatePipe(&childIn, &toChild, &inherit, 0));
  ASSERT_TRUE(CreatePipe(&fromChild, &childOut, &inherit, 0));
  SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = childIn;
  si.hStdOutput = childOut;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::string command = std::string("\"") + gSelf + "\" --hold-port " + std::to_string(kPort);
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &child));
  CloseHandle(childIn);
  CloseHandle(childOut);
  char said[8] = {};
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(fromChild, said, 4, &got, nullptr));
  ASSERT_EQ(std::string(said, got), "held");

  EXPECT_EQ(OLQZPK3X_Open(kPort, 9600), -100003);

  CloseHandle(toChild);  // the other program lets go
  EXPECT_EQ(WaitForSingleObject(child.hProcess, 10000), WAIT_OBJECT_0);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  CloseHandle(fromChild);
  EXPECT_EQ(OLQZPK3X_Open(kPort, 9600), 0);
  EXPECT_EQ(OLQZPK3X_Close(kPort), 0);
}

int holdPort(int port) {
  if (OpenComConfig(port, "", 9600, 1, 7, 1, 512, 512) != 0) return 1;
  std::fputs("held", stdout);
  std::fflush(stdout);
  char c;
  while (std::fread(&c, 1, 1, stdin) == 1) {
  }
  return CloseCom(port) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  gSelf = argv[0];
  if (argc == 3 && std::string(argv[1]) == "--hold-port") return holdPort(std::atoi(argv[2]));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

// Serial layer on a pseudo-terminal that the test holds itself: line settings,
// exclusivity, reads and writes, and the seam's failures.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <chrono>
#include <thread>
#include <gtest/gtest.h>

#include "rs232/Portbelegung.h"
#include "rs232/rs232.h"
#include "rs232/rs232_seam.h"

namespace {

class Rs232Test : public ::testing::Test {
 protected:
  void SetUp() override {
    Rs232Seam_Reset();
    ASSERT_EQ(openpty(&master_, &slave_, slaveName_, nullptr, nullptr), 0);
    termios t{};
    ASSERT_EQ(tcgetattr(master_, &t), 0);
    cfmakeraw(&t);
    ASSERT_EQ(tcsetattr(master_, TCSANOW, &t), 0);
    setenv("ZPK3X_COM2", slaveName_, 1);
    setenv("ZPK3X_COM3", slaveName_, 1);
  }
  void TearDown() override {
    for (int port = 1; port <= 8; ++port) CloseCom(port);
    Rs232Seam_Reset();
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    unsetenv("ZPK3X_COM2");
    unsetenv("ZPK3X_COM3");
  }
  int open2(long baud = 9600) { return OpenComConfig(2, "", baud, 1, 7, 1, 512, 512); }
  std::string readMaster(std::size_t count) {
    std::string got;
    while (got.size() < count) {
      pollfd pfd{master_, POLLIN, 0};
      if (poll(&pfd, 1, 2000) <= 0) break;
      char buf[64];
      ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
  }

  int master_ = -1;
  int slave_ = -1;
  char slaveName_[128] = {};
};

TEST_F(Rs232Test, OpensWithSevenOddOneRawAndTheRequestedBaud) {
  ASSERT_EQ(open2(2400), 0);
  Rs232LineSettings s = Rs232Seam_LastLineSettings();
  EXPECT_EQ(s.dataBits, 7);
  EXPECT_EQ(s.parity, 1);
  EXPECT_EQ(s.stopBits, 1);
  EXPECT_TRUE(s.rawMode);
  EXPECT_FALSE(s.flowControl);
  EXPECT_TRUE(s.clocal);
  EXPECT_EQ(s.baudRate, 2400);
  EXPECT_EQ(GetComBaudRate(2), 2400);
  // The far end sees the rate the program chose.
  termios t{};
  ASSERT_EQ(tcgetattr(master_, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B2400));
}

TEST_F(Rs232Test, RefusesBadPortsSettingsAndDevices) {
  EXPECT_LT(OpenComConfig(0, "", 9600, 1, 7, 1, 512, 512), 0);
  EXPECT_LT(OpenComConfig(9, "", 9600, 1, 7, 1, 512, 512), 0);  // beyond the COM numbers only by name
  EXPECT_LT(OpenComConfig(COM_PORT_SLOTS + 1, slaveName_, 9600, 1, 7, 1, 512, 512), 0);
  EXPECT_LT(open2(12345), 0);
  EXPECT_LT(OpenComConfig(2, "", 9600, 3, 7, 1, 512, 512), 0);
  EXPECT_LT(OpenComConfig(2, "", 9600, 1, 9, 1, 512, 512), 0);
  setenv("ZPK3X_COM4", "/nonexistent-dir/tty", 1);
  EXPECT_LT(OpenComConfig(4, "", 9600, 1, 7, 1, 512, 512), 0);
  // A regular file is no terminal.
  setenv("ZPK3X_COM4", "/proc/self/exe", 1);
  EXPECT_LT(OpenComConfig(4, "", 9600, 1, 7, 1, 512, 512), 0);
  unsetenv("ZPK3X_COM4");
  // A failed open leaves nothing open.
  EXPECT_LT(CloseCom(4), 0);
  EXPECT_LT(GetOutQLen(4), 0);
}

TEST_F(Rs232Test, SecondOpenOfTheSameTerminalFailsAndReopenAfterCloseWorks) {
  ASSERT_EQ(open2(), 0);
  EXPECT_LT(OpenComConfig(3, "", 9600, 1, 7, 1, 512, 512), 0);
  EXPECT_EQ(CloseCom(2), 0);
  EXPECT_LT(CloseCom(2), 0);  // already closed
  EXPECT_EQ(OpenComConfig(3, "", 9600, 1, 7, 1, 512, 512), 0);
  EXPECT_EQ(CloseCom(3), 0);
  EXPECT_EQ(open2(), 0);
}

TEST_F(Rs232Test, BytesPassUnchangedBothWays) {
  ASSERT_EQ(open2(), 0);
  const char frame[] = "#1C1W0.100\r";
  EXPECT_EQ(ComWrt(2, frame, 11), 11);
  EXPECT_EQ(GetOutQLen(2), 0);
  EXPECT_EQ(readMaster(11), std::string(frame, 11));

  const unsigned char answer[] = {0x06, 0x0D, 0x0A, 0x80, 0xFF, 0x00, 0x11, 0x13};
  ASSERT_EQ(write(master_, answer, sizeof answer), static_cast<ssize_t>(sizeof answer));
  for (unsigned char expected : answer) EXPECT_EQ(ComRdByte(2), expected);
}

TEST_F(Rs232Test, FlushingTheOutputQueueKeepsWhatWasAlreadySent) {
  ASSERT_EQ(open2(), 0);
  ASSERT_EQ(ComWrt(2, "#&DF1\r", 6), 6);
  ASSERT_EQ(GetOutQLen(2), 0);
  EXPECT_EQ(FlushOutQ(2), 0);
  EXPECT_EQ(FlushInQ(2), 0);
  EXPECT_EQ(readMaster(6), "#&DF1\r");
}

TEST_F(Rs232Test, ReadGivesUpAfterTheTimeoutAndFlushDiscardsInput) {
  ASSERT_EQ(open2(), 0);
  ASSERT_EQ(SetComTime(2, 0.5), 0);
  Rs232Seam_TimeoutOverride(0.02);
  EXPECT_DOUBLE_EQ(GetComTime(2), 0.02);
  EXPECT_LT(ComRdByte(2), 0);
  // A short wait sharpens the thread's timer, and gives the caller's back.
  ASSERT_EQ(prctl(PR_SET_TIMERSLACK, 70000, 0, 0, 0), 0);
  EXPECT_LT(ComRdByteWithin(2, 0.002), 0);
  EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), 70000);

  ASSERT_EQ(write(master_, "xy", 2), 2);
  // Let the bytes reach the program's side before they are discarded.
  pollfd pfd{slave_, POLLIN, 0};
  ASSERT_EQ(poll(&pfd, 1, 2000), 1);
  EXPECT_EQ(FlushInQ(2), 0);
  EXPECT_EQ(FlushOutQ(2), 0);
  EXPECT_LT(ComRdByte(2), 0);
}

// A wait hook cuts a wait into slices, never short: a silent line still takes the
// whole time-out, and a byte that comes meanwhile is read.
int gWartehaken = 0;
TEST_F(Rs232Test, WithAWaitHookReadsWaitTheirWholeTimeoutAndTheHookRuns) {
  ASSERT_EQ(open2(), 0);
  ASSERT_EQ(SetComTime(2, 0.3), 0);
  gWartehaken = 0;
  SetComWaitHook([] { ++gWartehaken; });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ComRdByte(2), -1);
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 0.29);
  EXPECT_GE(gWartehaken, 3) << "the hook runs during the wait, not once";
  std::thread later([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    (void)!write(master_, "A", 1);
  });
  EXPECT_EQ(ComRdByte(2), 'A');
  later.join();
  // A hook that overruns the deadline: a byte that came meanwhile is late.
  SetComWaitHook([] { std::this_thread::sleep_for(std::chrono::milliseconds(280)); });
  std::thread late([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(310));
    (void)!write(master_, "B", 1);
  });
  EXPECT_EQ(ComRdByte(2), -1);
  late.join();
  SetComWaitHook(nullptr);
}

TEST_F(Rs232Test, ReadFailsAtOnceWhenTheFarEndHangsUp) {
  ASSERT_EQ(open2(), 0);
  ASSERT_EQ(SetComTime(2, 5.0), 0);
  close(slave_);
  slave_ = -1;
  close(master_);
  master_ = -1;
  EXPECT_LT(ComRdByte(2), 0);
  EXPECT_EQ(CloseCom(2), 0);
}

// With many processes the search for holders is shared out; every holder among
// them is still found, once, and the far end of the terminal is none.
TEST_F(Rs232Test, EveryHolderAmongManyProcessesIsFound) {
  std::vector<pid_t> kinder, halter;
  for (int i = 0; i < 600; ++i) {
    const bool haelt = i % 49 == 7;  // every 49th: holders at odd and at even places
    const pid_t pid = fork();
    if (pid == 0) {
      close(master_);
      if (!haelt) close(slave_);
      for (;;) pause();
    }
    if (pid < 0) break;
    kinder.push_back(pid);
    if (haelt) halter.push_back(pid);
  }
  const std::vector<Portinhaber> inhaber = AnderePortinhaber(slaveName_);
  for (pid_t pid : kinder) kill(pid, SIGKILL);
  for (pid_t pid : kinder) waitpid(pid, nullptr, 0);
  ASSERT_EQ(kinder.size(), 600u);
  std::vector<pid_t> gefunden;
  for (const Portinhaber& p : inhaber) gefunden.push_back(static_cast<pid_t>(p.pid));
  std::sort(halter.begin(), halter.end());
  EXPECT_EQ(gefunden, halter);
}

TEST_F(Rs232Test, AnOwedAnswerRecordOlderThanTheDeviceDoesNotCount) {
  ASSERT_EQ(open2(), 0);
  ComOwedAnswerRecord(2, "BAUD 9600 S0R");
  std::string text;
  EXPECT_TRUE(ComOwedAnswerRecorded(2, &text));
  EXPECT_EQ(text, "BAUD 9600 S0R");
  ASSERT_EQ(CloseCom(2), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_EQ(fchmod(slave_, 0620), 0);  // the device's node changes: as if made anew
  ASSERT_EQ(open2(), 0);
  EXPECT_FALSE(ComOwedAnswerRecorded(2, &text));
  ComOwedAnswerRecord(2, "BAUD 9600 S0R");
  EXPECT_TRUE(ComOwedAnswerRecorded(2, &text));
  ComOwedAnswerRecord(2, nullptr);
  EXPECT_FALSE(ComOwedAnswerRecorded(2, &text));
}

TEST_F(Rs232Test, SetComTimeRefusesNonsense) {
  EXPECT_LT(SetComTime(2, 0.5), 0);  // not open
  ASSERT_EQ(open2(), 0);
  EXPECT_LT(SetComTime(2, 0.0), 0);
  EXPECT_LT(SetComTime(2, -1.0), 0);
  EXPECT_LT(SetComTime(2, std::nan("")), 0);
  EXPECT_LT(SetComTime(2, HUGE_VAL), 0);
  EXPECT_EQ(SetComTime(2, 0.25), 0);
  EXPECT_DOUBLE_EQ(GetComTime(2), 0.25);
  // A huge but finite time-out must not overflow the clock when a read starts.
  EXPECT_EQ(SetComTime(2, 1e300), 0);
  ASSERT_EQ(write(master_, "k", 1), 1);
  EXPECT_EQ(ComRdByte(2), 'k');
}

TEST_F(Rs232Test, SeamFailsEachOperationAfterItsSkipCount) {
  Rs232Seam_Fail(Rs232Op::Open);
  EXPECT_LT(open2(), 0);
  ASSERT_EQ(open2(), 0);

  Rs232Seam_Fail(Rs232Op::Write, 1, 1);
  EXPECT_EQ(ComWrt(2, "ab", 2), 2);
  EXPECT_LT(ComWrt(2, "ab", 2), 0);
  EXPECT_EQ(ComWrt(2, "ab", 2), 2);

  Rs232Seam_Fail(Rs232Op::SetTime);
  EXPECT_LT(SetComTime(2, 0.5), 0);
  Rs232Seam_Fail(Rs232Op::FlushIn);
  EXPECT_LT(FlushInQ(2), 0);
  Rs232Seam_Fail(Rs232Op::FlushOut);
  EXPECT_LT(FlushOutQ(2), 0);
  Rs232Seam_Fail(Rs232Op::OutQLen);
  EXPECT_LT(GetOutQLen(2), 0);
  ASSERT_EQ(write(master_, "z", 1), 1);
  Rs232Seam_Fail(Rs232Op::ReadByte);
  EXPECT_LT(ComRdByte(2), 0);
  EXPECT_EQ(ComRdByte(2), 'z');

  Rs232Seam_ShortWrite(3);
  EXPECT_EQ(ComWrt(2, "abcdef", 6), 3);
  EXPECT_EQ(ComWrt(2, "abcdef", 6), 6);

  Rs232Seam_OutQueue(7);
  EXPECT_EQ(GetOutQLen(2), 7);
  Rs232Seam_OutQueue(-5);
  EXPECT_LT(GetOutQLen(2), 0);

  // A failed close still closes.
  Rs232Seam_Fail(Rs232Op::Close);
  EXPECT_LT(CloseCom(2), 0);
  EXPECT_LT(CloseCom(2), 0);
  Rs232Seam_Reset();
  EXPECT_EQ(open2(), 0);
  EXPECT_EQ(GetOutQLen(2), 0);
}

TEST_F(Rs232Test, ScriptedPortNeedsNoTerminal) {
  Rs232Seam_ScriptPort(5, "\x06#5", 3);
  ASSERT_EQ(OpenComConfig(5, "", 1200, 1, 7, 1, 512, 512), 0);
  EXPECT_EQ(Rs232Seam_LastLineSettings().dataBits, 7);
  EXPECT_EQ(Rs232Seam_LastLineSettings().parity, 1);
  EXPECT_EQ(FlushInQ(5), 0);
  EXPECT_EQ(ComWrt(5, "#5IDR\r", 6), 6);
  EXPECT_EQ(ComRdByte(5), 0x06);
  EXPECT_EQ(ComRdByte(5), '#');
  EXPECT_EQ(ComRdByte(5), '5');
  EXPECT_LT(ComRdByte(5), 0);
  char sent[16] = {};
  EXPECT_EQ(Rs232Seam_ScriptedSent(sent, sizeof sent), 6);
  EXPECT_EQ(std::string(sent, 6), "#5IDR\r");
  EXPECT_EQ(CloseCom(5), 0);
}

}  // namespace

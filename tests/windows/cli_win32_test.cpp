// zpk3x-cli.exe as a separate Windows process under wine, against the Linux
// simulator linked as COM1: the frames of write-all and read-all, a silent
// device, and a port another program holds.
#include <windows.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "olqzpk3x/olqzpk3x.h"
#include "sim_harness.h"

namespace {

using Strings = std::vector<std::string>;

struct Outcome {
  DWORD status = 0xFFFFFFFF;
  std::string out, err;
  double seconds = 0;
};

std::string windowsPath(std::string path) {
  // The build hands over Unix paths; wine shows the Unix root as drive Z:.
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

std::wstring wide(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, w.data(), n);
  w.resize(static_cast<std::size_t>(n > 0 ? n - 1 : 0));
  return w;
}

std::string drain(HANDLE pipe) {
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
  return text;
}

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.ok());
    sim_.mapToCom(1);
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    dir_ = std::string(temp) + "zpk3x-cli-test-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir_.c_str(), nullptr);
  }
  void TearDown() override {
    for (const char* name : {"a.zpk", "b.zpk", "a.json"}) DeleteFileA((dir_ + "\\" + name).c_str());
    RemoveDirectoryA(dir_.c_str());
  }

  // Runs zpk3x-cli.exe --port 1 <args> in the test's folder (without --port 1
  // when `port1` is false; without LC_ALL, LC_MESSAGES and LANG in its
  // environment when `noLanguageVariables`).
  Outcome cli(const Strings& args, bool port1 = true, bool noLanguageVariables = false) {
    std::string command = "\"" + windowsPath(ZPK3X_CLI) + "\"" + (port1 ? " --port 1" : "");
    for (const std::string& a : args) command += " \"" + a + "\"";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    Outcome r;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0) || !CreatePipe(&errRead, &errWrite, &inherit, 0)) return r;
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = outWrite;
    si.hStdError = errWrite;
    PROCESS_INFORMATION child{};
    const auto start = std::chrono::steady_clock::now();
    // Wide, as a Windows shell starts it: arguments may hold umlauts.
    std::wstring wideCommand = wide(command);
    std::wstring environment;
    if (noLanguageVariables) {
      const LPWCH all = GetEnvironmentStringsW();
      for (const wchar_t* v = all; *v != L'\0'; v += wcslen(v) + 1) {
        const std::wstring entry = v;
        if (entry.rfind(L"LC_ALL=", 0) != 0 && entry.rfind(L"LC_MESSAGES=", 0) != 0 && entry.rfind(L"LANG=", 0) != 0)
          environment += entry + L'\0';
      }
      FreeEnvironmentStringsW(all);
      environment += L'\0';
    }
    const bool started =
        CreateProcessW(nullptr, wideCommand.data(), nullptr, nullptr, TRUE, noLanguageVariables ? CREATE_UNICODE_ENVIRONMENT : 0,
                       noLanguageVariables ? environment.data() : nullptr, wide(dir_).c_str(), &si, &child);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (started) {
      std::thread errReader([&] { r.err = drain(errRead); });
      r.out = drain(outRead);
      errReader.join();
      WaitForSingleObject(child.hProcess, INFINITE);
      r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      GetExitCodeProcess(child.hProcess, &r.status);
      CloseHandle(child.hProcess);
      CloseHandle(child.hThread);
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    return r;
  }

  bool exists(const std::string& name) {
    return GetFileAttributesW(wide(dir_ + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  std::string file(const char* name) {
    std::ifstream in(dir_ + "\\" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  simtest::Simulator sim_;
  std::string dir_;
};

TEST_F(CommandLine, ReadAllAndWriteAllSendExactlyTheFramesOfTheWindow) {
  for (int n = 1; n <= 16; ++n) {
    sim_.control("program " + std::to_string(n) + " 3 1.250 0.500 100 " + std::to_string(200 + n) +
                 " 1000 12.5 5 50 1");
  }
  sim_.clearFrames();
  Outcome r = cli({"read", "all", "-o", "a.zpk"});
  ASSERT_EQ(r.status, 0u) << r.err;
  // The working parameters first, the 16 programs, the working parameters put back.
  const char* lesen[] = {"WFR", "C1R", "C2R", "T1R", "T2R", "F1R", "V1R", "L1R", "A1R", "M1R"};
  Strings expected;
  for (const char* c : lesen) expected.push_back(std::string("#1") + c);
  for (int n = 1; n <= 16; ++n) {
    expected.push_back("#1PNS" + std::to_string(n));
    for (const char* c : lesen) expected.push_back(std::string("#1") + c);
  }
  Strings frames = sim_.frames();
  ASSERT_EQ(frames.size(), 196u);
  frames.resize(186);
  EXPECT_EQ(frames, expected);
  EXPECT_EQ(file("a.zpk").size(), 1408u);

  sim_.clearFrames();
  r = cli({"write", "all", "-i", "a.zpk", "--no-verify"});
  ASSERT_EQ(r.status, 0u) << r.err;
  // The working parameters read first and put back last, the 16 programs between.
  expected.clear();
  for (const char* c : lesen) expected.push_back(std::string("#1") + c);
  for (int n = 1; n <= 16; ++n) {
    const Strings frames = {"#1WFW3", "#1C1W1.250", "#1C2W0.500", "#1T1W100", "#1T2W" + std::to_string(200 + n),
                            "#1F1W1000", "#1V1W12.5", "#1L1W5", "#1A1W50", "#1M1W1", "#1PNP" + std::to_string(n)};
    expected.insert(expected.end(), frames.begin(), frames.end());
  }
  Strings written = sim_.frames();
  ASSERT_EQ(written.size(), expected.size() + 10);
  const char* zurueck[] = {"WFW", "C1W", "C2W", "T1W", "T2W", "F1W", "V1W", "L1W", "A1W", "M1W"};
  for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(written[expected.size() + i].substr(0, 5), std::string("#1") + zurueck[i]);
  written.resize(expected.size());
  EXPECT_EQ(written, expected);

  // What was written reads back the same (slot 0: the working parameters of each read).
  ASSERT_EQ(cli({"read", "all", "-o", "b.zpk"}).status, 0u);
  EXPECT_EQ(file("a.zpk").substr(128), file("b.zpk").substr(128));
}

TEST_F(CommandLine, SilentDeviceEndsAfterTheHalfSecondTimeOut) {
  sim_.control("fault silence *");
  const Outcome r = cli({"--lang", "en", "id"});
  EXPECT_EQ(r.status, 4u);
  EXPECT_NE(r.err.find("#403012"), std::string::npos) << r.err;
  // The device error's place: the port typed as 1 is COM1.
  EXPECT_NE(r.err.find("COM1"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("\\\\.\\"), std::string::npos) << r.err;
  EXPECT_GE(r.seconds, 0.5);
}

TEST_F(CommandLine, PortHeldByAnotherProgramGivesTheOpenError) {
  ASSERT_EQ(OLQZPK3X_Open(1, 9600), 0);
  const Outcome r = cli({"--lang", "en", "id"});
  // As a script gets it: holders empty, not missing.
  const Outcome j = cli({"--lang", "en", "--json", "id"});
  OLQZPK3X_Close(1);
  EXPECT_EQ(r.status, 3u);
  EXPECT_NE(r.err.find("#100003"), std::string::npos) << r.err;
  // Named as the user knows it, not by the device path Windows opens.
  EXPECT_NE(r.err.find("\nCOM1: held by another program (the system does not tell which)"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("\\\\.\\"), std::string::npos) << r.err;
  EXPECT_EQ(j.status, 3u);
  EXPECT_NE(j.out.find("\"port\":\"COM1\""), std::string::npos) << j.out;
  EXPECT_NE(j.out.find("\"reason_code\":\"busy\""), std::string::npos) << j.out;
  EXPECT_NE(j.out.find("\"holders\":[]"), std::string::npos) << j.out;
  EXPECT_EQ(cli({"id"}).status, 0u);

  const Outcome fehlt = cli({"--lang", "en", "--port", "Z:\\fehlt\\com", "id"}, false);
  EXPECT_EQ(fehlt.status, 3u);
  EXPECT_NE(fehlt.err.find("Z:\\fehlt\\com: no such device"), std::string::npos) << fehlt.err;
}

// Without a language variable the user's interface language chooses: German
// here, as wine takes it from the test's LC_ALL.
TEST_F(CommandLine, LanguageFromTheUserInterfaceWithoutVariables) {
  ASSERT_EQ(PRIMARYLANGID(GetUserDefaultUILanguage()), LANG_GERMAN);
  const Outcome r = cli({"stat"}, false, true);
  EXPECT_EQ(r.status, 2u);
  EXPECT_NE(r.err.find("unbekannter Befehl: stat; gemeint ist wohl: status"), std::string::npos) << r.err;
  EXPECT_NE(cli({"--lang", "en", "stat"}, false, true).err.find("unknown command"), std::string::npos);
}

// "-" passes a program file through standard output byte for byte: line feeds
// stay line feeds.
TEST_F(CommandLine, StandardOutputCarriesTheProgramFileUnchanged) {
  ASSERT_EQ(cli({"read", "3", "-o", "a.json"}).status, 0u);
  const Outcome r = cli({"--format", "json", "read", "3", "-o", "-"});
  EXPECT_EQ(r.status, 0u) << r.err;
  EXPECT_NE(r.out.find('\n'), std::string::npos);
  EXPECT_EQ(r.out, file("a.json"));
}

TEST_F(CommandLine, TraceAndPorts) {
  const Outcome r = cli({"--trace", "id"});
  EXPECT_EQ(r.status, 0u) << r.err;
  EXPECT_LT(r.err.find(" -> #1IDR"), r.err.find(" <- #1OLQ-ZPK3X-SIM")) << r.err;
  EXPECT_NE(r.err.find(" <- #1OLQ-ZPK3X-SIM"), std::string::npos) << r.err;

  // The simulator's terminal is what wine maps as COM1, with the device behind the name.
  const Outcome p = cli({"ports"}, false);
  EXPECT_EQ(p.status, 0u);
  EXPECT_EQ(p.out.rfind("COM1  \\Device\\", 0), 0u) << p.out;
}

TEST_F(CommandLine, MqttIsNotAvailableAndNothingIsQueried) {
  sim_.clearFrames();
  const Outcome r = cli({"--lang", "en", "monitor", "--duration", "0.2", "--mqtt", "mqtt://127.0.0.1/lab"});
  EXPECT_EQ(r.status, 2u);
  EXPECT_NE(r.err.find("--mqtt: not available on Windows"), std::string::npos) << r.err;
  EXPECT_TRUE(sim_.frames().empty());
}

// Names with umlauts reach the file system as they are, for every command that
// takes a file; a path that begins with "/" is a file, not an option.
TEST_F(CommandLine, FileNamesWithUmlauts) {
  Outcome r = cli({"read", "all", "-o", "Prüf.json"});
  ASSERT_EQ(r.status, 0u) << r.err;
  EXPECT_TRUE(exists("Prüf.json"));
  r = cli({"convert", "Prüf.json", "Ausgabe_ä.zpk"});
  ASSERT_EQ(r.status, 0u) << r.err;
  EXPECT_TRUE(exists("Ausgabe_ä.zpk"));
  r = cli({"show", "Ausgabe_ä.zpk"});
  EXPECT_EQ(r.status, 0u) << r.err;
  r = cli({"monitor", "--interval", "0.1", "--duration", "0.25", "-o", "Messung_ö.csv"});
  EXPECT_EQ(r.status, 0u) << r.err;
  EXPECT_TRUE(exists("Messung_ö.csv"));

  // Wine takes such a path as a Unix one, Windows as one on the current drive:
  // either way a file that is not there, never an option.
  r = cli({"show", "/fehlt_ä.zpk"});
  EXPECT_EQ(r.status, 5u);
  // The system's reason in the language of the messages, German here.
  EXPECT_NE(r.err.find("/fehlt_ä.zpk: Datei oder Ordner nicht vorhanden"), std::string::npos) << r.err;
  for (const char* name : {"Prüf.json", "Ausgabe_ä.zpk", "Messung_ö.csv"}) DeleteFileW(wide(dir_ + "\\" + name).c_str());
}

// "start" answered 0.35 s after its time-out: the late ACK must not pass for the
// answer to the next call's "stop", which the device never answers. The next
// call proves the line in step first (the record lives in the temporary folder).
TEST_F(CommandLine, LateAnswerOfOneCallIsNotTheNextCallsAnswer) {
  sim_.control("fault late DF1 850");
  sim_.control("fault silence DF2");
  const Outcome s = cli({"--trace", "--timeout", "0.5", "start"});
  EXPECT_EQ(s.status, 4u) << s.err;
  const Outcome r = cli({"--trace", "--timeout", "1.5", "stop"});
  EXPECT_EQ(r.status, 4u) << r.out;
  EXPECT_NE(r.err.find("#403023"), std::string::npos) << r.err;
  EXPECT_EQ(sim_.frames(), (Strings{"#1DF1", "#1S0R", "#1DF2"}));
}

}  // namespace

#pragma once
// Temporary directories and whole-file helpers for the INI tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ini/ini.h"

#ifdef _WIN32
#include <direct.h>
#include <io.h>
// The C library of Windows has no mkdtemp.
inline char* mkdtemp(char* pattern) { return ::_mktemp(pattern) && ::_mkdir(pattern) == 0 ? pattern : nullptr; }
#endif

class IniTempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ini_test_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    for (const auto& name : Entries()) ::unlink((dir_ + "/" + name).c_str());
    ::rmdir(dir_.c_str());
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  void WriteRaw(const std::string& name, const std::string& bytes) const {
    std::ofstream out(Path(name), std::ios::binary);
    out << bytes;
  }

  std::string ReadRaw(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir_.c_str())) {
      while (dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
      }
      ::closedir(d);
    }
    return names;
  }

  // Reads the bytes as a file into a fresh sorted document (caller disposes).
  IniText Load(const std::string& bytes, int* rc = nullptr) {
    WriteRaw("in.ini", bytes);
    IniText ini = Ini_New(1);
    const int r = Ini_ReadFromFile(ini, Path("in.ini").c_str());
    if (rc) *rc = r;
    ::unlink(Path("in.ini").c_str());
    return ini;
  }

  // Ini_GetInt's result and value (value -777 when none was stored).
  static std::pair<int, int> Get(IniText ini, const char* section, const char* tag) {
    int v = -777;
    const int r = Ini_GetInt(ini, section, tag, &v);
    return {r, v};
  }

  std::string dir_;
};

using IniResult = std::pair<int, int>;

// The INI writer on Windows: replacing a file that exists (the C library's rename
// will not), lines written byte for byte, and a target another program holds.
#include <windows.h>

#include "ini_test_support.h"

namespace {

class IniWindowsWrite : public IniTempDir {
 protected:
  IniText PortDocument(long port) {
    IniText ini = Ini_New(1);
    EXPECT_EQ(Ini_PutInt(ini, "ZPK3X", "port", port), 0);
    return ini;
  }
};

TEST_F(IniWindowsWrite, ReplacesAnExistingFileByteForByte) {
  for (long port : {1L, 2L}) {
    IniText ini = PortDocument(port);
    ASSERT_EQ(Ini_WriteToFile(ini, Path("z.ini").c_str()), 0);
    Ini_Dispose(ini);
  }
  EXPECT_EQ(ReadRaw("z.ini"), "[ZPK3X]\r\nport = 2\r\n\r\n");
  EXPECT_EQ(Entries(), std::vector<std::string>{"z.ini"});
  IniText back = Ini_New(1);
  ASSERT_EQ(Ini_ReadFromFile(back, Path("z.ini").c_str()), 0);
  EXPECT_EQ(Get(back, "ZPK3X", "port"), (IniResult{1, 2}));
  Ini_Dispose(back);
}

TEST_F(IniWindowsWrite, TargetHeldOrInAMissingFolderIsNotWritable) {
  IniText ini = PortDocument(3);
  EXPECT_EQ(Ini_WriteToFile(ini, Path("missing/z.ini").c_str()), -95);
  WriteRaw("held.ini", "old");
  HANDLE held = CreateFileA(Path("held.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Ini_WriteToFile(ini, Path("held.ini").c_str()), -95);
  CloseHandle(held);
  Ini_Dispose(ini);
  EXPECT_EQ(ReadRaw("held.ini"), "old");
  EXPECT_EQ(Entries(), std::vector<std::string>{"held.ini"});
}

}  // namespace

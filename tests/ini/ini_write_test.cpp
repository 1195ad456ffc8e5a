// Writing: exact bytes, long values, the temporary file and every failure path.
#include "ini_test_support.h"

#include "ini/ini_seam.h"

#include <cerrno>
#include <climits>

namespace {

class IniWrite : public IniTempDir {
 protected:
  void TearDown() override {
    Ini_SysCallsReset();
    IniTempDir::TearDown();
  }

  static IniText FiveKeys() {
    IniText ini = Ini_New(1);
    Ini_PutInt(ini, "ZPK3X", "port", -1);
    Ini_PutInt(ini, "ZPK3X", "lport", -1);
    Ini_PutInt(ini, "ZPK3X", "adresse", 49);
    Ini_PutInt(ini, "ZPK3X", "baudrate", 9600);
    Ini_PutInt(ini, "ZPK3X", "sprache", 1);
    return ini;
  }

  // A document large enough to need several flushes of the output buffer.
  static IniText Large() {
    IniText ini = Ini_New(1);
    for (int i = 0; i < 3000; ++i) Ini_PutInt(ini, "Big", ("key" + std::to_string(i)).c_str(), i);
    return ini;
  }

  // Writes `ini` over an existing target and checks that a failure leaves the
  // old bytes and no temporary file.
  void ExpectFailureKeepsOld(IniText ini, int expected) {
    const std::string old = "[Old]\r\nkept = 1\r\n\r\n";
    WriteRaw("cfg.ini", old);
    EXPECT_EQ(Ini_WriteToFile(ini, Path("cfg.ini").c_str()), expected);
    EXPECT_EQ(ReadRaw("cfg.ini"), old);
    EXPECT_EQ(Entries(), std::vector<std::string>{"cfg.ini"});
  }
};

const char kFiveKeys[] = "[ZPK3X]\r\nadresse = 49\r\nbaudrate = 9600\r\nlport = -1\r\nport = -1\r\nsprache = 1\r\n\r\n";

TEST_F(IniWrite, FiveKeyExampleBytesAndRepeatability) {
  IniText ini = FiveKeys();
  ASSERT_EQ(Ini_WriteToFile(ini, Path("cfg.ini").c_str()), 0);
  EXPECT_EQ(ReadRaw("cfg.ini"), kFiveKeys);
  ASSERT_EQ(Ini_WriteToFile(ini, Path("cfg.ini").c_str()), 0);
  EXPECT_EQ(ReadRaw("cfg.ini"), kFiveKeys);
  EXPECT_EQ(Entries(), std::vector<std::string>{"cfg.ini"});
  Ini_Dispose(ini);
}

TEST_F(IniWrite, WrittenFileReadsBack) {
  WriteRaw("src.ini", "[b]\nq = \"5\"\nn=-3\n[A]\nx = a=b\n");
  IniText ini = Ini_New(1);
  ASSERT_EQ(Ini_ReadFromFile(ini, Path("src.ini").c_str()), 0);
  ASSERT_EQ(Ini_WriteToFile(ini, Path("out.ini").c_str()), 0);
  EXPECT_EQ(ReadRaw("out.ini"), "[A]\r\nx = a=b\r\n\r\n[b]\r\nn = -3\r\nq = \"5\"\r\n\r\n");
  Ini_Dispose(ini);
}

TEST_F(IniWrite, RelativePathUsesTheWorkingDirectory) {
  char old[4096];
  ASSERT_NE(::getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(::chdir(dir_.c_str()), 0);
  IniText ini = FiveKeys();
  const int rc = Ini_WriteToFile(ini, "rel.ini");
  Ini_Dispose(ini);
  ASSERT_EQ(::chdir(old), 0);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ReadRaw("rel.ini"), kFiveKeys);
  EXPECT_EQ(Entries(), std::vector<std::string>{"rel.ini"});
}

TEST_F(IniWrite, LongValuesSplitAndJoinBack) {
  const std::string value = "abcdefghij0123456789" "ABCDEFGHIJ0123456789" "abcdefghij0123456789" "ABCDEFGHIJ012345678#"
                            "abcdefghij0123456789" "ABCDEFGHIJ0123456789" "abcdefghij0123456789" "ABCDEFGHIJ012345678*"
                            "tail";
  ASSERT_EQ(value.size(), 164u);
  const std::string exact80(80, 'e');
  IniText ini = Load("[S]\nlong = " + value + "\nq = \"" + value + "\"\nx = " + exact80 + "\ny = " + exact80 + "y\n");
  ASSERT_EQ(Ini_WriteToFile(ini, Path("out.ini").c_str()), 0);
  Ini_Dispose(ini);
  const std::string p1 = value.substr(0, 80), p2 = value.substr(80, 80), p3 = value.substr(160);
  EXPECT_EQ(ReadRaw("out.ini"),
            "[S]\r\n"
            "long Line0001 = " + p1 + "\r\nlong Line0002 = " + p2 + "\r\nlong Line0003 = " + p3 + "\r\n"
            "q Line0001 = \"" + p1 + "\"\r\nq Line0002 = \"" + p2 + "\"\r\nq Line0003 = \"" + p3 + "\"\r\n"
            "x = " + exact80 + "\r\n"
            "y Line0001 = " + exact80 + "\r\ny Line0002 = y\r\n\r\n");

  IniText back = Ini_New(1);
  ASSERT_EQ(Ini_ReadFromFile(back, Path("out.ini").c_str()), 0);
  for (const char* tag : {"long", "q"}) {
    ASSERT_NE(Ini_FindValueText(back, "S", tag), nullptr);
    EXPECT_EQ(*Ini_FindValueText(back, "S", tag), value) << tag;
  }
  EXPECT_EQ(*Ini_FindValueText(back, "S", "y"), exact80 + "y");
  Ini_Dispose(back);
}

TEST_F(IniWrite, LongValueWithBlanksAtPieceEdgesSurvives) {
  // Pieces that would lose blanks or quotes when read are written in quotes.
  std::string value = std::string(79, 'a') + "  " + std::string(77, 'b') + "\"" + "\"" + std::string(78, 'c') + "\"" +
                      std::string(10, 'd');
  std::string text = "[S]\n";
  for (std::size_t at = 0, n = 1; at < value.size(); at += 60, ++n) {
    text += "v Line" + std::to_string(n) + " = \"" + value.substr(at, 60) + "\"\n";
  }
  IniText ini = Load(text);
  ASSERT_NE(Ini_FindValueText(ini, "S", "v"), nullptr);
  ASSERT_EQ(*Ini_FindValueText(ini, "S", "v"), value);
  // Once quoted as read, once unquoted: both must read back equal and
  // write the same bytes a second time.
  ASSERT_EQ(Ini_WriteToFile(ini, Path("one.ini").c_str()), 0);
  Ini_Dispose(ini);
  ini = Load("[S]\nv Line0001 = " + value.substr(0, 70) + "\nv Line0002 = " + value.substr(70, 100) + "\n" +
             "v Line0003 = " + value.substr(170) + "\n");
  ASSERT_EQ(*Ini_FindValueText(ini, "S", "v"), value);
  ASSERT_EQ(Ini_WriteToFile(ini, Path("two.ini").c_str()), 0);
  Ini_Dispose(ini);
  for (const char* name : {"one.ini", "two.ini"}) {
    IniText back = Ini_New(1);
    ASSERT_EQ(Ini_ReadFromFile(back, Path(name).c_str()), 0);
    ASSERT_NE(Ini_FindValueText(back, "S", "v"), nullptr);
    EXPECT_EQ(*Ini_FindValueText(back, "S", "v"), value) << name;
    const std::string first = ReadRaw(name);
    ASSERT_EQ(Ini_WriteToFile(back, Path(name).c_str()), 0);
    EXPECT_EQ(ReadRaw(name), first) << name;
    Ini_Dispose(back);
  }
}

TEST_F(IniWrite, TargetThatCannotBeWritten) {
  IniText ini = FiveKeys();
  EXPECT_EQ(Ini_WriteToFile(ini, Path("no/such/dir/cfg.ini").c_str()), -95);
  WriteRaw("plain", "x");
  EXPECT_EQ(Ini_WriteToFile(ini, Path("plain/cfg.ini").c_str()), -95);
  ASSERT_EQ(::mkdir(Path("adir").c_str(), 0755), 0);
  EXPECT_EQ(Ini_WriteToFile(ini, Path("adir").c_str()), -95);
  ::rmdir(Path("adir").c_str());
  EXPECT_EQ(Entries(), std::vector<std::string>{"plain"});
  EXPECT_EQ(ReadRaw("plain"), "x");
  Ini_Dispose(ini);
}

TEST_F(IniWrite, LinksAreFollowedAndModeAndOwnerKept) {
  IniText ini = FiveKeys();
  // A link to a file: the file gets the new content, the link stays.
  WriteRaw("real.ini", "[Old]\r\n");
  ASSERT_EQ(::chown(Path("real.ini").c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(Path("real.ini").c_str(), 0604), 0);
  ASSERT_EQ(::symlink("real.ini", Path("cfg.ini").c_str()), 0);
  ASSERT_EQ(Ini_WriteToFile(ini, Path("cfg.ini").c_str()), 0);
  EXPECT_EQ(ReadRaw("real.ini"), kFiveKeys);
  struct stat st {};
  ASSERT_EQ(::lstat(Path("cfg.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(Path("real.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);

  // A dangling link (through a second link): its target is created.
  ASSERT_EQ(::symlink(Path("missing.ini").c_str(), Path("hop.ini").c_str()), 0);
  ASSERT_EQ(::symlink("hop.ini", Path("dangling.ini").c_str()), 0);
  ASSERT_EQ(Ini_WriteToFile(ini, Path("dangling.ini").c_str()), 0);
  EXPECT_EQ(ReadRaw("missing.ini"), kFiveKeys);
  ASSERT_EQ(::lstat(Path("dangling.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));

  // A loop of links cannot be written.
  ASSERT_EQ(::symlink("loop2", Path("loop1").c_str()), 0);
  ASSERT_EQ(::symlink("loop1", Path("loop2").c_str()), 0);
  EXPECT_EQ(Ini_WriteToFile(ini, Path("loop1").c_str()), -95);
  Ini_Dispose(ini);
  EXPECT_EQ(Entries().size(), 7u);
}

TEST_F(IniWrite, ExistingTemporaryNamesAreNeverWrittenThrough) {
  WriteRaw("ini$$0.TMP", "someone else's");
  WriteRaw("victim", "precious");
  ASSERT_EQ(::symlink(Path("victim").c_str(), Path("ini$$1.TMP").c_str()), 0);
  ASSERT_EQ(::symlink(Path("nowhere").c_str(), Path("ini$$2.TMP").c_str()), 0);
  IniText ini = FiveKeys();
  ASSERT_EQ(Ini_WriteToFile(ini, Path("cfg.ini").c_str()), 0);
  Ini_Dispose(ini);
  EXPECT_EQ(ReadRaw("cfg.ini"), kFiveKeys);
  EXPECT_EQ(ReadRaw("ini$$0.TMP"), "someone else's");
  EXPECT_EQ(ReadRaw("victim"), "precious");
  struct stat st {};
  ASSERT_EQ(::lstat(Path("ini$$1.TMP").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::lstat(Path("ini$$2.TMP").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_NE(::access(Path("nowhere").c_str(), F_OK), 0);
  EXPECT_NE(::access(Path("ini$$3.TMP").c_str(), F_OK), 0);
}

TEST_F(IniWrite, NoFreeTemporaryName) {
  for (int i = 0; i <= 999; ++i) WriteRaw("ini$$" + std::to_string(i) + ".TMP", "");
  const std::string old = "[Old]\r\n\r\n";
  WriteRaw("cfg.ini", old);
  IniText ini = FiveKeys();
  EXPECT_EQ(Ini_WriteToFile(ini, Path("cfg.ini").c_str()), -5003);
  Ini_Dispose(ini);
  EXPECT_EQ(ReadRaw("cfg.ini"), old);
  EXPECT_EQ(Entries().size(), 1001u);
}

namespace {
std::size_t gWritten = 0;
int gErrno = 0;
ssize_t FailAfter16K(int fd, const void* buf, size_t n) {
  if (gWritten >= 16384) {
    errno = gErrno;
    return -1;
  }
  const ssize_t r = ::write(fd, buf, n);
  if (r > 0) gWritten += static_cast<std::size_t>(r);
  return r;
}
ssize_t ShortWrites(int fd, const void* buf, size_t n) { return ::write(fd, buf, n < 7 ? n : 7); }
int FailFsync(int) {
  errno = EIO;
  return -1;
}
int FailClose(int fd) {
  ::close(fd);
  errno = EDQUOT;
  return -1;
}
int FailRename(const char*, const char*) {
  errno = EBUSY;
  return -1;
}
}  // namespace

TEST_F(IniWrite, WriteFailingHalfWay) {
  IniText ini = Large();
  gWritten = 0;
  gErrno = ENOSPC;
  Ini_SysCalls().write = FailAfter16K;
  ExpectFailureKeepsOld(ini, -97);
  gWritten = 0;
  gErrno = EIO;
  ExpectFailureKeepsOld(ini, -93);
  Ini_Dispose(ini);
}

TEST_F(IniWrite, ShortWritesStillWriteEverything) {
  Ini_SysCalls().write = ShortWrites;
  IniText ini = FiveKeys();
  ASSERT_EQ(Ini_WriteToFile(ini, Path("cfg.ini").c_str()), 0);
  EXPECT_EQ(ReadRaw("cfg.ini"), kFiveKeys);
  Ini_Dispose(ini);
}

TEST_F(IniWrite, FlushCloseOrRenameFailing) {
  IniText ini = FiveKeys();
  Ini_SysCalls().fsync = FailFsync;
  ExpectFailureKeepsOld(ini, -93);
  Ini_SysCallsReset();
  Ini_SysCalls().close = FailClose;
  ExpectFailureKeepsOld(ini, -97);
  Ini_SysCallsReset();
  Ini_SysCalls().rename = FailRename;
  ExpectFailureKeepsOld(ini, -93);
  Ini_SysCallsReset();
  ASSERT_EQ(Ini_WriteToFile(ini, Path("cfg.ini").c_str()), 0);
  EXPECT_EQ(ReadRaw("cfg.ini"), kFiveKeys);
  Ini_Dispose(ini);
}

}  // namespace

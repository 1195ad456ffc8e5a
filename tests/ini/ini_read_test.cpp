// Reading files: line splitting, classification, quoting, joining, failures.
#include "ini_test_support.h"

#include "ini/ini_seam.h"

#include <cerrno>

using IniRead = IniTempDir;

TEST_F(IniRead, TagAndSectionMatchIgnoringCaseAndBlanks) {
  IniText ini = Load("[ zpk3x ]\r\n  PORT  =3\r\nlport=-1\r\n");
  EXPECT_EQ(Get(ini, "ZPK3X", "port"), IniResult(1, 3));
  EXPECT_EQ(Get(ini, "  ZPK3X\t", " port "), IniResult(1, 3));
  EXPECT_EQ(Get(ini, "zpk3x", "LPORT"), IniResult(1, -1));
  EXPECT_EQ(Get(ini, "ZPK3", "port"), IniResult(0, -777));
  EXPECT_EQ(Get(ini, "ZPK3X", "baudrate"), IniResult(0, -777));
  Ini_Dispose(ini);
}

TEST_F(IniRead, IgnoredLinesDoNotEndTheCurrentSection) {
  IniText ini = Load(
      "a=1\n"                 // before any section: lost
      "[S]\n"
      "empty =   \n"          // empty value: ignored
      "; commented = 4\n"     // comment even with an equals sign
      "   ;also = 5\n"
      "no separator here\n"
      " = 6\n"                // empty tag
      "[T] ; note\n"          // text after the bracket: not a section
      "b=2\n"
      "[ ]\n"                 // empty name
      "[unclosed\n"
      "c=3\n"
      "[U]\n"
      "eq = x=y\n");
  EXPECT_EQ(Get(ini, "S", "a").first, 0);
  EXPECT_EQ(Get(ini, "S", "empty").first, 0);
  EXPECT_EQ(Get(ini, "S", "commented").first, 0);
  EXPECT_EQ(Get(ini, "S", "; commented").first, 0);
  EXPECT_EQ(Get(ini, "S", "also").first, 0);
  EXPECT_EQ(Get(ini, "T", "b").first, 0);
  EXPECT_EQ(Get(ini, "S", "b"), IniResult(1, 2));
  EXPECT_EQ(Get(ini, "S", "c"), IniResult(1, 3));
  ASSERT_NE(Ini_FindValueText(ini, "U", "eq"), nullptr);
  EXPECT_EQ(*Ini_FindValueText(ini, "U", "eq"), "x=y");
  EXPECT_EQ(Ini_FindValueText(ini, "U", "eq = x"), nullptr);
  Ini_Dispose(ini);
}

TEST_F(IniRead, SectionNameRunsToTheLastBracket) {
  IniText ini = Load("[ a ] b ]  \t\nk=1\n");
  EXPECT_EQ(Get(ini, "a ] b", "k"), IniResult(1, 1));
  Ini_Dispose(ini);
}

TEST_F(IniRead, ByteOrderMarkHidesTheFirstSectionLine) {
  IniText ini = Load("\xEF\xBB\xBF[ZPK3X]\r\nport=3\r\n[B]\r\nx=1\r\n");
  EXPECT_EQ(Get(ini, "ZPK3X", "port").first, 0);
  EXPECT_EQ(Get(ini, "B", "x"), IniResult(1, 1));
  Ini_Dispose(ini);
}

TEST_F(IniRead, QuotedValuesLoseOneQuotePair) {
  IniText ini = Load("[S]\nq=\"5\"\nspaced = \" 7 \"\nempty=\"\"\nlone=\"\nhalf=\"5\ninner=\"a\"b\"\n");
  EXPECT_EQ(Get(ini, "S", "q"), IniResult(1, 5));
  EXPECT_EQ(Get(ini, "S", "spaced"), IniResult(1, 7));
  EXPECT_EQ(Get(ini, "S", "empty").first, 0);
  EXPECT_EQ(Get(ini, "S", "lone").first, -5021);
  EXPECT_EQ(Get(ini, "S", "half").first, -5021);
  ASSERT_NE(Ini_FindValueText(ini, "S", "inner"), nullptr);
  EXPECT_EQ(*Ini_FindValueText(ini, "S", "inner"), "a\"b");
  Ini_Dispose(ini);
}

TEST_F(IniRead, LongLineKeepsOnly255Characters) {
  const std::string kept = "a=" + std::string(253, 'x');
  IniText ini = Load("[S]\n" + kept + "zzz=5\nb=2\n" + std::string(255, ' ') + "c=3\n");
  const std::string* a = Ini_FindValueText(ini, "S", "a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(*a, std::string(253, 'x'));
  EXPECT_EQ(Ini_FindValueText(ini, "S", "zzz"), nullptr);
  EXPECT_EQ(Get(ini, "S", "b"), IniResult(1, 2));
  EXPECT_EQ(Get(ini, "S", "c").first, 0);  // its text lies beyond character 255
  Ini_Dispose(ini);
}

TEST_F(IniRead, EveryKindOfLineEnd) {
  const char text[] = "[S]\ra=1\nb=2\r\nc=3\n\rd=4\0e=5\r\rf=6\n\ng=7";
  IniText ini = Load(std::string(text, sizeof text - 1));
  const char* tags[] = {"a", "b", "c", "d", "e", "f", "g"};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(Get(ini, "S", tags[i]), IniResult(1, i + 1)) << tags[i];
  Ini_Dispose(ini);
}

TEST_F(IniRead, LinesAcrossBlockBoundaries) {
  // Lines of growing length put every kind of split (in a line, between CR and
  // LF) on some 2048-byte boundary.
  std::string text = "[S]\r\n";
  for (int i = 0; i < 400; ++i) {
    text.append("k").append(std::to_string(i)).append(static_cast<std::size_t>(i % 37), ' ');
    text.append("=").append(std::to_string(i * 7)).append("\r\n");
  }
  IniText ini = Load(text);
  for (int i = 0; i < 400; ++i) {
    const std::string tag = "k" + std::to_string(i);
    ASSERT_EQ(Get(ini, "S", tag.c_str()), IniResult(1, i * 7)) << tag;
  }
  Ini_Dispose(ini);
}

TEST_F(IniRead, SplitValuesAreJoined) {
  IniText ini = Load(
      "[S]\n"
      "v Line0001 = abc\nv Line0002 = def\nv Line0003 = \"g h\"\n"
      "n Line0001 = 12\nn Line0002 = 34\n"
      "w Line0001 = x\nw Line0002 = y\nw Line0001 = z\n"
      "lone Line0002 = q\n"
      "p Line0001 = 1\nother Line0002 = 2\n");
  auto text = [&](const char* tag) {
    const std::string* v = Ini_FindValueText(ini, "S", tag);
    return v ? *v : std::string("<none>");
  };
  EXPECT_EQ(text("v"), "abcdefg h");
  EXPECT_EQ(Get(ini, "S", "n"), IniResult(1, 1234));
  EXPECT_EQ(text("v Line0001"), "<none>");
  EXPECT_EQ(text("lone Line0002"), "q");
  EXPECT_EQ(text("lone"), "<none>");
  // A new number 1 starts a new run; the later run wins or loses, never mixes.
  const std::string w = text("w");
  EXPECT_TRUE(w == "xy" || w == "z") << w;
  // A numbered item of another tag does not join.
  EXPECT_EQ(text("p"), "1");
  EXPECT_EQ(text("other Line0002"), "2");
  Ini_Dispose(ini);
}

TEST_F(IniRead, RepeatedReadsAddToTheDocument) {
  WriteRaw("one.ini", "[B]\nx=1\n[Z]\nz=26\n");
  WriteRaw("two.ini", "[a]\ny=2\n[m]\nm=13\n");
  IniText ini = Ini_New(1);
  ASSERT_EQ(Ini_ReadFromFile(ini, Path("one.ini").c_str()), 0);
  ASSERT_EQ(Ini_ReadFromFile(ini, Path("two.ini").c_str()), 0);
  EXPECT_EQ(Get(ini, "b", "x"), IniResult(1, 1));
  EXPECT_EQ(Get(ini, "A", "y"), IniResult(1, 2));
  EXPECT_EQ(Get(ini, "M", "m"), IniResult(1, 13));
  EXPECT_EQ(Get(ini, "z", "z"), IniResult(1, 26));
  Ini_Dispose(ini);
}

TEST_F(IniRead, OpenAndReadFailures) {
  IniText ini = Ini_New(1);
  ASSERT_NE(ini, nullptr);
  EXPECT_EQ(Ini_ReadFromFile(ini, Path("missing.ini").c_str()), -5001);
  WriteRaw("file", "x");
  EXPECT_EQ(Ini_ReadFromFile(ini, Path("file/below.ini").c_str()), -5001);
  EXPECT_EQ(Ini_ReadFromFile(ini, dir_.c_str()), -5002);  // a directory
  Ini_Dispose(ini);
}

namespace {
int gReads = 0;
ssize_t FailSecondRead(int fd, void* buf, size_t n) {
  if (++gReads == 2) {
    errno = EIO;
    return -1;
  }
  return ::read(fd, buf, n);
}
}  // namespace

TEST_F(IniRead, FailureHalfWayKeepsWhatWasReadSearchable) {
  std::string text = "[Z]\nz=1\n[A]\na=2\n";
  text += std::string(3000, ';') + "\n[M]\nm=3\n";
  WriteRaw("big.ini", text);
  gReads = 0;
  Ini_SysCalls().read = FailSecondRead;
  IniText ini = Ini_New(1);
  EXPECT_EQ(Ini_ReadFromFile(ini, Path("big.ini").c_str()), -5002);
  Ini_SysCallsReset();
  EXPECT_EQ(Get(ini, "A", "a"), IniResult(1, 2));
  EXPECT_EQ(Get(ini, "Z", "z"), IniResult(1, 1));
  EXPECT_EQ(Get(ini, "M", "m").first, 0);
  Ini_Dispose(ini);
}

// A million lines is left to the benchmark; this keeps the sanitizer run quick.
TEST_F(IniRead, ManyShortLines) {
  std::string text = "[S]\n";
  text.reserve(2'000'000);
  for (int i = 0; i < 200'000; ++i) {
    text += "k";
    text += std::to_string(i);
    text += "=";
    text += std::to_string(i % 1000);
    text += "\n";
  }
  IniText ini = Load(text);
  EXPECT_EQ(Get(ini, "S", "k0"), IniResult(1, 0));
  EXPECT_EQ(Get(ini, "S", "k199999"), IniResult(1, 999));
  EXPECT_EQ(Get(ini, "S", "k123456"), IniResult(1, 456));
  Ini_Dispose(ini);
}

TEST_F(IniRead, NullHandles) {
  WriteRaw("a.ini", "[S]\nk=1\n");
  int v = 0;
  EXPECT_EQ(Ini_ReadFromFile(nullptr, Path("a.ini").c_str()), -65);
  EXPECT_EQ(Ini_GetInt(nullptr, "S", "k", &v), -65);
  EXPECT_EQ(Ini_PutInt(nullptr, "S", "k", 1), -65);
  EXPECT_EQ(Ini_WriteToFile(nullptr, Path("b.ini").c_str()), -65);
  Ini_Dispose(nullptr);
  EXPECT_EQ(Entries().size(), 1u);  // nothing was written
}

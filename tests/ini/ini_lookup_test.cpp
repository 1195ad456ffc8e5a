// Integer conversion, look-up and put.
#include "ini_test_support.h"

#include "ini/ini_seam.h"

#include <climits>

using IniLookup = IniTempDir;

TEST_F(IniLookup, StrictIntegerConversion) {
  struct Case {
    const char* text;
    int result;
    int value;
  };
  const Case cases[] = {
      {"5", 1, 5},
      {"+5", 1, 5},
      {"-5", 1, -5},
      {"007", 1, 7},
      {"000000000000000000000000000000000000000042", 1, 42},
      {"2147483647", 1, INT_MAX},
      {"-2147483648", 1, INT_MIN},
      {"\"  12\t\"", 1, 12},
      {"2147483648", -5021, 0},
      {"-2147483649", -5021, 0},
      {"4294967301", -5021, 0},            // would wrap to 5 in 32 bits
      {"18446744073709551621", -5021, 0},  // would wrap to 5 in 64 bits
      {"1234567890123456789012345678901234567890", -5021, 0},
      {"- 5", -5021, 0},
      {"--5", -5021, 0},
      {"+-5", -5021, 0},
      {"+", -5021, 0},
      {"0x10", -5021, 0},
      {"1e3", -5021, 0},
      {"5 ; comment", -5021, 0},
      {"5x", -5021, 0},
      {"5 5", -5021, 0},
      {"\"\t \"", 0, 0},
  };
  std::string text = "[S]\n";
  for (std::size_t i = 0; i < std::size(cases); ++i) text.append("k").append(std::to_string(i)).append(" = ").append(cases[i].text).append("\n");
  IniText ini = Load(text);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string tag = std::string("k").append(std::to_string(i));
    const IniResult got = Get(ini, "S", tag.c_str());
    EXPECT_EQ(got.first, cases[i].result) << cases[i].text;
    EXPECT_EQ(got.second, cases[i].result == 1 ? cases[i].value : -777) << cases[i].text;
  }
  Ini_Dispose(ini);
}

TEST_F(IniLookup, ManySectionsFoundInAnyOrder) {
  // Put in a scrambled order; look-ups alternate between sections so that the
  // remembered section is both hit and missed.
  IniText ini = Ini_New(1);
  for (int i = 0; i < 300; ++i) {
    const int s = (i * 37) % 300;
    const std::string sec = (s % 2 ? "Sec" : "sEC") + std::to_string(s);
    for (int k = 0; k < 5; ++k) {
      ASSERT_EQ(Ini_PutInt(ini, sec.c_str(), ("Tag" + std::to_string((k * 3) % 5)).c_str(), s * 10 + (k * 3) % 5), 0);
    }
  }
  for (int round = 0; round < 2; ++round) {
    for (int s = 0; s < 300; ++s) {
      const std::string sec = "sec" + std::to_string(s);
      for (int k = 0; k < 5; ++k) {
        const std::string tag = "TAG" + std::to_string(k);
        ASSERT_EQ(Get(ini, sec.c_str(), tag.c_str()), IniResult(1, s * 10 + k)) << sec << " " << tag;
        ASSERT_EQ(Get(ini, "sec0", "tag1"), IniResult(1, 1));
      }
    }
  }
  EXPECT_EQ(Get(ini, "sec300", "tag1").first, 0);
  EXPECT_EQ(Get(ini, "sec1", "tag5").first, 0);
  Ini_Dispose(ini);
}

TEST_F(IniLookup, PutReplacesEveryItemOfTheTag) {
  IniText ini = Load("[S]\na=1\nA=2\nb=5\na =3\n");
  ASSERT_EQ(Ini_PutInt(ini, "s", " A", 9), 0);
  EXPECT_EQ(Get(ini, "S", "a"), IniResult(1, 9));
  ASSERT_EQ(Ini_PutInt(ini, "S", "a", LONG_MIN), 0);
  ASSERT_EQ(Ini_WriteToFile(ini, Path("out.ini").c_str()), 0);
  EXPECT_EQ(ReadRaw("out.ini"), "[S]\r\na = " + std::to_string(LONG_MIN) + "\r\nb = 5\r\n\r\n");
  Ini_Dispose(ini);
}

TEST_F(IniLookup, UnsortedDocumentKeepsPutOrder) {
  IniText ini = Ini_New(0);
  ASSERT_EQ(Ini_PutInt(ini, "Zeta", "b", 1), 0);
  ASSERT_EQ(Ini_PutInt(ini, "Zeta", "a", 2), 0);
  ASSERT_EQ(Ini_PutInt(ini, "Zeta", "c", 3), 0);
  ASSERT_EQ(Ini_PutInt(ini, "Alpha", "x", 0), 0);
  ASSERT_EQ(Ini_PutInt(ini, "zeta", "B", -4), 0);  // replaces in place
  ASSERT_EQ(Ini_WriteToFile(ini, Path("out.ini").c_str()), 0);
  EXPECT_EQ(ReadRaw("out.ini"), "[Zeta]\r\nB = -4\r\na = 2\r\nc = 3\r\n\r\n[Alpha]\r\nx = 0\r\n\r\n");
  Ini_Dispose(ini);
}

TEST_F(IniLookup, SortedDocumentOrdersIgnoringCase) {
  IniText ini = Ini_New(1);
  ASSERT_EQ(Ini_PutInt(ini, "b", "Zz", 1), 0);
  ASSERT_EQ(Ini_PutInt(ini, "C", "y", 2), 0);
  ASSERT_EQ(Ini_PutInt(ini, "A", "q", 3), 0);
  ASSERT_EQ(Ini_PutInt(ini, "b", "aA", 4), 0);
  ASSERT_EQ(Ini_PutInt(ini, "b", "_", 5), 0);
  ASSERT_EQ(Ini_WriteToFile(ini, Path("out.ini").c_str()), 0);
  EXPECT_EQ(ReadRaw("out.ini"),
            "[A]\r\nq = 3\r\n\r\n[b]\r\n_ = 5\r\naA = 4\r\nZz = 1\r\n\r\n[C]\r\ny = 2\r\n\r\n");
  Ini_Dispose(ini);
}

TEST_F(IniLookup, RepeatedSectionNamesStaySeparate) {
  IniText ini = Load("[A]\na=1\n[B]\nb=2\n[a]\nc=3\n");
  const bool first = Get(ini, "A", "a").first == 1;
  const bool second = Get(ini, "A", "c").first == 1;
  EXPECT_NE(first, second);  // one of the two sections, never a merge
  EXPECT_EQ(Get(ini, "B", "b"), IniResult(1, 2));
  ASSERT_EQ(Ini_WriteToFile(ini, Path("out.ini").c_str()), 0);
  EXPECT_EQ(ReadRaw("out.ini"), "[A]\r\na = 1\r\n\r\n[a]\r\nc = 3\r\n\r\n[B]\r\nb = 2\r\n\r\n");
  Ini_Dispose(ini);
}

// monitor -o with a date pattern in its folders, driven by a clock of the test:
// a week-long run across a month's end.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "testdateien.h"
#include "zpk3x-cli/Musterdatei.h"

namespace {

bool Ordner(const std::string& pfad) {
  struct stat st {};
  return ::stat(pfad.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(Musterdatei, EineWocheUeberDasMonatsendeMachtJedenOrdnerWennErZuerstGenanntWird) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  testdateien::Arbeitsverzeichnis v;
  Musterdatei m(v.pfad() + "/logs/%Y-%m/lauf-%d.csv");
  ASSERT_TRUE(m.Gueltig());
  const std::int64_t start = 1795824000000;  // 2026-11-28T00:00:00Z
  std::vector<std::string> namen;
  for (std::int64_t t = start; t < start + 7 * 86400000LL; t += 600000) {
    std::string name;
    int fehler = -1;
    if (m.Wechsel(t, &name, &fehler)) namen.push_back(name.substr(v.pfad().size()));
    EXPECT_EQ(fehler, 0);
    if (t == start + 2 * 86400000LL) {
      EXPECT_FALSE(Ordner(v.pfad() + "/logs/2026-12")) << "made before it is named";
    }
  }
  EXPECT_EQ(namen, (std::vector<std::string>{"/logs/2026-11/lauf-28.csv", "/logs/2026-11/lauf-29.csv", "/logs/2026-11/lauf-30.csv",
                                             "/logs/2026-12/lauf-01.csv", "/logs/2026-12/lauf-02.csv", "/logs/2026-12/lauf-03.csv",
                                             "/logs/2026-12/lauf-04.csv"}));
  EXPECT_TRUE(Ordner(v.pfad() + "/logs/2026-12"));
}

// As the kernel's rule for links there: another user's folder in a sticky,
// world-writable folder would let them choose where the file goes.
TEST(Musterdatei, FremdeOrdnerInEinemStickyOrdnerUndDateienImWegWerdenAbgelehnt) {
  testdateien::Arbeitsverzeichnis v;
  const std::string tmp = v.pfad() + "/tmp";
  ASSERT_EQ(::mkdir(tmp.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(tmp.c_str(), 01777), 0);
  const passwd* niemand = ::getpwnam("nobody");
  ASSERT_NE(niemand, nullptr);
  ASSERT_EQ(::mkdir((tmp + "/fremd").c_str(), 0777), 0);
  ASSERT_EQ(::chown((tmp + "/fremd").c_str(), niemand->pw_uid, niemand->pw_gid), 0);
  std::string name;
  int fehler = 0;
  Musterdatei fremd(tmp + "/fremd/%Y/x.csv");
  EXPECT_FALSE(fremd.Wechsel(0, &name, &fehler));
  EXPECT_EQ(fehler, EACCES);
  Musterdatei eigen(tmp + "/eigen/%Y/x.csv");
  EXPECT_TRUE(eigen.Wechsel(0, &name, &fehler));
  EXPECT_TRUE(Ordner(tmp + "/eigen/1970"));

  testdateien::DateiSchreiben(v.pfad() + "/datei", "x");
  Musterdatei imWeg(v.pfad() + "/datei/%Y/x.csv");
  EXPECT_FALSE(imWeg.Wechsel(0, &name, &fehler));
  EXPECT_EQ(fehler, ENOTDIR);
}

}  // namespace

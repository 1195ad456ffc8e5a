// Linked into the driver's simulator tests of the Windows build, which ctest runs
// with a German user locale in wine: proves that the locale is really in force
// in the process whose frames those tests check.
#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

TEST(GermanUserLocale, IsInForceForTheDriverTests) {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  ASSERT_GT(GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH), 0);
  EXPECT_STREQ(name, L"de-DE");
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  EXPECT_STREQ(probe, "0,5");
}

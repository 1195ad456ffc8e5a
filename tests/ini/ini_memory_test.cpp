// Memory exhaustion at every allocation: -12 (or a null document), never an
// exception, a crash, a leak or a temporary file left behind.
#include "ini_test_support.h"

#include <cstdlib>
#include <new>

#if defined(__GNUC__) && !defined(__clang__)
// These replacements pair malloc with free; GCC cannot see that through inlining.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
long gAllocationsLeft = -1;  // -1: never fail
}  // namespace

void* operator new(std::size_t n) {
  if (gAllocationsLeft == 0) throw std::bad_alloc();
  if (gAllocationsLeft > 0) --gAllocationsLeft;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return operator new(n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using IniMemory = IniTempDir;

// Runs `op` with the k-th allocation failing, for k = 0, 1, ... until it
// succeeds; every run must give `success` or -12.
template <typename Op>
int FailEachAllocation(Op op, int success) {
  for (long k = 0; k < 100000; ++k) {
    gAllocationsLeft = k;
    const int rc = op();
    const bool exhausted = gAllocationsLeft == 0;
    gAllocationsLeft = -1;
    if (rc != success && rc != -12) return rc;
    if (!exhausted) return rc == success ? static_cast<int>(k) : -1;
  }
  return -2;
}

const char kText[] = "[B]\nlong Line0001 = " "0123456789012345678901234567890123456789" "\n"
                     "long Line0002 = abc\nx = 1\n[A]\ny = \"2\"\nz=3\n";

TEST_F(IniMemory, ReadPutAndWriteReportExhaustion) {
  WriteRaw("src.ini", kText);
  const std::string src = Path("src.ini"), out = Path("out.ini");

  int attempts = FailEachAllocation([&] {
    IniText ini = Ini_New(1);
    if (!ini) return -12;
    const int rc = Ini_ReadFromFile(ini, src.c_str());
    const long left = gAllocationsLeft;
    gAllocationsLeft = -1;
    int v = 0;
    Ini_GetInt(ini, "A", "z", &v);  // whatever was read stays searchable
    Ini_Dispose(ini);
    gAllocationsLeft = left;
    return rc;
  }, 0);
  EXPECT_GT(attempts, 3);

  attempts = FailEachAllocation([&] {
    IniText ini = Ini_New(1);
    if (!ini) return -12;
    int rc = 0;
    for (int i = 0; i < 20 && rc == 0; ++i) rc = Ini_PutInt(ini, (i % 3 ? "S" : "T"), std::to_string(i % 7).c_str(), i);
    const long left = gAllocationsLeft;
    gAllocationsLeft = -1;
    int v = -1;
    if (rc == 0 && (Ini_GetInt(ini, "S", "5", &v) != 1 || v != 19)) rc = -999;
    Ini_Dispose(ini);
    gAllocationsLeft = left;
    return rc;
  }, 0);
  EXPECT_GT(attempts, 3);

  IniText ini = Ini_New(1);
  ASSERT_EQ(Ini_ReadFromFile(ini, src.c_str()), 0);
  attempts = FailEachAllocation([&] { return Ini_WriteToFile(ini, out.c_str()); }, 0);
  EXPECT_GT(attempts, 0);
  Ini_Dispose(ini);
  EXPECT_EQ(ReadRaw("out.ini"),
            "[A]\r\ny = \"2\"\r\nz = 3\r\n\r\n[B]\r\nlong = 0123456789012345678901234567890123456789abc\r\nx = 1\r\n\r\n");
  EXPECT_EQ(Entries().size(), 2u);  // src.ini and out.ini, no temporary file
}

}  // namespace

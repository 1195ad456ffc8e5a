// Random file contents: read, look up, write, and check that what was written
// reads back into a document that writes the same bytes again.
#include "ini/ini.h"
#include "ini/ini_internal.h"
#include "ini/ini_seam.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

int NoSync(int) { return 0; }

std::string gDir;

void RemoveDir() {
  for (const char* name : {"/in.ini", "/out1.ini", "/out2.ini"}) std::remove((gDir + name).c_str());
  ::rmdir(gDir.c_str());
}

const std::string& Dir() {
  static const std::string dir = [] {
    // Durability is not under test here, and flushing to disk would slow every run.
    Ini_SysCalls().fsync = NoSync;
    char pattern[] = "/tmp/ini_fuzz_XXXXXX";
    if (!::mkdtemp(pattern)) std::abort();
    gDir = pattern;
    std::atexit(RemoveDir);
    return gDir;
  }();
  return dir;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Tags that cannot survive a write and a read unchanged, whatever the writer
// does: lines over 255 characters are cut, and " Line" numbers are joined.
bool RoundTrips(const IniDocument& doc) {
  for (const auto& s : doc.sections) {
    for (const auto& i : s.items) {
      if (i.tag.size() > 150 || i.tag.find(" Line") != std::string::npos) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string in = Dir() + "/in.ini";
  const std::string out1 = Dir() + "/out1.ini";
  const std::string out2 = Dir() + "/out2.ini";
  {
    std::FILE* f = std::fopen(in.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  IniText ini = Ini_New(1);
  if (Ini_ReadFromFile(ini, in.c_str()) != 0) std::abort();
  const char* tags[] = {"port", "lport", "adresse", "baudrate", "sprache", "a", "x"};
  int value = 0;
  for (const char* tag : tags) {
    const int r = Ini_GetInt(ini, "ZPK3X", tag, &value);
    if (r < -5021 || r > 1 || (r < 0 && r != -5021)) std::abort();
  }
  // Puts as the program makes them at exit: over an item of the file, and as a new
  // item, with a value taken from the input.
  long put = 0;
  for (std::size_t i = 0; i < size && i < sizeof put; ++i) put = (put << 8) | data[i];
  if (!ini->sections.empty()) {
    const auto& s = ini->sections.front();
    if (!s.items.empty()) {
      const std::string section = s.name;
      const std::string tag = s.items.back().tag;
      Ini_GetInt(ini, section.c_str(), tag.c_str(), &value);
      if (Ini_PutInt(ini, section.c_str(), tag.c_str(), put) != 0) std::abort();
    }
  }
  const bool neu = Ini_GetInt(ini, "ZPK3X", "fuzz put", &value) == 0 &&
                   Ini_FindValueText(ini, "ZPK3X", "fuzz put") == nullptr;
  if (Ini_PutInt(ini, "ZPK3X", "fuzz put", put) != 0) std::abort();
  if (neu && put == static_cast<int>(put) &&
      (Ini_GetInt(ini, "ZPK3X", "fuzz put", &value) != 1 || value != put))
    std::abort();
  if (Ini_WriteToFile(ini, out1.c_str()) != 0) std::abort();
  if (RoundTrips(*ini)) {
    IniText again = Ini_New(1);
    if (Ini_ReadFromFile(again, out1.c_str()) != 0) std::abort();
    if (Ini_WriteToFile(again, out2.c_str()) != 0) std::abort();
    if (Slurp(out1) != Slurp(out2)) std::abort();
    Ini_Dispose(again);
  }
  Ini_Dispose(ini);
  return 0;
}

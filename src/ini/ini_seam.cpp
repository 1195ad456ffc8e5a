#include "ini/ini_seam.h"

#include "ini/ini_internal.h"

#include <cstdio>
#include <unistd.h>

namespace {
IniSysCalls Defaults() { return IniSysCalls{::read, ::write, ::fsync, ::close, ::rename}; }
IniSysCalls gCalls = Defaults();
}  // namespace

IniSysCalls& Ini_SysCalls() { return gCalls; }
void Ini_SysCallsReset() { gCalls = Defaults(); }

const std::string* Ini_FindValueText(IniText ini, const char* section, const char* tag) {
  if (!ini || !section || !tag) return nullptr;
  IniSection* s = ini_detail::FindSection(*ini, section);
  IniItem* item = s ? ini_detail::FindItem(*s, tag) : nullptr;
  return item ? &item->value : nullptr;
}

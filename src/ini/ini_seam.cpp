#include "ini/ini_seam.h"

#include "ini/ini_internal.h"

#include <cstdio>
#include <unistd.h>

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <io.h>
#endif

namespace {
#ifdef _WIN32
// The C library's calls take and give int sizes, and its rename does not replace
// an existing file: the replacement goes through MoveFileEx.
ssize_t Read(int fd, void* buf, size_t n) { return ::_read(fd, buf, static_cast<unsigned>(std::min<size_t>(n, INT_MAX))); }
ssize_t Write(int fd, const void* buf, size_t n) {
  return ::_write(fd, buf, static_cast<unsigned>(std::min<size_t>(n, INT_MAX)));
}
int Rename(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  const DWORD e = GetLastError();
  errno = (e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION) ? EACCES
          : (e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL)    ? ENOSPC
                                                                      : EIO;
  return -1;
}
IniSysCalls Defaults() { return IniSysCalls{Read, Write, ::_commit, ::_close, Rename}; }
#else
IniSysCalls Defaults() { return IniSysCalls{::read, ::write, ::fsync, ::close, ::rename}; }
#endif
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

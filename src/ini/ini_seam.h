#pragma once
// Test seam: the system calls the reader and writer go through, so that tests
// running as root can make a read, a write, the flush to disk, the close or the
// final rename fail. Production code never changes these.
#include "ini/ini.h"

#include <string>
#include <sys/types.h>

struct IniSysCalls {
  ssize_t (*read)(int fd, void* buf, size_t n);
  ssize_t (*write)(int fd, const void* buf, size_t n);
  int (*fsync)(int fd);
  int (*close)(int fd);
  int (*rename)(const char* from, const char* to);
};

IniSysCalls& Ini_SysCalls();
void Ini_SysCallsReset();

// The stored value text of an item (for values that are not integers), or null.
const std::string* Ini_FindValueText(IniText ini, const char* section, const char* tag);

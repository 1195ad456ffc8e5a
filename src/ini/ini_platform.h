#pragma once
// The file calls of the reader and writer where Windows' C library differs from POSIX.
#include <fcntl.h>

#ifdef _WIN32
#include <io.h>

#include <cerrno>

// Bytes are read and written unchanged (the writer puts "\r\n" itself); the
// handle is not inherited. Windows has no non-blocking or no-follow open.
constexpr int kIniOpenFlags = O_BINARY | O_NOINHERIT;
constexpr int kIniNonBlock = 0;
constexpr int kIniNoFollow = 0;
// No disk quotas in the C library's error numbers.
#ifndef EDQUOT
#define EDQUOT ENOSPC
#endif
#else
constexpr int kIniOpenFlags = O_CLOEXEC | O_NOCTTY;
constexpr int kIniNonBlock = O_NONBLOCK;
constexpr int kIniNoFollow = O_NOFOLLOW;
#endif

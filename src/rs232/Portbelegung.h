#pragma once
// Which other processes hold a serial device open, so that a port in use by a
// program that takes no lock (a terminal program, a script) is refused before
// anything is sent. Portbelegung_posix.cpp reads /proc; on Windows the system
// itself refuses a second open, so the list there is always empty.
#include <string>
#include <vector>

struct Portinhaber {
  long pid;
  std::string name;
};

// Processes with `pfad` open, this one only where it holds the device beyond
// the serial layer's latest successful open of it. The far end of a
// pseudo-terminal (a process holding its master) is the line, not a user.
std::vector<Portinhaber> AnderePortinhaber(const std::string& pfad);

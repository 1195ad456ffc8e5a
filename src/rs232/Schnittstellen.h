#pragma once
// The serial ports of this machine, for `zpk3x-cli ports`: on Linux from sysfs
// with their stable names from /dev/serial; on Windows the COM ports the system
// knows. The roots are parameters so that a test can hand in a small tree.
#include <string>
#include <vector>

struct Schnittstelle {
  std::string pfad;                      // /dev/ttyUSB0, COM3
  std::vector<std::string> festeNamen;   // /dev/serial/by-id/..., /dev/serial/by-path/...
  std::string ziel;                      // Windows: the device behind the COM name
  // USB adapters only, as sysfs gives them.
  std::string vendorId, productId, hersteller, produkt, seriennummer;
};

// Sorted by path. Ports that the kernel reserves without hardware behind them
// (a ttyS with port type 0) are left out.
std::vector<Schnittstelle> SchnittstellenAuflisten(const std::string& sysWurzel = "/sys",
                                                   const std::string& devWurzel = "/dev");

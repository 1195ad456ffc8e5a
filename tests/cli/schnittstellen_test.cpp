// The serial port listing on a small sysfs and /dev tree of the test's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "testdateien.h"
#include "rs232/Schnittstellen.h"

namespace fs = std::filesystem;

namespace {

void Datei(const fs::path& p, const std::string& inhalt) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << inhalt << "\n";
}

TEST(Schnittstellen, UsbAdapterMitFestemNamenUndOhneAttrappen) {
  testdateien::Arbeitsverzeichnis verzeichnis;
  const fs::path sys = fs::absolute("sys"), dev = fs::absolute("dev");
  // A USB adapter: tty -> interface -> USB device with its descriptors.
  const fs::path usb = sys / "devices/pci0000:00/usb1/1-2";
  fs::create_directories(usb / "1-2:1.0/ttyUSB0");
  Datei(usb / "idVendor", "1a2b");
  Datei(usb / "idProduct", "3c4d");
  Datei(usb / "manufacturer", "Adapterbau");
  Datei(usb / "product", "Seriell 1");
  Datei(usb / "serial", "S-0042");
  fs::create_directories(sys / "class/tty/ttyUSB0");
  fs::create_directory_symlink(usb / "1-2:1.0", sys / "class/tty/ttyUSB0/device");
  // An on-board port with hardware, one reserved without (type 0), a virtual terminal.
  fs::create_directories(sys / "devices/platform/serial8250");
  for (const char* n : {"ttyS0", "ttyS1"}) {
    fs::create_directories(sys / "class/tty" / n);
    fs::create_directory_symlink(sys / "devices/platform/serial8250", sys / "class/tty" / n / "device");
  }
  Datei(sys / "class/tty/ttyS0/type", "4");
  Datei(sys / "class/tty/ttyS1/type", "0");
  fs::create_directories(sys / "class/tty/tty1");
  fs::create_directories(dev / "serial/by-id");
  fs::create_directories(dev / "serial/by-path");
  fs::create_symlink("../../ttyUSB0", dev / "serial/by-id/usb-Adapterbau_Seriell_1_S-0042-if00-port0");
  fs::create_symlink("../../ttyUSB0", dev / "serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");

  const std::vector<Schnittstelle> liste = SchnittstellenAuflisten(sys.string(), dev.string());
  ASSERT_EQ(liste.size(), 2u);
  EXPECT_EQ(liste[0].pfad, (dev / "ttyS0").string());
  EXPECT_TRUE(liste[0].festeNamen.empty());
  EXPECT_TRUE(liste[0].vendorId.empty());
  const Schnittstelle& u = liste[1];
  EXPECT_EQ(u.pfad, (dev / "ttyUSB0").string());
  ASSERT_EQ(u.festeNamen.size(), 2u);
  EXPECT_EQ(u.festeNamen[0], (dev / "serial/by-id/usb-Adapterbau_Seriell_1_S-0042-if00-port0").string());
  EXPECT_EQ(u.vendorId + ":" + u.productId, "1a2b:3c4d");
  EXPECT_EQ(u.hersteller, "Adapterbau");
  EXPECT_EQ(u.produkt, "Seriell 1");
  EXPECT_EQ(u.seriennummer, "S-0042");

  // No tree at all is no port and no failure.
  EXPECT_TRUE(SchnittstellenAuflisten("fehlt", "fehlt").empty());
}

}  // namespace

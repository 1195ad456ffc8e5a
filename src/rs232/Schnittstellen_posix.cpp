// Serial ports from sysfs: every tty with a device behind it.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "rs232/Schnittstellen.h"

namespace fs = std::filesystem;

namespace {

std::string ErsteZeile(const fs::path& datei) {
  std::ifstream ein(datei);
  std::string zeile;
  std::getline(ein, zeile);
  while (!zeile.empty() && (zeile.back() == ' ' || zeile.back() == '\r')) zeile.pop_back();
  return zeile;
}

// The USB device above the tty's interface: the first directory upwards that names a vendor.
void UsbAngaben(const fs::path& geraet, const fs::path& sysWurzel, Schnittstelle* s) {
  std::error_code ec;
  fs::path p = fs::canonical(geraet, ec);
  if (ec) return;
  const fs::path wurzel = fs::canonical(sysWurzel, ec);
  for (int tiefe = 0; tiefe < 8 && !p.empty() && p != wurzel && p != p.root_path(); ++tiefe, p = p.parent_path()) {
    if (!fs::exists(p / "idVendor", ec)) continue;
    s->vendorId = ErsteZeile(p / "idVendor");
    s->productId = ErsteZeile(p / "idProduct");
    s->hersteller = ErsteZeile(p / "manufacturer");
    s->produkt = ErsteZeile(p / "product");
    s->seriennummer = ErsteZeile(p / "serial");
    return;
  }
}

// Link name -> tty name for the links in dev/serial/by-id and by-path.
std::multimap<std::string, std::string> FesteNamen(const fs::path& devWurzel) {
  std::multimap<std::string, std::string> namen;
  for (const char* art : {"by-id", "by-path"}) {
    std::error_code ec;
    for (fs::directory_iterator it(devWurzel / "serial" / art, ec), ende; !ec && it != ende; it.increment(ec)) {
      std::error_code lec;
      const fs::path ziel = fs::read_symlink(it->path(), lec);
      if (!lec) namen.emplace(ziel.filename().string(), it->path().string());
    }
  }
  return namen;
}

}  // namespace

std::vector<Schnittstelle> SchnittstellenAuflisten(const std::string& sysWurzel, const std::string& devWurzel) {
  std::vector<Schnittstelle> liste;
  const auto namen = FesteNamen(devWurzel);
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(sysWurzel) / "class" / "tty", ec), ende; !ec && it != ende; it.increment(ec)) {
    const fs::path eintrag = it->path();
    std::error_code dec;
    // Virtual terminals and pseudo-terminals have no device behind them.
    if (!fs::exists(eintrag / "device", dec)) continue;
    if (fs::exists(eintrag / "type", dec) && ErsteZeile(eintrag / "type") == "0") continue;
    const std::string name = eintrag.filename().string();
    Schnittstelle s;
    s.pfad = (fs::path(devWurzel) / name).string();
    for (auto [von, bis] = namen.equal_range(name); von != bis; ++von) s.festeNamen.push_back(von->second);
    std::sort(s.festeNamen.begin(), s.festeNamen.end());
    UsbAngaben(eintrag / "device", sysWurzel, &s);
    liste.push_back(std::move(s));
  }
  std::sort(liste.begin(), liste.end(), [](const Schnittstelle& a, const Schnittstelle& b) { return a.pfad < b.pfad; });
  return liste;
}

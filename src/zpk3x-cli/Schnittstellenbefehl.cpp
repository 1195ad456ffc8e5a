#include "zpk3x-cli/Schnittstellenbefehl.h"

#include "zpk3x-cli/Ausgabe.h"
#include "rs232/Schnittstellen.h"

int Schnittstellen(const Optionen& o) {
  const std::vector<Schnittstelle> liste = SchnittstellenAuflisten();
  if (o.json) {
    Json ports = Json::array();
    for (const Schnittstelle& s : liste) {
      Json p = {{"port", s.pfad}, {"stable_names", s.festeNamen}};
      if (!s.ziel.empty()) p["target"] = s.ziel;
      if (!s.vendorId.empty()) {
        p["vendor_id"] = s.vendorId;
        p["product_id"] = s.productId;
        p["manufacturer"] = s.hersteller;
        p["product"] = s.produkt;
        p["serial_number"] = s.seriennummer;
      }
      ports.push_back(p);
    }
    JsonAusgeben({{"ports", ports}});
    return EXIT_OK;
  }
  std::string aus;
  for (const Schnittstelle& s : liste) {
    aus += s.pfad;
    if (!s.ziel.empty()) aus += "  " + s.ziel;
    if (!s.vendorId.empty()) {
      aus += "  " + s.vendorId + ":" + s.productId;
      for (const std::string* t : {&s.hersteller, &s.produkt}) {
        if (!t->empty()) aus += "  " + *t;
      }
      if (!s.seriennummer.empty()) aus += std::string(T("  Seriennummer ", "  serial ")) + s.seriennummer;
    }
    aus += "\n";
    for (const std::string& n : s.festeNamen) aus += "  " + n + "\n";
  }
  if (liste.empty() && !Leise()) aus = T("keine seriellen Schnittstellen gefunden\n", "no serial ports found\n");
  Ausgeben(aus);
  return EXIT_OK;
}

#include "zpk3x-cli/Geraetebefehle.h"

#include <bit>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Verlauf/VerlaufDaten.h"
#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232.h"
#include "rs232/rs232_seam.h"
#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Dateibefehle.h"
#include "zpk3x-cli/Geraetefehler.h"
#include "zpk3x-cli/Plattform.h"
#include "zpk3x-cli/Vergleich.h"

namespace {

constexpr ErrorCode kNichtGefunden = -780308;

struct Suche {
  Verbindung* v;
  Fortschritt f;
  Json antworten = Json::array();
  std::string tabelle;
  bool festeRate = false;  // raw TCP: the device server's rate, not ours
};

ErrorCode SucheOeffnenBei(int baudrate, void* kontext) {
  Suche* s = static_cast<Suche*>(kontext);
  return PortOeffnen(s->v, baudrate);
}

void SucheMelden(Suchschritt schritt, int baudrate, char adresse, const char* kennung, bool zpk3x, void* kontext) {
  Suche* s = static_cast<Suche*>(kontext);
  if (schritt == Suchschritt::KeineAntwort) return;
  if (schritt == Suchschritt::Vorher) {
    char text[80];
    std::snprintf(text, sizeof text, T("Suche Gerät mit %d Baud ... Adresse %c", "Looking for device with %d Baud ... address %c"),
                  baudrate, adresse);
    s->f.Zeigen(text);
    return;
  }
  // Over raw TCP the rate is the device server's, not one the program set.
  const Json rate = s->festeRate ? Json(nullptr) : Json(baudrate);
  s->antworten.push_back({{"baud_rate", rate}, {"address", adresse - '0'}, {"identity", kennung}, {"zpk3x", zpk3x}});
  char zeile[96];
  const std::string rateText = s->festeRate ? std::string("-") : std::to_string(baudrate);
  std::snprintf(zeile, sizeof zeile, "%-6s %-8c %s%s\n", rateText.c_str(), adresse, kennung,
                zpk3x ? "" : T("  (kein ZPK-3X)", "  (no ZPK-3X)"));
  s->tabelle += zeile;
}

Json StatusbitsJson(int status) {
  Json bits = Json::array();
  for (const VerlaufStatusName& b : VerlaufStatusbitNamen(Englisch())) {
    // "bit" its number in the status word, "mask" the word with only that bit.
    if ((status & b.bit) != 0)
      bits.push_back({{"bit", std::countr_zero(static_cast<unsigned>(b.bit))}, {"mask", b.bit}, {"text", b.name}});
  }
  return bits;
}

std::string StatusText(int status) {
  char kopf[32];
  std::snprintf(kopf, sizeof kopf, "0x%04X", static_cast<unsigned>(status));
  std::string aus = std::string("Status: ") + kopf + "\n";
  for (const Json& b : StatusbitsJson(status)) {
    char bit[16];
    std::snprintf(bit, sizeof bit, "0x%04X", b["mask"].get<unsigned>());
    aus += std::string("  ") + bit + "  " + b["text"].get<std::string>() + "\n";
  }
  return aus;
}

// The frames a write would send: the real sequence through the driver, on the
// serial layer's in-memory port that takes every frame and acknowledges it.
int Trockenlauf(const Optionen& o, const Verbindung& v, int von, int bis, Programmtabelle& t) {
  const std::string acks(static_cast<std::size_t>(bis - von + 1) * 11, '\x06');
  Rs232Seam_ScriptPort(v.port, acks.data(), static_cast<int>(acks.size()));
  ErrorCode err = OLQZPK3X_Open(v.port, v.baudrate);
  if (err == 0) err = ProgrammeSchreiben(v.Geraet(), von, bis, t.slots, nullptr, nullptr);
  std::vector<char> gesendet(8192);
  const int n = Rs232Seam_ScriptedSent(gesendet.data(), static_cast<int>(gesendet.size()));
  OLQZPK3X_Close(v.port);
  Rs232Seam_Reset();
  if (err != 0) return FehlerMelden(o, err);
  std::vector<std::string> rahmen;
  std::string r;
  for (int i = 0; i < std::min<int>(n, static_cast<int>(gesendet.size())); ++i) {
    if (gesendet[static_cast<std::size_t>(i)] == '\r') {
      rahmen.push_back(r);
      r.clear();
    } else {
      r += gesendet[static_cast<std::size_t>(i)];
    }
  }
  if (o.json) {
    JsonAusgeben({{"frames", rahmen}});
  } else {
    std::string aus;
    for (const std::string& s : rahmen) aus += s + "\n";
    Ausgeben(aus);
  }
  return EXIT_OK;
}

}  // namespace

int Scan(const Optionen& o, Verbindung& v) {
  Suche s{&v, {}, Json::array(), "", ComPortKind(v.port, v.pfad.c_str()) == COM_KIND_TCP};
  Suchergebnis e{};
  if (s.festeRate) {
    // Raw TCP: the device server keeps its own rate, so the search asks there only.
    if (ErrorCode err = PortOeffnen(&v, v.baudrate); err != 0) return PortFehlerMelden(o, v, err);
    std::fprintf(stderr, "%s", T("zpk3x-cli: Port über rohes TCP: die Suche fragt nur mit der Baudrate des Geräteservers.\n",
                                 "zpk3x-cli: port over raw TCP: the search asks only at the device server's baud rate.\n"));
  }
  const ErrorCode err = GeraetSuchen(v.port, SucheOeffnenBei, SucheMelden, &s, &e);
  s.f.Ende();
  if (err != 0) return PortFehlerMelden(o, v, err);
  if (!e.gefunden) {
    if (!o.json && !s.tabelle.empty()) Ausgeben(s.tabelle);
    // Where it looked: the port, and the rates and addresses asked.
    const std::string port = v.geraet.empty() ? v.pfad : v.geraet;
    Json angaben = {{"port", port.empty() ? Json(v.port) : Json(port)}};
    std::string raten;
    if (s.festeRate) {
      angaben["baud_rates"] = nullptr;
      raten = T("mit der Baudrate des Geräteservers", "at the device server's baud rate");
    } else {
      angaben["baud_rates"] = {1200, 2400, 4800, 9600};
      raten = T("mit 1200, 2400, 4800 und 9600 Baud", "at 1200, 2400, 4800 and 9600 baud");
    }
    angaben["addresses"] = {1, 2, 3, 4, 5, 6, 7, 8};
    angaben["answers"] = s.antworten;  // devices that answered but are no ZPK-3X
    return FehlerMelden(o, kNichtGefunden,
                        "\n" + (port.empty() ? std::to_string(v.port) : port) + ": " + T("keine Antwort ", "no answer ") + raten +
                            T(", Adressen 1 bis 8", ", addresses 1 to 8"),
                        angaben);
  }
  if (o.json) {
    JsonAusgeben({{"baud_rate", s.festeRate ? Json(nullptr) : Json(e.baudrate)},
                  {"address", e.adresse - '0'},
                  {"identity", e.kennung},
                  {"answers", s.antworten}});
  } else {
    char text[128];
    if (s.festeRate) {
      std::snprintf(text, sizeof text,
                    T("Gefunden: Adresse %c, mit der Baudrate des Geräteservers\n", "Found: address %c, at the device server's rate\n"),
                    e.adresse);
    } else {
      std::snprintf(text, sizeof text, T("Gefunden: Adresse %c, %d Baud\n", "Found: address %c, %d baud\n"), e.adresse, e.baudrate);
    }
    Ausgeben(std::string(T("Baud   Adresse  Kennung\n", "Baud   Address  Identity\n")) + s.tabelle + text);
  }
  return EXIT_OK;
}

int Kennung(const Optionen& o, const Verbindung& v) {
  char kennung[32] = {};
  if (ErrorCode err = OLQZPK3X_IDLesen(v.port, v.adresse, kennung); err != 0) return GeraetefehlerMelden(o, v, err);
  kennung[sizeof kennung - 1] = '\0';
  Erledigt(o, {{"identity", kennung}}, kennung);
  return EXIT_OK;
}

int Status(const Optionen& o, const Verbindung& v) {
  int status = 0;
  if (ErrorCode err = StatuswortLesen(v.Geraet(), &status); err != 0) return GeraetefehlerMelden(o, v, err);
  Erledigt(o, {{"status", status}, {"bits", StatusbitsJson(status)}}, StatusText(status));
  return EXIT_OK;
}

namespace {

// A reading in JSON as the table writes a value and the text shows it: a whole
// number without ".0" (still one JSON number type for scripts).
Json Messwert(double wert) {
  if (std::isfinite(wert) && wert == std::trunc(wert) && std::fabs(wert) < 9e15 && !std::signbit(wert))
    return static_cast<std::int64_t>(wert);
  return wert;
}

}  // namespace

int IstwerteBefehl(const Optionen& o, const Verbindung& v) {
  Istwerte w{};
  if (ErrorCode err = IstwerteLesen(v.Geraet(), &w); err != 0) return GeraetefehlerMelden(o, v, err);
  const std::string text = std::string(T("Iststrom [A]:    ", "Current [A]:  ")) + ZahlText(w.strom) + "\n" +
                           T("Istspannung [V]: ", "Voltage [V]:  ") + ZahlText(w.spannung) + "\n" + StatusText(w.status);
  Erledigt(o, {{"current", Messwert(w.strom)}, {"voltage", Messwert(w.spannung)}, {"status", w.status}, {"bits", StatusbitsJson(w.status)}},
           text);
  return EXIT_OK;
}

int Geraetefunktion(const Optionen& o, const Verbindung& v, const char* funktion) {
  if (ErrorCode err = GeraetefunktionSenden(v.Geraet(), funktion); err != 0) return GeraetefehlerMelden(o, v, err);
  Bestaetigen(o, {{"command", o.befehl}, {"ok", true}}, o.befehl + T(": ausgeführt", ": done"));
  return EXIT_OK;
}

int ProgrammNummer(const Optionen& o, const Verbindung& v, const char* parameter) {
  if (ErrorCode err = ProgrammnummerSenden(v.Geraet(), parameter, o.programm); err != 0)
    return GeraetefehlerMelden(o, v, err);
  Bestaetigen(o, {{"command", o.befehl}, {"program", o.programm}, {"ok", true}},
           o.befehl + " " + std::to_string(o.programm) + T(": ausgeführt", ": done"));
  return EXIT_OK;
}

int Lesen(const Optionen& o, Verbindung& v, int von, int bis, Dateiformat format) {
  Programmtabelle t = StandardTabelle();
  t.auswahl = von == bis ? von : 0;
  // Only what was read: the working parameters (read first) and the range.
  t.vorhanden = 1u;
  for (int slot = von; slot <= bis; ++slot) t.vorhanden |= 1u << slot;
  // Reading only looks: the working parameters are put back as they were.
  // Nothing reaches the output file unless every program arrived.
  if (int status = VomGeraetLesen(o, v, von, bis, &t, T("Programme gelesen", "programs read")); status != EXIT_OK)
    return status;
  if (!o.datei.empty()) {
    if (int status = DateiSchreiben(o, o.datei, format, t); status != EXIT_OK) return status;
    if (o.datei != "-")
      Bestaetigen(o, {{"file", o.datei}, {"from", von}, {"to", bis}},
             std::string(T("gelesen: ", "read: ")) + (von == bis ? ProgrammName(von) : T("Programme 1 bis 16", "programs 1 to 16")) +
                 " -> " + o.datei);
  } else if (o.json) {
    Ausgeben(TabelleAlsJson(t));
  } else {
    Ausgeben(TabellenText(t, von, bis, false));
  }
  return EXIT_OK;
}

int Schreiben(const Optionen& o, Verbindung& v, int von, int bis) {
  Programmtabelle t{};
  if (int status = DateiLesen(o, o.datei, &t); status != EXIT_OK) return status;
  if (int status = SlotsPruefen(o, o.datei, t, von, bis); status != EXIT_OK) return status;
  // Every value is checked before the first frame, so a bad file sends nothing.
  for (int slot = von; slot <= bis; ++slot) {
    for (const Programmfeld& feld : PROGRAMMFELDER) {
      if (FeldImBereich(t.slots[slot], feld)) continue;
      return FehlerMelden(o, WERT_AUSSERHALB,
                          "\n" + o.datei + ": " + BereichsfehlerText(slot, feld, t.slots[slot]),
                          {{"file", o.datei}, {"program", slot}, {"field", feld.name}, {"value", FeldJson(t.slots[slot], feld)},
                           {"minimum", Gesendet(feld.minimum, feld.nachkommastellen)},
                           {"maximum", Gesendet(feld.maximum, feld.nachkommastellen)}});
    }
  }
  if (o.trockenlauf) return Trockenlauf(o, v, von, bis, t);
  if (ErrorCode err = PortOeffnen(&v, v.baudrate); err != 0) return PortFehlerMelden(o, v, err);
  if (int status = SchreibenUndPruefen(o, v, von, bis, t); status != EXIT_OK) return status;
  Bestaetigen(o, {{"file", o.datei}, {"from", von}, {"to", bis}},
           std::string(T("geschrieben: ", "written: ")) + (von == bis ? ProgrammName(von) : T("Programme 1 bis 16", "programs 1 to 16")) +
               " <- " + o.datei);
  return EXIT_OK;
}

// What the MQTT publisher needs besides the client library: the broker's URL,
// the station's name and the topics' payloads.
#include "Telemetrie/Telemetrie.h"

#include <algorithm>
#include <bit>
#include <vector>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "Verlauf/VerlaufDaten.h"

namespace {

using Json = nlohmann::ordered_json;

int HexWert(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ProzentDekodieren(const std::string& text, std::string* ergebnis) {
  ergebnis->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      ergebnis->push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int hoch = HexWert(text[i + 1]), tief = HexWert(text[i + 2]);
    if (hoch < 0 || tief < 0 || hoch + tief == 0) return false;  // a NUL would cut the text short
    ergebnis->push_back(static_cast<char>(hoch * 16 + tief));
    i += 2;
  }
  return true;
}

// A broker drops a client that sends a topic which is not UTF-8 and reconnects
// would only repeat it, so such names are refused up front. Control characters
// are refused as well: they make no sense in a topic and confuse the terminal.
bool GueltigerThemaText(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) return false;
    int folge = 0;
    std::uint32_t wert = c;
    if (c >= 0x80) {
      if (c >= 0xC2 && c <= 0xDF) folge = 1, wert = c & 0x1F;
      else if (c >= 0xE0 && c <= 0xEF) folge = 2, wert = c & 0x0F;
      else if (c >= 0xF0 && c <= 0xF4) folge = 3, wert = c & 0x07;
      else return false;
    }
    if (i + static_cast<std::size_t>(folge) >= s.size()) return false;
    for (int k = 1; k <= folge; ++k) {
      const auto f = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((f & 0xC0) != 0x80) return false;
      wert = (wert << 6) | (f & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF.
    if ((folge == 2 && (wert < 0x800 || (wert >= 0xD800 && wert <= 0xDFFF))) || (folge == 3 && (wert < 0x10000 || wert > 0x10FFFF)))
      return false;
    i += static_cast<std::size_t>(folge) + 1;
  }
  return true;
}

// One topic level of ours: no level separator, no wildcard.
bool GueltigeEbene(const std::string& s) {
  return !s.empty() && s.find_first_of("/+#") == std::string::npos && GueltigerThemaText(s);
}

}  // namespace

bool MqttAdresseLesen(const std::string& url, MqttAdresse* a, std::string* grund, bool englisch) {
  const auto T = [englisch](const char* deutsch, const char* english) { return englisch ? english : deutsch; };
  *a = MqttAdresse{};
  std::string rest;
  if (url.rfind("mqtt://", 0) == 0) {
    rest = url.substr(7);
  } else if (url.rfind("mqtts://", 0) == 0) {
    a->tls = true;
    rest = url.substr(8);
  } else {
    *grund = T("beginnt nicht mit mqtt:// oder mqtts://", "does not begin with mqtt:// or mqtts://");
    return false;
  }
  const std::size_t schraegstrich = rest.find('/');
  if (schraegstrich == std::string::npos) {
    *grund = T("das Themenpräfix fehlt (…/PRÄFIX)", "the topic prefix is missing (.../PREFIX)");
    return false;
  }
  std::string autoritaet = rest.substr(0, schraegstrich);
  std::string praefix = rest.substr(schraegstrich + 1);
  while (!praefix.empty() && praefix.back() == '/') praefix.pop_back();

  // The password may hold "@", so the last one ends the user part.
  if (const std::size_t at = autoritaet.rfind('@'); at != std::string::npos) {
    const std::string nutzer = autoritaet.substr(0, at);
    autoritaet = autoritaet.substr(at + 1);
    const std::size_t doppelpunkt = nutzer.find(':');
    if (!ProzentDekodieren(nutzer.substr(0, doppelpunkt), &a->benutzer) ||
        (doppelpunkt != std::string::npos && !ProzentDekodieren(nutzer.substr(doppelpunkt + 1), &a->passwort))) {
      *grund = T("ungültige %-Folge in Benutzer oder Passwort", "invalid %-escape in the user or password");
      return false;
    }
    a->mitPasswort = doppelpunkt != std::string::npos;
    if (a->benutzer.empty()) {
      *grund = T("leerer Benutzername", "empty user name");
      return false;
    }
  }

  std::string portText;
  if (!autoritaet.empty() && autoritaet[0] == '[') {
    const std::size_t zu = autoritaet.find(']');
    if (zu == std::string::npos) {
      *grund = T("IPv6-Adresse ohne ]", "IPv6 address without ]");
      return false;
    }
    a->host = autoritaet.substr(1, zu - 1);
    const std::string danach = autoritaet.substr(zu + 1);
    if (!danach.empty() && danach[0] != ':') {
      *grund = T("Zeichen nach der IPv6-Adresse", "characters after the IPv6 address");
      return false;
    }
    if (!danach.empty()) portText = danach.substr(1);
    if (!danach.empty() && portText.empty()) portText = "-";
  } else {
    const std::size_t doppelpunkt = autoritaet.find(':');
    a->host = autoritaet.substr(0, doppelpunkt);
    if (doppelpunkt != std::string::npos) portText = autoritaet.substr(doppelpunkt + 1);
    if (doppelpunkt != std::string::npos && portText.empty()) portText = "-";
  }
  if (a->host.empty() || a->host.find_first_of(" \t\r\n/?#@[]") != std::string::npos) {
    *grund = T("Rechnername fehlt oder ist ungültig", "the host name is missing or invalid");
    return false;
  }
  a->port = a->tls ? 8883 : 1883;
  if (!portText.empty()) {
    if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(portText) < 1 || std::stoi(portText) > 65535) {
      *grund = T("Port ", "port ") + portText + T(": 1 bis 65535", ": 1 to 65535");
      return false;
    }
    a->port = std::stoi(portText);
  }

  // "$" topics belong to the broker.
  std::size_t anfang = 0;
  bool gut = !praefix.empty() && praefix[0] != '$';
  while (gut) {
    const std::size_t ende = praefix.find('/', anfang);
    gut = GueltigeEbene(praefix.substr(anfang, ende == std::string::npos ? std::string::npos : ende - anfang));
    if (ende == std::string::npos) break;
    anfang = ende + 1;
  }
  if (!gut) {
    *grund = T("Themenpräfix leer oder ungültig (keine leeren Ebenen, kein +, # oder $ am Anfang, UTF-8)",
               "topic prefix empty or invalid (no empty levels, no +, # or leading $, UTF-8)");
    return false;
  }
  a->praefix = praefix;
  return true;
}

std::string MqttStandardStation(const std::string& hostname, const std::string& port) {
  std::string station = (hostname.empty() ? std::string("zpk3x") : hostname) + "-" + port;
  std::replace_if(station.begin(), station.end(), [](char c) { return c == '+' || c == '#' || c == '/'; }, '_');
  return station;
}

bool MqttGueltigeStation(const std::string& station) {
  // A blank name would make a topic level no dashboard can tell apart.
  return GueltigeEbene(station) && station.find_first_not_of(" \t") != std::string::npos;
}

void MqttMeldungen(ErrorCode code, MqttAbfrage* a) {
  a->meldung = OLQ_Fehlermeldung(code);
  const int sprache = OLQ_FehlerspracheLesen();
  OLQ_Fehlersprache(1);
  a->meldungDe = OLQ_Fehlermeldung(code);
  OLQ_Fehlersprache(2);
  a->meldungEn = OLQ_Fehlermeldung(code);
  OLQ_Fehlersprache(sprache);
}

Json MqttWerteJson(const MqttAbfrage& a) {
  Json j = {{"time", a.zeit}};
  if (a.fehler != 0) {
    j["current"] = nullptr;
    j["voltage"] = nullptr;
    j["status"] = nullptr;
    // Both languages besides the station's, as a dashboard may show either.
    j["error"] = {{"code", -a.fehler}, {"message", a.meldung}, {"de", a.meldungDe}, {"en", a.meldungEn}};
    if (!a.rahmen.empty()) {
      j["error"]["frame"] = a.rahmen;
      j["error"]["answer"] = a.antwort;
    }
  } else {
    j["current"] = a.strom;
    j["voltage"] = a.spannung;
    j["status"] = a.status;
    j["error"] = nullptr;
  }
  return j;
}

// Both languages, so that a dashboard shows the bits in its own whatever the
// station runs in.
std::string MqttStatusNachricht(const MqttAbfrage& a, const MqttProblem& problem) {
  Json j = {{"time", a.zeit}};
  Json bits = Json::array();
  if (a.fehler == 0) {
    j["status"] = a.status;
    const std::vector<VerlaufStatusName>& en = VerlaufStatusbitNamen(true);
    const std::vector<VerlaufStatusName>& de = VerlaufStatusbitNamen(false);
    for (std::size_t i = 0; i < en.size() && i < de.size(); ++i) {
      if ((a.status & en[i].bit) != 0)
        bits.push_back({{"bit", std::countr_zero(static_cast<unsigned>(en[i].bit))}, {"mask", en[i].bit}, {"en", en[i].name}, {"de", de[i].name}});
    }
    j["bits"] = bits;
    j["error"] = nullptr;
  } else {
    j["status"] = nullptr;
    j["bits"] = bits;
    j["error"] = {{"code", -a.fehler}, {"message", a.meldung}, {"de", a.meldungDe}, {"en", a.meldungEn}};
  }
  if (problem.code != 0) {
    j["broker"] = {{"code", problem.code < 0 ? -problem.code : problem.code}, {"de", problem.de}, {"en", problem.en}, {"since", problem.seit}};
  } else {
    j["broker"] = nullptr;
  }
  return j.dump();
}

std::string MqttMetaNachricht(const MqttMeta& m) {
  Json j = {{"identity", nullptr},
            {"port", m.port},
            {"baud_rate", m.baudrate},
            {"address", m.adresse - '0'},
            {"interval", m.intervall},
            {"version", m.version},
            {"started", m.start},
            {"units", {{"current", "A"}, {"voltage", "V"}}}};
  if (!m.kennung.empty()) j["identity"] = m.kennung;
  return j.dump();
}

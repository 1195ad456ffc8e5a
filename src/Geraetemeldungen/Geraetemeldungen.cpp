#include "Geraetemeldungen/Geraetemeldungen.h"

#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <system_error>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "common/Dateizugriff.h"
#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232.h"

namespace {

const char* T(const char* deutsch, const char* englisch) { return OLQ_Text(deutsch, englisch); }

constexpr ErrorCode kPortNichtZuOeffnen = -100003;  // the driver's code for a port the system refuses

std::string InhaberText(const std::vector<Portinhaber>& inhaber) {
  std::string text;
  for (const Portinhaber& p : inhaber) text += (text.empty() ? ": " : ", ") + std::to_string(p.pid) + " (" + p.name + ")";
  return text;
}

// The device as the user names it: Windows opens "\\.\COM3" for what the user
// typed, and knows, as COM3 (or --port 3).
std::string Anzeigename(const std::string& geraet) {
  return geraet.rfind("\\\\.\\", 0) == 0 ? geraet.substr(4) : geraet;
}

// The cause in words, from the serial layer's record of the failed open; its
// code in fehler->grundCode.
std::string Grund(ComOpenResult ergebnis, int systemfehler, const std::string& pfad, Portfehler* fehler) {
  fehler->grundCode = systemfehler != 0 ? FehlerName(systemfehler) : "";
  switch (ergebnis) {
    case COM_OPEN_NO_DEVICE:
      if (fehler->grundCode.empty()) fehler->grundCode = "ENOENT";
      return T("Gerät nicht vorhanden", "no such device");
    case COM_OPEN_DENIED:
      if (fehler->grundCode.empty()) fehler->grundCode = "EACCES";
      return T("Zugriff verweigert (gehört der Benutzer zur Gruppe dialout? usermod -aG dialout BENUTZER, dann neu anmelden)",
               "permission denied (is the user in the group dialout? usermod -aG dialout USER, then log in again)");
    case COM_OPEN_NOT_SERIAL:
      fehler->grundCode = "not_serial";
      return T("keine serielle Schnittstelle", "not a serial port");
    case COM_OPEN_BUSY:
      fehler->grundCode = "busy";
      fehler->inhaber = AnderePortinhaber(pfad);
      // Windows keeps a COM port's holder to itself.
      if (fehler->inhaber.empty())
        return T("von einem anderen Programm belegt (welchem, sagt das System nicht)",
                 "held by another program (the system does not tell which)");
      return T("von einem anderen Programm belegt", "held by another program") + InhaberText(fehler->inhaber);
    case COM_OPEN_SETTINGS:
      fehler->grundCode = "settings";
      return T("Leitungseinstellungen nicht einstellbar", "the line settings could not be made");
    case COM_OPEN_SYSTEM:
      return systemfehler != 0 ? Systemgrund(systemfehler, OLQ_FehlerspracheLesen() == 2) : "";
    default:
      return "";
  }
}

// The serial layer speaks of network ports in English; the operator reads its
// words in the catalogue's language. Unknown words stay as they are.
std::string NetzGrundText(const std::string& grund) {
  if (OLQ_FehlerspracheLesen() == 2) return grund;
  static const std::pair<const char*, const char*> kWorte[] = {
      {"connection refused", "Verbindung abgewiesen"},
      {"no connection (time-out)", "keine Verbindung (Zeitüberschreitung)"},
      {"network unreachable", "Netz nicht erreichbar"},
      {"host unreachable", "Rechner nicht erreichbar"},
      {"host not found", "Rechner nicht gefunden"},
      {"connection closed by the server", "Verbindung vom Server geschlossen"},
      {"held by another program on this machine", "von einem anderen Programm auf diesem Rechner belegt"},
      {"not a network port name: expected", "kein Netzwerkport-Name: erwartet"},
      {"not a network port name", "kein Netzwerkport-Name"},
      {"the server does not offer RFC 2217 port control", "der Server bietet keine Portsteuerung nach RFC 2217"},
      {"the line settings could not be sent", "die Leitungseinstellungen ließen sich nicht senden"},
      {"the connection broke while it was set up", "die Verbindung brach beim Aufbau ab"},
      {"the server set ", "der Server stellte "},
      {" baud instead of ", " Baud statt "},
      {" or rfc2217://", " oder rfc2217://"},
  };
  std::string text = grund;
  for (const auto& [englisch, deutsch] : kWorte) {
    const std::size_t an = text.find(englisch);
    if (an != std::string::npos) text.replace(an, std::strlen(englisch), deutsch);
  }
  return text;
}

// A network port's cause as a code, from the layer's words.
std::string NetzGrundCode(const std::string& grund) {
  const std::pair<const char*, const char*> muster[] = {
      {"refused", "refused"},           {"time-out", "timeout"},     {"closed", "closed"},
      {"held by another", "busy"},      {"not a network port", "invalid"}, {"not a port name", "invalid"},
      {"unknown host", "unresolved"},   {"resolve", "unresolved"},   {"Name or service", "unresolved"},
  };
  for (const auto& [teil, code] : muster) {
    if (grund.find(teil) != std::string::npos) return code;
  }
  return "network";
}

std::string Programme(int von, int bis) {
  if (von == 0 && bis == 0) return T("Arbeitsparameter", "working parameters");
  if (von == bis) return T("Programm ", "program ") + std::to_string(von);
  return T("Programme ", "programs ") + std::to_string(von) + T(" bis ", " to ") + std::to_string(bis);
}

}  // namespace

void OeffnungsfehlerBeschreiben(int port, const std::string& pfad, Portfehler* fehler) {
  *fehler = Portfehler{};
  char geraet[512] = {};
  int systemfehler = 0;
  const ComOpenResult ergebnis = GetComOpenResult(geraet, sizeof geraet, &systemfehler);
  const std::string layer = ComLastError();
  if (ComPortKind(port, pfad.c_str()) != COM_KIND_LOCAL) {
    // A network port, or a name with a network prefix that is none: the layer
    // says "URL: reason" or why the name is none, in its own words.
    const std::size_t schema = layer.find("://");
    const std::size_t trenner = layer.find(": ", schema == std::string::npos ? 0 : schema + 3);
    const bool mitUrl = trenner != std::string::npos && schema != std::string::npos && schema < trenner;
    fehler->pfad = mitUrl ? layer.substr(0, trenner) : geraet;
    const std::string grund = mitUrl ? layer.substr(trenner + 2) : layer;
    fehler->grundCode = NetzGrundCode(grund);
    fehler->grund = NetzGrundText(grund);
    return;
  }
  fehler->pfad = Anzeigename(geraet);
  fehler->grund = Grund(ergebnis, systemfehler, geraet, fehler);
}

ErrorCode PortOeffnenGeprueft(int port, const std::string& pfad, int baudrate, double timeout, Portfehler* fehler) {
  *fehler = Portfehler{};
  const ErrorCode err = OLQZPK3X_OpenDevice(port, pfad.c_str(), baudrate);
  if (err != 0) {
    OeffnungsfehlerBeschreiben(port, pfad, fehler);
    return err;
  }
  char geraet[512] = {};
  int systemfehler = 0;
  GetComOpenResult(geraet, sizeof geraet, &systemfehler);
  const bool netz = ComPortKind(port, pfad.c_str()) > COM_KIND_LOCAL;
  // A lock binds only programs that take it: whoever else has the device open
  // would read our answers or talk across our frames.
  // A device server refuses a second client itself.
  if (std::vector<Portinhaber> inhaber = netz ? std::vector<Portinhaber>{} : AnderePortinhaber(geraet);
      !inhaber.empty()) {
    OLQZPK3X_Close(port);
    fehler->pfad = Anzeigename(geraet);
    fehler->grund = T("von einem anderen Programm belegt", "held by another program") + InhaberText(inhaber);
    fehler->grundCode = "busy";
    fehler->inhaber = std::move(inhaber);
    return kPortNichtZuOeffnen;
  }
  if (const ErrorCode t = OLQZPK3X_Timeout(port, timeout); t != 0) {
    OLQZPK3X_Close(port);
    return t;
  }
  return 0;
}

std::string FehlerName(int fehler) {
#if defined(__GLIBC__)
  if (const char* name = strerrorname_np(fehler)) return name;
#endif
  switch (fehler) {
    case ENOENT: return "ENOENT";
    case EACCES: return "EACCES";
    case EPERM: return "EPERM";
    case EBUSY: return "EBUSY";
    case EIO: return "EIO";
    case ENXIO: return "ENXIO";
    case ENODEV: return "ENODEV";
    case ENOTDIR: return "ENOTDIR";
    case EISDIR: return "EISDIR";
    case ENOSPC: return "ENOSPC";
    case EFBIG: return "EFBIG";
    case EROFS: return "EROFS";
    case EINVAL: return "EINVAL";
    default: return "E" + std::to_string(fehler);
  }
}

std::string BytesLesbar(const char* bytes, int anzahl) {
  std::string aus;
  for (int i = 0; i < anzahl; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == 0x06) aus += "<ACK>";
    else if (b == 0x15) aus += "<NAK>";
    else if (b == 0x18) aus += "<CAN>";
    else if (b == '\r') aus += "<CR>";
    else if (b >= 0x20 && b < 0x7F && b != '\\' && b != '<') aus += static_cast<char>(b);
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      aus += hex;
    }
  }
  return aus;
}

std::string AntwortText(const char* bytes, int anzahl) {
  std::string text;
  bool inText = false;
  auto trennen = [&text] {
    if (!text.empty()) text += ' ';
  };
  for (int i = 0; i < anzahl; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '"') {
      if (!inText) {
        trennen();
        text += '"';
      }
      text += static_cast<char>(c);
      inText = true;
      continue;
    }
    if (inText) text += '"';
    inText = false;
    trennen();
    static const char* const kNamen[] = {"ACK", "NAK", "CAN", "CR"};
    const int index = c == 0x06 ? 0 : c == 0x15 ? 1 : c == 0x18 ? 2 : c == 0x0D ? 3 : -1;
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", c);
    text += index >= 0 ? kNamen[index] : hex;
  }
  if (inText) text += '"';
  return text;
}

std::string TransaktionText(int port, std::string* rahmen, std::string* antwortText) {
  const OLQZPK3X_Transaktion t = OLQZPK3X_LetzteTransaktion(port);
  std::string antwort = AntwortText(t.antwort, t.antwortLaenge);
  *rahmen = t.rahmen;
  *antwortText = antwort;
  const char* dann = t.stumm ? T("nichts innerhalb der Zeitgrenze", "nothing within the time-out")
                   : t.verloren ? T("Leitung verloren (aufgelegt oder Portfehler)", "the line was lost (hung up or port failure)")
                                : nullptr;
  if (t.nichtGesendet) {
    return std::string(T("Rahmen ", "frame ")) + t.rahmen +
           T(" nicht gesendet: die Prüfung, ob das Gerät im Takt antwortet, blieb ohne Antwort (eine frühere Antwort steht vielleicht noch aus)",
             " not sent: the check that the device answers in step went unanswered (an earlier answer may still be owed)");
  }
  if (dann != nullptr) antwort += std::string(antwort.empty() ? "" : T(", dann ", ", then ")) + dann;
  // Nothing read and no read made: the frame never went out whole.
  if (antwort.empty()) return std::string(T("Rahmen ", "frame ")) + t.rahmen;
  return std::string(T("Rahmen ", "frame ")) + t.rahmen + T(", Antwort: ", ", answer: ") + antwort;
}

std::string VerbindungsText(int port, const std::string& geraet, int baudrate, char adresse) {
  const std::string rate = ComPortKind(port, geraet.c_str()) == COM_KIND_TCP
                               ? T("mit der Baudrate des Geräteservers", "at the device server's rate")
                               : std::to_string(baudrate) + T(" Baud", " baud");
  const OLQZPK3X_Transaktion t = OLQZPK3X_LetzteTransaktion(port);
  const bool stumm = t.stumm && t.antwortLaenge == 0;
  return std::string("Port ") + geraet + ", " + rate + T(", Adresse ", ", address ") + std::string(1, adresse) +
         (stumm ? T("\nKeine Antwort: ist das Gerät an diesem Port, mit dieser Baudrate und Adresse? Die Gerätesuche "
                    "(zpk3x-cli scan) findet es.",
                    "\nNo answer: is the device on this port, at this baud rate and address? The device search "
                    "(zpk3x-cli scan) finds it.")
                : "");
}

std::string TransferStelle(const Transferbericht& b) {
  return (b.programm == 0 ? std::string(T("Arbeitsparameter", "working parameters"))
                          : T("Programm ", "program ") + std::to_string(b.programm)) +
         (b.feld != nullptr ? T(", Feld ", ", field ") + std::string(b.feld) : std::string());
}

std::string TransferStand(bool schreiben, int von, const Transferbericht& b) {
  std::string text;
  if (b.fertig > 0) {
    text = Programme(von, von + b.fertig - 1) +
           (schreiben ? (von == 0 ? T(" geschrieben", " written") : T(" gespeichert", " stored")) : T(" gelesen", " read"));
  } else {
    text = schreiben ? T("nichts gespeichert", "nothing stored") : T("nichts gelesen", "nothing read");
  }
  if (b.programm < 0 || b.gesendet == 0) return text;
  const std::string p = std::to_string(b.programm);
  if (b.programm == 0) {
    if (schreiben) text += T("; Arbeitsparameter teilweise geschrieben", "; working parameters partly written");
  } else if (!schreiben) {
    text += T("; Programm ", "; program ") + p +
            T(" in die Arbeitsparameter geladen, nicht ganz gelesen", " loaded into the working parameters, not read whole");
  } else if (b.gesendet >= PROGRAMMFELDER_ANZAHL) {
    text += T("; Programm ", "; program ") + p +
            T(" in die Arbeitsparameter geschrieben, nicht gespeichert", " written to the working parameters, not stored");
  } else {
    text += T("; Programm ", "; program ") + p +
            T(" teilweise in die Arbeitsparameter geschrieben", " partly written to the working parameters");
  }
  return text;
}

std::string ArbeitsstandText(const Arbeitsstand& stand) {
  if (!stand.gelesen || stand.zurueck) return "";
  std::string werte;
  for (const Programmfeld& feld : PROGRAMMFELDER) {
    // As the device receives the value, with a point whatever the locale.
    char zahl[48];
    const auto r = std::to_chars(zahl, zahl + sizeof zahl, FeldWert(stand.werte, feld), std::chars_format::fixed,
                                 feld.nachkommastellen);
    werte += std::string(werte.empty() ? "" : ", ") + feld.name + " " + std::string(zahl, r.ptr);
  }
  return T("Die Arbeitsparameter wurden nicht zurückgesetzt; sie waren: ",
           "The working parameters were not put back; they were: ") +
         werte;
}

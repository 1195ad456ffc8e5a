#include "zpk3x-cli/Geraetefehler.h"

#include <cstdio>

#include "olqzpk3x/olqzpk3x.h"
#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Plattform.h"

namespace {

std::string Programme(int von, int bis) {
  if (von == 0 && bis == 0) return T("Arbeitsparameter", "working parameters");
  if (von == bis) return T("Programm ", "program ") + std::to_string(von);
  return T("Programme ", "programs ") + std::to_string(von) + T(" bis ", " to ") + std::to_string(bis);
}

// "programs 1 to 8 stored; program 9 partly written to the working parameters".
std::string Stand(Richtung richtung, int von, const Transferbericht& b) {
  const bool schreiben = richtung == Richtung::Schreiben;
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

// "frame #1C1W1.000, answer: NAK" and the same as keys.
std::string Transaktion(const Verbindung& v, Json* felder) {
  const OLQZPK3X_Transaktion t = OLQZPK3X_LetzteTransaktion(v.port);
  std::string antwort = AntwortText(t.antwort, t.antwortLaenge);
  (*felder)["frame"] = t.rahmen;
  (*felder)["answer"] = antwort.empty() ? Json(nullptr) : Json(antwort);
  const char* dann = t.stumm ? T("nichts innerhalb der Zeitgrenze", "nothing within the time-out")
                   : t.verloren ? T("Leitung verloren (aufgelegt oder Portfehler)", "the line was lost (hung up or port failure)")
                                : nullptr;
  if (t.nichtGesendet) {
    (*felder)["sent"] = false;
    return std::string(T("Rahmen ", "frame ")) + t.rahmen +
           T(" nicht gesendet: die Prüfung, ob das Gerät im Takt antwortet, blieb ohne Antwort (eine frühere Antwort steht vielleicht noch aus)",
             " not sent: the check that the device answers in step went unanswered (an earlier answer may still be owed)");
  }
  if (dann != nullptr) antwort += std::string(antwort.empty() ? "" : T(", dann ", ", then ")) + dann;
  // Nothing read and no read made: the frame never went out whole.
  if (antwort.empty()) return std::string(T("Rahmen ", "frame ")) + t.rahmen;
  return std::string(T("Rahmen ", "frame ")) + t.rahmen + T(", Antwort: ", ", answer: ") + antwort;
}

}  // namespace

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

int GeraetefehlerMelden(const Optionen& o, const Verbindung& v, ErrorCode code) {
  Json felder = Json::object();
  const std::string detail = "\n" + Transaktion(v, &felder);
  return FehlerMelden(o, code, detail, felder);
}

int TransferfehlerMelden(const Optionen& o, const Verbindung& v, ErrorCode code, Richtung richtung, int von,
                         const Transferbericht& bericht) {
  Json felder = Json::object();
  std::string detail = "\n";
  if (!bericht.abgebrochen) {
    felder["program"] = bericht.programm;
    if (bericht.feld != nullptr) felder["field"] = bericht.feld;
    detail += (bericht.programm == 0 ? std::string(T("Arbeitsparameter", "working parameters"))
                                     : T("Programm ", "program ") + std::to_string(bericht.programm)) +
              (bericht.feld != nullptr ? T(", Feld ", ", field ") + std::string(bericht.feld) : std::string()) + ": " +
              Transaktion(v, &felder) + "\n";
  }
  felder["completed"] = bericht.fertig;
  detail += Stand(richtung, von, bericht);
  if (richtung == Richtung::Lesen && !o.datei.empty())
    detail += T("; Datei nicht geschrieben: ", "; file not written: ") + o.datei;
  const int status = FehlerMelden(o, code, detail, felder);
  return bericht.abgebrochen && AbbruchStatus() != 0 ? AbbruchStatus() : status;
}

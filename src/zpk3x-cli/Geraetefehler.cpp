#include "zpk3x-cli/Geraetefehler.h"

#include <cstdio>

#include "Geraetemeldungen/Geraetemeldungen.h"
#include "olqzpk3x/olqzpk3x.h"
#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Plattform.h"

namespace {

// "frame #1C1W1.000, answer: NAK" and the same as keys.
std::string Transaktion(const Verbindung& v, Json* felder) {
  std::string rahmen, antwort;
  const std::string text = TransaktionText(v.port, &rahmen, &antwort);
  (*felder)["frame"] = rahmen;
  (*felder)["answer"] = antwort.empty() ? Json(nullptr) : Json(antwort);
  if (OLQZPK3X_LetzteTransaktion(v.port).nichtGesendet) (*felder)["sent"] = false;
  return text;
}

}  // namespace

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
    detail += TransferStelle(bericht) + ": " + Transaktion(v, &felder) + "\n";
  }
  felder["completed"] = bericht.fertig;
  detail += TransferStand(richtung == Richtung::Schreiben, von, bericht);
  if (richtung == Richtung::Lesen && !o.datei.empty())
    detail += T("; Datei nicht geschrieben: ", "; file not written: ") + o.datei;
  const int status = FehlerMelden(o, code, detail, felder);
  return bericht.abgebrochen && AbbruchStatus() != 0 ? AbbruchStatus() : status;
}

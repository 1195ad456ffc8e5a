#include "zpk3x-cli/Geraetefehler.h"

#include <cstdio>

#include "Geraetemeldungen/Geraetemeldungen.h"
#include "olqzpk3x/olqzpk3x.h"
#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Mitschnitt.h"
#include "zpk3x-cli/Plattform.h"

namespace {

// "frame #1C1W1.000, answer: NAK" and the same as keys: `frame`, `answer` (the
// bytes received, as BytesLesbar writes them), `sent`, and where it went.
std::string Transaktion(const Verbindung& v, Json* felder) {
  std::string rahmen, antwort;
  const std::string text = TransaktionText(v.port, &rahmen, &antwort);
  const OLQZPK3X_Transaktion t = OLQZPK3X_LetzteTransaktion(v.port);
  (*felder)["frame"] = rahmen;
  (*felder)["answer"] = BytesLesbar(t.antwort, t.antwortLaenge);
  (*felder)["sent"] = !t.nichtGesendet;
  VerbindungJson(v, felder);
  return text;
}

// Where it looked, last in every device error.
std::string Wo(const Verbindung& v) { return "\n" + VerbindungText(v); }

}  // namespace

Transferbericht AbbrechbarerBericht() {
  AbbruchAbfangen();
  Transferbericht bericht;
  bericht.abbrechen = AbbruchVerlangt;
  return bericht;
}

int GeraetefehlerMelden(const Optionen& o, const Verbindung& v, ErrorCode code, const std::string& nachsatz) {
  MitschnittNachlesen(v.port);
  Json felder = Json::object();
  std::string detail = "\n" + Transaktion(v, &felder) + Wo(v);
  if (!nachsatz.empty()) {
    detail += "\n" + nachsatz;
    felder["note"] = nachsatz;
  }
  return FehlerMelden(o, code, detail, felder);
}

int TransferfehlerMelden(const Optionen& o, const Verbindung& v, ErrorCode code, Richtung richtung, int von,
                         const Transferbericht& bericht, const std::string& nachsatz) {
  MitschnittNachlesen(v.port);
  Json felder = Json::object();
  std::string detail = "\n";
  if (!bericht.abgebrochen) {
    felder["program"] = bericht.programm;
    if (bericht.feld != nullptr) felder["field"] = bericht.feld;
    detail += TransferStelle(bericht) + ": " + Transaktion(v, &felder) + "\n";
  }
  felder["completed"] = bericht.fertig;
  detail += TransferStand(richtung == Richtung::Schreiben, von, bericht);
  if (richtung == Richtung::Lesen && !o.datei.empty() && o.befehl == "read")
    detail += T("; Datei nicht geschrieben: ", "; file not written: ") + o.datei;
  if (!bericht.abgebrochen) {
    detail += Wo(v);
  } else {
    VerbindungJson(v, &felder);
  }
  if (!nachsatz.empty()) {
    detail += "\n" + nachsatz;
    felder["note"] = nachsatz;
  }
  const int status = FehlerMelden(o, code, detail, felder);
  return bericht.abgebrochen && AbbruchStatus() != 0 ? AbbruchStatus() : status;
}

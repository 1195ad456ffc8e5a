#include "zpk3x-cli/Vergleich.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Geraetemeldungen/Geraetemeldungen.h"
#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Dateibefehle.h"
#include "zpk3x-cli/Geraetefehler.h"

namespace {

std::string Verbunden(const std::string& a, const std::string& b) { return a.empty() ? b : b.empty() ? a : a + "\n" + b; }

}  // namespace

int VomGeraetLesen(const Optionen& o, Verbindung& v, int von, int bis, Programmtabelle* t, const char* was) {
  Fortschritt f;
  f.was = was;
  Transferbericht bericht = AbbrechbarerBericht();
  Arbeitsstand stand;
  const ErrorCode err =
      ProgrammeAnsehen(v.Geraet(), von, bis, t->slots, von == bis ? nullptr : ProgrammeFortschritt, &f, &bericht, &stand);
  f.Ende();
  if (err == 0) return EXIT_OK;
  return TransferfehlerMelden(o, v, err, Richtung::Lesen, von, bericht, ArbeitsstandText(stand));
}

int SchreibenUndPruefen(const Optionen& o, Verbindung& v, int von, int bis, const Programmtabelle& t) {
  Fortschritt f;
  f.was = T("Programme geschrieben", "programs written");
  Transferbericht bericht = AbbrechbarerBericht();
  Arbeitsstand stand;
  Rueckleseabweichung abweichung;
  bool rueckgelesenFehlgeschlagen = false;
  Programmtabelle gelesen = StandardTabelle();
  const ErrorCode err =
      ProgrammeSchreibenPruefen(v.Geraet(), von, bis, t.slots, o.pruefen, gelesen.slots, &abweichung,
                                von == bis ? nullptr : ProgrammeFortschritt, &f, &bericht, &stand, &rueckgelesenFehlgeschlagen);
  f.Ende();
  if (err == 0) return EXIT_OK;
  const std::string notiz = ArbeitsstandText(stand);
  if (err == PROGRAMM_ANDERS_GESPEICHERT) {
    const Programmfeld& feld = PROGRAMMFELDER[abweichung.feld];
    const int slot = abweichung.slot;
    Json felder = {{"program", slot},
                   {"field", feld.name},
                   {"value", FeldJson(gelesen.slots[slot], feld)},
                   {"expected", FeldJson(t.slots[slot], feld)},
                   {"completed", bericht.fertig}};
    VerbindungJson(v, &felder);
    if (!notiz.empty()) felder["note"] = notiz;
    return FehlerMelden(o, ANDERES_GESPEICHERT,
                        NachpruefDetail(slot, feld, t.slots[slot], gelesen.slots[slot]) + "\n" + VerbindungText(v) +
                            (notiz.empty() ? "" : "\n" + notiz),
                        felder);
  }
  // Every program was acknowledged and passed its closing check, and only then
  // the read-back failed: that much is proven, no more.
  const std::string geschrieben =
      rueckgelesenFehlgeschlagen
          ? T("jedes Programm wurde bestätigt und im Takt beantwortet; das Zurücklesen schlug fehl, "
              "ob das Gerät die Werte behielt, ist nicht belegt",
              "every program was acknowledged in step; the read-back failed, so whether the device kept "
              "the values is not proven")
          : "";
  return TransferfehlerMelden(o, v, err, Richtung::Schreiben, von, bericht, Verbunden(geschrieben, notiz));
}

int Vergleichen(const Optionen& o, Verbindung& v, int von, int bis) {
  Programmtabelle datei{};
  if (int status = DateiLesen(o, o.datei, &datei); status != EXIT_OK) return status;
  if (int status = SlotsPruefen(o, o.datei, datei, von, bis); status != EXIT_OK) return status;
  if (ErrorCode err = PortOeffnen(&v, v.baudrate); err != 0) return PortFehlerMelden(o, v, err);
  Programmtabelle geraet = StandardTabelle();
  if (int status = VomGeraetLesen(o, v, von, bis, &geraet, T("Programme gelesen", "programs read")); status != EXIT_OK)
    return status;
  const std::vector<Abweichung> a = Abweichungen(geraet, datei, von, bis);
  if (o.json) {
    Json liste = Json::array();
    for (const Abweichung& x : a) {
      const Programmfeld& feld = PROGRAMMFELDER[x.feld];
      liste.push_back({{"program", x.slot},
                       {"field", feld.name},
                       {"value", FeldJson(geraet.slots[x.slot], feld)},
                       {"expected", FeldJson(datei.slots[x.slot], feld)}});
    }
    JsonAusgeben({{"file", o.datei}, {"from", von}, {"to", bis}, {"equal", a.empty()}, {"differences", liste}});
  } else if (a.empty()) {
    if (!Leise()) Ausgeben(T("keine Unterschiede\n", "no differences\n"));
  } else {
    std::string aus;
    for (const Abweichung& x : a) {
      const Programmfeld& feld = PROGRAMMFELDER[x.feld];
      aus += ProgrammName(x.slot) + ", " + feld.name + T(": Gerät ", ": device ") + GesendetText(geraet.slots[x.slot], feld) +
             T(", Datei ", ", file ") + GesendetText(datei.slots[x.slot], feld) + "\n";
    }
    Ausgeben(aus);
  }
  return a.empty() ? EXIT_OK : EXIT_UNTERSCHIED;
}

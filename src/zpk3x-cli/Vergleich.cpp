#include "zpk3x-cli/Vergleich.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Dateibefehle.h"
#include "zpk3x-cli/Geraetefehler.h"

namespace {

// Reads slots von..bis from the device; an exit status, having reported a failure.
// `ansehen`: the working parameters are left as they were found.
// A failure names program, field, frame, answer and how far it got, as `read`
// does; `nachSchreiben` says that the write before the read-back succeeded.
int VomGeraet(const Optionen& o, Verbindung& v, int von, int bis, Programmtabelle* t, const char* was, bool ansehen,
              bool nachSchreiben = false) {
  Fortschritt f;
  f.was = was;
  const auto lesen = ansehen ? ProgrammeAnsehen : ProgrammeLesen;
  Transferbericht bericht;
  const ErrorCode err = lesen(v.Geraet(), von, bis, t->slots, von == bis ? nullptr : ProgrammeFortschritt, &f, &bericht);
  f.Ende();
  if (err == 0) return EXIT_OK;
  return TransferfehlerMelden(o, v, err, Richtung::Lesen, von, bericht,
                              nachSchreiben ? T("das Schreiben selbst ist gelungen (alle Programme bestätigt); nur das Zurücklesen schlug fehl",
                                                "the write itself succeeded (every program acknowledged); only the read-back failed")
                                            : "");
}

}  // namespace

int Nachpruefen(const Optionen& o, Verbindung& v, int von, int bis, const Programmtabelle& geschrieben) {
  Programmtabelle gelesen = StandardTabelle();
  if (int status = VomGeraet(o, v, von, bis, &gelesen, T("Programme geprüft", "programs verified"), false, true); status != EXIT_OK)
    return status;
  const std::vector<Abweichung> a = Abweichungen(geschrieben, gelesen, von, bis);
  if (a.empty()) return EXIT_OK;
  const Programmfeld& feld = PROGRAMMFELDER[a[0].feld];
  const int slot = a[0].slot;
  return FehlerMelden(o, ANDERES_GESPEICHERT,
                      NachpruefDetail(slot, feld, geschrieben.slots[slot], gelesen.slots[slot]),
                      {{"program", slot},
                       {"field", feld.name},
                       {"value", FeldJson(gelesen.slots[slot], feld)},
                       {"expected", FeldJson(geschrieben.slots[slot], feld)}});
}

int Vergleichen(const Optionen& o, Verbindung& v, int von, int bis) {
  Programmtabelle datei{};
  if (int status = DateiLesen(o, o.datei, &datei); status != EXIT_OK) return status;
  if (int status = SlotsPruefen(o, o.datei, datei, von, bis); status != EXIT_OK) return status;
  if (ErrorCode err = PortOeffnen(&v, v.baudrate); err != 0) return PortFehlerMelden(o, v, err);
  Programmtabelle geraet = StandardTabelle();
  if (int status = VomGeraet(o, v, von, bis, &geraet, T("Programme gelesen", "programs read"), true); status != EXIT_OK)
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

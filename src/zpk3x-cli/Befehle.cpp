// zpk3x-cli's dispatch: from the parsed options to the command's file.
#include "zpk3x-cli/Befehle.h"

#include "rs232/rs232.h"
#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Dateibefehle.h"
#include "zpk3x-cli/Dateiwahl.h"
#include "zpk3x-cli/Geraetebefehle.h"
#include "zpk3x-cli/Mitschnitt.h"
#include "zpk3x-cli/Monitor.h"
#include "zpk3x-cli/Pruefbefehl.h"
#include "zpk3x-cli/Schnittstellenbefehl.h"
#include "zpk3x-cli/Verbindung.h"
#include "zpk3x-cli/Vergleich.h"

namespace {

int Ausfuehren(Optionen& o) {
  // Commands on files and on the machine alone.
  if (o.befehl == "ports") return Schnittstellen(o);
  if (o.befehl == "show") return Zeigen(o);
  if (o.befehl == "convert") return Umwandeln(o);
  if (o.befehl == "test") return Pruefen(o);  // its connection after the plan is checked

  // Both would be the one standard output: not one silently in place of the other.
  if (o.befehl == "monitor" && IstStrom(o.datei) && o.json)
    return FehlerMelden(o, AUFRUF_FEHLER, T("\n--json und -o - wollen beide die Standardausgabe: eine Datei für -o angeben oder --json weglassen",
                                            "\n--json and -o - both want standard output: give -o a file or leave out --json"));
  Verbindung v{};
  if (int status = VerbindungBestimmen(o, &v); status != EXIT_OK) return status;
  int von = 0, bis = 0;
  Dateiformat format = Dateiformat::Unbekannt;
  if (o.befehl == "read" || o.befehl == "write" || o.befehl == "diff") {
    if (!BereichLesen(o.bereich, &von, &bis))
      return FehlerMelden(o, AUFRUF_FEHLER, "\n" + o.bereich + T(": 0 bis 16 oder all", ": 0 to 16 or all"));
    // The output's format is known before anything is read from the device.
    if (o.befehl == "read" && !o.datei.empty()) {
      if (int status = ZielformatPruefen(o, o.datei, &format); status != EXIT_OK) return status;
      if (int status = ZielordnerPruefen(o, o.datei); status != EXIT_OK) return status;
    }
    if (o.befehl == "write") return Schreiben(o, v, von, bis);
    if (o.befehl == "diff") return Vergleichen(o, v, von, bis);
  }
  if (o.befehl == "scan") return Scan(o, v);

  if (ErrorCode err = PortOeffnen(&v, v.baudrate); err != 0) return PortFehlerMelden(o, v, err);
  if (o.befehl == "id") return Kennung(o, v);
  if (o.befehl == "status") return Status(o, v);
  if (o.befehl == "get") return IstwerteBefehl(o, v);
  if (o.befehl == "start") return Geraetefunktion(o, v, "start");
  if (o.befehl == "stop") return Geraetefunktion(o, v, "stopp");
  if (o.befehl == "clear") return Geraetefunktion(o, v, "fehlerloeschen");
  if (o.befehl == "calibrate") return Geraetefunktion(o, v, "kalibrieren");
  if (o.befehl == "load") return ProgrammNummer(o, v, "programmladen");
  if (o.befehl == "store") return ProgrammNummer(o, v, "programmspeichern");
  if (o.befehl == "read") return Lesen(o, v, von, bis, format);
  if (o.befehl == "monitor") return Monitor(o, v);
  return FehlerMelden(o, AUFRUF_FEHLER, "\n" + o.befehl);
}

}  // namespace

int BefehlAusfuehren(Optionen& o) {
  SpracheSetzen(o.englisch);
  LeiseSetzen(o.leise);
  if (o.trace) MitschnittEinschalten();
  // Ctrl+C and SIGTERM only set a flag: the frame in flight is answered, what is
  // owed is recorded, and the exit status says how the command ended.
  AbbruchAbfangen();
  // Every wait for the device ends within a slice of the request: nothing is
  // sent after it.
  SetComAbortCheck(AbbruchVerlangt);
  int status = Ausfuehren(o);
  FehlerOrtSetzen(nullptr);  // the connection is gone with the command
  if (o.trace) MitschnittAbschliessen();
  // A monitor ends on a signal as its normal end (its own status); every other
  // command says that it was ended.
  if (AbbruchStatus() != 0 && o.befehl != "monitor") status = AbbruchStatus();
  return AusgabePruefen(status);
}

// zpk3x-cli: every device operation of the ZPK-3X from the command line.
#include <CLI/CLI.hpp>
#include <cstring>
#include <string>

#include "zpk3x-cli/Befehle.h"
#include "zpk3x-cli/Plattform.h"

namespace {

// Language and output form are needed before the parser has run, for its own
// help and errors: taken from the raw arguments.
void Vorabsicht(int argc, char** argv, Optionen* o) {
  o->englisch = EnglischAusUmgebung();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--json") o->json = true;
    if (a == "--lang=de" || (a == "--lang" && i + 1 < argc && std::strcmp(argv[i + 1], "de") == 0)) o->englisch = false;
    if (a == "--lang=en" || (a == "--lang" && i + 1 < argc && std::strcmp(argv[i + 1], "en") == 0)) o->englisch = true;
  }
}

}  // namespace

int main(int argc, char** argv) {
  AusgabeEinrichten();
  Optionen o;
  Vorabsicht(argc, argv, &o);
  const bool en = o.englisch;
  SpracheSetzen(en);
  auto T = [en](const char* deutsch, const char* englisch) { return std::string(en ? englisch : deutsch); };

  CLI::App app{T("Bedient ein ZPK-3X über die serielle Leitung, ohne Fenster.",
                 "Operates a ZPK-3X over the serial line, without a window.")};
  app.name("zpk3x-cli");
  app.set_version_flag("--version", std::string("zpk3x-cli ") + ZPK3X_VERSION);
  app.footer(T("Exit-Status:\n  0  Erfolg\n  2  Aufruf falsch oder ungültiger Wert in einer Eingabedatei\n"
               "  3  Port nicht zu öffnen oder von einem anderen Programm belegt\n"
               "  4  Gerät antwortet nicht oder lehnt ab\n  5  Datei nicht zu lesen oder zu schreiben\n"
               "  130, 143  durch Strg+C oder SIGTERM beendet, nach der Antwort auf den letzten Rahmen\n"
               "\nBeispiele:\n"
               "  zpk3x-cli --port /dev/ttyUSB0 scan\n"
               "  zpk3x-cli --port 1 --baud 4800 --address 3 read all -o programme.zpk\n"
               "  zpk3x-cli --port 1 write 3 -i programme.json && zpk3x-cli --port 1 start\n"
               "  zpk3x-cli --port 1 --json monitor --interval 0.5 --duration 60 -o lauf.csv\n"
               "  zpk3x-cli convert programme.zpk programme.csv\n",
               "Exit status:\n  0  success\n  2  usage, or a bad value in an input file\n"
               "  3  the port cannot be opened or is held by another program\n"
               "  4  the device did not answer or refused\n  5  a file cannot be read or written\n"
               "  130, 143  ended by Ctrl+C or SIGTERM, after the answer to the frame in flight\n"
               "\nExamples:\n"
               "  zpk3x-cli --port /dev/ttyUSB0 scan\n"
               "  zpk3x-cli --port 1 --baud 4800 --address 3 read all -o programs.zpk\n"
               "  zpk3x-cli --port 1 write 3 -i programs.json && zpk3x-cli --port 1 start\n"
               "  zpk3x-cli --port 1 --json monitor --interval 0.5 --duration 60 -o run.csv\n"
               "  zpk3x-cli convert programs.zpk programs.csv\n"));
  app.require_subcommand(1);
  app.fallthrough();

  std::string lang;
  app.add_option("--port", o.port, T("Port 1-8 (wie im Fenster) oder Gerätepfad", "port 1-8 (as in the window) or a device path"))
      ->type_name("N|PATH");
  app.add_option("--baud", o.baudrate, T("Baudrate", "baud rate"))->check(CLI::IsMember({1200, 2400, 4800, 9600}));
  app.add_option("--address", o.adresse, T("Geräteadresse 1-8", "device address 1-8"))
      ->check(CLI::IsMember({"1", "2", "3", "4", "5", "6", "7", "8"}));
  app.add_option("--timeout", o.timeout, T("Zeitlimit je Byte in Sekunden (0.5)", "time-out per byte in seconds (0.5)"))
      ->check(CLI::Range(0.001, 60.0));
  app.add_option("--lang", lang, T("Sprache der Meldungen", "language of the messages"))->check(CLI::IsMember({"de", "en"}));
  app.add_flag("--json", o.json, T("ein JSON-Dokument je Befehl", "one JSON document per command"));

  const char* geraet[][3] = {
      {"scan", "Gerät suchen (4 Baudraten x 8 Adressen)", "search the device (4 baud rates x 8 addresses)"},
      {"id", "Kennung lesen", "read the identity"},
      {"status", "Statuswort und seine gesetzten Bits", "status word and its set bits"},
      {"get", "Iststrom, Istspannung und Status", "actual current, voltage and status"},
      {"start", "Prozess starten", "start the process"},
      {"stop", "Prozess stoppen", "stop the process"},
      {"clear", "Fehler des Geräts löschen", "clear the device's errors"},
      {"calibrate", "kalibrieren", "calibrate"},
  };
  for (const auto& g : geraet) app.add_subcommand(g[0], T(g[1], g[2]));

  for (const char* name : {"load", "store"}) {
    CLI::App* s = app.add_subcommand(name, std::strcmp(name, "load") == 0
                                               ? T("Programm N in die Arbeitsparameter laden", "load program N into the working parameters")
                                               : T("Arbeitsparameter als Programm N speichern", "store the working parameters as program N"));
    s->add_option("N", o.programm, T("Programmnummer 1-16", "program number 1-16"))->required()->check(CLI::Range(1, 16));
  }

  CLI::App* lesen = app.add_subcommand("read", T("Programme vom Gerät lesen", "read programs from the device"));
  lesen->add_option("N", o.bereich, T("Programm 0-16 (0: Arbeitsparameter) oder all", "program 0-16 (0: working parameters) or all"))
      ->type_name("N|all");
  lesen->add_option("-o,--output", o.datei, T("Ausgabedatei .zpk, .csv oder .json", "output file .zpk, .csv or .json"));

  CLI::App* schreiben = app.add_subcommand("write", T("Programme zum Gerät schreiben", "write programs to the device"));
  schreiben->add_option("N", o.bereich, T("Programm 0-16 (0: Arbeitsparameter) oder all", "program 0-16 (0: working parameters) or all"))
      ->type_name("N|all");
  schreiben->add_option("-i,--input", o.datei, T("Eingabedatei .zpk, .csv oder .json", "input file .zpk, .csv or .json"))->required();
  schreiben->add_flag("--dry-run", o.trockenlauf, T("nur die Rahmen zeigen, nichts senden", "print the frames, send nothing"));

  CLI::App* zeigen = app.add_subcommand("show", T("Programmdatei als Tabelle zeigen", "show a program file as a table"));
  zeigen->add_option("FILE", o.datei)->required();

  CLI::App* umwandeln = app.add_subcommand("convert", T("zwischen .zpk, CSV und JSON umwandeln", "convert between .zpk, CSV and JSON"));
  umwandeln->add_option("IN", o.datei)->required();
  umwandeln->add_option("OUT", o.ziel)->required();

  CLI::App* monitor = app.add_subcommand("monitor", T("Istwerte und Status fortlaufend", "actual values and status continuously"));
  monitor->add_option("--interval", o.intervall, T("Abstand in Sekunden (0.5)", "interval in seconds (0.5)"))->check(CLI::Range(0.01, 86400.0));
  monitor->add_option("--duration", o.dauer, T("Dauer in Sekunden (0: bis Strg+C)", "duration in seconds (0: until Ctrl+C)"))
      ->check(CLI::Range(0.0, 1e9));
  monitor->add_option("-o,--output", o.datei, T("CSV-Datei, wie sie das Verlaufsfenster aufzeichnet", "CSV file as the trend window records it"));
  monitor->add_flag("--stop-on-error", o.stoppBeiFehler, T("bei einem Fehler mit Status 4 enden", "end with status 4 on a failure"));

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
    return FehlerMelden(o, AUFRUF_FEHLER, std::string("\n") + e.what());
  }
  if (!lang.empty()) o.englisch = lang == "en";
  o.befehl = app.get_subcommands().front()->get_name();
  return BefehlAusfuehren(o);
}

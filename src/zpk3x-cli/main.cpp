// zpk3x-cli: every device operation of the ZPK-3X from the command line.
#include <CLI/CLI.hpp>
#include <cstring>
#include <string>

#include "zpk3x-cli/Aufrufhilfe.h"
#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Befehle.h"
#include "zpk3x-cli/Optionspruefung.h"
#include "zpk3x-cli/Plattform.h"
#include "zpk3x-cli/Pruefbefehl.h"

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

// Options that take a value: their value is no command word.
bool NimmtWert(const std::string& a) {
  for (const char* o : {"--port", "--baud", "--address", "--timeout", "--lang", "--format"})
    if (a == o) return true;
  return false;
}

// The first word that is neither an option nor an option's value: the command.
std::string Befehlswort(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--") return i + 1 < argc ? argv[i + 1] : "";
    if (NimmtWert(a)) {
      ++i;
      continue;
    }
    if (!a.empty() && a[0] == '-') continue;
    return a;
  }
  return "";
}

// The parser's own words in the language of the run.
void HilfeUebersetzen(CLI::App& app, bool englisch) {
  if (englisch) return;
  auto f = app.get_formatter();
  f->label("Usage", "Aufruf");
  f->label("OPTIONS", "OPTIONEN");
  f->label("SUBCOMMAND", "BEFEHL");
  f->label("SUBCOMMANDS", "BEFEHLE");
  f->label("Positionals", "Argumente");
  f->label("REQUIRED", "PFLICHT");
  f->label("Env", "Umgebung");
  f->label("Needs", "braucht");
  f->label("Excludes", "schließt aus");
  f->label("TEXT", "TEXT");
  f->label("INT", "ZAHL");
  f->label("FLOAT", "ZAHL");
  f->label("N|PATH", "N|PFAD");
}

// After all options exist: a subcommand's help flag in the options' group, and a
// range shown as "[a - b]" without the parser's English "FLOAT in".
void HilfeOrdnen(CLI::App* app, const std::string& optionen, bool englisch) {
  if (CLI::Option* h = app->get_help_ptr(); h != nullptr) h->group(optionen);
  for (CLI::Option* opt : app->get_options()) {
    for (int i = 0;; ++i) {
      CLI::Validator* v = nullptr;
      try {
        v = opt->get_validator(i);
      } catch (const CLI::OptionNotFound&) {
        break;
      }
      const std::string text = v->get_description();
      if (const auto in = text.find(" in ["); in != std::string::npos) v->description(text.substr(in + 4));
    }
    // With a validator the type is shown joined to its text, past the labels.
    const std::string typ = opt->get_type_name();
    const std::string art = typ.substr(0, typ.find(':'));
    if (!englisch && art != typ && (art == "FLOAT" || art == "INT")) opt->type_name("ZAHL");
  }
  for (CLI::App* sub : app->get_subcommands({})) HilfeOrdnen(sub, optionen, englisch);
}

// `zpk3x-cli help [COMMAND]`: the help of the program or of one command, as --help shows it.
int HilfeZeigen(const Optionen& o, const CLI::App& app, const std::string& thema) {
  // With --json one object, as every other output: {"help": TEXT}.
  const auto zeigen = [&o](const std::string& text) {
    if (o.json) {
      JsonAusgeben({{"help", text}});
    } else {
      Ausgeben(text);
    }
    return AusgabePruefen(EXIT_OK);
  };
  // Through the formatter: the parsed app's help() would describe "help" itself.
  if (thema.empty()) return zeigen(app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal));
  for (const CLI::App* s : app.get_subcommands({}))
    if (s->get_name() == thema) return zeigen(s->get_formatter()->make_help(s, app.get_name() + " " + thema, CLI::AppFormatMode::Normal));
  return FehlerMelden(o, AUFRUF_FEHLER, "\n" + UnbekannterBefehl(app, thema));
}

}  // namespace

int main(int argc, char** argv) {
  argv = ArgumenteInUtf8(argc, argv);
  AusgabeEinrichten();
  DateigrenzeAlsFehler();
  Optionen o;
  Vorabsicht(argc, argv, &o);
  const bool en = o.englisch;
  SpracheSetzen(en);
  auto T = [en](const char* deutsch, const char* englisch) { return std::string(en ? englisch : deutsch); };

  CLI::App app{T("Bedient ein ZPK-3X über die serielle Leitung, ohne Fenster.",
                 "Operates a ZPK-3X over the serial line, without a window.")};
  app.name("zpk3x-cli");
  app.formatter(Hilfeformat(T("Globale Optionen (vor oder nach dem Befehl)", "Global options (before or after the command)")));
  HilfeUebersetzen(app, en);
  app.option_defaults()->group(T("Optionen", "Options"));
  // An option given twice counts with its last value, as in other tools.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.set_help_flag("-h,--help", T("diese Hilfe zeigen und enden", "print this help and exit"));
  app.set_version_flag("--version", std::string("zpk3x-cli ") + ZPK3X_VERSION,
                       T("Version zeigen und enden", "print the version and exit"));
  const std::string status = T("Exit-Status:\n  0  Erfolg\n"
               "  1  diff: Gerät und Datei unterscheiden sich\n"
               "  2  Aufruf falsch oder ungültiger Wert in einer Eingabedatei\n"
               "  3  Port nicht zu öffnen, von einem anderen Programm belegt oder getrennt\n"
               "  4  Gerät antwortet nicht, lehnt ab oder speichert anderes (Rücklesen von write)\n"
               "  5  Datei nicht zu lesen oder zu schreiben\n"
               "  6  MQTT-Broker lehnt die Anmeldung oder das TLS-Zertifikat ab\n"
               "  130, 143  durch Strg+C oder ein Beendigungssignal beendet, nach der Antwort auf den letzten Rahmen\n"
               "  141  der Leser der Standardausgabe ist fort (geschlossene Pipe)\n"
               "\nUmgebung:\n"
               "  ZPK3X_PORT   Port, wenn --port fehlt (vor der Konfigurationsdatei)\n"
               "  ZPK3X_MQTT_PASSWORD   Passwort für monitor --mqtt, wenn die URL keines enthält (nicht in der Prozessliste)\n"
               "  LC_ALL, LC_MESSAGES, LANG   Sprache (de...: Deutsch), wenn --lang fehlt\n",
               "Exit status:\n  0  success\n"
               "  1  diff: device and file differ\n"
               "  2  usage, or a bad value in an input file\n"
               "  3  the port cannot be opened, is held by another program, or hung up\n"
               "  4  the device did not answer, refused, or stored something else (write's read-back)\n"
               "  5  a file cannot be read or written\n"
               "  6  the MQTT broker refused the login or the TLS certificate\n"
               "  130, 143  ended by Ctrl+C or SIGTERM, after the answer to the frame in flight\n"
               "  141  the reader of standard output went away (a closed pipe)\n"
               "\nEnvironment:\n"
               "  ZPK3X_PORT   port when --port is not given (before the configuration file)\n"
               "  ZPK3X_MQTT_PASSWORD   password for monitor --mqtt when the URL has none (not in the process list)\n"
               "  LC_ALL, LC_MESSAGES, LANG   language (de...: German) when --lang is not given\n");
  app.footer(status + T("\nBeispiele:\n"
               "  zpk3x-cli ports\n"
               "  zpk3x-cli --port /dev/serial/by-id/usb-Adapter_A1B2C3-if00-port0 --trace id\n"
               "  zpk3x-cli --port 1 -q write all -i programme.json\n"
               "  zpk3x-cli --port 1 diff programme.zpk\n"
               "  zpk3x-cli --port 1 --format json read all -o - | jq .programme\n"
               "  zpk3x-cli --port /dev/ttyUSB0 scan\n"
               "  zpk3x-cli --port 1 --baud 4800 --address 3 read all -o programme.zpk\n"
               "  zpk3x-cli --port rfc2217://pruefstand-3:2001 read all -o programme.zpk\n"
               "  zpk3x-cli --port 1 write 3 -i programme.json && zpk3x-cli --port 1 start\n"
               "  zpk3x-cli --port 1 --json monitor --interval 0.5 --duration 60 -o lauf.csv\n"
               "  zpk3x-cli convert programme.zpk programme.csv\n",
               "\nExamples:\n"
               "  zpk3x-cli ports\n"
               "  zpk3x-cli --port /dev/serial/by-id/usb-Adapter_A1B2C3-if00-port0 --trace id\n"
               "  zpk3x-cli --port 1 -q write all -i programs.json\n"
               "  zpk3x-cli --port 1 diff programs.zpk\n"
               "  zpk3x-cli --port 1 --format json read all -o - | jq .programme\n"
               "  zpk3x-cli --port /dev/ttyUSB0 scan\n"
               "  zpk3x-cli --port 1 --baud 4800 --address 3 read all -o programs.zpk\n"
               "  zpk3x-cli --port rfc2217://bench-3:2001 read all -o programs.zpk\n"
               "  zpk3x-cli --port 1 write 3 -i programs.json && zpk3x-cli --port 1 start\n"
               "  zpk3x-cli --port 1 --json monitor --interval 0.5 --duration 60 -o run.csv\n"
               "  zpk3x-cli convert programs.zpk programs.csv\n"));
  // A file name such as /tmp/a.zpk is a path on Windows too, never an option; set
  // before the subcommands, which take it over.
  app.allow_windows_style_options(false);
  app.require_subcommand(1);
  app.fallthrough();

  std::string lang;
  CLI::Option* portOption = app.add_option("--port", o.port,
                 T("Port 1-8 (wie im Fenster), Gerätepfad, tcp://HOST:PORT oder rfc2217://HOST:PORT",
                   "port 1-8 (as in the window), a device path, tcp://HOST:PORT or rfc2217://HOST:PORT"))
      ->type_name(T("N|PFAD|URL", "N|PATH|URL"));
  app.add_option("--baud", o.baudrate, T("Baudrate", "baud rate"))
      ->type_name("1200|2400|4800|9600")
      ->check(CLI::IsMember({1200, 2400, 4800, 9600}).description(""));
  app.add_option("--address", o.adresse, T("Geräteadresse 1-8", "device address 1-8"))
      ->type_name("1-8")
      ->check(CLI::IsMember({"1", "2", "3", "4", "5", "6", "7", "8"}).description(""));
  app.add_option("--timeout", o.timeout, T("Zeitlimit je Byte in Sekunden (0.5)", "time-out per byte in seconds (0.5)"))
      ->check(ReellerBereich(0.001, 60.0));
  app.add_option("--lang", lang, T("Sprache der Meldungen", "language of the messages"))
      ->type_name("de|en")
      ->check(CLI::IsMember({"de", "en"}).description(""));
  app.add_flag("--json", o.json, T("ein JSON-Dokument je Befehl", "one JSON document per command"));
  app.add_flag("-q,--quiet", o.leise, T("nur Fehler: kein Fortschritt, keine Erfolgszeilen", "errors only: no progress, no success lines"));
  app.add_flag("--trace", o.trace,
               T("jeden gesendeten Rahmen und jede Antwort mit Zeit auf stderr", "every frame sent and answer received, timed, on stderr"));
  app.add_option("--format", o.format,
                 T("Dateiformat statt der Endung (für - nötig)", "file format instead of the extension (needed for -)"))
      ->type_name("zpk|csv|json")
      ->check(CLI::IsMember({"zpk", "csv", "json"}).description(""));

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
  const std::string befehle = T("Befehle", "Commands");
  for (const auto& g : geraet) app.add_subcommand(g[0], T(g[1], g[2]))->group(befehle);
  app.add_subcommand("ports", T("serielle Schnittstellen dieses Rechners", "serial ports of this machine"))->group(befehle);

  for (const char* name : {"load", "store"}) {
    CLI::App* s = app.add_subcommand(name, std::strcmp(name, "load") == 0
                                               ? T("Programm N in die Arbeitsparameter laden", "load program N into the working parameters")
                                               : T("Arbeitsparameter als Programm N speichern", "store the working parameters as program N"));
    s->group(befehle);
    s->add_option("N", o.programm, T("Programmnummer 1-16", "program number 1-16"))->required()->check(CLI::Range(1, 16).description(""));
  }

  CLI::App* lesen = app.add_subcommand("read", T("Programme vom Gerät lesen", "read programs from the device"))->group(befehle);
  lesen->add_option("N", o.bereich, T("Programm 0-16 (0: Arbeitsparameter) oder all", "program 0-16 (0: working parameters) or all"))
      ->type_name("N|all");
  const std::string datei = T("DATEI", "FILE");
  lesen->add_option("-o,--output", o.datei,
                    T("Ausgabedatei .zpk, .csv oder .json; - für stdout. JSON und CSV enthalten nur die gelesenen Slots "
                      "(Slot 0: die Arbeitsparameter, wie sie vorgefunden und zurückgeschrieben wurden); eine .zpk-Datei "
                      "hat immer 17 Slots, die nicht gelesenen mit den Vorgabewerten",
                      "output file .zpk, .csv or .json; - for stdout. JSON and CSV hold only the slots read (slot 0: the "
                      "working parameters as found and written back); a .zpk file always has 17 slots, those not read at "
                      "their defaults"))
      ->type_name(datei);

  CLI::App* schreiben = app.add_subcommand("write", T("Programme zum Gerät schreiben", "write programs to the device"))->group(befehle);
  schreiben->add_option("N", o.bereich, T("Programm 0-16 (0: Arbeitsparameter) oder all", "program 0-16 (0: working parameters) or all"))
      ->type_name("N|all");
  schreiben->add_option("-i,--input", o.datei, T("Eingabedatei .zpk, .csv oder .json; - für stdin", "input file .zpk, .csv or .json; - for stdin"))
      ->type_name(datei)
      ->required();
  schreiben->add_flag("--verify,!--no-verify", o.pruefen,
                      T("jedes geschriebene Programm zurücklesen und vergleichen (Vorgabe; --no-verify: nicht); Status 4 beim ersten Unterschied",
                        "read back and compare every program written (default; --no-verify: do not); status 4 at the first difference"));
  schreiben->add_flag("--dry-run", o.trockenlauf, T("nur die Rahmen zeigen, nichts senden", "print the frames, send nothing"));

  CLI::App* vergleich = app.add_subcommand("diff", T("Gerät mit einer Datei vergleichen (Status 1: verschieden)",
                                                       "compare the device with a file (status 1: they differ)"))->group(befehle);
  vergleich->add_option(datei, o.datei, T("Programmdatei; - für stdin", "program file; - for stdin"))->type_name("")->required();
  vergleich->add_option("N", o.bereich, T("Programm 0-16 oder all (Vorgabe)", "program 0-16 or all (default)"))->type_name("N|all");

  CLI::App* zeigen = app.add_subcommand("show", T("Programmdatei als Tabelle zeigen", "show a program file as a table"))->group(befehle);
  zeigen->add_option(datei, o.datei, T("Programmdatei; - für stdin", "program file; - for stdin"))->type_name("")->required();

  CLI::App* umwandeln = app.add_subcommand("convert", T("zwischen .zpk, CSV und JSON umwandeln", "convert between .zpk, CSV and JSON"))->group(befehle);
  umwandeln->add_option(T("EIN", "IN"), o.datei, T("Eingabedatei; - für stdin", "input file; - for stdin"))->type_name("")->required();
  umwandeln->add_option(T("AUS", "OUT"), o.ziel, T("Ausgabedatei; - für stdout", "output file; - for stdout"))->type_name("")->required();

  CLI::App* monitor = app.add_subcommand("monitor", T("Istwerte und Status fortlaufend", "actual values and status continuously"))->group(befehle);
  monitor->add_option("--interval", o.intervall, T("Abstand in Sekunden (0.5)", "interval in seconds (0.5)"))->check(ReellerBereich(0.01, 86400.0));
  monitor->add_option("--duration", o.dauer, T("Dauer in Sekunden (0: bis Strg+C)", "duration in seconds (0: until Ctrl+C)"))
      ->check(ReellerBereich(0.0, 1e9));
  monitor->add_option("-o,--output", o.datei, T("CSV-Datei, wie sie das Verlaufsfenster aufzeichnet", "CSV file as the trend window records it"))
      ->type_name(datei);
  monitor->add_flag("--stop-on-error", o.stoppBeiFehler, T("bei einem Fehler mit Status 4 enden", "end with status 4 on a failure"));
  CLI::Option* mqtt = monitor->add_option("--mqtt", o.mqtt,
                                          T("jede Abfrage bei einem MQTT-Broker veröffentlichen (nur Linux)",
                                            "publish every query to an MQTT broker (Linux only)"))
                          ->type_name(T("mqtt[s]://[BENUTZER[:PASSWORT]@]RECHNER[:PORT]/PRÄFIX",
                                        "mqtt[s]://[USER[:PASSWORD]@]HOST[:PORT]/PREFIX"));
  monitor->add_option("--mqtt-ca", o.mqttCa, T("CA-Zertifikate für mqtts://", "CA certificates for mqtts://"))
      ->type_name(datei)
      ->needs(mqtt);
  monitor->add_option_function<std::string>("--station", [&o](const std::string& s) { o.station = s, o.stationGegeben = true; }, T("Name der Station im Thema (Rechnername-Port)", "the station's name in the topic (host-port)"))
      ->type_name("NAME")
      ->needs(mqtt);

  PruefbefehlAnmelden(app, o, befehle);

  std::string thema;
  app.add_subcommand("help", T("Hilfe zu einem Befehl zeigen", "show the help of a command"))
      ->group(befehle)
      ->add_option(T("BEFEHL", "COMMAND"), thema, T("der Befehl", "the command"))
      ->type_name("");

  // Each command's help ends with its example and the exit statuses.
  const char* beispiele[][3] = {
      {"scan", "zpk3x-cli --port /dev/ttyUSB0 scan", ""},
      {"id", "zpk3x-cli --port 1 id", ""},
      {"status", "zpk3x-cli --port 1 --json status", ""},
      {"get", "zpk3x-cli --port 1 get", ""},
      {"start", "zpk3x-cli --port 1 load 3 && zpk3x-cli --port 1 start", ""},
      {"stop", "zpk3x-cli --port 1 stop", ""},
      {"clear", "zpk3x-cli --port 1 clear", ""},
      {"calibrate", "zpk3x-cli --port 1 calibrate", ""},
      {"ports", "zpk3x-cli ports", ""},
      {"load", "zpk3x-cli --port 1 load 3", ""},
      {"store", "zpk3x-cli --port 1 store 5", ""},
      {"read", "zpk3x-cli --port 1 read all -o programme.zpk", "zpk3x-cli --port 1 read all -o programs.zpk"},
      {"write", "zpk3x-cli --port 1 write 3 -i programme.json", "zpk3x-cli --port 1 write 3 -i programs.json"},
      {"diff", "zpk3x-cli --port 1 diff programme.zpk 3", "zpk3x-cli --port 1 diff programs.zpk 3"},
      {"show", "zpk3x-cli show programme.csv", "zpk3x-cli show programs.csv"},
      {"convert", "zpk3x-cli convert programme.zpk programme.csv", "zpk3x-cli convert programs.zpk programs.csv"},
      {"monitor", "zpk3x-cli --port 1 monitor --interval 0.5 --duration 60 -o lauf.csv",
       "zpk3x-cli --port 1 monitor --interval 0.5 --duration 60 -o run.csv"},
      {"help", "zpk3x-cli help write", ""},
  };
  for (const auto& b : beispiele)
    app.get_subcommand(b[0])->footer(T("Beispiel:\n  ", "Example:\n  ") + T(b[1], b[2][0] != '\0' ? b[2] : b[1]) + "\n\n" + status);

  HilfeOrdnen(&app, T("Optionen", "Options"), en);
  // The version as one JSON object too, as every other output with --json.
  if (o.json) {
    for (int i = 1; i < argc; ++i) {
      if (std::strcmp(argv[i], "--version") != 0) continue;
      JsonAusgeben({{"name", "zpk3x-cli"}, {"version", ZPK3X_VERSION}});
      return AusgabePruefen(EXIT_OK);
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return AusgabePruefen(app.exit(e));  // --help, --version
    // Every usage error ends by pointing to the help of what was typed.
    const std::string wort = Befehlswort(argc, argv);
    const std::string hilfe = "\n" + T("Hilfe: zpk3x-cli ", "see: zpk3x-cli ") +
                              (BefehlNamens(app, wort) != nullptr ? wort + " " : std::string()) + "--help";
    if (const std::string vorab = Vorpruefung(app, argc, argv); !vorab.empty())
      return FehlerMelden(o, AUFRUF_FEHLER, "\n" + vorab + hilfe);
    if (const std::string option = UnbekannteOption(app, argc, argv); !option.empty())
      return FehlerMelden(o, AUFRUF_FEHLER, "\n" + option + hilfe);
    // An unknown command word is named, with the nearest command.
    if (app.get_subcommands().empty() && !wort.empty())
      return FehlerMelden(o, AUFRUF_FEHLER, "\n" + UnbekannterBefehl(app, wort) + hilfe);
    return FehlerMelden(o, AUFRUF_FEHLER, "\n" + ParserMeldung(e, app) + hilfe);
  }
  if (app.got_subcommand("help")) return HilfeZeigen(o, app, thema);
  if (!lang.empty()) o.englisch = lang == "en";
  o.portGegeben = portOption->count() > 0;
  o.befehl = app.get_subcommands().front()->get_name();
  return BefehlAusfuehren(o);
}

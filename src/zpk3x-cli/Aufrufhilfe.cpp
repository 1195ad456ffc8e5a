#include "zpk3x-cli/Aufrufhilfe.h"

#include <algorithm>
#include <regex>
#include <sstream>
#include <vector>

#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Vorschlag.h"

namespace {

// Whether the command takes the global option (its long name without dashes).
bool Nimmt(const std::string& befehl, const std::string& option) {
  const bool datei = befehl == "show" || befehl == "convert";
  const bool beides = befehl == "read" || befehl == "write" || befehl == "diff";
  if (option == "lang") return true;
  if (befehl == "help" || option == "help" || option == "version") return false;
  if (option == "json" || option == "quiet") return true;
  if (option == "format") return datei || beides;
  // The connection and its trace: every command that talks to the device.
  return !datei && befehl != "ports";
}

class Format : public CLI::Formatter {
 public:
  explicit Format(std::string titel) : titel_(std::move(titel)) {}

  std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override {
    const CLI::App* eltern = app->get_parent();
    if (eltern == nullptr || mode == CLI::AppFormatMode::Sub) return CLI::Formatter::make_help(app, name, mode);
    // Options of the whole program work before the command and after it alike.
    std::vector<const CLI::Option*> globale;
    for (const CLI::Option* opt : eltern->get_options())
      if (!opt->get_lnames().empty() && Nimmt(app->get_name(), opt->get_lnames().front())) globale.push_back(opt);
    std::stringstream aus;
    aus << make_description(app) << make_usage(app, name) << make_positionals(app) << make_groups(app, mode)
        << make_group(titel_, false, globale) << '\n'
        << make_footer(app);
    return aus.str();
  }

 private:
  std::string titel_;
};

// The words of an ExtrasError in the order of the command line (the parser
// lists them backwards).
std::vector<std::string> Woerter(const std::string& liste) {
  std::vector<std::string> w;
  std::istringstream ein(liste);
  for (std::string s; ein >> s;) w.push_back(s);
  std::reverse(w.begin(), w.end());
  return w;
}

std::string Verbunden(const std::vector<std::string>& w) {
  std::string aus;
  for (const std::string& s : w) aus += (aus.empty() ? "" : " ") + s;
  return aus;
}

void LangeNamen(const CLI::App& app, std::vector<std::string>* namen) {
  for (const CLI::Option* opt : app.get_options())
    for (const std::string& n : opt->get_lnames()) namen->push_back("--" + n);
}

// The long options of the program and of the command given (of every command
// when none was recognised).
std::vector<std::string> Optionsnamen(const CLI::App& app) {
  std::vector<std::string> namen;
  LangeNamen(app, &namen);
  std::vector<const CLI::App*> befehle;
  for (const CLI::App* b : app.get_subcommands()) befehle.push_back(b);
  if (befehle.empty()) befehle = app.get_subcommands({});
  for (const CLI::App* b : befehle) LangeNamen(*b, &namen);
  return namen;
}

// "unknown option: --prot; did you mean: --port".
std::string Unbekannt(const char* art, const std::string& wort, const std::string& naeher) {
  return art + wort + (naeher.empty() ? "" : T("; gemeint ist wohl: ", "; did you mean: ") + naeher);
}

std::string UnbekannteOptionText(const std::string& wort, const std::vector<std::string>& namen) {
  const std::string naeher = wort.compare(0, 2, "--") == 0 ? Vorschlag(wort.substr(0, wort.find('=')), namen) : "";
  return Unbekannt(T("unbekannte Option: ", "unknown option: "), wort, naeher);
}

struct Muster {
  const char* englisch;  // a regular expression over the parser's whole message
  const char* deutsch;   // its German form, $1... for the parts matched
};

// The parser's messages that this program's options can give.
const Muster kMuster[] = {
    {"A subcommand is required", "Befehl fehlt"},
    {"(.+) is required", "$1 fehlt"},
    {"(.+): Value (.+) not in range (.+) to (.+)", "$1: $2 ist keine Zahl von $3 bis $4"},
    {"(.+): (.*) not in \\{(.*)\\}", "$1: $2 ist keiner der Werte $3"},
    {"(.+): 1 required (.+) missing", "$1: Wert fehlt ($2)"},
    {"(.+): ([0-9]+) required (.+) missing", "$1: $2 Werte fehlen ($3)"},
    {"Expected exactly ([0-9]+) arguments to (.+), got ([0-9]+)", "$2 erwartet genau $1 Werte, bekam $3"},
    {"Expected at least ([0-9]+) arguments to (.+), got ([0-9]+)", "$2 erwartet mindestens $1 Werte, bekam $3"},
    {"(.+): At least ([0-9]+) required but received ([0-9]+)", "$1: mindestens $2 Werte nötig, bekam $3"},
    {"(.+): At Most ([0-9]+) required but received ([0-9]+)", "$1: höchstens $2 Werte erlaubt, bekam $3"},
    {"(.+) was given a disallowed flag override", "$1: dieser Wert ist für den Schalter nicht erlaubt"},
    {"(.+) requires (.+)", "$1 braucht $2"},
    {"(.+) excludes (.+)", "$1 schließt $2 aus"},
    {"The value (.+) is not an allowed value for (.+)", "$1 ist kein erlaubter Wert für $2"},
    {"Could not convert: (.+) = (.*)", "$1: $2 ist nicht umzuwandeln"},
    {"(.+): too many inputs for a flag", "$1: zu viele Werte für einen Schalter"},
    {"(.+): Should be true/false or a number", "$1: true, false oder eine Zahl erwartet"},
};

std::string Deutsch(const std::string& text) {
  for (const Muster& m : kMuster) {
    const std::regex r(m.englisch);
    if (std::regex_match(text, r)) return std::regex_replace(text, r, m.deutsch);
  }
  return text;
}

}  // namespace

std::shared_ptr<CLI::Formatter> Hilfeformat(const std::string& globaleTitel) {
  return std::make_shared<Format>(globaleTitel);
}

std::string ParserMeldung(const CLI::ParseError& fehler, const CLI::App& app) {
  const std::string text = fehler.what();
  // Its name is the program's, not the class's, when the parser gives one.
  if (dynamic_cast<const CLI::ExtrasError*>(&fehler) != nullptr) {
    const std::string::size_type doppelpunkt = text.find(": ");
    const std::vector<std::string> woerter =
        Woerter(doppelpunkt == std::string::npos ? "" : text.substr(doppelpunkt + 2));
    for (const std::string& w : woerter)
      if (w.size() >= 2 && w[0] == '-') return UnbekannteOptionText(w, Optionsnamen(app));
    if (woerter.size() == 1) return T("unerwartetes Argument: ", "unexpected argument: ") + woerter[0];
    return T("unerwartete Argumente: ", "unexpected arguments: ") + Verbunden(woerter);
  }
  return Englisch() ? text : Deutsch(text);
}

std::string UnbekannteOption(const CLI::App& app, int argc, char** argv) {
  const std::vector<std::string> namen = Optionsnamen(app);
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--") break;
    if (a.size() < 3 || a.compare(0, 2, "--") != 0) continue;
    if (std::find(namen.begin(), namen.end(), a.substr(0, a.find('='))) == namen.end())
      return UnbekannteOptionText(a, namen);
  }
  return "";
}

const CLI::App* BefehlNamens(const CLI::App& app, const std::string& name) {
  for (const CLI::App* b : app.get_subcommands({}))
    if (b->get_name() == name) return b;
  return nullptr;
}

std::string Vorpruefung(const CLI::App& app, int argc, char** argv) {
  const CLI::App* befehl = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string w = argv[i];
    if (w == "--") break;
    if (w.size() < 2 || w[0] != '-') {
      if (befehl == nullptr) befehl = BefehlNamens(app, w);
      continue;
    }
    const std::string name = w.substr(0, w.find('='));
    const CLI::Option* opt = befehl != nullptr ? befehl->get_option_no_throw(name) : nullptr;
    if (opt == nullptr) opt = app.get_option_no_throw(name);
    if (opt == nullptr && befehl == nullptr) {
      for (const CLI::App* b : app.get_subcommands({})) {
        if (b->get_option_no_throw(name) != nullptr)
          return name + T(" ist eine Option von ", " is an option of ") + b->get_name() +
                 T(": nach dem Befehl angeben", ": give it after the command");
      }
    }
    if (opt == nullptr) {
      if (w[1] == '-') continue;  // a long one: named with the nearest by UnbekannteOption
      // "-dash.zpk" may be meant as a file name.
      return T("unbekannte Option: ", "unknown option: ") + w +
             (w.size() > 2 ? T("; ein Dateiname, der mit - beginnt, steht nach -- oder als ./", "; a file name that begins with - goes after -- or as ./") + w
                           : "");
    }
    if (opt->get_items_expected_min() > 0 && w.find('=') == std::string::npos) {
      const bool fehlt = i + 1 >= argc || (std::string(argv[i + 1]).rfind("--", 0) == 0);
      if (fehlt)
        return opt->get_name() + T(": Wert fehlt (", ": the value is missing (") + opt->get_type_name().substr(0, opt->get_type_name().find(':')) +
               ")";
      ++i;
    }
  }
  return "";
}

std::string UnbekannterBefehl(const CLI::App& app, const std::string& wort) {
  std::vector<std::string> namen;
  for (const CLI::App* s : app.get_subcommands({})) namen.push_back(s->get_name());
  return Unbekannt(T("unbekannter Befehl: ", "unknown command: "), wort, Vorschlag(wort, namen));
}

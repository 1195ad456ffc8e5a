#pragma once
// The argument parser's help and messages as the rest of the command speaks:
// in the language of the run, a command's help with the options that go before
// it, and a mistyped option answered with the nearest one.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

// The help's layout: a command's help lists, after its own options, the global
// options under `globaleTitel`.
std::shared_ptr<CLI::Formatter> Hilfeformat(const std::string& globaleTitel);

// The parser's message for a failure, in the language of the run (Englisch()),
// with the nearest known option where one was mistyped.
std::string ParserMeldung(const CLI::ParseError& fehler, const CLI::App& app);

// An option of the command line that neither the program nor its commands know,
// named with the nearest known one; empty when all are known. A mistyped option
// is the first thing to say: the parser would complain of what it left missing.
std::string UnbekannteOption(const CLI::App& app, int argc, char** argv);

// What the parser would say worse, from the words as typed: an option of a
// command standing before the command, an option without its value, a short
// option nobody knows. Empty when none of these.
std::string Vorpruefung(const CLI::App& app, int argc, char** argv);
// The command of that name; nullptr for none.
const CLI::App* BefehlNamens(const CLI::App& app, const std::string& name);

// "unknown command: stat; did you mean: status".
std::string UnbekannterBefehl(const CLI::App& app, const std::string& wort);

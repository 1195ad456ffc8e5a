#pragma once
// zpk3x-cli test: runs a test plan on the device and keeps its record.
#include <CLI/CLI.hpp>
#include <string>

#include "zpk3x-cli/Befehle.h"

// The unit failed a limit: distinct from success and from every error status.
constexpr int EXIT_PRUEFUNG_FAIL = 1;

// Adds the command "test" and its options to the parser.
void PruefbefehlAnmelden(CLI::App& app, Optionen& o, const std::string& gruppe);

// Runs it; an exit status.
int Pruefen(const Optionen& o);

#pragma once
// Checks of option values, before anything uses them.
#include <CLI/CLI.hpp>

// A real option's value: a finite number from `minimum` to `maximum`, with a
// decimal point in every locale. A plain range check lets NaN through (every
// comparison with it is false), and the infinities overflow the clock's
// arithmetic; both are refused here, naming the range.
CLI::Validator ReellerBereich(double minimum, double maximum);

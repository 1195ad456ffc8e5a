#include "zpk3x-cli/Optionspruefung.h"

#include <charconv>
#include <cmath>
#include <string>

#include "zpk3x-cli/Ausgabe.h"

namespace {
// Shortest text without an exponent: "1000000000", "0.01".
std::string Fest(double wert) {
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, wert, std::chars_format::fixed);
  return std::string(text, r.ptr);
}
}  // namespace

CLI::Validator ReellerBereich(double minimum, double maximum) {
  const std::string bereich = Fest(minimum) + T(" bis ", " to ") + Fest(maximum);
  return CLI::Validator(
      [minimum, maximum, bereich](std::string& text) -> std::string {
        const char* anfang = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
        const char* ende = text.data() + text.size();
        double wert = 0;
        const auto [p, ec] = std::from_chars(anfang, ende, wert, std::chars_format::general);
        if (ec == std::errc() && p == ende && std::isfinite(wert) && wert >= minimum && wert <= maximum) return {};
        return text + T(" ist keine Zahl von ", " is not a number from ") + bereich;
      },
      "[" + Fest(minimum) + " - " + Fest(maximum) + "]");
}

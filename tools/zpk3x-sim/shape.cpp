#include "shape.h"

#include <cmath>
#include <string>

#include "control.h"

namespace zpksim {

double Shape::current(double setCurrent, double ms) const {
  double i = setCurrent;
  if (ms < overshootMs) i *= 1.0 + overshoot;
  if (ms >= sagAfterMs) i *= sag;
  return i;
}

unsigned Shape::status(unsigned word, double ms) const { return ms >= raiseAfterMs ? word | raise : word; }

namespace {

bool number(std::string_view w, double& out) { return parseReal(w, out) && std::isfinite(out) && out >= 0; }

ControlReply failed(const char* usage) {
  ControlReply r;
  r.ok = false;
  r.error = usage;
  return r;
}

}  // namespace

ControlReply shapeControl(const std::vector<std::string_view>& w, Shape& s) {
  if (w.size() == 2 && w[1] == "none") {
    s = Shape();
    return {};
  }
  if (w.size() >= 3 && w[1] == "sag") {
    double f, after = 0;
    if (!number(w[2], f) || w.size() > 4 || (w.size() == 4 && !number(w[3], after))) return failed("usage: shape sag <factor> [<after ms>]");
    s.sag = f;
    s.sagAfterMs = after;
    return {};
  }
  if (w.size() == 4 && w[1] == "overshoot") {
    double f, ms;
    if (!number(w[2], f) || !number(w[3], ms)) return failed("usage: shape overshoot <fraction> <ms>");
    s.overshoot = f;
    s.overshootMs = ms;
    return {};
  }
  if (w.size() >= 3 && w[1] == "raise") {
    unsigned bits;
    double after = 0;
    if (!parseHex(w[2], bits) || w.size() > 4 || (w.size() == 4 && !number(w[3], after)))
      return failed("usage: shape raise <hex> [<after ms>]");
    s.raise = bits;
    s.raiseAfterMs = after;
    return {};
  }
  return failed("usage: shape sag|overshoot|raise|none ...");
}

}  // namespace zpksim

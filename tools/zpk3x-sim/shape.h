#pragma once
// How the simulated process departs from its settings, for test plans: the
// current sags or overshoots, status bits come up while it runs. Times count
// from the start of the process.
#include <string_view>
#include <vector>

namespace zpksim {

struct ControlReply;

struct Shape {
  double sag = 1.0;        // factor on the current ...
  double sagAfterMs = 0;   // ... from this time on
  double overshoot = 0;    // fraction added to the current ...
  double overshootMs = 0;  // ... until this time
  unsigned raise = 0;      // bits ORed into the status word ...
  double raiseAfterMs = 0; // ... from this time on

  double current(double setCurrent, double msSinceStart) const;
  unsigned status(unsigned word, double msSinceStart) const;
};

// "shape sag <factor> [<after ms>]", "shape overshoot <fraction> <ms>",
// "shape raise <hex> [<after ms>]", "shape none".
ControlReply shapeControl(const std::vector<std::string_view>& words, Shape& shape);

}  // namespace zpksim

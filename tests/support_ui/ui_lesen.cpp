#include "support_ui/ui_lesen.h"

#include "toolkit/toolkit.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace uitest {
namespace {
int Fenster(int panel) { return panel < 0 ? gPanelHandle : panel; }
}  // namespace

int Ganzzahl(int control, int panel) {
  int v = -12345;
  GetCtrlVal(Fenster(panel), control, &v);
  return v;
}

double Zahl(int control, int panel) {
  double v = -12345.0;
  GetCtrlVal(Fenster(panel), control, &v);
  return v;
}

std::string Text(int control, int panel) {
  std::string t = "?";
  GetCtrlString(Fenster(panel), control, &t);
  return t;
}

int Sichtbar(int control, int panel) {
  int v = -1;
  GetCtrlAttribute(Fenster(panel), control, ATTR_VISIBLE, &v);
  return v;
}

}  // namespace uitest

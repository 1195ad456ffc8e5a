// The window as one station of the MQTT benchmark: the whole program offscreen,
// its continuous query switched on as the operator does, for SECONDS; port,
// rate and MQTT settings from zpk3xSteuerung.ini in the working folder and the
// environment.
//   zpk3x_fenster_station SECONDS
#include <cstdlib>

#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"

namespace {

int gMillisekunden = 0;

void Lauf() {
  TestPopupAutomation(true);
  TestOperatorClick(gPanelHandle, MAINPANEL_DAUERNDABFRAGEN);
  TestRunEvents(gMillisekunden);
  TestOperatorClick(gPanelHandle, MAINPANEL_DAUERNDABFRAGEN);
  QuitUserInterface(0);
}

}  // namespace

int main(int argc, char** argv) {
  gMillisekunden = argc > 1 ? static_cast<int>(std::atof(argv[1]) * 1000) : 10000;
  TestOnLoopStart(Lauf);
  char name[] = "zpk3x";
  char* argumente[] = {name, nullptr};
  return Zpk3xMain(1, argumente);
}

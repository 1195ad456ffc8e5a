#pragma once
// Reading controls through the toolkit, for tests that check what the window
// shows. The panel defaults to the operator window (gPanelHandle). Each reader
// gives an impossible value when the control cannot be read.
#include <string>

namespace uitest {

int Ganzzahl(int control, int panel = -1);
double Zahl(int control, int panel = -1);
std::string Text(int control, int panel = -1);
int Sichtbar(int control, int panel = -1);

}  // namespace uitest

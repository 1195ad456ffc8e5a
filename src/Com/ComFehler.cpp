// Error area of the operator window: lamp, message and number of the last
// device or connection action.
#include <cstdint>
#include <limits>
#include <string>

#include "Com/Com.h"
#include "OLQ_errorV3/OLQ_errorV3.h"
#include "olqzpk3x/olqzpk3x.h"
#include "toolkit/toolkit.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

void ComFehlerSetzen(ErrorCode code) {
  // A lost line is closed before it is reported, so the picture shows it at once.
  if (code == OLQZPK3X_LEITUNG_GETRENNT) ComLeitungGetrennt();
  if (code == 0) {
    SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERLED, 0);
    SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERSTRING, "");
    SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERNUMMER, 0);
    return;
  }
  SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERLED, 1);
  // A failed open says what the serial layer knows beyond the code, after the catalogue's text.
  std::string text = OLQ_Fehlermeldung(code);
  if (const std::string grund = ComOeffnungsgrund(code); !grund.empty()) text += ": " + grund;
  SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERSTRING, text.c_str());
  // Turned in 64 bits: the most negative code has no positive twin in an int.
  const std::int64_t nummer = -static_cast<std::int64_t>(code);
  const std::int64_t grenze = std::numeric_limits<int>::max();
  SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERNUMMER, static_cast<int>(nummer > grenze ? grenze : nummer));
}

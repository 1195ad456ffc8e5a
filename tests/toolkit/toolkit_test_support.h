#pragma once
// Shared set-up of the toolkit tests: the toolkit started on the offscreen
// platform, a distinct stand-in for every callback the resources name, and a
// record of the events they received (with the name they were bound under).
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tktest {

struct Event {
  std::string callback;
  int panel = 0;
  int control = 0;  // menu item for menu callbacks
  int event = 0;
  int data1 = 0;
};

inline std::vector<Event>& events() {
  static std::vector<Event> e;
  return e;
}

inline std::vector<Event> eventsOf(int event) {
  std::vector<Event> out;
  for (const Event& e : events())
    if (e.event == event) out.push_back(e);
  return out;
}

inline const std::vector<std::string>& ctrlCallbackNames() {
  static const std::vector<std::string> n = {
      "Callback_Ring_Parametersatz", "Callback_Button_Zpk3Lesen", "Callback_Button_Zpk3Schreiben",
      "Callback_Button_ProgrammLaden", "Callback_Button_ProgrammSpeichern", "Callback_Button_Zpk3Start",
      "Callback_Button_Zpk3Stopp", "Callback_Button_Zpk3FehlerLoeschen", "Callback_Button_Zpk3Kalibrieren",
      "Callback_Multi_Parameter", "Callback_Button_Abfragen", "Callback_Toggle_DauerndAbfragen",
      "Callback_Button_StatusInfo", "Callback_Ring_ComPicture", "Callback_Timer",
      "Callback_Multi_ComEinstellungen", "Callback_Button_IdLesen", "Callback_Button_Scan",
      "Callback_Button_CompanelSchliessen", "Callback_Button_InfoOk", "Callback_Button_Verlauf"};
  return n;
}

inline const std::vector<std::string>& menuCallbackNames() {
  static const std::vector<std::string> n = {"Callback_Menu_Neu",           "Callback_Menu_Oeffnen",
                                             "Callback_Menu_Speichern",     "Callback_Menu_SpeichernUnter",
                                             "Callback_Menu_Beenden",       "Callback_Menu_ComEinstellung",
                                             "Callback_Menu_Sprache",       "Callback_Menu_Info",
                                             "Callback_Menu_Verlauf",       "Callback_Menu_Pruefplan"};
  return n;
}

template <size_t N>
int ctrlStandIn(int panel, int control, int event, void*, int d1, int) {
  events().push_back({ctrlCallbackNames()[N], panel, control, event, d1});
  return 0;
}

template <size_t N>
void menuStandIn(int, int item, void*, int panel) {
  events().push_back({menuCallbackNames()[N], panel, item, EVENT_COMMIT, 0});
}

inline int panelStandIn(int panel, int event, void*, int d1, int) {
  events().push_back({"Callback_Panel_Main", panel, 0, event, d1});
  return 0;
}

template <size_t... I>
void registerCtrl(std::index_sequence<I...>) {
  (RegisterCtrlCallback(ctrlCallbackNames()[I].c_str(), &ctrlStandIn<I>), ...);
}
template <size_t... I>
void registerMenu(std::index_sequence<I...>) {
  (RegisterMenuCallback(menuCallbackNames()[I].c_str(), &menuStandIn<I>), ...);
}

// Starts the toolkit; with `registerAll`, stand-ins for every callback.
inline void startToolkit(bool registerAll = true) {
  static char name[] = "toolkit_tests";
  static char* argv[] = {name, nullptr};
  ASSERT_EQ(InitUserInterface(1, argv), 1);
  if (registerAll) {
    registerCtrl(std::make_index_sequence<21>());
    registerMenu(std::make_index_sequence<10>());
    RegisterPanelCallback("Callback_Panel_Main", &panelStandIn);
  }
}

struct WindowSet {
  int main = -1, com = -1, info = -1;
};

// The three windows of one edition, as the program loads them.
inline WindowSet loadWindows(const char* file) {
  WindowSet w;
  w.main = LoadPanel(0, file, MAINPANEL);
  if (w.main > 0) w.com = LoadPanel(w.main, file, COMPANEL);
  w.info = LoadPanel(0, file, INFOPANEL);
  return w;
}

constexpr const char* kGerman = "zpk3xSteuerung.uir";
constexpr const char* kEnglish = "zpk3xSteuerung_en.uir";

// The German windows loaded as the program loads them, the operator window shown,
// stand-ins for every callback and an empty event record.
class GermanWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    startToolkit();
    events().clear();
    w = loadWindows(kGerman);
    ASSERT_GT(w.main, 0);
    ASSERT_EQ(DisplayPanel(w.main), 0);
  }
  WindowSet w;
};

}  // namespace tktest

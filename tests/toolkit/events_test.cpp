// Events from the operator's actions reach the callbacks named in the resources,
// one at a time; the loop, the timer and modal popups.
#include "toolkit_test_support.h"

#include <chrono>
#include <thread>

using namespace tktest;

namespace {

using Events = GermanWindows;

int gTicksInside = 0;
int gTicks = 0;
int countTick(int, int, int event, void*, int, int) {
  if (event == EVENT_TIMER_TICK) ++gTicks;
  return 0;
}
// A callback that keeps the loop busy and lets pending events run once.
int busyButton(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  const int before = gTicks;
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  ProcessSystemEvents();
  gTicksInside += gTicks - before;
  return 0;
}

}  // namespace

TEST_F(Events, AClickCommitsToTheButtonsCallback) {
  ASSERT_EQ(TestOperatorClick(w.main, MAINPANEL_ZPK3START), 0);
  auto commits = eventsOf(EVENT_COMMIT);
  ASSERT_EQ(commits.size(), 1u);
  EXPECT_EQ(commits[0].callback, "Callback_Button_Zpk3Start");
  EXPECT_EQ(commits[0].panel, w.main);
  EXPECT_EQ(commits[0].control, MAINPANEL_ZPK3START);
  // The press arrives first, as a left click.
  ASSERT_GE(events().size(), 2u);
  EXPECT_EQ(events().front().event, EVENT_LEFT_CLICK);
  EXPECT_EQ(events().back().event, EVENT_COMMIT);
}

TEST_F(Events, NumericFieldCommitsOnEnterOnlyWhenTheValueChanged) {
  ASSERT_EQ(TestOperatorSetValue(w.main, MAINPANEL_STROM2, 1.25), 0);
  auto commits = eventsOf(EVENT_COMMIT);
  ASSERT_EQ(commits.size(), 1u);
  EXPECT_EQ(commits[0].callback, "Callback_Multi_Parameter");
  EXPECT_EQ(commits[0].control, MAINPANEL_STROM2);
  double v = 0;
  ASSERT_EQ(GetCtrlVal(w.main, MAINPANEL_STROM2, &v), 0);
  EXPECT_DOUBLE_EQ(v, 1.25);
  // The same value again: nothing changed, nothing committed.
  ASSERT_EQ(TestOperatorSetValue(w.main, MAINPANEL_STROM2, 1.25), 0);
  EXPECT_EQ(eventsOf(EVENT_COMMIT).size(), 1u);
  // Enter arrives as a key press with its code too.
  bool sawEnter = false;
  for (const Event& e : eventsOf(EVENT_KEYPRESS)) sawEnter |= e.data1 == VAL_ENTER_VKEY;
  EXPECT_TRUE(sawEnter);
}

TEST_F(Events, LeavingTheFieldCommitsAndFocusIsReported) {
  ASSERT_EQ(TestOperatorType(w.main, MAINPANEL_ZYKLEN, "77"), 0);
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_ZYKLEN, VAL_TAB_VKEY), 0);
  auto commits = eventsOf(EVENT_COMMIT);
  ASSERT_EQ(commits.size(), 1u);
  EXPECT_EQ(commits[0].control, MAINPANEL_ZYKLEN);
  double v = 0;
  GetCtrlVal(w.main, MAINPANEL_ZYKLEN, &v);
  EXPECT_DOUBLE_EQ(v, 77);
  bool got = false, lost = false;
  for (const Event& e : events()) {
    got |= e.event == EVENT_GOT_FOCUS && e.control == MAINPANEL_ZYKLEN;
    lost |= e.event == EVENT_LOST_FOCUS && e.control == MAINPANEL_ZYKLEN;
  }
  EXPECT_TRUE(got);
  EXPECT_TRUE(lost);
}

TEST_F(Events, EachArrowStepCommits) {
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_ZEIT1, VAL_UP_ARROW_VKEY), 0);
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_ZEIT1, VAL_UP_ARROW_VKEY), 0);
  EXPECT_EQ(eventsOf(EVENT_COMMIT).size(), 2u);
  double v = 0;
  GetCtrlVal(w.main, MAINPANEL_ZEIT1, &v);
  EXPECT_DOUBLE_EQ(v, 1002);
  // At the upper end a step changes nothing and commits nothing.
  SetCtrlVal(w.main, MAINPANEL_ZYKLEN, 65534.0);
  events().clear();
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_ZYKLEN, VAL_UP_ARROW_VKEY), 0);
  EXPECT_TRUE(eventsOf(EVENT_COMMIT).empty());
}

TEST_F(Events, ATypedValueIsCommittedBeforeAButtonOrMenuActs) {
  ASSERT_EQ(TestOperatorType(w.main, MAINPANEL_ZEIT2, "2500"), 0);
  EXPECT_TRUE(eventsOf(EVENT_COMMIT).empty());
  double v = 0;
  GetCtrlVal(w.main, MAINPANEL_ZEIT2, &v);
  EXPECT_DOUBLE_EQ(v, 1000);  // not confirmed yet
  ASSERT_EQ(TestOperatorClick(w.main, MAINPANEL_ZPK3SCHREIBEN), 0);
  auto commits = eventsOf(EVENT_COMMIT);
  ASSERT_EQ(commits.size(), 2u);
  EXPECT_EQ(commits[0].control, MAINPANEL_ZEIT2);
  EXPECT_EQ(commits[1].control, MAINPANEL_ZPK3SCHREIBEN);
  GetCtrlVal(w.main, MAINPANEL_ZEIT2, &v);
  EXPECT_DOUBLE_EQ(v, 2500);

  events().clear();
  ASSERT_EQ(TestOperatorType(w.main, MAINPANEL_FREQUENZ, "50"), 0);
  ASSERT_EQ(TestOperatorMenu(w.main, MENUBAR_MENU_SPEICHERN), 0);
  ASSERT_EQ(events().size() >= 2, true);
  auto all = events();
  EXPECT_EQ(all[all.size() - 2].control, MAINPANEL_FREQUENZ);
  EXPECT_EQ(all.back().callback, "Callback_Menu_Speichern");
}

TEST_F(Events, RingsAndTogglesCommitTheOperatorsChoice) {
  ASSERT_EQ(TestOperatorSetValue(w.main, MAINPANEL_STROMKURVE, 7), 0);
  ASSERT_EQ(TestOperatorSetValue(w.main, MAINPANEL_STROMKURVE, 7), 0);  // same item again
  ASSERT_EQ(TestOperatorClick(w.main, MAINPANEL_DAUERNDABFRAGEN), 0);
  auto commits = eventsOf(EVENT_COMMIT);
  ASSERT_EQ(commits.size(), 2u);
  EXPECT_EQ(commits[0].control, MAINPANEL_STROMKURVE);
  EXPECT_EQ(commits[1].callback, "Callback_Toggle_DauerndAbfragen");
  int curve = 0, toggle = 0;
  GetCtrlVal(w.main, MAINPANEL_STROMKURVE, &curve);
  GetCtrlVal(w.main, MAINPANEL_DAUERNDABFRAGEN, &toggle);
  EXPECT_EQ(curve, 7);
  EXPECT_EQ(toggle, 1);
  EXPECT_EQ(TestOperatorSetValue(w.main, MAINPANEL_STROMKURVE, 13), UIE_BAD_VALUE_TYPE);  // no such item
}

TEST_F(Events, PictureRingReportsClicksEnterAndSpace) {
  ASSERT_EQ(TestOperatorClick(w.main, MAINPANEL_COMPICTURERING), 0);
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_COMPICTURERING, VAL_ENTER_VKEY), 0);
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_COMPICTURERING, VAL_SPACE_KEY), 0);
  std::vector<std::pair<int, int>> got;
  for (const Event& e : events())
    if (e.callback == "Callback_Ring_ComPicture" && (e.event == EVENT_LEFT_CLICK || e.event == EVENT_KEYPRESS))
      got.emplace_back(e.event, e.data1);
  const std::vector<std::pair<int, int>> want{{EVENT_LEFT_CLICK, 0}, {EVENT_KEYPRESS, 1280}, {EVENT_KEYPRESS, 32}};
  EXPECT_EQ(got, want);
}

TEST_F(Events, CloseBoxReachesThePanelCallbackAndLeavesTheWindowOpen) {
  ASSERT_EQ(TestOperatorClose(w.main), 0);
  auto closes = eventsOf(EVENT_CLOSE);
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_EQ(closes[0].callback, "Callback_Panel_Main");
  EXPECT_EQ(closes[0].panel, w.main);
  EXPECT_EQ(TestPanelVisible(w.main), 1);
  // A window without a panel callback simply closes.
  ASSERT_EQ(DisplayPanel(w.com), 0);
  ASSERT_EQ(TestOperatorClose(w.com), 0);
  EXPECT_EQ(TestPanelVisible(w.com), 0);
}

TEST_F(Events, MenuItemsCallWithBarItemAndPanel) {
  ASSERT_EQ(TestOperatorMenu(w.main, MENUBAR_EINSTELLUNGEN_SPRACHE_EN), 0);
  ASSERT_EQ(TestOperatorMenu(w.main, MENUBAR_HILFE_INFO), 0);
  ASSERT_EQ(events().size(), 2u);
  EXPECT_EQ(events()[0].callback, "Callback_Menu_Sprache");
  EXPECT_EQ(events()[0].control, MENUBAR_EINSTELLUNGEN_SPRACHE_EN);
  EXPECT_EQ(events()[0].panel, w.main);
  EXPECT_EQ(events()[1].callback, "Callback_Menu_Info");
  EXPECT_EQ(TestOperatorMenu(w.main, MENUBAR_MENU), UIE_BAD_CONTROL_ID);  // a menu is not a command
  EXPECT_EQ(TestOperatorMenu(w.main, 99), UIE_BAD_CONTROL_ID);
}

TEST_F(Events, TimerTicksOnlyWhileEnabled) {
  RegisterCtrlCallback("Callback_Timer", &countTick);
  const int main = LoadPanel(0, kGerman, MAINPANEL);
  gTicks = 0;
  ASSERT_EQ(SetCtrlAttribute(main, MAINPANEL_TIMER, ATTR_INTERVAL, 0.02), 0);
  TestRunEvents(120);
  EXPECT_EQ(gTicks, 0);
  ASSERT_EQ(SetCtrlAttribute(main, MAINPANEL_TIMER, ATTR_ENABLED, 1), 0);
  TestRunEvents(200);
  EXPECT_GE(gTicks, 2);
  ASSERT_EQ(SetCtrlAttribute(main, MAINPANEL_TIMER, ATTR_ENABLED, 0), 0);
  const int stopped = gTicks;
  TestRunEvents(100);
  EXPECT_EQ(gTicks, stopped);
}

TEST_F(Events, NoTimerTickRunsInsideAnotherCallback) {
  RegisterCtrlCallback("Callback_Timer", &countTick);
  RegisterCtrlCallback("Callback_Button_Abfragen", &busyButton);
  const int main = LoadPanel(0, kGerman, MAINPANEL);
  ASSERT_EQ(DisplayPanel(main), 0);
  SetCtrlAttribute(main, MAINPANEL_TIMER, ATTR_INTERVAL, 0.01);
  SetCtrlAttribute(main, MAINPANEL_TIMER, ATTR_ENABLED, 1);
  gTicks = 0;
  gTicksInside = 0;
  ASSERT_EQ(TestOperatorClick(main, MAINPANEL_ABFRAGEN), 0);
  EXPECT_EQ(gTicksInside, 0);
  TestRunEvents(80);
  EXPECT_GT(gTicks, 0);  // between callbacks it ticks again
}

namespace {
int gLoopPanel = 0;
void quitFromMenu(int, int, void*, int) { QuitUserInterface(7); }
}  // namespace

TEST_F(Events, LoopRunsUntilACallbackQuits) {
  RegisterMenuCallback("Callback_Menu_Beenden", &quitFromMenu);
  gLoopPanel = LoadPanel(0, kEnglish, MAINPANEL);
  ASSERT_EQ(DisplayPanel(gLoopPanel), 0);
  TestOnLoopStart([] { TestOperatorMenu(gLoopPanel, MENUBAR_MENU_BEENDEN); });
  EXPECT_EQ(RunUserInterface(), 7);
  // Asked to quit with no loop running: the next run ends at once.
  QuitUserInterface(3);
  EXPECT_EQ(RunUserInterface(), 3);
}

TEST_F(Events, ModalPopupBlocksTheOtherWindowsUntilRemoved) {
  ASSERT_EQ(InstallPopup(w.info), 0);
  EXPECT_EQ(TestPanelVisible(w.info), 2);
  EXPECT_EQ(TestOperatorClick(w.main, MAINPANEL_ZPK3START), UIE_NOT_REACHABLE);
  EXPECT_EQ(TestOperatorMenu(w.main, MENUBAR_HILFE_INFO), UIE_NOT_REACHABLE);
  ASSERT_EQ(TestOperatorClick(w.info, INFOPANEL_OK), 0);
  EXPECT_EQ(eventsOf(EVENT_COMMIT).back().callback, "Callback_Button_InfoOk");
  ASSERT_EQ(RemovePopup(0), 0);
  EXPECT_EQ(TestPanelVisible(w.info), 0);
  EXPECT_EQ(TestOperatorClick(w.main, MAINPANEL_ZPK3START), 0);
  EXPECT_EQ(RemovePopup(0), UIE_BAD_PANEL_HANDLE);  // nothing left to remove
  // Installed again, the close box takes it down like its OK button would.
  ASSERT_EQ(InstallPopup(w.info), 0);
  ASSERT_EQ(TestOperatorClose(w.info), 0);
  EXPECT_EQ(TestPanelVisible(w.info), 0);
  EXPECT_EQ(TestOperatorClick(w.main, MAINPANEL_ZPK3START), 0);
}

TEST_F(Events, HiddenOrDimmedControlsCannotBeOperated) {
  EXPECT_EQ(TestOperatorClick(w.com, COMPANEL_SCAN), UIE_NOT_REACHABLE);  // window not shown
  ASSERT_EQ(SetCtrlAttribute(w.main, MAINPANEL_ZPK3START, ATTR_DIMMED, 1), 0);
  EXPECT_EQ(TestOperatorClick(w.main, MAINPANEL_ZPK3START), UIE_NOT_REACHABLE);
  EXPECT_TRUE(eventsOf(EVENT_COMMIT).empty());
}

namespace {
int gDiscardTarget = 0;
int discardOwnWindow(int panel, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) DiscardPanel(panel);
  gDiscardTarget = panel;
  return 0;
}
}  // namespace

TEST_F(Events, ACallbackMayDiscardItsOwnWindow) {
  RegisterCtrlCallback("Callback_Button_InfoOk", &discardOwnWindow);
  const int info = LoadPanel(0, kGerman, INFOPANEL);
  ASSERT_EQ(DisplayPanel(info), 0);
  ASSERT_EQ(TestOperatorClick(info, INFOPANEL_OK), 0);
  TestRunEvents(10);
  EXPECT_EQ(TestPanelVisible(info), 0);
  EXPECT_EQ(DisplayPanel(info), UIE_BAD_PANEL_HANDLE);
}

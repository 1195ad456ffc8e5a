#pragma once
// Test driving of the toolkit: act as the operator on the real widgets, answer
// popups, run the loop for a while, take pictures. Only tests use it.
#include <string>
#include <vector>

// ---- popups ----
// With automation on, popups show no dialog: each one is recorded and answered
// from the queues below (an empty queue answers: MessagePopup OK, GenericMessagePopup
// 3, FileSelectPopup cancel).
void TestPopupAutomation(bool on);
void TestQueueGenericAnswer(int answer);
void TestQueueFileAnswer(int outcome, const std::string& path);
struct TestPopupRecord {
  int kind;                         // 1 message, 2 generic, 3 file select
  std::string title;
  std::string message;              // message text; for file select the default directory
  std::vector<std::string> buttons; // generic: the three labels; file: pattern, type list
  int buttonLabel = 0;              // file select: VAL_SAVE_BUTTON / VAL_LOAD_BUTTON
  int allowMakeDirectory = 0;       // file select
};
std::vector<TestPopupRecord> TestTakePopups();  // popups since the last call, in order

// ---- operator actions (events go through the real widgets, as a person's would) ----
int TestOperatorClick(int panel, int control);               // button, toggle, picture ring, LED
int TestOperatorSetValue(int panel, int control, double value);  // numeric: type + Enter; ring: choose item
int TestOperatorSetValue(int panel, int control, int value);
int TestOperatorSetValue(int panel, int control, char value);    // character ring
int TestOperatorKey(int panel, int control, int keyCode);    // key press on a control
// Types text into a numeric field without confirming it (no Enter, focus stays).
int TestOperatorType(int panel, int control, const std::string& text);
int TestOperatorMenu(int panel, int menuItem);               // menu item of the panel's menu bar
int TestOperatorClose(int panel);                            // the window's close box

// Runs the event loop for `milliseconds` (timer ticks, deferred work), then returns.
void TestRunEvents(int milliseconds);
// Calls `function` once, from inside RunUserInterface, as soon as the loop runs.
void TestOnLoopStart(void (*function)());
// How long the end of the last operator operation took to discard the input
// queued during it (ms), or -1 when none ended yet.
double TestLastInputDrainMilliseconds();
// Writes a PNG of the window (with its children) to `path`. 0 on success.
int TestGrabPanel(int panel, const char* path);
// Whether a panel is shown, and whether it is modal: 0 hidden, 1 shown, 2 shown
// as a modal popup.
int TestPanelVisible(int panel);

// Tests of one module may load the windows without every other module linked:
// with this on, a callback name nobody registered is left unbound instead of
// making LoadPanel fail.
void TestAllowUnboundCallbacks(bool on);
// Forgets every registered callback (windows loaded before keep theirs).
void TestForgetCallbacks();

// ---- what a window holds (to compare the editions) ----
struct TestControlInfo {
  std::string name;      // the widget's name in the resource (the constant without the panel prefix)
  std::string kind;      // button toggle ring numeric led text string picturering picture timer frame progressbar
  std::string callback;  // name in the resource, empty for none
  std::string text;      // caption or text shown
  std::string label;     // label shown with the control
  std::string toolTip;
  double minimum = 0, maximum = 0, increment = 0;
  int precision = 0;
  bool integer = false, indicator = false, characterValues = false;
  std::vector<int> ringValues;
  std::vector<std::string> ringItems;
};
std::vector<int> TestControlIds(int panel);
int TestDescribeControl(int panel, int control, TestControlInfo* info);
struct TestMenuInfo {
  int id = 0;
  std::string name, kind;  // kind: menubar menu submenu entry item separator
  std::string text, callback;
};
std::vector<TestMenuInfo> TestDescribeMenu(int panel);
// Title of a window (also of a child window).
std::string TestPanelTitle(int panel);

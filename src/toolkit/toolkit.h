#pragma once
// Window toolkit: windows, controls, popups, the timer and the event loop, as plain
// functions. Windows are addressed by a handle, controls by the numeric identifier
// their form carries. Only this layer knows the widget library behind it.
//
// Results: 0 (or a handle >= 0) on success, a negative toolkit code on failure.
#include <cstddef>
#include <string>

// ---- events delivered to callbacks ----
enum {
  EVENT_NONE = 0,
  EVENT_COMMIT = 1,
  EVENT_LEFT_CLICK = 3,
  EVENT_KEYPRESS = 7,      // eventData1: key code
  EVENT_GOT_FOCUS = 8,
  EVENT_LOST_FOCUS = 9,
  EVENT_CLOSE = 11,
  EVENT_TIMER_TICK = 15,
};

// Key codes in eventData1 of EVENT_KEYPRESS.
enum { VAL_SPACE_KEY = 32, VAL_ESC_VKEY = 0x300, VAL_ENTER_VKEY = 1280 };
enum { VAL_UP_ARROW_VKEY = 0x600, VAL_DOWN_ARROW_VKEY = 0x700, VAL_TAB_VKEY = 0x400 };

// ---- toolkit error codes ----
enum {
  UIE_OUT_OF_MEMORY = -12,
  UIE_NO_WINDOW_PLATFORM = -1,
  UIE_BAD_PANEL_HANDLE = -42,
  UIE_BAD_CONTROL_ID = -43,
  UIE_RESOURCE_NOT_FOUND = -44,   // resource file or panel number unknown
  UIE_CALLBACK_NOT_FOUND = -45,   // a callback named in the resource was never registered
  UIE_BAD_ATTRIBUTE = -46,
  UIE_BAD_VALUE_TYPE = -47,
};

// ---- callbacks ----
using CtrlCallbackPtr = int (*)(int panel, int control, int event, void* callbackData, int eventData1,
                                int eventData2);
using PanelCallbackPtr = int (*)(int panel, int event, void* callbackData, int eventData1, int eventData2);
using MenuCallbackPtr = void (*)(int menuBar, int menuItem, void* callbackData, int panel);

// Callbacks are named in the resources and bound by name when a window is loaded.
// Each module registers its callbacks before the first LoadPanel.
void RegisterCtrlCallback(const char* name, CtrlCallbackPtr function);
void RegisterPanelCallback(const char* name, PanelCallbackPtr function);
void RegisterMenuCallback(const char* name, MenuCallbackPtr function);

// Why the operator's entry in a numeric field was refused.
enum {
  ENTRY_OUT_OF_RANGE = 1,       // a number outside the field's range
  ENTRY_NOT_WHOLE = 2,          // a whole-number field got more than digits
  ENTRY_NOT_NUMBER = 3,         // not one number with at most one decimal separator
  ENTRY_TOO_MANY_DECIMALS = 4,  // more decimals than the field keeps
};
// After the operator's entry in a numeric field was refused (the field shows its
// committed value again, and the command whose click committed the field is not
// carried out): `reason` is one of ENTRY_*, `allowed` the range as the window
// writes numbers ("25 bis 10000", "0.001 to 9.000"), `decimals` those the field keeps.
using RefusedEntryCallbackPtr = void (*)(int panel, int control, int reason, const char* allowed, int decimals);
void InstallRefusedEntryCallback(RefusedEntryCallbackPtr function);
// Before an operator's command is carried out (button, toggle, ring, picture
// ring, menu item: `control` is then the item) and when an entry in a numeric
// field is accepted.
using OperatorActionCallbackPtr = void (*)(int panel, int control);
void InstallOperatorActionCallback(OperatorActionCallbackPtr function);

// ---- start ----
// Starts the toolkit with the command line. Returns 1 on success, 0 when no window
// platform can be used (then nothing else may be called). Never aborts.
int InitUserInterface(int argc, char* argv[]);
// Language of the toolkit's own texts (file dialog, standard buttons) and of the
// resources loaded afterwards: 2 English, every other value German.
void SetUserInterfaceLanguage(int sprache);

// ---- windows ----
// Loads panel `panelResourceId` (the number its form carries) from the resource
// file ("zpk3xSteuerung.uir" German, "zpk3xSteuerung_en.uir" English). With a
// parent handle the window is a child inside the parent. Returns the handle.
int LoadPanel(int parentPanel, const char* resourceFile, int panelResourceId);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);   // with its child windows
int InstallPopup(int panel);   // shows a loaded window as a modal popup (returns at once)
int RemovePopup(int zero);     // removes the active popup

// ---- event loop ----
int RunUserInterface();        // runs callbacks until QuitUserInterface; returns its code
int QuitUserInterface(int code);
// Lets pending events run (only where a caller explicitly wants it).
int ProcessSystemEvents();
// Draws what the window system asks to have drawn (a window uncovered or just
// shown) while an operator's operation blocks the loop; input stays discarded and
// no timer tick runs. Outside such an operation, and on another thread, it does
// nothing. For waits that last long between updates of the windows (hand it to
// the serial layer's wait hook). Returns 0.
int ProcessDrawEvents();

// While an operator's operation runs, a window's close box is discarded with all
// other input; a long operation that lets the windows draw (ProcessDrawEvents)
// may still heed it: 1 once for each use of `panel`'s close box since the
// operation began, else 0.
int CloseRequested(int panel);

// ---- control values, by the control's kind ----
// Integer controls (integer numerics, rings, LEDs, toggles, picture rings).
int SetCtrlVal(int panel, int control, int value);
int GetCtrlVal(int panel, int control, int* value);
// Real numerics.
int SetCtrlVal(int panel, int control, double value);
int GetCtrlVal(int panel, int control, double* value);
// Character rings (the address ring).
int SetCtrlVal(int panel, int control, char value);
int GetCtrlVal(int panel, int control, char* value);
// Text controls and string indicators (UTF-8). GetCtrlString also reads a
// button's caption and the text of a ring's shown item.
int SetCtrlVal(int panel, int control, const char* text);
int GetCtrlString(int panel, int control, std::string* text);

// Gives `control` the keyboard (and its window the activation).
int SetActiveCtrl(int panel, int control);

// ---- attributes ----
enum {
  ATTR_VISIBLE = 530,        // int 0/1 (controls)
  ATTR_TITLE = 573,          // text (panels)
  ATTR_HAS_TASKBAR_BUTTON = 618,
  ATTR_ON_COLOR = 920,       // int 0xRRGGBB (LEDs)
  ATTR_ENABLED = 1271,       // int 0/1 (timer)
  ATTR_DIMMED = 1000,        // int 0/1
  ATTR_LABEL_TEXT = 1001,    // text
  ATTR_OUT_OF_RANGE = 1002,  // int 0/1, read only: the field holds a value it cannot show
  ATTR_INTERVAL = 1003,      // real seconds (timer)
  ATTR_CALLBACK_DATA = 1004, // void* (panels and controls)
  ATTR_TOP = 1005,
  ATTR_LEFT = 1006,
  ATTR_WIDTH = 1007,
  ATTR_HEIGHT = 1008,
  ATTR_MIN_VALUE = 1009,
  ATTR_MAX_VALUE = 1010,
  ATTR_FILL_COLOR = 1011,
  ATTR_SHORTCUT_KEY = 1012,
  ATTR_PRECISION = 1013,
  ATTR_INCREMENT = 1014,
};
int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, double value);
int SetCtrlAttribute(int panel, int control, int attribute, const char* value);
int GetCtrlAttribute(int panel, int control, int attribute, int* value);
int GetCtrlAttribute(int panel, int control, int attribute, double* value);
int GetCtrlAttribute(int panel, int control, int attribute, std::string* value);
int SetPanelAttribute(int panel, int attribute, int value);
int SetPanelAttribute(int panel, int attribute, const char* value);
int SetPanelAttribute(int panel, int attribute, void* value);
int GetPanelAttribute(int panel, int attribute, int* value);
int GetPanelAttribute(int panel, int attribute, std::string* value);
int GetPanelAttribute(int panel, int attribute, void** value);

// ---- popups ----
int MessagePopup(const char* title, const char* message);  // one OK button
// Three buttons; returns 1, 2 or 3. Button 2 has the focus and answers Enter,
// button 3 answers Escape.
int GenericMessagePopup(const char* title, const char* message, const char* button1, const char* button2,
                        const char* button3);

enum { VAL_OK_BUTTON = 0, VAL_SAVE_BUTTON = 1, VAL_SELECT_BUTTON = 2, VAL_LOAD_BUTTON = 3 };
enum { VAL_NO_FILE_SELECTED = 0, VAL_EXISTING_FILE_SELECTED = 1, VAL_NEW_FILE_SELECTED = 2 };
// File dialog. Returns VAL_NO_FILE_SELECTED (cancel), VAL_EXISTING_FILE_SELECTED or
// VAL_NEW_FILE_SELECTED with the full path in *pathName, or a negative code.
// With restrictExtension, a name typed without extension gets the pattern's
// extension (".zpk") when saving.
int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec, const char* fileTypeList,
                    const char* title, int buttonLabel, int restrictDirectory, int restrictExtension,
                    int allowCancel, int allowMakeDirectory, std::string* pathName);

// ---- additions for windows built at run time (the progress dialog) ----
enum {
  UIE_NOT_REACHABLE = -48,  // test driving: the operator could not reach that control
};
enum {
  ATTR_MARKER_STYLE = 1015,  // int: how a progress bar's scale is marked (0 none, 3 ticks)
  ATTR_CLOSABLE = 1016,      // int (panels): 0 makes the close box do nothing
  // text (numeric fields): marks the field as refused, with this text as its
  // tooltip, until "" is set or the field accepts the operator's next entry
  ATTR_REFUSED_TEXT = 1017,
  ATTR_CHECKED = 1018,  // int 0/1 (menu items): a check mark beside the item
};
// The menu bar of a window (its handle), or a negative code.
int GetPanelMenuBar(int panel);
// Attributes of a menu bar's items (ATTR_CHECKED, ATTR_DIMMED).
int SetMenuBarAttribute(int menuBar, int menuItem, int attribute, int value);
int GetMenuBarAttribute(int menuBar, int menuItem, int attribute, int* value);
enum { CTRL_COMMAND_BUTTON = 1, CTRL_PROGRESS_BAR = 2 };
enum { VAL_AUTO_CENTER = -2147483647 };  // SetPanelPos: centre on the screen

// Callback data of controls.
int SetCtrlAttribute(int panel, int control, int attribute, void* value);
int GetCtrlAttribute(int panel, int control, int attribute, void** value);
// Whether the toolkit stops on its own errors; returns the previous setting.
int SetBOLE(int on);
// An empty window (hidden) with a title; with a parent it lies inside the parent.
int NewPanel(int parentPanel, const char* title, int top, int left, int height, int width);
// A control of `kind` with a label; returns its id.
int NewCtrl(int panel, int kind, const char* label, int top, int left);
int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr function, void* callbackData);
// The rectangle of a control together with its label.
int GetCtrlBoundingRect(int panel, int control, int* top, int* left, int* height, int* width);
int SetPanelPos(int panel, int top, int left);
// The system's colour of selected items, 0xRRGGBB.
int GetSystemHighlightColor();

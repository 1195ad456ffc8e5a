#pragma once
// Bookkeeping shared by the toolkit's source files: the open windows with their
// controls and menus, event delivery and the popup stack.
#include "toolkit/toolkit.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include <map>
#include <string>
#include <vector>

namespace tk {

enum class Kind { Button, Toggle, Ring, Numeric, Led, Text, String, PictureRing, Picture, Timer, Frame, ProgressBar, Graph, Other };

struct Control {
  int id = 0;
  QPointer<QWidget> w;
  Kind kind = Kind::Other;
  QPointer<QLabel> label;  // the label shown with it, if any
  CtrlCallbackPtr cb = nullptr;
  void* data = nullptr;
  std::string cbName;  // as named in the resource
};

struct MenuItem {
  int id = 0;
  QPointer<QAction> action;  // items, and the entries of menus and submenus
  QPointer<QMenu> menu;      // menus and submenus
  MenuCallbackPtr cb = nullptr;
  void* data = nullptr;
  std::string cbName;
};

struct Panel {
  int handle = 0;
  int resourceId = 0;
  QPointer<QWidget> window;  // what is shown: the top-level window or the child frame
  QPointer<QWidget> form;    // where the controls live
  int parent = 0;
  PanelCallbackPtr cb = nullptr;
  void* data = nullptr;
  std::string cbName;
  std::map<int, Control> controls;
  int menuBar = 0;
  std::map<int, MenuItem> menu;
  int nextCtrlId = 2;
  bool placed = false;
  bool closable = true;  // a child window gets its first position when first shown
};

std::map<int, Panel>& panels();
Panel* findPanel(int handle);
// The control, or null with *err set to the toolkit code.
Control* findControl(int panel, int control, int* err);
int newHandle();
bool haveApplication();

// Event delivery; every callback runs with the nesting depth counted.
int deliverCtrl(int panel, int control, int event, int eventData1, int eventData2);
int deliverPanel(int panel, int event, int eventData1, int eventData2);
void deliverMenu(int panel, int item);
int callbackDepth();
// Commits what the operator typed into the focused numeric field of `window`
// and has not confirmed yet, so that a command acts on what is shown.
// False when the entry was refused (outside the field's range).
bool commitPendingEdit(QWidget* window, QWidget* except);
// An entry was refused by the input being handled now (a click on a command
// moves the focus and so commits the field first); the next input clears it.
bool refusalPending();
void clearRefusal();
// Tells the program that the operator gave a command or an entry was accepted.
void operatorActed(int panel, int control);

// Wires a control's widget to event delivery.
void wireControl(int panel, Control& c);
void watchWindow(int panel, QWidget* window);
void wireGraph(int panel, int id, QWidget* graph);  // toolkit_graph.cpp

// Modal popups shown with InstallPopup, innermost last.
std::vector<int>& popupStack();
// Parent for the toolkit's own dialogs.
QWidget* dialogParent();

void repaintNow(QWidget* w);
// Before a window is first shown at its natural size: makes it fit its screen
// (toolkit_fit.cpp).
void fitToScreen(int handle, QWidget* w);
// The frame the window manager draws (or will draw) around a top-level window:
// its own once shown, else that of another window on the screen, else a guess.
QSize frameOf(QWidget* w);

// Counts a running callback for as long as it lives (timer ticks wait for depth 0).
struct Depth {
  Depth();
  ~Depth();
  Depth(const Depth&) = delete;
  Depth& operator=(const Depth&) = delete;
};

// An operation the operator started (a button, ring, picture ring or menu
// command): while it lives, input is discarded and the busy cursor shows; when
// the outermost one ends, input queued meanwhile is discarded too.
class OperatorOperation {
 public:
  OperatorOperation();
  ~OperatorOperation();
  OperatorOperation(const OperatorOperation&) = delete;
  OperatorOperation& operator=(const OperatorOperation&) = delete;

 private:
  bool active_ = false;
};
// A modal popup inside an operation takes input as usual while it is up.
class BusySuspension {
 public:
  BusySuspension();
  ~BusySuspension();
  BusySuspension(const BusySuspension&) = delete;
  BusySuspension& operator=(const BusySuspension&) = delete;

 private:
  bool active_ = false;
};
bool operationRunning();
// Whether the close box of `panel`'s window was used during the running operation
// (once: the request is taken).
bool takeCloseRequest(int panel);
// Sees all input of the program first: discards what arrives during an operation.
void installInputGate();
// During an operation: lets the windows draw what changed (input stays discarded).
void showProgress();
// The same between progress updates, at most every few milliseconds.
void drawPending();
// During an operation: waits (bounded) until a window just shown can be drawn, then draws it.
void drawWhenExposed(QWidget* w);

}  // namespace tk

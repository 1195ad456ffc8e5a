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
void commitPendingEdit(QWidget* window, QWidget* except);

// Wires a control's widget to event delivery.
void wireControl(int panel, Control& c);
void watchWindow(int panel, QWidget* window);
void wireGraph(int panel, int id, QWidget* graph);  // toolkit_graph.cpp

// Modal popups shown with InstallPopup, innermost last.
std::vector<int>& popupStack();
// Parent for the toolkit's own dialogs.
QWidget* dialogParent();

void repaintNow(QWidget* w);

}  // namespace tk

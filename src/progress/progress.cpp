#include "progress/progress.h"

#include "toolkit/toolkit.h"

#include <algorithm>
#include <new>

namespace {

constexpr int kWidth = 328;
constexpr int kBarWidth = 300;
constexpr int kBarHeight = 14;
constexpr int kMargin = 14;
constexpr int kLabelGap = 18;

void (*gBeobachter)(int panel, int percent) = nullptr;  // tests only

int cancelPressed(int panel, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  void* data = nullptr;
  if (GetPanelAttribute(panel, ATTR_CALLBACK_DATA, &data) == 0 && data)
    static_cast<ProgressDialogRecord*>(data)->cancelled = 1;
  return 0;
}

// Keeps the toolkit from stopping on its own errors while one of ours runs.
class QuietErrors {
 public:
  QuietErrors() : previous_(SetBOLE(0)) {}
  ~QuietErrors() { SetBOLE(previous_); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  int previous_;
};

ProgressDialogRecord* recordOf(int panel, int* err) {
  void* data = nullptr;
  *err = GetPanelAttribute(panel, ATTR_CALLBACK_DATA, &data);
  return *err < 0 ? nullptr : static_cast<ProgressDialogRecord*>(data);
}

void discard(ProgressDialogRecord* rec, int panel) {
  if (panel > 0) SetPanelAttribute(panel, ATTR_CALLBACK_DATA, static_cast<void*>(nullptr));
  delete rec;
  if (panel > 0) DiscardPanel(panel);
}

// Builds the dialog into `rec`; returns 0 or the toolkit's negative code.
int build(ProgressDialogRecord* rec, const char* title, const char* label, int modal, int markerStyle,
          const char* cancelText) {
  const int panel = NewPanel(0, title ? title : "", 0, 0, kBarHeight + 2 * kMargin, kWidth);
  if (panel < 0) return panel;
  rec->panel = panel;
  if (int r = SetPanelAttribute(panel, ATTR_CALLBACK_DATA, static_cast<void*>(rec)); r < 0) return r;
  // The operator cannot close it; only its caller does.
  if (int r = SetPanelAttribute(panel, ATTR_CLOSABLE, 0); r < 0) return r;

  const int bar = NewCtrl(panel, CTRL_PROGRESS_BAR, label ? label : "", 0, kMargin);
  if (bar < 0) return bar;
  rec->bar = bar;

  if (cancelText) {
    const int button = NewCtrl(panel, CTRL_COMMAND_BUTTON, cancelText, -100, -100);
    if (button < 0) return button;
    rec->cancelButton = button;
    if (int r = InstallCtrlCallback(panel, button, cancelPressed, nullptr); r < 0) return r;
    if (int r = SetCtrlAttribute(panel, button, ATTR_SHORTCUT_KEY, static_cast<int>(VAL_ESC_VKEY)); r < 0) return r;
  }

  // The bar's look; a failure here only costs looks.
  SetCtrlAttribute(panel, bar, ATTR_WIDTH, kBarWidth);
  SetCtrlAttribute(panel, bar, ATTR_HEIGHT, kBarHeight);
  SetCtrlAttribute(panel, bar, ATTR_MIN_VALUE, 0);
  SetCtrlAttribute(panel, bar, ATTR_MAX_VALUE, 100);
  SetCtrlAttribute(panel, bar, ATTR_FILL_COLOR, GetSystemHighlightColor());
  SetCtrlAttribute(panel, bar, ATTR_MARKER_STYLE, markerStyle);
  {
    int top = 0, height = 0;
    if (GetCtrlBoundingRect(panel, bar, &top, nullptr, &height, nullptr) == 0)
      SetCtrlAttribute(panel, bar, ATTR_TOP, (height - kBarHeight) + kLabelGap);
  }

  // Centre the bar with its label in a band of 328 x (its height + 28).
  int top = 0, left = 0, height = 0, width = 0;
  if (int r = GetCtrlBoundingRect(panel, bar, &top, &left, &height, &width); r < 0) return r;
  int barTop = 0, barLeft = 0;
  if (int r = GetCtrlAttribute(panel, bar, ATTR_TOP, &barTop); r < 0) return r;
  if (int r = GetCtrlAttribute(panel, bar, ATTR_LEFT, &barLeft); r < 0) return r;
  const int band = height + 2 * kMargin;
  if (int r = SetCtrlAttribute(panel, bar, ATTR_TOP, barTop + (band - height) / 2 - top); r < 0) return r;
  if (int r = SetCtrlAttribute(panel, bar, ATTR_LEFT, barLeft + (kWidth - width) / 2 - left); r < 0) return r;

  int windowHeight = band;
  if (cancelText && *cancelText) {
    int bh = 0, bw = 0;
    if (int r = GetCtrlAttribute(panel, rec->cancelButton, ATTR_HEIGHT, &bh); r < 0) return r;
    if (int r = GetCtrlAttribute(panel, rec->cancelButton, ATTR_WIDTH, &bw); r < 0) return r;
    if (int r = SetCtrlAttribute(panel, rec->cancelButton, ATTR_TOP, band); r < 0) return r;
    if (int r = SetCtrlAttribute(panel, rec->cancelButton, ATTR_LEFT, kWidth / 2 - bw / 2); r < 0) return r;
    windowHeight = band + kMargin + bh;
  }
  if (int r = SetPanelAttribute(panel, ATTR_WIDTH, kWidth); r < 0) return r;
  if (int r = SetPanelAttribute(panel, ATTR_HEIGHT, windowHeight); r < 0) return r;
  if (int r = SetPanelPos(panel, VAL_AUTO_CENTER, VAL_AUTO_CENTER); r < 0) return r;
  return modal ? InstallPopup(panel) : DisplayPanel(panel);
}

}  // namespace

int CreateProgressDialog(const char* title, const char* label, int modal, int markerStyle, const char* cancelText) {
  const QuietErrors quiet;
  auto* rec = new (std::nothrow) ProgressDialogRecord{0, 0, 0, 0};
  if (!rec) return UIE_OUT_OF_MEMORY;
  if (const int r = build(rec, title, label, modal, markerStyle, cancelText); r < 0) {
    discard(rec, rec->panel);
    return r;
  }
  return rec->panel;
}

int UpdateProgressDialog(int panel, int percent, int processEvents) {
  if (panel <= 0) return 0;
  const QuietErrors quiet;
  int err = 0;
  ProgressDialogRecord* rec = recordOf(panel, &err);
  if (!rec) return err;
  if (int r = SetCtrlVal(panel, rec->bar, std::clamp(percent, 0, 100)); r < 0) return r;
  if (gBeobachter) {
    int shown = -1;
    GetCtrlVal(panel, rec->bar, &shown);
    gBeobachter(panel, shown);
  }
  if (processEvents) {
    ProcessSystemEvents();
    rec = recordOf(panel, &err);  // a callback may have discarded the dialog meanwhile
    if (!rec) return err;
  }
  const int cancelled = rec->cancelled;
  rec->cancelled = 0;
  return cancelled;
}

void DiscardProgressDialog(int panel) {
  if (panel <= 0) return;
  const QuietErrors quiet;
  int err = 0;
  ProgressDialogRecord* rec = recordOf(panel, &err);
  if (err < 0) return;
  discard(rec, panel);
}

void ProgressDialogBeobachten(void (*observer)(int panel, int percent)) { gBeobachter = observer; }

#pragma once
// Progress dialog: a window with a bar, created on demand, moved and closed by
// its caller.

// Returns the window handle (> 0) or a negative code (-12 out of memory, else the
// toolkit's). cancelText null: no cancel button; "" an invisible one.
int CreateProgressDialog(const char* title, const char* label, int modal, int markerStyle,
                         const char* cancelText);
// Sets the bar (clamped to 0..100). Returns a negative toolkit code, else 1 when
// the cancel button was pressed since the last update (then cleared), else 0.
// A handle of 0 or below does nothing and returns 0.
int UpdateProgressDialog(int panel, int percent, int processEvents);
// Frees the record and discards the window; a handle of 0 or below does nothing.
void DiscardProgressDialog(int panel);

// For tests: after each update of a dialog, `observer` receives the dialog's
// handle and the value its bar shows. nullptr stops the observation.
void ProgressDialogBeobachten(void (*observer)(int panel, int percent));

// The record of an open dialog, kept as the window's callback data.
struct ProgressDialogRecord {
  int panel;         // window handle
  int bar;           // control id of the bar
  int cancelled;     // 1 after the cancel button was pressed, until the next update returns it
  int cancelButton;  // control id of the cancel button, 0 when there is none
};

#pragma once
// Trend graphs: a control with a time axis (milliseconds since 1970, shown in
// local time), curve 0 on the left value axis and curve 1 on the right one,
// labelled marks on the time axis and a cursor line. The operator zooms the time
// axis with the mouse wheel, pans it by dragging and moves the cursor with the
// mouse; the program hears of it through the control's callback and supplies
// what is drawn through the functions below.
#include <string>

enum {
  EVENT_GRAPH_RANGE = 40,   // the operator zoomed or panned: read GetGraphTimeRange
  EVENT_GRAPH_CURSOR = 41,  // the mouse moved over the plot (eventData1 1) or left it (0)
};
enum { VAL_LEFT_CURVE = 0, VAL_RIGHT_CURVE = 1 };
enum { UIE_CANNOT_WRITE_FILE = -49 };

// Name in the legend, title of the curve's value axis, colour 0xRRGGBB.
int SetGraphCurveLook(int panel, int control, int curve, const char* name, const char* axisTitle, int color);
// Replaces a curve's points; t ascending. A NaN value breaks the line there. The
// curve's value axis scales to the points.
int PlotGraphCurve(int panel, int control, int curve, const double* t, const double* y, int count);
// Replaces the marks: a labelled line at each time.
int SetGraphMarks(int panel, int control, const double* t, const std::string* labels, int count);
// Limit bands: a value range on one curve's axis over a time span, shaded under
// the curves. An open side is +-infinity. Replaces the bands; count 0 removes them.
struct GraphBand {
  int curve;
  double fromMs, toMs;
  double low, high;
};
int SetGraphBands(int panel, int control, const GraphBand* bands, int count);
// The bands set, at most `max` into `bands`; returns how many there are.
int GetGraphBands(int panel, int control, GraphBand* bands, int max);
// Shown part of the time axis.
int SetGraphTimeRange(int panel, int control, double fromMs, double toMs);
int GetGraphTimeRange(int panel, int control, double* fromMs, double* toMs);
// Where the cursor is (ms); returns 1 with *t set while the mouse is over the
// plot, 0 when it is not, or a negative code.
int GetGraphCursor(int panel, int control, double* t);
// Text shown beside the cursor line (empty: none).
int SetGraphCursorText(int panel, int control, const char* text);
// Width of the plot area in pixels (what one column of data stands for).
int GetGraphPlotWidth(int panel, int control, int* pixels);
// A PNG picture of the control as shown. 0 or a negative code.
int SaveCtrlDisplayToFile(int panel, int control, const char* path);

// What the graph shows, as laid out for its present size, for tests.
// Time axis ticks: instants (ms) and labels, at most `max`; returns the count.
int GetGraphTimeTicks(int panel, int control, double* t, std::string* labels, int max);
// The mark labels as drawn: boxes in the control's pixels and their texts, at
// most `max`; returns the count.
struct GraphLabelBox {
  double left, top, right, bottom;
  std::string text;
};
int GetGraphMarkLabels(int panel, int control, GraphLabelBox* boxes, int max);
// The plot area (where the curves are drawn) in the control's pixels.
int GetGraphPlotRect(int panel, int control, GraphLabelBox* rect);
// The labels of a curve's value axis.
int GetGraphValueLabels(int panel, int control, int curve, std::string* labels, int max);

// ---- test driving (the real widget gets the mouse events) ----
// Wheel steps (positive zooms in) and cursor at `xFraction` of the plot width.
int TestOperatorWheel(int panel, int control, double xFraction, int steps);
int TestOperatorDrag(int panel, int control, double fromXFraction, double toXFraction);
int TestOperatorHover(int panel, int control, double xFraction);

// ---- windows the operator resizes ----
// Sets the size of a window without fixing it (ATTR_WIDTH/ATTR_HEIGHT fix it).
int SetPanelSize(int panel, int width, int height);
// Puts a top-level window at (left, top) when it is on a screen there; otherwise
// (or with left/top INT_MIN) beside `besidePanel`, on the side with more room of
// that window's screen. Never off every screen.
int SetPanelPlace(int panel, int left, int top, int besidePanel);
// The same; placed beside `besidePanel`, it covers none of that window's
// controls `keep` (`keepCount` of them) where the screen has room for that.
// Where it has not, the first `mustCount` of them (all, when negative) are
// kept free before the others.
int SetPanelPlaceKeeping(int panel, int left, int top, int besidePanel, const int* keep, int keepCount,
                         int mustCount = -1);

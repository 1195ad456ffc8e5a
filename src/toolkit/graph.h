#pragma once
// The trend graph widget behind toolkit_graph.h, on Qt Charts.
#include <QChartView>
#include <QPolygonF>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QChart;
class QDateTimeAxis;
class QValueAxis;
class QLineSeries;
class ZCurveLayer;

class ZGraph : public QChartView {
  Q_OBJECT
 public:
  explicit ZGraph(QWidget* parent = nullptr);

  void setCurveLook(int curve, const QString& name, const QString& axisTitle, int rgb);
  void plotCurve(int curve, const double* t, const double* y, int count);
  void setMarks(std::vector<std::pair<double, QString>> marks);
  // Value ranges over a time span on one curve's axis, shaded under the curves.
  struct Band {
    int curve;
    double from, to, low, high;  // an open side is infinite
    bool operator==(const Band&) const = default;
  };
  void setBands(std::vector<Band> bands);
  const std::vector<Band>& bands() const { return bands_; }
  void setTimeRange(double from, double to);
  double from() const { return from_; }
  double to() const { return to_; }
  bool cursorOn() const { return cursorOn_; }
  double cursorTime() const { return cursorT_; }
  void setCursorText(const QString& text);
  int plotWidth() const;
  // Pixel column of a time, and the time of a column, in view coordinates.
  double xOfTime(double t) const;
  double timeOfX(double x) const;
  QRectF plotRect() const;  // in view coordinates

  // Time axis ticks at round instants of local time, for the present range and width.
  const std::vector<std::pair<double, QString>>& ticks() const { return ticks_; }
  // A mark label as drawn: its box in view coordinates (above the plot) and its
  // text, every name of the marks it stands for, whole.
  struct MarkLabel {
    QRectF box;
    QString text;
    double x;                // where its first line is
    std::vector<double> xs;  // where each of its lines is
    int row;                 // 0 nearest the plot
  };
  std::vector<MarkLabel> markLabels() const;
  QStringList valueLabels(int curve) const;

  std::function<void()> onRange;            // the operator changed the time range
  std::function<void(bool inside)> onCursor;  // the mouse moved over the plot or left it

 protected:
  void wheelEvent(QWheelEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void drawForeground(QPainter* painter, const QRectF& rect) override;

 private:
  // The curves are drawn by a layer of their own over the chart's plot area:
  // one polyline per unbroken piece. A chart series per piece would cost a
  // stroked outline of every point at every update; the series here stand only
  // for the legend entry and the axis.
  struct Curve {
    QLineSeries* legend = nullptr;
    std::vector<QPolygonF> pieces;  // in data coordinates (ms, value)
    QValueAxis* axis = nullptr;
    QColor color;
    double lo = 0, hi = -1;  // the data's extremes the axis was last scaled to
    std::vector<double> t, y;  // the points as last given, to find what changed
  };
  // Time span in which the new points differ from the last ones (false: none).
  static bool changedSpan(const Curve& c, const double* t, const double* y, int count, double* from, double* to);
  friend class ZCurveLayer;
  void paintCurves(QPainter* p) const;
  void applyRange();
  void computeTicks();
  void fitValueLabels(int curve);
  void fitAxisTitles();
  void trackCursor(double x);
  int markBandHeight() const;

  QChart* chart_;
  QDateTimeAxis* time_;
  ZCurveLayer* layer_ = nullptr;
  Curve curves_[2];
  std::vector<std::pair<double, QString>> marks_;
  std::vector<Band> bands_;
  std::vector<std::pair<double, QString>> ticks_;
  int minDecimals_[2] = {2, 1};  // the fewest decimals each value axis shows
  double from_ = 0, to_ = 60000;
  bool cursorOn_ = false;
  double cursorT_ = 0;
  QString cursorText_;
  bool dragging_ = false;
  double dragX_ = 0;
};

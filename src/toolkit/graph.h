#pragma once
// The trend graph widget behind toolkit_graph.h, on Qt Charts.
#include <QChartView>
#include <QString>

#include <functional>
#include <vector>

class QChart;
class QDateTimeAxis;
class QValueAxis;
class QLineSeries;

class ZGraph : public QChartView {
  Q_OBJECT
 public:
  explicit ZGraph(QWidget* parent = nullptr);

  void setCurveLook(int curve, const QString& name, const QString& axisTitle, int rgb);
  void plotCurve(int curve, const double* t, const double* y, int count);
  void setMarks(std::vector<std::pair<double, QString>> marks);
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
  struct Curve {
    std::vector<QLineSeries*> pieces;  // one series per unbroken piece; the first is in the legend
    QValueAxis* axis = nullptr;
    QString name;
    int rgb = 0;
  };
  QLineSeries* piece(int curve, std::size_t i);
  void applyRange();
  void trackCursor(double x);

  QChart* chart_;
  QDateTimeAxis* time_;
  Curve curves_[2];
  std::vector<std::pair<double, QString>> marks_;
  double from_ = 0, to_ = 60000;
  bool cursorOn_ = false;
  double cursorT_ = 0;
  QString cursorText_;
  bool dragging_ = false;
  double dragX_ = 0;
};

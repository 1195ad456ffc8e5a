// Trend graphs on Qt Charts: the widget, the functions that feed it, and its
// test driving.
#include "toolkit/toolkit_graph.h"

#include "toolkit/controls.h"
#include "toolkit/graph.h"
#include "toolkit/toolkit_internal.h"

#include <QApplication>
#include <QChart>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>
#include <QGuiApplication>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <utility>
#include <vector>
#include <climits>
#include <cmath>

namespace {
constexpr double kMinSpanMs = 2000.0;                  // zoomed in: two seconds across
constexpr double kMaxSpanMs = 10.0 * 24 * 3600 * 1000;  // zoomed out: ten days
constexpr int kMarkColor = 0xC05000;

// Tick steps of the time axis, as plotting programs choose them, each with the
// label that tells its instants apart.
struct TickStep {
  double ms;
  const char* format;
};
constexpr double kHour = 3600.0 * 1000;
constexpr double kDay = 24 * kHour;
constexpr TickStep kTickSteps[] = {
    {100, "HH:mm:ss.zzz"}, {200, "HH:mm:ss.zzz"}, {500, "HH:mm:ss.zzz"}, {1000, "HH:mm:ss"},
    {2000, "HH:mm:ss"},    {5000, "HH:mm:ss"},    {10000, "HH:mm:ss"},  {15000, "HH:mm:ss"},
    {30000, "HH:mm:ss"},   {60000, "HH:mm"},      {120000, "HH:mm"},    {300000, "HH:mm"},
    {600000, "HH:mm"},     {900000, "HH:mm"},     {1800000, "HH:mm"},   {kHour, "HH:mm"},
    {2 * kHour, "HH:mm"},  {3 * kHour, "HH:mm"},  {6 * kHour, "HH:mm"}, {12 * kHour, "HH:mm"},
    {kDay, "dd.MM."},      {2 * kDay, "dd.MM."},  {7 * kDay, "dd.MM."},
};
constexpr int kMaxTicks = 100;

double localOffsetMs(double t) {
  return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(t)).offsetFromUtc() * 1000.0;
}

// The small font of marks and time labels.
QFont smallFont(const QWidget* w) {
  QFont f = w->font();
  f.setPointSizeF(f.pointSizeF() * 0.85);
  return f;
}

// Rows of mark names above the plot: marks closer than their names are long
// take the next row; beyond the last, names join the row's last label.
constexpr int kMarkRows = 3;

Qt::PenStyle curvePenStyle(int curve) { return curve == 0 ? Qt::SolidLine : Qt::DashLine; }
}  // namespace

int ZGraph::markBandHeight() const {
  const QFontMetricsF fm(smallFont(this));
  return static_cast<int>(std::ceil(kMarkRows * (fm.height() + 3) + 4));
}

// Draws the graph's curves over the plot area, below the marks and the cursor.
class ZCurveLayer : public QGraphicsItem {
 public:
  explicit ZCurveLayer(const ZGraph* g) : g_(g) { setZValue(10); }
  QRectF boundingRect() const override { return g_->chart_->mapToScene(g_->chart_->plotArea()).boundingRect(); }
  void paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*) override { g_->paintCurves(p); }
  void changed() {
    prepareGeometryChange();
    update();
  }

 private:
  const ZGraph* g_;
};

// The view gets its chart at once: a chart it made itself would be left over.
ZGraph::ZGraph(QWidget* parent) : QChartView(new QChart, parent) {
  chart_ = chart();
  // The marks' names get a band of their own above the plot, where they cover
  // no curve; the legend goes below, and draws each curve's line as it is drawn.
  chart_->legend()->setAlignment(Qt::AlignBottom);
  chart_->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
  chart_->setMargins(QMargins(4, 4 + markBandHeight(), 4, 4));
  chart_->setDropShadowEnabled(false);
  if (zLanguage() != 2) {
    chart_->setLocalizeNumbers(true);
    chart_->setLocale(QLocale(QLocale::German, QLocale::Germany));
  }
  time_ = new QDateTimeAxis;
  // The axis only keeps the room for its labels: its own ticks fall on odd
  // instants, so the round ones and their labels are drawn here.
  time_->setTickCount(2);
  time_->setLabelsColor(Qt::transparent);
  time_->setGridLineVisible(false);
  time_->setLineVisible(false);
  chart_->addAxis(time_, Qt::AlignBottom);
  for (int c = 0; c < 2; ++c) {
    auto* axis = new QValueAxis;
    axis->setLabelFormat(c == 0 ? "%.2f" : "%.1f");
    chart_->addAxis(axis, c == 0 ? Qt::AlignLeft : Qt::AlignRight);
    curves_[c].axis = axis;
    auto* legend = new QLineSeries;
    chart_->addSeries(legend);
    legend->attachAxis(time_);
    legend->attachAxis(axis);
    curves_[c].legend = legend;
  }
  layer_ = new ZCurveLayer(this);
  scene()->addItem(layer_);
  connect(chart_, &QChart::plotAreaChanged, this, [this] {
    computeTicks();
    fitAxisTitles();
    layer_->changed();
  });
  for (int c = 0; c < 2; ++c) fitValueLabels(c);
  // Thin lines drawn without smoothing: cheap, and sharp enough for a trend.
  setRenderHint(QPainter::Antialiasing, false);
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
  setMinimumSize(360, 220);
  applyRange();
}

void ZGraph::setCurveLook(int curve, const QString& name, const QString& axisTitle, int rgb) {
  Curve& c = curves_[curve];
  c.color = QColor::fromRgb(QRgb(rgb & 0xFFFFFF));
  c.axis->setTitleText(axisTitle);
  c.axis->setLabelsColor(c.color);
  c.axis->setTitleBrush(c.color);
  c.legend->setName(name);
  QPen pen(c.color);
  pen.setWidthF(1.5);
  pen.setStyle(curvePenStyle(curve));
  c.legend->setPen(pen);
  fitAxisTitles();
  layer_->update();
}

// A value axis' title runs along the plot's height; in a short plot (a small
// screen at large fonts) the chart would cut it to a fragment ("Spannun…"): a
// smaller font keeps it whole, down to a size still readable.
void ZGraph::fitAxisTitles() {
  const qreal room = chart_->plotArea().height() - 4;
  if (room <= 0) return;
  for (Curve& c : curves_) {
    // The size the chart's theme gave the title is the one to keep where it fits.
    if (!c.axis->property("zpkTitleFont").isValid()) c.axis->setProperty("zpkTitleFont", c.axis->titleFont());
    QFont f = c.axis->property("zpkTitleFont").value<QFont>();
    const qreal need = QFontMetricsF(f).horizontalAdvance(c.axis->titleText());
    if (need > room) {
      const qreal k = std::max(0.6, room / need);
      if (f.pointSizeF() > 0) f.setPointSizeF(f.pointSizeF() * k);
      else f.setPixelSize(std::max(1, static_cast<int>(f.pixelSize() * k)));
    }
    // Only a change: a new font moves the plot area, which calls this again.
    if (c.axis->titleFont() != f) c.axis->setTitleFont(f);
  }
}

bool ZGraph::changedSpan(const Curve& c, const double* t, const double* y, int count, double* from, double* to) {
  const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
  const std::size_t nAlt = c.t.size(), nNeu = static_cast<std::size_t>(count);
  std::size_t vorn = 0;
  while (vorn < nAlt && vorn < nNeu && c.t[vorn] == t[vorn] && same(c.y[vorn], y[vorn])) ++vorn;
  if (vorn == nAlt && vorn == nNeu) return false;
  std::size_t hinten = 0;
  while (hinten < nAlt - vorn && hinten < nNeu - vorn && c.t[nAlt - 1 - hinten] == t[nNeu - 1 - hinten] &&
         same(c.y[nAlt - 1 - hinten], y[nNeu - 1 - hinten]))
    ++hinten;
  // The changed points and their unchanged neighbours, whose lines lead to them.
  *from = HUGE_VAL;
  *to = -HUGE_VAL;
  const auto nehmen = [&](const double* tt, std::size_t n) {
    if (n == 0) return;
    const std::size_t a = vorn > 0 ? vorn - 1 : 0, b = std::min(n - hinten, n - 1);
    *from = std::min(*from, tt[a]);
    *to = std::max(*to, tt[b]);
  };
  nehmen(c.t.data(), nAlt);
  nehmen(t, nNeu);
  return *from <= *to;
}

void ZGraph::plotCurve(int curve, const double* t, const double* y, int count) {
  Curve& c = curves_[curve];
  double von = 0, bis = 0;
  const bool geaendert = changedSpan(c, t, y, count, &von, &bis);
  c.t.assign(t, t + count);
  c.y.assign(y, y + count);
  if (!geaendert) return;
  c.pieces.clear();
  QPolygonF run;
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  for (int i = 0; i < count; ++i) {
    if (!std::isfinite(y[i]) || !std::isfinite(t[i])) {
      if (!run.isEmpty()) c.pieces.push_back(std::move(run));
      run = QPolygonF();
      continue;
    }
    run.append(QPointF(t[i], y[i]));
    lo = std::min(lo, y[i]);
    hi = std::max(hi, y[i]);
  }
  if (!run.isEmpty()) c.pieces.push_back(std::move(run));
  // A limit band's edges stay in view with the data, so the values are seen
  // against their limits.
  if (lo <= hi)
    for (const Band& b : bands_) {
      if (b.curve != curve) continue;
      if (std::isfinite(b.low)) lo = std::min(lo, b.low), hi = std::max(hi, b.low);
      if (std::isfinite(b.high)) lo = std::min(lo, b.high), hi = std::max(hi, b.high);
    }
  // The axis follows the data, with a little room above and below; rescaling
  // lays the whole chart out anew, so only when the extremes changed.
  if (!(lo <= hi)) {
    lo = 0;
    hi = 1;
  }
  if (lo == c.lo && hi == c.hi) {
    // Only the part that changed is painted again: mostly the newest column.
    const QRectF r = layer_->boundingRect();
    const double x0 = std::max(r.left(), r.left() + (von - from_) / (to_ - from_) * r.width() - 4);
    const double x1 = std::min(r.right(), r.left() + (bis - from_) / (to_ - from_) * r.width() + 4);
    if (x1 >= x0) layer_->update(QRectF(x0, r.top(), x1 - x0, r.height()));
    return;
  }
  layer_->update();
  c.lo = lo;
  c.hi = hi;
  const double pad = hi > lo ? (hi - lo) * 0.05 : std::max(std::fabs(hi) * 0.1, 0.5);
  // Values that never go below zero keep zero as the axis' foot.
  c.axis->setRange(lo >= 0 ? std::max(0.0, lo - pad) : lo - pad, hi + pad);
  c.axis->applyNiceNumbers();
  fitValueLabels(curve);
}

void ZGraph::fitValueLabels(int curve) {
  QValueAxis* a = curves_[curve].axis;
  const double step = (a->max() - a->min()) / std::max(1, a->tickCount() - 1);
  // Enough decimals that every grid value reads exactly: 0.25, not 0.3.
  int d = minDecimals_[curve];
  for (; d < 6; ++d) {
    const double k = std::pow(10.0, d);
    const auto exact = [k](double v) { return std::fabs(v * k - std::round(v * k)) < 1e-6 * std::max(1.0, std::fabs(v * k)); };
    if (exact(step) && exact(a->min())) break;
  }
  const QString format = QStringLiteral("%.%1f").arg(d);
  if (a->labelFormat() != format) a->setLabelFormat(format);
}

QStringList ZGraph::valueLabels(int curve) const {
  const QValueAxis* a = curves_[curve].axis;
  const int n = std::max(2, a->tickCount());
  const int decimals = a->labelFormat().mid(2, 1).toInt();
  QStringList out;
  for (int i = 0; i < n; ++i)
    out << chart_->locale().toString(a->min() + i * (a->max() - a->min()) / (n - 1), 'f', decimals);
  return out;
}

void ZGraph::paintCurves(QPainter* p) const {
  const QRectF r = chart_->mapToScene(chart_->plotArea()).boundingRect();
  if (r.width() <= 0 || r.height() <= 0 || to_ <= from_) return;
  p->save();
  p->setClipRect(r, Qt::IntersectClip);
  const double sx = r.width() / (to_ - from_);
  // The time grid under the curves, at the round ticks.
  QPen grid(QColor(220, 220, 220), 1);
  grid.setCosmetic(true);
  p->setPen(grid);
  for (const auto& tick : ticks_) {
    const double x = r.left() + (tick.first - from_) * sx;
    p->drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
  }
  // Limit bands under the curves: what lies inside them is within the limit. An
  // open side reaches the edge of the plot.
  for (const Band& b : bands_) {
    const Curve& c = curves_[b.curve];
    const double lo = c.axis->min(), hi = c.axis->max();
    if (!(hi > lo)) continue;
    const double sy = r.height() / (hi - lo);
    const double x0 = std::max(r.left(), r.left() + (b.from - from_) * sx);
    const double x1 = std::min(r.right(), r.left() + (b.to - from_) * sx);
    const double y0 = std::max(r.top(), std::isfinite(b.high) ? r.bottom() - (b.high - lo) * sy : r.top());
    const double y1 = std::min(r.bottom(), std::isfinite(b.low) ? r.bottom() - (b.low - lo) * sy : r.bottom());
    if (x1 <= x0 || y1 <= y0) continue;
    QColor fill = c.color;
    fill.setAlpha(40);
    p->fillRect(QRectF(QPointF(x0, y0), QPointF(x1, y1)), fill);
    QPen edge(c.color, 1, Qt::DotLine);
    edge.setCosmetic(true);
    p->setPen(edge);
    if (std::isfinite(b.high)) p->drawLine(QPointF(x0, y0), QPointF(x1, y0));
    if (std::isfinite(b.low)) p->drawLine(QPointF(x0, y1), QPointF(x1, y1));
  }
  QPolygonF screen;
  for (int k = 0; k < 2; ++k) {
    const Curve& c = curves_[k];
    const double lo = c.axis->min(), hi = c.axis->max();
    if (!(hi > lo)) continue;
    const double sy = r.height() / (hi - lo);
    // A one-pixel cosmetic pen: drawn without stroking, which wider pens need.
    // The second curve is dashed: where both lie on one line (0 A at 0 V) the
    // first shows between its dashes.
    QPen pen(c.color, 1);
    pen.setCosmetic(true);
    pen.setStyle(curvePenStyle(k));
    p->setPen(pen);
    for (const QPolygonF& piece : c.pieces) {
      screen.resize(piece.size());
      // A value at the foot of the axis (0 A, 0 V) is drawn just above the
      // axis line, where it can be seen: readings of zero are no gap.
      for (qsizetype i = 0; i < piece.size(); ++i)
        screen[i] = QPointF(r.left() + (piece[i].x() - from_) * sx,
                            std::min(r.bottom() - 2.0, r.bottom() - (piece[i].y() - lo) * sy));
      if (screen.size() == 1) {
        // A value without neighbours (one query after a gap) must still be seen.
        p->setBrush(c.color);
        p->drawEllipse(screen[0], 3.0, 3.0);
        p->setBrush(Qt::NoBrush);
      } else {
        p->drawPolyline(screen);
      }
    }
  }
  p->restore();
}

void ZGraph::setBands(std::vector<Band> bands) {
  if (bands == bands_) return;
  bands_ = std::move(bands);
  // The next points scale the axes anew, to take the bands' edges in.
  for (Curve& c : curves_) {
    c.lo = 0;
    c.hi = -1;
    c.t.clear();
    c.y.clear();
  }
  if (layer_) layer_->update();
}

void ZGraph::setMarks(std::vector<std::pair<double, QString>> marks) {
  if (marks == marks_) return;  // most updates: nothing to repaint for them
  marks_ = std::move(marks);
  viewport()->update();
}

void ZGraph::setTimeRange(double from, double to) {
  if (!std::isfinite(from) || !std::isfinite(to)) return;
  if (to - from < kMinSpanMs) {
    const double mid = (from + to) / 2;
    from = mid - kMinSpanMs / 2;
    to = mid + kMinSpanMs / 2;
  }
  if (from == from_ && to == to_) return;
  from_ = from;
  to_ = to;
  applyRange();
}

void ZGraph::applyRange() {
  time_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(from_)),
                  QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(to_)));
  computeTicks();
  if (layer_) layer_->update();
  viewport()->update();
}

void ZGraph::computeTicks() {
  ticks_.clear();
  const double span = to_ - from_;
  const double width = chart_->plotArea().width();
  if (!(span > 0) || width <= 0) return;
  // The smallest round step whose labels keep apart.
  const QFontMetricsF fm(smallFont(this));
  const TickStep* step = &kTickSteps[std::size(kTickSteps) - 1];
  for (const TickStep& s : kTickSteps) {
    const double label = fm.horizontalAdvance(QDateTime::fromMSecsSinceEpoch(0).toString(s.format));
    if (s.ms * width / span >= label + 14) {
      step = &s;
      break;
    }
  }
  // Round in local time; a step of hours follows a change of the offset inside the range.
  const double offset = localOffsetMs(from_);
  for (double local = std::ceil((from_ + offset) / step->ms) * step->ms;; local += step->ms) {
    double t = local - offset;
    if (step->ms >= kHour) t = local - localOffsetMs(t);
    if (t > to_ || static_cast<int>(ticks_.size()) >= kMaxTicks) break;
    if (t < from_) continue;
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(t));
    // Midnight names the day where the labels give only the time of day.
    const bool newDay = step->ms >= 60000 && step->ms < kDay && when.time() == QTime(0, 0);
    ticks_.emplace_back(t, when.toString(newDay ? "dd.MM." : step->format));
  }
}

void ZGraph::setCursorText(const QString& text) {
  if (text == cursorText_) return;
  cursorText_ = text;
  viewport()->update();
}

QRectF ZGraph::plotRect() const { return mapFromScene(chart_->mapToScene(chart_->plotArea())).boundingRect(); }

int ZGraph::plotWidth() const { return std::max(1, static_cast<int>(chart_->plotArea().width())); }

double ZGraph::xOfTime(double t) const {
  const QRectF r = plotRect();
  return r.left() + (t - from_) / (to_ - from_) * r.width();
}

double ZGraph::timeOfX(double x) const {
  const QRectF r = plotRect();
  return from_ + (x - r.left()) / std::max(1.0, r.width()) * (to_ - from_);
}

void ZGraph::wheelEvent(QWheelEvent* e) {
  const int steps = e->angleDelta().y() / 120;
  if (steps == 0) return;
  const QRectF r = plotRect();
  const double x = std::clamp(e->position().x(), r.left(), r.right());
  const double anchor = timeOfX(x);
  double factor = std::pow(0.8, steps);
  const double span = to_ - from_;
  factor = std::clamp(factor, kMinSpanMs / span, kMaxSpanMs / span);
  setTimeRange(anchor - (anchor - from_) * factor, anchor + (to_ - anchor) * factor);
  e->accept();
  if (onRange) onRange();
  trackCursor(e->position().x());
}

void ZGraph::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && plotRect().contains(e->position())) {
    dragging_ = true;
    dragX_ = e->position().x();
    viewport()->setCursor(Qt::ClosedHandCursor);
  }
  e->accept();
}

void ZGraph::mouseMoveEvent(QMouseEvent* e) {
  const double x = e->position().x();
  // A label's names whole, also where the band cuts it at the window's edge.
  QString names;
  for (const MarkLabel& m : markLabels())
    if (m.box.contains(e->position())) names = m.text;
  if (names.isEmpty()) QToolTip::hideText();
  else QToolTip::showText(e->globalPosition().toPoint(), names, this);
  if (dragging_) {
    const double dt = (x - dragX_) / std::max(1.0, plotRect().width()) * (to_ - from_);
    dragX_ = x;
    if (dt != 0) {
      from_ -= dt;
      to_ -= dt;
      applyRange();
      if (onRange) onRange();
    }
  }
  trackCursor(x);
  e->accept();
}

void ZGraph::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && dragging_) {
    dragging_ = false;
    viewport()->unsetCursor();
  }
  e->accept();
}

void ZGraph::leaveEvent(QEvent* e) {
  QChartView::leaveEvent(e);
  if (!cursorOn_) return;
  cursorOn_ = false;
  viewport()->update();
  if (onCursor) onCursor(false);
}

void ZGraph::trackCursor(double x) {
  const QRectF r = plotRect();
  const bool inside = x >= r.left() && x <= r.right();
  if (!inside && !cursorOn_) return;
  cursorOn_ = inside;
  if (inside) cursorT_ = timeOfX(x);
  viewport()->update();
  if (onCursor) onCursor(inside);
}

std::vector<ZGraph::MarkLabel> ZGraph::markLabels() const {
  std::vector<MarkLabel> out;
  const QRectF r = chart_->mapToScene(chart_->plotArea()).boundingRect();
  if (r.width() <= 0 || to_ <= from_) return out;
  const QFontMetricsF fm(smallFont(this));
  const double rowHeight = fm.height() + 3;
  // Over the plot's width only: the value axes' top labels stay free.
  const double leftEnd = r.left(), rightEnd = r.right();
  std::vector<std::pair<double, QString>> shown;
  for (const auto& [t, label] : marks_)
    if (t >= from_ && t <= to_) shown.emplace_back(r.left() + (t - from_) / (to_ - from_) * r.width(), label);
  std::stable_sort(shown.begin(), shown.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  // Each name whole, horizontal, in the band above the plot, starting at its
  // line: the first row that is free there, nearest the plot first. Where every
  // row is taken, the name joins the label that ends first, so that every event
  // is named; marks on one pixel column share one label.
  double rowEnd[kMarkRows];
  double rowBefore[kMarkRows];  // where the row's label before its last one ends
  int rowLast[kMarkRows];
  for (int k = 0; k < kMarkRows; ++k) {
    rowEnd[k] = rowBefore[k] = leftEnd - 4;
    rowLast[k] = -1;
  }
  // Never over the row's label before it nor past the band's end: a name too
  // long for the band (many faults at once) is drawn shortened, and whole in
  // the tooltip.
  const auto boxFor = [&](int row, double left, const QString& text) {
    const double least = rowBefore[row] + 4;
    const double w = std::min(fm.horizontalAdvance(text) + 6, std::max(12.0, rightEnd - least));
    left = std::clamp(left, least, std::max(least, rightEnd - w));
    const double bottom = r.top() - 3 - row * rowHeight;
    return QRectF(left, bottom - rowHeight + 2, w, rowHeight - 2);
  };
  // Adds the names of `text` that a label does not name yet.
  const auto join = [](QString* label, const QString& text) {
    QStringList names = label->split(QStringLiteral(", "));
    for (const QString& n : text.split(QStringLiteral(", ")))
      if (!names.contains(n)) names << n;
    *label = names.join(QStringLiteral(", "));
  };
  int previous = -1;  // the label the mark before went to
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const auto& [x, text] = shown[i];
    if (previous >= 0 && std::abs(shown[i - 1].first - x) < 1.0) {
      MarkLabel& same = out[static_cast<std::size_t>(previous)];
      join(&same.text, text);
      same.box = boxFor(same.row, same.box.left(), same.text);
      rowEnd[same.row] = same.box.right();
      continue;
    }
    int row = -1;
    for (int k = 0; k < kMarkRows && row < 0; ++k)
      if (rowEnd[k] + 4 <= std::clamp(x - 3, leftEnd, rightEnd)) row = k;
    if (row >= 0) {
      rowBefore[row] = rowEnd[row];
      MarkLabel m{boxFor(row, x - 3, text), text, x, {x}, row};
      rowEnd[row] = m.box.right();
      rowLast[row] = previous = static_cast<int>(out.size());
      out.push_back(m);
      continue;
    }
    int k = 0;
    for (int q = 1; q < kMarkRows; ++q)
      if (rowEnd[q] < rowEnd[k]) k = q;
    previous = rowLast[k];
    MarkLabel& joined = out[static_cast<std::size_t>(previous)];
    join(&joined.text, text);
    joined.xs.push_back(x);
    joined.box = boxFor(k, joined.box.left(), joined.text);
    rowEnd[k] = joined.box.right();
  }
  return out;
}

void ZGraph::drawForeground(QPainter* p, const QRectF& rect) {
  QChartView::drawForeground(p, rect);
  const QRectF r = chart_->mapToScene(chart_->plotArea()).boundingRect();
  p->save();
  const QFont small = smallFont(this);
  p->setFont(small);
  const QFontMetricsF fm(small);
  // The time axis: its line, and a tick and a label at each round instant.
  p->setPen(QColor(90, 90, 90));
  p->drawLine(r.bottomLeft(), r.bottomRight());
  for (const auto& [t, label] : ticks_) {
    const double x = r.left() + (t - from_) / (to_ - from_) * r.width();
    p->drawLine(QPointF(x, r.bottom()), QPointF(x, r.bottom() + 4));
    const double w = fm.horizontalAdvance(label);
    p->drawText(QPointF(std::clamp(x - w / 2, r.left() - w / 2, r.right() + 20 - w), r.bottom() + 5 + fm.ascent()),
                label);
  }
  // Status marks: a dashed line through the plot, continued dotted up to its
  // name in the band above.
  const QColor markColor = QColor::fromRgb(QRgb(kMarkColor));
  QPen markPen(markColor);
  markPen.setStyle(Qt::DashLine);
  p->setPen(markPen);
  for (const auto& [t, label] : marks_) {
    if (t < from_ || t > to_) continue;
    const double x = r.left() + (t - from_) / (to_ - from_) * r.width();
    p->drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
  }
  QPen leader(markColor);
  leader.setStyle(Qt::DotLine);
  for (const MarkLabel& m : markLabels()) {
    p->setPen(leader);
    for (double x : m.xs) p->drawLine(QPointF(x, m.box.bottom()), QPointF(x, r.top()));
    p->setPen(markColor);
    p->setBrush(QColor(255, 255, 255));
    p->drawRect(m.box);
    p->drawText(m.box, Qt::AlignCenter, QFontMetricsF(small).elidedText(m.text, Qt::ElideRight, m.box.width() - 4));
  }
  p->setBrush(Qt::NoBrush);
  p->setClipRect(r.adjusted(0, -2, 2, 2), Qt::IntersectClip);
  // The cursor line with the values the program gave for it.
  if (cursorOn_ && cursorT_ >= from_ && cursorT_ <= to_) {
    const double x = r.left() + (cursorT_ - from_) / (to_ - from_) * r.width();
    p->setPen(QPen(QColor(60, 60, 60), 1));
    p->drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
    if (!cursorText_.isEmpty()) {
      QRectF box = fm.boundingRect(QRectF(0, 0, 400, 400), Qt::AlignLeft, cursorText_).adjusted(-4, -3, 4, 3);
      box.moveTopLeft(QPointF(x + 6, r.top() + 4));
      if (box.right() > r.right()) box.moveRight(x - 6);
      p->setPen(QColor(60, 60, 60));
      p->setBrush(QColor(255, 255, 230, 235));
      p->drawRect(box);
      p->drawText(box.adjusted(4, 3, -4, -3), Qt::AlignLeft, cursorText_);
    }
  }
  p->restore();
}

// ---------------------------------------------------------------- functions
using namespace tk;

namespace {
ZGraph* graphOf(int panel, int control, int* err) {
  Control* c = findControl(panel, control, err);
  if (!c) return nullptr;
  if (c->kind != Kind::Graph) {
    *err = UIE_BAD_VALUE_TYPE;
    return nullptr;
  }
  return static_cast<ZGraph*>(c->w.data());
}
}  // namespace

namespace tk {
void wireGraph(int panel, int id, QWidget* w) {
  auto* g = static_cast<ZGraph*>(w);
  g->onRange = [panel, id] { deliverCtrl(panel, id, EVENT_GRAPH_RANGE, 0, 0); };
  g->onCursor = [panel, id](bool inside) { deliverCtrl(panel, id, EVENT_GRAPH_CURSOR, inside ? 1 : 0, 0); };
}
}  // namespace tk

int SetGraphCurveLook(int panel, int control, int curve, const char* name, const char* axisTitle, int color) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  if ((curve != VAL_LEFT_CURVE && curve != VAL_RIGHT_CURVE) || !name || !axisTitle) return UIE_BAD_VALUE_TYPE;
  g->setCurveLook(curve, QString::fromUtf8(name), QString::fromUtf8(axisTitle), color);
  return 0;
}

int PlotGraphCurve(int panel, int control, int curve, const double* t, const double* y, int count) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  if ((curve != VAL_LEFT_CURVE && curve != VAL_RIGHT_CURVE) || count < 0 || (count > 0 && (!t || !y)))
    return UIE_BAD_VALUE_TYPE;
  g->plotCurve(curve, t, y, count);
  return 0;
}

int SetGraphMarks(int panel, int control, const double* t, const std::string* labels, int count) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  if (count < 0 || (count > 0 && (!t || !labels))) return UIE_BAD_VALUE_TYPE;
  std::vector<std::pair<double, QString>> marks;
  marks.reserve(count);
  for (int i = 0; i < count; ++i) marks.emplace_back(t[i], QString::fromStdString(labels[i]));
  g->setMarks(std::move(marks));
  return 0;
}

int SetGraphBands(int panel, int control, const GraphBand* bands, int count) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  if (count < 0 || (count > 0 && !bands)) return UIE_BAD_VALUE_TYPE;
  std::vector<ZGraph::Band> b;
  for (int i = 0; i < count; ++i) {
    const GraphBand& x = bands[i];
    if ((x.curve != VAL_LEFT_CURVE && x.curve != VAL_RIGHT_CURVE) || std::isnan(x.low) || std::isnan(x.high))
      return UIE_BAD_VALUE_TYPE;
    b.push_back({x.curve, x.fromMs, x.toMs, x.low, x.high});
  }
  g->setBands(std::move(b));
  return 0;
}

int GetGraphBands(int panel, int control, GraphBand* bands, int max) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  int n = 0;
  for (const ZGraph::Band& b : g->bands())
    if (n < max && bands) bands[n++] = {b.curve, b.from, b.to, b.low, b.high};
  return static_cast<int>(g->bands().size());
}

int SetGraphTimeRange(int panel, int control, double fromMs, double toMs) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  if (!std::isfinite(fromMs) || !std::isfinite(toMs) || toMs < fromMs) return UIE_BAD_VALUE_TYPE;
  g->setTimeRange(fromMs, toMs);
  return 0;
}

int GetGraphTimeRange(int panel, int control, double* fromMs, double* toMs) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  if (!fromMs || !toMs) return UIE_BAD_VALUE_TYPE;
  *fromMs = g->from();
  *toMs = g->to();
  return 0;
}

int GetGraphCursor(int panel, int control, double* t) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  if (!t) return UIE_BAD_VALUE_TYPE;
  if (!g->cursorOn()) return 0;
  *t = g->cursorTime();
  return 1;
}

int SetGraphCursorText(int panel, int control, const char* text) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  if (!text) return UIE_BAD_VALUE_TYPE;
  g->setCursorText(QString::fromUtf8(text));
  return 0;
}

int GetGraphPlotWidth(int panel, int control, int* pixels) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  if (!pixels) return UIE_BAD_VALUE_TYPE;
  *pixels = g->plotWidth();
  return 0;
}

int GetGraphPlotRect(int panel, int control, GraphLabelBox* rect) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  if (!rect) return UIE_BAD_VALUE_TYPE;
  const QRectF r = g->plotRect();
  *rect = {r.left(), r.top(), r.right(), r.bottom(), {}};
  return 0;
}

int GetGraphTimeTicks(int panel, int control, double* t, std::string* labels, int max) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  if (max < 0 || (max > 0 && (!t || !labels))) return UIE_BAD_VALUE_TYPE;
  const auto& ticks = g->ticks();
  const int n = std::min(max, static_cast<int>(ticks.size()));
  for (int i = 0; i < n; ++i) {
    t[i] = ticks[i].first;
    labels[i] = ticks[i].second.toStdString();
  }
  return n;
}

int GetGraphMarkLabels(int panel, int control, GraphLabelBox* boxes, int max) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  if (max < 0 || (max > 0 && !boxes)) return UIE_BAD_VALUE_TYPE;
  const auto labels = g->markLabels();
  const int n = std::min(max, static_cast<int>(labels.size()));
  for (int i = 0; i < n; ++i) {
    const QRectF& b = labels[i].box;
    boxes[i] = {b.left(), b.top(), b.right(), b.bottom(), labels[i].text.toStdString()};
  }
  return n;
}

int GetGraphValueLabels(int panel, int control, int curve, std::string* labels, int max) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  if ((curve != VAL_LEFT_CURVE && curve != VAL_RIGHT_CURVE) || max < 0 || (max > 0 && !labels))
    return UIE_BAD_VALUE_TYPE;
  const QStringList shown = g->valueLabels(curve);
  const int n = std::min(max, static_cast<int>(shown.size()));
  for (int i = 0; i < n; ++i) labels[i] = shown[i].toStdString();
  return n;
}

int SaveCtrlDisplayToFile(int panel, int control, const char* path) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (!path || !*path) return UIE_BAD_VALUE_TYPE;
  return c->w->grab().save(QString::fromUtf8(path), "PNG") ? 0 : UIE_CANNOT_WRITE_FILE;
}

// ---------------------------------------------------------------- test driving
namespace {
QPointF plotPoint(ZGraph* g, double xFraction) {
  const QRectF r = g->plotRect();
  return QPointF(r.left() + xFraction * r.width(), r.center().y());
}

void send(ZGraph* g, QEvent* e) { QApplication::sendEvent(g->viewport(), e); }

void moveTo(ZGraph* g, QPointF at, Qt::MouseButtons held) {
  QMouseEvent move(QEvent::MouseMove, at, g->viewport()->mapToGlobal(at), Qt::NoButton, held, Qt::NoModifier);
  send(g, &move);
}
}  // namespace

int TestOperatorWheel(int panel, int control, double xFraction, int steps) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  const QPointF at = plotPoint(g, xFraction);
  QWheelEvent wheel(at, g->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * steps), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  send(g, &wheel);
  return 0;
}

int TestOperatorDrag(int panel, int control, double fromXFraction, double toXFraction) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  const QPointF a = plotPoint(g, fromXFraction), b = plotPoint(g, toXFraction);
  moveTo(g, a, Qt::NoButton);
  QMouseEvent press(QEvent::MouseButtonPress, a, g->viewport()->mapToGlobal(a), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  send(g, &press);
  moveTo(g, (a + b) / 2, Qt::LeftButton);
  moveTo(g, b, Qt::LeftButton);
  QMouseEvent release(QEvent::MouseButtonRelease, b, g->viewport()->mapToGlobal(b), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  send(g, &release);
  return 0;
}

int TestOperatorHover(int panel, int control, double xFraction) {
  int err = 0;
  ZGraph* g = graphOf(panel, control, &err);
  if (!g) return err;
  moveTo(g, plotPoint(g, xFraction), Qt::NoButton);
  return 0;
}

int SetPanelSize(int panel, int width, int height) {
  Panel* p = findPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL_HANDLE;
  if (width <= 0 || height <= 0) return UIE_BAD_ATTRIBUTE;
  QSize size = p->window->minimumSizeHint().expandedTo(QSize(width, height));
  // A size remembered from a larger screen (or with smaller fonts) is cut to
  // this one, with the frame the window manager adds.
  if (QScreen* s = p->window->screen())
    size = size.boundedTo((s->availableGeometry().size() - frameOf(p->window)).expandedTo(QSize(1, 1)));
  p->window->resize(size);
  p->placed = true;  // showing it keeps this size
  return 0;
}

namespace {
// The top left corner nearest `at` that keeps a window of `size` inside `a`.
QPoint keptInside(const QRect& a, QSize size, QPoint at) {
  return {std::clamp(at.x(), a.left(), std::max(a.left(), a.right() + 1 - size.width())),
          std::clamp(at.y(), a.top(), std::max(a.top(), a.bottom() + 1 - size.height()))};
}
}  // namespace

int SetPanelPlace(int panel, int left, int top, int besidePanel) {
  return SetPanelPlaceKeeping(panel, left, top, besidePanel, nullptr, 0);
}

int SetPanelPlaceKeeping(int panel, int left, int top, int besidePanel, const int* keep, int keepCount,
                         int mustCount) {
  Panel* p = findPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL_HANDLE;
  QWidget* w = p->window;
  // With the frame it will get: before it is first shown it has none yet.
  const QSize size = w->geometry().size() + frameOf(w);
  p->placed = true;  // showing it keeps this place
  // Where it was, if a screen still shows its top left part (a screen of the
  // last session may be gone).
  if (left != INT_MIN && top != INT_MIN) {
    if (QScreen* s = QGuiApplication::screenAt(QPoint(left + 40, top + 10))) {
      w->move(keptInside(s->availableGeometry(), size, QPoint(left, top)));
      return 0;
    }
  }
  Panel* b = findPanel(besidePanel);
  const QRect beside = b && b->window ? b->window->frameGeometry() : QRect();
  QScreen* s = b && b->window && b->window->screen() ? b->window->screen() : QGuiApplication::primaryScreen();
  if (!s) return 0;
  const QRect a = s->availableGeometry();
  if (beside.isNull()) {
    w->move(keptInside(a, size, QPoint(a.left() + (a.width() - size.width()) / 2, a.top())));
    return 0;
  }
  // Right of the other window or left of it, else in a corner of its screen,
  // always on it: where it covers none of the controls to keep in view and the
  // least of the other window, the earlier place when they are alike.
  std::vector<QRect> kept;
  std::vector<bool> must;
  for (int i = 0; i < keepCount && keep; ++i) {
    int err = 0;
    if (Control* c = findControl(besidePanel, keep[i], &err); c && c->w && c->w->isVisible()) {
      kept.push_back(QRect(c->w->mapToGlobal(QPoint(0, 0)), c->w->size()).adjusted(-2, -2, 2, 2));
      must.push_back(mustCount < 0 || i < mustCount);
    }
  }
  const auto area = [](const QRect& r) { return r.isEmpty() ? 0LL : static_cast<long long>(r.width()) * r.height(); };
  const auto bestPlace = [&](QSize s, std::pair<long long, long long>* cost) {
    std::vector<QPoint> places = {keptInside(a, s, QPoint(beside.right() + 1, beside.top())),
                                  keptInside(a, s, QPoint(beside.left() - s.width(), beside.top())),
                                  keptInside(a, s, a.topLeft()), keptInside(a, s, QPoint(a.right(), a.top())),
                                  keptInside(a, s, QPoint(a.left(), a.bottom())), keptInside(a, s, a.bottomRight())};
    // Beside each control to keep, at the screen's top: over the part of the
    // other window that matters less (a screen too small for it beside).
    for (const QRect& k : kept) {
      places.push_back(keptInside(a, s, QPoint(k.left() - s.width(), a.top())));
      places.push_back(keptInside(a, s, QPoint(k.right() + 1, a.top())));
    }
    // What it covers of the controls to keep, the first ones weighing above all others.
    const auto costAt = [&](QPoint at) {
      const QRect r(at, s);
      long long hidden = 0;
      for (std::size_t i = 0; i < kept.size(); ++i)
        hidden += std::min(area(r.intersected(kept[i])), 999999LL / static_cast<long long>(kept.size())) +
                  (must[i] && r.intersects(kept[i]) ? 1000000LL : 0LL);
      return std::make_pair(hidden, area(r.intersected(beside)));
    };
    QPoint best = places[0];
    for (const QPoint& at : places)
      if (costAt(at) < costAt(best)) best = at;
    *cost = costAt(best);
    return best;
  };
  std::pair<long long, long long> cost;
  QPoint best = bestPlace(size, &cost);
  // No place leaves them free: a smaller window may, down to its least size.
  const QSize frame = size - w->geometry().size();
  const QSize least = w->minimumSizeHint().expandedTo(w->minimumSize()) + frame;
  for (int percent = 90; cost.first > 0 && percent >= 40; percent -= 10) {
    const QSize smaller = (size * percent / 100).expandedTo(least);
    std::pair<long long, long long> c;
    const QPoint at = bestPlace(smaller, &c);
    // Taken when it leaves all free, or the first ones where the larger did not.
    constexpr long long kMust = 1000000LL;
    if (c.first == 0 || (cost.first >= kMust && c.first < kMust)) {
      w->resize(smaller - frame);
      best = at;
      cost = c;
    }
    if (smaller == least) break;
  }
  w->move(best);
  return 0;
}

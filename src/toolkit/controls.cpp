#include "toolkit/controls.h"

#include "toolkit/toolkit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHideEvent>
#include <QShowEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QWheelEvent>
#include <QStyle>
#include <QSvgRenderer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

static_assert(int{ZNumeric::OutOfRange} == int{ENTRY_OUT_OF_RANGE} && int{ZNumeric::NotWhole} == int{ENTRY_NOT_WHOLE} &&
              int{ZNumeric::NotNumber} == int{ENTRY_NOT_NUMBER} &&
              int{ZNumeric::TooManyDecimals} == int{ENTRY_TOO_MANY_DECIMALS});

namespace {
const QColor kOutOfRangeBase(255, 215, 215);
const QColor kRefusedFrame(220, 0, 0);

QString outOfRangeTip(const QString& shown) {
  return zLanguage() == 2 ? QStringLiteral("Value %1 is outside the range of this field").arg(shown)
                          : QStringLiteral("Wert %1 liegt außerhalb des Bereichs dieses Feldes").arg(shown);
}
}  // namespace

int zKeyCode(const QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return VAL_ENTER_VKEY;
    case Qt::Key_Escape:
      return VAL_ESC_VKEY;
    case Qt::Key_Space:
      return VAL_SPACE_KEY;
    case Qt::Key_Up:
      return VAL_UP_ARROW_VKEY;
    case Qt::Key_Down:
      return VAL_DOWN_ARROW_VKEY;
    case Qt::Key_Tab:
      return VAL_TAB_VKEY;
    default:
      break;
  }
  const QString t = e->text();
  if (!t.isEmpty() && t.at(0).isPrint()) return t.at(0).unicode();
  // Other keys: a code above the character range that still tells them apart.
  return 0x1000 + (e->key() & 0xFFF);
}

// ---------------------------------------------------------------- ZLed
ZLed::ZLed(QWidget* parent) : QWidget(parent) { setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed); }

void ZLed::setOnColor(int rgb) {
  onColor_ = rgb & 0xFFFFFF;
  update();
}

void ZLed::setOn(bool on) {
  on_ = on;
  update();
}

QSize ZLed::sizeHint() const {
  const int d = fontMetrics().height() + 2;
  return {d, d};
}

void ZLed::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal d = std::min(width(), height()) - 2.0;
  const QRectF r((width() - d) / 2.0, (height() - d) / 2.0, d, d);
  const QColor on = QColor::fromRgb(QRgb(onColor_));
  QColor body = on_ ? on : on.darker(350);
  if (!on_) body = QColor::fromHsv(body.hue(), std::min(body.saturation(), 90), std::max(body.value(), 70));
  QRadialGradient g(r.center() - QPointF(d / 5, d / 5), d * 0.75);
  g.setColorAt(0, body.lighter(on_ ? 170 : 130));
  g.setColorAt(1, body);
  p.setBrush(g);
  p.setPen(QPen(QColor(60, 60, 60), 1.0));
  p.drawEllipse(r);
}

// ---------------------------------------------------------------- ZNumeric
ZNumeric::ZNumeric(QWidget* parent) : QDoubleSpinBox(parent) {
  // Parsing and showing follow the window's language (format, parse); the
  // widget's own locale only has to keep digit grouping out.
  QLocale c = QLocale::c();
  c.setNumberOptions(QLocale::OmitGroupSeparator);
  setLocale(c);
  setKeyboardTracking(false);
  setAccelerated(true);
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  // The wheel acts only on a field the operator has focused.
  setFocusPolicy(Qt::StrongFocus);
  connect(lineEdit(), &QLineEdit::textEdited, this, [this] { touched_ = true; });
}

void ZNumeric::setInteger(bool on) {
  integer_ = on;
  if (on) setDecimals(0);
}

void ZNumeric::setIndicator(bool on) {
  indicator_ = on;
  setReadOnly(on);
  setButtonSymbols(on ? QAbstractSpinBox::NoButtons : QAbstractSpinBox::UpDownArrows);
  setFocusPolicy(on ? Qt::NoFocus : Qt::StrongFocus);
  if (on) setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  rangeChanged();
}

QString ZNumeric::format(double v) const {
  if (std::isnan(v)) return QStringLiteral("NaN");
  if (std::isinf(v)) return v > 0 ? QStringLiteral("Inf") : QStringLiteral("-Inf");
  QString t = QString::number(v, 'f', decimals());
  // The German edition writes the decimal comma.
  if (zLanguage() != 2) t.replace(QLatin1Char('.'), QLatin1Char(','));
  return t;
}

ZNumeric::Refusal ZNumeric::check(const QString& text, double* v) const {
  // Taken exactly as written or not at all: a character the field's numbers do
  // not use is never skipped, and no separator is read as digit grouping.
  QString t = text.trimmed();
  const Refusal badForm = isWhole() ? NotWhole : NotNumber;
  double sign = 1.0;
  if (!t.isEmpty() && (t.at(0) == QLatin1Char('+') || t.at(0) == QLatin1Char('-'))) {
    if (!(minimum() < 0.0)) return badForm;  // a sign only where the range has negative values
    if (t.at(0) == QLatin1Char('-')) sign = -1.0;
    t.remove(0, 1);
  }
  static const QRegularExpression whole(QStringLiteral("^[0-9]+$"));
  // German takes the comma or the point as its one decimal separator, English the point only.
  static const QRegularExpression realDe(QStringLiteral("^([0-9]+([.,][0-9]*)?|[.,][0-9]+)$"));
  static const QRegularExpression realEn(QStringLiteral("^([0-9]+([.][0-9]*)?|[.][0-9]+)$"));
  if (isWhole()) {
    if (!whole.match(t).hasMatch()) return NotWhole;
  } else {
    if (!(zLanguage() != 2 ? realDe : realEn).match(t).hasMatch()) return NotNumber;
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    const qsizetype sep = t.indexOf(QLatin1Char('.'));
    if (sep >= 0) {
      // More decimals than the field keeps would be cut off: only zeros may follow.
      qsizetype last = t.size();
      while (last > sep + 1 && t.at(last - 1) == QLatin1Char('0')) --last;
      if (last - sep - 1 > decimals()) return TooManyDecimals;
      if (sep == 0) t.prepend(QLatin1Char('0'));
      if (t.endsWith(QLatin1Char('.'))) t.append(QLatin1Char('0'));
    }
  }
  bool ok = false;
  const double d = sign * QLocale::c().toDouble(t, &ok);
  if (!ok || !std::isfinite(d) || d < minimum() || d > maximum()) return OutOfRange;
  *v = d;
  return Accepted;
}

QString ZNumeric::rangeText() const {
  return zLanguage() == 2 ? QStringLiteral("%1 to %2").arg(format(minimum()), format(maximum()))
                          : QStringLiteral("%1 bis %2").arg(format(minimum()), format(maximum()));
}

QString ZNumeric::textFromValue(double value) const {
  // An indicator shows whatever it holds; a field that holds a value it cannot
  // take shows that value until the operator types over it.
  if (indicator_ || (outOfRange_ && !touched_)) return format(committed_);
  return format(value);
}

double ZNumeric::valueFromText(const QString& text) const {
  double v = 0;
  return check(text, &v) == Accepted ? v : value();
}

QValidator::State ZNumeric::validate(QString& input, int&) const {
  // Every keystroke stays as typed; the whole entry is judged when it is committed.
  double v = 0;
  return check(input, &v) == Accepted ? QValidator::Acceptable : QValidator::Intermediate;
}

void ZNumeric::fixup(QString& input) const {
  // Nothing is corrected silently: an unusable entry goes back to the committed value.
  input = textFromValue(value());
}

void ZNumeric::refreshText() { lineEdit()->setText(textFromValue(value())); }

void ZNumeric::markRange() {
  QPalette pal = palette();
  if (outOfRange_) {
    pal.setColor(QPalette::Base, kOutOfRangeBase);
    setToolTip(outOfRangeTip(format(committed_)));
  } else {
    pal = QPalette();
    setToolTip(QString());
  }
  if (!refusal_.isEmpty()) setToolTip(refusal_);
  setPalette(pal);
}

namespace {

// The line of the form that spells out refusals: the nearest label marked
// "refusalLine" among the field's ancestors' children (the operator window has
// one outside its scrolling part). It lists every refused field it serves, so
// that the reason stays readable after the focus moved on, without the mouse and
// whatever the error area shows meanwhile.
QLabel* refusalLineOf(QWidget* field) {
  for (QWidget* a = field->parentWidget(); a; a = a->parentWidget()) {
    for (QLabel* l : a->findChildren<QLabel*>())
      if (l->property("refusalLine").toBool()) return l;
    if (a->isWindow()) break;
  }
  return nullptr;
}

void showRefusals(QLabel* line) {
  QStringList texts;
  for (ZNumeric* n : line->parentWidget()->findChildren<ZNumeric*>())
    if (!n->refusal().isEmpty() && refusalLineOf(n) == line) texts << n->refusal();
  line->setText(texts.join(QLatin1Char('\n')));
  line->setVisible(!texts.isEmpty());
}

}  // namespace

void ZNumeric::setRefusal(const QString& why) {
  if (why == refusal_) return;
  refusal_ = why;
  // Screen readers announce the reason with the field.
  setAccessibleDescription(why);
  if (QLabel* line = refusalLineOf(this)) showRefusals(line);
  markRange();
  update();
}

void ZNumeric::paintEvent(QPaintEvent* e) {
  QDoubleSpinBox::paintEvent(e);
  if (refusal_.isEmpty()) return;
  // Over the frame, which the text field inside leaves free.
  QPainter p(this);
  const int d = std::max(2, style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this));
  p.setPen(QPen(kRefusedFrame, d, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(rect()).adjusted(d / 2.0, d / 2.0, -d / 2.0, -d / 2.0));
}

void ZNumeric::setProgramValue(double v) {
  committed_ = v;
  touched_ = false;
  const bool valid = !std::isnan(v);
  outOfRange_ = !indicator_ && (!valid || v < minimum() || v > maximum());
  const QSignalBlocker block(this);
  setValue(valid ? std::clamp(v, minimum(), maximum()) : minimum());
  refreshText();
  markRange();
}

void ZNumeric::rangeChanged() { setProgramValue(committed_); }

bool ZNumeric::takePendingEdit() {
  if (indicator_ || !touched_) return true;
  touched_ = false;
  double v = 0;
  const Refusal r = check(lineEdit()->text(), &v);
  if (r != Accepted) {
    refreshText();
    if (onRefused) onRefused(r);
    return false;
  }
  const bool changed = outOfRange_ || v != committed_;
  committed_ = v;
  outOfRange_ = false;
  setRefusal(QString());  // a valid entry answers the refusal
  {
    const QSignalBlocker block(this);
    setValue(v);
  }
  markRange();
  refreshText();
  if (onAccepted) onAccepted();
  if (changed && onCommit) onCommit();
  return true;
}

void ZNumeric::stepBy(int steps) {
  if (isReadOnly()) return;
  // A step starts from what the operator typed: an entry that cannot be taken
  // is refused as at any other commit, never dropped for the committed value.
  if (touched_ && !takePendingEdit()) return;
  {
    const QSignalBlocker block(this);
    QDoubleSpinBox::stepBy(steps);
  }
  touched_ = true;
  lineEdit()->setText(format(value()));
  takePendingEdit();
}

void ZNumeric::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    takePendingEdit();
    lineEdit()->selectAll();
    e->accept();
    return;
  }
  if (e->key() == Qt::Key_Escape && touched_) {
    // Escape abandons the entry.
    touched_ = false;
    refreshText();
    lineEdit()->selectAll();
    e->accept();
    return;
  }
  QDoubleSpinBox::keyPressEvent(e);
}

void ZNumeric::focusOutEvent(QFocusEvent* e) {
  // A menu opening takes the focus for a moment: its command commits the entry.
  if (e->reason() != Qt::PopupFocusReason) takePendingEdit();
  QDoubleSpinBox::focusOutEvent(e);
}

void ZNumeric::wheelEvent(QWheelEvent* e) {
  if (!hasFocus()) {
    e->ignore();
    return;
  }
  QDoubleSpinBox::wheelEvent(e);
}

QSize ZNumeric::sizeHint() const {
  // The indicators' range is practically unbounded; size for realistic values.
  const QFontMetrics fm(font());
  const double widest = std::min(std::max(std::fabs(minimum()), std::fabs(maximum())), 9999999.0);
  const int w = fm.horizontalAdvance(QString::number(-widest, 'f', decimals())) + fm.horizontalAdvance('0') * 2;
  QSize s = QDoubleSpinBox::sizeHint();
  const int buttons = buttonSymbols() == QAbstractSpinBox::NoButtons ? 0 : s.height();
  s.setWidth(w + buttons + 8);
  return s;
}

// ---------------------------------------------------------------- ZRing
ZRing::ZRing(QWidget* parent) : QComboBox(parent) {
  setFocusPolicy(Qt::StrongFocus);
  connect(this, &QComboBox::currentIndexChanged, this, [this] {
    if (!outOfRange_) setToolTip(currentText());
  });
  connect(this, &QComboBox::activated, this, [this](int i) { operatorChose(i); });
}

void ZRing::wheelEvent(QWheelEvent* e) {
  // Scrolling over a list the operator has not focused changes nothing.
  if (!hasFocus()) {
    e->ignore();
    return;
  }
  QComboBox::wheelEvent(e);
}

bool ZRing::loadValues() {
  values_.clear();
  charRing_ = property("ringType").toString() == QLatin1String("char");
  const QStringList parts = property("ringValues").toString().split(QLatin1Char(';'), Qt::SkipEmptyParts);
  for (const QString& part : parts) {
    if (charRing_) {
      if (part.size() != 1 || part.at(0).unicode() > 0x7F) return false;
      values_.push_back(part.at(0).unicode());
    } else {
      bool ok = false;
      const int v = part.trimmed().toInt(&ok);
      if (!ok) return false;
      values_.push_back(v);
    }
  }
  if (static_cast<int>(values_.size()) != count()) return false;
  const int start = currentIndex() >= 0 ? currentIndex() : 0;
  committed_ = values_.empty() ? 0 : values_[static_cast<size_t>(start)];
  outOfRange_ = false;
  return true;
}

int ZRing::indexOfValue(int v) const {
  for (size_t i = 0; i < values_.size(); ++i)
    if (values_[i] == v) return static_cast<int>(i);
  return -1;
}

void ZRing::setProgramValue(int v) {
  committed_ = v;
  const int idx = indexOfValue(v);
  outOfRange_ = idx < 0;
  const QSignalBlocker block(this);
  if (outOfRange_) {
    const QString shown = charRing_ ? QString(QChar(v)) : QString::number(v);
    setPlaceholderText(QStringLiteral("? (%1)").arg(shown));
  }
  setCurrentIndex(idx);
  markRange();
}

void ZRing::markRange() {
  if (outOfRange_) {
    QPalette pal = palette();
    pal.setColor(QPalette::Button, kOutOfRangeBase);
    pal.setColor(QPalette::Base, kOutOfRangeBase);
    setPalette(pal);
    setToolTip(outOfRangeTip(placeholderText()));
  } else {
    setPalette(QPalette());
    // The closed list may cut a long item: its whole text stays readable.
    setToolTip(currentText());
  }
}

void ZRing::operatorChose(int index) {
  if (index < 0 || index >= static_cast<int>(values_.size())) return;
  const int v = values_[static_cast<size_t>(index)];
  const bool changed = outOfRange_ || v != committed_;
  committed_ = v;
  outOfRange_ = false;
  markRange();
  if (changed && onCommit) onCommit();
}

// ---------------------------------------------------------------- pictures
// One renderer per picture for the life of the process; the cache owns them, so
// they are freed at exit with it. Null for a picture that cannot be drawn.
QSvgRenderer* zSvg(const QString& resourcePath) {
  static std::map<QString, std::unique_ptr<QSvgRenderer>> cache;
  auto it = cache.find(resourcePath);
  if (it != cache.end()) return it->second.get();
  auto r = std::make_unique<QSvgRenderer>(resourcePath);
  if (!r->isValid()) r.reset();
  return cache.emplace(resourcePath, std::move(r)).first->second.get();
}

ZPicture::ZPicture(QWidget* parent) : QWidget(parent) {}

void ZPicture::setPicture(const QString& p) {
  picture_ = p;
  update();
}

QSize ZPicture::sizeHint() const {
  if (QSvgRenderer* r = zSvg(picture_)) return r->defaultSize();
  return {64, 64};
}

void ZPicture::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  if (QSvgRenderer* r = zSvg(picture_)) {
    QSizeF s = r->defaultSize();
    s.scale(size(), Qt::KeepAspectRatio);
    r->render(&p, QRectF((width() - s.width()) / 2, (height() - s.height()) / 2, s.width(), s.height()));
  }
}

ZPictureRing::ZPictureRing(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
}

void ZPictureRing::setValue(int v) {
  value_ = v;
  update();
}

QSize ZPictureRing::sizeHint() const { return {96, 58}; }

void ZPictureRing::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const bool connected = value_ >= 1;
  QString file;
  if (value_ == -1) file = QStringLiteral(":/pictures/com_none.svg");
  else if (value_ >= 1 && value_ <= 6) file = QStringLiteral(":/pictures/com%1.svg").arg(value_);
  else file = QStringLiteral(":/pictures/com_other.svg");
  QRectF area = rect().adjusted(2, 2, -2, -2);
  if (QSvgRenderer* r = zSvg(file)) {
    QSizeF s = r->defaultSize();
    s.scale(area.size(), Qt::KeepAspectRatio);
    r->render(&p, QRectF(area.center().x() - s.width() / 2, area.center().y() - s.height() / 2, s.width(),
                         s.height()));
  }
  if (!(value_ >= 1 && value_ <= 6) && value_ != -1) {
    // Ports without a picture of their own (and anything unexpected) carry their number.
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(connected ? QColor(20, 90, 20) : QColor(160, 0, 0));
    const QString text = value_ >= 1 ? QStringLiteral("COM %1").arg(value_) : QStringLiteral("? %1").arg(value_);
    p.drawText(area, Qt::AlignHCenter | Qt::AlignBottom, text);
  }
  if (hasFocus()) {
    p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void ZPictureRing::mousePressEvent(QMouseEvent* e) {
  setFocus(Qt::MouseFocusReason);
  e->accept();
}

// ---------------------------------------------------------------- ZTimer
ZTimer::ZTimer(QWidget* parent) : QWidget(parent) {
  QWidget::setVisible(false);
  setFixedSize(0, 0);
  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (onTick) onTick();
  });
}

void ZTimer::setInterval(double seconds) {
  if (!(seconds > 0.0)) seconds = 0.001;
  if (seconds > 86400.0) seconds = 86400.0;
  interval_ = seconds;
  timer_.setInterval(static_cast<int>(std::lround(seconds * 1000.0)));
}

void ZTimer::setTimerEnabled(bool on) {
  enabled_ = on;
  if (on) timer_.start();
  else timer_.stop();
}

// ---------------------------------------------------------------- ZChildFrame
ZChildFrame::ZChildFrame(QWidget* parent, QWidget* content) : QWidget(parent), content_(content) {
  setAutoFillBackground(true);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(2, 2, 2, 2);
  outer->setSpacing(0);
  auto* strip = new QWidget(this);
  strip->setAutoFillBackground(true);
  QPalette sp = strip->palette();
  sp.setColor(QPalette::Window, sp.color(QPalette::Highlight));
  sp.setColor(QPalette::WindowText, sp.color(QPalette::HighlightedText));
  strip->setPalette(sp);
  auto* row = new QHBoxLayout(strip);
  row->setContentsMargins(6, 2, 2, 2);
  title_ = new QLabel(strip);
  QFont f = title_->font();
  f.setBold(true);
  title_->setFont(f);
  row->addWidget(title_, 1);
  auto* closeBox = new QToolButton(strip);
  closeBox->setText(QStringLiteral("✕"));
  closeBox->setAutoRaise(true);
  closeBox->setFocusPolicy(Qt::NoFocus);
  row->addWidget(closeBox);
  connect(closeBox, &QToolButton::clicked, this, [this] { close(); });
  outer->addWidget(strip);
  content->setParent(this);
  outer->addWidget(content, 1);
}

void ZChildFrame::letScroll() {
  if (qobject_cast<QScrollArea*>(content_->parentWidget() ? content_->parentWidget()->parentWidget() : nullptr))
    return;
  // In a host smaller than the form (a small screen, large fonts) the form
  // scrolls below its title strip; the area wants exactly the form's size.
  auto* area = new ChildArea(this);
  delete layout()->replaceWidget(content_, area);
  area->setWidget(content_);
}

QSize ZChildFrame::ChildArea::sizeHint() const {
  const QWidget* c = widget();
  return c ? c->sizeHint().expandedTo(c->minimumSizeHint()) : QScrollArea::sizeHint();
}

ZChildFrame::ChildArea::ChildArea(QWidget* parent) : QScrollArea(parent) {
  setFocusPolicy(Qt::NoFocus);  // the keyboard goes to the form's controls, not to their area
  setFrameShape(QFrame::NoFrame);
  setWidgetResizable(true);
  viewport()->setBackgroundRole(QPalette::Window);
}

void ZChildFrame::setTitle(const QString& t) { title_->setText(t); }
QString ZChildFrame::title() const { return title_->text(); }

void ZChildFrame::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(QPen(palette().color(QPalette::Dark), 2));
  p.drawRect(rect().adjusted(1, 1, -1, -1));
}

void ZChildFrame::keyPressEvent(QKeyEvent* e) {
  // Escape closes it as its close box does (a control that uses the key keeps it).
  if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
    close();
    e->accept();
    return;
  }
  QWidget::keyPressEvent(e);
}

void ZChildFrame::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  if (e->spontaneous()) return;  // the parent window shown again, not this one opened
  // The keyboard follows the window that opens, so keys meant for it never reach
  // the window below; it goes back when this one closes.
  QWidget* had = QApplication::focusWidget();
  returnFocus_ = had != nullptr && !isAncestorOf(had) ? had : nullptr;
  for (QWidget* w = nextInFocusChain(); w != nullptr && w != this; w = w->nextInFocusChain()) {
    if (!content_->isAncestorOf(w)) continue;
    if (w->isVisibleTo(this) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) != 0) {
      w->setFocus(Qt::TabFocusReason);
      break;
    }
  }
}

void ZChildFrame::hideEvent(QHideEvent* e) {
  QWidget::hideEvent(e);
  if (e->spontaneous()) return;
  QWidget* now = QApplication::focusWidget();
  if (returnFocus_ && returnFocus_->isVisible() && returnFocus_->isEnabled() && (now == nullptr || isAncestorOf(now)))
    returnFocus_->setFocus(Qt::OtherFocusReason);
  returnFocus_ = nullptr;
}

void ZChildFrame::mousePressEvent(QMouseEvent* e) {
  // The title strip lies above the content; a press there starts moving the window.
  if (e->button() == Qt::LeftButton && e->position().y() < content_->y()) {
    dragging_ = true;
    dragFrom_ = e->globalPosition().toPoint() - pos();
  }
}

void ZChildFrame::mouseMoveEvent(QMouseEvent* e) {
  if (!dragging_ || !parentWidget()) return;
  QPoint p = e->globalPosition().toPoint() - dragFrom_;
  const QRect bounds = parentWidget()->rect();
  p.setX(std::clamp(p.x(), 0, std::max(0, bounds.width() - width())));
  p.setY(std::clamp(p.y(), 0, std::max(0, bounds.height() - height())));
  move(p);
}

void ZChildFrame::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

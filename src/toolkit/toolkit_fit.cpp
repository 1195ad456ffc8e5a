// A window fits the screen it opens on, at any font size: when its natural size
// (with the window manager's frame) is larger than the screen, the parts of its
// content marked to scroll do, else the whole content, instead of being squeezed
// (squeezed, the controls would overlap and the close box and the actual values
// would lie off the screen).
#include "toolkit/toolkit_internal.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>

#include <algorithm>
#include <cmath>

namespace tk {
namespace {

// The frame of a window manager that has not drawn one yet: a title bar and thin borders.
const QSize kFrameGuess(12, 40);

// A scroll area as large as its content wants to be (Qt's own caps its wish).
class FitArea : public QScrollArea {
 public:
  explicit FitArea(QWidget* content) {
    setFocusPolicy(Qt::NoFocus);  // no stop of its own in the Tab order
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    if (content) setWidget(content);
    viewport()->setBackgroundRole(QPalette::Window);
  }
  QSize sizeHint() const override {
    const QWidget* c = widget();
    return c ? c->sizeHint().expandedTo(c->minimumSizeHint()) : QScrollArea::sizeHint();
  }
};

QRect screenArea(QWidget* w) {
  QScreen* s = w->screen();
  if (!s) s = QGuiApplication::primaryScreen();
  return s ? s->availableGeometry() : QRect();
}

// Puts the main window's content into a scroll area; the child windows that lay
// on the content move onto the area, so that they stay in view while it scrolls.
void letContentScroll(int handle, QMainWindow* mw) {
  if (dynamic_cast<FitArea*>(mw->centralWidget())) return;
  QWidget* content = mw->takeCentralWidget();
  if (!content) return;
  auto* area = new FitArea(content);
  mw->setCentralWidget(area);
  for (auto& [h, p] : panels()) {
    if (p.parent != handle || !p.window || p.window->parentWidget() != content) continue;
    const bool shown = p.window->isVisible();
    p.window->setParent(area);
    if (shown) p.window->show();
  }
}

// The field that gets the keyboard focus is scrolled into view, however the
// focus came to it.
void followFocus() {
  static bool connected = false;
  if (connected) return;
  connected = true;
  QObject::connect(qApp, &QApplication::focusChanged, qApp, [](QWidget*, QWidget* now) {
    if (!now) return;
    for (QWidget* a = now->parentWidget(); a && !a->isWindow(); a = a->parentWidget())
      if (auto* area = dynamic_cast<FitArea*>(a); area && area->widget()) {
        // The whole field, not only its text cursor (which Qt's own call shows).
        const QRect r(now->mapTo(area->widget(), QPoint(0, 0)), now->size());
        area->ensureVisible(r.center().x(), r.center().y(), r.width() / 2 + 6, r.height() / 2 + 6);
      }
  });
}

// Each part marked "scrollPart" goes into a scroll area of its own, as large as
// the part wants: where the window is short of room only those parts scroll, and
// what lies beside them (the values the operator watches, the error line) stays
// whole. Only a window short of room gets them: elsewhere a part that grows
// (a refusal spelled out) makes the window grow, as without them.
bool wrapScrollParts(QWidget* w) {
  bool any = false;
  for (QWidget* part : w->findChildren<QWidget*>()) {
    if (!part->property("scrollPart").toBool()) continue;
    any = true;
    QWidget* host = part->parentWidget();
    if (!host || !host->layout() || dynamic_cast<FitArea*>(host->parentWidget())) continue;  // done before
    auto* area = new FitArea(nullptr);
    area->setObjectName(part->objectName() + QStringLiteral("_BEREICH"));
    delete host->layout()->replaceWidget(part, area, Qt::FindChildrenRecursively);
    area->setWidget(part);
    // The window's least size is asked for at once, before any event ran.
    for (QWidget* h = area; h; h = h->isWindow() ? nullptr : h->parentWidget()) {
      h->updateGeometry();
      if (h->layout()) h->layout()->invalidate();
    }
    if (w->layout()) w->layout()->activate();
  }
  if (any) followFocus();
  return any;
}

bool fitsIn(QSize s, QSize room) { return s.width() <= room.width() && s.height() <= room.height(); }

// Size (and place) the window for a frame of `frame` on its screen.
void fit(int handle, QWidget* w, QSize frame) {
  const QRect avail = screenArea(w);
  if (avail.isEmpty()) return;
  const QSize room = (avail.size() - frame).expandedTo(QSize(1, 1));
  const QSize want = w->sizeHint().expandedTo(w->minimumSizeHint());
  if (fitsIn(want, room)) return;
  // Where even the parts that do not scroll are too large, the whole content scrolls.
  const bool parts = wrapScrollParts(w);
  if (!parts || !fitsIn(w->minimumSizeHint(), room))
    letContentScroll(handle, static_cast<QMainWindow*>(w));
  w->resize(want.boundedTo(room).expandedTo(w->minimumSizeHint()));
}

// Once the window manager has drawn its frame: the frame too lies on the screen.
class FrameWatch : public QObject {
 public:
  FrameWatch(int handle, QWidget* w) : QObject(w), handle_(handle), w_(w) { w->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* ev) override {
    if (ev->type() != QEvent::Move && ev->type() != QEvent::Resize && ev->type() != QEvent::Show) return false;
    if (!w_ || !w_->isVisible()) return false;
    const QRect outer = w_->frameGeometry();
    const QRect inner = w_->geometry();
    if (outer == inner) return false;  // no frame known yet
    const QSize frame = frameOf(w_);
    const QRect avail = screenArea(w_);
    QPointer<FrameWatch> self(this);
    if (!avail.contains(outer)) {
      fit(handle_, w_, frame);
      const QRect now = w_->frameGeometry();
      const int x = std::clamp(now.x(), avail.left(), std::max(avail.left(), avail.right() + 1 - now.width()));
      const int y = std::clamp(now.y(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - now.height()));
      w_->move(x, y);
    }
    if (self) deleteLater();
    return false;
  }

 private:
  int handle_;
  QPointer<QWidget> w_;
};

}  // namespace

QSize frameOf(QWidget* w) {
  // At a fractional scale the frame's device pixels are rounded to window
  // coordinates, possibly down: a pixel more keeps the frame on the screen.
  const qreal dpr = w->devicePixelRatioF();
  const QSize rounding = dpr == std::floor(dpr) ? QSize(0, 0) : QSize(1, 1);
  if (w->isVisible() && w->frameGeometry() != w->geometry())
    return w->frameGeometry().size() - w->geometry().size() + rounding;
  // The frame of a window already on the screen is the best guess for this one.
  for (QWidget* other : QApplication::topLevelWidgets()) {
    if (other == w || !other->isVisible()) continue;
    const QSize f = other->frameGeometry().size() - other->geometry().size();
    if (f.width() > 0 || f.height() > 0) return f + rounding;
  }
  return kFrameGuess;
}

void fitToScreen(int handle, QWidget* w) {
  // Only a main window has content that can scroll; other windows keep their size.
  if (!qobject_cast<QMainWindow*>(w) || !w->isWindow()) return;
  fit(handle, w, frameOf(w));
  new FrameWatch(handle, w);
}

}  // namespace tk

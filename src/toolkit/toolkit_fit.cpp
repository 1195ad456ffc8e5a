// A window fits the screen it opens on, at any font size: when its natural size
// (with the window manager's frame) is larger than the screen, its content
// scrolls instead of being squeezed (squeezed, the controls would overlap and the
// close box and the actual values would lie off the screen).
#include "toolkit/toolkit_internal.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
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
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setWidget(content);
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

// Size (and place) the window for a frame of `frame` on its screen.
void fit(int handle, QWidget* w, QSize frame) {
  const QRect avail = screenArea(w);
  if (avail.isEmpty()) return;
  const QSize room = (avail.size() - frame).expandedTo(QSize(1, 1));
  const QSize want = w->sizeHint().expandedTo(w->minimumSizeHint());
  if (want.width() <= room.width() && want.height() <= room.height()) return;
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

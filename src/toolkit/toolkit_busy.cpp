// Operations started by the operator: while one runs, the program takes no input
// (it is discarded, never replayed afterwards), the mouse shows a busy cursor, and
// the windows are still drawn for real.
//
// The event loop is blocked while an operation talks to the device. Input the
// window system queued meanwhile would otherwise be delivered afterwards, to
// whatever lies under it then, and windows shown meanwhile would never be drawn on
// a display that paints only after an expose event.
#include "toolkit/toolkit_internal.h"
#include "toolkit/toolkit_testing.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QInputEvent>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#ifdef ZPK3X_HAVE_XCB
#include <QGuiApplication>
#include <xcb/xcb.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>

namespace tk {
namespace {

int gOperation = 0;         // nesting of operator operations
int gSuspended = 0;         // nesting of modal popups inside an operation
bool gDraining = false;     // the end of an operation: input queued so far goes
bool gHaveCutoff = false;   // the server time before which input is stale
std::uint32_t gCutoff = 0;
double gLastDrainMs = -1.0;

bool swallowing() { return (gOperation > 0 && gSuspended == 0) || gDraining; }

bool isInput(QEvent::Type t) {
  switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
      return true;
    default:
      return false;
  }
}

// Whether server time `t` lies before `cutoff` (32-bit time that wraps around).
bool before(std::uint32_t t, std::uint32_t cutoff) { return static_cast<std::int32_t>(t - cutoff) < 0; }

// A dialog of the program minimised during an operation (by a window manager
// that offers it the button anyway) is shown again at once: the operation's
// progress must not hide for the rest of it. Some managers minimise the owner
// with it and restore both together.
void keepShown(QObject* obj) {
  auto* w = qobject_cast<QWidget*>(obj);
  if (!operationRunning() || !w || !w->isWindow() || !w->parentWidget() || !w->isMinimized()) return;
  QMetaObject::invokeMethod(
      w,
      [w] {
        if (!w->isMinimized()) return;
        w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
        w->show();
        w->raise();
      },
      Qt::QueuedConnection);
}

// Windows whose close box was used during the running operation.
std::set<int> gCloseRequests;

// The panel a window belongs to (its widget, or the window system's window of it), or 0.
int panelOf(QObject* obj) {
  const QVariant pv = obj->property("zpkPanel");
  if (pv.isValid()) return pv.toInt();
  if (!obj->isWindowType()) return 0;
  for (auto& [handle, p] : panels())
    if (p.window && p.window->isWindow() && p.window->windowHandle() == obj) return handle;
  return 0;
}

class InputGate : public QObject {
 public:
  bool eventFilter(QObject* obj, QEvent* ev) override {
    const QEvent::Type t = ev->type();
    if (t == QEvent::Close) {  // close box, Alt+F4
      if (!swallowing() || !ev->spontaneous()) return false;
      // Discarded like all input, but kept as a request a long operation may heed.
      if (operationRunning())
        if (const int panel = panelOf(obj); panel > 0) gCloseRequests.insert(panel);
      return true;
    }
    if (t == QEvent::WindowStateChange) keepShown(obj);
    if (!isInput(t)) return false;
    if (swallowing()) return true;
    // Each new press starts afresh (the window sees it before any focus moves).
    if (obj->isWindowType() && (t == QEvent::MouseButtonPress || t == QEvent::KeyPress || t == QEvent::Wheel))
      clearRefusal();
    // Input that was made before the last operation ended and is only read now
    // (it comes from the window system to a window first).
    if (gHaveCutoff && obj->isWindowType() && ev->spontaneous()) {
      const auto* ie = dynamic_cast<const QInputEvent*>(ev);
      if (ie && before(static_cast<std::uint32_t>(ie->timestamp()), gCutoff)) return true;
    }
    return false;
  }
};


#ifdef ZPK3X_HAVE_XCB
// Learns the X server's current time: a property change on a window of our own
// comes back as a PropertyNotify that carries it. Events are read in order, so
// every input event queued before that notify is older than its time.
class ServerClock : public QAbstractNativeEventFilter {
 public:
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (window_ == 0 || type != "xcb_generic_event_t") return false;
    const auto* ev = static_cast<const xcb_generic_event_t*>(message);
    if ((ev->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) return false;
    const auto* pn = reinterpret_cast<const xcb_property_notify_event_t*>(ev);
    if (pn->window != window_) return false;
    seen_ = true;
    time_ = pn->time;
    return true;
  }

  // The server's time now, or false when it cannot be learnt within the bound.
  bool now(std::uint32_t* time) {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c) return false;
    if (window_ == 0 && !create(c)) return false;
    seen_ = false;
    const std::uint8_t value = 0;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, atom_, XCB_ATOM_CARDINAL, 8, 1, &value);
    xcb_flush(c);
    QElapsedTimer clock;
    clock.start();
    constexpr int kBoundMs = 500;
    while (!seen_ && clock.elapsed() < kBoundMs) {
      QTimer wake;
      wake.setSingleShot(true);
      wake.start(5);
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    *time = time_;
    return seen_;
  }

 private:
  bool create(xcb_connection_t* c) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    if (!it.rem) return false;
    const char name[] = "_ZPK3X_INPUT_CUTOFF";
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    if (!reply) return false;
    atom_ = reply->atom;
    std::free(reply);
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    window_ = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, it.data->root, -10, -10, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
    if (d) d->installNativeEventFilter(this);
    return true;
  }

  xcb_window_t window_ = 0;
  xcb_atom_t atom_ = 0;
  bool seen_ = false;
  std::uint32_t time_ = 0;
};

bool serverTime(std::uint32_t* time) {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return false;
  static ServerClock clock;
  return clock.now(time);
}
#else
bool serverTime(std::uint32_t*) { return false; }
#endif

void showBusy() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
void showIdle() { QGuiApplication::restoreOverrideCursor(); }

// Lets everything queued so far be read and discarded, with the callback depth
// held so that no timer tick runs meanwhile.
void drain() {
  Depth hold;
  QElapsedTimer clock;
  clock.start();
  gDraining = true;
  QGuiApplication::sync();
  std::uint32_t t = 0;
  if (serverTime(&t)) {
    gCutoff = t;
    gHaveCutoff = true;
  }
  // Input events reach the widgets one pass after the window system's queue is read.
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
  gDraining = false;
  gLastDrainMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

}  // namespace

void installInputGate() {
  static InputGate* gate = nullptr;
  if (gate || !haveApplication()) return;
  gate = new InputGate;
  qApp->installEventFilter(gate);
}

OperatorOperation::OperatorOperation() {
  if (!haveApplication()) return;
  active_ = true;
  installInputGate();
  if (gOperation++ == 0) {
    gCloseRequests.clear();
    showBusy();
  }
}

OperatorOperation::~OperatorOperation() {
  if (!active_) return;
  if (gOperation == 1) drain();
  if (--gOperation == 0) showIdle();
}

BusySuspension::BusySuspension() {
  if (gOperation == 0 || gSuspended++ > 0) return;
  active_ = true;
  showIdle();
}

BusySuspension::~BusySuspension() {
  if (gOperation == 0) return;
  if (--gSuspended > 0 || !active_) return;
  showBusy();
}

bool operationRunning() { return gOperation > 0 && gSuspended == 0; }

bool takeCloseRequest(int panel) { return gCloseRequests.erase(panel) > 0; }

void showProgress() {
  if (!operationRunning()) return;
  // Input that arrives meanwhile is discarded by the gate; timer ticks are held
  // off by the callback depth.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void drawPending() {
  if (!operationRunning() || QThread::currentThread() != qApp->thread()) return;
  // Often enough that an uncovered window looks drawn at once, seldom enough to
  // cost nothing while bytes stream in.
  static QElapsedTimer last;
  constexpr int kEveryMs = 25;
  if (last.isValid() && !last.hasExpired(kEveryMs)) return;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  last.start();
}

void drawWhenExposed(QWidget* w) {
  if (!operationRunning() || !w) return;
  QWindow* win = w->windowHandle();
  QElapsedTimer clock;
  clock.start();
  // A window shown from a blocked loop is mapped but not yet exposed: painting
  // it before that paints nothing.
  constexpr int kBoundMs = 300;
  while (win && !win->isExposed() && clock.elapsed() < kBoundMs) {
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(5);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  if (w->isVisible()) w->repaint();
}

}  // namespace tk

double TestLastInputDrainMilliseconds() { return tk::gLastDrainMs; }

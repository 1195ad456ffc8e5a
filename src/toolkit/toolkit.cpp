// Windows, event delivery, the event loop, control values and attributes.
#include "toolkit/toolkit.h"

#include "toolkit/controls.h"
#include "toolkit/toolkit_internal.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#ifdef ZPK3X_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstddef>
#include <cstring>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>

namespace tk {
namespace {
int gDepth = 0;
int gNextHandle = 1;
std::vector<QEventLoop*> gLoops;
bool gQuitPending = false;
int gQuitCode = 0;
int gBole = 1;

// Relays the events of windows and controls to the callbacks.
class EventRelay : public QObject {
 public:
  bool eventFilter(QObject* obj, QEvent* ev) override;
};

EventRelay* relay() {
  static EventRelay* r = new EventRelay;
  return r;
}

int toInt(double v) {
  if (!std::isfinite(v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(std::lround(v));
}

bool EventRelay::eventFilter(QObject* obj, QEvent* ev) {
  const QVariant pv = obj->property("zpkPanel");
  if (!pv.isValid()) return false;
  const int panel = pv.toInt();
  const QVariant cv = obj->property("zpkCtrl");
  if (!cv.isValid()) {
    // The window itself.
    switch (ev->type()) {
      case QEvent::Close: {
        Panel* p = findPanel(panel);
        if (!p) return false;
        if (!p->closable) {
          ev->ignore();
          return true;
        }
        if (p->cb) {
          // The program decides what closing means.
          ev->ignore();
          deliverPanel(panel, EVENT_CLOSE, 0, 0);
          return true;
        }
        auto& stack = popupStack();
        if (!stack.empty() && stack.back() == panel) {
          ev->ignore();
          RemovePopup(0);
          return true;
        }
        return false;  // plain hide
      }
      case QEvent::WindowActivate:
        if (gDepth == 0) deliverPanel(panel, EVENT_GOT_FOCUS, 0, 0);
        return false;
      case QEvent::WindowDeactivate:
        if (gDepth == 0) deliverPanel(panel, EVENT_LOST_FOCUS, 0, 0);
        return false;
      default:
        return false;
    }
  }
  const int control = cv.toInt();
  switch (ev->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:  // a quick second click is a click too
      if (static_cast<QMouseEvent*>(ev)->button() == Qt::LeftButton && !refusalPending()) {
        auto* w = qobject_cast<QWidget*>(obj);
        if (w && w->isEnabled()) deliverCtrl(panel, control, EVENT_LEFT_CLICK, 0, 0);
      }
      return false;
    case QEvent::KeyPress: {
      const int code = zKeyCode(static_cast<QKeyEvent*>(ev));
      // A callback that answers non-zero swallows the key.
      if (deliverCtrl(panel, control, EVENT_KEYPRESS, code, 0) != 0) return true;
      // Enter presses a focused button, as Space does.
      auto* b = qobject_cast<QAbstractButton*>(obj);
      const auto* k = static_cast<QKeyEvent*>(ev);
      if (b && b->isEnabled() && code == VAL_ENTER_VKEY && !k->isAutoRepeat() &&
          (k->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        b->click();
        return true;
      }
      return false;
    }
    case QEvent::FocusIn:
      if (gDepth == 0) deliverCtrl(panel, control, EVENT_GOT_FOCUS, 0, 0);
      return false;
    case QEvent::FocusOut:
      if (gDepth == 0) deliverCtrl(panel, control, EVENT_LOST_FOCUS, 0, 0);
      return false;
    default:
      return false;
  }
}

std::map<std::string, CtrlCallbackPtr>& ctrlRegistry() {
  static std::map<std::string, CtrlCallbackPtr> m;
  return m;
}
std::map<std::string, PanelCallbackPtr>& panelRegistry() {
  static std::map<std::string, PanelCallbackPtr> m;
  return m;
}
std::map<std::string, MenuCallbackPtr>& menuRegistry() {
  static std::map<std::string, MenuCallbackPtr> m;
  return m;
}

void discardTree(int handle, bool deferred) {
  Panel* p = findPanel(handle);
  if (!p) return;
  std::vector<int> kids;
  for (auto& [h, other] : panels())
    if (other.parent == handle) kids.push_back(h);
  for (int k : kids) discardTree(k, deferred);
  auto& stack = popupStack();
  std::erase(stack, handle);
  QPointer<QWidget> w = p->window;
  panels().erase(handle);
  if (!w) return;
  w->hide();
  // A callback of this very window may still be on the stack below us.
  if (deferred) w->deleteLater();
  else delete w.data();
}
}  // namespace

Depth::Depth() { ++gDepth; }
Depth::~Depth() { --gDepth; }

std::map<int, Panel>& panels() {
  static std::map<int, Panel> m;
  return m;
}

Panel* findPanel(int handle) {
  auto it = panels().find(handle);
  return it == panels().end() ? nullptr : &it->second;
}

Control* findControl(int panel, int control, int* err) {
  Panel* p = findPanel(panel);
  if (!p) {
    *err = UIE_BAD_PANEL_HANDLE;
    return nullptr;
  }
  auto it = p->controls.find(control);
  if (it == p->controls.end() || !it->second.w) {
    *err = UIE_BAD_CONTROL_ID;
    return nullptr;
  }
  *err = 0;
  return &it->second;
}

int newHandle() { return gNextHandle++; }
bool haveApplication() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }
int callbackDepth() { return gDepth; }

std::vector<int>& popupStack() {
  static std::vector<int> s;
  return s;
}

QWidget* dialogParent() {
  auto& stack = popupStack();
  for (auto it = stack.rbegin(); it != stack.rend(); ++it)
    if (Panel* p = findPanel(*it); p && p->window && p->window->isVisible()) return p->window;
  if (QWidget* a = QApplication::activeWindow()) return a;
  for (auto& [h, p] : panels())
    if (p.window && p.window->isWindow() && p.window->isVisible()) return p.window;
  return nullptr;
}

int deliverCtrl(int panel, int control, int event, int eventData1, int eventData2) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c || !c->cb) return 0;
  const CtrlCallbackPtr f = c->cb;
  void* data = c->data;
  // Commands the operator gives: buttons, toggles and rings act on commit, the
  // picture ring on its click or key. Numeric fields only change the table, and
  // timer ticks are no operator's doing.
  const bool command = (event == EVENT_COMMIT && (c->kind == Kind::Button || c->kind == Kind::Toggle ||
                                                  c->kind == Kind::Ring || c->kind == Kind::String)) ||
                       (c->kind == Kind::PictureRing && (event == EVENT_LEFT_CLICK || event == EVENT_KEYPRESS));
  std::optional<OperatorOperation> op;
  if (command) {
    operatorActed(panel, control);
    op.emplace();
  }
  Depth d;
  return f(panel, control, event, data, eventData1, eventData2);
}

int deliverPanel(int panel, int event, int eventData1, int eventData2) {
  Panel* p = findPanel(panel);
  if (!p || !p->cb) return 0;
  const PanelCallbackPtr f = p->cb;
  void* data = p->data;
  Depth d;
  return f(panel, event, data, eventData1, eventData2);
}

void deliverMenu(int panel, int item) {
  Panel* p = findPanel(panel);
  if (!p) return;
  auto it = p->menu.find(item);
  if (it == p->menu.end() || !it->second.cb) return;
  // A command whose own click or key refused the entry in a field is not carried out.
  if (!commitPendingEdit(p->window ? p->window->window() : nullptr, nullptr) || refusalPending()) return;
  p = findPanel(panel);  // the commit's callback may have discarded the window
  if (!p) return;
  it = p->menu.find(item);
  if (it == p->menu.end() || !it->second.cb) return;
  const MenuCallbackPtr f = it->second.cb;
  void* data = it->second.data;
  const int bar = p->menuBar;
  operatorActed(panel, item);
  OperatorOperation op;
  Depth d;
  f(bar, item, data, panel);
}

bool commitPendingEdit(QWidget* window, QWidget* except) {
  if (!window) return true;
  QWidget* f = window->focusWidget();
  while (f && !qobject_cast<ZNumeric*>(f)) f = f->parentWidget();
  auto* n = qobject_cast<ZNumeric*>(f);
  return !n || n == except || n->takePendingEdit();
}

namespace {
bool gRefused = false;
RefusedEntryCallbackPtr gRefusedCallback = nullptr;
OperatorActionCallbackPtr gActionCallback = nullptr;
}  // namespace

void operatorActed(int panel, int control) {
  if (gActionCallback) gActionCallback(panel, control);
}

void clearRefusal() { gRefused = false; }
bool refusalPending() { return gRefused; }

void repaintNow(QWidget* w) {
  // Paint at once without running the event loop: a callback that keeps the
  // loop busy still shows its progress, and no timer tick sneaks in.
  if (w && w->isVisible()) w->repaint();
  // Inside an operator's operation the windows also get their expose events (a
  // window uncovered or just shown is drawn only after one); input stays discarded.
  showProgress();
}

void watchWindow(int panel, QWidget* window) {
  window->setProperty("zpkPanel", panel);
  window->installEventFilter(relay());
}

void wireControl(int panel, Control& c) {
  QWidget* w = c.w;
  const int id = c.id;
  w->setProperty("zpkPanel", panel);
  w->setProperty("zpkCtrl", id);
  w->installEventFilter(relay());
  auto commit = [panel, id, w] {
    if (!commitPendingEdit(w->window(), w) || refusalPending()) return;
    deliverCtrl(panel, id, EVENT_COMMIT, 0, 0);
  };
  switch (c.kind) {
    case Kind::Button:
    case Kind::Toggle:
      QObject::connect(static_cast<QAbstractButton*>(w), &QAbstractButton::clicked, w, commit);
      break;
    case Kind::Ring:
      static_cast<ZRing*>(w)->onCommit = commit;
      break;
    case Kind::String: {
      // An entry field commits with Enter, as a barcode scanner ends its input.
      auto* e = static_cast<QLineEdit*>(w);
      if (!e->isReadOnly()) QObject::connect(e, &QLineEdit::returnPressed, w, commit);
      break;
    }
    case Kind::Numeric: {
      auto* n = static_cast<ZNumeric*>(w);
      n->onCommit = [panel, id] { deliverCtrl(panel, id, EVENT_COMMIT, 0, 0); };
      n->onAccepted = [panel, id] { operatorActed(panel, id); };
      n->onRefused = [panel, id, n](int reason) {
        gRefused = true;
        if (gRefusedCallback)
          gRefusedCallback(panel, id, reason, n->rangeText().toStdString().c_str(), n->decimals());
      };
      break;
    }
    case Kind::Timer:
      static_cast<ZTimer*>(w)->onTick = [panel, id] {
        // One callback at a time: a tick that falls into a running callback
        // (a popup's own loop, a requested event pass) is dropped, not queued.
        if (gDepth == 0) deliverCtrl(panel, id, EVENT_TIMER_TICK, 0, 0);
      };
      break;
    case Kind::Graph:
      wireGraph(panel, id, w);
      break;
    default:
      break;
  }
}

}  // namespace tk

using namespace tk;

// ---------------------------------------------------------------- registry
void RegisterCtrlCallback(const char* name, CtrlCallbackPtr function) {
  if (name) ctrlRegistry()[name] = function;
}
void RegisterPanelCallback(const char* name, PanelCallbackPtr function) {
  if (name) panelRegistry()[name] = function;
}
void RegisterMenuCallback(const char* name, MenuCallbackPtr function) {
  if (name) menuRegistry()[name] = function;
}
void InstallRefusedEntryCallback(RefusedEntryCallbackPtr function) { gRefusedCallback = function; }
void InstallOperatorActionCallback(OperatorActionCallbackPtr function) { gActionCallback = function; }

namespace tk {
CtrlCallbackPtr lookupCtrlCallback(const std::string& name, bool* found) {
  auto it = ctrlRegistry().find(name);
  *found = it != ctrlRegistry().end();
  return *found ? it->second : nullptr;
}
PanelCallbackPtr lookupPanelCallback(const std::string& name, bool* found) {
  auto it = panelRegistry().find(name);
  *found = it != panelRegistry().end();
  return *found ? it->second : nullptr;
}
MenuCallbackPtr lookupMenuCallback(const std::string& name, bool* found) {
  auto it = menuRegistry().find(name);
  *found = it != menuRegistry().end();
  return *found ? it->second : nullptr;
}
}  // namespace tk

void TestForgetCallbacks() {
  ctrlRegistry().clear();
  panelRegistry().clear();
  menuRegistry().clear();
}

// ---------------------------------------------------------------- start
namespace {
// Whether the X server of a local display name (":0", "unix:1.0") accepts a
// connection. Displays on other hosts are not probed: true.
bool localXServerReachable(const char* display) {
  const char* colon = std::strrchr(display, ':');
  if (!colon) return true;
  const std::string host(display, static_cast<std::size_t>(colon - display));
  if (!host.empty() && host != "unix") return true;
  const char* digits = colon + 1;
  const std::size_t n = std::strspn(digits, "0123456789");
  if (n == 0) return true;
  const std::string path = "/tmp/.X11-unix/X" + std::string(digits, n);
  // Linux servers listen on an abstract socket of that name and on the file.
  for (bool abstract : {true, false}) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;  // cannot tell: leave it to the platform
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    std::memcpy(addr.sun_path + offset, path.data(), std::min(path.size(), sizeof addr.sun_path - 1 - offset));
    const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() +
                                                 (abstract ? 0 : 1));
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), len) == 0;
    ::close(fd);
    if (ok) return true;
  }
  return false;
}
}  // namespace

int InitUserInterface(int argc, char* argv[]) {
  if (haveApplication()) return 1;
  if (QCoreApplication::instance()) return 0;  // someone started a non-window application
  // Without a display the application's constructor aborts the process: look first.
  const char* qpa = std::getenv("QT_QPA_PLATFORM");
  const char* x = std::getenv("DISPLAY");
  const char* wl = std::getenv("WAYLAND_DISPLAY");
  const bool any = (qpa && *qpa) || (x && *x) || (wl && *wl);
  if (!any) return 0;
  // A display named but gone (a stale DISPLAY) aborts the constructor just the same.
  const bool onlyX = (!qpa || !*qpa || std::strncmp(qpa, "xcb", 3) == 0) && !(wl && *wl);
  if (onlyX && x && *x && !localXServerReachable(x)) return 0;
  static int sArgc = 0;
  static std::vector<char*> sArgv;
  static char sName[] = "zpk3x";
  sArgv.clear();
  if (argc > 0 && argv) {
    for (int i = 0; i < argc; ++i) sArgv.push_back(argv[i]);
  } else {
    sArgv.push_back(sName);
  }
  sArgc = static_cast<int>(sArgv.size());
  sArgv.push_back(nullptr);
  auto* app = new QApplication(sArgc, sArgv.data());
  // Numbers in files and on the line never follow the operator's locale.
  std::setlocale(LC_NUMERIC, "C");
  app->setQuitOnLastWindowClosed(false);
  installInputGate();
  return 1;
}

int SetBOLE(int on) {
  // The toolkit never stops the program on its own errors; the setting is kept
  // so that callers can save and restore it around their work.
  const int previous = gBole;
  gBole = on ? 1 : 0;
  return previous;
}

// ---------------------------------------------------------------- windows
int DisplayPanel(int panel) {
  Panel* p = findPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL_HANDLE;
  QWidget* w = p->window;
  if (w->isWindow() && !p->placed) {
    // The whole window at its natural size; the platform's default may be smaller.
    p->placed = true;
    w->resize(w->sizeHint().expandedTo(w->minimumSizeHint()));
    fitToScreen(panel, w);
  }
  if (!w->isWindow() && !p->placed) {
    // A child window first appears at the top right of its parent.
    p->placed = true;
    w->adjustSize();
    if (QWidget* host = w->parentWidget()) {
      // Never larger than its host: the form then scrolls inside its frame.
      const QSize room = QSize(host->width() - 8, host->height() - 8).expandedTo(QSize(120, 80));
      if (auto* frame = qobject_cast<ZChildFrame*>(w); frame && (w->width() > room.width() || w->height() > room.height())) {
        frame->letScroll();
        w->resize(w->sizeHint().boundedTo(room));
      }
      const int x = std::max(0, host->width() - w->width() - 12);
      w->move(x, std::clamp(host->height() - w->height() - 4, 0, 12));
    }
  }
  w->show();
  w->raise();
  if (w->isWindow()) w->activateWindow();
  drawWhenExposed(w);
  return 0;
}

int HidePanel(int panel) {
  Panel* p = findPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL_HANDLE;
  auto& stack = popupStack();
  if (std::find(stack.begin(), stack.end(), panel) != stack.end()) {
    std::erase(stack, panel);
    p->window->setWindowModality(Qt::NonModal);
  }
  p->window->hide();
  return 0;
}

int DiscardPanel(int panel) {
  if (!findPanel(panel)) return UIE_BAD_PANEL_HANDLE;
  discardTree(panel, gDepth > 0);
  return 0;
}

namespace {
#ifdef ZPK3X_HAVE_XCB
// A window without close box has no function Qt could name to the window
// manager, and Qt then grants it all (minimise and maximise too): name the one
// it has.
void onlyMovable(QWidget* w) {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (!c) return;
  const char name[] = "_MOTIF_WM_HINTS";
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
  if (!reply) return;
  const xcb_atom_t atom = reply->atom;
  std::free(reply);
  // flags (functions, decorations), functions (move), decorations (border, title), input mode, status
  const std::uint32_t hints[5] = {1u | 2u, 4u, 2u | 8u, 0u, 0u};
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(w->winId()), atom, atom, 32, 5, hints);
  xcb_flush(c);
}
#else
void onlyMovable(QWidget*) {}
#endif

// A popup belongs to the window it was opened from: the window manager keeps it
// above that window and treats it as a dialog; one without close box also gets
// no minimise or maximise button where the manager follows the motif hints
// (openbox keeps a dialog's minimise button whatever they say, so the operation
// undoes a minimise: see the input gate).
void ownedBy(QWidget* w, QWidget* owner, bool closable) {
  if (!owner || w->parentWidget()) return;
  owner = owner->window();
  if (owner == w) return;
  const QPoint pos = w->pos();
  const bool moved = w->testAttribute(Qt::WA_Moved);
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (closable) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  w->setParent(owner, flags);
  if (moved) w->move(pos);
  if (!closable) onlyMovable(w);
}
}  // namespace

int InstallPopup(int panel) {
  Panel* p = findPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL_HANDLE;
  QWidget* w = p->window;
  if (!w->isWindow()) return UIE_BAD_PANEL_HANDLE;
  auto& stack = popupStack();
  std::erase(stack, panel);
  // Modality only takes effect on a hidden window.
  w->hide();
  ownedBy(w, dialogParent(), p->closable);
  w->setWindowModality(Qt::ApplicationModal);
  stack.push_back(panel);
  if (!p->placed) {
    // First shown: its natural size, in the middle of the screen.
    p->placed = true;
    w->adjustSize();
    if (QScreen* s = QGuiApplication::primaryScreen()) {
      const QRect g = s->availableGeometry();
      w->move(g.center() - QPoint(w->width() / 2, w->height() / 2));
    }
  }
  w->show();
  w->raise();
  w->activateWindow();
  drawWhenExposed(w);
  return 0;
}

int RemovePopup(int) {
  auto& stack = popupStack();
  if (stack.empty()) return UIE_BAD_PANEL_HANDLE;
  const int h = stack.back();
  stack.pop_back();
  if (Panel* p = findPanel(h); p && p->window) {
    p->window->hide();
    p->window->setWindowModality(Qt::NonModal);
  }
  return 0;
}

// ---------------------------------------------------------------- loop
static std::function<void()>& loopStartHook() {
  static std::function<void()> f;
  return f;
}

void TestOnLoopStart(void (*function)()) { loopStartHook() = function; }

int RunUserInterface() {
  if (!haveApplication()) return UIE_NO_WINDOW_PLATFORM;
  if (gQuitPending) {
    gQuitPending = false;
    return gQuitCode;
  }
  QEventLoop loop;
  gLoops.push_back(&loop);
  if (auto f = loopStartHook()) {
    loopStartHook() = nullptr;
    QTimer::singleShot(0, &loop, f);
  }
  const int r = loop.exec();
  gLoops.pop_back();
  return r;
}

int QuitUserInterface(int code) {
  if (gLoops.empty()) {
    // Asked before the loop runs (or between runs): the next run ends at once.
    gQuitPending = true;
    gQuitCode = code;
  } else {
    gLoops.back()->exit(code);
  }
  return 0;
}

int ProcessSystemEvents() {
  if (!haveApplication()) return UIE_NO_WINDOW_PLATFORM;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  return 0;
}

int ProcessDrawEvents() {
  tk::drawPending();
  return 0;
}

int SetActiveCtrl(int panel, int control) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  QWidget* w = c->w;
  if (w->window()->isVisible()) w->window()->activateWindow();
  w->setFocus(Qt::OtherFocusReason);
  return 0;
}

int CloseRequested(int panel) { return tk::takeCloseRequest(panel) ? 1 : 0; }

void TestRunEvents(int milliseconds) {
  if (!haveApplication()) return;
  QEventLoop loop;
  QTimer::singleShot(std::max(0, milliseconds), &loop, &QEventLoop::quit);
  loop.exec();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// ---------------------------------------------------------------- values
namespace {
int setInt(Control* c, int v) {
  QWidget* w = c->w;
  switch (c->kind) {
    case Kind::Numeric:
      static_cast<ZNumeric*>(w)->setProgramValue(v);
      break;
    case Kind::Ring:
      static_cast<ZRing*>(w)->setProgramValue(v);
      break;
    case Kind::Led:
      static_cast<ZLed*>(w)->setOn(v != 0);
      break;
    case Kind::Toggle: {
      const QSignalBlocker b(w);
      static_cast<QAbstractButton*>(w)->setChecked(v != 0);
      break;
    }
    case Kind::PictureRing:
      static_cast<ZPictureRing*>(w)->setValue(v);
      break;
    case Kind::ProgressBar: {
      auto* bar = static_cast<QProgressBar*>(w);
      bar->setValue(std::clamp(v, bar->minimum(), bar->maximum()));
      break;
    }
    default:
      return UIE_BAD_VALUE_TYPE;
  }
  repaintNow(w);
  return 0;
}

int getNumber(Control* c, double* out) {
  QWidget* w = c->w;
  switch (c->kind) {
    case Kind::Numeric:
      *out = static_cast<ZNumeric*>(w)->committed();
      return 0;
    case Kind::Ring:
      *out = static_cast<ZRing*>(w)->committed();
      return 0;
    case Kind::Led:
      *out = static_cast<ZLed*>(w)->isOn() ? 1 : 0;
      return 0;
    case Kind::Toggle:
      *out = static_cast<QAbstractButton*>(w)->isChecked() ? 1 : 0;
      return 0;
    case Kind::PictureRing:
      *out = static_cast<ZPictureRing*>(w)->value();
      return 0;
    case Kind::ProgressBar:
      *out = static_cast<QProgressBar*>(w)->value();
      return 0;
    default:
      return UIE_BAD_VALUE_TYPE;
  }
}
}  // namespace

int SetCtrlVal(int panel, int control, int value) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  return setInt(c, value);
}

int SetCtrlVal(int panel, int control, double value) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (c->kind == Kind::Numeric) {
    static_cast<ZNumeric*>(c->w.data())->setProgramValue(value);
    repaintNow(c->w);
    return 0;
  }
  if (c->kind == Kind::Ring && static_cast<ZRing*>(c->w.data())->isCharRing()) return UIE_BAD_VALUE_TYPE;
  return setInt(c, toInt(value));
}

int SetCtrlVal(int panel, int control, char value) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (c->kind != Kind::Ring || !static_cast<ZRing*>(c->w.data())->isCharRing()) return UIE_BAD_VALUE_TYPE;
  return setInt(c, static_cast<unsigned char>(value));
}

int SetCtrlVal(int panel, int control, const char* text) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (!text) return UIE_BAD_VALUE_TYPE;
  const QString t = QString::fromUtf8(text);
  switch (c->kind) {
    case Kind::Text:
      static_cast<QLabel*>(c->w.data())->setText(t);
      break;
    case Kind::String: {
      auto* e = static_cast<QLineEdit*>(c->w.data());
      e->setText(t);
      e->setCursorPosition(0);
      // A text longer than the field stays readable whole.
      e->setToolTip(t);
      break;
    }
    case Kind::Button:
      static_cast<QAbstractButton*>(c->w.data())->setText(t);
      break;
    default:
      return UIE_BAD_VALUE_TYPE;
  }
  repaintNow(c->w);
  return 0;
}

int GetCtrlVal(int panel, int control, int* value) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (!value) return UIE_BAD_VALUE_TYPE;
  double d = 0;
  if (int r = getNumber(c, &d); r < 0) return r;
  *value = toInt(d);
  return 0;
}

int GetCtrlVal(int panel, int control, double* value) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (!value) return UIE_BAD_VALUE_TYPE;
  if (c->kind == Kind::Ring && static_cast<ZRing*>(c->w.data())->isCharRing()) return UIE_BAD_VALUE_TYPE;
  return getNumber(c, value);
}

int GetCtrlVal(int panel, int control, char* value) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (!value) return UIE_BAD_VALUE_TYPE;
  if (c->kind != Kind::Ring || !static_cast<ZRing*>(c->w.data())->isCharRing()) return UIE_BAD_VALUE_TYPE;
  *value = static_cast<char>(static_cast<ZRing*>(c->w.data())->committed());
  return 0;
}

int GetCtrlString(int panel, int control, std::string* text) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (!text) return UIE_BAD_VALUE_TYPE;
  QString t;
  switch (c->kind) {
    case Kind::Text:
      t = static_cast<QLabel*>(c->w.data())->text();
      break;
    case Kind::String:
      t = static_cast<QLineEdit*>(c->w.data())->text();
      break;
    case Kind::Button:
    case Kind::Toggle:
      t = static_cast<QAbstractButton*>(c->w.data())->text();
      break;
    case Kind::Ring:
      t = static_cast<ZRing*>(c->w.data())->currentText();
      break;
    default:
      return UIE_BAD_VALUE_TYPE;
  }
  *text = t.toStdString();
  return 0;
}

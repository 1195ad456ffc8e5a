// Test driving: operator actions through the real widgets, and pictures.
#include "toolkit/toolkit_testing.h"

#include "toolkit/controls.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_internal.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>

using namespace tk;

namespace {
// The operator reaches a control only when it is shown, not dimmed, and its
// window is not blocked by a modal popup.
int reachable(int panel, int control, Control** out) {
  clearRefusal();  // a new action of the operator, as a real press would be
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  Panel* p = findPanel(panel);
  if (!c->w->isVisible() || !c->w->isEnabled()) return UIE_NOT_REACHABLE;
  const auto& stack = popupStack();
  if (!stack.empty() && stack.back() != panel) return UIE_NOT_REACHABLE;
  (void)p;
  *out = c;
  return 0;
}

void focusOn(QWidget* w) {
  QWidget* win = w->window();
  if (!win->isActiveWindow()) {
    win->activateWindow();
    QApplication::setActiveWindow(win);
  }
  w->setFocus(Qt::MouseFocusReason);
}

// Replaces the field's text by `text`, as typed; nothing is confirmed yet.
int typeText(Control* c, const QString& text) {
  auto* n = qobject_cast<ZNumeric*>(c->w.data());
  if (!n) return UIE_BAD_VALUE_TYPE;
  if (n->isReadOnly()) return UIE_NOT_REACHABLE;
  focusOn(n);
  n->selectAll();
  QTest::keyClick(n, Qt::Key_Backspace);
  QTest::keyClicks(n, text);
  return 0;
}

int typeInto(Control* c, double value) {
  auto* n = static_cast<ZNumeric*>(c->w.data());
  if (const int r = typeText(c, QString::number(value, 'f', n->decimals())); r < 0) return r;
  QTest::keyClick(n, Qt::Key_Return);
  return 0;
}

int chooseItem(Control* c, int value) {
  auto* r = static_cast<ZRing*>(c->w.data());
  const int idx = r->indexOfValue(value);
  if (idx < 0) return UIE_BAD_VALUE_TYPE;
  focusOn(r);
  r->setCurrentIndex(idx);
  emit r->activated(idx);
  return 0;
}
}  // namespace

int TestOperatorClick(int panel, int control) {
  Control* c = nullptr;
  if (const int r = reachable(panel, control, &c); r < 0) return r;
  QTest::mouseClick(c->w.data(), Qt::LeftButton, Qt::NoModifier, c->w->rect().center());
  return 0;
}

int TestOperatorSetValue(int panel, int control, double value) {
  Control* c = nullptr;
  if (const int r = reachable(panel, control, &c); r < 0) return r;
  if (c->kind == Kind::Numeric) return typeInto(c, value);
  if (c->kind == Kind::Ring) return chooseItem(c, static_cast<int>(value));
  return UIE_BAD_VALUE_TYPE;
}

int TestOperatorSetValue(int panel, int control, int value) {
  return TestOperatorSetValue(panel, control, static_cast<double>(value));
}

int TestOperatorSetValue(int panel, int control, char value) {
  Control* c = nullptr;
  if (const int r = reachable(panel, control, &c); r < 0) return r;
  if (c->kind != Kind::Ring || !static_cast<ZRing*>(c->w.data())->isCharRing()) return UIE_BAD_VALUE_TYPE;
  return chooseItem(c, static_cast<unsigned char>(value));
}

int TestOperatorKey(int panel, int control, int keyCode) {
  Control* c = nullptr;
  if (const int r = reachable(panel, control, &c); r < 0) return r;
  Qt::Key key;
  if (keyCode == VAL_ENTER_VKEY) key = Qt::Key_Return;
  else if (keyCode == VAL_ESC_VKEY) key = Qt::Key_Escape;
  else if (keyCode == VAL_SPACE_KEY) key = Qt::Key_Space;
  else if (keyCode == VAL_UP_ARROW_VKEY) key = Qt::Key_Up;
  else if (keyCode == VAL_DOWN_ARROW_VKEY) key = Qt::Key_Down;
  else if (keyCode == VAL_TAB_VKEY) key = Qt::Key_Tab;
  else if (keyCode > 32 && keyCode < 127) key = static_cast<Qt::Key>(QChar(keyCode).toUpper().unicode());
  else return UIE_BAD_VALUE_TYPE;
  focusOn(c->w);
  QTest::keyClick(c->w.data(), key);  // shortcuts of the window see it first, as with a real key
  return 0;
}

int TestOperatorType(int panel, int control, const std::string& text) {
  Control* c = nullptr;
  if (const int r = reachable(panel, control, &c); r < 0) return r;
  return typeText(c, QString::fromStdString(text));
}

int TestOperatorMenu(int panel, int menuItem) {
  clearRefusal();
  Panel* p = findPanel(panel);
  if (!p) return UIE_BAD_PANEL_HANDLE;
  auto it = p->menu.find(menuItem);
  if (it == p->menu.end() || !it->second.action || it->second.menu || it->second.action->isSeparator())
    return UIE_BAD_CONTROL_ID;
  if (!p->window || !p->window->isVisible() || !it->second.action->isEnabled()) return UIE_NOT_REACHABLE;
  const auto& stack = popupStack();
  if (!stack.empty() && stack.back() != panel) return UIE_NOT_REACHABLE;
  it->second.action->trigger();
  return 0;
}

int TestOperatorClose(int panel) {
  Panel* p = findPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL_HANDLE;
  const auto& stack = popupStack();
  if (!stack.empty() && stack.back() != panel) return UIE_NOT_REACHABLE;
  p->window->close();
  return 0;
}

int TestGrabPanel(int panel, const char* path) {
  Panel* p = findPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL_HANDLE;
  if (!path) return UIE_BAD_VALUE_TYPE;
  QWidget* w = p->window;
  if (w->isWindow()) {
    w->ensurePolished();
    if (!w->isVisible()) w->adjustSize();
  }
  const QPixmap pm = w->grab();
  return pm.save(QString::fromUtf8(path), "PNG") ? 0 : UIE_BAD_VALUE_TYPE;
}

int TestPanelVisible(int panel) {
  Panel* p = findPanel(panel);
  if (!p || !p->window) return 0;
  if (!p->window->isVisible()) return 0;
  const auto& stack = popupStack();
  return std::find(stack.begin(), stack.end(), panel) != stack.end() ? 2 : 1;
}

// ---------------------------------------------------------------- descriptions
std::vector<int> TestControlIds(int panel) {
  std::vector<int> ids;
  if (Panel* p = findPanel(panel))
    for (auto& [id, c] : p->controls) ids.push_back(id);
  return ids;
}

int TestDescribeControl(int panel, int control, TestControlInfo* info) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (!info) return UIE_BAD_VALUE_TYPE;
  *info = TestControlInfo();
  QWidget* w = c->w;
  info->name = w->objectName().toStdString();
  info->callback = c->cbName;
  info->toolTip = w->toolTip().toStdString();
  if (c->label) info->label = c->label->text().toStdString();
  static const char* const kinds[] = {"button", "toggle", "ring",    "numeric", "led",   "text",        "string",
                                      "picturering", "picture", "timer", "frame", "progressbar", "graph", "other"};
  info->kind = kinds[static_cast<int>(c->kind)];
  if (auto* b = qobject_cast<QAbstractButton*>(w)) info->text = b->text().toStdString();
  if (auto* l = qobject_cast<QLabel*>(w)) info->text = l->text().toStdString();
  if (auto* e = qobject_cast<QLineEdit*>(w)) info->text = e->text().toStdString();
  if (auto* n = qobject_cast<ZNumeric*>(w)) {
    info->minimum = n->minimum();
    info->maximum = n->maximum();
    info->increment = n->singleStep();
    info->precision = n->decimals();
    info->integer = n->isInteger();
    info->indicator = n->isIndicator();
  }
  if (auto* r = qobject_cast<ZRing*>(w)) {
    info->ringValues = r->values();
    info->characterValues = r->isCharRing();
    for (int i = 0; i < r->count(); ++i) info->ringItems.push_back(r->itemText(i).toStdString());
  }
  return 0;
}

std::vector<TestMenuInfo> TestDescribeMenu(int panel) {
  std::vector<TestMenuInfo> out;
  Panel* p = findPanel(panel);
  if (!p) return out;
  for (auto& [id, mi] : p->menu) {
    TestMenuInfo m;
    m.id = id;
    m.callback = mi.cbName;
    if (mi.menu) {
      m.name = mi.menu->objectName().toStdString();
      m.kind = mi.menu->property("entryId").isValid() ? "submenu" : "menu";
      m.text = QString(mi.menu->title()).remove(QLatin1Char('&')).toStdString();
    } else if (mi.action) {
      m.name = mi.action->objectName().toStdString();
      m.kind = mi.action->isSeparator() ? "separator" : mi.action->menu() ? "entry" : "item";
      m.text = QString(mi.action->text()).remove(QLatin1Char('&')).toStdString();
    } else {
      m.kind = "menubar";
    }
    out.push_back(m);
  }
  return out;
}

std::string TestPanelTitle(int panel) {
  std::string t;
  GetPanelAttribute(panel, ATTR_TITLE, &t);
  return t;
}

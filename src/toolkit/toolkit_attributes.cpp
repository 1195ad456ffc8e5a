// Attributes of controls and windows.
#include "toolkit/controls.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_internal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <cmath>

using namespace tk;

namespace {

// Position and size of a control or window, as the geometry attributes report it.
int geometryOf(const QWidget* w, int attribute) {
  switch (attribute) {
    case ATTR_TOP: return w->y();
    case ATTR_LEFT: return w->x();
    case ATTR_WIDTH: return w->width();
    default: return w->height();
  }
}

// Geometry of a control; its label moves with it.
void moveControl(Control* c, int top, int left) {
  QWidget* w = c->w;
  const QPoint delta(left - w->x(), top - w->y());
  w->move(left, top);
  if (c->label && c->label->parentWidget() == w->parentWidget() && !c->label->parentWidget()->layout())
    c->label->move(c->label->pos() + delta);
}

int setNumericRange(Control* c, int attribute, double v) {
  if (c->kind == Kind::Numeric) {
    auto* n = static_cast<ZNumeric*>(c->w.data());
    if (attribute == ATTR_MIN_VALUE) n->setMinimum(v);
    else n->setMaximum(v);
    n->rangeChanged();
    return 0;
  }
  if (c->kind == Kind::ProgressBar) {
    auto* b = static_cast<QProgressBar*>(c->w.data());
    const int iv = static_cast<int>(std::lround(std::clamp(v, -1e9, 1e9)));
    if (attribute == ATTR_MIN_VALUE) b->setMinimum(iv);
    else b->setMaximum(iv);
    return 0;
  }
  return UIE_BAD_ATTRIBUTE;
}

int setCtrlInt(Control* c, int attribute, int value) {
  QWidget* w = c->w;
  switch (attribute) {
    case ATTR_VISIBLE:
      if (c->kind == Kind::Timer) return UIE_BAD_ATTRIBUTE;
      w->setVisible(value != 0);
      if (c->label) c->label->setVisible(value != 0);
      return 0;
    case ATTR_ENABLED:
      if (c->kind == Kind::Timer) {
        static_cast<ZTimer*>(w)->setTimerEnabled(value != 0);
        return 0;
      }
      w->setEnabled(value != 0);
      return 0;
    case ATTR_DIMMED:
      if (c->kind == Kind::Timer) {
        static_cast<ZTimer*>(w)->setTimerEnabled(value == 0);
        return 0;
      }
      w->setEnabled(value == 0);
      repaintNow(w);
      return 0;
    case ATTR_ON_COLOR:
      if (c->kind != Kind::Led) return UIE_BAD_ATTRIBUTE;
      static_cast<ZLed*>(w)->setOnColor(value);
      repaintNow(w);
      return 0;
    case ATTR_FILL_COLOR:
      if (c->kind == Kind::Text) {
        // A text's background: a verdict seen from across the bench.
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, QColor::fromRgb(QRgb(value & 0xFFFFFF)));
        w->setPalette(pal);
        w->setAutoFillBackground(true);
        repaintNow(w);
        return 0;
      }
      if (c->kind != Kind::ProgressBar) return UIE_BAD_ATTRIBUTE;
      {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Highlight, QColor::fromRgb(QRgb(value & 0xFFFFFF)));
        w->setPalette(pal);
      }
      return 0;
    case ATTR_TOP:
      moveControl(c, value, w->x());
      return 0;
    case ATTR_LEFT:
      moveControl(c, w->y(), value);
      return 0;
    case ATTR_WIDTH:
      if (value < 0) return UIE_BAD_ATTRIBUTE;
      w->resize(value, w->height());
      return 0;
    case ATTR_HEIGHT:
      if (value < 0) return UIE_BAD_ATTRIBUTE;
      w->resize(w->width(), value);
      return 0;
    case ATTR_MIN_VALUE:
    case ATTR_MAX_VALUE:
      return setNumericRange(c, attribute, value);
    case ATTR_PRECISION:
      if (c->kind != Kind::Numeric || value < 0 || value > 15) return UIE_BAD_ATTRIBUTE;
      static_cast<ZNumeric*>(w)->setDecimals(value);
      static_cast<ZNumeric*>(w)->rangeChanged();
      return 0;
    case ATTR_INCREMENT:
      if (c->kind != Kind::Numeric) return UIE_BAD_ATTRIBUTE;
      static_cast<ZNumeric*>(w)->setSingleStep(value);
      return 0;
    case ATTR_SHORTCUT_KEY: {
      auto* b = qobject_cast<QAbstractButton*>(w);
      if (!b) return UIE_BAD_ATTRIBUTE;
      if (value == VAL_ESC_VKEY) b->setShortcut(QKeySequence(Qt::Key_Escape));
      else if (value == VAL_ENTER_VKEY) b->setShortcut(QKeySequence(Qt::Key_Return));
      else if (value > 0 && value < 0x300) b->setShortcut(QKeySequence(value));
      else b->setShortcut(QKeySequence());
      return 0;
    }
    case ATTR_MARKER_STYLE:
      if (c->kind != Kind::ProgressBar) return UIE_BAD_ATTRIBUTE;
      // Style 0 shows the bare bar; the others print the percentage on it.
      static_cast<QProgressBar*>(w)->setTextVisible(value != 0);
      return 0;
    default:
      return UIE_BAD_ATTRIBUTE;
  }
}

int getCtrlInt(Control* c, int attribute, int* value) {
  QWidget* w = c->w;
  switch (attribute) {
    case ATTR_VISIBLE:
      *value = w->isVisibleTo(w->window()) || (w->isWindow() && w->isVisible()) ? 1 : 0;
      if (c->kind == Kind::Timer) *value = 0;
      return 0;
    case ATTR_ENABLED:
      *value = c->kind == Kind::Timer ? static_cast<ZTimer*>(w)->timerEnabled() : w->isEnabled();
      return 0;
    case ATTR_DIMMED:
      *value = c->kind == Kind::Timer ? !static_cast<ZTimer*>(w)->timerEnabled() : !w->isEnabled();
      return 0;
    case ATTR_ON_COLOR:
      if (c->kind != Kind::Led) return UIE_BAD_ATTRIBUTE;
      *value = static_cast<ZLed*>(w)->onColor();
      return 0;
    case ATTR_FILL_COLOR:
      if (c->kind == Kind::Text) {
        *value = static_cast<int>(w->palette().color(QPalette::Window).rgb() & 0xFFFFFF);
        return 0;
      }
      if (c->kind != Kind::ProgressBar) return UIE_BAD_ATTRIBUTE;
      *value = static_cast<int>(w->palette().color(QPalette::Highlight).rgb() & 0xFFFFFF);
      return 0;
    case ATTR_OUT_OF_RANGE:
      if (c->kind == Kind::Numeric) *value = static_cast<ZNumeric*>(w)->outOfRange();
      else if (c->kind == Kind::Ring) *value = static_cast<ZRing*>(w)->outOfRange();
      else if (c->kind == Kind::PictureRing) *value = !ZPictureRing::hasPicture(static_cast<ZPictureRing*>(w)->value());
      else *value = 0;
      return 0;
    case ATTR_TOP:
    case ATTR_LEFT:
    case ATTR_WIDTH:
    case ATTR_HEIGHT:
      *value = geometryOf(w, attribute);
      return 0;
    case ATTR_PRECISION:
      if (c->kind != Kind::Numeric) return UIE_BAD_ATTRIBUTE;
      *value = static_cast<ZNumeric*>(w)->decimals();
      return 0;
    case ATTR_SHORTCUT_KEY: {
      auto* b = qobject_cast<QAbstractButton*>(w);
      if (!b) return UIE_BAD_ATTRIBUTE;
      const QKeySequence k = b->shortcut();
      if (k.isEmpty()) *value = 0;
      else if (k[0].key() == Qt::Key_Escape) *value = VAL_ESC_VKEY;
      else if (k[0].key() == Qt::Key_Return) *value = VAL_ENTER_VKEY;
      else *value = k[0].toCombined();
      return 0;
    }
    case ATTR_MIN_VALUE:
    case ATTR_MAX_VALUE:
    case ATTR_INCREMENT:
    case ATTR_INTERVAL: {
      double d = 0;
      const int r = GetCtrlAttribute(c->w->property("zpkPanel").toInt(), c->id, attribute, &d);
      if (r < 0) return r;
      *value = static_cast<int>(std::lround(std::clamp(d, -2e9, 2e9)));
      return 0;
    }
    default:
      return UIE_BAD_ATTRIBUTE;
  }
}

QLabel* labelOf(Control* c) { return c->label; }

}  // namespace

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (attribute == ATTR_INTERVAL) return SetCtrlAttribute(panel, control, attribute, static_cast<double>(value));
  return setCtrlInt(c, attribute, value);
}

int SetCtrlAttribute(int panel, int control, int attribute, double value) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (!std::isfinite(value)) return UIE_BAD_ATTRIBUTE;
  switch (attribute) {
    case ATTR_INTERVAL:
      if (c->kind != Kind::Timer) return UIE_BAD_ATTRIBUTE;
      static_cast<ZTimer*>(c->w.data())->setInterval(value);
      return 0;
    case ATTR_MIN_VALUE:
    case ATTR_MAX_VALUE:
      return setNumericRange(c, attribute, value);
    case ATTR_INCREMENT:
      if (c->kind != Kind::Numeric) return UIE_BAD_ATTRIBUTE;
      static_cast<ZNumeric*>(c->w.data())->setSingleStep(value);
      return 0;
    default:
      return setCtrlInt(c, attribute, static_cast<int>(std::lround(std::clamp(value, -2e9, 2e9))));
  }
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* value) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (!value) return UIE_BAD_ATTRIBUTE;
  const QString t = QString::fromUtf8(value);
  if (attribute == ATTR_REFUSED_TEXT) {
    if (c->kind != Kind::Numeric) return UIE_BAD_ATTRIBUTE;
    static_cast<ZNumeric*>(c->w.data())->setRefusal(t);
    return 0;
  }
  if (attribute != ATTR_LABEL_TEXT) return UIE_BAD_ATTRIBUTE;
  if (auto* b = qobject_cast<QAbstractButton*>(c->w.data())) b->setText(t);
  else if (QLabel* l = labelOf(c)) l->setText(t);
  else return UIE_BAD_ATTRIBUTE;
  return 0;
}

int SetCtrlAttribute(int panel, int control, int attribute, void* value) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (attribute != ATTR_CALLBACK_DATA) return UIE_BAD_ATTRIBUTE;
  c->data = value;
  return 0;
}

int GetCtrlAttribute(int panel, int control, int attribute, int* value) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (!value) return UIE_BAD_ATTRIBUTE;
  return getCtrlInt(c, attribute, value);
}

int GetCtrlAttribute(int panel, int control, int attribute, double* value) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (!value) return UIE_BAD_ATTRIBUTE;
  QWidget* w = c->w;
  switch (attribute) {
    case ATTR_INTERVAL:
      if (c->kind != Kind::Timer) return UIE_BAD_ATTRIBUTE;
      *value = static_cast<ZTimer*>(w)->interval();
      return 0;
    case ATTR_MIN_VALUE:
    case ATTR_MAX_VALUE:
    case ATTR_INCREMENT:
      if (c->kind == Kind::Numeric) {
        auto* n = static_cast<ZNumeric*>(w);
        *value = attribute == ATTR_MIN_VALUE ? n->minimum() : attribute == ATTR_MAX_VALUE ? n->maximum() : n->singleStep();
        return 0;
      }
      if (c->kind == Kind::ProgressBar && attribute != ATTR_INCREMENT) {
        auto* b = static_cast<QProgressBar*>(w);
        *value = attribute == ATTR_MIN_VALUE ? b->minimum() : b->maximum();
        return 0;
      }
      return UIE_BAD_ATTRIBUTE;
    default: {
      int i = 0;
      const int r = getCtrlInt(c, attribute, &i);
      if (r < 0) return r;
      *value = i;
      return 0;
    }
  }
}

int GetCtrlAttribute(int panel, int control, int attribute, std::string* value) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (!value) return UIE_BAD_ATTRIBUTE;
  if (attribute == ATTR_REFUSED_TEXT) {
    if (c->kind != Kind::Numeric) return UIE_BAD_ATTRIBUTE;
    *value = static_cast<ZNumeric*>(c->w.data())->refusal().toStdString();
    return 0;
  }
  if (attribute != ATTR_LABEL_TEXT) return UIE_BAD_ATTRIBUTE;
  if (auto* b = qobject_cast<QAbstractButton*>(c->w.data())) *value = b->text().toStdString();
  else if (QLabel* l = labelOf(c)) *value = l->text().toStdString();
  else value->clear();
  return 0;
}

int GetCtrlAttribute(int panel, int control, int attribute, void** value) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  if (!value || attribute != ATTR_CALLBACK_DATA) return UIE_BAD_ATTRIBUTE;
  *value = c->data;
  return 0;
}

// ---------------------------------------------------------------- windows
namespace {
void setTitle(Panel* p, const QString& t) {
  if (auto* f = qobject_cast<ZChildFrame*>(p->window.data())) f->setTitle(t);
  else p->window->setWindowTitle(t);
}
QString titleOf(Panel* p) {
  if (auto* f = qobject_cast<ZChildFrame*>(p->window.data())) return f->title();
  return p->window->windowTitle();
}
}  // namespace

int SetPanelAttribute(int panel, int attribute, int value) {
  Panel* p = findPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL_HANDLE;
  QWidget* w = p->window;
  switch (attribute) {
    case ATTR_HAS_TASKBAR_BUTTON:
      // Every top-level window of this toolkit has its own task-bar entry already.
      w->setProperty("zpkTaskbar", value != 0);
      return 0;
    case ATTR_VISIBLE:
      return value ? DisplayPanel(panel) : HidePanel(panel);
    case ATTR_CLOSABLE:
      p->closable = value != 0;
      return 0;
    case ATTR_TOP:
      w->move(w->x(), value);
      return 0;
    case ATTR_LEFT:
      w->move(value, w->y());
      return 0;
    case ATTR_WIDTH:
      if (value < 0) return UIE_BAD_ATTRIBUTE;
      w->resize(value, w->height());
      if (w->isWindow()) w->setFixedWidth(value);
      return 0;
    case ATTR_HEIGHT:
      if (value < 0) return UIE_BAD_ATTRIBUTE;
      w->resize(w->width(), value);
      if (w->isWindow()) w->setFixedHeight(value);
      return 0;
    default:
      return UIE_BAD_ATTRIBUTE;
  }
}

int SetPanelAttribute(int panel, int attribute, const char* value) {
  Panel* p = findPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL_HANDLE;
  if (!value || attribute != ATTR_TITLE) return UIE_BAD_ATTRIBUTE;
  setTitle(p, QString::fromUtf8(value));
  return 0;
}

int SetPanelAttribute(int panel, int attribute, void* value) {
  Panel* p = findPanel(panel);
  if (!p) return UIE_BAD_PANEL_HANDLE;
  if (attribute != ATTR_CALLBACK_DATA) return UIE_BAD_ATTRIBUTE;
  p->data = value;
  return 0;
}

int GetPanelAttribute(int panel, int attribute, int* value) {
  Panel* p = findPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL_HANDLE;
  if (!value) return UIE_BAD_ATTRIBUTE;
  QWidget* w = p->window;
  switch (attribute) {
    case ATTR_HAS_TASKBAR_BUTTON:
      *value = w->property("zpkTaskbar").toBool() ? 1 : 0;
      return 0;
    case ATTR_VISIBLE:
      *value = w->isVisible() ? 1 : 0;
      return 0;
    case ATTR_CLOSABLE:
      *value = p->closable ? 1 : 0;
      return 0;
    case ATTR_TOP:
    case ATTR_LEFT:
    case ATTR_WIDTH:
    case ATTR_HEIGHT:
      *value = geometryOf(w, attribute);
      return 0;
    default:
      return UIE_BAD_ATTRIBUTE;
  }
}

int GetPanelAttribute(int panel, int attribute, std::string* value) {
  Panel* p = findPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL_HANDLE;
  if (!value || attribute != ATTR_TITLE) return UIE_BAD_ATTRIBUTE;
  *value = titleOf(p).toStdString();
  return 0;
}

int GetPanelAttribute(int panel, int attribute, void** value) {
  Panel* p = findPanel(panel);
  if (!p) return UIE_BAD_PANEL_HANDLE;
  if (!value || attribute != ATTR_CALLBACK_DATA) return UIE_BAD_ATTRIBUTE;
  *value = p->data;
  return 0;
}

int SetPanelPos(int panel, int top, int left) {
  Panel* p = findPanel(panel);
  if (!p || !p->window) return UIE_BAD_PANEL_HANDLE;
  QWidget* w = p->window;
  QRect area;
  if (!w->isWindow() && w->parentWidget()) area = w->parentWidget()->rect();
  else if (QScreen* s = QGuiApplication::primaryScreen()) area = s->availableGeometry();
  if (top == VAL_AUTO_CENTER) top = area.y() + (area.height() - w->height()) / 2;
  if (left == VAL_AUTO_CENTER) left = area.x() + (area.width() - w->width()) / 2;
  w->move(left, top);
  return 0;
}

int GetSystemHighlightColor() {
  if (!haveApplication()) return 0x3399FF;
  return static_cast<int>(QApplication::palette().color(QPalette::Highlight).rgb() & 0xFFFFFF);
}

// ---------------------------------------------------------------- menu items
namespace {
QAction* menuAction(int menuBar, int menuItem, int* err) {
  for (auto& [h, p] : panels()) {
    if (p.menuBar != menuBar || menuBar <= 0) continue;
    auto it = p.menu.find(menuItem);
    if (it == p.menu.end() || !it->second.action) {
      *err = UIE_BAD_CONTROL_ID;
      return nullptr;
    }
    return it->second.action;
  }
  *err = UIE_BAD_PANEL_HANDLE;
  return nullptr;
}
}  // namespace

int GetPanelMenuBar(int panel) {
  Panel* p = findPanel(panel);
  if (!p) return UIE_BAD_PANEL_HANDLE;
  return p->menuBar > 0 ? p->menuBar : UIE_BAD_PANEL_HANDLE;
}

int SetMenuBarAttribute(int menuBar, int menuItem, int attribute, int value) {
  int err = 0;
  QAction* a = menuAction(menuBar, menuItem, &err);
  if (!a) return err;
  switch (attribute) {
    case ATTR_CHECKED:
      a->setCheckable(true);
      a->setChecked(value != 0);
      return 0;
    case ATTR_DIMMED:
      a->setEnabled(value == 0);
      return 0;
    default:
      return UIE_BAD_ATTRIBUTE;
  }
}

int GetMenuBarAttribute(int menuBar, int menuItem, int attribute, int* value) {
  int err = 0;
  QAction* a = menuAction(menuBar, menuItem, &err);
  if (!a) return err;
  if (!value) return UIE_BAD_ATTRIBUTE;
  switch (attribute) {
    case ATTR_CHECKED:
      *value = a->isChecked() ? 1 : 0;
      return 0;
    case ATTR_DIMMED:
      *value = a->isEnabled() ? 0 : 1;
      return 0;
    default:
      return UIE_BAD_ATTRIBUTE;
  }
}

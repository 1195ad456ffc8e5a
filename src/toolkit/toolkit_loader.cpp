// Loading the windows from the resources carried in the executable, and windows
// built at run time.
#include "toolkit/controls.h"
#include "toolkit/graph.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_internal.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLibraryInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QFrame>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QTranslator>
#include <QUiLoader>
#include <QXmlStreamReader>

#include <cmath>
#include <map>
#include <memory>

namespace tk {
CtrlCallbackPtr lookupCtrlCallback(const std::string& name, bool* found);
PanelCallbackPtr lookupPanelCallback(const std::string& name, bool* found);
MenuCallbackPtr lookupMenuCallback(const std::string& name, bool* found);
bool allowUnbound = false;
int uiLanguage = 0;  // 0: not chosen yet
}  // namespace tk

using namespace tk;

void TestAllowUnboundCallbacks(bool on) { allowUnbound = on; }

int zLanguage() { return uiLanguage == 2 ? 2 : 1; }

namespace {

// Creates the toolkit's own controls; the stock loader would silently put a
// plain widget in their place.
class Loader : public QUiLoader {
 public:
  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
    QWidget* w = nullptr;
    if (className == QLatin1String("ZLed")) w = new ZLed(parent);
    else if (className == QLatin1String("ZNumeric")) w = new ZNumeric(parent);
    else if (className == QLatin1String("ZRing")) w = new ZRing(parent);
    else if (className == QLatin1String("ZPicture")) w = new ZPicture(parent);
    else if (className == QLatin1String("ZPictureRing")) w = new ZPictureRing(parent);
    else if (className == QLatin1String("ZTimer")) w = new ZTimer(parent);
    else if (className == QLatin1String("ZGraph")) w = new ZGraph(parent);
    if (!w) return QUiLoader::createWidget(className, parent, name);
    w->setObjectName(name);
    return w;
  }
};

QTranslator* qtTranslator = nullptr;  // the toolkit's own dialog texts

void installQtTexts(int sprache) {
  if (!haveApplication()) return;
  if (qtTranslator) {
    QCoreApplication::removeTranslator(qtTranslator);
    delete qtTranslator;
    qtTranslator = nullptr;
  }
  if (sprache == 2) return;  // the dialogs' built-in texts are English
  auto* t = new QTranslator;
  if (t->load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(t);
    qtTranslator = t;
  } else {
    delete t;
  }
}

QTranslator* formTranslator(int sprache) {
  static QTranslator* en = nullptr;
  if (sprache != 2) return nullptr;
  if (!en) {
    en = new QTranslator;
    if (!en->load(QStringLiteral(":/i18n/zpk3xSteuerung_en.qm"))) {
      delete en;
      en = nullptr;
    }
  }
  return en;
}

Kind kindOf(QWidget* w) {
  if (qobject_cast<ZNumeric*>(w)) return Kind::Numeric;
  if (qobject_cast<ZRing*>(w)) return Kind::Ring;
  if (qobject_cast<ZLed*>(w)) return Kind::Led;
  if (qobject_cast<ZPictureRing*>(w)) return Kind::PictureRing;
  if (qobject_cast<ZPicture*>(w)) return Kind::Picture;
  if (qobject_cast<ZTimer*>(w)) return Kind::Timer;
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->isCheckable() ? Kind::Toggle : Kind::Button;
  if (qobject_cast<QLabel*>(w)) return Kind::Text;
  if (qobject_cast<QLineEdit*>(w)) return Kind::String;
  if (qobject_cast<QProgressBar*>(w)) return Kind::ProgressBar;
  if (qobject_cast<ZGraph*>(w)) return Kind::Graph;  // a frame too
  if (qobject_cast<QFrame*>(w)) return Kind::Frame;
  return Kind::Other;
}

// A toggle's on state must be plain at a glance: a push button turns green
// while it is on, however it was switched (check boxes show their state themselves).
void markOnState(QWidget* w) {
  auto* b = qobject_cast<QPushButton*>(w);
  if (!b || !b->isCheckable()) return;
  b->setStyleSheet(QStringLiteral("QPushButton:checked { background-color: #2e8b3a; color: white;"
                                  " border: 1px solid #1e5e27; border-radius: 3px; }"));
}

// At a fractional scale (larger fonts) a frame's first row and column can fall
// outside what the window system lets it paint, and its top and left border
// vanish: such a frame draws its border itself, a pixel inside its edges.
class WholeFrame : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* obj, QEvent* ev) override {
    if (ev->type() != QEvent::Paint) return false;
    auto* f = static_cast<QFrame*>(obj);
    QPainter p(f);
    p.setPen(QPen(f->palette().color(QPalette::Mid), 1));
    p.drawRect(QRect(1, 1, f->width() - 3, f->height() - 3));
    return false;
  }
};

void keepFrameWhole(QFrame* f) {
  const qreal dpr = qApp->devicePixelRatio();
  if (dpr == std::floor(dpr) || f->frameShape() == QFrame::NoFrame || qobject_cast<ZGraph*>(f)) return;
  const int width = f->frameWidth();
  f->setFrameShape(QFrame::NoFrame);
  f->setContentsMargins(width, width, width, width);  // the layout keeps its place
  static WholeFrame* painter = new WholeFrame(qApp);
  f->installEventFilter(painter);
}

// The form of a panel number: each form carries its number (property
// "panelId" of its top widget), so the toolkit needs no table of the program's windows.
QString formFile(int panelResourceId) {
  static const std::map<int, QString> forms = [] {
    std::map<int, QString> m;
    QDirIterator it(QStringLiteral(":/forms"), {QStringLiteral("*.ui")}, QDir::Files);
    while (it.hasNext()) {
      const QString path = it.next();
      QFile file(path);
      if (!file.open(QIODevice::ReadOnly)) continue;
      QXmlStreamReader xml(&file);
      // The first such property is the top widget's: its own come before its children's.
      while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement() || xml.name() != QLatin1String("property") ||
            xml.attributes().value(QLatin1String("name")) != QLatin1String("panelId"))
          continue;
        if (xml.readNextStartElement() && xml.name() == QLatin1String("number"))
          m.emplace(xml.readElementText().toInt(), path);
        break;
      }
    }
    return m;
  }();
  const auto f = forms.find(panelResourceId);
  return f == forms.end() ? QString() : f->second;
}

// Which edition a resource name selects: 1 German, 2 English, 0 unknown.
int editionOf(const char* resourceFile) {
  if (!resourceFile) return 0;
  const QString name = QFileInfo(QString::fromUtf8(resourceFile)).fileName();
  if (name.compare(QLatin1String("zpk3xSteuerung.uir"), Qt::CaseInsensitive) == 0) return 1;
  if (name.compare(QLatin1String("zpk3xSteuerung_en.uir"), Qt::CaseInsensitive) == 0) return 2;
  return 0;
}

QWidget* hostOf(Panel* parent) {
  if (auto* mw = qobject_cast<QMainWindow*>(parent->form.data()))
    if (mw->centralWidget()) return mw->centralWidget();
  return parent->form;
}

// Reads controls, labels, menus and callbacks of a loaded form into `p`.
// Returns 0 or the toolkit code.
int collect(Panel& p, QWidget* form) {
  bool found = false;
  bool missing = false;
  const QString panelCb = form->property("callback").toString();
  if (!panelCb.isEmpty()) {
    p.cbName = panelCb.toStdString();
    p.cb = lookupPanelCallback(p.cbName, &found);
    missing |= !found;
  }
  const auto widgets = form->findChildren<QWidget*>();
  for (QWidget* w : widgets) {
    const QVariant idv = w->property("ctrlId");
    if (!idv.isValid()) continue;
    Control c;
    c.id = idv.toInt();
    c.w = w;
    c.kind = kindOf(w);
    if (c.id < 1 || p.controls.count(c.id)) return UIE_RESOURCE_NOT_FOUND;  // damaged resource
    if (c.kind == Kind::Ring && !static_cast<ZRing*>(w)->loadValues()) return UIE_RESOURCE_NOT_FOUND;
    if (c.kind == Kind::Numeric) {
      auto* n = static_cast<ZNumeric*>(w);
      n->setProgramValue(n->value());
    }
    if (c.kind == Kind::Toggle) markOnState(w);
    if (c.kind == Kind::Frame) keepFrameWhole(static_cast<QFrame*>(w));
    const QString cb = w->property("callback").toString();
    if (!cb.isEmpty()) {
      c.cbName = cb.toStdString();
      c.cb = lookupCtrlCallback(c.cbName, &found);
      missing |= !found;
    }
    p.controls[c.id] = c;
  }
  for (QLabel* l : form->findChildren<QLabel*>()) {
    if (l->property("refusalLine").toBool()) {
      // Empty until a field is refused; wrapped, so a long reason is read whole at any font size.
      l->setWordWrap(true);
      l->setTextFormat(Qt::PlainText);
      l->setStyleSheet(QStringLiteral("color: #b00000;"));
      l->hide();
    }
    if (!l->buddy()) continue;
    const QVariant idv = l->buddy()->property("ctrlId");
    if (idv.isValid()) p.controls[idv.toInt()].label = l;
  }
  if (auto* mw = qobject_cast<QMainWindow*>(form)) {
    if (QMenuBar* bar = mw->menuWidget() ? qobject_cast<QMenuBar*>(mw->menuWidget()) : nullptr) {
      p.menuBar = newHandle();
      MenuItem top;
      top.id = bar->property("menuId").toInt();
      p.menu[top.id] = top;
    }
    for (QMenu* m : form->findChildren<QMenu*>()) {
      const QVariant idv = m->property("menuId");
      if (!idv.isValid()) continue;
      MenuItem mi;
      mi.id = idv.toInt();
      mi.menu = m;
      mi.action = m->menuAction();
      p.menu[mi.id] = mi;
      if (const QVariant entry = m->property("entryId"); entry.isValid()) {
        MenuItem e;
        e.id = entry.toInt();
        e.action = m->menuAction();
        p.menu[e.id] = e;
      }
      if (const QVariant sep = m->property("separatorId"); sep.isValid()) {
        for (QAction* a : m->actions())
          if (a->isSeparator()) {
            MenuItem s;
            s.id = sep.toInt();
            s.action = a;
            p.menu[s.id] = s;
            break;
          }
      }
    }
    for (QAction* a : form->findChildren<QAction*>()) {
      const QVariant idv = a->property("menuId");
      if (!idv.isValid()) continue;
      MenuItem mi;
      mi.id = idv.toInt();
      mi.action = a;
      const QString cb = a->property("callback").toString();
      if (!cb.isEmpty()) {
        mi.cbName = cb.toStdString();
        mi.cb = lookupMenuCallback(mi.cbName, &found);
        missing |= !found;
      }
      p.menu[mi.id] = mi;
    }
  }
  if (missing && !allowUnbound) return UIE_CALLBACK_NOT_FOUND;
  return 0;
}

// Gives each entry of a menu bar or menu a mnemonic (Alt+D for "Datei"): the
// first of its letters that no sibling uses yet. Works in every language.
void assignMnemonics(const QList<QAction*>& actions) {
  QString used;
  for (QAction* a : actions) {
    if (a->isSeparator() || a->text().contains(QLatin1Char('&'))) continue;
    QString t = a->text();
    for (int i = 0; i < t.size(); ++i) {
      const QChar c = t.at(i).toLower();
      if (c.unicode() > 0x7F || !c.isLetterOrNumber() || used.contains(c)) continue;
      used += c;
      t.insert(i, QLatin1Char('&'));
      a->setText(t);
      break;
    }
  }
}

// When the menus close, the keyboard goes back to the control that had it before
// they opened: the bar would otherwise keep the focus in its keyboard mode, with
// no control showing it and Tab doing nothing, until Escape is pressed again.
void returnFocusAfterMenus(QMenuBar* bar) {
  auto before = std::make_shared<QPointer<QWidget>>();
  for (QMenu* m : bar->findChildren<QMenu*>()) {
    QObject::connect(m, &QMenu::aboutToShow, bar, [bar, before] {
      QWidget* f = QApplication::focusWidget();
      if (f && f != bar && !qobject_cast<QMenu*>(f) && f->window() == bar->window()) *before = f;
    });
    QObject::connect(m, &QMenu::aboutToHide, bar, [bar, before] {
      QTimer::singleShot(0, bar, [bar, before] {
        if (QApplication::activePopupWidget()) return;  // another menu of the bar opened
        QWidget* f = QApplication::focusWidget();
        if (*before && (f == bar || f == nullptr) && (*before)->isVisible() && (*before)->isEnabled())
          (*before)->setFocus(Qt::PopupFocusReason);
      });
    });
  }
}

void wireMenu(int handle, Panel& p) {
  if (auto* mw = qobject_cast<QMainWindow*>(p.form.data())) {
    if (auto* bar = qobject_cast<QMenuBar*>(mw->menuWidget())) {
      assignMnemonics(bar->actions());
      returnFocusAfterMenus(bar);
    }
    for (QMenu* m : mw->findChildren<QMenu*>()) assignMnemonics(m->actions());
  }
  for (auto& [id, mi] : p.menu) {
    if (!mi.action || mi.menu || mi.action->isSeparator()) continue;
    const int item = id;
    QObject::connect(mi.action.data(), &QAction::triggered, p.form.data(), [handle, item] { deliverMenu(handle, item); });
  }
}

// Makes `p` a window of its own or a child window inside `parent`, registers it.
int adopt(Panel p, QWidget* form, int parentPanel) {
  p.form = form;
  if (parentPanel > 0) {
    Panel* parent = findPanel(parentPanel);
    if (!parent || !parent->form) {
      delete form;
      return UIE_BAD_PANEL_HANDLE;
    }
    auto* frame = new ZChildFrame(hostOf(parent), form);
    frame->setTitle(form->windowTitle());
    frame->hide();
    p.window = frame;
    p.parent = parentPanel;
  } else {
    form->setParent(nullptr);
    form->hide();
    p.window = form;
  }
  const int handle = newHandle();
  p.handle = handle;
  auto& stored = panels()[handle];
  stored = std::move(p);
  watchWindow(handle, stored.window);
  for (auto& [id, c] : stored.controls) wireControl(handle, c);
  wireMenu(handle, stored);
  return handle;
}

}  // namespace

void SetUserInterfaceLanguage(int sprache) {
  uiLanguage = sprache == 2 ? 2 : 1;
  installQtTexts(uiLanguage);
}

int LoadPanel(int parentPanel, const char* resourceFile, int panelResourceId) {
  if (!haveApplication()) return UIE_NO_WINDOW_PLATFORM;
  const int edition = editionOf(resourceFile);
  const QString file = formFile(panelResourceId);
  if (edition == 0 || file.isEmpty()) return UIE_RESOURCE_NOT_FOUND;
  if (parentPanel > 0 && !findPanel(parentPanel)) return UIE_BAD_PANEL_HANDLE;
  // The toolkit's own texts follow the edition unless the program chose a language.
  if (uiLanguage == 0) SetUserInterfaceLanguage(edition);

  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return UIE_RESOURCE_NOT_FOUND;
  QTranslator* tr = formTranslator(edition);
  if (edition == 2 && !tr) return UIE_RESOURCE_NOT_FOUND;
  if (tr) QCoreApplication::installTranslator(tr);
  Loader loader;
  loader.setLanguageChangeEnabled(false);
  QWidget* form = loader.load(&f, nullptr);
  if (tr) QCoreApplication::removeTranslator(tr);
  if (!form) return UIE_RESOURCE_NOT_FOUND;

  Panel p;
  p.resourceId = panelResourceId;
  if (const int r = collect(p, form); r < 0) {
    delete form;
    return r;
  }
  return adopt(std::move(p), form, parentPanel);
}

// ---------------------------------------------------------------- run-time windows
int NewPanel(int parentPanel, const char* title, int top, int left, int height, int width) {
  if (!haveApplication()) return UIE_NO_WINDOW_PLATFORM;
  if (parentPanel > 0 && !findPanel(parentPanel)) return UIE_BAD_PANEL_HANDLE;
  auto* form = new QWidget;
  form->setWindowTitle(QString::fromUtf8(title ? title : ""));
  form->resize(std::max(width, 1), std::max(height, 1));
  form->move(left, top);
  Panel p;
  const int h = adopt(std::move(p), form, parentPanel);
  if (h < 0) return h;
  Panel* stored = findPanel(h);
  stored->placed = true;  // size and place are the creator's
  if (stored->window->isWindow()) {
    stored->window->setFixedSize(std::max(width, 1), std::max(height, 1));
    stored->window->move(left, top);
  }
  return h;
}

int NewCtrl(int panel, int kind, const char* label, int top, int left) {
  Panel* p = findPanel(panel);
  if (!p || !p->form) return UIE_BAD_PANEL_HANDLE;
  const QString text = QString::fromUtf8(label ? label : "");
  Control c;
  c.id = p->nextCtrlId;
  while (p->controls.count(c.id)) ++c.id;
  switch (kind) {
    case CTRL_COMMAND_BUTTON: {
      auto* b = new QPushButton(text, p->form);
      b->adjustSize();
      c.w = b;
      c.kind = Kind::Button;
      break;
    }
    case CTRL_PROGRESS_BAR: {
      auto* bar = new QProgressBar(p->form);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      bar->resize(100, 14);
      c.w = bar;
      c.kind = Kind::ProgressBar;
      if (!text.isEmpty()) {
        auto* l = new QLabel(text, p->form);
        l->setTextFormat(Qt::PlainText);
        l->adjustSize();
        c.label = l;
      }
      break;
    }
    default:
      return UIE_BAD_ATTRIBUTE;
  }
  c.w->move(left, top);
  if (c.label) c.label->move(left, top - c.label->height() - 4);
  c.w->show();
  if (c.label) c.label->show();
  p->nextCtrlId = c.id + 1;
  auto& stored = p->controls[c.id];
  stored = c;
  wireControl(panel, stored);
  return c.id;
}

int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr function, void* callbackData) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  c->cb = function;
  c->data = callbackData;
  return 0;
}

int GetCtrlBoundingRect(int panel, int control, int* top, int* left, int* height, int* width) {
  int err = 0;
  Control* c = findControl(panel, control, &err);
  if (!c) return err;
  QRect r = c->w->geometry();
  if (c->label && !c->label->isHidden()) r = r.united(c->label->geometry());
  if (top) *top = r.top();
  if (left) *left = r.left();
  if (height) *height = r.height();
  if (width) *width = r.width();
  return 0;
}

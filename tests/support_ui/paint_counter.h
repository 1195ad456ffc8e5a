#pragma once
// Counts the paint events of one control's widget, to prove that the window
// shows a change while a callback still keeps the event loop busy.
#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QString>
#include <QWidget>

namespace uitest {

class PaintCounter : public QObject {
 public:
  // Watches the widget whose object name is `name` (the control's constant
  // without its panel prefix, e.g. "LED3"); watches nothing when there is none.
  explicit PaintCounter(const char* name) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (auto* w = top->findChild<QWidget*>(QString::fromLatin1(name))) {
        widget_ = w;
        w->installEventFilter(this);
        return;
      }
    }
  }
  ~PaintCounter() override {
    if (widget_) widget_->removeEventFilter(this);
  }
  PaintCounter(const PaintCounter&) = delete;
  PaintCounter& operator=(const PaintCounter&) = delete;

  bool found() const { return widget_ != nullptr; }
  int paints() const { return paints_; }

  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints_;
    return false;
  }

 private:
  QWidget* widget_ = nullptr;
  int paints_ = 0;
};

}  // namespace uitest

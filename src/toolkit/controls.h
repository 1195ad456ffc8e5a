#pragma once
// The toolkit's own control widgets. The window resources name these classes;
// the loader creates them (toolkit_loader.cpp).
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPointer>
#include <QScrollArea>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

class QSvgRenderer;
class QKeyEvent;
class QWheelEvent;
class QLabel;

// Round lamp with an on-colour.
class ZLed : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int onColor READ onColor WRITE setOnColor)
  Q_PROPERTY(bool on READ isOn WRITE setOn)
 public:
  explicit ZLed(QWidget* parent = nullptr);
  int onColor() const { return onColor_; }
  void setOnColor(int rgb);
  bool isOn() const { return on_; }
  void setOn(bool on);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  int onColor_ = 0x00C000;
  bool on_ = false;
};

// Numeric field. The value the program set is kept exactly, even when the field
// cannot show it (outside its range): only the operator's own change of this
// field replaces it. Otherwise an out-of-range value read from a file or the
// device would be silently replaced by the clamped one on the next read.
class ZNumeric : public QDoubleSpinBox {
  Q_OBJECT
  Q_PROPERTY(bool integer READ isInteger WRITE setInteger)
  Q_PROPERTY(bool indicator READ isIndicator WRITE setIndicator)
 public:
  explicit ZNumeric(QWidget* parent = nullptr);
  bool isInteger() const { return integer_; }
  void setInteger(bool on);
  bool isIndicator() const { return indicator_; }
  void setIndicator(bool on);

  double committed() const { return committed_; }
  bool outOfRange() const { return outOfRange_; }
  // Value from the program: shown at once, no commit event.
  void setProgramValue(double v);
  // Why an entry was refused (values of the toolkit's ENTRY_* constants).
  enum Refusal { Accepted = 0, OutOfRange = 1, NotWhole = 2, NotNumber = 3, TooManyDecimals = 4 };
  // Takes over what the operator typed and has not confirmed yet; calls
  // onAccepted, and onCommit when that changed the value. An entry that is not
  // written as the field's numbers are, or lies outside the range, is refused:
  // the field returns to its committed value, onRefused is called with the
  // reason, and the result is false.
  bool takePendingEdit();
  // What an entry means for this field: Accepted with *v, or why not.
  Refusal check(const QString& text, double* v) const;
  bool isWhole() const { return integer_ || decimals() == 0; }
  // The allowed range as the operator reads it ("25 bis 10000").
  QString rangeText() const;
  // Re-evaluates the range marking after the range changed.
  void rangeChanged();
  // Marks the field as refused (a red frame, `why` as its tooltip) until the
  // next accepted entry in it; "" takes the mark away.
  void setRefusal(const QString& why);
  const QString& refusal() const { return refusal_; }

  std::function<void()> onCommit;         // set by the toolkit
  std::function<void()> onAccepted;       // set by the toolkit
  std::function<void(int)> onRefused;     // set by the toolkit; the reason

  QString textFromValue(double value) const override;
  double valueFromText(const QString& text) const override;
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
  void stepBy(int steps) override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  QString format(double v) const;
  void markRange();
  void refreshText();

  bool integer_ = false;
  bool indicator_ = false;
  double committed_ = 0.0;
  bool outOfRange_ = false;
  bool touched_ = false;  // the operator edited the text since the last commit
  QString refusal_;       // why the latest entry was refused, while it is marked
};

// Drop-down list whose items carry values (integers or characters). Designer
// files lose item data at run time, so the values come from the dynamic
// property "ringValues" ("1;0", or "1;2;&" with ringType "char").
class ZRing : public QComboBox {
  Q_OBJECT
 public:
  explicit ZRing(QWidget* parent = nullptr);
  // Reads the value list; false when it does not match the items.
  bool loadValues();
  bool isCharRing() const { return charRing_; }
  const std::vector<int>& values() const { return values_; }
  int committed() const { return committed_; }
  bool outOfRange() const { return outOfRange_; }
  void setProgramValue(int v);
  int indexOfValue(int v) const;
  std::function<void()> onCommit;

 protected:
  void wheelEvent(QWheelEvent* e) override;

 private:
  void markRange();
  void operatorChose(int index);

  std::vector<int> values_;
  bool charRing_ = false;
  int committed_ = 0;
  bool outOfRange_ = false;
};

// Shared renderer for a piece of the SVG artwork (null when it is missing).
QSvgRenderer* zSvg(const QString& resourcePath);

// Decorative picture.
class ZPicture : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString picture READ picture WRITE setPicture)
 public:
  explicit ZPicture(QWidget* parent = nullptr);
  QString picture() const { return picture_; }
  void setPicture(const QString& p);
  QSize sizeHint() const override;
  // A decoration yields its room first where the screen is short.
  QSize minimumSizeHint() const override { return {0, 0}; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QString picture_;
};

// Picture ring: one picture per value (-1 no port, 1..8 the port). It acts
// through the click and key events that the toolkit delivers to its callback.
class ZPictureRing : public QWidget {
  Q_OBJECT
 public:
  explicit ZPictureRing(QWidget* parent = nullptr);
  int value() const { return value_; }
  void setValue(int v);
  static bool hasPicture(int v) { return v == -1 || (v >= 1 && v <= 8); }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  int value_ = -1;
};

// Timer control: no picture of its own, ticks while enabled.
class ZTimer : public QWidget {
  Q_OBJECT
  Q_PROPERTY(double interval READ interval WRITE setInterval)
  Q_PROPERTY(bool timerEnabled READ timerEnabled WRITE setTimerEnabled)
 public:
  explicit ZTimer(QWidget* parent = nullptr);
  double interval() const { return interval_; }
  void setInterval(double seconds);
  bool timerEnabled() const { return enabled_; }
  void setTimerEnabled(bool on);
  void setVisible(bool) override { QWidget::setVisible(false); }
  std::function<void()> onTick;

 private:
  QTimer timer_;
  double interval_ = 1.0;
  bool enabled_ = false;
};

// Frame with a title strip that holds a child window inside its parent window.
class ZChildFrame : public QWidget {
  Q_OBJECT
 public:
  ZChildFrame(QWidget* parent, QWidget* content);
  void setTitle(const QString& t);
  QString title() const;
  QWidget* content() const { return content_; }
  // Puts the form into a scroll area, for a host smaller than the form.
  void letScroll();

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;

 private:
  class ChildArea : public QScrollArea {
   public:
    explicit ChildArea(QWidget* parent);
    QSize sizeHint() const override;
  };
  QLabel* title_;
  QWidget* content_;
  QPointer<QWidget> returnFocus_;  // where the keyboard was before it opened
  QPoint dragFrom_;
  bool dragging_ = false;
};

// Key code of a key event in the program's terms (Enter 1280, space 32, Escape 0x300).
int zKeyCode(const QKeyEvent* e);

// Language of the toolkit's own texts: 2 English, otherwise German.
int zLanguage();

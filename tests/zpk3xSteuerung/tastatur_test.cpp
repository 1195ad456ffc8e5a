// The operator window on the keyboard: Enter presses a focused button, the menus
// have mnemonics and the shortcuts Ctrl+O, Ctrl+S and F1, nothing else.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <set>

#include "Com/Com.h"
#include "support_ui/ui_fixture.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace {

class Tastatur : public uitest::UiTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(uitest::ToolkitStarten());
    SteuerungCallbacksRegistrieren();
    UiTest::SetUp();
  }
  static QMainWindow* Hauptfenster() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* mw = qobject_cast<QMainWindow*>(w); mw && mw->isVisible()) return mw;
    return nullptr;
  }
};

TEST_F(Tastatur, EnterDruecktDenFokussiertenKnopf) {
  // Without a port the device button answers in the error area: proof it acted.
  ASSERT_EQ(TestOperatorKey(gPanelHandle, MAINPANEL_ZPK3START, VAL_ENTER_VKEY), 0);
  EXPECT_EQ(uitest::Ganzzahl(MAINPANEL_FEHLERNUMMER), 122201);
}

TEST_F(Tastatur, KurzbefehleOeffnenSpeichernInfoUndSonstKeine) {
  QMainWindow* mw = Hauptfenster();
  ASSERT_NE(mw, nullptr);
  mw->activateWindow();
  QApplication::setActiveWindow(mw);  // shortcuts act in the active window
  QTest::keyClick(mw, Qt::Key_O, Qt::ControlModifier);
  QTest::keyClick(mw, Qt::Key_S, Qt::ControlModifier);
  const auto popups = TestTakePopups();
  ASSERT_EQ(popups.size(), 2u);
  EXPECT_EQ(popups[0].kind, 3);
  EXPECT_EQ(popups[0].buttonLabel, VAL_LOAD_BUTTON);
  EXPECT_EQ(popups[1].kind, 3);
  EXPECT_EQ(popups[1].buttonLabel, VAL_SAVE_BUTTON);

  QTest::keyClick(mw, Qt::Key_F1);
  EXPECT_EQ(TestPanelVisible(gInfopanelHandle), 2) << "F1 shows Info";
  ASSERT_EQ(TestOperatorKey(gInfopanelHandle, INFOPANEL_OK, VAL_ESC_VKEY), 0);
  TestRunEvents(250);  // a shortcut shows its button pressed for a moment
  EXPECT_EQ(TestPanelVisible(gInfopanelHandle), 0) << "Escape closes it";
  mw->activateWindow();
  QApplication::setActiveWindow(mw);
  QTest::keyClick(mw, Qt::Key_F1);
  ASSERT_EQ(TestOperatorKey(gInfopanelHandle, INFOPANEL_OK, VAL_ENTER_VKEY), 0);
  EXPECT_EQ(TestPanelVisible(gInfopanelHandle), 0) << "Enter closes it";

  // New and Exit discard the table without a question: no key of their own.
  std::set<QString> kurz;
  for (QAction* a : mw->findChildren<QAction*>())
    if (!a->shortcut().isEmpty()) kurz.insert(a->shortcut().toString(QKeySequence::PortableText));
  EXPECT_EQ(kurz, (std::set<QString>{"Ctrl+O", "Ctrl+S", "F1"}));
  for (QAbstractButton* b : mw->findChildren<QAbstractButton*>()) {
    if (b->window() != mw) continue;  // the dialogs it owns have their own keys
    EXPECT_TRUE(b->shortcut().isEmpty()) << b->objectName().toStdString() << " would send on one key";
  }
}

// Every entry of the menu bar and of each menu has its own mnemonic, in both editions.
TEST_F(Tastatur, MenuesHabenEindeutigeMnemonics) {
  for (int sprache : {1, 2}) {
    Sprache(sprache);
    QMainWindow* mw = Hauptfenster();
    ASSERT_NE(mw, nullptr);
    std::vector<QList<QAction*>> gruppen{mw->menuBar()->actions()};
    for (QMenu* m : mw->findChildren<QMenu*>()) gruppen.push_back(m->actions());
    for (const auto& gruppe : gruppen) {
      std::set<QChar> tasten;
      for (QAction* a : gruppe) {
        if (a->isSeparator()) continue;
        const QString t = a->text();
        const int i = t.indexOf(QLatin1Char('&'));
        ASSERT_GE(i, 0) << t.toStdString();
        ASSERT_LT(i + 1, t.size());
        EXPECT_TRUE(tasten.insert(t.at(i + 1).toLower()).second) << t.toStdString();
      }
    }
  }
  const auto menue = TestDescribeMenu(gPanelHandle);
  const auto datei = std::find_if(menue.begin(), menue.end(), [](const TestMenuInfo& m) { return m.id == MENUBAR_MENU; });
  ASSERT_NE(datei, menue.end());
  EXPECT_EQ(datei->text, "File") << "the texts stay as they are";
}

}  // namespace

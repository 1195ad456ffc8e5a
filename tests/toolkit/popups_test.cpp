// The popups with the real dialogs driven as an operator would, and their
// automation for the program's tests.
#include "toolkit_test_support.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>

using namespace tktest;
namespace fs = std::filesystem;

namespace {

class Popups : public ::testing::Test {
 protected:
  void SetUp() override {
    startToolkit();
    main = LoadPanel(0, kGerman, MAINPANEL);
    ASSERT_GT(main, 0);
    DisplayPanel(main);
  }
  int main = 0;
};

// Acts on the next modal dialog as soon as it is up.
void whenDialogShows(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(w);
  });
  timer->start();
}

QPushButton* buttonNamed(QWidget* box, const char* name) { return box->findChild<QPushButton*>(name); }

fs::path scratchDir() {
  fs::path d = fs::temp_directory_path() / ("zpk3x_popups_" + std::to_string(::getpid()));
  fs::create_directories(d);
  return d;
}

}  // namespace

TEST_F(Popups, GenericPopupAnswersEnterWithTheSecondButton) {
  std::string seenText, focused;
  whenDialogShows([&](QWidget* box) {
    seenText = static_cast<QMessageBox*>(box)->text().toStdString();
    // Focus arrives with the window's activation, which a loaded machine may deliver
    // after the first show.
    static_cast<void>(QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }, 2000));
    if (QWidget* f = QApplication::focusWidget()) focused = f->objectName().toStdString();
    QTest::keyClick(box, Qt::Key_Return);
  });
  EXPECT_EQ(GenericMessagePopup("von ZPK lesen", "Nur aktuell ausgewähltes oder alle Programme lesen?", "aktuelles",
                                "alle", "abbrechen"),
            2);
  EXPECT_EQ(seenText, "Nur aktuell ausgewähltes oder alle Programme lesen?");
  EXPECT_EQ(focused, "button2");
}

TEST_F(Popups, GenericPopupAnswersEscapeAndTheCloseBoxWithTheThirdButton) {
  whenDialogShows([](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_EQ(GenericMessagePopup("t", "m", "a", "b", "c"), 3);
  whenDialogShows([](QWidget* box) { box->close(); });
  EXPECT_EQ(GenericMessagePopup("t", "m", "a", "b", "c"), 3);
}

TEST_F(Popups, GenericPopupReportsTheButtonClicked) {
  std::vector<std::string> labels;
  whenDialogShows([&](QWidget* box) {
    for (const char* n : {"button1", "button2", "button3"}) labels.push_back(buttonNamed(box, n)->text().toStdString());
    QTest::mouseClick(buttonNamed(box, "button1"), Qt::LeftButton);
  });
  EXPECT_EQ(GenericMessagePopup("t", "m", "Actual", "All", "Cancel & go"), 1);
  // An "&" in a label is shown, not taken as a shortcut marker.
  EXPECT_EQ(labels, (std::vector<std::string>{"Actual", "All", "Cancel && go"}));
  whenDialogShows([](QWidget* box) { QTest::mouseClick(buttonNamed(box, "button3"), Qt::LeftButton); });
  EXPECT_EQ(GenericMessagePopup("t", "m", "a", "b", "c"), 3);
}

TEST_F(Popups, MessagePopupShowsItsTextLiterally) {
  std::string text, title;
  whenDialogShows([&](QWidget* box) {
    text = static_cast<QMessageBox*>(box)->text().toStdString();
    title = box->windowTitle().toStdString();
    QTest::keyClick(box, Qt::Key_Return);
  });
  // Text from the device or a file is never taken as markup.
  EXPECT_EQ(MessagePopup("Info", "<b>-122201</b> Gerät antwortet nicht"), 0);
  EXPECT_EQ(text, "<b>-122201</b> Gerät antwortet nicht");
  EXPECT_EQ(title, "Info");
}

TEST_F(Popups, FileDialogCancelSelectsNothing) {
  whenDialogShows([](QWidget* dlg) { QTest::keyClick(dlg, Qt::Key_Escape); });
  std::string path = "unchanged";
  EXPECT_EQ(FileSelectPopup(scratchDir().c_str(), "*.zpk", "*.zpk", "Öffnen", VAL_LOAD_BUTTON, 0, 1, 1, 0, &path),
            VAL_NO_FILE_SELECTED);
  EXPECT_TRUE(path.empty());
}

TEST_F(Popups, FileDialogOpensAnExistingFileWithAnyPathLength) {
  fs::path dir = scratchDir() / std::string(120, 'v') / std::string(120, 'w') / "Prüfprogramme äöü";
  fs::create_directories(dir);
  const fs::path file = dir / "Dauertest µ.zpk";
  std::ofstream(file) << "x";
  std::string title;
  whenDialogShows([&](QWidget* dlg) {
    title = dlg->windowTitle().toStdString();
    auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    edit->setText(QString::fromStdString(file.filename().string()));
    QTest::keyClick(edit, Qt::Key_Return);
  });
  std::string path;
  EXPECT_EQ(FileSelectPopup(dir.c_str(), "*.zpk", "*.zpk", "Öffnen", VAL_LOAD_BUTTON, 0, 1, 1, 0, &path),
            VAL_EXISTING_FILE_SELECTED);
  EXPECT_EQ(path, file.string());
  EXPECT_GT(path.size(), 260u);
  EXPECT_EQ(title, "Öffnen");
}

TEST_F(Popups, FileDialogSaveGivesANewNameTheExtension) {
  const fs::path dir = scratchDir();
  whenDialogShows([](QWidget* dlg) {
    auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    edit->setText("neu");
    QTest::keyClick(edit, Qt::Key_Return);
  });
  std::string path;
  EXPECT_EQ(FileSelectPopup(dir.c_str(), "*.zpk", "*.zpk", "Speichern", VAL_SAVE_BUTTON, 0, 1, 1, 1, &path),
            VAL_NEW_FILE_SELECTED);
  EXPECT_EQ(path, (dir / "neu.zpk").string());
  // A name with another extension still gets the program file's one.
  whenDialogShows([](QWidget* dlg) {
    auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit");
    edit->setText("messung.v2");
    QTest::keyClick(edit, Qt::Key_Return);
  });
  EXPECT_EQ(FileSelectPopup(dir.c_str(), "*.zpk", "*.zpk", "Speichern", VAL_SAVE_BUTTON, 0, 1, 1, 1, &path),
            VAL_NEW_FILE_SELECTED);
  EXPECT_EQ(path, (dir / "messung.v2.zpk").string());
  EXPECT_EQ(FileSelectPopup(dir.c_str(), "*.zpk", "*.zpk", "x", VAL_SAVE_BUTTON, 0, 1, 1, 1, nullptr),
            UIE_BAD_VALUE_TYPE);
}

TEST_F(Popups, QtsOwnTextsFollowTheLanguage) {
  SetUserInterfaceLanguage(1);
  std::string cancelDe;
  whenDialogShows([&](QWidget* dlg) {
    auto* box = dlg->findChild<QDialogButtonBox*>();
    if (box && box->button(QDialogButtonBox::Cancel)) cancelDe = box->button(QDialogButtonBox::Cancel)->text().toStdString();
    QTest::keyClick(dlg, Qt::Key_Escape);
  });
  std::string path;
  FileSelectPopup(scratchDir().c_str(), "*.zpk", "*.zpk", "Öffnen", VAL_LOAD_BUTTON, 0, 1, 1, 0, &path);
  EXPECT_EQ(cancelDe, "Abbrechen");
  SetUserInterfaceLanguage(2);
  std::string cancelEn;
  whenDialogShows([&](QWidget* dlg) {
    auto* box = dlg->findChild<QDialogButtonBox*>();
    if (box && box->button(QDialogButtonBox::Cancel)) cancelEn = box->button(QDialogButtonBox::Cancel)->text().toStdString();
    QTest::keyClick(dlg, Qt::Key_Escape);
  });
  FileSelectPopup(scratchDir().c_str(), "*.zpk", "*.zpk", "Open", VAL_LOAD_BUTTON, 0, 1, 1, 0, &path);
  EXPECT_EQ(cancelEn, "Cancel");
}

TEST_F(Popups, AutomationRecordsAndAnswersWithoutDialogs) {
  TestPopupAutomation(true);
  TestQueueGenericAnswer(1);
  TestQueueFileAnswer(VAL_NEW_FILE_SELECTED, "/tmp/x/probe");
  EXPECT_EQ(MessagePopup("Info", "Text"), 0);
  EXPECT_EQ(GenericMessagePopup("T", "M", "a", "b", "c"), 1);
  EXPECT_EQ(GenericMessagePopup("T", "M", "a", "b", "c"), 3);  // empty queue
  std::string path;
  EXPECT_EQ(FileSelectPopup("/tmp/x", "*.zpk", "*.zpk", "Speichern", VAL_SAVE_BUTTON, 0, 1, 1, 1, &path),
            VAL_NEW_FILE_SELECTED);
  EXPECT_EQ(path, "/tmp/x/probe.zpk");
  EXPECT_EQ(FileSelectPopup("/tmp/x", "*.zpk", "*.zpk", "Öffnen", VAL_LOAD_BUTTON, 0, 1, 1, 0, &path),
            VAL_NO_FILE_SELECTED);
  auto rec = TestTakePopups();
  ASSERT_EQ(rec.size(), 5u);
  EXPECT_EQ(rec[0].kind, 1);
  EXPECT_EQ(rec[0].message, "Text");
  EXPECT_EQ(rec[1].kind, 2);
  EXPECT_EQ(rec[1].buttons, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(rec[3].kind, 3);
  EXPECT_EQ(rec[3].buttonLabel, VAL_SAVE_BUTTON);
  EXPECT_EQ(rec[3].allowMakeDirectory, 1);
  EXPECT_EQ(rec[3].message, "/tmp/x");
  EXPECT_EQ(rec[4].buttonLabel, VAL_LOAD_BUTTON);
  EXPECT_TRUE(TestTakePopups().empty());
  TestPopupAutomation(false);
}

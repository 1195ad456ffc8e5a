// Message popups and the file dialog, with the test automation that answers them.
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_internal.h"
#include "toolkit/toolkit_testing.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include <deque>

using namespace tk;

namespace {
bool gAutomation = false;
std::deque<int> gGenericAnswers;
std::deque<std::pair<int, std::string>> gFileAnswers;
std::vector<TestPopupRecord> gRecords;

QString s(const char* text) { return QString::fromUtf8(text ? text : ""); }

// A button label is literal text: an "&" is shown, not taken as a shortcut marker.
QString buttonText(const char* text) { return s(text).replace(QLatin1Char('&'), QLatin1String("&&")); }

// The extension that the first pattern of the type list names ("*.zpk" -> "zpk").
QString patternExtension(const QString& typeList) {
  const QString first = typeList.split(QLatin1Char(';'), Qt::SkipEmptyParts).value(0).trimmed();
  const int dot = first.lastIndexOf(QLatin1Char('.'));
  if (dot < 0) return {};
  const QString ext = first.mid(dot + 1);
  if (ext.contains(QLatin1Char('*')) || ext.contains(QLatin1Char('?'))) return {};
  return ext;
}

// File names are bytes; Qt 6.4 holds them as UTF-8 text and turns bytes that are
// not UTF-8 into U+FFFD. A chosen name with U+FFFD would name another file, so it
// is refused (UIE_BAD_VALUE_TYPE) rather than handed on.
QString pathFromBytes(const char* path) { return QFile::decodeName(QByteArray(path ? path : "")); }
bool pathToBytes(const QString& path, std::string* out) {
  if (path.contains(QChar::ReplacementCharacter)) return false;
  *out = QFile::encodeName(path).toStdString();
  return true;
}

// On save with the extension restricted, a name without that extension gets it.
QString withExtension(const QString& path, const QString& ext, bool save, bool restrict) {
  if (!save || !restrict || ext.isEmpty() || path.isEmpty()) return path;
  if (QFileInfo(path).suffix().compare(ext, Qt::CaseInsensitive) == 0) return path;
  return path + QLatin1Char('.') + ext;
}
}  // namespace

void TestPopupAutomation(bool on) { gAutomation = on; }
void TestQueueGenericAnswer(int answer) { gGenericAnswers.push_back(answer); }
void TestQueueFileAnswer(int outcome, const std::string& path) { gFileAnswers.emplace_back(outcome, path); }
std::vector<TestPopupRecord> TestTakePopups() {
  std::vector<TestPopupRecord> out;
  out.swap(gRecords);
  return out;
}

int MessagePopup(const char* title, const char* message) {
  if (gAutomation) {
    TestPopupRecord r;
    r.kind = 1;
    r.title = title ? title : "";
    r.message = message ? message : "";
    gRecords.push_back(r);
    return 0;
  }
  if (!haveApplication()) return UIE_NO_WINDOW_PLATFORM;
  QMessageBox box(dialogParent());
  box.setWindowTitle(s(title));
  box.setTextFormat(Qt::PlainText);  // messages may carry text from the device or a file
  box.setText(s(message));
  box.setStandardButtons(QMessageBox::Ok);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  box.exec();
  return 0;
}

int GenericMessagePopup(const char* title, const char* message, const char* button1, const char* button2,
                        const char* button3) {
  if (gAutomation) {
    TestPopupRecord r;
    r.kind = 2;
    r.title = title ? title : "";
    r.message = message ? message : "";
    r.buttons = {button1 ? button1 : "", button2 ? button2 : "", button3 ? button3 : ""};
    gRecords.push_back(r);
    int answer = 3;
    if (!gGenericAnswers.empty()) {
      answer = gGenericAnswers.front();
      gGenericAnswers.pop_front();
    }
    return answer;
  }
  if (!haveApplication()) return UIE_NO_WINDOW_PLATFORM;
  QMessageBox box(dialogParent());
  box.setWindowTitle(s(title));
  box.setTextFormat(Qt::PlainText);
  box.setText(s(message));
  // One role for all three keeps them in the order given.
  QPushButton* b1 = box.addButton(buttonText(button1), QMessageBox::ActionRole);
  QPushButton* b2 = box.addButton(buttonText(button2), QMessageBox::ActionRole);
  QPushButton* b3 = box.addButton(buttonText(button3), QMessageBox::ActionRole);
  b1->setObjectName(QStringLiteral("button1"));
  b2->setObjectName(QStringLiteral("button2"));
  b3->setObjectName(QStringLiteral("button3"));
  box.setDefaultButton(b2);
  box.setEscapeButton(b3);
  b2->setFocus();
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  if (clicked == b1) return 1;
  if (clicked == b2) return 2;
  return 3;  // the third button, Escape, or the close box
}

int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec, const char* fileTypeList,
                    const char* title, int buttonLabel, int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, std::string* pathName) {
  (void)restrictDirectory;
  (void)allowCancel;
  if (!pathName) return UIE_BAD_VALUE_TYPE;
  const bool save = buttonLabel == VAL_SAVE_BUTTON;
  const QString types = s(fileTypeList);
  const QString fileSpec = s(defaultFileSpec);
  const QString ext = patternExtension(types.isEmpty() ? fileSpec : types);

  if (gAutomation) {
    TestPopupRecord r;
    r.kind = 3;
    r.title = title ? title : "";
    r.message = defaultDirectory ? defaultDirectory : "";
    r.buttons = {defaultFileSpec ? defaultFileSpec : "", fileTypeList ? fileTypeList : ""};
    r.buttonLabel = buttonLabel;
    r.allowMakeDirectory = allowMakeDirectory;
    gRecords.push_back(r);
    int outcome = VAL_NO_FILE_SELECTED;
    std::string path;
    if (!gFileAnswers.empty()) {
      outcome = gFileAnswers.front().first;
      path = gFileAnswers.front().second;
      gFileAnswers.pop_front();
    }
    if (outcome == VAL_NO_FILE_SELECTED) {
      pathName->clear();
      return outcome;
    }
    // The answer stands for what the operator picked, so it takes the same conversions.
    if (!pathToBytes(withExtension(pathFromBytes(path.c_str()), ext, save, restrictExtension != 0), pathName)) {
      pathName->clear();
      return UIE_BAD_VALUE_TYPE;
    }
    return outcome;
  }

  if (!haveApplication()) return UIE_NO_WINDOW_PLATFORM;
  QFileDialog dlg(dialogParent(), s(title), pathFromBytes(defaultDirectory));
  dlg.setObjectName(QStringLiteral("fileSelectPopup"));
  // The toolkit's own dialog: the same everywhere and drivable in tests.
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!allowMakeDirectory) dlg.setOption(QFileDialog::ReadOnly, true);
  QStringList filters;
  const QString pattern = types.isEmpty() ? fileSpec : types;
  if (!pattern.isEmpty()) filters << pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
  if (!restrictExtension) filters << QStringLiteral("*");
  if (!filters.isEmpty()) dlg.setNameFilters(filters);
  if (save && restrictExtension && !ext.isEmpty()) dlg.setDefaultSuffix(ext);
  if (!fileSpec.isEmpty() && !fileSpec.contains(QLatin1Char('*')) && !fileSpec.contains(QLatin1Char('?'))) dlg.selectFile(fileSpec);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) {
    pathName->clear();
    return VAL_NO_FILE_SELECTED;
  }
  const QString path = withExtension(dlg.selectedFiles().first(), ext, save, restrictExtension != 0);
  if (!pathToBytes(QDir::toNativeSeparators(path), pathName)) {
    pathName->clear();
    return UIE_BAD_VALUE_TYPE;
  }
  return QFileInfo::exists(path) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
}

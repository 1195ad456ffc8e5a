// The progress dialog: geometry with and without a cancel button, clamping,
// the cancel flag, modality and failures.
#include "progress/progress.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <filesystem>
#include <vector>

namespace {

class Progress : public ::testing::Test {
 protected:
  void SetUp() override {
    static char name[] = "progress_tests";
    static char* argv[] = {name, nullptr};
    ASSERT_EQ(InitUserInterface(1, argv), 1);
  }
};

ProgressDialogRecord* recordOf(int panel) {
  void* data = nullptr;
  EXPECT_EQ(GetPanelAttribute(panel, ATTR_CALLBACK_DATA, &data), 0);
  return static_cast<ProgressDialogRecord*>(data);
}

int ctrlAttr(int panel, int control, int attribute) {
  int v = -12345;
  EXPECT_EQ(GetCtrlAttribute(panel, control, attribute, &v), 0);
  return v;
}

int panelAttr(int panel, int attribute) {
  int v = -12345;
  EXPECT_EQ(GetPanelAttribute(panel, attribute, &v), 0);
  return v;
}

int barValue(int panel) {
  int v = -1;
  EXPECT_EQ(GetCtrlVal(panel, recordOf(panel)->bar, &v), 0);
  return v;
}

}  // namespace

TEST_F(Progress, WithoutCancelTextTheWindowIsTheBarsHeightPlus28) {
  const int panel = CreateProgressDialog("Fortschritt", "", 1, 3, nullptr);
  ASSERT_GT(panel, 0);
  ProgressDialogRecord* rec = recordOf(panel);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->panel, panel);
  EXPECT_EQ(rec->cancelButton, 0);
  EXPECT_EQ(rec->cancelled, 0);
  int top = 0, left = 0, height = 0, width = 0;
  ASSERT_EQ(GetCtrlBoundingRect(panel, rec->bar, &top, &left, &height, &width), 0);
  EXPECT_EQ(width, 300);
  EXPECT_EQ(ctrlAttr(panel, rec->bar, ATTR_HEIGHT), 14);
  EXPECT_EQ(left, 14);  // centred in 328
  EXPECT_EQ(top, 14);
  EXPECT_EQ(panelAttr(panel, ATTR_WIDTH), 328);
  EXPECT_EQ(panelAttr(panel, ATTR_HEIGHT), height + 28);
  std::string title;
  GetPanelAttribute(panel, ATTR_TITLE, &title);
  EXPECT_EQ(title, "Fortschritt");
  EXPECT_EQ(barValue(panel), 0);
  UpdateProgressDialog(panel, 35, 0);
  std::filesystem::create_directories(ZPK3X_SCREENSHOT_DIR);
  EXPECT_EQ(TestGrabPanel(panel, ZPK3X_SCREENSHOT_DIR "/progress.png"), 0);
  DiscardProgressDialog(panel);
}

TEST_F(Progress, WithCancelTextTheButtonSitsCentredBelowTheBar) {
  const int panel = CreateProgressDialog("Progress", "Reading programs", 1, 3, "Cancel");
  ASSERT_GT(panel, 0);
  ProgressDialogRecord* rec = recordOf(panel);
  ASSERT_GT(rec->cancelButton, 0);
  int top = 0, left = 0, height = 0, width = 0;
  ASSERT_EQ(GetCtrlBoundingRect(panel, rec->bar, &top, &left, &height, &width), 0);
  EXPECT_GT(height, 14);  // the label belongs to the bar's rectangle
  EXPECT_EQ(top, 14);
  const int bTop = ctrlAttr(panel, rec->cancelButton, ATTR_TOP);
  const int bLeft = ctrlAttr(panel, rec->cancelButton, ATTR_LEFT);
  const int bWidth = ctrlAttr(panel, rec->cancelButton, ATTR_WIDTH);
  const int bHeight = ctrlAttr(panel, rec->cancelButton, ATTR_HEIGHT);
  EXPECT_EQ(bTop, height + 28);
  EXPECT_LE(std::abs(bLeft + bWidth / 2 - 164), 1);
  EXPECT_EQ(panelAttr(panel, ATTR_HEIGHT), height + 28 + 14 + bHeight);
  EXPECT_EQ(ctrlAttr(panel, rec->cancelButton, ATTR_SHORTCUT_KEY), VAL_ESC_VKEY);
  UpdateProgressDialog(panel, 60, 0);
  std::filesystem::create_directories(ZPK3X_SCREENSHOT_DIR);
  EXPECT_EQ(TestGrabPanel(panel, ZPK3X_SCREENSHOT_DIR "/progress_cancel.png"), 0);
  DiscardProgressDialog(panel);
}

TEST_F(Progress, AnEmptyCancelTextLeavesTheButtonOutOfSight) {
  const int panel = CreateProgressDialog("Fortschritt", "", 1, 3, "");
  ASSERT_GT(panel, 0);
  ProgressDialogRecord* rec = recordOf(panel);
  int height = 0;
  ASSERT_EQ(GetCtrlBoundingRect(panel, rec->bar, nullptr, nullptr, &height, nullptr), 0);
  EXPECT_EQ(panelAttr(panel, ATTR_HEIGHT), height + 28);
  if (rec->cancelButton > 0) {
    EXPECT_LT(ctrlAttr(panel, rec->cancelButton, ATTR_TOP) + ctrlAttr(panel, rec->cancelButton, ATTR_HEIGHT), 0);
  }
  DiscardProgressDialog(panel);
}

std::vector<int> gObserved;
void observe(int, int percent) { gObserved.push_back(percent); }

TEST_F(Progress, PercentIsClampedToTheBar) {
  const int panel = CreateProgressDialog("Fortschritt", "", 0, 3, nullptr);
  ASSERT_GT(panel, 0);
  ProgressDialogBeobachten(observe);
  EXPECT_EQ(UpdateProgressDialog(panel, -5, 0), 0);
  EXPECT_EQ(barValue(panel), 0);
  EXPECT_EQ(UpdateProgressDialog(panel, 42, 0), 0);
  EXPECT_EQ(barValue(panel), 42);
  EXPECT_EQ(UpdateProgressDialog(panel, 250, 0), 0);
  EXPECT_EQ(barValue(panel), 100);
  EXPECT_EQ(UpdateProgressDialog(panel, -2147483647 - 1, 0), 0);
  EXPECT_EQ(barValue(panel), 0);
  ProgressDialogBeobachten(nullptr);
  EXPECT_EQ(gObserved, (std::vector<int>{0, 42, 100, 0}));
  DiscardProgressDialog(panel);
}

TEST_F(Progress, HandlesOfZeroOrBelowDoNothing) {
  EXPECT_EQ(UpdateProgressDialog(0, 50, 1), 0);
  EXPECT_EQ(UpdateProgressDialog(-45, 50, 0), 0);
  DiscardProgressDialog(0);
  DiscardProgressDialog(-1);
  // A window that is gone gives the toolkit's code.
  const int panel = CreateProgressDialog("Fortschritt", "", 1, 3, nullptr);
  ASSERT_GT(panel, 0);
  DiscardProgressDialog(panel);
  EXPECT_EQ(UpdateProgressDialog(panel, 10, 0), UIE_BAD_PANEL_HANDLE);
  DiscardProgressDialog(panel);  // twice is harmless
}

TEST_F(Progress, ACancelPressedTwiceIsReportedOnce) {
  const int panel = CreateProgressDialog("Progress", "", 1, 3, "Cancel");
  ASSERT_GT(panel, 0);
  const int button = recordOf(panel)->cancelButton;
  ASSERT_EQ(TestOperatorClick(panel, button), 0);
  ASSERT_EQ(TestOperatorClick(panel, button), 0);
  EXPECT_EQ(UpdateProgressDialog(panel, 10, 0), 1);
  EXPECT_EQ(UpdateProgressDialog(panel, 20, 0), 0);
  DiscardProgressDialog(panel);
}

TEST_F(Progress, EscapePressesTheCancelButton) {
  const int panel = CreateProgressDialog("Progress", "", 1, 3, "Cancel");
  ASSERT_GT(panel, 0);
  ASSERT_EQ(TestOperatorKey(panel, recordOf(panel)->cancelButton, VAL_ESC_VKEY), 0);
  TestRunEvents(200);  // a shortcut presses the button visibly, which takes a moment
  EXPECT_EQ(UpdateProgressDialog(panel, 10, 0), 1);
  DiscardProgressDialog(panel);
}

TEST_F(Progress, AClickWaitingInTheQueueIsSeenOnlyWhenEventsAreProcessed) {
  const int panel = CreateProgressDialog("Progress", "", 1, 3, "Cancel");
  ASSERT_GT(panel, 0);
  const int button = recordOf(panel)->cancelButton;
  QTimer::singleShot(0, [panel, button] { TestOperatorClick(panel, button); });
  EXPECT_EQ(UpdateProgressDialog(panel, 10, 0), 0);  // nothing runs behind the caller's back
  EXPECT_EQ(UpdateProgressDialog(panel, 20, 1), 1);
  DiscardProgressDialog(panel);
}

TEST_F(Progress, ModalDialogBlocksTheOtherWindowsUntilDiscarded) {
  TestAllowUnboundCallbacks(true);
  const int main = LoadPanel(0, "zpk3xSteuerung.uir", MAINPANEL);
  ASSERT_GT(main, 0);
  DisplayPanel(main);
  const int panel = CreateProgressDialog("Fortschritt", "", 1, 3, "");
  ASSERT_GT(panel, 0);
  EXPECT_EQ(TestPanelVisible(panel), 2);
  EXPECT_EQ(TestOperatorClick(main, MAINPANEL_ZPK3START), UIE_NOT_REACHABLE);
  // The operator cannot close it.
  EXPECT_EQ(TestOperatorClose(panel), 0);
  EXPECT_EQ(TestPanelVisible(panel), 2);
  DiscardProgressDialog(panel);
  EXPECT_EQ(TestPanelVisible(panel), 0);
  EXPECT_EQ(TestOperatorClick(main, MAINPANEL_ZPK3START), 0);
  // Not modal: an ordinary window.
  const int plain = CreateProgressDialog("Fortschritt", "", 0, 3, nullptr);
  EXPECT_EQ(TestPanelVisible(plain), 1);
  DiscardProgressDialog(plain);
}

TEST(ProgressWithoutWindows, CreationFailsWithTheToolkitsCodeAndFreesTheRecord) {
  // No window platform started: the window cannot be made.
  EXPECT_EQ(CreateProgressDialog("Fortschritt", "", 1, 3, nullptr), UIE_NO_WINDOW_PLATFORM);
  EXPECT_EQ(UpdateProgressDialog(UIE_NO_WINDOW_PLATFORM, 50, 0), 0);
  DiscardProgressDialog(UIE_NO_WINDOW_PLATFORM);
}

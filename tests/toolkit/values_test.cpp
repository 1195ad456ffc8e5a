// Control values by kind, values a field cannot show, and attributes.
#include "toolkit_test_support.h"
#include "support_ui/paint_counter.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <cmath>

using namespace tktest;

namespace {
using Values = GermanWindows;
}  // namespace

TEST_F(Values, ValuesRoundTripByKind) {
  EXPECT_EQ(SetCtrlVal(w.main, MAINPANEL_STROM1, 2.345), 0);
  EXPECT_EQ(SetCtrlVal(w.main, MAINPANEL_EINZUSTELLENDESPROG, 16), 0);
  EXPECT_EQ(SetCtrlVal(w.main, MAINPANEL_PARAMETERSATZAUSWAHL, 16), 0);
  EXPECT_EQ(SetCtrlVal(w.main, MAINPANEL_ENDSTUFEREGELN, 0), 0);
  EXPECT_EQ(SetCtrlVal(w.main, MAINPANEL_STATUS13, 1), 0);
  EXPECT_EQ(SetCtrlVal(w.main, MAINPANEL_COMPICTURERING, 4), 0);
  EXPECT_EQ(SetCtrlVal(w.main, MAINPANEL_FEHLERSTRING, "Zeitüberschreitung"), 0);
  EXPECT_EQ(SetCtrlVal(w.com, COMPANEL_ADRESSE, '&'), 0);
  EXPECT_EQ(SetCtrlVal(w.com, COMPANEL_PORT, -1), 0);
  EXPECT_EQ(SetCtrlVal(w.com, COMPANEL_BAUDRATE, 2400), 0);
  double d = 0;
  int i = 0;
  char c = 0;
  std::string s;
  GetCtrlVal(w.main, MAINPANEL_STROM1, &d);
  EXPECT_DOUBLE_EQ(d, 2.345);
  GetCtrlVal(w.main, MAINPANEL_EINZUSTELLENDESPROG, &i);
  EXPECT_EQ(i, 16);
  GetCtrlVal(w.main, MAINPANEL_PARAMETERSATZAUSWAHL, &i);
  EXPECT_EQ(i, 16);
  GetCtrlString(w.main, MAINPANEL_PARAMETERSATZAUSWAHL, &s);
  EXPECT_EQ(s, "Programm 16");
  GetCtrlVal(w.main, MAINPANEL_ENDSTUFEREGELN, &i);
  EXPECT_EQ(i, 0);
  GetCtrlVal(w.main, MAINPANEL_STATUS13, &i);
  EXPECT_EQ(i, 1);
  GetCtrlVal(w.main, MAINPANEL_COMPICTURERING, &i);
  EXPECT_EQ(i, 4);
  GetCtrlString(w.main, MAINPANEL_FEHLERSTRING, &s);
  EXPECT_EQ(s, "Zeitüberschreitung");
  GetCtrlVal(w.com, COMPANEL_ADRESSE, &c);
  EXPECT_EQ(c, '&');
  GetCtrlString(w.com, COMPANEL_ADRESSE, &s);
  EXPECT_EQ(s, "alle");
  GetCtrlVal(w.com, COMPANEL_PORT, &i);
  EXPECT_EQ(i, -1);
  GetCtrlString(w.com, COMPANEL_PORT, &s);
  EXPECT_EQ(s, "nicht geöffnet");
  GetCtrlVal(w.com, COMPANEL_BAUDRATE, &i);
  EXPECT_EQ(i, 2400);
  // Setting by program is no operator action: nothing is committed.
  EXPECT_TRUE(events().empty());
}

TEST_F(Values, TheOperatorsChoiceOfAnAddressDeliversTheCharacter) {
  ASSERT_EQ(DisplayPanel(w.com), 0);
  ASSERT_EQ(TestOperatorSetValue(w.com, COMPANEL_ADRESSE, '&'), 0);
  char c = 0;
  ASSERT_EQ(GetCtrlVal(w.com, COMPANEL_ADRESSE, &c), 0);
  EXPECT_EQ(c, '&');
  ASSERT_EQ(eventsOf(EVENT_COMMIT).size(), 1u);
  EXPECT_EQ(eventsOf(EVENT_COMMIT)[0].callback, "Callback_Multi_ComEinstellungen");
}

TEST_F(Values, WrongKindsAndIdsAreRefused) {
  double d = 0;
  int i = 0;
  char c = 0;
  EXPECT_EQ(SetCtrlVal(w.main, MAINPANEL_STROM1, "1.0"), UIE_BAD_VALUE_TYPE);
  EXPECT_EQ(SetCtrlVal(w.main, MAINPANEL_FEHLERSTRING, 3), UIE_BAD_VALUE_TYPE);
  EXPECT_EQ(SetCtrlVal(w.main, MAINPANEL_STROMKURVE, 'x'), UIE_BAD_VALUE_TYPE);
  EXPECT_EQ(GetCtrlVal(w.com, COMPANEL_ADRESSE, &d), UIE_BAD_VALUE_TYPE);
  EXPECT_EQ(GetCtrlVal(w.main, MAINPANEL_STROMKURVE, &c), UIE_BAD_VALUE_TYPE);
  EXPECT_EQ(GetCtrlVal(w.main, MAINPANEL_ZPK3START, &i), UIE_BAD_VALUE_TYPE);
  EXPECT_EQ(SetCtrlVal(w.main, MAINPANEL_FEHLERSTRING, static_cast<const char*>(nullptr)), UIE_BAD_VALUE_TYPE);
  EXPECT_EQ(GetCtrlVal(w.main, MAINPANEL_STROM1, static_cast<double*>(nullptr)), UIE_BAD_VALUE_TYPE);
  EXPECT_EQ(SetCtrlVal(w.main, 999, 1), UIE_BAD_CONTROL_ID);
  EXPECT_EQ(SetCtrlVal(w.main, 0, 1), UIE_BAD_CONTROL_ID);
  EXPECT_EQ(SetCtrlVal(-5, MAINPANEL_STROM1, 1.0), UIE_BAD_PANEL_HANDLE);
  EXPECT_EQ(GetCtrlVal(12345, MAINPANEL_STROM1, &d), UIE_BAD_PANEL_HANDLE);
  EXPECT_EQ(SetCtrlAttribute(w.main, MAINPANEL_STROM1, ATTR_ON_COLOR, 0xFF0000), UIE_BAD_ATTRIBUTE);
  EXPECT_EQ(SetCtrlAttribute(w.main, MAINPANEL_STROM1, 4711, 1), UIE_BAD_ATTRIBUTE);
  EXPECT_EQ(SetPanelAttribute(w.main, ATTR_TITLE, static_cast<const char*>(nullptr)), UIE_BAD_ATTRIBUTE);
}

TEST_F(Values, AValueTheFieldCannotShowSurvivesUntilTheOperatorChangesThatField) {
  // A current of 5 A read from a file: kept, and the field says so.
  ASSERT_EQ(SetCtrlVal(w.main, MAINPANEL_STROM1, 5.0), 0);
  ASSERT_EQ(SetCtrlVal(w.main, MAINPANEL_STROMKURVE, 13), 0);
  ASSERT_EQ(SetCtrlVal(w.main, MAINPANEL_ZEIT1, 0.0), 0);
  int oor = 0;
  ASSERT_EQ(GetCtrlAttribute(w.main, MAINPANEL_STROM1, ATTR_OUT_OF_RANGE, &oor), 0);
  EXPECT_EQ(oor, 1);
  ASSERT_EQ(GetCtrlAttribute(w.main, MAINPANEL_STROMKURVE, ATTR_OUT_OF_RANGE, &oor), 0);
  EXPECT_EQ(oor, 1);
  // Edits of other fields leave them alone.
  ASSERT_EQ(TestOperatorSetValue(w.main, MAINPANEL_STROM2, 1.0), 0);
  ASSERT_EQ(TestOperatorSetValue(w.main, MAINPANEL_ENDSTUFEREGELN, 0), 0);
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_ZEIT2, VAL_UP_ARROW_VKEY), 0);
  double d = 0;
  int curve = 0;
  GetCtrlVal(w.main, MAINPANEL_STROM1, &d);
  EXPECT_DOUBLE_EQ(d, 5.0);
  GetCtrlVal(w.main, MAINPANEL_STROMKURVE, &curve);
  EXPECT_EQ(curve, 13);
  GetCtrlVal(w.main, MAINPANEL_ZEIT1, &d);
  EXPECT_DOUBLE_EQ(d, 0.0);
  // Focus passing through the field, or typing nonsense into it, changes nothing.
  ASSERT_EQ(TestOperatorType(w.main, MAINPANEL_STROM1, "9"), 0);
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_STROM1, VAL_ENTER_VKEY), 0);
  GetCtrlVal(w.main, MAINPANEL_STROM1, &d);
  EXPECT_DOUBLE_EQ(d, 5.0);
  // The operator's own value replaces it, even one equal to the field's limit.
  ASSERT_EQ(TestOperatorSetValue(w.main, MAINPANEL_STROM1, 4.0), 0);
  GetCtrlVal(w.main, MAINPANEL_STROM1, &d);
  EXPECT_DOUBLE_EQ(d, 4.0);
  GetCtrlAttribute(w.main, MAINPANEL_STROM1, ATTR_OUT_OF_RANGE, &oor);
  EXPECT_EQ(oor, 0);
  ASSERT_EQ(TestOperatorSetValue(w.main, MAINPANEL_STROMKURVE, 12), 0);
  GetCtrlVal(w.main, MAINPANEL_STROMKURVE, &curve);
  EXPECT_EQ(curve, 12);
  // An arrow step on a held value starts from the nearest value it can show.
  ASSERT_EQ(SetCtrlVal(w.main, MAINPANEL_ZYKLEN, 70000.0), 0);
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_ZYKLEN, VAL_DOWN_ARROW_VKEY), 0);
  GetCtrlVal(w.main, MAINPANEL_ZYKLEN, &d);
  EXPECT_DOUBLE_EQ(d, 65533.0);
}

TEST_F(Values, ADecimalCommaTypedByTheOperatorIsTakenAsThePoint) {
  ASSERT_EQ(TestOperatorType(w.main, MAINPANEL_STROM2, "1,75"), 0);
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_STROM2, VAL_ENTER_VKEY), 0);
  double d = 0;
  GetCtrlVal(w.main, MAINPANEL_STROM2, &d);
  EXPECT_DOUBLE_EQ(d, 1.75);
  ASSERT_EQ(eventsOf(EVENT_COMMIT).size(), 1u);
}

TEST_F(Values, ValuesKeepMoreDigitsThanShownAndOddNumbersStaySafe) {
  ASSERT_EQ(SetCtrlVal(w.main, MAINPANEL_STROM1, 0.1234), 0);
  double d = 0;
  GetCtrlVal(w.main, MAINPANEL_STROM1, &d);
  EXPECT_DOUBLE_EQ(d, 0.1234);
  ASSERT_EQ(SetCtrlVal(w.main, MAINPANEL_STROMIST, 1e30), 0);  // indicators show anything
  int oor = 1;
  GetCtrlAttribute(w.main, MAINPANEL_STROMIST, ATTR_OUT_OF_RANGE, &oor);
  EXPECT_EQ(oor, 0);
  ASSERT_EQ(SetCtrlVal(w.main, MAINPANEL_SPANNUNG, std::nan("")), 0);
  GetCtrlVal(w.main, MAINPANEL_SPANNUNG, &d);
  EXPECT_TRUE(std::isnan(d));
  int i = 0;
  ASSERT_EQ(GetCtrlVal(w.main, MAINPANEL_SPANNUNG, &i), 0);  // no undefined conversion
  ASSERT_EQ(SetCtrlVal(w.main, MAINPANEL_FEHLERNUMMER, -2147483647 - 1), 0);
  GetCtrlVal(w.main, MAINPANEL_FEHLERNUMMER, &i);
  EXPECT_EQ(i, -2147483647 - 1);
}

TEST_F(Values, AttributesForMarkersLampsTimerAndTitles) {
  int v = -1;
  ASSERT_EQ(DisplayPanel(w.main), 0);
  ASSERT_EQ(SetCtrlAttribute(w.main, MAINPANEL_STERN_ZEIT2, ATTR_VISIBLE, 0), 0);
  GetCtrlAttribute(w.main, MAINPANEL_STERN_ZEIT2, ATTR_VISIBLE, &v);
  EXPECT_EQ(v, 0);
  ASSERT_EQ(SetCtrlAttribute(w.main, MAINPANEL_STERN_ZEIT2, ATTR_VISIBLE, 1), 0);
  GetCtrlAttribute(w.main, MAINPANEL_STERN_ZEIT2, ATTR_VISIBLE, &v);
  EXPECT_EQ(v, 1);
  ASSERT_EQ(SetCtrlAttribute(w.main, MAINPANEL_FEHLERLED, ATTR_ON_COLOR, 0x123456), 0);
  GetCtrlAttribute(w.main, MAINPANEL_FEHLERLED, ATTR_ON_COLOR, &v);
  EXPECT_EQ(v, 0x123456);
  ASSERT_EQ(SetPanelAttribute(w.main, ATTR_TITLE, "ZPK-3X Steuerung - Prüfling.zpk"), 0);
  EXPECT_EQ(TestPanelTitle(w.main), "ZPK-3X Steuerung - Prüfling.zpk");
  ASSERT_EQ(SetPanelAttribute(w.com, ATTR_TITLE, "Verbindung"), 0);
  EXPECT_EQ(TestPanelTitle(w.com), "Verbindung");
  EXPECT_EQ(SetPanelAttribute(w.main, ATTR_HAS_TASKBAR_BUTTON, 1), 0);
  std::string label;
  ASSERT_EQ(GetCtrlAttribute(w.main, MAINPANEL_STROM1, ATTR_LABEL_TEXT, &label), 0);
  EXPECT_EQ(label, "Strom 1 [A]");
}

namespace {
void* gSeenData = nullptr;
int seeData(int, int, int event, void* data, int, int) {
  if (event == EVENT_COMMIT) gSeenData = data;
  return 0;
}
}  // namespace

TEST_F(Values, CallbackDataReachesTheCallback) {
  RegisterCtrlCallback("Callback_Button_Scan", &seeData);
  const int com = LoadPanel(w.main, kGerman, COMPANEL);
  ASSERT_EQ(DisplayPanel(com), 0);
  int marker = 0;
  ASSERT_EQ(SetCtrlAttribute(com, COMPANEL_SCAN, ATTR_CALLBACK_DATA, static_cast<void*>(&marker)), 0);
  ASSERT_EQ(TestOperatorClick(com, COMPANEL_SCAN), 0);
  EXPECT_EQ(gSeenData, &marker);
  int panelData = 0;
  void* back = nullptr;
  ASSERT_EQ(SetPanelAttribute(com, ATTR_CALLBACK_DATA, static_cast<void*>(&panelData)), 0);
  ASSERT_EQ(GetPanelAttribute(com, ATTR_CALLBACK_DATA, &back), 0);
  EXPECT_EQ(back, &panelData);
}


// A callback that keeps the loop busy (the device search) must still show each
// lamp as it changes, and showing it must not run other events (a timer tick would
// start the continuous query in the middle of a transfer).
TEST_F(Values, SetCtrlValPaintsAtOnceWithoutRunningTheLoop) {
  ASSERT_EQ(DisplayPanel(w.com), 0);
  TestRunEvents(50);  // the first show is painted by the loop, as usual
  uitest::PaintCounter counter("LED3");
  ASSERT_TRUE(counter.found());

  bool otherEventRan = false;
  QTimer::singleShot(0, [&otherEventRan] { otherEventRan = true; });
  ASSERT_EQ(SetCtrlVal(w.com, COMPANEL_LED3, 1), 0);
  EXPECT_GE(counter.paints(), 1);
  const int afterOn = counter.paints();
  ASSERT_EQ(SetCtrlAttribute(w.com, COMPANEL_LED3, ATTR_ON_COLOR, 0x00FF00), 0);
  ASSERT_EQ(SetCtrlVal(w.com, COMPANEL_LED3, 0), 0);
  EXPECT_GT(counter.paints(), afterOn);
  EXPECT_FALSE(otherEventRan);

  TestRunEvents(20);
  EXPECT_TRUE(otherEventRan);
}

namespace {
std::vector<std::string> gRefused;
void rememberRefusal(int, int control, int reason, const char* allowed, int) {
  gRefused.push_back(std::to_string(control) + ": " + std::to_string(reason) + " " + allowed);
}
}  // namespace

// An entry outside the range is kept while typed, then refused whole on commit:
// the field returns to its value, no commit event, the program hears the range.
// Escape abandons an entry. German shows and takes the decimal comma.
TEST_F(Values, OutOfRangeEntriesAreRefusedWholeAndEscapeAbandonsAnEntry) {
  gRefused.clear();
  InstallRefusedEntryCallback(rememberRefusal);
  ASSERT_EQ(SetCtrlVal(w.main, MAINPANEL_FREQUENZ, 1000.0), 0);
  ASSERT_EQ(SetCtrlVal(w.main, MAINPANEL_STROM1, 0.25), 0);
  std::string shown;
  ASSERT_EQ(TestOperatorType(w.main, MAINPANEL_FREQUENZ, "12000"), 0);
  auto* field = QApplication::focusWidget();
  ASSERT_NE(field, nullptr);
  auto* edit = field->findChild<QLineEdit*>();
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->text().toStdString(), "12000") << "no keystroke dropped";
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_FREQUENZ, VAL_ENTER_VKEY), 0);
  double d = 0;
  GetCtrlVal(w.main, MAINPANEL_FREQUENZ, &d);
  EXPECT_DOUBLE_EQ(d, 1000.0);
  EXPECT_EQ(edit->text().toStdString(), "1000");
  EXPECT_EQ(gRefused, (std::vector<std::string>{std::to_string(MAINPANEL_FREQUENZ) + ": 1 25 bis 10000"}));
  // A click on a command right after a refused entry does not act.
  ASSERT_EQ(TestOperatorType(w.main, MAINPANEL_FREQUENZ, "5"), 0);
  events().clear();
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_ZPK3START, VAL_SPACE_KEY), 0);
  EXPECT_TRUE(eventsOf(EVENT_COMMIT).empty());
  ASSERT_EQ(TestOperatorClick(w.main, MAINPANEL_ZPK3START), 0);
  EXPECT_EQ(eventsOf(EVENT_COMMIT).size(), 1u) << "the next click acts again";

  ASSERT_EQ(TestOperatorType(w.main, MAINPANEL_STROM1, "1,5"), 0);
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_STROM1, VAL_ESC_VKEY), 0);
  GetCtrlVal(w.main, MAINPANEL_STROM1, &d);
  EXPECT_DOUBLE_EQ(d, 0.25);
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_STROM1, VAL_ENTER_VKEY), 0);
  GetCtrlVal(w.main, MAINPANEL_STROM1, &d);
  EXPECT_DOUBLE_EQ(d, 0.25) << "Escape abandoned the entry";
  EXPECT_EQ(QApplication::focusWidget()->findChild<QLineEdit*>()->text().toStdString(), "0,250");
  ASSERT_EQ(TestOperatorType(w.main, MAINPANEL_STROM1, "1.5"), 0);
  ASSERT_EQ(TestOperatorKey(w.main, MAINPANEL_STROM1, VAL_ENTER_VKEY), 0);
  GetCtrlVal(w.main, MAINPANEL_STROM1, &d);
  EXPECT_DOUBLE_EQ(d, 1.5) << "the point is taken too";
  InstallRefusedEntryCallback(nullptr);
}

// Typed entries are shown exactly as typed and taken exactly, or refused whole
// with the reason: a whole-number field takes digits only, a real field one
// decimal separator (German: comma or point, English: point), no more decimals
// than it keeps. The field's value stays, and the value the program set stays too.
TEST_F(Values, TypedEntriesAreTakenExactlyOrRefusedWithTheReason) {
  struct Fall {
    int sprache;
    int control;
    const char* getippt;
    double wert;  // NaN: refused
    int grund;
  };
  const double nein = std::nan("");
  const Fall faelle[] = {
      {1, MAINPANEL_ZEIT1, "1.000", nein, ENTRY_NOT_WHOLE},   {1, MAINPANEL_ZEIT2, "12x3", nein, ENTRY_NOT_WHOLE},
      {1, MAINPANEL_ZEIT1, "-5", nein, ENTRY_NOT_WHOLE},      {1, MAINPANEL_ZEIT1, "2500", 2500, 0},
      {1, MAINPANEL_STROM2, "1.234,5", nein, ENTRY_NOT_NUMBER}, {1, MAINPANEL_STROM2, "0,5,5", nein, ENTRY_NOT_NUMBER},
      {1, MAINPANEL_STROM2, "0,1234", nein, ENTRY_TOO_MANY_DECIMALS}, {1, MAINPANEL_STROM2, "1.5", 1.5, 0},
      {1, MAINPANEL_STROM2, ",5", 0.5, 0},                    {1, MAINPANEL_ZEIT1, "99999", nein, ENTRY_OUT_OF_RANGE},
      {2, MAINPANEL_ZEIT1, "2,5", nein, ENTRY_NOT_WHOLE},     {2, MAINPANEL_ZEIT1, "2,500", nein, ENTRY_NOT_WHOLE},
      {2, MAINPANEL_ZEIT1, "2 500", nein, ENTRY_NOT_WHOLE},   {2, MAINPANEL_STROM1, "1,5", nein, ENTRY_NOT_NUMBER},
      {2, MAINPANEL_STROM2, "0.5.5", nein, ENTRY_NOT_NUMBER}, {2, MAINPANEL_STROM2, "0.1250", 0.125, 0},
  };
  InstallRefusedEntryCallback(rememberRefusal);
  SetUserInterfaceLanguage(2);
  const WindowSet en = loadWindows(kEnglish);
  SetUserInterfaceLanguage(1);
  ASSERT_GT(en.main, 0);
  for (const Fall& f : faelle) {
    const int panel = f.sprache == 2 ? en.main : w.main;
    SCOPED_TRACE(std::string(f.sprache == 2 ? "English " : "German ") + f.getippt);
    if (f.sprache == 2) SetUserInterfaceLanguage(2);
    ASSERT_EQ(DisplayPanel(panel), 0);
    ASSERT_EQ(SetCtrlVal(panel, f.control, 3.0), 0);
    gRefused.clear();
    ASSERT_EQ(TestOperatorType(panel, f.control, f.getippt), 0);
    EXPECT_EQ(QApplication::focusWidget()->findChild<QLineEdit*>()->text().toStdString(), f.getippt)
        << "shown exactly as typed";
    ASSERT_EQ(TestOperatorKey(panel, f.control, VAL_ENTER_VKEY), 0);
    double d = 0;
    GetCtrlVal(panel, f.control, &d);
    EXPECT_DOUBLE_EQ(d, std::isnan(f.wert) ? 3.0 : f.wert);
    ASSERT_EQ(gRefused.size(), std::isnan(f.wert) ? 1u : 0u);
    if (!gRefused.empty()) {
      EXPECT_EQ(gRefused[0].rfind(std::to_string(f.control) + ": " + std::to_string(f.grund) + " ", 0), 0u)
          << gRefused[0];
    }
    SetUserInterfaceLanguage(1);
    HidePanel(panel);
  }
  DiscardPanel(en.main);
  DiscardPanel(en.info);
  InstallRefusedEntryCallback(nullptr);
}

// The English edition shows and takes only the point: a comma is refused, never
// read as a thousands separator.
TEST_F(Values, EnglishTakesOnlyThePoint) {
  SetUserInterfaceLanguage(2);
  const WindowSet en = loadWindows(kEnglish);
  ASSERT_GT(en.main, 0);
  ASSERT_EQ(DisplayPanel(en.main), 0);
  ASSERT_EQ(SetCtrlVal(en.main, MAINPANEL_STROM1, 0.25), 0);
  ASSERT_EQ(TestOperatorType(en.main, MAINPANEL_STROM1, "1,5"), 0);
  ASSERT_EQ(TestOperatorKey(en.main, MAINPANEL_STROM1, VAL_ENTER_VKEY), 0);
  double d = 0;
  GetCtrlVal(en.main, MAINPANEL_STROM1, &d);
  EXPECT_DOUBLE_EQ(d, 0.25);
  EXPECT_EQ(QApplication::focusWidget()->findChild<QLineEdit*>()->text().toStdString(), "0.250");
  DiscardPanel(en.main);
  DiscardPanel(en.info);
  SetUserInterfaceLanguage(1);
}

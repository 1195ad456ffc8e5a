// The windows of both editions: inventory, identical structure, ring items,
// numeric fields, binding of callbacks, and pictures of every window.
#include "toolkit_test_support.h"

#include <QImage>
#include <QImageReader>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

using namespace tktest;

namespace {

class WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { startToolkit(); }
};

std::map<int, TestControlInfo> describe(int panel) {
  std::map<int, TestControlInfo> out;
  for (int id : TestControlIds(panel)) {
    TestControlInfo info;
    EXPECT_EQ(TestDescribeControl(panel, id, &info), 0);
    out[id] = info;
  }
  return out;
}

}  // namespace

TEST_F(WindowsTest, EveryControlOfTheOperatorWindowHasItsIdKindAndCallback) {
  struct Row {
    int id;
    const char* name;
    const char* kind;
    const char* callback;
  };
  const Row rows[] = {
      {MAINPANEL_PARAMETERSATZAUSWAHL, "PARAMETERSATZAUSWAHL", "ring", "Callback_Ring_Parametersatz"},
      {MAINPANEL_ZPK3LESEN, "ZPK3LESEN", "button", "Callback_Button_Zpk3Lesen"},
      {MAINPANEL_ZPK3SCHREIBEN, "ZPK3SCHREIBEN", "button", "Callback_Button_Zpk3Schreiben"},
      {MAINPANEL_EINZUSTELLENDESPROG, "EINZUSTELLENDESPROG", "numeric", ""},
      {MAINPANEL_PROGRAMMLADEN, "PROGRAMMLADEN", "button", "Callback_Button_ProgrammLaden"},
      {MAINPANEL_PROGRAMMSPEICHERN, "PROGRAMMSPEICHERN", "button", "Callback_Button_ProgrammSpeichern"},
      {MAINPANEL_ZPK3START, "ZPK3START", "button", "Callback_Button_Zpk3Start"},
      {MAINPANEL_ZPK3STOPP, "ZPK3STOPP", "button", "Callback_Button_Zpk3Stopp"},
      {MAINPANEL_ZPK3FEHLERLOESCHEN, "ZPK3FEHLERLOESCHEN", "button", "Callback_Button_Zpk3FehlerLoeschen"},
      {MAINPANEL_ZPK3KALIBRIEREN, "ZPK3KALIBRIEREN", "button", "Callback_Button_Zpk3Kalibrieren"},
      {MAINPANEL_STROMKURVE, "STROMKURVE", "ring", "Callback_Multi_Parameter"},
      {MAINPANEL_STROM1, "STROM1", "numeric", "Callback_Multi_Parameter"},
      {MAINPANEL_STROM2, "STROM2", "numeric", "Callback_Multi_Parameter"},
      {MAINPANEL_ZEIT1, "ZEIT1", "numeric", "Callback_Multi_Parameter"},
      {MAINPANEL_ZEIT2, "ZEIT2", "numeric", "Callback_Multi_Parameter"},
      {MAINPANEL_FREQUENZ, "FREQUENZ", "numeric", "Callback_Multi_Parameter"},
      {MAINPANEL_SPANNUNG, "SPANNUNG", "numeric", "Callback_Multi_Parameter"},
      {MAINPANEL_ZYKLEN, "ZYKLEN", "numeric", "Callback_Multi_Parameter"},
      {MAINPANEL_REGELGESCHWINDIGKEIT, "REGELGESCHWINDIGKEIT", "numeric", "Callback_Multi_Parameter"},
      {MAINPANEL_ENDSTUFEREGELN, "ENDSTUFEREGELN", "ring", "Callback_Multi_Parameter"},
      {MAINPANEL_STROMIST, "STROMIST", "numeric", ""},
      {MAINPANEL_SPANNUNGIST, "SPANNUNGIST", "numeric", ""},
      {MAINPANEL_ABFRAGEN, "ABFRAGEN", "button", "Callback_Button_Abfragen"},
      {MAINPANEL_DAUERNDABFRAGEN, "DAUERNDABFRAGEN", "toggle", "Callback_Toggle_DauerndAbfragen"},
      {MAINPANEL_STATUSINFO, "STATUSINFO", "button", "Callback_Button_StatusInfo"},
      {MAINPANEL_COMPICTURERING, "COMPICTURERING", "picturering", "Callback_Ring_ComPicture"},
      {MAINPANEL_FEHLERLED, "FEHLERLED", "led", ""},
      {MAINPANEL_FEHLERSTRING, "FEHLERSTRING", "string", ""},
      {MAINPANEL_FEHLERNUMMER, "FEHLERNUMMER", "numeric", ""},
      {MAINPANEL_STERN_ENDSTUFEREGELN, "STERN_ENDSTUFEREGELN", "text", ""},
      {MAINPANEL_STERN_REGELGESCHW, "STERN_REGELGESCHW", "text", ""},
      {MAINPANEL_STERN_ZYKLEN, "STERN_ZYKLEN", "text", ""},
      {MAINPANEL_STERN_SPANNUNG, "STERN_SPANNUNG", "text", ""},
      {MAINPANEL_STERN_FREQUENZ, "STERN_FREQUENZ", "text", ""},
      {MAINPANEL_STERN_ZEIT2, "STERN_ZEIT2", "text", ""},
      {MAINPANEL_TEXTMSG_10, "TEXTMSG_10", "text", ""},
      {MAINPANEL_STERN_ZEIT1, "STERN_ZEIT1", "text", ""},
      {MAINPANEL_STERN_STROM2, "STERN_STROM2", "text", ""},
      {MAINPANEL_STERN_STROM1, "STERN_STROM1", "text", ""},
      {MAINPANEL_TEXTMSG_12, "TEXTMSG_12", "text", ""},
      {MAINPANEL_TEXTMSG_15, "TEXTMSG_15", "text", ""},
      {MAINPANEL_TEXTMSG_14, "TEXTMSG_14", "text", ""},
      {MAINPANEL_TEXTMSG_13, "TEXTMSG_13", "text", ""},
      {MAINPANEL_TEXTMSG_16, "TEXTMSG_16", "text", ""},
      {MAINPANEL_STATUS8, "STATUS8", "led", ""},
      {MAINPANEL_STATUS9, "STATUS9", "led", ""},
      {MAINPANEL_STATUS11, "STATUS11", "led", ""},
      {MAINPANEL_STATUS13, "STATUS13", "led", ""},
      {MAINPANEL_STATUS0, "STATUS0", "led", ""},
      {MAINPANEL_STATUS1, "STATUS1", "led", ""},
      {MAINPANEL_STATUS3, "STATUS3", "led", ""},
      {MAINPANEL_STATUS4, "STATUS4", "led", ""},
      {MAINPANEL_DECORATION, "DECORATION", "frame", ""},
      {MAINPANEL_TIMER, "TIMER", "timer", "Callback_Timer"},
      {MAINPANEL_DECORATION_2, "DECORATION_2", "frame", ""},
      {MAINPANEL_DECORATION_3, "DECORATION_3", "frame", ""},
      {MAINPANEL_TEXTMSG_18, "TEXTMSG_18", "text", ""},
      {MAINPANEL_DECORATION_4, "DECORATION_4", "frame", ""},
      {MAINPANEL_TEXTMSG_11, "TEXTMSG_11", "text", ""},
      {MAINPANEL_DECORATION_6, "DECORATION_6", "frame", ""},
      {MAINPANEL_PICTURE, "PICTURE", "picture", ""},
      {MAINPANEL_VERLAUF, "VERLAUF", "button", "Callback_Button_Verlauf"},
  };
  for (const char* file : {kGerman, kEnglish}) {
    const int main = LoadPanel(0, file, MAINPANEL);
    ASSERT_GT(main, 0) << file;
    auto all = describe(main);
    EXPECT_EQ(all.size(), std::size(rows)) << file;
    for (const Row& r : rows) {
      SCOPED_TRACE(r.name);
      ASSERT_TRUE(all.count(r.id));
      EXPECT_EQ(all[r.id].name, r.name);
      EXPECT_EQ(all[r.id].kind, r.kind);
      EXPECT_EQ(all[r.id].callback, r.callback);
    }
    for (int star : {MAINPANEL_STERN_STROM1, MAINPANEL_STERN_ZEIT2, MAINPANEL_TEXTMSG_10})
      EXPECT_EQ(all[star].text, "*");
  }
}

TEST_F(WindowsTest, BothEditionsDifferOnlyInTexts) {
  const auto de = loadWindows(kGerman);
  const auto en = loadWindows(kEnglish);
  ASSERT_GT(de.main, 0);
  ASSERT_GT(de.com, 0);
  ASSERT_GT(de.info, 0);
  ASSERT_GT(en.main, 0);
  ASSERT_GT(en.com, 0);
  ASSERT_GT(en.info, 0);
  std::set<std::string> differing;
  for (auto [pd, pe] : {std::pair{de.main, en.main}, {de.com, en.com}, {de.info, en.info}}) {
    auto a = describe(pd);
    auto b = describe(pe);
    ASSERT_EQ(a.size(), b.size());
    for (auto& [id, x] : a) {
      ASSERT_TRUE(b.count(id)) << id;
      const auto& y = b[id];
      SCOPED_TRACE(x.name);
      EXPECT_EQ(x.name, y.name);
      EXPECT_EQ(x.kind, y.kind);
      EXPECT_EQ(x.callback, y.callback);
      EXPECT_EQ(x.minimum, y.minimum);
      EXPECT_EQ(x.maximum, y.maximum);
      EXPECT_EQ(x.increment, y.increment);
      EXPECT_EQ(x.precision, y.precision);
      EXPECT_EQ(x.integer, y.integer);
      EXPECT_EQ(x.ringValues, y.ringValues);
      EXPECT_EQ(x.ringItems.size(), y.ringItems.size());
      if (x.text != y.text || x.label != y.label) differing.insert(x.name);
    }
    auto ma = TestDescribeMenu(pd);
    auto mb = TestDescribeMenu(pe);
    ASSERT_EQ(ma.size(), mb.size());
    for (size_t i = 0; i < ma.size(); ++i) {
      EXPECT_EQ(ma[i].id, mb[i].id);
      EXPECT_EQ(ma[i].name, mb[i].name);
      EXPECT_EQ(ma[i].kind, mb[i].kind);
      EXPECT_EQ(ma[i].callback, mb[i].callback);
    }
  }
  // Labels that the two editions give differently really differ...
  for (const char* name : {"ZPK3LESEN", "STROM1", "SPANNUNG", "TEXTMSG_12", "TEXTMSG_11", "ADRESSE", "SCHLIESSEN",
                           "DAUERNDABFRAGEN", "FEHLERLED"})
    EXPECT_TRUE(differing.count(name)) << name;
  // ...and those they share do not.
  for (const char* name : {"ZPK3START", "TEXTMSG_15", "BAUDRATE", "PORT", "SCAN", "SCANTEXT", "OK", "TEXTMSG_3"})
    EXPECT_FALSE(differing.count(name)) << name;
  EXPECT_EQ(TestPanelTitle(de.main), "ZPK-3X Steuerung");
  EXPECT_EQ(TestPanelTitle(en.main), "ZPK-3X Steuerung");
  EXPECT_EQ(TestPanelTitle(de.com), "COM Einstellung");
  EXPECT_EQ(TestPanelTitle(en.com), "COM settings");
  EXPECT_EQ(TestPanelTitle(en.info), "Info");
}

TEST_F(WindowsTest, MenuBarHasEveryItemWithItsTextsAndCallbacks) {
  struct Row {
    int id;
    const char* kind;
    const char* de;
    const char* en;
    const char* callback;
  };
  const Row rows[] = {
      {MENUBAR, "menubar", "", "", ""},
      {MENUBAR_MENU, "menu", "Datei", "File", ""},
      {MENUBAR_MENU_NEU, "item", "Neu", "New", "Callback_Menu_Neu"},
      {MENUBAR_MENU_OEFFNEN, "item", "Öffnen", "Open", "Callback_Menu_Oeffnen"},
      {MENUBAR_MENU_SPEICHERN, "item", "Speichern", "Save", "Callback_Menu_Speichern"},
      {MENUBAR_MENU_SPEICHERNUNTER, "item", "Speichern unter", "Save as", "Callback_Menu_SpeichernUnter"},
      {MENUBAR_MENU_SEPARATOR, "separator", "", "", ""},
      {MENUBAR_MENU_BEENDEN, "item", "Beenden", "Exit", "Callback_Menu_Beenden"},
      {MENUBAR_EINSTELLUNGEN, "menu", "Einstellungen", "Settings", ""},
      {MENUBAR_EINSTELLUNGEN_COM, "item", "Com Einstellung", "Com settings", "Callback_Menu_ComEinstellung"},
      {MENUBAR_EINSTELLUNGEN_SPRACHE, "entry", "Sprache", "Language", ""},
      {MENUBAR_EINSTELLUNGEN_SPRACHE_SUBMENU, "submenu", "Sprache", "Language", ""},
      {MENUBAR_EINSTELLUNGEN_SPRACHE_DE, "item", "Deutsch", "Deutsch", "Callback_Menu_Sprache"},
      {MENUBAR_EINSTELLUNGEN_SPRACHE_EN, "item", "English", "English", "Callback_Menu_Sprache"},
      {MENUBAR_HILFE, "menu", "Hilfe", "Help", ""},
      {MENUBAR_HILFE_INFO, "item", "Info", "Info", "Callback_Menu_Info"},
      {MENUBAR_EINSTELLUNGEN_VERLAUF, "item", "Verlauf", "Trend", "Callback_Menu_Verlauf"},
      {MENUBAR_MENU_PRUEFPLAN, "item", "Prüfplan…", "Test plan…", "Callback_Menu_Pruefplan"},
  };
  const int de = LoadPanel(0, kGerman, MAINPANEL);
  const int en = LoadPanel(0, kEnglish, MAINPANEL);
  auto md = TestDescribeMenu(de);
  auto me = TestDescribeMenu(en);
  ASSERT_EQ(md.size(), std::size(rows));
  ASSERT_EQ(me.size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].id);
    EXPECT_EQ(md[i].id, rows[i].id);
    EXPECT_EQ(md[i].kind, rows[i].kind);
    EXPECT_EQ(md[i].text, rows[i].de);
    EXPECT_EQ(me[i].text, rows[i].en);
    EXPECT_EQ(md[i].callback, rows[i].callback);
  }
}

TEST_F(WindowsTest, RingsOfferTheirItemsWithTheirValues) {
  const auto de = loadWindows(kGerman);
  const auto en = loadWindows(kEnglish);
  TestControlInfo pd, pe, kd, ke, port, portEn, addr, baud, endst;
  ASSERT_EQ(TestDescribeControl(de.main, MAINPANEL_PARAMETERSATZAUSWAHL, &pd), 0);
  ASSERT_EQ(TestDescribeControl(en.main, MAINPANEL_PARAMETERSATZAUSWAHL, &pe), 0);
  ASSERT_EQ(pd.ringValues.size(), 17u);
  for (int v = 0; v <= 16; ++v) {
    EXPECT_EQ(pd.ringValues[v], v);
    if (v > 0) {
      EXPECT_EQ(pd.ringItems[v], "Programm " + std::to_string(v));
      EXPECT_EQ(pe.ringItems[v], "Program " + std::to_string(v));
    }
  }
  EXPECT_EQ(pd.ringItems[0], "Arbeitsparameter");
  EXPECT_EQ(pe.ringItems[0], "Working parameters");

  ASSERT_EQ(TestDescribeControl(de.main, MAINPANEL_STROMKURVE, &kd), 0);
  ASSERT_EQ(TestDescribeControl(en.main, MAINPANEL_STROMKURVE, &ke), 0);
  const std::vector<int> curves{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  EXPECT_EQ(kd.ringValues, curves);
  EXPECT_EQ(kd.ringItems, (std::vector<std::string>{
                              "1 - externer Stellwert", "2 - feste Spannung", "3 - Rechteck ungeregelt",
                              "4 - Rechteck geregelt", "5 - Dreieck ungeregelt", "6 - Dreieck geregelt",
                              "7 - Strom 1/2 geregelt, ext. umschaltbar", "8 - Strom 1 geregelt",
                              "9 - Strom 1/2 geregelt, manuell einstellbar",
                              "10 - Dreieck geregelt, Freq. man. einstellbar", "11 - externer Sollwert geregelt",
                              "12 - Kurvengenerator"}));
  EXPECT_EQ(ke.ringItems, (std::vector<std::string>{
                              "1 - External set value", "2 - fixed voltage", "3 - Rectangle not regulated",
                              "4 - Rectangle regulated", "5 - Triangle not regulated", "6 - Triangle regulated",
                              "7 - Current 1/2 regulated, ext. switched", "8 - Current 1 regulated",
                              "9 - Current 1/2 regulated, manually setable",
                              "10 - Triangle regulated,  Freq. man. setable", "11 - External set value regulated",
                              "12 - Curve generator"}));

  ASSERT_EQ(TestDescribeControl(de.main, MAINPANEL_ENDSTUFEREGELN, &endst), 0);
  EXPECT_EQ(endst.ringValues, (std::vector<int>{1, 0}));
  EXPECT_EQ(endst.ringItems, (std::vector<std::string>{"ein", "aus"}));

  ASSERT_EQ(TestDescribeControl(de.com, COMPANEL_PORT, &port), 0);
  ASSERT_EQ(TestDescribeControl(en.com, COMPANEL_PORT, &portEn), 0);
  EXPECT_EQ(port.ringValues, (std::vector<int>{-1, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(port.ringItems.front(), "nicht geöffnet");
  EXPECT_EQ(portEn.ringItems.front(), "not opend");
  EXPECT_EQ(port.ringItems.back(), "COM 8");

  ASSERT_EQ(TestDescribeControl(en.com, COMPANEL_ADRESSE, &addr), 0);
  EXPECT_TRUE(addr.characterValues);
  EXPECT_EQ(addr.ringValues, (std::vector<int>{'1', '2', '3', '4', '5', '6', '7', '8', '&'}));
  EXPECT_EQ(addr.ringItems.back(), "alle");

  ASSERT_EQ(TestDescribeControl(de.com, COMPANEL_BAUDRATE, &baud), 0);
  EXPECT_EQ(baud.ringValues, (std::vector<int>{1200, 2400, 4800, 9600}));
}

TEST_F(WindowsTest, NumericFieldsHaveRangePrecisionAndStartValue) {
  const int main = LoadPanel(0, kGerman, MAINPANEL);
  ASSERT_GT(main, 0);
  struct Row {
    int id;
    double lo, hi, start;
    int precision;
  };
  const Row rows[] = {
      {MAINPANEL_STROM1, 0.001, 4.0, 0.1, 3},    {MAINPANEL_STROM2, 0.001, 4.0, 0.5, 3},
      {MAINPANEL_ZEIT1, 1, 65534, 1000, 0},      {MAINPANEL_ZEIT2, 1, 65534, 1000, 0},
      {MAINPANEL_FREQUENZ, 25, 10000, 1000, 0},  {MAINPANEL_SPANNUNG, 9, 53, 12.0, 1},
      {MAINPANEL_ZYKLEN, 1, 65534, 1, 0},        {MAINPANEL_REGELGESCHWINDIGKEIT, 1, 500, 100, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.id);
    TestControlInfo info;
    ASSERT_EQ(TestDescribeControl(main, r.id, &info), 0);
    EXPECT_DOUBLE_EQ(info.minimum, r.lo);
    EXPECT_DOUBLE_EQ(info.maximum, r.hi);
    EXPECT_DOUBLE_EQ(info.increment, 1.0);
    EXPECT_EQ(info.precision, r.precision);
    double v = -1;
    ASSERT_EQ(GetCtrlVal(main, r.id, &v), 0);
    EXPECT_DOUBLE_EQ(v, r.start);
  }
  TestControlInfo prog, ist, nummer;
  ASSERT_EQ(TestDescribeControl(main, MAINPANEL_EINZUSTELLENDESPROG, &prog), 0);
  EXPECT_TRUE(prog.integer);
  EXPECT_EQ(prog.minimum, 1);
  EXPECT_EQ(prog.maximum, 16);
  int n = 0;
  ASSERT_EQ(GetCtrlVal(main, MAINPANEL_EINZUSTELLENDESPROG, &n), 0);
  EXPECT_EQ(n, 1);
  ASSERT_EQ(TestDescribeControl(main, MAINPANEL_STROMIST, &ist), 0);
  EXPECT_TRUE(ist.indicator);
  EXPECT_EQ(ist.precision, 3);
  ASSERT_EQ(TestDescribeControl(main, MAINPANEL_FEHLERNUMMER, &nummer), 0);
  EXPECT_TRUE(nummer.indicator && nummer.integer);
  int endstufe = -1, toggle = -1, led = -1;
  ASSERT_EQ(GetCtrlVal(main, MAINPANEL_ENDSTUFEREGELN, &endstufe), 0);
  EXPECT_EQ(endstufe, 1);
  ASSERT_EQ(GetCtrlVal(main, MAINPANEL_DAUERNDABFRAGEN, &toggle), 0);
  EXPECT_EQ(toggle, 0);
  ASSERT_EQ(GetCtrlVal(main, MAINPANEL_FEHLERLED, &led), 0);
  EXPECT_EQ(led, 0);
  double interval = 0;
  int enabled = -1;
  ASSERT_EQ(GetCtrlAttribute(main, MAINPANEL_TIMER, ATTR_INTERVAL, &interval), 0);
  EXPECT_DOUBLE_EQ(interval, 0.5);
  ASSERT_EQ(GetCtrlAttribute(main, MAINPANEL_TIMER, ATTR_ENABLED, &enabled), 0);
  EXPECT_EQ(enabled, 0);
}

TEST_F(WindowsTest, InformationDialogCarriesTheSupplierAndPlaceholders) {
  const int info = LoadPanel(0, kEnglish, INFOPANEL);
  ASSERT_GT(info, 0);
  std::string name, address, datum, version, title;
  ASSERT_EQ(GetCtrlString(info, INFOPANEL_TEXTMSG, &name), 0);
  ASSERT_EQ(GetCtrlString(info, INFOPANEL_TEXTMSG_2, &address), 0);
  ASSERT_EQ(GetCtrlString(info, INFOPANEL_DATUM, &datum), 0);
  ASSERT_EQ(GetCtrlString(info, INFOPANEL_VERSION, &version), 0);
  ASSERT_EQ(GetCtrlString(info, INFOPANEL_TEXTMSG_3, &title), 0);
  EXPECT_EQ(name, "OLQ");
  EXPECT_GE(std::count(address.begin(), address.end(), '\n'), 2);
  EXPECT_EQ(datum, "Datum");
  EXPECT_EQ(version, "Version");
  EXPECT_EQ(title, "ZPK-3X Steuerung");
  ASSERT_EQ(SetCtrlVal(info, INFOPANEL_VERSION, "V 1.0.2"), 0);
  ASSERT_EQ(GetCtrlString(info, INFOPANEL_VERSION, &version), 0);
  EXPECT_EQ(version, "V 1.0.2");
}

TEST_F(WindowsTest, LoadingFailsForUnknownResourcesAndUnboundCallbacks) {
  EXPECT_EQ(LoadPanel(0, "other.uir", MAINPANEL), UIE_RESOURCE_NOT_FOUND);
  EXPECT_EQ(LoadPanel(0, nullptr, MAINPANEL), UIE_RESOURCE_NOT_FOUND);
  EXPECT_EQ(LoadPanel(0, kGerman, 99), UIE_RESOURCE_NOT_FOUND);
  EXPECT_EQ(LoadPanel(0, kGerman, 0), UIE_RESOURCE_NOT_FOUND);
  EXPECT_EQ(LoadPanel(9999, kGerman, COMPANEL), UIE_BAD_PANEL_HANDLE);
  // A name given with a directory still names the resource.
  EXPECT_GT(LoadPanel(0, "some/dir/zpk3xSteuerung_en.uir", INFOPANEL), 0);
}

TEST(WindowsUnbound, ACallbackNobodyRegisteredMakesLoadingFail) {
  startToolkit(false);
  TestForgetCallbacks();
  RegisterCtrlCallback("Callback_Button_InfoOk", &ctrlStandIn<0>);
  EXPECT_GT(LoadPanel(0, kGerman, INFOPANEL), 0);
  EXPECT_EQ(LoadPanel(0, kGerman, MAINPANEL), UIE_CALLBACK_NOT_FOUND);
  EXPECT_EQ(LoadPanel(0, kEnglish, COMPANEL), UIE_CALLBACK_NOT_FOUND);
  TestAllowUnboundCallbacks(true);
  EXPECT_GT(LoadPanel(0, kGerman, MAINPANEL), 0);
  TestAllowUnboundCallbacks(false);
}

TEST(WindowsWithoutDisplay, StartingReportsNoPlatformInsteadOfAborting) {
  unsetenv("QT_QPA_PLATFORM");
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  char name[] = "toolkit_tests";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(InitUserInterface(1, argv), 0);
  EXPECT_EQ(LoadPanel(0, kGerman, MAINPANEL), UIE_NO_WINDOW_PLATFORM);
  EXPECT_EQ(RunUserInterface(), UIE_NO_WINDOW_PLATFORM);
  EXPECT_EQ(DisplayPanel(1), UIE_BAD_PANEL_HANDLE);
}

TEST_F(WindowsTest, HandlesAreNeverReusedAndDiscardTakesTheChildAlong) {
  const auto w = loadWindows(kGerman);
  ASSERT_GT(w.main, 0);
  ASSERT_GT(w.com, 0);
  EXPECT_NE(w.main, w.com);
  ASSERT_EQ(DisplayPanel(w.main), 0);
  ASSERT_EQ(DisplayPanel(w.com), 0);
  EXPECT_EQ(TestPanelVisible(w.com), 1);
  ASSERT_EQ(HidePanel(w.main), 0);
  EXPECT_EQ(TestPanelVisible(w.com), 0);  // a child is only seen inside its parent
  ASSERT_EQ(DiscardPanel(w.main), 0);
  int v = 0;
  EXPECT_EQ(GetCtrlVal(w.com, COMPANEL_BAUDRATE, &v), UIE_BAD_PANEL_HANDLE);
  EXPECT_EQ(DiscardPanel(w.main), UIE_BAD_PANEL_HANDLE);
  const int again = LoadPanel(0, kGerman, MAINPANEL);
  EXPECT_GT(again, w.info);
}

// Pictures of every window, to be looked at; also shows that they render.
void grabAll(const char* tag) {
  std::filesystem::create_directories(ZPK3X_SCREENSHOT_DIR);
  for (auto [file, lang] : {std::pair{kGerman, "de"}, {kEnglish, "en"}}) {
    const auto w = loadWindows(file);
    ASSERT_GT(w.main, 0);
    ASSERT_EQ(DisplayPanel(w.main), 0);
    ASSERT_EQ(DisplayPanel(w.com), 0);
    SetCtrlVal(w.main, MAINPANEL_FEHLERLED, 1);
    SetCtrlVal(w.main, MAINPANEL_STATUS8, 1);
    SetCtrlVal(w.main, MAINPANEL_FEHLERSTRING, "Beispieltext einer Fehlermeldung");
    SetCtrlVal(w.main, MAINPANEL_FEHLERNUMMER, -122201);
    SetCtrlVal(w.com, COMPANEL_LED3, 1);
    TestRunEvents(50);
    const std::string dir = ZPK3X_SCREENSHOT_DIR;
    const std::string base = dir + "/" + tag + "_" + lang;
    ASSERT_EQ(TestGrabPanel(w.main, (base + "_main_with_com.png").c_str()), 0);
    HidePanel(w.com);
    ASSERT_EQ(TestGrabPanel(w.main, (base + "_main.png").c_str()), 0);
    ASSERT_EQ(TestGrabPanel(w.com, (base + "_com.png").c_str()), 0);
    ASSERT_EQ(InstallPopup(w.info), 0);
    TestRunEvents(20);
    ASSERT_EQ(TestGrabPanel(w.info, (base + "_info.png").c_str()), 0);
    RemovePopup(0);
    QImage img(QString::fromStdString(base + "_main_with_com.png"));
    ASSERT_FALSE(img.isNull());
    // The operator window with the connection window inside fits a 1366 x 768 screen
    // (checked in device-independent pixels).
    int width = 0, height = 0;
    GetPanelAttribute(w.main, ATTR_WIDTH, &width);
    GetPanelAttribute(w.main, ATTR_HEIGHT, &height);
    EXPECT_LE(width, 1366);
    EXPECT_LE(height, 768 - 40);
    DiscardPanel(w.main);
    DiscardPanel(w.info);
  }
}

TEST(WindowsPictures, EveryWindowInBothLanguages) {
  startToolkit();
  grabAll("100");
}

TEST(WindowsPictures, EveryWindowInBothLanguagesAtDoubleScale) {
  setenv("QT_SCALE_FACTOR", "2", 1);
  startToolkit();
  grabAll("200");
}

// Error area of the operator window and the error popups.
#include <cstdint>
#include <limits>
#include <string>

#include "Com/Com.h"
#include "OLQ_errorV3/OLQ_errorV3.h"
#include "support_ui/ui_fixture.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace {

struct Fehlerbereich {
  int led = -1;
  std::string text = "?";
  int nummer = -1;
};

Fehlerbereich Lesen() {
  Fehlerbereich f;
  GetCtrlVal(gPanelHandle, MAINPANEL_FEHLERLED, &f.led);
  GetCtrlString(gPanelHandle, MAINPANEL_FEHLERSTRING, &f.text);
  GetCtrlVal(gPanelHandle, MAINPANEL_FEHLERNUMMER, &f.nummer);
  return f;
}

bool GueltigesUtf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int folge = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (folge < 0 || i + folge >= s.size()) return false;
    for (int k = 1; k <= folge; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += folge + 1;
  }
  return true;
}

class Fehleranzeige : public uitest::UiTest {};

TEST_F(Fehleranzeige, FehlerbereichZeigtCodeTextUndNummerNullLoeschtIhn) {
  ComFehlerSetzen(-122201);
  Fehlerbereich f = Lesen();
  EXPECT_EQ(f.led, 1);
  EXPECT_EQ(f.text, "Serielle Schnittstelle ist nicht geöffnet");
  EXPECT_EQ(f.nummer, 122201);

  ComFehlerSetzen(0);
  f = Lesen();
  EXPECT_EQ(f.led, 0);
  EXPECT_EQ(f.text, "");
  EXPECT_EQ(f.nummer, 0);

  // Class 6 is not exempt here: the lamp lights with an empty text.
  ComFehlerSetzen(-6123);
  f = Lesen();
  EXPECT_EQ(f.led, 1);
  EXPECT_EQ(f.text, "");
  EXPECT_EQ(f.nummer, 6123);
}

TEST_F(Fehleranzeige, FehlerbereichNimmtDenEinmaltextUndKenntDenKleinstenCode) {
  Sprache(2);
  OLQ_Fehleruserstring("\nmore");
  ComFehlerSetzen(-303107);
  EXPECT_EQ(Lesen().text, "Wrong fileversion\nmore");
  ComFehlerSetzen(-303107);
  EXPECT_EQ(Lesen().text, "Wrong fileversion");

  // Minus the most negative code does not fit an int: the display shows the largest.
  ComFehlerSetzen(std::numeric_limits<ErrorCode>::min());
  const Fehlerbereich f = Lesen();
  EXPECT_EQ(f.led, 1);
  EXPECT_EQ(f.nummer, std::numeric_limits<int>::max());
}

TEST_F(Fehleranzeige, PopupTitelFolgtDerKatalogsprache) {
  OLQ_Fehlerpopup(-302106);
  auto p = TestTakePopups();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].kind, 1);
  EXPECT_EQ(p[0].title, "Fehler #302106");
  EXPECT_EQ(p[0].message, "Die Datei ist nicht vom richtigen Typ");

  // The catalogue's language decides, not the window's.
  OLQ_Fehlersprache(2);
  OLQ_Fehlerpopup(-302106);
  p = TestTakePopups();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].title, "Error #302106");
  EXPECT_EQ(p[0].message, "Wrong filetype");

  OLQ_Fehlerpopup(std::numeric_limits<ErrorCode>::min());
  p = TestTakePopups();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].title, "Error #2147483648");
}

TEST_F(Fehleranzeige, KlasseSechsErscheintNieImPopupUndLaesstDenEinmaltextStehen) {
  OLQ_Fehleruserstring(" (Rest)");
  for (const ErrorCode code : {-6000, -6123, -6999}) {
    OLQ_Fehlerpopup(code);
    OLQ_Fehlerpopup2(code, "Titel");
  }
  EXPECT_TRUE(TestTakePopups().empty());
  EXPECT_STREQ(OLQ_Fehlermeldung(-302106), "Die Datei ist nicht vom richtigen Typ (Rest)");

  OLQ_Fehlerpopup(-5999);
  OLQ_Fehlerpopup(-7000);
  EXPECT_EQ(TestTakePopups().size(), 2u);
}

TEST_F(Fehleranzeige, Popup2HaengtDieNummerAnDenTitelDesAufrufers) {
  OLQ_Fehlersprache(2);
  OLQ_Fehlerpopup2(-101008, "Messung");
  auto p = TestTakePopups();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].title, "Messung #101008");
  EXPECT_EQ(p[0].message, "Error writing to COM Port");

  // Title and suffix share 99 bytes; a longer title is cut between characters.
  std::string lang;
  for (int i = 0; i < 60; ++i) lang += "ä";
  OLQ_Fehlerpopup2(-101008, lang.c_str());
  p = TestTakePopups();
  ASSERT_EQ(p.size(), 1u);
  const std::string& t = p[0].title;
  EXPECT_LE(t.size(), 99u);
  EXPECT_GE(t.size(), 98u);
  EXPECT_EQ(t.substr(t.size() - 8), " #101008");
  EXPECT_TRUE(GueltigesUtf8(t)) << t;
  EXPECT_EQ(t.substr(0, t.size() - 8), lang.substr(0, t.size() - 8));

  // A title that just fits stays whole.
  const std::string passend(91, 'x');
  OLQ_Fehlerpopup2(-101008, passend.c_str());
  p = TestTakePopups();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].title, passend + " #101008");

  OLQ_Fehlerpopup2(std::numeric_limits<ErrorCode>::min(), "T");
  p = TestTakePopups();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].title, "T #2147483648");
}

}  // namespace

// Popups on a real X server are wide enough for their whole title as openbox
// draws it (bold 8 pt, with its icon and three buttons).
#include <QFont>
#include <QFontMetrics>

#include <thread>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "x_fixture.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace {

class XPopup : public xtest::XFenster {
 protected:
  // Shows `zeigen` (blocking until closed) and measures the popup titled `titel`.
  int Breite(const std::string& titel, const std::function<void()>& zeigen) {
    TestPopupAutomation(false);
    int breite = -1;
    std::thread t([&] {
      xtest::Bediener b;
      const QRect r = b.AufFensterWarten(titel, std::chrono::seconds(30));
      breite = r.width();
      // Return closes it once it has the keyboard.
      xtest::WartenBis([&] { return b.HatFokus(b.Kennung(titel)); });
      b.Taste("Return");
    });
    zeigen();
    t.join();
    return breite;
  }
  static int Noetig(const std::string& titel) {
    QFont f(QStringLiteral("DejaVu Sans"), 8, QFont::Bold);
    return QFontMetrics(f).horizontalAdvance(QString::fromStdString(titel)) + 4 * 18 + 16;
  }
};

TEST_F(XPopup, TitelPassenGanzHinein) {
  // The status explanation with no lamp lit stays empty: the title alone sets the width.
  EXPECT_GE(Breite("Prozesstatus", [] { TestOperatorClick(gPanelHandle, MAINPANEL_STATUSINFO); }),
            Noetig("Prozesstatus"));
  Sprache(2);
  Sichtbar(gPanelHandle);
  EXPECT_GE(Breite("Process status", [] { TestOperatorClick(gPanelHandle, MAINPANEL_STATUSINFO); }),
            Noetig("Process status"));
  EXPECT_GE(Breite("Error #302106", [] { OLQ_Fehlerpopup(-302106); }), Noetig("Error #302106"));
}

}  // namespace

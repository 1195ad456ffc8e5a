// What the operator must know stays in view, on a real X server at the font
// resolution ctest sets (QT_FONT_DPI): a refused entry's reason, the actual
// values, the connection settings, the popups and the trend on a small screen,
// the reason a port is refused, how far a broken transfer got, the keyboard after
// a menu closed, and the program's end on "Beenden".
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractAxis>
#include <QChartView>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Com/Com.h"
#include "lauf.h"
#include "ser2net_harness.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_graph.h"
#include "toolkit/toolkit_testing.h"
#include "x_fixture.h"
#include "zpk3xSteuerung/VerlaufFenster.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"

namespace {

using xtest::Bediener;

QMainWindow* Hauptfenster() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* mw = qobject_cast<QMainWindow*>(w); mw && mw->isVisible() && mw->findChild<QWidget*>("STROM1"))
      return mw;
  return nullptr;
}
template <class T = QWidget>
T* Teil(const char* name) {
  QMainWindow* mw = Hauptfenster();
  return mw ? mw->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}
// A widget's rectangle in the X server's pixels.
QRect Geraetepixel(const QWidget* w) {
  const qreal dpr = w->devicePixelRatioF();
  const QPoint o = w->mapToGlobal(QPoint(0, 0));
  return {qRound(o.x() * dpr), qRound(o.y() * dpr), qRound(w->width() * dpr), qRound(w->height() * dpr)};
}
// The part of `w` that its window shows: cut by every scroll area around it.
QRect Gezeigt(const QWidget* w) {
  QRect r(w->mapToGlobal(QPoint(0, 0)), w->size());
  for (const QWidget* a = w->parentWidget(); a; a = a->parentWidget())
    if (auto* s = qobject_cast<const QAbstractScrollArea*>(a))
      r &= QRect(s->viewport()->mapToGlobal(QPoint(0, 0)), s->viewport()->size());
  return r;
}
bool InScrollbereich(const QWidget* w) {
  for (const QWidget* a = w->parentWidget(); a; a = a->parentWidget())
    if (qobject_cast<const QAbstractScrollArea*>(a)) return true;
  return false;
}

// Where to click a control of the operator window: XTest speaks the server's
// pixels, which Qt scales with the font resolution.
QPoint Ziel(const char* name) {
  QWidget* w = Teil(name);
  if (!w) {
    ADD_FAILURE() << "no control " << name;
    return {};
  }
  const qreal dpr = w->devicePixelRatioF();
  const QPoint m = w->mapToGlobal(w->rect().center());
  return {qRound(m.x() * dpr), qRound(m.y() * dpr)};
}

// Every text of the labels and buttons below `oben` is whole: a line no wider
// than its label, a wrapped text no taller, a button's text within the button.
// At a fractional scale Qt rounds sizes to whole window pixels while the text is
// measured in other roundings: a pixel's difference there cuts no character.
void TexteGanz(const QWidget* oben) {
  for (const QLabel* l : oben->findChildren<QLabel*>()) {
    if (!l->isVisible() || l->text().isEmpty()) continue;
    const QRect innen = l->contentsRect();
    const qreal dpr = l->devicePixelRatioF();
    const int spiel = dpr == std::floor(dpr) ? 0 : 1;
    if (l->wordWrap()) {
      EXPECT_LE(l->heightForWidth(l->width()), l->height() + spiel)
          << l->objectName().toStdString() << ": " << l->text().toStdString();
      continue;
    }
    for (const QString& zeile : l->text().split(QLatin1Char('\n')))
      EXPECT_LE(l->fontMetrics().horizontalAdvance(zeile), innen.width() + spiel)
          << l->objectName().toStdString() << ": " << zeile.toStdString();
  }
  for (const QAbstractButton* k : oben->findChildren<QAbstractButton*>()) {
    if (!k->isVisible() || k->text().isEmpty()) continue;
    EXPECT_LE(k->sizeHint().width(), k->width()) << k->objectName().toStdString() << ": " << k->text().toStdString();
  }
}

using XSicht = xtest::XFenster;

// "77" in Strom 2 while the continuous query runs: its answers clear the error
// area, but the reason stays written in a line of its own, whole, for the keyboard
// operator and the screen reader, until a good entry replaces it. In both editions.
TEST_F(XSicht, AbgelehnteEingabeBleibtErklaert) {
  for (const int sprache : {1, 2}) {
    SCOPED_TRACE(sprache == 2 ? "English" : "Deutsch");
    if (sprache == 2) {
      Sprache(2);
      Sichtbar(gPanelHandle);
    }
    simtest::Simulator sim;
    ASSERT_TRUE(sim.ok());
    Verbinden(sim);
    const QPoint dauernd = Ziel("DAUERNDABFRAGEN"), strom2 = Ziel("STROM2");
    auto* zeile = Teil<QLabel>("ABLEHNUNG");
    ASSERT_NE(zeile, nullptr);
    Bedienen([&](Bediener& b) {
      b.Klicken(dauernd);
      ASSERT_TRUE(FeldWaehlen(b, strom2, "STROM2"));
      b.Tippen("77");
      b.Taste("Tab");
      // Refused, and a query answered after that has cleared the error area.
      EXPECT_TRUE(ImProgrammWarten([&] { return zeile->isVisible() && lauf::Text(MAINPANEL_FEHLERSTRING).empty(); }));
    }, 0);
    EXPECT_EQ(lauf::Ganzzahl(MAINPANEL_DAUERNDABFRAGEN), 1);
    EXPECT_EQ(lauf::Text(MAINPANEL_FEHLERSTRING), "") << "the query's answers clear the error area";
    const std::string grund = zeile->text().toStdString();
    EXPECT_TRUE(zeile->isVisible());
    EXPECT_NE(grund.find(sprache == 2 ? "Current 2 [A]: Entry refused: allowed range"
                                      : "Strom 2 [A]: Eingabe abgelehnt: erlaubter Bereich"),
              std::string::npos)
        << grund;
    EXPECT_EQ(Teil("STROM2")->accessibleDescription().toStdString(), grund);
    // Whole: the wrapped text needs no more height than it has, and it lies on the screen.
    EXPECT_LE(zeile->heightForWidth(zeile->width()), zeile->height());
    EXPECT_EQ(Gezeigt(zeile), QRect(zeile->mapToGlobal(QPoint(0, 0)), zeile->size()));
    EXPECT_TRUE(QRect(QPoint(0, 0), Bildschirm()).contains(Geraetepixel(zeile)));

    const QPoint feld = Ziel("STROM2");
    Bedienen([&](Bediener& b) {
      ASSERT_TRUE(FeldWaehlen(b, feld, "STROM2"));
      b.Tippen("3");
      EXPECT_TRUE(Gedrueckt(b, "Tab"));
    }, 0);
    EXPECT_FALSE(zeile->isVisible()) << zeile->text().toStdString();
    EXPECT_EQ(Teil("STROM2")->accessibleDescription().toStdString(), "");
  }
}

// A refused port says why on a click on the picture, in the window's language:
// a name with an unknown or broken prefix and a missing device are no device, a
// server that refuses says so.
TEST_F(XSicht, VerweigerterPortNenntDenGrund) {
  const std::string url = "tcp://127.0.0.1:" + std::to_string(nettest::FreePort());
  const std::string fehlt = Pfad("kein/geraet");
  for (const int sprache : {1, 2}) {
    SCOPED_TRACE(sprache == 2 ? "English" : "Deutsch");
    if (sprache == 2) {
      Sprache(2);
      Sichtbar(gPanelHandle);
    }
    const bool en = sprache == 2;
    const std::string keins = en ? ": no such device" : ": Gerät nicht vorhanden";
    const std::pair<std::string, std::string> faelle[] = {
        {"foo://127.0.0.1:2000", "foo://127.0.0.1:2000" + keins},
        {"tcp:/127.0.0.1:47299", "tcp:/127.0.0.1:47299" + keins},
        {fehlt, fehlt + keins},
        {url, url + (en ? ": connection refused" : ": Verbindung abgewiesen")},
    };
    for (const auto& [name, grund] : faelle) {
      SCOPED_TRACE(name);
      ::setenv("ZPK3X_COM1", name.c_str(), 1);
      gCom.port = 1;
      ComPortOeffnen();
      ComEinstellungenAusStrukturInGui();
      ComFehlerSetzen(0);
      const QPoint bild = Ziel("COMPICTURERING");
      // Handled once the program has the click; the 700 ms after it are the pause
      // that keeps the next case's click from being a double click.
      Bedienen([&](Bediener& b) { EXPECT_TRUE(Bedient(b, bild)); }, 700);
      EXPECT_EQ(lauf::Text(MAINPANEL_FEHLERSTRING),
                (en ? "Error opening com-port: " : "Fehler beim öffnen der seriellen Schnittstelle: ") + grund);
      EXPECT_EQ(Teil("FEHLERSTRING")->toolTip().toStdString(), lauf::Text(MAINPANEL_FEHLERSTRING));
    }
  }
  ::unsetenv("ZPK3X_COM1");
}

// "write all" broken off by the device server's end: the error area says
// which programs are stored, in the window's language.
TEST_F(XSicht, AbgebrochenesSchreibenSagtWieWeit) {
  for (const int sprache : {1, 2}) {
    SCOPED_TRACE(sprache == 2 ? "English" : "Deutsch");
    if (sprache == 2) {
      Sprache(2);
      Sichtbar(gPanelHandle);
    }
    simtest::SimOptions gemaechlich;  // at the line's pace, so the server ends within a frame
    gemaechlich.pace = true;
    simtest::Simulator sim(gemaechlich);
    nettest::Ser2net server(sim.ptyPath());
    ASSERT_TRUE(sim.ok() && server.ok());
    ::setenv("ZPK3X_COM1", server.rawUrl().c_str(), 1);
    gCom.port = 1;
    ASSERT_EQ(ComPortOeffnen(), 0);
    ComEinstellungenAusStrukturInGui();
    TestQueueGenericAnswer(2);  // "alle"
    const std::string stand =
        sprache == 2 ? ": programs 1 to 3 stored; program 4 " : ": Programme 1 bis 3 gespeichert; Programm 4 ";
    const QPoint schreiben = Ziel("ZPK3SCHREIBEN");
    Bedienen([&](Bediener& b) {
      b.Klicken(schreiben);
      ASSERT_TRUE(AufRahmenWarten(sim, 3 * 11 + 4, 20000));  // in the fourth program
      server.kill();
      EXPECT_TRUE(ImProgrammWarten([&] { return lauf::Text(MAINPANEL_FEHLERSTRING).find(stand) != std::string::npos; }));
    }, 0);
    EXPECT_NE(lauf::Ganzzahl(MAINPANEL_FEHLERNUMMER), 0);
    const std::string text = lauf::Text(MAINPANEL_FEHLERSTRING);
    EXPECT_NE(text.find(stand), std::string::npos) << text;
  }
  ::unsetenv("ZPK3X_COM1");
}

// A menu opened with the mouse and closed with Escape gives the keyboard back to
// the field that had it: Tab then moves on at once, without more Escapes to
// leave the menu bar.
TEST_F(XSicht, NachDemMenuGehtTabWeiter) {
  const QPoint strom1 = Mitte("STROM1");
  QWidget* leiste = Hauptfenster()->menuWidget();
  ASSERT_NE(leiste, nullptr);
  const QPoint datei = leiste->mapToGlobal(QPoint(20, leiste->height() / 2));
  const auto fenster = static_cast<unsigned long>(Hauptfenster()->winId());
  Bedienen([&](Bediener& b) {
    b.Klicken(strom1);
    ASSERT_TRUE(ImProgrammWarten([] { return FokusIn("STROM1"); }));
    b.Klicken(datei);
    // Escape only once the menu is open and holds the keyboard, Tab only once
    // it is closed again, as an operator who sees the screen presses them.
    unsigned long popup = 0;
    ASSERT_TRUE(ImProgrammWarten([&] { return MenueOffen("MENUBAR_MENU", &popup); })) << "the menu opened";
    ASSERT_TRUE(xtest::WartenBis([&] { return b.Abgebildet(popup); }));
    ASSERT_TRUE(b.TastaturGegriffen()) << "the open menu holds the keyboard";
    b.Taste("Escape");
    ASSERT_TRUE(ImProgrammWarten([] { return QApplication::activePopupWidget() == nullptr; })) << "the menu closed";
    ASSERT_TRUE(xtest::WartenBis([&] { return !b.Abgebildet(popup) && b.HatFokus(fenster); }));
    b.Taste("Tab");
  }, 300);
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), "STROM2");
}

// "Beenden" chosen with the keyboard in the real program, on this X server: the
// process ends, with status 0, without anything more from the operator.
TEST_F(XSicht, BeendenEndetDenProzessSofort) {
  // This process's own window has the same title: out of the way first.
  const std::string titel = Hauptfenster()->windowTitle().toStdString();
  HidePanel(gPanelHandle);
  Bediener b;
  ASSERT_TRUE(ImProgrammWarten([&] { return b.Kennung(titel) == 0; }));
  const std::string ordner = Arbeitsverzeichnis();
  const pid_t kind = ::fork();
  if (kind == 0) {
    if (::chdir(ordner.c_str()) == 0) ::execl(ZPK3X_PROGRAMM, ZPK3X_PROGRAMM, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ASSERT_GT(kind, 0);
  int status = -1;
  auto weg = [&] { return ::waitpid(kind, &status, WNOHANG) == kind; };
  const bool bereit = !b.AufFensterWarten(titel, std::chrono::seconds(30)).isEmpty() &&
                      xtest::WartenBis([&] { return b.HatFokus(b.Kennung(titel)); });
  bool offen = false;
  if (bereit) {
    b.Taste("d", false, true);  // "Datei"
    offen = xtest::WartenBis([&] { return b.TastaturGegriffen(); }, std::chrono::seconds(10));
  }
  double ms = -1;
  if (offen) {
    const auto gewaehlt = std::chrono::steady_clock::now();
    b.Taste("b");  // "Beenden"
    if (xtest::WartenBis(weg, std::chrono::seconds(5)))
      ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - gewaehlt).count();
  }
  if (ms < 0 && !weg()) {
    ::kill(kind, SIGKILL);
    ::waitpid(kind, &status, 0);
  }
  ASSERT_TRUE(bereit) << "the program's window shown and holding the keyboard";
  ASSERT_TRUE(offen) << "the menu opened";
  ASSERT_GE(ms, 0) << "the process ended";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  // How fast is the benchmark's to say (bench/zpk3xSteuerung_beenden.cpp); a
  // slower build only takes longer here.
  RecordProperty("ms", static_cast<int>(ms));
}

// The screen decides: where the window does not fit, only the program and
// parameter areas scroll, and what the operator watches stays whole on the
// screen; where it fits, nothing scrolls and every label's text is whole.
// In both editions: the English texts are of other lengths.
class XSchirm : public xtest::XFenster, public ::testing::WithParamInterface<int> {
 protected:
  QSize Bildschirm() const override {
    const char* s = std::getenv("ZPK3X_TEST_SCHIRM");  // "1024x600"
    int b = 0, h = 0;
    if (s && std::sscanf(s, "%dx%d", &b, &h) == 2) return {b, h};
    return {1024, 600};
  }
  void SetUp() override {
    XFenster::SetUp();
    if (IsSkipped() || HasFatalFailure() || GetParam() == 1) return;
    Sprache(GetParam());
    Sichtbar(gPanelHandle);
  }
  // Where a screenshot of `was` on this screen, at this font size and in this edition goes.
  std::string Bildname(const std::string& was) const {
    const char* dpi = std::getenv("QT_FONT_DPI");
    return Bildpfad("x11_" + was + "_" + std::to_string(Bildschirm().width()) + "x" +
                    std::to_string(Bildschirm().height()) + "_" + (dpi ? dpi : "96") + "dpi" +
                    (GetParam() == 2 ? "_en" : "_de") + ".png");
  }
  // Whether a field the keyboard reached lies whole in view and on the screen.
  static std::string Verdeckt(const QWidget* w) {
    if (!w) return "no keyboard focus";
    const QRect ganz(w->mapToGlobal(QPoint(0, 0)), w->size());
    const QRect schirm(QPoint(0, 0), QGuiApplication::primaryScreen()->geometry().size());
    if (Gezeigt(w) == ganz && schirm.contains(ganz)) return "";
    return w->objectName().toStdString() + " cut: shown " + std::to_string(Gezeigt(w).width()) + "x" +
           std::to_string(Gezeigt(w).height()) + " of " + std::to_string(ganz.width()) + "x" +
           std::to_string(ganz.height()) + " at " + std::to_string(ganz.x()) + "," + std::to_string(ganz.y());
  }
};

TEST_P(XSchirm, WasDerBedienerBeobachtetBleibtGanz) {
  QMainWindow* mw = Hauptfenster();
  ASSERT_NE(mw, nullptr);
  const QRect schirm(QPoint(0, 0), Bildschirm());
  const QSize natuerlich = mw->sizeHint();
  const bool passt = mw->width() >= natuerlich.width() && mw->height() >= natuerlich.height();
  for (const char* name : {"DECORATION_4", "STROMIST", "SPANNUNGIST", "ABFRAGEN", "DAUERNDABFRAGEN", "VERLAUF",
                           "DECORATION_6", "STATUS0", "STATUS13", "STATUSINFO", "COMPICTURERING", "FEHLERLED",
                           "FEHLERSTRING", "FEHLERNUMMER"}) {
    SCOPED_TRACE(name);
    QWidget* w = Teil(name);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(InScrollbereich(w)) << "it does not scroll";
    EXPECT_EQ(Gezeigt(w), QRect(w->mapToGlobal(QPoint(0, 0)), w->size()));
    EXPECT_TRUE(schirm.contains(Geraetepixel(w)));
    EXPECT_TRUE(mw->rect().contains(QRect(w->mapTo(mw, QPoint(0, 0)), w->size())));
  }
  {
    Bediener b;
    b.Bild(b.MitRahmen(static_cast<unsigned long>(mw->winId()), Geraetepixel(mw)))
        .save(QString::fromStdString(Bildname("fenster")));
  }
  // The trend window opens where it leaves the query's switch and the error
  // line free, and where the screen has room, the actual values too.
  ASSERT_EQ(VerlaufOeffnen(), 0);
  Sichtbar(gVerlaufPanelHandle);
  QWidget* verlauf = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->findChild<QWidget*>(QStringLiteral("AUFZEICHNEN"))) verlauf = w;
  ASSERT_NE(verlauf, nullptr);
  {
    Bediener b;
    const QRect rahmen = b.MitRahmen(static_cast<unsigned long>(verlauf->winId()), Geraetepixel(verlauf));
    EXPECT_TRUE(schirm.contains(rahmen));
    std::vector<const char*> frei = {"STROMIST", "SPANNUNGIST", "DAUERNDABFRAGEN", "FEHLERSTRING", "FEHLERNUMMER"};
    if (schirm.width() >= 1366) frei.push_back("DECORATION_4");
    for (const char* name : frei) EXPECT_FALSE(rahmen.intersects(Geraetepixel(Teil(name)))) << name;
  }
  VerlaufBeenden();
  TestRunEvents(100);
  int balken = 0;
  for (QScrollBar* s : mw->findChildren<QScrollBar*>()) balken += s->isVisible();
  TexteGanz(mw);
  if (passt) {
    EXPECT_EQ(balken, 0) << "the window fits: nothing scrolls";
    return;
  }
  // Short of room: the program and parameter areas scroll, and the field the
  // keyboard reaches is brought into view.
  QWidget* feld = Teil("REGELGESCHWINDIGKEIT");
  ASSERT_TRUE(InScrollbereich(feld));
  EXPECT_TRUE(InScrollbereich(Teil("PARAMETERSATZAUSWAHL")));
  Teil("ZYKLEN")->setFocus();
  Bedienen([&](Bediener& b) { EXPECT_TRUE(Gedrueckt(b, "Tab")); }, 0);
  EXPECT_EQ(QApplication::focusWidget(), feld);
  const QRect ganz(feld->mapToGlobal(QPoint(0, 0)), feld->size());
  EXPECT_EQ(Gezeigt(feld), ganz) << "the focused field is in view: " << Gezeigt(feld).x() << "," << Gezeigt(feld).y()
                                 << " " << Gezeigt(feld).width() << "x" << Gezeigt(feld).height() << " of " << ganz.x()
                                 << "," << ganz.y() << " " << ganz.width() << "x" << ganz.height();
}

// The connection settings open inside the operator window: whole on the screen
// with every text, and each control the keyboard reaches is brought into view;
// where the window has room, they do not scroll.
TEST_P(XSchirm, DieVerbindungseinstellungenPassen) {
  QMainWindow* mw = Hauptfenster();
  ASSERT_NE(mw, nullptr);
  const bool passt = mw->width() >= mw->sizeHint().width() && mw->height() >= mw->sizeHint().height();
  ASSERT_EQ(DisplayPanel(gCompanelHandle), 0);
  QWidget* form = Teil("COMPANEL");
  ASSERT_NE(form, nullptr);
  QWidget* rahmen = form;  // the child window around the form
  while (rahmen->parentWidget() && !rahmen->parentWidget()->isAncestorOf(Teil("STROM1")))
    rahmen = rahmen->parentWidget();
  ASSERT_TRUE(ImProgrammWarten(
      [&] { return rahmen->isVisible() && FokusIn("COMPANEL") && mw->windowHandle()->isExposed(); }));
  EXPECT_TRUE(QRect(QPoint(0, 0), Bildschirm()).contains(Geraetepixel(rahmen)));
  EXPECT_TRUE(mw->rect().contains(QRect(rahmen->mapTo(mw, QPoint(0, 0)), rahmen->size())));
  TexteGanz(rahmen);
  if (passt) {
    for (QScrollBar* s : rahmen->findChildren<QScrollBar*>()) EXPECT_FALSE(s->isVisible()) << "nothing scrolls";
  }
  // Through all its controls with Tab, as a keyboard operator goes.
  int stationen = 0;
  for (QWidget* w : form->findChildren<QWidget*>())
    stationen += w->isVisible() && (w->focusPolicy() & Qt::TabFocus) != 0;
  ASSERT_GT(stationen, 3);
  EXPECT_EQ(Verdeckt(QApplication::focusWidget()), "");
  for (int i = 0; i < stationen; ++i) {
    QWidget* vorher = QApplication::focusWidget();
    Bedienen([&](Bediener& b) {
      b.Taste("Tab");
      ASSERT_TRUE(ImProgrammWarten([&] { return QApplication::focusWidget() != vorher; }));
    }, 0);
    QWidget* jetzt = QApplication::focusWidget();
    if (!jetzt || !form->isAncestorOf(jetzt)) break;  // on into the operator window
    EXPECT_EQ(Verdeckt(jetzt), "") << "after " << i + 1 << " Tab";
  }
  Bediener b;
  b.Bild(QRect(QPoint(0, 0), Bildschirm())).save(QString::fromStdString(Bildname("com")));
}

// The message and choice popups the operator meets: on the screen with their
// frame, every text whole, and the button holding the keyboard in view.
TEST_P(XSchirm, DiePopupsPassen) {
  simtest::Simulator sim;
  ASSERT_TRUE(sim.ok());
  Verbinden(sim);
  // Every lamp lit: the status explanation at its longest.
  for (int lampe : {MAINPANEL_STATUS0, MAINPANEL_STATUS1, MAINPANEL_STATUS3, MAINPANEL_STATUS4, MAINPANEL_STATUS8,
                    MAINPANEL_STATUS9, MAINPANEL_STATUS11, MAINPANEL_STATUS13})
    SetCtrlVal(gPanelHandle, lampe, 1);
  TestPopupAutomation(false);
  const QRect schirm(QPoint(0, 0), Bildschirm());
  for (const bool auswahl : {false, true}) {
    SCOPED_TRACE(auswahl ? "choice popup" : "message popup");
    // The status explanation and the write's question, as their buttons ask them.
    QTimer::singleShot(0, qApp, [auswahl] {
      if (auswahl) Zpk3ProgrammeSchreiben();
      else TestOperatorClick(gPanelHandle, MAINPANEL_STATUSINFO);
    });
    QRect innen;
    unsigned long fenster = 0;
    std::string texte;
    Bedienen([&](Bediener& b) {
      ASSERT_TRUE(ImProgrammWarten([&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->windowHandle() || !box->windowHandle()->isExposed()) return false;
        innen = Geraetepixel(box);
        fenster = static_cast<unsigned long>(box->winId());
        return true;
      })) << "the popup opened";
      ASSERT_TRUE(xtest::WartenBis([&] { return b.Gerahmt(fenster) && b.HatFokus(fenster); }))
          << "framed and holding the keyboard";
      const QRect mitRahmen = b.MitRahmen(fenster, innen);
      EXPECT_TRUE(schirm.contains(mitRahmen)) << mitRahmen.x() << "," << mitRahmen.y() << " " << mitRahmen.width()
                                              << "x" << mitRahmen.height();
      ASSERT_TRUE(ImProgrammWarten([&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return false;
        // Texts and focus looked at where they are drawn, in the program's thread.
        TexteGanz(box);
        texte = box->text().toStdString();
        QWidget* fokus = QApplication::focusWidget();
        EXPECT_TRUE(fokus && box->isAncestorOf(fokus) && qobject_cast<QAbstractButton*>(fokus))
            << "a button has the keyboard";
        EXPECT_EQ(Verdeckt(fokus), "");
        EXPECT_TRUE(fokus && fokus->hasFocus());
        return true;
      }));
      b.Bild(schirm).save(QString::fromStdString(Bildname(auswahl ? "auswahl" : "meldung")));
      b.Taste("Escape");  // the message's OK, the question's "abbrechen"
      ASSERT_TRUE(ImProgrammWarten([] { return QApplication::activeModalWidget() == nullptr; })) << "closed";
    }, 100);
    EXPECT_FALSE(texte.empty());
  }
  EXPECT_EQ(sim.frames().size(), 0u) << "the question cancelled: nothing written";
}

// The trend window at the size it opens with on this screen: marks 0.6 s apart
// and two faults in one query each named whole, above the plot and apart, and a
// zero current drawn under a zero voltage, as the screen shows them.
TEST_P(XSchirm, VerlaufMarkenLesbarUndNullstromSichtbar) {
  static std::int64_t uhr;
  uhr = 1796648601500;
  VerlaufUhrSetzen([] { return uhr; });
  VerlaufCallbacksRegistrieren();  // its ring and buttons act, as in the program
  ASSERT_EQ(VerlaufOeffnen(), 0);
  Sichtbar(gVerlaufPanelHandle);
  ASSERT_EQ(TestOperatorClick(gVerlaufPanelHandle, VERLAUFPANEL_LEEREN), 0);  // what earlier cases left
  ASSERT_EQ(TestOperatorSetValue(gVerlaufPanelHandle, VERLAUFPANEL_ZEITFENSTER, 60), 0);
  const std::int64_t nullAb = uhr;
  for (int i = 0; i < 20; ++i, uhr += 500) VerlaufAbfrage(0, 0.0, 0.0, 0);
  const std::int64_t nullBis = uhr - 500;
  for (const int status : {0, 0x1, 0x3, 0x3, 0x1B, 0x1B}) {
    VerlaufAbfrage(0, 1.5, 24.0, status);
    uhr += 600;
  }
  VerlaufNeuzeichnen();
  QWidget* graph = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* g = w->isVisible() ? w->findChild<QWidget*>(QStringLiteral("GRAPH")) : nullptr) graph = g;
  ASSERT_NE(graph, nullptr);
  graph->repaint();
  QGuiApplication::sync();

  std::vector<GraphLabelBox> marken(16);
  const int n = GetGraphMarkLabels(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, marken.data(), 16);
  marken.resize(static_cast<std::size_t>(std::max(0, n)));
  GraphLabelBox plot{};
  ASSERT_EQ(GetGraphPlotRect(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, &plot), 0);
  // Marks close in time may share a label: every event named once over all of them.
  std::vector<std::string> namen;
  for (std::size_t i = 0; i < marken.size(); ++i) {
    const GraphLabelBox& m = marken[i];
    for (const QString& name : QString::fromStdString(m.text).split(QStringLiteral(", ")))
      namen.push_back(name.toStdString());
    EXPECT_LE(m.bottom, plot.top) << m.text << ": over the plot";
    EXPECT_TRUE(m.left >= 0 && m.right <= graph->width()) << m.text;
    for (std::size_t j = i + 1; j < marken.size(); ++j)
      EXPECT_FALSE(m.left < marken[j].right && marken[j].left < m.right && m.top < marken[j].bottom &&
                   marken[j].top < m.bottom)
          << m.text << " over " << marken[j].text;
  }
  std::sort(namen.begin(), namen.end());
  const std::vector<std::string> erwartet =
      GetParam() == 2 ? std::vector<std::string>{"Inside temperature too high", "Invalid calibration",
                                                 "Parameters destroyed", "Voltage out of tolerance"}
                      : std::vector<std::string>{"Innentemperatur zu hoch", "Kalibrierung ungültig",
                                                 "Parameter zerstört", "Prüfspannung außerhalb der Toleranz"};
  EXPECT_EQ(namen, erwartet);
  // The value axes' titles whole along the plot's height, which the chart would cut.
  auto* sicht = qobject_cast<QChartView*>(graph);
  ASSERT_NE(sicht, nullptr);
  for (QAbstractAxis* a : sicht->chart()->axes(Qt::Vertical))
    EXPECT_LE(QFontMetricsF(a->titleFont()).horizontalAdvance(a->titleText()), sicht->chart()->plotArea().height())
        << a->titleText().toStdString();

  // Where only zeros were read, the screen shows both curves' colours.
  double von = 0, bis = 0;
  ASSERT_EQ(GetGraphTimeRange(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, &von, &bis), 0);
  auto spalte = [&](double t) { return plot.left + (t - von) / (bis - von) * (plot.right - plot.left); };
  const qreal dpr = graph->devicePixelRatioF();
  const QPoint o = graph->mapToGlobal(QPoint(0, 0));
  const int links = qRound((o.x() + spalte(static_cast<double>(nullAb)) + 2) * dpr);
  const int rechts = qRound((o.x() + spalte(static_cast<double>(nullBis)) - 2) * dpr);
  const int oben = qRound((o.y() + plot.top) * dpr), unten = qRound((o.y() + plot.bottom) * dpr);
  ASSERT_GT(rechts - links, 10) << "the zeros span some columns: " << von << " to " << bis << ", plot " << plot.left
                                << " to " << plot.right;
  Bediener b;
  const QImage bild =
      b.Bild(QRect(links, oben, rechts - links, unten - oben + 2)).convertToFormat(QImage::Format_RGB32);
  // Columns with each curve's colour, in either half of the stretch: the voltage's
  // dashes leave the current's line to be seen between them.
  int strom[2] = {0, 0}, spannung[2] = {0, 0};
  for (int x = 0; x < bild.width(); ++x) {
    bool s = false, u = false;
    for (int y = 0; y < bild.height(); ++y) {
      s |= (bild.pixel(x, y) & 0xFFFFFF) == 0x1F5FBF;
      u |= (bild.pixel(x, y) & 0xFFFFFF) == 0xC02020;
    }
    strom[2 * x / bild.width()] += s;
    spannung[2 * x / bild.width()] += u;
  }
  for (int h : {0, 1}) {
    EXPECT_GE(strom[h], bild.width() / 10)
        << "the current's colour in half " << h << " of " << bild.width() << " columns";
    EXPECT_GE(spannung[h], bild.width() / 10) << "the voltage's colour in half " << h;
  }
  b.Bild(QRect(QPoint(0, 0), Bildschirm())).save(QString::fromStdString(Bildname("verlauf_marken")));
  VerlaufBeenden();
  VerlaufUhrSetzen(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Sprachen, XSchirm, ::testing::Values(1, 2), [](const ::testing::TestParamInfo<int>& i) {
  return std::string(i.param == 2 ? "Englisch" : "Deutsch");
});

}  // namespace

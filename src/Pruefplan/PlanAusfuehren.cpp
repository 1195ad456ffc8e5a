// Running a plan: each step on the device, each measurement judged against its
// limits, and the device brought to rest whenever the run ends early.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "Programmformate/Programmdateien.h"
#include "Programmformate/Programmformate.h"
#include "Pruefplan/Aufzeichnung.h"
#include "Pruefplan/Pruefplan.h"
#include "Verlauf/VerlaufDaten.h"
#include "olqzpk3x/olqzpk3x.h"

// ---- the line through Programmtransfer ----
ErrorCode Leitungsgeraet::Kennung(std::string* kennung) {
  char text[32] = {};
  const ErrorCode err = OLQZPK3X_IDLesen(g_.port, g_.adresse, text);
  text[sizeof text - 1] = '\0';
  if (err == 0) *kennung = text;
  return err;
}

ErrorCode Leitungsgeraet::Schreiben(int n, const ProgramRecord& rec) {
  Transferbericht b;
  b.abbrechen = abbrechen_;
  return ProgrammSchreiben(g_, n, &rec, &b);
}

ErrorCode Leitungsgeraet::Lesen(int n, ProgramRecord* rec) {
  Transferbericht b;
  b.abbrechen = abbrechen_;
  return ProgrammLesen(g_, n, rec, &b);
}

ErrorCode Leitungsgeraet::Laden(int n) { return ProgrammnummerSenden(g_, "programmladen", n); }
ErrorCode Leitungsgeraet::Funktion(const char* funktion) { return GeraetefunktionSenden(g_, funktion); }
ErrorCode Leitungsgeraet::IstwerteLesen(Istwerte* w) { return ::IstwerteLesen(g_, w); }
std::string Leitungsgeraet::Meldung(ErrorCode code) { return OLQ_Fehlermeldung(code); }

// ---- outcomes ----
const char* AusgangText(Ausgang a) {
  switch (a) {
    case Ausgang::Pass: return "PASS";
    case Ausgang::Fail: return "FAIL";
    case Ausgang::Error: return "ERROR";
    case Ausgang::Aborted: return "ABORTED";
    case Ausgang::Skipped: break;
  }
  return "SKIPPED";
}

Ausgang Schlechter(Ausgang a, Ausgang b) {
  auto rang = [](Ausgang x) {
    switch (x) {
      case Ausgang::Skipped: return 0;
      case Ausgang::Pass: return 1;
      case Ausgang::Fail: return 2;
      case Ausgang::Error: return 3;
      case Ausgang::Aborted: return 4;
    }
    return 0;
  };
  return rang(a) >= rang(b) ? a : b;
}

namespace {

using Uhr = std::chrono::steady_clock;

class Lauf {
 public:
  Lauf(const Pruefplan& plan, Pruefgeraet& g, const Laufangaben& a) : plan_(plan), g_(g), a_(a) {}

  const char* T(const char* de, const char* en) const { return a_.englisch ? en : de; }

  bool Abbruch() const { return a_.abbrechen && a_.abbrechen(); }

  // Waits until `bis`, in short slices so that an abort is seen at once.
  bool WartenBis(Uhr::time_point bis) const {
    while (Uhr::now() < bis) {
      if (Abbruch()) return false;
      std::this_thread::sleep_for(std::min<Uhr::duration>(bis - Uhr::now(), std::chrono::milliseconds(20)));
    }
    return !Abbruch();
  }

  void Geraetefehler(Schrittergebnis* e, ErrorCode code, const std::string& was) {
    e->ausgang = code == PRUEF_ABGEBROCHEN || code == TRANSFER_ABGEBROCHEN ? Ausgang::Aborted : Ausgang::Error;
    e->code = code;
    std::string meldung = e->ausgang == Ausgang::Aborted ? std::string(T("abgebrochen", "aborted")) : g_.Meldung(code);
    std::replace(meldung.begin(), meldung.end(), '\n', ' ');
    // The catalogue's code and text first, where it happened after.
    e->grund = std::to_string(code) + " " + meldung + " (" + was + ")";
  }

  void Schreiben(const Schritt& s, Schrittergebnis* e) {
    if (ErrorCode err = g_.Schreiben(s.programm, s.satz); err != 0) return Geraetefehler(e, err, T("schreiben", "write"));
    // Success rests on what the device keeps, not on its acknowledgements.
    ProgramRecord zurueck = s.satz;
    if (ErrorCode err = g_.Lesen(s.programm, &zurueck); err != 0) return Geraetefehler(e, err, T("zurücklesen", "read back"));
    for (const Programmfeld& f : PROGRAMMFELDER) {
      if (Gesendet(FeldWert(s.satz, f), f.nachkommastellen) == Gesendet(FeldWert(zurueck, f), f.nachkommastellen)) continue;
      e->ausgang = Ausgang::Error;
      e->code = ANDERES_GESPEICHERT;
      std::string detail = NachpruefDetail(s.programm, f, s.satz, zurueck);
      if (!detail.empty() && detail[0] == '\n') detail.erase(0, 1);
      e->grund = std::to_string(ANDERES_GESPEICHERT) + " " + g_.Meldung(ANDERES_GESPEICHERT) + ": " + detail;
      std::replace(e->grund.begin(), e->grund.end(), '\n', ' ');
      return;
    }
  }

  void Messen(int index, const Schritt& s, Schrittergebnis* e) {
    if (!WartenBis(Uhr::now() + std::chrono::duration_cast<Uhr::duration>(std::chrono::duration<double>(s.einschwingen))))
      return Geraetefehler(e, PRUEF_ABGEBROCHEN, T("einschwingen", "settle"));
    const auto anfang = Uhr::now();
    const auto intervall = std::chrono::duration_cast<Uhr::duration>(std::chrono::duration<double>(s.intervall));
    const auto dauer = std::chrono::duration_cast<Uhr::duration>(std::chrono::duration<double>(s.dauer));
    auto naechste = anfang;
    e->proben.reserve(static_cast<std::size_t>(std::min(1e5, s.dauer / s.intervall + 1)));
    while (e->proben.empty() || naechste - anfang < dauer) {
      if (Abbruch()) return Geraetefehler(e, PRUEF_ABGEBROCHEN, T("messen", "measure"));
      Istwerte w{};
      Probe p;
      p.zeitMs = VerlaufJetztMs();
      p.t = static_cast<double>(p.zeitMs - startMs_) / 1000.0;
      if (ErrorCode err = g_.IstwerteLesen(&w); err != 0) return Geraetefehler(e, err, T("messen", "measure"));
      p.strom = w.strom;
      p.spannung = w.spannung;
      p.status = w.status;
      e->proben.push_back(p);
      if (a_.beiProbe) a_.beiProbe(index, p);
      // The grid of intervals from the first sample; a sample that took longer
      // than an interval skips the ticks it missed instead of hurrying.
      naechste += intervall;
      while (naechste <= Uhr::now() && naechste - anfang < dauer) {
        naechste += intervall;
        ++e->ausgelassen;
      }
      if (naechste - anfang >= dauer) break;
      if (!WartenBis(naechste)) return Geraetefehler(e, PRUEF_ABGEBROCHEN, T("messen", "measure"));
    }
    Beurteilen(s, e);
  }

  static Kennzahlen Zahlen(const std::vector<Probe>& proben, double Probe::*wert) {
    Kennzahlen k;
    if (proben.empty()) return k;
    k.min = k.max = proben.front().*wert;
    double summe = 0;
    for (const Probe& p : proben) {
      k.min = std::min(k.min, p.*wert);
      k.max = std::max(k.max, p.*wert);
      summe += p.*wert;
    }
    k.mittel = summe / static_cast<double>(proben.size());
    return k;
  }

  static std::string Wert(double v, Groesse g) {
    return g == Groesse::Strom ? FestText(v, 3) + " A" : FestText(v, 2) + " V";
  }

  void Beurteilen(const Schritt& s, Schrittergebnis* e) {
    e->strom = Zahlen(e->proben, &Probe::strom);
    e->spannung = Zahlen(e->proben, &Probe::spannung);
    std::vector<std::string> gruende;
    for (const Grenze& g : s.grenzen) {
      Grenzergebnis r;
      r.geprueft = true;
      const Kennzahlen& k = g.groesse == Groesse::Strom ? e->strom : e->spannung;
      const double Probe::*feld = g.groesse == Groesse::Strom ? &Probe::strom : &Probe::spannung;
      const char* groesse = g.groesse == Groesse::Strom ? T("Strom", "current") : T("Spannung", "voltage");
      auto innen = [&g](double v) { return v >= g.unten && v <= g.oben; };
      std::string wo;
      if (g.auf == Bewertung::Probe) {
        r.bestanden = true;
        for (const Probe& p : e->proben) {
          if (innen(p.*feld)) continue;
          if (r.bestanden) {
            r.wert = p.*feld;
            wo = T(" bei ", " at ") + FestText(p.t, 2) + " s";
          }
          r.bestanden = false;
          ++r.ausserhalb;
        }
        if (!r.bestanden) {
          wo += " (" + std::to_string(r.ausserhalb) + T(" von ", " of ") + std::to_string(e->proben.size()) +
                T(" Proben außerhalb)", " samples outside)");
        }
      } else {
        r.wert = g.auf == Bewertung::Mittel ? k.mittel : g.auf == Bewertung::Minimum ? k.min : k.max;
        r.bestanden = innen(r.wert);
      }
      if (!r.bestanden) {
        const char* art = g.auf == Bewertung::Probe     ? ""
                          : g.auf == Bewertung::Mittel  ? T("Mittel ", "mean ")
                          : g.auf == Bewertung::Minimum ? T("Minimum ", "minimum ")
                                                        : T("Maximum ", "maximum ");
        std::string wie;
        if (r.wert < g.unten) {
          wie = T(" unter ", " below ") + std::string(T("Minimum ", "minimum ")) + Wert(g.unten, g.groesse);
        } else {
          wie = T(" über ", " above ") + std::string(T("Maximum ", "maximum ")) + Wert(g.oben, g.groesse);
        }
        gruende.push_back(std::string(art) + groesse + " " + Wert(r.wert, g.groesse) + wie + " (" + T("Grenze ", "limit ") + g.text +
                          ")" + wo);
      }
      e->grenzen.push_back(r);
    }
    if (s.statusGesetzt != 0 || s.statusFrei != 0) {
      e->statusGeprueft = true;
      e->statusBestanden = true;
      const std::vector<VerlaufStatusName>& namen = VerlaufStatusbitNamen(a_.englisch);
      const std::size_t von = s.statusAmEnde && !e->proben.empty() ? e->proben.size() - 1 : 0;
      for (std::size_t i = von; i < e->proben.size() && e->statusBestanden; ++i) {
        const Probe& p = e->proben[i];
        for (const VerlaufStatusName& b : namen) {
          const bool fehlt = (s.statusGesetzt & b.bit) != 0 && (p.status & b.bit) == 0;
          const bool gesetzt = (s.statusFrei & b.bit) != 0 && (p.status & b.bit) != 0;
          if (!fehlt && !gesetzt) continue;
          char text[200];
          std::snprintf(text, sizeof text, fehlt ? T("Statusbit \"%s\" (0x%04X) fehlt bei ", "status bit \"%s\" (0x%04X) missing at ")
                                                 : T("Statusbit \"%s\" (0x%04X) gesetzt bei ", "status bit \"%s\" (0x%04X) set at "),
                        b.name, static_cast<unsigned>(b.bit));
          gruende.push_back(text + FestText(p.t, 2) + " s");
          e->statusBestanden = false;
          break;
        }
      }
    }
    if (gruende.empty()) {
      e->ausgang = Ausgang::Pass;
      return;
    }
    e->ausgang = Ausgang::Fail;
    e->code = PRUEF_GRENZE;
    for (const std::string& g : gruende) e->grund += (e->grund.empty() ? "" : "; ") + g;
  }

  void SchrittAusfuehren(int index, const Schritt& s, Schrittergebnis* e) {
    e->ausgang = Ausgang::Pass;
    switch (s.art) {
      case Schrittart::Schreiben: return Schreiben(s, e);
      case Schrittart::Laden:
        if (ErrorCode err = g_.Laden(s.programm); err != 0) Geraetefehler(e, err, "load");
        return;
      case Schrittart::Start:
      case Schrittart::Stopp:
      case Schrittart::FehlerLoeschen: {
        const char* f = s.art == Schrittart::Start ? "start" : s.art == Schrittart::Stopp ? "stopp" : "fehlerloeschen";
        if (ErrorCode err = g_.Funktion(f); err != 0) Geraetefehler(e, err, f);
        return;
      }
      case Schrittart::Warten:
        if (!WartenBis(Uhr::now() + std::chrono::duration_cast<Uhr::duration>(std::chrono::duration<double>(s.dauer))))
          Geraetefehler(e, PRUEF_ABGEBROCHEN, T("warten", "wait"));
        return;
      case Schrittart::Messen: return Messen(index, s, e);
    }
  }

  Protokoll Ausfuehren() {
    Protokoll p;
    p.plan = plan_;
    p.angaben = a_;
    p.angaben.abbrechen = nullptr;
    p.angaben.beiProbe = nullptr;
    p.angaben.beiSchritt = nullptr;
    p.startMs = startMs_ = VerlaufJetztMs();
    p.schritte.resize(plan_.schritte.size());
    bool frueh = false;
    // The identity goes into the record; a device that does not give it is not
    // there, and the first step carries that, so every report shows an error.
    if (ErrorCode err = g_.Kennung(&p.kennung); err != 0 && !p.schritte.empty()) {
      Schrittergebnis& e = p.schritte[0];
      e.startMs = e.endeMs = VerlaufJetztMs();
      Geraetefehler(&e, err, T("Kennung", "identity"));
      p.ausgang = e.ausgang;
      p.grund = plan_.schritte[0].name + ": " + e.grund;
      frueh = true;
    }
    for (std::size_t i = 0; i < plan_.schritte.size() && !frueh; ++i) {
      const Schritt& s = plan_.schritte[i];
      Schrittergebnis& e = p.schritte[i];
      if (a_.beiSchritt) a_.beiSchritt(static_cast<int>(i), s);
      e.startMs = VerlaufJetztMs();
      if (Abbruch()) {
        Geraetefehler(&e, PRUEF_ABGEBROCHEN, s.name);
      } else {
        SchrittAusfuehren(static_cast<int>(i), s, &e);
      }
      e.endeMs = VerlaufJetztMs();
      p.ausgang = Schlechter(p.ausgang, e.ausgang);
      if (e.ausgang != Ausgang::Pass && p.grund.empty()) p.grund = s.name + ": " + e.grund;
      if (e.ausgang == Ausgang::Error || e.ausgang == Ausgang::Aborted || (e.ausgang == Ausgang::Fail && !s.weiterBeiFehler))
        frueh = true;
    }
    // Ended before its last step, or on a failure: the device is left at rest.
    // A stop request asks for exactly this stop: the abort check is set aside for it.
    if (frueh) {
      p.stoppVersucht = true;
      const AbbruchAusgesetzt ausgesetzt;
      p.stoppCode = g_.Funktion("stopp");
    }
    p.endeMs = VerlaufJetztMs();
    return p;
  }

 private:
  const Pruefplan& plan_;
  Pruefgeraet& g_;
  const Laufangaben& a_;
  std::int64_t startMs_ = 0;
};

}  // namespace

Protokoll PlanAusfuehren(const Pruefplan& plan, Pruefgeraet& geraet, const Laufangaben& angaben) {
  return Lauf(plan, geraet, angaben).Ausfuehren();
}

bool GueltigeSeriennummer(const std::string& s) {
  if (s.empty() || s.size() > 128) return false;
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

Protokoll PlanAufLeitungAusfuehren(const Pruefplan& plan, Geraeteverbindung g, bool (*abbrechen)(), Laufangaben angaben,
                                   const std::string& ordner, Ablage* ablage) {
  if (abbrechen != nullptr) angaben.abbrechen = abbrechen;
  Leitungsgeraet geraet(g, abbrechen);
  Protokoll p = PlanAusfuehren(plan, geraet, angaben);
  // The record right after the run: it is what a quality file keeps, whatever
  // the front end does next.
  *ablage = Ablage{};
  if (!ordner.empty()) ablage->fehler = ProtokollAblegen(p, ordner, &ablage->ordner, &ablage->systemfehler);
  return p;
}

// The compiled part of the Python package zpk3x: the driver, the program
// transfer, the serial layer and the program formats, as the command line uses
// them, so that Python sends the same frames and gives the same texts. The
// package's Python layer (python/zpk3x) wraps what this returns into its classes.
//
// The line is waited on without the GIL. The serial layer and the error
// catalogue keep some state for the whole process (the latest open's result, the
// message buffer, the language), so opens, closes and message look-ups hold one
// lock; transactions on different ports run side by side. Calls on one Device
// from several threads take turns, first come first served.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "Geraetemeldungen/Geraetemeldungen.h"
#include "OLQ_errorV3/OLQ_errorV3.h"
#include "Programmformate/Programmdateien.h"
#include "Programmformate/Programmformate.h"
#include "Programmtransfer/Programmtransfer.h"
#include "Verlauf/VerlaufDaten.h"
#include "common/Dateiersetzen.h"
#include "common/Dateizugriff.h"
#include "olqzpk3x/olqzpk3x.h"
#include "rs232/Schnittstellen.h"
#include "rs232/rs232.h"

namespace py = pybind11;

namespace {

std::mutex gProzess;  // port numbers, opens and closes, the catalogue's buffer and language

// gProzess, always taken without the GIL: an open or close that waits on the
// line under it asks Python about Ctrl+C, which takes the GIL.
class Prozesssperre {
 public:
  Prozesssperre() {
    if (PyGILState_Check() != 0) frei_.emplace();
    sperre_ = std::unique_lock<std::mutex>(gProzess);
  }

 private:
  std::optional<py::gil_scoped_release> frei_;
  std::unique_lock<std::mutex> sperre_;  // let go of before the GIL is taken back
};
// The serial layer and the driver keep each port's state under its number.
// Every number they keep is ours to use (the window's COM numbers mean nothing
// in this process, and every Device names its device): a number is taken at
// open and given back at close, a scan's for its own call only.
constexpr int kPortnummern = COM_PORT_SLOTS;
bool gPortBelegt[kPortnummern + 1] = {};

// A failure to raise once the GIL is held again: the class of zpk3x.errors and
// the attributes that apply.
// A text that may be absent (std::optional<std::string> draws a false
// maybe-uninitialized warning from GCC 12 in the sanitizer build).
struct Angabe {
  bool da = false;
  std::string wert;
  Angabe& operator=(std::string text) {
    da = true;
    wert = std::move(text);
    return *this;
  }
  explicit operator bool() const { return da; }
  const std::string& operator*() const { return wert; }
  const std::string* operator->() const { return &wert; }
};

struct Fehlerbild {
  const char* klasse = nullptr;  // null: no failure
  ErrorCode code = 0;
  std::string meldung;
  Angabe pfad, grund, rahmen, antwort, feld;
  std::optional<int> programm, fertig, zeile, spalte;
  bool nichtGesendet = false;  // the frame was held back: the in-step check went unanswered
  std::vector<std::pair<long, std::string>> inhaber;
  std::string grundCode;  // a port's cause for scripts ("ENOENT", "busy")
  int systemfehler = 0;   // a file's errno value
};

// Class 403 of the catalogue: nothing came within the time-out.
bool KeineAntwort(ErrorCode code) { return (-code) / 1000 == 403; }
const char* Geraeteklasse(ErrorCode code) { return KeineAntwort(code) ? "NoAnswerError" : "DeviceError"; }

std::string Meldung(ErrorCode code, const std::string& detail) {
  Prozesssperre l;
  return std::string(OLQ_Fehlermeldung(code)) + detail;
}

[[noreturn]] void Werfen(const Fehlerbild& f) {
  py::module_ fehler = py::module_::import("zpk3x.errors");
  py::dict a;
  a["code"] = -f.code;
  a["message"] = f.meldung;
  if (f.pfad) a["path"] = *f.pfad;
  if (f.grund) a["reason"] = *f.grund;
  if (f.rahmen) a["frame"] = *f.rahmen;
  if (f.antwort) a["answer"] = f.antwort->empty() ? py::object(py::none()) : py::object(py::str(*f.antwort));
  if (f.feld) a["field"] = *f.feld;
  if (f.programm) a["program"] = *f.programm;
  if (f.fertig) a["completed"] = *f.fertig;
  if (f.zeile) a["line"] = *f.zeile;
  if (f.spalte) a["column"] = *f.spalte;
  const std::string klasse = f.klasse;
  if ((klasse == "DeviceError" || klasse == "NoAnswerError") && f.rahmen) a["sent"] = !f.nichtGesendet;
  if (klasse == "PortError") {
    py::list inhaber;
    for (const auto& [pid, name] : f.inhaber) inhaber.append(py::make_tuple(pid, name));
    a["holders"] = inhaber;
    if (!f.grundCode.empty()) a["reason_code"] = f.grundCode;
  }
  if (klasse == "FileError" && f.systemfehler != 0) a["errno"] = f.systemfehler;
  py::object ausnahme = fehler.attr(f.klasse)(**a);
  PyErr_SetObject(ausnahme.get_type().ptr(), ausnahme.ptr());
  throw py::error_already_set();
}

[[noreturn]] void KeinPortFrei() {
  throw std::runtime_error("zpk3x: at most " + std::to_string(kPortnummern) +
                           " ports open at once in one process (Devices and running scans); close one");
}

Fehlerbild Portfehlerbild(ErrorCode code, const std::string& pfad, const Portfehler& p) {
  Fehlerbild f;
  f.klasse = "PortError";
  f.code = code;
  f.pfad = p.pfad.empty() ? pfad : p.pfad;
  f.grund = p.grund;
  f.grundCode = p.grundCode;
  for (const Portinhaber& i : p.inhaber) f.inhaber.emplace_back(i.pid, i.name);
  f.meldung = Meldung(code, p.pfad.empty() && p.grund.empty() ? "" : "\n" + p.pfad + (p.grund.empty() ? "" : ": " + p.grund));
  return f;
}

// A single command's failure: the frame and what came back.
// Where it looked, as the command line says it: port, baud rate, address.
struct Ort {
  std::string geraet;
  int baud;
  char adresse;
};

Fehlerbild Geraetefehlerbild(int port, ErrorCode code, const Ort& ort) {
  Fehlerbild f;
  f.klasse = Geraeteklasse(code);
  f.code = code;
  std::string rahmen, antwort;
  const std::string text = TransaktionText(port, &rahmen, &antwort);
  f.rahmen = rahmen;
  f.antwort = antwort;
  f.nichtGesendet = OLQZPK3X_LetzteTransaktion(port).nichtGesendet;
  f.meldung = Meldung(code, "\n" + text + "\n" + VerbindungsText(port, ort.geraet, ort.baud, ort.adresse));
  return f;
}

Fehlerbild Transferfehlerbild(int port, ErrorCode code, bool schreiben, int von, const Transferbericht& b,
                              const Ort& ort, const std::string& nachsatz = "") {
  Fehlerbild f;
  f.klasse = Geraeteklasse(code);
  f.code = code;
  std::string detail = "\n";
  if (!b.abgebrochen) {
    std::string rahmen, antwort;
    detail += TransferStelle(b) + ": " + TransaktionText(port, &rahmen, &antwort) + "\n";
    f.rahmen = rahmen;
    f.antwort = antwort;
    f.nichtGesendet = OLQZPK3X_LetzteTransaktion(port).nichtGesendet;
    f.programm = b.programm;
    if (b.feld != nullptr) f.feld = b.feld;
  }
  f.fertig = b.fertig;
  f.meldung = Meldung(code, detail + TransferStand(schreiben, von, b) +
                                (b.abgebrochen ? "" : "\n" + VerbindungsText(port, ort.geraet, ort.baud, ort.adresse)) +
                                (nachsatz.empty() ? "" : "\n" + nachsatz));
  return f;
}

// ---- a call's link to Python: progress and Ctrl+C, asked on the waiting thread ----

struct Aufruf {
  py::object fortschritt = py::none();  // None or progress(done, total)
  PyObject* typ = nullptr;  // a Python exception raised meanwhile (KeyboardInterrupt, the callback's own)
  PyObject* wert = nullptr;
  PyObject* spur = nullptr;
  bool Fehler() const { return typ != nullptr; }
  ~Aufruf() {
    if (typ == nullptr) return;
    py::gil_scoped_acquire gil;
    Py_XDECREF(typ);
    Py_XDECREF(wert);
    Py_XDECREF(spur);
  }
};
thread_local Aufruf* tAufruf = nullptr;

// The call's link for as long as it waits; a callback's own call on the same
// thread puts back the outer one.
struct Verbunden {
  Aufruf* vorher;
  explicit Verbunden(Aufruf* a) : vorher(tAufruf) { tAufruf = a; }
  ~Verbunden() { tAufruf = vorher; }
  Verbunden(const Verbunden&) = delete;
  Verbunden& operator=(const Verbunden&) = delete;
};

void PythonFehlerMerken() {
  if (tAufruf->typ == nullptr) {
    PyErr_Fetch(&tAufruf->typ, &tAufruf->wert, &tAufruf->spur);
  } else {
    PyErr_Clear();
  }
}

// Asked after every answer of a transfer and, through the serial layer, at
// least every 50 ms of every wait: a signal (Ctrl+C) or a failed callback ends
// the call there. Only the main thread hears signals, as in Python itself.
bool Abbrechen() {
  if (tAufruf == nullptr) return false;
  py::gil_scoped_acquire gil;
  if (!tAufruf->Fehler() && PyErr_CheckSignals() != 0) PythonFehlerMerken();
  return tAufruf->Fehler();
}

void Fortschritt(int fertig, int anzahl, void*) {
  if (tAufruf == nullptr || tAufruf->fortschritt.is_none()) return;
  py::gil_scoped_acquire gil;
  if (tAufruf->Fehler()) return;
  PyObject* r = PyObject_CallFunction(tAufruf->fortschritt.ptr(), "ii", fertig, anzahl);
  if (r == nullptr) {
    PythonFehlerMerken();
  } else {
    Py_DECREF(r);
  }
}

// Raises what Python raised during the call.
[[noreturn]] void PythonFehlerWerfen(Aufruf& lauf) {
  PyErr_Restore(lauf.typ, lauf.wert, lauf.spur);
  lauf.typ = lauf.wert = lauf.spur = nullptr;
  throw py::error_already_set();
}

// As above for a transfer, with how far it got: the attributes `completed` and
// `program`, and the command line's words as a note.
[[noreturn]] void PythonFehlerWerfen(Aufruf& lauf, const Transferbericht& b, bool schreiben, int von) {
  PyErr_NormalizeException(&lauf.typ, &lauf.wert, &lauf.spur);
  py::object wert = py::reinterpret_borrow<py::object>(lauf.wert);
  try {
    wert.attr("completed") = b.fertig;
    wert.attr("program") = b.programm >= 0 ? py::object(py::int_(b.programm)) : py::object(py::none());
    if (py::hasattr(wert, "add_note")) wert.attr("add_note")(TransferStand(schreiben, von, b));
  } catch (py::error_already_set&) {
    // An exception that takes no attributes is raised as it is.
  }
  PythonFehlerWerfen(lauf);
}

}  // namespace

// The serial layer's hook that ends a wait at once (the driver then returns
// "Aborted by user" and sends nothing more). Where the layer does not have it
// yet, the stand-in below takes the call and only the checks between answers
// remain. Beside the layer's declaration in the global namespace, so that
// overload resolution prefers the real one.
namespace ohne_abbruchhaken {
struct Fehlt {};
template <class Pruefung>
Fehlt SetComAbortCheck(Pruefung) {
  return {};
}
}  // namespace ohne_abbruchhaken

namespace {

// Whether every wait ends at Ctrl+C, or only the checks between answers do.
bool AbbruchhakenSetzen() {
  using namespace ::ohne_abbruchhaken;
  using Ergebnis = decltype(SetComAbortCheck(&Abbrechen));
  SetComAbortCheck(&Abbrechen);
  return !std::is_same_v<Ergebnis, Fehlt>;
}

// ---- turns: calls on one Device from several threads, first come first served ----

class Reihe {
 public:
  enum class Ergebnis { Dran, Zeit, Abbruch, Selbst, Warten };

  // The turn at once when nobody has it or waits for it: no need to let go of
  // the GIL for that. Warten otherwise.
  Ergebnis Sofort() {
    std::lock_guard<std::mutex> l(m_);
    if (belegt_ && inhaber_ == std::this_thread::get_id()) return Ergebnis::Selbst;
    if (belegt_ || !wartende_.empty()) return Ergebnis::Warten;
    belegt_ = true;
    inhaber_ = std::this_thread::get_id();
    return Ergebnis::Dran;
  }

  // Waits without the GIL for this thread's turn, at most `sekunden` (< 0:
  // as long as the calls ahead take); Ctrl+C ends the wait.
  Ergebnis Anstellen(double sekunden) {
    using Uhr = std::chrono::steady_clock;
    const auto frist = Uhr::now() + std::chrono::duration_cast<Uhr::duration>(std::chrono::duration<double>(
                                        sekunden < 0 ? 1e9 : sekunden));
    std::unique_lock<std::mutex> l(m_);
    if (belegt_ && inhaber_ == std::this_thread::get_id()) return Ergebnis::Selbst;
    const unsigned long nummer = naechste_++;
    wartende_.push_back(nummer);
    for (;;) {
      if (!belegt_ && wartende_.front() == nummer) {
        wartende_.pop_front();
        belegt_ = true;
        inhaber_ = std::this_thread::get_id();
        return Ergebnis::Dran;
      }
      const auto jetzt = Uhr::now();
      Ergebnis aus = Ergebnis::Dran;
      if (jetzt >= frist) {
        aus = Ergebnis::Zeit;
      } else {
        cv_.wait_until(l, std::min(frist, jetzt + std::chrono::milliseconds(50)));
        if (belegt_ || wartende_.front() != nummer) {
          l.unlock();
          const bool abbruch = Abbrechen();
          l.lock();
          if (abbruch) aus = Ergebnis::Abbruch;
        }
      }
      if (aus != Ergebnis::Dran) {
        wartende_.erase(std::find(wartende_.begin(), wartende_.end(), nummer));
        cv_.notify_all();
        return aus;
      }
    }
  }

  void Gehen() {
    std::lock_guard<std::mutex> l(m_);
    belegt_ = false;
    cv_.notify_all();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<unsigned long> wartende_;
  unsigned long naechste_ = 0;
  bool belegt_ = false;
  std::thread::id inhaber_;
};

// ---- the trace: every frame and answer, for a failed test's report ----

struct Spur {
  std::mutex m;
  bool ein = false;
  std::deque<std::string> zeilen;
  std::string empfang[kPortnummern + 1];
  std::string pfad[kPortnummern + 1];  // what each port number has open
  static constexpr std::size_t kZeilen = 5000;  // the latest ones; a long test keeps its end

  void Zeile(int port, const char* richtung, const std::string& text) {
    if (zeilen.size() == kZeilen) zeilen.pop_front();
    zeilen.push_back((pfad[port].empty() ? std::to_string(port) : pfad[port]) + " " + richtung + " " + text);
  }
  void EmpfangAbschliessen(int port) {
    std::string& e = empfang[port];
    if (!e.empty()) Zeile(port, "<-", BytesLesbar(e.data(), static_cast<int>(e.size())));
    e.clear();
  }
};
Spur gSpur;

void SpurBeobachten(int port, int gesendet, const char* bytes, int anzahl, void*) {
  if (port < 1 || port > kPortnummern) return;
  std::lock_guard<std::mutex> l(gSpur.m);
  std::string& e = gSpur.empfang[port];
  if (gesendet == 2) {  // the driver's note: why a check read goes first
    gSpur.EmpfangAbschliessen(port);
    gSpur.Zeile(port, "!!", std::string(bytes, static_cast<std::size_t>(anzahl)));
  } else if (gesendet != 0) {
    gSpur.EmpfangAbschliessen(port);
    gSpur.Zeile(port, "->", BytesLesbar(bytes, anzahl));
  } else if (anzahl < 0) {
    if (e.empty()) gSpur.Zeile(port, "<-", "(nothing within the time-out)");
    gSpur.EmpfangAbschliessen(port);
  } else if (anzahl > 0) {
    e.append(bytes, static_cast<std::size_t>(anzahl));
    // CR ends an answer; so does an acknowledgement that stands alone.
    const char c = e.back();
    if (c == '\r' || (e.size() == 1 && (c == 0x06 || c == 0x15 || c == 0x18))) gSpur.EmpfangAbschliessen(port);
  }
}

// A free port number for `pfad` (under gProzess), 0 when none is left. The
// trace names the port by its path from now on.
int FreierPort(const std::string& pfad) {
  for (int n = 1; n <= kPortnummern; ++n) {
    if (!gPortBelegt[n]) {
      gPortBelegt[n] = true;
      std::lock_guard<std::mutex> l(gSpur.m);
      gSpur.pfad[n] = pfad;
      return n;
    }
  }
  return 0;
}

// Gives the number back (under gProzess, the port closed). An answer begun on it
// goes to the trace now, under this path, not under the next user's.
void PortFreigeben(int port) {
  {
    std::lock_guard<std::mutex> l(gSpur.m);
    gSpur.EmpfangAbschliessen(port);
    gSpur.pfad[port].clear();
  }
  gPortBelegt[port] = false;
}

// ---- records ----

py::tuple Satz(const ProgramRecord& r) {
  py::tuple t(PROGRAMMFELDER_ANZAHL);
  for (int i = 0; i < PROGRAMMFELDER_ANZAHL; ++i) {
    const Programmfeld& f = PROGRAMMFELDER[i];
    t[static_cast<std::size_t>(i)] = f.ganz != nullptr ? py::object(py::int_(r.*f.ganz)) : py::object(py::float_(r.*f.reell));
  }
  return t;
}

ProgramRecord AusSatz(const py::sequence& s) {
  if (py::len(s) != PROGRAMMFELDER_ANZAHL) throw py::value_error("a program has 10 fields");
  ProgramRecord r = PROGRAMM_STANDARDSATZ;
  for (int i = 0; i < PROGRAMMFELDER_ANZAHL; ++i) {
    const Programmfeld& f = PROGRAMMFELDER[i];
    if (f.ganz != nullptr) {
      r.*f.ganz = s[static_cast<std::size_t>(i)].cast<std::int32_t>();
    } else {
      r.*f.reell = s[static_cast<std::size_t>(i)].cast<double>();
    }
  }
  return r;
}

// The slots as tuples, None for a slot the table does not hold.
py::tuple TabelleNachPython(const Programmtabelle& t) {
  py::list slots;
  for (int i = 0; i < PROGRAMM_SLOTS; ++i)
    slots.append(SlotVorhanden(t, i) ? py::object(Satz(t.slots[i])) : py::object(py::none()));
  return py::make_tuple(slots, t.auswahl);
}

Programmtabelle TabelleAusPython(const py::sequence& slots, int auswahl) {
  if (py::len(slots) != PROGRAMM_SLOTS) throw py::value_error("a program table has 17 slots");
  Programmtabelle t = StandardTabelle();
  t.vorhanden = 0;
  for (int i = 0; i < PROGRAMM_SLOTS; ++i) {
    const py::object slot = slots[static_cast<std::size_t>(i)];
    if (slot.is_none()) continue;
    t.slots[i] = AusSatz(slot.cast<py::sequence>());
    t.vorhanden |= 1u << i;
  }
  if (auswahl < 0 || auswahl >= PROGRAMM_SLOTS) throw py::value_error("selection: 0 to 16");
  t.auswahl = auswahl;
  return t;
}

// Every value of slots von..bis in the driver's range, before the first frame.
void BereichPruefen(const Programmtabelle& t, int von, int bis) {
  for (int slot = von; slot <= bis; ++slot) {
    for (const Programmfeld& feld : PROGRAMMFELDER) {
      if (FeldImBereich(t.slots[slot], feld)) continue;
      Fehlerbild f;
      f.klasse = "ValueRangeError";
      f.code = WERT_AUSSERHALB;
      f.programm = slot;
      f.feld = feld.name;
      f.meldung = Meldung(WERT_AUSSERHALB, "\n" + BereichsfehlerText(slot, feld, t.slots[slot]));
      Werfen(f);
    }
  }
}

// ---- the device ----

class Geraet {
 public:
  Geraet(const std::string& pfad, int baud, int adresse, double timeout, double warten)
      : pfad_(pfad), baud_(baud), adresse_(static_cast<char>('0' + adresse)), timeout_(timeout), warten_(warten) {
    if (std::find(std::begin(SUCHE_BAUDRATEN), std::end(SUCHE_BAUDRATEN), baud) == std::end(SUCHE_BAUDRATEN))
      throw py::value_error("baud: 1200, 2400, 4800 or 9600, not " + std::to_string(baud));
    if (adresse < 1 || adresse > 8) throw py::value_error("address: 1 to 8, not " + std::to_string(adresse));
    if (!(timeout > 0) || !std::isfinite(timeout)) throw py::value_error("timeout: seconds above 0");
    if (pfad.empty()) throw py::value_error("port: a device path or tcp://HOST:PORT or rfc2217://HOST:PORT");
    ErrorCode err = 0;
    bool keinPort = false;
    Portfehler p;
    Aufruf lauf;
    {
      Prozesssperre l;
      Verbunden v(&lauf);
      port_ = FreierPort(pfad_);
      keinPort = port_ == 0;
      if (!keinPort) err = PortOeffnenGeprueft(port_, pfad_, baud_, timeout_, &p);
      if (!keinPort && err != 0) {
        PortFreigeben(port_);
        port_ = 0;
      }
    }
    if (lauf.Fehler()) {
      Schliessen();
      PythonFehlerWerfen(lauf);
    }
    if (keinPort) KeinPortFrei();
    if (err != 0) Werfen(Portfehlerbild(err, pfad_, p));
  }
  ~Geraet() { Schliessen(); }

  // Waits its turn as every call does.
  void Close() {
    Mit([&](Fehlerbild&) {
      Schliessen();
      return 0;
    }, true);
  }
  bool Offen() const { return port_ != 0; }

  std::string Identity() {
    return Mit([&](Fehlerbild& f) {
      char kennung[32] = {};
      if (ErrorCode err = OLQZPK3X_IDLesen(port_, adresse_, kennung); err != 0) f = Geraetefehlerbild(port_, err, Ort{pfad_, baud_, adresse_});
      kennung[sizeof kennung - 1] = '\0';
      return std::string(kennung);
    });
  }

  py::tuple Actual() {
    const Istwerte w = Mit([&](Fehlerbild& f) {
      Istwerte w{};
      if (ErrorCode err = IstwerteLesen({port_, adresse_}, &w); err != 0) f = Geraetefehlerbild(port_, err, Ort{pfad_, baud_, adresse_});
      return w;
    });
    return py::make_tuple(w.strom, w.spannung, w.status);
  }

  int Status() {
    return Mit([&](Fehlerbild& f) {
      int status = 0;
      if (ErrorCode err = StatuswortLesen({port_, adresse_}, &status); err != 0) f = Geraetefehlerbild(port_, err, Ort{pfad_, baud_, adresse_});
      return status;
    });
  }

  void Funktion(const std::string& funktion) {
    Mit([&](Fehlerbild& f) {
      if (ErrorCode err = GeraetefunktionSenden({port_, adresse_}, funktion.c_str()); err != 0)
        f = Geraetefehlerbild(port_, err, Ort{pfad_, baud_, adresse_});
      return 0;
    });
  }

  void Programmnummer(const std::string& parameter, int n) {
    // Loading or storing the working parameters (0) is no command of the device.
    if (n < 1 || n > 16) throw py::value_error("program: 1 to 16, not " + std::to_string(n));
    Mit([&](Fehlerbild& f) {
      if (ErrorCode err = ProgrammnummerSenden({port_, adresse_}, parameter.c_str(), n); err != 0)
        f = Geraetefehlerbild(port_, err, Ort{pfad_, baud_, adresse_});
      return 0;
    });
  }

  // Slots von..bis from the device into a table at its defaults, as the command
  // line's read does: the working parameters are left as they were found.
  py::tuple Lesen(int von, int bis, py::object fortschritt) {
    Bereich(von, bis);
    Programmtabelle t = StandardTabelle();
    t.auswahl = von == bis ? von : 0;
    // Only what was read: the working parameters (read first) and the range.
    t.vorhanden = 1u;
    for (int slot = von; slot <= bis; ++slot) t.vorhanden |= 1u << slot;
    Transfer(fortschritt, von, bis, Art::Ansehen, t);
    return TabelleNachPython(t);
  }

  // Slots von..bis of the table to the device, then, with `pruefen`, read back
  // and compared as the device stores the values.
  void Schreiben(const py::sequence& slots, int von, int bis, bool pruefen, py::object fortschritt) {
    Bereich(von, bis);
    Programmtabelle t = TabelleAusPython(slots, 0);
    for (int slot = von; slot <= bis; ++slot)
      if (!SlotVorhanden(t, slot)) throw py::value_error("program " + std::to_string(slot) + ": not in the table");
    BereichPruefen(t, von, bis);
    // The same composed operation as the command line's write: working
    // parameters kept, each program read back and compared unless not asked.
    Transfer(fortschritt, von, bis, Art::Schreiben, t, pruefen);
  }

  const std::string& Pfad() const { return pfad_; }
  int Baud() const { return baud_; }
  int Adresse() const { return adresse_ - '0'; }
  double Timeout() const { return timeout_; }
  double Warten() const { return warten_; }

 private:
  static void Bereich(int von, int bis) {
    if (von < 0 || bis > 16 || von > bis) throw py::value_error("program: 0 to 16");
  }

  void Schliessen() {
    Prozesssperre l;
    if (port_ == 0) return;
    OLQZPK3X_Close(port_);
    PortFreigeben(port_);
    port_ = 0;
  }

  // Runs `arbeit` on the line without the GIL once it is this thread's turn;
  // raises what it reports, and what Python raised meanwhile (Ctrl+C) first.
  // `lauf`: the caller's link for progress; `geschlossenOk`: a closed port is
  // no error (close).
  template <class Arbeit>
  auto Mit(Arbeit arbeit, bool geschlossenOk = false, Aufruf* lauf = nullptr)
      -> decltype(arbeit(std::declval<Fehlerbild&>())) {
    Aufruf eigener;
    if (lauf == nullptr) lauf = &eigener;
    Fehlerbild f;
    Reihe::Ergebnis dran = reihe_.Sofort();
    if (dran == Reihe::Ergebnis::Warten) {
      py::gil_scoped_release frei;
      Verbunden v(lauf);
      dran = reihe_.Anstellen(warten_);
    }
    if (dran == Reihe::Ergebnis::Selbst)
      throw std::runtime_error("zpk3x.Device: called again from within its own call (a progress callback)");
    if (dran == Reihe::Ergebnis::Abbruch) PythonFehlerWerfen(*lauf);
    if (dran == Reihe::Ergebnis::Zeit) {
      const std::string text = "zpk3x.Device is in use by another thread: waited " + ZahlText(warten_) + " s for its turn";
      PyErr_SetString(PyExc_TimeoutError, text.c_str());
      throw py::error_already_set();
    }
    struct Zug {
      Reihe& r;
      ~Zug() { r.Gehen(); }
    } zug{reihe_};
    if (port_ == 0 && !geschlossenOk) throw py::value_error("zpk3x.Device is closed");
    auto ergebnis = [&] {
      py::gil_scoped_release frei;
      Verbunden v(lauf);
      return arbeit(f);
    }();
    if (lauf == &eigener && lauf->Fehler()) PythonFehlerWerfen(*lauf);
    if (f.klasse != nullptr) Werfen(f);
    return ergebnis;
  }

  enum class Art { Ansehen, Lesen, Schreiben };

  void Transfer(py::object fortschritt, int von, int bis, Art art, Programmtabelle& t, bool pruefen = false) {
    const bool schreiben = art == Art::Schreiben;
    Programmtabelle gelesen = StandardTabelle();
    Rueckleseabweichung abweichung;
    Aufruf lauf;
    lauf.fortschritt = std::move(fortschritt);
    Transferbericht bericht;
    bericht.abbrechen = Abbrechen;
    Mit([&](Fehlerbild& f) {
      const TransferFortschritt melden = von == bis ? nullptr : Fortschritt;
      const Geraeteverbindung g{port_, adresse_};
      Arbeitsstand stand;
      bool rueckgelesenFehlgeschlagen = false;
      const ErrorCode err =
          art == Art::Schreiben ? ProgrammeSchreibenPruefen(g, von, bis, t.slots, pruefen, gelesen.slots, &abweichung, melden,
                                                            nullptr, &bericht, &stand, &rueckgelesenFehlgeschlagen)
          : art == Art::Lesen   ? ProgrammeLesen(g, von, bis, t.slots, melden, nullptr, &bericht)
                                : ProgrammeAnsehen(g, von, bis, t.slots, melden, nullptr, &bericht, &stand);
      if (err == PROGRAMM_ANDERS_GESPEICHERT) {
        const Programmfeld& feld = PROGRAMMFELDER[abweichung.feld];
        f.klasse = "DeviceError";
        f.code = ANDERES_GESPEICHERT;
        f.programm = abweichung.slot;
        f.feld = feld.name;
        f.fertig = bericht.fertig;
        f.meldung = Meldung(ANDERES_GESPEICHERT, NachpruefDetail(abweichung.slot, feld, t.slots[abweichung.slot],
                                                                  gelesen.slots[abweichung.slot]));
      } else if (err != 0 && !lauf.Fehler()) {
        f = Transferfehlerbild(port_, err, schreiben, von, bericht, Ort{pfad_, baud_, adresse_}, ArbeitsstandText(stand));
      }
      return 0;
    }, false, &lauf);
    if (lauf.Fehler()) PythonFehlerWerfen(lauf, bericht, schreiben, von);
  }

  Reihe reihe_;
  std::string pfad_;
  int baud_;
  char adresse_;
  double timeout_;
  double warten_;  // for a turn; < 0: as long as the calls ahead take
  int port_ = 0;
};

// ---- search, ports, files ----

struct Suchlauf {
  int port = 0;
  std::string pfad;
  double timeout = 0.5;
  std::vector<std::tuple<int, char, std::string, bool>> antworten;
  Portfehler portfehler;
  ErrorCode oeffnenFehler = 0;
};

ErrorCode SucheOeffnen(int baudrate, void* k) {
  Suchlauf* s = static_cast<Suchlauf*>(k);
  Prozesssperre l;
  s->oeffnenFehler = PortOeffnenGeprueft(s->port, s->pfad, baudrate, s->timeout, &s->portfehler);
  return s->oeffnenFehler;
}

void SucheProbe(Suchschritt schritt, int baudrate, char adresse, const char* kennung, bool zpk3x, void* k) {
  if (schritt != Suchschritt::Antwort) return;
  static_cast<Suchlauf*>(k)->antworten.emplace_back(baudrate, adresse, kennung, zpk3x);
}

py::list Scan(const std::string& pfad, int baud, double timeout) {
  Suchlauf s;
  s.pfad = pfad;
  s.timeout = timeout;
  Suchergebnis e{};
  ErrorCode err = 0;
  Aufruf lauf;
  {
    py::gil_scoped_release frei;
    {
      Prozesssperre l;
      s.port = FreierPort(pfad);
    }
    Verbunden v(&lauf);
    if (s.port != 0) {
      // Raw TCP: the device server keeps its own rate, so the search asks there only.
      if (ComPortKind(s.port, pfad.c_str()) == COM_KIND_TCP) err = SucheOeffnen(baud, &s);
      if (err == 0) err = GeraetSuchen(s.port, SucheOeffnen, SucheProbe, &s, &e);
      Prozesssperre l;
      OLQZPK3X_Close(s.port);
      PortFreigeben(s.port);
    }
  }
  if (lauf.Fehler()) PythonFehlerWerfen(lauf);
  if (s.port == 0) KeinPortFrei();
  if (err != 0) {
    if (s.oeffnenFehler != 0) Werfen(Portfehlerbild(err, pfad, s.portfehler));
    Fehlerbild f;
    f.klasse = "Error";
    f.code = err;
    f.meldung = Meldung(err, "");
    Werfen(f);
  }
  py::list aus;
  for (const auto& [b, a, kennung, zpk3x] : s.antworten) aus.append(py::make_tuple(b, a - '0', kennung, zpk3x));
  return aus;
}

py::list Ports() {
  py::list aus;
  for (const Schnittstelle& s : SchnittstellenAuflisten()) {
    py::dict d;
    d["path"] = s.pfad;
    d["stable_names"] = s.festeNamen;
    d["target"] = s.ziel;
    d["vendor_id"] = s.vendorId;
    d["product_id"] = s.productId;
    d["manufacturer"] = s.hersteller;
    d["product"] = s.produkt;
    d["serial_number"] = s.seriennummer;
    aus.append(d);
  }
  return aus;
}

Dateiformat FormatPruefen(const std::string& pfad) {
  const Dateiformat format = FormatAusName(pfad);
  if (format == Dateiformat::Unbekannt) throw py::value_error(pfad + ": the file name ends in .zpk, .json or .csv");
  return format;
}

py::tuple TabelleLaden(const std::string& pfad) {
  const Dateiformat format = FormatPruefen(pfad);
  std::string daten;
  int systemfehler = 0;
  Programmtabelle t = StandardTabelle();
  Formatfehler ff{};
  ErrorCode err = 0;
  {
    py::gil_scoped_release frei;
    err = DateiRohLesen(pfad, &daten, &systemfehler);
    if (err == 0) err = TabelleLesen(format, daten, &t, &ff);
  }
  if (err == 0) return TabelleNachPython(t);
  Fehlerbild f;
  f.klasse = "FileError";
  f.code = err;
  f.pfad = pfad;
  if (systemfehler != 0 || err == DATEI_NICHT_LESBAR || err == DATEI_LESEFEHLER) {
    if (systemfehler != 0) f.grund = Systemgrund(systemfehler);
    f.systemfehler = systemfehler;
    f.meldung = Meldung(err, "\n" + pfad + (f.grund ? ": " + *f.grund : ""));
  } else if (daten.size() > FORMAT_GROESSTE_DATEI) {
    f.grund = ZuGrossText().substr(2);
    f.meldung = Meldung(err, "\n" + pfad + ZuGrossText());
  } else {
    const std::string satz = FormatfehlerSatz(ff, format);
    if (!satz.empty()) f.grund = satz;
    if (ff.zeile > 0) f.zeile = ff.zeile;
    if (ff.spalte > 0) f.spalte = ff.spalte;
    if (ff.slot >= 0) f.programm = ff.slot;
    if (ff.feld >= 0) f.feld = PROGRAMMFELDER[ff.feld].name;
    f.meldung = Meldung(err, FormatfehlerDetail(pfad, ff, satz));
  }
  Werfen(f);
}

py::bytes TabelleAlsBytes(const py::sequence& slots, int auswahl, const std::string& format) {
  const Programmtabelle t = TabelleAusPython(slots, auswahl);
  const Dateiformat f = format == "zpk" ? Dateiformat::Zpk : format == "csv" ? Dateiformat::Csv : Dateiformat::Json;
  return py::bytes(TabelleAlsDatei(f, t));
}

void TabelleSpeichern(const std::string& pfad, const py::sequence& slots, int auswahl) {
  const Dateiformat format = FormatPruefen(pfad);
  const std::string inhalt = TabelleAlsDatei(format, TabelleAusPython(slots, auswahl));
  int fehler = 0;
  Ersetzt ergebnis;
  {
    py::gil_scoped_release frei;
    // Replaced in one step, never half-written, as the command line's files.
    ergebnis = DateiErsetzen(pfad, inhalt.data(), inhalt.size(), Ersetzungsart::NurAtomar, &fehler);
  }
  if (ergebnis == Ersetzt::Ja) return;
  Fehlerbild f;
  f.klasse = "FileError";
  f.code = DATEI_NICHT_SCHREIBBAR;
  f.pfad = pfad;
  if (fehler != 0) f.grund = Systemgrund(fehler);
  f.systemfehler = fehler;
  f.meldung = Meldung(DATEI_NICHT_SCHREIBBAR, "\n" + pfad + (f.grund ? ": " + *f.grund : ""));
  Werfen(f);
}

}  // namespace

void PruefplanBinden(py::module_& m);  // zpk3x_pruefplan.cpp

PYBIND11_MODULE(_zpk3x, m) {
  m.doc() = "The compiled core of zpk3x; use the package zpk3x, not this module.";
  m.attr("__version__") = ZPK3X_VERSION;
  m.attr("INTERRUPT_IN_EVERY_WAIT") = AbbruchhakenSetzen();

  py::list felder;
  for (const Programmfeld& f : PROGRAMMFELDER)
    felder.append(py::make_tuple(f.name, f.ganz != nullptr, f.minimum, f.maximum, f.nachkommastellen));
  m.attr("FIELDS") = felder;
  m.attr("DEFAULT") = Satz(PROGRAMM_STANDARDSATZ);

  m.def("set_language", [](bool englisch) {
    Prozesssperre l;
    OLQ_Fehlersprache(englisch ? 2 : 1);
  });
  m.def("status_bits", [](bool englisch) {
    py::list aus;
    for (const VerlaufStatusName& b : VerlaufStatusbitNamen(englisch)) aus.append(py::make_tuple(b.bit, b.name));
    return aus;
  });
  m.def("in_range", [](const py::sequence& satz, int feld) {
    return FeldImBereich(AusSatz(satz), PROGRAMMFELDER[feld]);
  });
  m.def("range_text", [](int feld) { return BereichText(PROGRAMMFELDER[feld]); });
  // A value refused on assignment: the code and message a write would give, without a program.
  m.def("range_error", [](const py::sequence& satz, int feld) {
    const Programmfeld& f = PROGRAMMFELDER[feld];
    const ProgramRecord r = AusSatz(satz);
    const std::string text = BereichsfehlerText(0, f, r);
    return py::make_tuple(-WERT_AUSSERHALB, Meldung(WERT_AUSSERHALB, "\n" + text.substr(ProgrammName(0).size() + 2)));
  });
  // Fields of slots von..bis that differ as the device stores them: (slot, field index).
  m.def("differences", [](const py::sequence& a, const py::sequence& b, int von, int bis) {
    py::list aus;
    for (const Abweichung& x : Abweichungen(TabelleAusPython(a, 0), TabelleAusPython(b, 0), von, bis))
      aus.append(py::make_tuple(x.slot, x.feld));
    return aus;
  });
  m.def("trace", [](bool ein) {
    std::lock_guard<std::mutex> l(gSpur.m);
    gSpur.ein = ein;
    SetComTrace(ein ? SpurBeobachten : nullptr, nullptr);
  });
  // The lines traced so far, cleared.
  m.def("trace_lines", [] {
    std::vector<std::string> zeilen;
    {
      std::lock_guard<std::mutex> l(gSpur.m);
      for (int port = 1; port <= kPortnummern; ++port) gSpur.EmpfangAbschliessen(port);
      zeilen.assign(gSpur.zeilen.begin(), gSpur.zeilen.end());
      gSpur.zeilen.clear();
    }
    return zeilen;
  });
  m.def("number_text", &ZahlText);
  // How many port numbers are taken now: a number kept after its close or a
  // failed open would in the end refuse every open.
  m.def("ports_in_use", [] {
    Prozesssperre l;
    return static_cast<int>(std::count(std::begin(gPortBelegt), std::end(gPortBelegt), true));
  });
  m.def("scan", &Scan, py::arg("port"), py::arg("baud"), py::arg("timeout"));
  m.def("ports", &Ports);
  m.def("table_load", &TabelleLaden, py::arg("path"));
  m.def("table_save", &TabelleSpeichern, py::arg("path"), py::arg("slots"), py::arg("selection"));
  m.def("table_bytes", &TabelleAlsBytes, py::arg("slots"), py::arg("selection"), py::arg("format"));

  py::class_<Geraet>(m, "Device")
      .def(py::init<const std::string&, int, int, double, double>(), py::arg("port"), py::arg("baud"),
           py::arg("address"), py::arg("timeout"), py::arg("lock_timeout"))
      .def("close", &Geraet::Close)
      .def_property_readonly("open", &Geraet::Offen)
      .def_property_readonly("port", &Geraet::Pfad)
      .def_property_readonly("baud", &Geraet::Baud)
      .def_property_readonly("address", &Geraet::Adresse)
      .def_property_readonly("timeout", &Geraet::Timeout)
      .def_property_readonly("lock_timeout", &Geraet::Warten)
      .def("identity", &Geraet::Identity)
      .def("actual", &Geraet::Actual)
      .def("status", &Geraet::Status)
      .def("function", &Geraet::Funktion)
      .def("program_number", &Geraet::Programmnummer)
      .def("read", &Geraet::Lesen)
      .def("write", &Geraet::Schreiben);
  PruefplanBinden(m);
}

// Test plans in the compiled core: the same reading, judging and record as the
// command line. The device is the package's own Device, reached through a small
// adapter object of python/zpk3x/plan.py, so every frame goes through the
// package's locking and error classes.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "common/Dateizugriff.h"
#include "Pruefplan/Aufzeichnung.h"
#include "Pruefplan/Pruefplan.h"

namespace py = pybind11;

namespace {

[[noreturn]] void PlanfehlerWerfen(const Planfehler& f, const std::string& pfad) {
  py::dict a;
  a["code"] = -f.code;
  a["message"] = std::string(OLQ_Fehlermeldung(f.code)) + PlanfehlerDetail(pfad, f, OLQ_FehlerspracheLesen() == 2);
  if (!pfad.empty()) a["path"] = pfad;
  if (f.zeile > 0) a["line"] = f.zeile;
  if (f.spalte > 0) a["column"] = f.spalte;
  if (!f.text.empty()) a["reason"] = f.text;
  py::object ausnahme = py::module_::import("zpk3x.errors").attr("FileError")(**a);
  PyErr_SetObject(ausnahme.get_type().ptr(), ausnahme.ptr());
  throw py::error_already_set();
}

// The device through the adapter's methods; a raised zpk3x.errors.Error becomes
// its code, and its message is kept for the record.
class PythonGeraet final : public Pruefgeraet {
 public:
  explicit PythonGeraet(py::object adapter) : a_(std::move(adapter)) {}

  ErrorCode Kennung(std::string* kennung) override {
    return Rufen([&] { *kennung = a_.attr("identity")().cast<std::string>(); });
  }
  ErrorCode Schreiben(int n, const ProgramRecord& r) override {
    return Rufen([&] {
      a_.attr("write")(n, py::make_tuple(r.stromkurve, r.strom1, r.strom2, r.zeit1, r.zeit2, r.frequenz, r.spannung, r.zyklen,
                                         r.regelgeschwindigkeit, r.endstuferegeln));
    });
  }
  ErrorCode Lesen(int n, ProgramRecord* r) override {
    return Rufen([&] {
      const py::sequence s = a_.attr("read")(n);
      *r = {s[0].cast<std::int32_t>(), s[1].cast<double>(), s[2].cast<double>(), s[3].cast<double>(),
            s[4].cast<double>(), s[5].cast<double>(), s[6].cast<double>(), s[7].cast<double>(),
            s[8].cast<double>(), s[9].cast<std::int32_t>()};
    });
  }
  ErrorCode Laden(int n) override {
    return Rufen([&] { a_.attr("load")(n); });
  }
  ErrorCode Funktion(const char* funktion) override {
    return Rufen([&] { a_.attr("function")(funktion); });
  }
  ErrorCode IstwerteLesen(Istwerte* w) override {
    return Rufen([&] {
      const py::tuple t = a_.attr("actual")();
      w->strom = t[0].cast<double>();
      w->spannung = t[1].cast<double>();
      w->status = t[2].cast<int>();
      w->gelesen = 3;
    });
  }
  std::string Meldung(ErrorCode code) override { return meldung_.empty() ? OLQ_Fehlermeldung(code) : meldung_; }

  // An exception of the caller's code (adapter or on_sample), raised once the run has ended.
  std::optional<py::error_already_set> fremd;
  static constexpr ErrorCode kUnerwartet = -7378;  // class "Unexpected error"

 private:
  // The run goes without the GIL (its waits must not hold other threads up);
  // each call into Python takes it.
  template <typename F>
  ErrorCode Rufen(F f) {
    py::gil_scoped_acquire gil;
    try {
      f();
      return 0;
    } catch (py::error_already_set& e) {
      // Only the package's own errors are the device's; anything else is a fault
      // of the caller: the run ends (with the device stopped), then it goes up.
      if (!e.matches(py::module_::import("zpk3x.errors").attr("Error"))) {
        if (!fremd.has_value()) fremd.emplace(std::move(e));
        return kUnerwartet;
      }
      const int code = e.value().attr("code").cast<int>();
      meldung_ = e.value().attr("message").cast<std::string>();
      return code == 0 ? -7000 : -code;
    } catch (const std::exception& e) {
      // A value of the wrong type from the adapter: raised as Python's own.
      if (!fremd.has_value()) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
        fremd.emplace();
      }
      return kUnerwartet;
    }
  }

  py::object a_;
  std::string meldung_;
};

struct PyPlan {
  Pruefplan plan;
};

struct PyProtokoll {
  Protokoll p;
};

}  // namespace

void PruefplanBinden(py::module_& m) {
  py::class_<PyProtokoll>(m, "Record")
      .def_property_readonly("outcome", [](const PyProtokoll& r) { return AusgangText(r.p.ausgang); })
      .def("json", [](const PyProtokoll& r) { return ProtokollJson(r.p).dump(); })
      .def("summary", [](const PyProtokoll& r) { return ProtokollZusammenfassung(r.p).dump(); })
      .def("junit", [](const PyProtokoll& r) { return ProtokollJunit(r.p); })
      .def("csv", [](const PyProtokoll& r) { return ProtokollCsv(r.p); })
      .def("html", [](const PyProtokoll& r) { return ProtokollHtml(r.p); })
      .def("save", [](const PyProtokoll& r, const std::string& ordner) {
        std::string angelegt;
        int sys = 0;
        const ErrorCode err = ProtokollAblegen(r.p, ordner, &angelegt, &sys);
        if (err != 0) {
          using namespace pybind11::literals;
          py::object ausnahme = py::module_::import("zpk3x.errors")
                                    .attr("FileError")(-err, std::string(OLQ_Fehlermeldung(err)) + "\n" + angelegt,
                                                       "path"_a = angelegt,
                                                       "reason"_a = sys != 0 ? py::object(py::str(Systemgrund(sys))) : py::object(py::none()),
                                                       "errno"_a = sys != 0 ? py::object(py::int_(sys)) : py::object(py::none()));
          PyErr_SetObject(ausnahme.get_type().ptr(), ausnahme.ptr());
          throw py::error_already_set();
        }
        return angelegt;
      });

  py::class_<PyPlan>(m, "Plan")
      .def_static("parse",
                  [](const std::string& text, const std::string& ordner) {
                    PyPlan p;
                    Planfehler f;
                    if (PlanLesen(text, ordner, &p.plan, &f) != 0) PlanfehlerWerfen(f, "");
                    return p;
                  })
      .def_static("load",
                  [](const std::string& pfad) {
                    PyPlan p;
                    Planfehler f;
                    if (PlanDateiLesen(pfad, &p.plan, &f) != 0) PlanfehlerWerfen(f, pfad);
                    return p;
                  })
      .def_property_readonly("name", [](const PyPlan& p) { return p.plan.name; })
      .def_property_readonly("description", [](const PyPlan& p) { return p.plan.beschreibung; })
      .def_property_readonly("file", [](const PyPlan& p) { return p.plan.datei; })
      .def_property_readonly("sha256", [](const PyPlan& p) { return p.plan.sha256; })
      .def_property_readonly("steps", [](const PyPlan& p) {
        py::list l;
        for (const Schritt& s : p.plan.schritte) l.append(s.name);
        return l;
      })
      .def("run", [](const PyPlan& p, py::object adapter, const std::string& serial, const std::string& bediener,
                     const std::string& station, const std::string& port, int baud, int adresse,
                     std::function<void(int, double, double, double, int)> beiProbe, bool englisch) {
        Planfehler f;
        if (PlanFuerLeitungPruefen(p.plan, baud, &f, englisch) != 0) PlanfehlerWerfen(f, p.plan.datei);
        Laufangaben a;
        a.seriennummer = serial;
        a.bediener = bediener;
        a.station = station;
        a.port = port;
        a.baudrate = baud;
        a.adresse = static_cast<char>('0' + adresse);
        a.englisch = englisch;
        a.programm = "zpk3x (Python)";
        // Ctrl+C in the interpreter ends the run as ABORTED, with the device stopped.
        PythonGeraet g(std::move(adapter));
        bool unterbrochen = false;
        a.abbrechen = [&unterbrochen, &g] {
          if (unterbrochen || g.fremd.has_value()) return true;
          py::gil_scoped_acquire gil;
          if (PyErr_CheckSignals() != 0) {
            PyErr_Clear();
            unterbrochen = true;
          }
          return unterbrochen;
        };
        if (beiProbe) {
          a.beiProbe = [&beiProbe, &g](int i, const Probe& pr) {
            if (g.fremd.has_value()) return;
            try {
              beiProbe(i, pr.t, pr.strom, pr.spannung, pr.status);
            } catch (py::error_already_set& e) {
              g.fremd.emplace(std::move(e));
            }
          };
        }
        PyProtokoll r;
        {
          py::gil_scoped_release frei;
          r.p = PlanAusfuehren(p.plan, g, a);
        }
        if (g.fremd.has_value()) {
          py::error_already_set e = std::move(*g.fremd);
          g.fremd.reset();
          throw e;
        }
        return r;
      });
}

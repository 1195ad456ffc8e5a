// Any text as a test plan: either a plan whose every value is inside the device's
// ranges, or a fault with its code, line, column and reason, and the caller's plan
// untouched. Program files named by the plan are looked for in a folder of three.
#include "OLQ_errorV3/OLQ_errorV3.h"
#include "Programmtransfer/Programmtransfer.h"
#include "Pruefplan/Pruefplan.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string gDir;

const char* const kDateien[][2] = {
    {"prog.json",
     "{\"auswahl\":1,\"programme\":[{\"slot\":1,\"stromkurve\":1,\"strom1\":0.1,\"strom2\":0.5,\"zeit1\":1000,"
     "\"zeit2\":1000,\"frequenz\":1000,\"spannung\":12,\"zyklen\":1,\"regelgeschwindigkeit\":100,"
     "\"endstuferegeln\":0}]}"},
    {"prog.csv",
     "slot,auswahl,stromkurve,strom1,strom2,zeit1,zeit2,frequenz,spannung,zyklen,regelgeschwindigkeit,endstuferegeln\n"
     "2,1,1,0.1,0.5,1000,1000,1000,12,1,100,0\n"},
    // Out of range: a plan naming it must be refused.
    {"weit.csv",
     "slot,auswahl,stromkurve,strom1,strom2,zeit1,zeit2,frequenz,spannung,zyklen,regelgeschwindigkeit,endstuferegeln\n"
     "1,1,1,99,0.5,1000,1000,1000,12,1,100,0\n"},
};

void RemoveDir() {
  for (const auto& d : kDateien) std::remove((gDir + "/" + d[0]).c_str());
  ::rmdir(gDir.c_str());
}

const std::string& Dir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/planlesen_fuzz_XXXXXX";
    if (!::mkdtemp(pattern)) std::abort();
    gDir = pattern;
    for (const auto& d : kDateien) {
      std::FILE* f = std::fopen((gDir + "/" + d[0]).c_str(), "wb");
      if (!f) std::abort();
      std::fputs(d[1], f);
      std::fclose(f);
    }
    std::atexit(RemoveDir);
    return gDir;
  }();
  return dir;
}

bool Endlich(double v, double oben) { return std::isfinite(v) && v >= 0 && v <= oben; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Both languages of the reasons, chosen by the input so that a crash replays.
  OLQ_Fehlersprache(size % 2 == 0 ? 2 : 1);
  Pruefplan plan;
  plan.name = "unberuehrt";
  Planfehler f;
  const ErrorCode err = PlanLesen(text, Dir(), &plan, &f);
  if (err != 0) {
    if (f.code != err || f.text.empty() || plan.name != "unberuehrt" || !plan.schritte.empty()) std::abort();
    // Every fault of the text itself stands somewhere in it.
    if (f.zeile < 1 || f.spalte < 1) std::abort();
    if (PlanfehlerDetail("p.toml", f, true).find(", line ") == std::string::npos) std::abort();
    return 0;
  }
  if (plan.schritte.empty() || plan.sha256.size() != 64) std::abort();
  for (const Schritt& s : plan.schritte) {
    if (s.name.empty()) std::abort();
    if (s.art == Schrittart::Schreiben) {
      if (s.programm < 0 || s.programm > 16) std::abort();
      for (const Programmfeld& feld : PROGRAMMFELDER)
        if (!FeldImBereich(s.satz, feld)) std::abort();
    }
    if (s.art == Schrittart::Laden && (s.programm < 1 || s.programm > 16)) std::abort();
    if (!Endlich(s.dauer, 7 * 24 * 3600.0) || !Endlich(s.einschwingen, 7 * 24 * 3600.0)) std::abort();
    if (s.art == Schrittart::Messen) {
      if (!(s.intervall > 0) || !std::isfinite(s.intervall) || s.dauer / s.intervall > 2e6) std::abort();
      for (const Grenze& g : s.grenzen)
        if (std::isnan(g.unten) || std::isnan(g.oben) || g.text.empty()) std::abort();
    }
  }
  return 0;
}

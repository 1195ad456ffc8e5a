#include "zpk3x-cli/Mitschnitt.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "Geraetemeldungen/Geraetemeldungen.h"
#include "Verlauf/VerlaufDaten.h"
#include "rs232/rs232.h"
#include "zpk3x-cli/Ausgabe.h"

namespace {

constexpr char kCr = '\r';
constexpr char kAck = 0x06, kNak = 0x15, kCan = 0x18;

// The answer received so far and the time of its first byte.
struct Empfang {
  std::string bytes;
  std::int64_t zeitMs = 0;
};
Empfang gEmpfang;
bool gEin = false;

std::string Lesbar(const std::string& bytes) { return BytesLesbar(bytes.data(), static_cast<int>(bytes.size())); }

void Zeile(std::int64_t zeitMs, const char* richtung, const std::string& text) {
  std::fprintf(stderr, "%s %s %s\n", VerlaufZeitstempel(zeitMs).c_str(), richtung, text.c_str());
  std::fflush(stderr);
}

void EmpfangZeigen() {
  if (gEmpfang.bytes.empty()) return;
  Zeile(gEmpfang.zeitMs, "<-", Lesbar(gEmpfang.bytes));
  gEmpfang.bytes.clear();
}

void Beobachten(int, int gesendet, const char* bytes, int anzahl, void*) {
  if (gesendet == 2) {
    EmpfangZeigen();
    Zeile(VerlaufJetztMs(), "!!", std::string(bytes, static_cast<std::size_t>(anzahl)));
    return;
  }
  if (gesendet != 0) {
    EmpfangZeigen();
    Zeile(VerlaufJetztMs(), "->", Lesbar(std::string(bytes, static_cast<std::size_t>(anzahl))));
    return;
  }
  if (anzahl < 0) {
    // A read that timed out ends what arrived; with nothing before it, it is the answer.
    if (gEmpfang.bytes.empty()) Zeile(VerlaufJetztMs(), "<-", T("(nichts innerhalb des Zeitlimits)", "(nothing within the time-out)"));
    EmpfangZeigen();
    return;
  }
  if (gEmpfang.bytes.empty()) gEmpfang.zeitMs = VerlaufJetztMs();
  gEmpfang.bytes += bytes[0];
  // CR ends an answer; a lone acknowledgement is an answer of its own.
  const char c = bytes[0];
  if (c == kCr || (gEmpfang.bytes.size() == 1 && (c == kAck || c == kNak || c == kCan))) EmpfangZeigen();
}

}  // namespace

void MitschnittEinschalten() {
  gEin = true;
  SetComTrace(Beobachten, nullptr);
}

void MitschnittAbschliessen() { EmpfangZeigen(); }

void MitschnittNachlesen(int port) {
  if (!gEin) return;
  // Ten character times of quiet at the slowest rate end it; at most 64 bytes.
  for (int i = 0; i < 64 && ComRdByteWithin(port, 0.08) >= 0; ++i) {
  }
  EmpfangZeigen();
}

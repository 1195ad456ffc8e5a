#include "zpk3x-cli/Mitschnitt.h"

#include <cstdint>
#include <cstdio>
#include <string>

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

// Printable ASCII as it is, the protocol's control bytes by name, the rest in hex.
std::string Lesbar(const std::string& bytes) {
  std::string aus;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (c == kAck) aus += "<ACK>";
    else if (c == kNak) aus += "<NAK>";
    else if (c == kCan) aus += "<CAN>";
    else if (c == kCr) aus += "<CR>";
    else if (b >= 0x20 && b < 0x7F && c != '\\') aus += c;
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      aus += hex;
    }
  }
  return aus;
}

void Zeile(std::int64_t zeitMs, const char* richtung, const std::string& text) {
  std::fprintf(stderr, "%s %s %s\n", VerlaufZeitstempel(zeitMs).c_str(), richtung, text.c_str());
  std::fflush(stderr);
}

void EmpfangZeigen() {
  if (gEmpfang.bytes.empty()) return;
  std::string bytes = gEmpfang.bytes;
  if (bytes.back() == kCr) bytes.pop_back();
  Zeile(gEmpfang.zeitMs, "<-", Lesbar(bytes));
  gEmpfang.bytes.clear();
}

void Beobachten(int, int gesendet, const char* bytes, int anzahl, void*) {
  if (gesendet != 0) {
    EmpfangZeigen();
    std::string frame(bytes, static_cast<std::size_t>(anzahl));
    if (!frame.empty() && frame.back() == kCr) frame.pop_back();
    Zeile(VerlaufJetztMs(), "->", Lesbar(frame));
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

void MitschnittEinschalten() { SetComTrace(Beobachten, nullptr); }

void MitschnittAbschliessen() { EmpfangZeigen(); }

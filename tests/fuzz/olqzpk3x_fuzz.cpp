// Random device answers for every kind of transaction: the first input byte picks
// the operation, the rest is what the device sends back.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232_seam.h"

namespace {

constexpr int kPort = 1;

void check(bool ok) {
  if (!ok) __builtin_trap();
}

// Every result is 0 or a negative code of the classes the driver reports.
void checkCode(ErrorCode r) {
  if (r == 0) return;
  check(r < 0);
  int cls = -r / 1000;
  check(cls == 101 || cls == 112 || cls == 114 || cls == 123 || cls == 124 || (cls >= 400 && cls <= 409) ||
        cls == 500);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Rs232Seam_Reset();
  Rs232Seam_ScriptPort(kPort, reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
  if (OLQZPK3X_Open(kPort, 9600) != 0) __builtin_trap();
  const char adresse = (data[0] & 0x80) != 0 ? '3' : '1';

  double real = -1.0;
  int integer = -1;
  char identity[32];
  std::memset(identity, 'U', sizeof identity);
  ErrorCode r = 0;
  switch (data[0] % 9) {
    case 0: r = OLQZPK3X_ParameterLesen(kPort, adresse, "strom1", &real, nullptr, nullptr); break;
    case 1: r = OLQZPK3X_ParameterLesen(kPort, adresse, "stromkurve", nullptr, &integer, nullptr); break;
    case 2: r = OLQZPK3X_ParameterLesen(kPort, adresse, "status", nullptr, &integer, nullptr); break;
    case 3:
      r = OLQZPK3X_IDLesen(kPort, adresse, identity);
      if (r == 0) check(std::memchr(identity, '\0', 27) != nullptr);
      break;
    case 4: r = OLQVMB1_StatusLesen(kPort, adresse, 1, &integer); break;
    case 5:
      r = OLQVMB1_StatusLesen(kPort, adresse, 2, &integer);
      if (r == 0) check(integer >= 0 && integer <= 0xFF);
      break;
    case 6: r = OLQZPK3X_ParameterSchreiben(kPort, adresse, "spannung", 12.0, 0, 0); break;
    case 7: r = OLQZPK3X_DeviceFunction(kPort, adresse, "kalibrieren"); break;
    default: r = OLQVMB1_ProgrammUndSchrittEinstellen(kPort, adresse, 16, 3); break;
  }
  checkCode(r);
  if (data[0] % 9 == 0 && r == 0) check(real == real && real - real == 0.0);  // finite
  // A second command reads what is left: after a transaction without an answer it
  // succeeds only after a proof of step, a read whose echo came, sent just before it.
  const bool ohneAntwort = r != 0 && -r / 1000 == 403;
  const ErrorCode zweite = OLQZPK3X_DeviceFunction(kPort, adresse, "stopp");
  checkCode(zweite);
  if (ohneAntwort && zweite == 0) {
    char gesendet[512];
    const int n = Rs232Seam_ScriptedSent(gesendet, sizeof gesendet);
    int rahmen = 0;
    const char* vorletzter = nullptr;
    const char* letzter = gesendet;
    for (int i = 0; i < n && i < static_cast<int>(sizeof gesendet); ++i) {
      if (gesendet[i] != '\r') continue;
      ++rahmen;
      if (i + 1 < n) {
        vorletzter = letzter;
        letzter = gesendet + i + 1;
      }
    }
    // The first operation's frame, the check (a read: its command ends in R), the command.
    check(rahmen >= 3 && vorletzter != nullptr && letzter - vorletzter >= 2 && letzter[-2] == 'R');
  }
  OLQZPK3X_Close(kPort);
  return 0;
}

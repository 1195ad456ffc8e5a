// The command line's operating-system services on POSIX.
#include <signal.h>
#include <unistd.h>

#include "zpk3x-cli/Plattform.h"

namespace {

volatile sig_atomic_t gAbbruch = 0;

void AbbruchMerken(int) { gAbbruch = 1; }

}  // namespace

void AusgabeEinrichten() {}

void StromBinaer(int) {}

bool IstTerminal(int stream) { return ::isatty(stream == 1 ? STDOUT_FILENO : STDERR_FILENO) == 1; }

void AbbruchAbfangen() {
  struct sigaction sa {};
  sa.sa_handler = AbbruchMerken;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

bool AbbruchVerlangt() { return gAbbruch != 0; }

char** ArgumenteInUtf8(int, char** argv) { return argv; }

void DateigrenzeAlsFehler() { ::signal(SIGXFSZ, SIG_IGN); }

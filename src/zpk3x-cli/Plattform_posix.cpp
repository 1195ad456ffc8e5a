// The command line's operating-system services on POSIX.
#include <signal.h>
#include <unistd.h>

#include "zpk3x-cli/Plattform.h"

namespace {

volatile sig_atomic_t gAbbruch = 0;

// The first request counts: the command ends cleanly, putting back what it
// changed where the line allows. A second one ends the process at once.
void AbbruchMerken(int signal) {
  if (gAbbruch != 0) ::_exit(128 + gAbbruch);
  gAbbruch = signal;
}

}  // namespace

void AusgabeEinrichten() {}

void StromBinaer(int) {}

bool IstTerminal(int stream) { return ::isatty(stream == 1 ? STDOUT_FILENO : STDERR_FILENO) == 1; }

void AbbruchAbfangen() {
  struct sigaction sa {};
  sa.sa_handler = AbbruchMerken;
  sigemptyset(&sa.sa_mask);
  // Without SA_RESTART: a wait for the device wakes, sees the flag only after its
  // byte or its time-out, and the frame in flight is still answered.
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

bool AbbruchVerlangt() { return gAbbruch != 0; }

char** ArgumenteInUtf8(int, char** argv) { return argv; }

void DateigrenzeAlsFehler() { ::signal(SIGXFSZ, SIG_IGN); }

int AbbruchStatus() { return gAbbruch == 0 ? 0 : 128 + gAbbruch; }

bool OberflaecheDeutsch() { return false; }

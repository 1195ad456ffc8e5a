// The command line's operating-system services on Windows.
#include <windows.h>
#include <io.h>

#include <atomic>

#include "zpk3x-cli/Plattform.h"

namespace {

// 0, or the exit status of the first request: 130 as for SIGINT, 143 as for SIGTERM.
std::atomic<int> gAbbruch{0};

BOOL WINAPI AbbruchMerken(DWORD art) {
  if (art == CTRL_C_EVENT || art == CTRL_BREAK_EVENT || art == CTRL_CLOSE_EVENT) {
    int keiner = 0;
    gAbbruch.compare_exchange_strong(keiner, art == CTRL_C_EVENT ? 130 : 143);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

void AusgabeEinrichten() { SetConsoleOutputCP(CP_UTF8); }

bool IstTerminal(int stream) { return _isatty(stream == 1 ? 1 : 2) != 0; }

void AbbruchAbfangen() { SetConsoleCtrlHandler(AbbruchMerken, TRUE); }

bool AbbruchVerlangt() { return gAbbruch != 0; }

int AbbruchStatus() { return gAbbruch; }

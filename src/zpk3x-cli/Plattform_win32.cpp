// The command line's operating-system services on Windows.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <atomic>

#include "zpk3x-cli/Plattform.h"

namespace {

std::atomic<bool> gAbbruch{false};

BOOL WINAPI AbbruchMerken(DWORD art) {
  if (art == CTRL_C_EVENT || art == CTRL_BREAK_EVENT || art == CTRL_CLOSE_EVENT) {
    gAbbruch = true;
    return TRUE;
  }
  return FALSE;
}

}  // namespace

void AusgabeEinrichten() { SetConsoleOutputCP(CP_UTF8); }

void StromBinaer(int stream) { _setmode(stream == 0 ? 0 : 1, _O_BINARY); }

bool IstTerminal(int stream) { return _isatty(stream == 1 ? 1 : 2) != 0; }

void AbbruchAbfangen() { SetConsoleCtrlHandler(AbbruchMerken, TRUE); }

bool AbbruchVerlangt() { return gAbbruch; }

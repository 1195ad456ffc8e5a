// The command line's operating-system services on Windows.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <string>
#include <vector>

#include "common/Dateizugriff.h"

#include "zpk3x-cli/Plattform.h"

namespace {

// 0, or the exit status of the first request: 130 as for SIGINT, 143 as for SIGTERM.
std::atomic<int> gAbbruch{0};

BOOL WINAPI AbbruchMerken(DWORD art) {
  if (art == CTRL_C_EVENT || art == CTRL_BREAK_EVENT || art == CTRL_CLOSE_EVENT) {
    int keiner = 0;
    // A second request ends the process at once.
    if (!gAbbruch.compare_exchange_strong(keiner, art == CTRL_C_EVENT ? 130 : 143)) ExitProcess(static_cast<UINT>(keiner));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

void AusgabeEinrichten() { SetConsoleOutputCP(CP_UTF8); }

void StromBinaer(int stream) { _setmode(stream == 0 ? 0 : 1, _O_BINARY); }

bool IstTerminal(int stream) { return _isatty(stream == 1 ? 1 : 2) != 0; }

void AbbruchAbfangen() { SetConsoleCtrlHandler(AbbruchMerken, TRUE); }

bool AbbruchVerlangt() { return gAbbruch != 0; }

int AbbruchStatus() { return gAbbruch; }

char** ArgumenteInUtf8(int argc, char** argv) {
  int anzahl = 0;
  LPWSTR* breit = CommandLineToArgvW(GetCommandLineW(), &anzahl);
  if (breit == nullptr || anzahl != argc) {
    if (breit != nullptr) LocalFree(breit);
    return argv;
  }
  // Held for the whole run, as argv is.
  static std::vector<std::string> texte;
  static std::vector<char*> zeiger;
  for (int i = 0; i < anzahl; ++i) texte.push_back(Utf8AusBreit(breit[i]));
  LocalFree(breit);
  for (std::string& t : texte) zeiger.push_back(t.data());
  zeiger.push_back(nullptr);
  return zeiger.data();
}

void DateigrenzeAlsFehler() {}

bool OberflaecheDeutsch() { return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_GERMAN; }

#include <csignal>
#include <cstdio>
#include <cstring>

#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace {

const char kHilfe[] =
    "usage: zpk3x [--help | --version]\n"
    "\n"
    "Operator program for the ZPK-3X test device: find the device, read, edit, file\n"
    "and write its 16 programs, start, stop and calibrate it, and watch its actual\n"
    "current, voltage and status.\n"
    "\n"
    "It keeps its configuration zpk3xSteuerung.ini in the working directory. Port n\n"
    "(1 to 8) is the device named by the environment variable ZPK3X_COM<n>, else\n"
    "/dev/ttyS<n-1>; ZPK3X_COM<n> may also name a serial device server on the\n"
    "network, rfc2217://HOST:PORT or tcp://HOST:PORT. Examples, port 1:\n"
    "  ZPK3X_COM1=/dev/ttyUSB0 zpk3x\n"
    "  ZPK3X_COM1=rfc2217://bench-3:2001 zpk3x\n"
    "\n"
    "With ZPK3X_MQTT=mqtt[s]://[USER@]HOST[:PORT]/PREFIX (and ZPK3X_MQTT_STATION,\n"
    "ZPK3X_MQTT_CA, ZPK3X_MQTT_PASSWORD), or the same keys in a section [MQTT] of\n"
    "zpk3xSteuerung.ini, its queries are also published to an MQTT broker, as by\n"
    "zpk3x-cli monitor --mqtt.\n"
    "\n"
    "  --help     print this text and exit\n"
    "  --version  print the version and exit\n";

}  // namespace

int main(int argc, char* argv[]) {
#ifdef SIGXFSZ
  // A save or recording past a file-size limit then fails with its message, the
  // old file kept, instead of the signal ending the program without a word.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  // Answered before any display is needed, so both work in a plain terminal; every
  // other argument is left to the window as before.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kHilfe, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("zpk3x " ZPK3X_VERSION);
      return 0;
    }
  }
  return Zpk3xMain(argc, argv);
}

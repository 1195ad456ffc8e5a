// COM ports as the system's device namespace knows them.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "rs232/Schnittstellen.h"

namespace {

bool IstComName(const char* name) {
  if ((name[0] != 'C' && name[0] != 'c') || (name[1] != 'O' && name[1] != 'o') || (name[2] != 'M' && name[2] != 'm'))
    return false;
  const char* ziffern = name + 3;
  if (*ziffern == '\0') return false;
  for (const char* c = ziffern; *c != '\0'; ++c)
    if (!std::isdigit(static_cast<unsigned char>(*c))) return false;
  return true;
}

}  // namespace

std::vector<Schnittstelle> SchnittstellenAuflisten(const std::string&, const std::string&) {
  std::vector<Schnittstelle> liste;
  // The list of every DOS device name grows with the machine: ask until it fits.
  std::vector<char> namen(65536);
  DWORD n = 0;
  while ((n = QueryDosDeviceA(nullptr, namen.data(), static_cast<DWORD>(namen.size()))) == 0 &&
         GetLastError() == ERROR_INSUFFICIENT_BUFFER && namen.size() < (1u << 24)) {
    namen.resize(namen.size() * 2);
  }
  for (const char* name = namen.data(); n > 0 && name < namen.data() + n && *name != '\0'; name += std::strlen(name) + 1) {
    if (!IstComName(name)) continue;
    Schnittstelle s;
    s.pfad = name;
    char ziel[1024] = {};
    if (QueryDosDeviceA(name, ziel, sizeof ziel) != 0) s.ziel = ziel;
    liste.push_back(std::move(s));
  }
  std::sort(liste.begin(), liste.end(), [](const Schnittstelle& a, const Schnittstelle& b) {
    return a.pfad.size() != b.pfad.size() ? a.pfad.size() < b.pfad.size() : a.pfad < b.pfad;
  });
  return liste;
}

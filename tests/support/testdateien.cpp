#include "testdateien.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace testdateien {

Arbeitsverzeichnis::Arbeitsverzeichnis() {
  vorher_ = std::filesystem::current_path().string();
  char vorlage[] = "/tmp/zpk3x-test-XXXXXX";
  const char* p = mkdtemp(vorlage);
  pfad_ = p != nullptr ? p : "";
  if (!pfad_.empty()) std::filesystem::current_path(pfad_);
}

Arbeitsverzeichnis::~Arbeitsverzeichnis() {
  std::error_code ec;
  std::filesystem::current_path(vorher_, ec);
  if (!pfad_.empty()) std::filesystem::remove_all(pfad_, ec);
}

void DateiSchreiben(const std::string& pfad, const std::string& inhalt) {
  std::ofstream f(pfad, std::ios::binary);
  f << inhalt;
}

std::string DateiLesen(const std::string& pfad) {
  std::ifstream f(pfad, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace testdateien

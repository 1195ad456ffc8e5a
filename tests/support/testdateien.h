#pragma once
// Files for tests: a working directory of the test's own, and whole-file reads
// and writes.
#include <string>

namespace testdateien {

// A fresh, empty working directory that the process changes into; removed at the end.
class Arbeitsverzeichnis {
 public:
  Arbeitsverzeichnis();
  ~Arbeitsverzeichnis();
  Arbeitsverzeichnis(const Arbeitsverzeichnis&) = delete;
  Arbeitsverzeichnis& operator=(const Arbeitsverzeichnis&) = delete;
  const std::string& pfad() const { return pfad_; }

 private:
  std::string pfad_;
  std::string vorher_;
};

void DateiSchreiben(const std::string& pfad, const std::string& inhalt);
std::string DateiLesen(const std::string& pfad);  // "" when missing

}  // namespace testdateien

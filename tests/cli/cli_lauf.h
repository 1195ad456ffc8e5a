#pragma once
// Runs zpk3x-cli as a separate process in a test and collects what it printed.
#include <string>
#include <vector>

namespace clitest {

struct Ergebnis {
  int status = -1;   // exit status; -1 when it did not end normally
  std::string aus;   // standard output
  std::string err;   // standard error
};

// Runs the command with these arguments in the current directory and waits for it.
Ergebnis Cli(const std::vector<std::string>& argumente);

// Starts the command without waiting; Beenden() sends SIGINT and collects it.
class Hintergrund {
 public:
  explicit Hintergrund(const std::vector<std::string>& argumente);
  ~Hintergrund();
  Hintergrund(const Hintergrund&) = delete;
  Hintergrund& operator=(const Hintergrund&) = delete;
  Ergebnis Beenden();

 private:
  int pid_ = -1;
  int aus_ = -1, err_ = -1;
};

// A fresh working directory that the process changes into; removed at the end.
class Arbeitsverzeichnis {
 public:
  Arbeitsverzeichnis();
  ~Arbeitsverzeichnis();
  Arbeitsverzeichnis(const Arbeitsverzeichnis&) = delete;
  Arbeitsverzeichnis& operator=(const Arbeitsverzeichnis&) = delete;

 private:
  std::string pfad_, vorher_;
};

std::string DateiLesen(const std::string& pfad);  // "" when missing
void DateiSchreiben(const std::string& pfad, const std::string& inhalt);
bool DateiDa(const std::string& pfad);

}  // namespace clitest

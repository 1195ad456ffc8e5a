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

// The same with "--port 1" in front.
Ergebnis AnPort1(std::vector<std::string> argumente);

// The same with standard input read from the file `eingabe`.
Ergebnis CliMitEingabe(const std::vector<std::string>& argumente, const std::string& eingabe);

// The same with standard output written to the file `ausgabe` (e.g. /dev/full).
Ergebnis CliMitAusgabe(const std::vector<std::string>& argumente, const std::string& ausgabe);

// The same with standard error on a terminal (what it printed there in `err`).
Ergebnis CliAmTerminal(const std::vector<std::string>& argumente);

// Starts the command without waiting; Beenden() sends a signal (SIGINT unless
// told otherwise) and collects it.
class Hintergrund {
 public:
  explicit Hintergrund(const std::vector<std::string>& argumente);
  ~Hintergrund();
  Hintergrund(const Hintergrund&) = delete;
  Hintergrund& operator=(const Hintergrund&) = delete;
  Ergebnis Beenden(int signal = 2);
  int Pid() const { return pid_; }

 private:
  int pid_ = -1;
  int aus_ = -1, err_ = -1;
};

bool DateiDa(const std::string& pfad);

inline bool Enthaelt(const std::string& text, const std::string& teil) { return text.find(teil) != std::string::npos; }

}  // namespace clitest

// zpk3x-cli and the file system working against it: option values that are no
// numbers, a file-size limit, a full disk, links planted in a shared folder, and
// what it says about a file it cannot use.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim_harness.h"
#include "testdateien.h"
#include "Programmformate/Programmformate.h"

namespace {

using testdateien::DateiLesen;
using testdateien::DateiSchreiben;
using Strings = std::vector<std::string>;

struct Lauf {
  int status = -1;
  std::string aus, err;
};

bool Enthaelt(const std::string& text, const std::string& teil) { return text.find(teil) != std::string::npos; }

// The command through the shell, behind `vorne` (a limit, a time-out), so that a
// process killed by a signal shows as the shell reports it (128 + signal).
Lauf Shell(const std::string& vorne, const Strings& argumente) {
  std::string befehl = vorne + " " + ZPK3X_CLI;
  for (const std::string& a : argumente) befehl += " '" + a + "'";
  befehl += " > aus.txt 2> err.txt";
  const int rc = std::system(befehl.c_str());
  return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, DateiLesen("aus.txt"), DateiLesen("err.txt")};
}

class Dateisystem : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("LANG");
    ASSERT_TRUE(sim_.ok());
    sim_.mapToCom(1);
    DateiSchreiben("t.zpk", TabelleAlsZpk(StandardTabelle()));
  }
  testdateien::Arbeitsverzeichnis verzeichnis_;
  simtest::Simulator sim_;
};

// NaN passed the range check and left the monitor spinning, deaf to every signal.
TEST_F(Dateisystem, JedeReelleOptionWeistNanUndUnendlichZurueck) {
  const std::pair<Strings, std::string> optionen[] = {
      {{"--timeout", "X", "id"}, "--timeout: X is not a number from 0.001 to 60"},
      {{"monitor", "--interval", "X", "--duration", "0.1"}, "--interval: X is not a number from 0.01 to 86400"},
      {{"monitor", "--duration", "X"}, "--duration: X is not a number from 0 to 1000000000"},
  };
  for (const auto& [muster, meldung] : optionen) {
    for (const std::string wert : {"nan", "-nan", "inf", "-inf", "1e999", "0x10"}) {
      Strings argumente = {"--port", "1"};
      for (const std::string& a : muster) argumente.push_back(a == "X" ? wert : a);
      const Lauf r = Shell("timeout -k 1 10", argumente);
      std::string erwartet = meldung;
      erwartet.replace(erwartet.find('X'), 1, wert);
      EXPECT_EQ(r.status, 2) << muster[0] << " " << wert;
      EXPECT_TRUE(Enthaelt(r.err, erwartet)) << r.err;
    }
  }
  EXPECT_TRUE(sim_.frames().empty());
}

// Past a file-size limit the write fails like any other: the message with the
// system's reason, no temporary file, the old file as it was.
TEST_F(Dateisystem, DateigroessengrenzeIstEinSchreibfehler) {
  DateiSchreiben("alt.json", "alt");
  Lauf r = Shell("prlimit --fsize=1000", {"convert", "t.zpk", "alt.json"});
  EXPECT_EQ(r.status, 5);
  EXPECT_TRUE(Enthaelt(r.err, "Error #301307: Error writing to file\nalt.json: File too large")) << r.err;
  EXPECT_EQ(DateiLesen("alt.json"), "alt");
  int dateien = 0;
  for (const auto& e : std::filesystem::directory_iterator(".")) dateien += e.path().filename().string()[0] == '.';
  EXPECT_EQ(dateien, 0);

  r = Shell("prlimit --fsize=400", {"--port", "1", "monitor", "--interval", "0.01", "-o", "m.csv"});
  EXPECT_EQ(r.status, 5);
  // The monitor's table on standard output may reach the limit first.
  EXPECT_TRUE(Enthaelt(r.err, "m.csv: File too large") || Enthaelt(r.err, "standard output: File too large")) << r.err;
  const std::string csv = DateiLesen("m.csv");
  EXPECT_GT(std::count(csv.begin(), csv.end(), '\n'), 2);
  EXPECT_EQ(csv.back(), '\n');
}

// A disk that fills up in the middle of a line: the recording ends with its last
// complete line.
TEST_F(Dateisystem, VolleFestplatteLaesstNurGanzeZeilen) {
  std::filesystem::create_directory("klein");
  if (::mount("tmpfs", "klein", "tmpfs", 0, "size=8k") != 0) GTEST_SKIP() << "no tmpfs can be mounted here";
  const Lauf r = Shell("timeout -k 1 30", {"--port", "1", "monitor", "--interval", "0.01", "-o", "klein/m.csv"});
  const std::string csv = DateiLesen("klein/m.csv");
  // A JSON document on standard output that the disk cuts off part way (one
  // page is left for its 4.5 KB) is no success either.
  std::filesystem::remove("klein/m.csv");
  DateiSchreiben("klein/voll", std::string(4096, 'x'));
  const int rc = std::system((std::string(ZPK3X_CLI) + " --port 1 --json read all > klein/r.json 2> err.txt").c_str());
  const std::string teil = DateiLesen("klein/r.json");
  ::umount("klein");
  EXPECT_EQ(r.status, 5);
  EXPECT_TRUE(Enthaelt(r.err, "klein/m.csv: No space left on device")) << r.err;
  ASSERT_GT(csv.size(), 4000u);
  EXPECT_EQ(csv.back(), '\n');
  EXPECT_EQ(WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, 5);
  EXPECT_TRUE(Enthaelt(DateiLesen("err.txt"), "standard output: No space left on device")) << DateiLesen("err.txt");
  EXPECT_FALSE(teil.empty());
}

// Another user's link in a sticky, world-writable folder is not followed (the
// kernel's rule for such folders); the caller's own link is.
TEST_F(Dateisystem, FremderLinkImGemeinsamenOrdnerWirdNichtVerfolgt) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the link to another user";
  std::filesystem::create_directory("gemeinsam");
  ASSERT_EQ(::chmod("gemeinsam", 01777), 0);
  DateiSchreiben("geheim", "geheim");
  ASSERT_EQ(::chmod("geheim", 0600), 0);
  for (const char* name : {"gemeinsam/out.json", "gemeinsam/m.csv"}) {
    ASSERT_EQ(::symlink("../geheim", name), 0);
    ASSERT_EQ(::lchown(name, 65534, 65534), 0);
  }
  Lauf r = Shell("", {"convert", "t.zpk", "gemeinsam/out.json"});
  EXPECT_EQ(r.status, 5);
  EXPECT_TRUE(Enthaelt(r.err, "gemeinsam/out.json: Permission denied")) << r.err;
  r = Shell("", {"--port", "1", "monitor", "--duration", "0.1", "-o", "gemeinsam/m.csv"});
  EXPECT_EQ(r.status, 5);
  EXPECT_EQ(DateiLesen("geheim"), "geheim");

  ASSERT_EQ(::symlink("../mein.json", "gemeinsam/mein.json"), 0);
  r = Shell("", {"convert", "t.zpk", "gemeinsam/mein.json"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::is_symlink("gemeinsam/mein.json"));
  EXPECT_EQ(DateiLesen("mein.json"), TabelleAlsJson(StandardTabelle()));
}

// What is wrong with an input file, said in plain words with its place.
TEST_F(Dateisystem, EingabedateiFehlerNennenUrsacheUndStelle) {
  std::filesystem::create_directory("ordner.json");
  DateiSchreiben("leer.zpk", "");
  DateiSchreiben("gross.json", std::string(FORMAT_GROESSTE_DATEI + 1, ' '));
  DateiSchreiben("kaputt.json", "{\n  \"auswahl\": 0\n  \"programme\": []\n}\n");
  std::string ohne = TabelleAlsJson(StandardTabelle());
  const std::size_t feld = ohne.find("\"strom1\"", ohne.find("\"slot\": 5"));
  ohne.erase(feld, ohne.find("\"strom2\"", feld) - feld);
  DateiSchreiben("ohne.json", ohne);
  DateiSchreiben("bom.csv", "\xEF\xBB\xBF" + TabelleAlsCsv(StandardTabelle()));
  const std::pair<std::string, std::string> faelle[] = {
      {"fehlt.zpk", "Error #308305: Error opening file\nfehlt.zpk: No such file or directory"},
      {"ordner.json", "ordner.json: Is a directory"},
      {"leer.zpk", "leer.zpk: the file has 0 bytes, a program file has 1408"},
      {"gross.json", "gross.json: larger than the limit for program files, 1 MiB (1048576 bytes)"},
      {"kaputt.json", "kaputt.json, line 3, column 13: not valid JSON"},
      {"ohne.json", "ohne.json: program 5: field strom1 is missing"},
  };
  for (const auto& [datei, meldung] : faelle) {
    const Lauf r = Shell("", {"show", datei});
    EXPECT_EQ(r.status, 5) << datei;
    EXPECT_TRUE(Enthaelt(r.err, meldung)) << r.err;
  }
  EXPECT_EQ(Shell("", {"show", "bom.csv"}).status, 0);

  // The same facts as separate keys of the JSON error object.
  const auto kaputt = nlohmann::json::parse(Shell("", {"--json", "show", "kaputt.json"}).aus)["error"];
  EXPECT_EQ(kaputt["file"], "kaputt.json");
  EXPECT_EQ(kaputt["line"], 3);
  EXPECT_EQ(kaputt["column"], 13);
  const auto ohneFeld = nlohmann::json::parse(Shell("", {"--json", "show", "ohne.json"}).aus)["error"];
  EXPECT_EQ(ohneFeld["program"], 5);
  EXPECT_EQ(ohneFeld["field"], "strom1");
  const auto fehlt = nlohmann::json::parse(Shell("", {"--json", "show", "fehlt.zpk"}).aus)["error"];
  EXPECT_EQ(fehlt["reason"], "No such file or directory");
  EXPECT_EQ(fehlt["reason_code"], "ENOENT");
  const auto gross = nlohmann::json::parse(Shell("", {"--json", "show", "gross.json"}).aus)["error"];
  EXPECT_EQ(gross["file"], "gross.json");
  EXPECT_EQ(gross["limit"], FORMAT_GROESSTE_DATEI);
  std::string doppelt = TabelleAlsJson(StandardTabelle());
  doppelt.replace(doppelt.find("\"strom2\""), 8, "\"strom1\"");
  DateiSchreiben("doppelt.json", doppelt);
  const auto zweimal = nlohmann::json::parse(Shell("", {"--json", "show", "doppelt.json"}).aus)["error"];
  EXPECT_EQ(zweimal["field"], "strom1") << zweimal;
  EXPECT_EQ(zweimal["program"], 0) << zweimal;
}

}  // namespace

namespace {

// As user nobody, through the shell.
int AlsNobody(const std::string& befehl) {
  return std::system(("setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c '" + befehl + "'").c_str());
}

}  // namespace

// A link that another user planted in a shared folder is not followed anywhere
// along the path, and an output is only ever a regular file: a fifo is refused
// at once instead of hanging the monitor with the port held.
TEST_F(Dateisystem, GepflanzteOrdnerlinksUndFifosSindKeineAusgabe) {
  const std::string hier = std::filesystem::current_path().string();
  ASSERT_EQ(::chmod(hier.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir("geheim", 0700), 0);
  DateiSchreiben("geheim/t.json", "geheim");
  ASSERT_EQ(::mkdir("sticky", 0777), 0);
  ASSERT_EQ(::chmod("sticky", 01777), 0);
  ASSERT_EQ(AlsNobody("ln -s " + hier + "/geheim sticky/sub && mkfifo sticky/f.csv"), 0);

  Lauf r = Shell("timeout -k 1 10", {"convert", "t.zpk", "sticky/sub/t.json"});
  EXPECT_EQ(r.status, 5) << r.err;
  EXPECT_EQ(DateiLesen("geheim/t.json"), "geheim");
  r = Shell("timeout -k 1 10", {"--port", "1", "monitor", "--duration", "0.2", "-o", "sticky/sub/m.csv"});
  EXPECT_EQ(r.status, 5) << r.err;
  EXPECT_FALSE(std::filesystem::exists("geheim/m.csv"));
  r = Shell("timeout -k 1 10", {"--port", "1", "monitor", "--duration", "5", "-o", "sticky/f.csv"});
  EXPECT_EQ(r.status, 5) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, "sticky/f.csv")) << r.err;
}

// A number beyond every double in a JSON program is the infinity it stands for:
// refused by the range check of its field, not as broken JSON.
TEST_F(Dateisystem, ZahlJenseitsJedesDoubleIstEinBereichsfehlerDesFelds) {
  std::string json = TabelleAlsJson(StandardTabelle());
  const std::string alt = "\"strom1\": 0.1";
  ASSERT_NE(json.find(alt), std::string::npos);
  json.replace(json.find(alt), alt.size(), "\"strom1\": 1e400");
  DateiSchreiben("gross.json", json);
  const Lauf r = Shell("timeout -k 1 10", {"--port", "1", "write", "0", "-i", "gross.json"});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_TRUE(Enthaelt(r.err, "strom1 = inf; allowed: ")) << r.err;
  EXPECT_TRUE(sim_.frames().empty());
}

// Reading one program presents only what was read: the working parameters and
// that program; writing all from such a file names the first program missing.
TEST_F(Dateisystem, EinzelnesLesenZeigtNurGelesenes) {
  Lauf r = Shell("", {"--port", "1", "read", "3", "-o", "drei.json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const nlohmann::json j = nlohmann::json::parse(DateiLesen("drei.json"));
  for (int slot = 0; slot < PROGRAMM_SLOTS; ++slot)
    EXPECT_EQ(j["programme"][slot].is_null(), slot != 0 && slot != 3) << slot;
  ASSERT_EQ(Shell("", {"convert", "drei.json", "drei.csv"}).status, 0);
  const std::string csv = DateiLesen("drei.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);
  r = Shell("", {"--port", "1", "write", "all", "-i", "drei.csv"});
  EXPECT_EQ(r.status, 5);
  EXPECT_TRUE(Enthaelt(r.err, "drei.csv: program 1 is not in the file")) << r.err;
  EXPECT_EQ(Shell("", {"--port", "1", "write", "3", "-i", "drei.csv"}).status, 0);
}

// A reader that goes away ends the command quietly with 141, as SIGPIPE ends
// other tools; nothing about it on standard error.
TEST_F(Dateisystem, GeschlossenePipeEndetStillMit141) {
  // The recording on standard output goes on after the reader took its first byte.
  const std::string befehl = std::string("bash -c 'set -o pipefail; ") + ZPK3X_CLI +
                             " --port 1 monitor --interval 0.01 --duration 5 -o - 2> err.txt | head -c 1 > /dev/null; "
                             "echo $? > status.txt'";
  ASSERT_EQ(std::system(befehl.c_str()), 0);
  EXPECT_EQ(DateiLesen("status.txt"), "141\n");
  EXPECT_EQ(DateiLesen("err.txt"), "");
}

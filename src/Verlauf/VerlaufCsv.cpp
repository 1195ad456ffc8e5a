// Recording of the queries into a CSV file: one line per query, flushed at once,
// the same bytes in every language except the status names.
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "Verlauf/VerlaufDaten.h"
#include "common/Dateizugriff.h"
#include "common/Statusbits.h"

const char* const kVerlaufCsvKopf = "time,seconds,current_A,voltage_V,status,status_bits,error\n";

namespace {

// Division rounding toward minus infinity, for times before 1970.
std::int64_t Abrunden(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Local calendar time of `sekunden` and the offset to UTC in force then.
bool LokaleZeit(std::time_t sekunden, std::tm* tm, long* versatzS) {
#ifdef _WIN32
  if (localtime_s(tm, &sekunden) != 0) return false;
  std::tm kopie = *tm;
  *versatzS = static_cast<long>(_mkgmtime(&kopie) - sekunden);
#else
  if (!localtime_r(&sekunden, tm)) return false;
  *versatzS = tm->tm_gmtoff;
#endif
  return true;
}

void Zahl(std::string* z, double wert, int stellen) {
  if (!std::isfinite(wert)) return;  // nothing a reader could take for a number
  char puffer[64];
  const auto r = std::to_chars(puffer, puffer + sizeof puffer, wert, std::chars_format::fixed, stellen);
  if (r.ec == std::errc()) z->append(puffer, r.ptr);
}

void Zeitstempel(std::string* z, std::int64_t ms) {
  const std::int64_t s = Abrunden(ms, 1000);
  std::tm tm{};
  long versatz = 0;
  char puffer[64];
  if (!LokaleZeit(static_cast<std::time_t>(s), &tm, &versatz)) return;
  const char vz = versatz < 0 ? '-' : '+';
  const long v = versatz < 0 ? -versatz : versatz;
  std::snprintf(puffer, sizeof puffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms - s * 1000), vz,
                v / 3600, v / 60 % 60);
  z->append(puffer);
}

// The names of one language; they point into their own texts, so never copied.
struct Statusnamen {
  std::string texte[STATUSBITS_ANZAHL];
  std::vector<VerlaufStatusName> namen;
  explicit Statusnamen(bool englisch) {
    for (int i = 0; i < STATUSBITS_ANZAHL; ++i) {
      texte[i] = englisch ? STATUSBITS[i].englisch : STATUSBITS[i].deutsch;
      std::erase(texte[i], '\n');
      namen.push_back({STATUSBITS[i].bit, texte[i].c_str()});
    }
  }
  Statusnamen(const Statusnamen&) = delete;
  Statusnamen& operator=(const Statusnamen&) = delete;
};

}  // namespace

std::string VerlaufZeitstempel(std::int64_t zeitMs) {
  std::string z;
  Zeitstempel(&z, zeitMs);
  return z;
}

const std::vector<VerlaufStatusName>& VerlaufStatusbitNamen(bool englisch) {
  static const Statusnamen deutsch(false);
  static const Statusnamen english(true);
  return englisch ? english.namen : deutsch.namen;
}

std::int64_t VerlaufJetztMs() {
  using namespace std::chrono;
  static const std::int64_t wand0 = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  static const steady_clock::time_point stetig0 = steady_clock::now();
  return wand0 + duration_cast<milliseconds>(steady_clock::now() - stetig0).count();
}

std::string VerlaufUhrzeit(std::int64_t zeitMs) {
  std::tm tm{};
  long versatz = 0;
  if (!LokaleZeit(static_cast<std::time_t>(Abrunden(zeitMs, 1000)), &tm, &versatz)) return {};
  char puffer[16];
  std::snprintf(puffer, sizeof puffer, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return puffer;
}

std::string VerlaufStatusNamen(std::int32_t status, const VerlaufStatusName* namen, int anzahlNamen) {
  std::string z;
  for (int i = 0; i < anzahlNamen; ++i) {
    if ((status & namen[i].bit) == 0) continue;
    if (!z.empty()) z += '|';
    z += namen[i].name;
  }
  return z;
}

std::string VerlaufCsvZeile(const VerlaufProbe& p, std::int64_t startMs, const VerlaufStatusName* namen,
                            int anzahlNamen) {
  std::string z;
  Zeitstempel(&z, p.zeitMs);
  z += ',';
  const std::int64_t seit = p.zeitMs - startMs;
  const std::int64_t betrag = seit < 0 ? -seit : seit;
  char puffer[48];
  std::snprintf(puffer, sizeof puffer, "%s%lld.%03lld", seit < 0 ? "-" : "", static_cast<long long>(betrag / 1000),
                static_cast<long long>(betrag % 1000));
  z += puffer;
  z += ',';
  if (p.fehler == 0) {
    Zahl(&z, p.strom, 3);
    z += ',';
    Zahl(&z, p.spannung, 1);
    std::snprintf(puffer, sizeof puffer, ",0x%04X,\"", static_cast<unsigned>(p.status) & 0xFFFFu);
    z += puffer;
    for (char c : VerlaufStatusNamen(p.status, namen, anzahlNamen)) {
      if (c == '"') z += '"';  // quotes inside a quoted field are doubled
      z += c;
    }
    z += "\",0\n";
  } else {
    z += ",,,,";
    // The code as every message, JSON and MQTT payload gives it: positive.
    z += std::to_string(-static_cast<long long>(p.fehler));
    z += '\n';
  }
  return z;
}

namespace {

// Writes `text` after the complete lines. A failure cuts the file back to them,
// so a reader never finds half a line at the end, and ends the recording.
ErrorCode Anfuegen(VerlaufAufzeichnung* a, const std::string& text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), a->datei) == text.size() && std::fflush(a->datei) == 0) {
    a->laenge += static_cast<std::int64_t>(text.size());
    return 0;
  }
  a->systemfehler = errno != 0 ? errno : EIO;
  (void)DateiKuerzen(a->datei, a->laenge);
  std::fclose(a->datei);
  a->datei = nullptr;
  return kVerlaufCsvSchreiben;
}

}  // namespace

bool VerlaufDateiname(const std::string& muster, std::int64_t zeitMs, std::string* name) {
  std::tm tm{};
  long versatz = 0;
  if (!LokaleZeit(static_cast<std::time_t>(Abrunden(zeitMs, 1000)), &tm, &versatz)) return false;
  name->clear();
  for (std::size_t i = 0; i < muster.size(); ++i) {
    if (muster[i] != '%') {
      name->push_back(muster[i]);
      continue;
    }
    if (++i == muster.size()) return false;
    int wert = 0, stellen = 2;
    switch (muster[i]) {
      case 'Y': wert = tm.tm_year + 1900, stellen = 4; break;
      case 'y': wert = (tm.tm_year + 1900) % 100; break;
      case 'm': wert = tm.tm_mon + 1; break;
      case 'd': wert = tm.tm_mday; break;
      case 'H': wert = tm.tm_hour; break;
      case 'M': wert = tm.tm_min; break;
      case 'S': wert = tm.tm_sec; break;
      case 'j': wert = tm.tm_yday + 1, stellen = 3; break;
      case '%': name->push_back('%'); continue;
      default: return false;
    }
    char zahl[16];
    std::snprintf(zahl, sizeof zahl, "%0*d", stellen, wert);
    name->append(zahl);
  }
  return !name->empty();
}

ErrorCode VerlaufAufzeichnungStarten(VerlaufAufzeichnung* a, const char* pfad) {
  if (a->datei) VerlaufAufzeichnungBeenden(a);
  a->systemfehler = 0;
  // Binary mode: the same bytes on every platform.
  errno = 0;
  a->datei = pfad ? DateiNeuAnlegen(pfad) : nullptr;
  if (!a->datei) {
    a->systemfehler = errno != 0 ? errno : ENOENT;
    return kVerlaufCsvOeffnen;
  }
  // Unbuffered: every line goes out in one write, and nothing is left in a buffer
  // to be written after a failed line was cut off.
  std::setvbuf(a->datei, nullptr, _IONBF, 0);
  a->ersteZeile = true;
  a->startMs = 0;
  a->laenge = 0;
  return Anfuegen(a, kVerlaufCsvKopf);
}

ErrorCode VerlaufAufzeichnungZeile(VerlaufAufzeichnung* a, const VerlaufProbe& p, const VerlaufStatusName* namen,
                                   int anzahlNamen) {
  if (!a->datei) return 0;
  if (a->ersteZeile) {
    a->startMs = p.zeitMs;
    a->ersteZeile = false;
  }
  // Written line by line: a crash loses at most the line being written.
  return Anfuegen(a, VerlaufCsvZeile(p, a->startMs, namen, anzahlNamen));
}

ErrorCode VerlaufAufzeichnungBeenden(VerlaufAufzeichnung* a) {
  if (!a->datei) return 0;
  errno = 0;
  const int r = std::fclose(a->datei);
  a->datei = nullptr;
  if (r != 0) a->systemfehler = errno != 0 ? errno : EIO;
  return r == 0 ? 0 : kVerlaufCsvSchreiben;
}

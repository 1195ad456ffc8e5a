#pragma once
// The course of the actual values: every query result with its time, bounded to
// one day at two queries a second, the status changes worth marking, the thinned
// extract a chart draws, and the CSV recording of the queries. No window here.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/ErrorCode.h"

// One query result. `fehler` 0: the three values hold; otherwise the query failed
// with that code and the values mean nothing.
struct VerlaufProbe {
  std::int64_t zeitMs = 0;  // milliseconds since 1970 (UTC)
  double strom = 0.0;     // A
  double spannung = 0.0;  // V
  std::int32_t status = 0;
  ErrorCode fehler = 0;
};

// A status bit that came on at a sample's time.
struct VerlaufMarke {
  std::int64_t zeitMs = 0;
  int bit = 0;
};

// One day at two queries a second is always kept; older or surplus samples drop
// out a minute's worth at a time, so that between two such drops the older part
// of the course stays as it is (a chart then redraws only its newest part).
constexpr std::size_t kVerlaufMaxProben = 172800;
constexpr std::int64_t kVerlaufMaxDauerMs = 24LL * 3600 * 1000;
constexpr std::size_t kVerlaufAbwurf = 120;
constexpr std::int64_t kVerlaufAbwurfMs = 60 * 1000;
// The bits whose rising edge is marked: process started, ended, cancelled, and
// the fault bits (temperature, parameters, calibration, test voltage).
constexpr int kVerlaufMarkenBits = 0x100 | 0x800 | 0x2000 | 0x1 | 0x2 | 0x8 | 0x10;

struct VerlaufSpeicher {
  std::vector<VerlaufProbe> ring;  // kVerlaufMaxProben + kVerlaufAbwurf places once the first sample came
  std::size_t anfang = 0;          // index of the oldest sample in `ring`
  std::size_t anzahl = 0;
  std::vector<VerlaufMarke> marken;  // oldest first
  bool hatStatus = false;            // a successful sample came since the start or clear
  std::int32_t letzterStatus = 0;
};

// Appends a sample. A time earlier than the newest one is taken as the newest
// one's, so the course stays ordered when the clock is set back.
void VerlaufAnhaengen(VerlaufSpeicher* s, const VerlaufProbe& p);
void VerlaufLeeren(VerlaufSpeicher* s);
// The i-th sample, 0 the oldest.
const VerlaufProbe& VerlaufProbeNr(const VerlaufSpeicher* s, std::size_t i);
// Index of the first sample at or after `zeitMs` (anzahl when none).
std::size_t VerlaufSuchen(const VerlaufSpeicher* s, std::int64_t zeitMs);
// The sample nearest to `zeitMs`; false when there is none.
bool VerlaufProbeBei(const VerlaufSpeicher* s, std::int64_t zeitMs, VerlaufProbe* p);

// What a chart of `pixel` columns draws of [vonMs, bisMs]: per column at most the
// lowest and highest value of each curve, in time order, plus the neighbours just
// outside so that the lines reach the edges. A failed query puts a NaN into both
// value lists (the line breaks there). t in milliseconds since 1970.
struct VerlaufAuszug {
  std::vector<double> t, strom, spannung;
};
void VerlaufAuszugBilden(const VerlaufSpeicher* s, std::int64_t vonMs, std::int64_t bisMs, int pixel,
                         VerlaufAuszug* a);

// ---- recording ----
// Name of a status bit for the CSV file and the marks (no line breaks).
struct VerlaufStatusName {
  int bit;
  const char* name;
};

// The header line of every recording, with its line end.
extern const char* const kVerlaufCsvKopf;
// One CSV line for `p` (with its line end); `startMs` is the time of the
// recording's first line. Local time with the UTC offset in force at that time.
std::string VerlaufCsvZeile(const VerlaufProbe& p, std::int64_t startMs, const VerlaufStatusName* namen,
                            int anzahlNamen);
// Local time of day, "14:03:21".
std::string VerlaufUhrzeit(std::int64_t zeitMs);
// Local date and time with the UTC offset in force then, as in the recording's
// first column: "2026-03-29T03:00:00.250+02:00". Empty for a time the system
// cannot convert.
std::string VerlaufZeitstempel(std::int64_t zeitMs);
// The status bits named as the status popup names them, without its line
// breaks, in English or German.
const std::vector<VerlaufStatusName>& VerlaufStatusbitNamen(bool englisch);
// Milliseconds since 1970 for a new sample: the wall clock at the first call,
// advanced by the steady clock after it, so setting the system clock does not
// fold a course or a recording.
std::int64_t VerlaufJetztMs();
// "a|b|c": the names of the set bits in the order of `namen`.
std::string VerlaufStatusNamen(std::int32_t status, const VerlaufStatusName* namen, int anzahlNamen);

struct VerlaufAufzeichnung {
  std::FILE* datei = nullptr;
  bool ersteZeile = true;
  std::int64_t startMs = 0;
  std::int64_t laenge = 0;  // bytes of the complete lines written
  int systemfehler = 0;     // errno of the last failure, for its message
};
constexpr ErrorCode kVerlaufCsvOeffnen = -308211;    // file cannot be created
constexpr ErrorCode kVerlaufCsvSchreiben = -301212;  // a line could not be written
// Creates the file (replacing one of that name; the name in UTF-8) and writes the
// header. A link planted in a sticky folder is not followed (see Dateizugriff.h).
ErrorCode VerlaufAufzeichnungStarten(VerlaufAufzeichnung* a, const char* pfad);
// Writes one line and flushes it. A failed write (a full disk, a file-size
// limit) cuts the file back to its last complete line, ends the recording (the
// file is closed) and returns kVerlaufCsvSchreiben.
ErrorCode VerlaufAufzeichnungZeile(VerlaufAufzeichnung* a, const VerlaufProbe& p, const VerlaufStatusName* namen,
                                   int anzahlNamen);
// Closes the file; kVerlaufCsvSchreiben when the last bytes could not be written.
ErrorCode VerlaufAufzeichnungBeenden(VerlaufAufzeichnung* a);
inline bool VerlaufAufzeichnungLaeuft(const VerlaufAufzeichnung* a) { return a->datei != nullptr; }

// A recording's file name from a pattern, so that a long run starts a new file
// each day or hour: %Y %y %m %d %H %M %S %j and %% stand for the local time of
// `zeitMs` (no locale, the same on every platform). False for any other
// conversion, and for a pattern that gives an empty name.
bool VerlaufDateiname(const std::string& muster, std::int64_t zeitMs, std::string* name);

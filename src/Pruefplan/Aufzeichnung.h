#pragma once
// The record of a run in the forms a production line keeps: one JSON document,
// JUnit XML for its CI, a CSV of the samples and a self-contained HTML report
// with a plot, the limit bands and the verdict. All numbers locale-independent.
#include <nlohmann/json.hpp>
#include <string>

#include "Pruefplan/Pruefplan.h"

constexpr ErrorCode AUFZEICHNUNG_ORDNER = -310378;     // the record's folder cannot be made
constexpr ErrorCode AUFZEICHNUNG_SCHREIBEN = -301379;  // a record file cannot be written

nlohmann::ordered_json ProtokollJson(const Protokoll& p);
std::string ProtokollJunit(const Protokoll& p);
std::string ProtokollCsv(const Protokoll& p);
std::string ProtokollHtml(const Protokoll& p);
// The outcome and summary for the station's MQTT `result` topic.
nlohmann::ordered_json ProtokollZusammenfassung(const Protokoll& p);

// "2026-12-10T12:15:00.250Z".
std::string UtcZeit(std::int64_t zeitMs);

// Makes the records' folder (with its parents) when it is not there yet. Front
// ends call it before the device is asked anything, so that no run is made whose
// record has nowhere to go. *systemfehler takes the errno of a failure.
ErrorCode AufzeichnungsordnerAnlegen(const std::string& ordner, int* systemfehler);

// Writes record.json, junit.xml, samples.csv and report.html into a new folder
// below `ordner`, named by serial number and start time ("SN_20261210T121500Z",
// then "-2", "-3", ... when that exists): an earlier record is never touched.
// *angelegt takes the folder made; *systemfehler the errno of a failure.
ErrorCode ProtokollAblegen(const Protokoll& p, const std::string& ordner, std::string* angelegt, int* systemfehler);

// A serial number as part of a file name: characters that are not letters,
// digits, "-", "_" or "." become "_", a leading "." too; at most 64 bytes.
std::string SeriennummerImNamen(const std::string& seriennummer);

// Where a run's record went: the folder made, or the failure and its errno.
struct Ablage {
  std::string ordner;
  ErrorCode fehler = 0;
  int systemfehler = 0;
};
// One run on the line as every front end makes it: the plan on the device at
// `g`, where `abbrechen` (asked between samples and during transfers) ends it as
// ABORTED with the device stopped, and the record filed below `ordner` when one
// is given (nothing filed when it is empty).
Protokoll PlanAufLeitungAusfuehren(const Pruefplan& plan, Geraeteverbindung g, bool (*abbrechen)(), Laufangaben angaben,
                                   const std::string& ordner, Ablage* ablage);

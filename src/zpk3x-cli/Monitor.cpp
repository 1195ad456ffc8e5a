#include "zpk3x-cli/Monitor.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Geraetemeldungen/Geraetemeldungen.h"
#include "Verlauf/VerlaufDaten.h"
#include "common/Dateizugriff.h"
#include "olqzpk3x/olqzpk3x.h"
#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Dateibefehle.h"
#include "zpk3x-cli/Dateiwahl.h"
#include "zpk3x-cli/Geraetefehler.h"
#include "zpk3x-cli/Mqtt.h"
#include "zpk3x-cli/Musterdatei.h"
#include "zpk3x-cli/Plattform.h"
#include "Programmformate/Programmformate.h"

namespace {

struct Messzeile {
  std::string zeit;
  Istwerte w;
  ErrorCode fehler;
  std::string meldung;
};

constexpr const char* kMonitorSpalten = "%-29s  %12s  %15s  ";

std::string MonitorKopf() {
  char text[160];
  std::snprintf(text, sizeof text, kMonitorSpalten, T("Zeit", "Time"), T("Iststrom [A]", "Current [A]"),
                T("Istspannung [V]", "Voltage [V]"));
  return text + std::string(T("Status  Fehler\n", "Status  Error\n"));
}

std::string MesszeileText(const Messzeile& m) {
  char text[160];
  if (m.fehler != 0) {
    std::snprintf(text, sizeof text, kMonitorSpalten, m.zeit.c_str(), "", "");
    std::string meldung = m.meldung;
    std::replace(meldung.begin(), meldung.end(), '\n', ' ');
    // The number as every message and JSON object shows it.
    return text + std::string(6, ' ') + "  " + std::to_string(-static_cast<long long>(m.fehler)) + " " + meldung + "\n";
  }
  std::snprintf(text, sizeof text, kMonitorSpalten, m.zeit.c_str(), ZahlText(m.w.strom).c_str(),
                ZahlText(m.w.spannung).c_str());
  char status[16];
  std::snprintf(status, sizeof status, "0x%04X\n", static_cast<unsigned>(m.w.status));
  return text + std::string(status);
}

}  // namespace

// The file is the trend window's recording, written by the same recorder: a test
// bench gets one format from both front ends.
int Monitor(const Optionen& o, const Verbindung& v) {
  using Uhr = std::chrono::steady_clock;
  const std::vector<VerlaufStatusName>& namen = VerlaufStatusbitNamen(Englisch());
  // Before the file is made: a bad URL leaves no file behind.
  std::unique_ptr<MqttSender> mqtt;
  if (!o.mqtt.empty()) {
    MqttMeta meta = MqttMetaFuer(v);
    meta.intervall = o.intervall;
    if (int status = MqttStarten(o, v, meta, &mqtt); status != EXIT_OK) return status;
    // Settings that cannot work are refused before the device is asked anything.
    // Unknown when the device does not answer now: the values tell the rest.
    char kennung[32] = {};
    if (OLQZPK3X_IDLesen(v.port, v.adresse, kennung) == 0) meta.kennung = kennung;
    mqtt->MetaSetzen(meta);
  }
  ErrorCode mqttFehler = 0;
  std::string mqttDetail;
  VerlaufAufzeichnung csv;
  // "-o -": the recording on standard output, in place of the lines.
  const bool csvAufStdout = IstStrom(o.datei);
  // "-o lauf-%Y%m%d.csv": a new file whenever the name changes.
  const bool csvMuster = !csvAufStdout && o.datei.find('%') != std::string::npos;
  Musterdatei muster(o.datei);
  std::string csvName = o.datei;
  std::int64_t csvStartMs = -1;
  if (csvMuster && !muster.Gueltig())
    return FehlerMelden(o, AUFRUF_FEHLER, "\n-o " + o.datei +
                                              T(": nur %Y %y %m %d %H %M %S %j und %% im Namen", ": only %Y %y %m %d %H %M %S %j and %% in the name"));
  if (!o.datei.empty() && !csvAufStdout) {
    int ordnerFehler = 0;
    if (csvMuster && !muster.Wechsel(VerlaufJetztMs(), &csvName, &ordnerFehler))
      return DateifehlerMelden(o, kVerlaufCsvOeffnen, csvName, ordnerFehler);
    if (ErrorCode err = VerlaufAufzeichnungStarten(&csv, csvName.c_str()); err != 0)
      return DateifehlerMelden(o, err, csvName, csv.systemfehler);
  }
  if (csvAufStdout) {
    Ausgeben(kVerlaufCsvKopf);
  } else if (!o.json) {
    Ausgeben(MonitorKopf());
  }
  AbbruchAbfangen();
  const auto anfang = Uhr::now();
  const auto intervall = std::chrono::duration_cast<Uhr::duration>(std::chrono::duration<double>(o.intervall));
  const auto dauer = std::chrono::duration_cast<Uhr::duration>(std::chrono::duration<double>(o.dauer));
  int status = EXIT_OK;
  ErrorCode letzterFehler = 0;
  ErrorCode juengsterFehler = 0;  // the latest failed query's code
  long abfragen = 0, beantwortet = 0;
  auto naechste = anfang;
  // A result nobody can receive ends the run (reported at the end, exit 5).
  while (!AbbruchVerlangt() && !AusgabeFehlgeschlagen()) {
    if (o.dauer > 0 && Uhr::now() - anfang >= dauer) break;
    if (mqtt && (mqttFehler = mqtt->Abgewiesen(&mqttDetail)) != 0) break;
    VerlaufProbe p;
    p.zeitMs = VerlaufJetztMs();
    Messzeile m{VerlaufZeitstempel(p.zeitMs), {}, 0, ""};
    m.fehler = p.fehler = IstwerteLesen(v.Geraet(), &m.w);
    ++abfragen;
    if (m.fehler == 0) {
      ++beantwortet;
    } else {
      juengsterFehler = m.fehler;
    }
    // The --json line is the MQTT values payload, byte for byte.
    MqttAbfrage a{m.zeit, m.w.strom, m.w.spannung, m.w.status, m.fehler, "", "", "", "", ""};
    if (m.fehler != 0) {
      MqttMeldungen(m.fehler, &a);
      // The query's frame that failed and what came back, as every device error says.
      std::string antwortText;
      TransaktionText(v.port, &a.rahmen, &antwortText);
      const OLQZPK3X_Transaktion t = OLQZPK3X_LetzteTransaktion(v.port);
      a.antwort = BytesLesbar(t.antwort, t.antwortLaenge);
      m.meldung = a.meldung + " (" + a.rahmen + ")";
    } else {
      p.strom = m.w.strom;
      p.spannung = m.w.spannung;
      p.status = m.w.status;
    }
    if (csvAufStdout) {
      if (csvStartMs < 0) csvStartMs = p.zeitMs;
      Ausgeben(VerlaufCsvZeile(p, csvStartMs, namen.data(), static_cast<int>(namen.size())));
    } else if (o.json) {
      JsonAusgeben(MqttWerteJson(a));
    } else {
      Ausgeben(MesszeileText(m));
    }
    if (mqtt) mqtt->Abfrage(a);
    if (std::string name; csvMuster) {
      int ordnerFehler = 0;
      if (muster.Wechsel(p.zeitMs, &name, &ordnerFehler)) {
        if (ErrorCode err = VerlaufAufzeichnungBeenden(&csv); err != 0) return DateifehlerMelden(o, err, csvName, csv.systemfehler);
        csvName = name;
        if (ErrorCode err = VerlaufAufzeichnungStarten(&csv, csvName.c_str()); err != 0)
          return DateifehlerMelden(o, err, csvName, csv.systemfehler);
      } else if (ordnerFehler != 0) {
        return DateifehlerMelden(o, kVerlaufCsvOeffnen, name, ordnerFehler);
      }
    }
    if (VerlaufAufzeichnungLaeuft(&csv)) {
      const ErrorCode err = VerlaufAufzeichnungZeile(&csv, p, namen.data(), static_cast<int>(namen.size()));
      if (err != 0) return DateifehlerMelden(o, err, csvName, csv.systemfehler);
    }
    // A hung-up port passes nothing more: the monitor ends as the window's
    // continuous query does, whatever --stop-on-error says.
    if (m.fehler != 0 && (o.stoppBeiFehler || m.fehler == OLQZPK3X_LEITUNG_GETRENNT)) {
      letzterFehler = m.fehler;
      break;
    }
    // The next query on the grid of intervals from the start; a query that took
    // longer than an interval skips the ticks it missed instead of hurrying.
    do naechste += intervall;
    while (naechste <= Uhr::now());
    while (!AbbruchVerlangt() && Uhr::now() < naechste) {
      if (o.dauer > 0 && Uhr::now() - anfang >= dauer) break;
      if (mqtt && mqtt->Abgewiesen(&mqttDetail) != 0) break;
      std::this_thread::sleep_for(std::min<Uhr::duration>(naechste - Uhr::now(), std::chrono::milliseconds(20)));
    }
  }
  mqtt.reset();  // online false before the command ends
  if (ErrorCode err = VerlaufAufzeichnungBeenden(&csv); err != 0)
    return DateifehlerMelden(o, err, csvName, csv.systemfehler);
  if (mqttFehler != 0) return FehlerMelden(o, mqttFehler, mqttDetail);
  // The last query's frame and answer, and where the device was, as every device error.
  if (letzterFehler != 0) {
    status = GeraetefehlerMelden(o, v, letzterFehler);
  } else if (abfragen > 0 && beantwortet == 0) {
    // Not one answer in the whole run: the device was not there, whatever ended it.
    status = GeraetefehlerMelden(o, v, juengsterFehler,
                                 T("keine Abfrage beantwortet", "no query answered"));
  }
  // Ctrl+C and SIGTERM are the normal end of a monitor, as of ping: the summary,
  // and success when queries were answered.
  const bool unterbrochen = AbbruchVerlangt();
  const double sekunden = std::chrono::duration<double>(Uhr::now() - anfang).count();
  const char* ende = unterbrochen ? "signal" : (letzterFehler != 0 ? "error" : "duration");
  if (!Leise()) {
    char zeile[200];
    std::snprintf(zeile, sizeof zeile,
                  T("zpk3x-cli: monitor: %ld %s, %ld beantwortet, %ld fehlgeschlagen in %.1f s%s\n",
                    "zpk3x-cli: monitor: %ld %s, %ld answered, %ld failed in %.1f s%s\n"),
                  abfragen, abfragen == 1 ? T("Abfrage", "query") : T("Abfragen", "queries"), beantwortet, abfragen - beantwortet, sekunden,
                  unterbrochen ? T(", beendet durch Signal", ", ended by a signal") : "");
    std::fputs(zeile, stderr);
  }
  if (o.json && !csvAufStdout) {
    JsonAusgeben({{"summary",
                   {{"queries", abfragen},
                    {"answered", beantwortet},
                    {"failed", abfragen - beantwortet},
                    {"seconds", sekunden},
                    {"ended", ende}}}});
  }
  return status;
}

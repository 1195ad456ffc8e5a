#include "zpk3x-cli/Pruefbefehl.h"

#include <chrono>
#include <cstdio>
#include <memory>

#include "Pruefplan/Aufzeichnung.h"
#include "Pruefplan/Pruefplan.h"
#include "Verlauf/VerlaufDaten.h"
#include "common/Dateiersetzen.h"
#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Dateibefehle.h"
#include "zpk3x-cli/Mqtt.h"
#include "zpk3x-cli/Plattform.h"
#include "zpk3x-cli/Verbindung.h"

namespace {

struct Pruefoptionen {
  std::string seriennummer, aufzeichnung, junit, bericht, bediener;
  bool nurPruefen = false;
};
Pruefoptionen gP;

int PlanfehlerMelden(const Optionen& o, const std::string& pfad, const Planfehler& f) {
  Json angaben = {{"file", pfad}};
  if (f.zeile > 0) angaben["line"] = f.zeile;
  if (f.spalte > 0) angaben["column"] = f.spalte;
  return FehlerMelden(o, f.code, PlanfehlerDetail(pfad, f, Englisch()), angaben);
}

// A file named by an option, written whole or not at all.
int Ablegen(const Optionen& o, const std::string& pfad, const std::string& inhalt) {
  int fehler = 0;
  if (DateiErsetzen(pfad, inhalt.data(), inhalt.size(), Ersetzungsart::NurAtomar, &fehler) != Ersetzt::Ja)
    return DateifehlerMelden(o, DATEI_NICHT_SCHREIBBAR, pfad, fehler);
  return EXIT_OK;
}

// The folder of --record is made before the device is asked anything.
int AufzeichnungsordnerPruefen(const Optionen& o, const std::string& ordner) {
  int sys = 0;
  if (ErrorCode err = AufzeichnungsordnerAnlegen(ordner, &sys); err != 0) return DateifehlerMelden(o, err, ordner, sys);
  return EXIT_OK;
}

int Ausfuehren(const Optionen& o) {
  Pruefplan plan;
  Planfehler pf;
  if (PlanDateiLesen(o.datei, &plan, &pf) != 0) {
    return PlanfehlerMelden(o, o.datei, pf);
  }
  if (gP.nurPruefen) {
    Erledigt(o, {{"plan", plan.name}, {"file", o.datei}, {"sha256", plan.sha256}, {"steps", plan.schritte.size()}, {"valid", true}},
             o.datei + T(": Plan \"", ": plan \"") + plan.name + "\", " + std::to_string(plan.schritte.size()) +
                 T(" Schritte, gültig\n", " steps, valid\n"));
    return EXIT_OK;
  }
  if (!GueltigeSeriennummer(gP.seriennummer))
    return FehlerMelden(o, AUFRUF_FEHLER,
                        T("\n--serial: eine Zeile Text, 1 bis 128 Bytes, nötig außer mit --check",
                          "\n--serial: one line of text, 1 to 128 bytes, needed except with --check"));
  for (const std::string* ziel : {&gP.junit, &gP.bericht})
    if (!ziel->empty())
      if (int status = ZielordnerPruefen(o, *ziel); status != EXIT_OK) return status;
  if (!gP.aufzeichnung.empty())
    if (int status = AufzeichnungsordnerPruefen(o, gP.aufzeichnung); status != EXIT_OK) return status;

  Verbindung v{};
  if (int status = VerbindungBestimmen(o, &v); status != EXIT_OK) return status;
  // A measurement faster than the line carries is refused before anything is sent.
  if (PlanFuerLeitungPruefen(plan, v.baudrate, &pf, Englisch()) != 0) return PlanfehlerMelden(o, o.datei, pf);
  std::unique_ptr<MqttSender> mqtt;
  if (!o.mqtt.empty()) {
    const MqttMeta meta = MqttMetaFuer(v);
    if (int status = MqttStarten(o, v, meta, &mqtt); status != EXIT_OK) return status;
  }
  if (ErrorCode err = PortOeffnen(&v, v.baudrate); err != 0) return PortFehlerMelden(o, v, err);

  Fortschritt f;
  const std::size_t anzahl = plan.schritte.size();
  Laufangaben a;
  a.seriennummer = gP.seriennummer;
  a.bediener = gP.bediener;
  a.station = o.station;
  a.port = v.pfad.empty() ? std::to_string(v.port) : v.pfad;
  a.baudrate = v.baudrate;
  a.adresse = v.adresse;
  a.englisch = Englisch();
  a.programm = std::string("zpk3x-cli ") + ZPK3X_VERSION;
  std::string schrittText;
  a.beiSchritt = [&](int i, const Schritt& s) {
    schrittText = T("Schritt ", "step ") + std::to_string(i + 1) + "/" + std::to_string(anzahl) + ": " + s.name;
    f.Zeigen(schrittText);
  };
  int proben = 0;
  a.beiProbe = [&](int, const Probe& p) {
    ++proben;
    f.Zeigen(schrittText + "  " + FestText(p.strom, 3) + " A  " + FestText(p.spannung, 1) + " V" + "  (" + std::to_string(proben) + ")");
    if (mqtt) {
      MqttAbfrage q{VerlaufZeitstempel(p.zeitMs), p.strom, p.spannung, p.status, 0, "", "", "", "", ""};
      mqtt->Abfrage(q);
    }
  };
  Ablage ablage;
  const Protokoll p = PlanAufLeitungAusfuehren(plan, v.Geraet(), [] { return AbbruchVerlangt(); }, a, gP.aufzeichnung, &ablage);
  f.Ende();

  int status = EXIT_OK;
  const std::string& ordner = ablage.ordner;
  if (ablage.fehler != 0) status = DateifehlerMelden(o, ablage.fehler, ordner, ablage.systemfehler);
  if (!gP.junit.empty() && status == EXIT_OK) status = Ablegen(o, gP.junit, ProtokollJunit(p));
  if (!gP.bericht.empty() && status == EXIT_OK) status = Ablegen(o, gP.bericht, ProtokollHtml(p));
  if (mqtt) {
    mqtt->Ergebnis(ProtokollZusammenfassung(p).dump());
    mqtt.reset();
  }

  if (o.json) {
    Json j = ProtokollJson(p);
    if (!ordner.empty()) j["record_folder"] = ordner;
    JsonAusgeben(j);
  } else {
    std::string text = std::string(AusgangText(p.ausgang)) + "  " + p.plan.name + "  " + gP.seriennummer + "\n";
    for (std::size_t i = 0; i < p.schritte.size(); ++i) {
      const Schrittergebnis& e = p.schritte[i];
      if (e.ausgang == Ausgang::Pass || e.ausgang == Ausgang::Skipped) continue;
      text += "  " + std::to_string(i + 1) + " " + p.plan.schritte[i].name + ": " + AusgangText(e.ausgang) + ": " + e.grund + "\n";
    }
    if (p.stoppVersucht && p.stoppCode != 0)
      text += T("  Stopp nicht bestätigt: ", "  stop not acknowledged: ") + std::to_string(p.stoppCode) + "\n";
    if (!ordner.empty() && status == EXIT_OK) text += T("Aufzeichnung: ", "record: ") + ordner + "\n";
    Ausgeben(text);
  }
  if (status != EXIT_OK) return status;
  switch (p.ausgang) {
    case Ausgang::Pass:
    case Ausgang::Skipped: return EXIT_OK;
    case Ausgang::Fail: return EXIT_PRUEFUNG_FAIL;
    case Ausgang::Aborted: return AbbruchStatus() != 0 ? AbbruchStatus() : 130;
    case Ausgang::Error: break;
  }
  // The failure that ended the run on standard error as any command reports one,
  // and its exit status.
  for (std::size_t i = 0; i < p.schritte.size(); ++i) {
    const Schrittergebnis& e = p.schritte[i];
    if (e.ausgang != Ausgang::Error) continue;
    std::fprintf(stderr, "zpk3x-cli: %s #%d: %s\n%s %zu %s\n%s\n", T("Fehler", "Error"), -e.code, Meldung(e.code).c_str(),
                 T("Schritt", "step"), i + 1, p.plan.schritte[i].name.c_str(), VerbindungText(v).c_str());
    return ExitStatus(e.code);
  }
  return EXIT_GERAET;
}

}  // namespace

void PruefbefehlAnmelden(CLI::App& app, Optionen& o, const std::string& gruppe) {
  CLI::App* s = app.add_subcommand("test", T("einen Prüfplan ausführen, bewerten und aufzeichnen (Status 1: FAIL)",
                                             "run a test plan, judge it and record it (status 1: FAIL)"))
                    ->group(gruppe);
  s->add_option("PLAN", o.datei, T("Prüfplan (.toml)", "test plan (.toml)"))->type_name("")->required();
  s->add_option("--serial", gP.seriennummer, T("Seriennummer des Prüflings", "serial number of the unit under test"))->type_name("SN");
  s->add_option("--record", gP.aufzeichnung,
                T("Ordner der Aufzeichnungen: je Lauf ein neuer Unterordner SN_ZEIT", "folder of the records: a new subfolder SN_TIME per run"))
      ->type_name(T("ORDNER", "DIR"));
  s->add_option("--junit", gP.junit, T("JUnit-XML-Datei", "JUnit XML file"))->type_name(T("DATEI", "FILE"));
  s->add_option("--report", gP.bericht, T("HTML-Bericht", "HTML report"))->type_name(T("DATEI", "FILE"));
  s->add_option("--operator", gP.bediener, T("Name des Bedieners", "the operator's name"))->type_name("NAME");
  s->add_flag("--check", gP.nurPruefen, T("nur den Plan prüfen, ohne Gerät", "only check the plan, without a device"));
  CLI::Option* mqtt = s->add_option("--mqtt", o.mqtt, T("Ergebnis (retained) und Werte bei einem MQTT-Broker veröffentlichen",
                                                        "publish the result (retained) and the values to an MQTT broker"))
                          ->type_name("mqtt[s]://...");
  s->add_option("--mqtt-ca", o.mqttCa, T("CA-Zertifikate für mqtts://", "CA certificates for mqtts://"))->type_name(T("DATEI", "FILE"))->needs(mqtt);
  s->add_option_function<std::string>("--station", [&o](const std::string& st) { o.station = st, o.stationGegeben = true; },
                                      T("Name der Station", "the station's name"))
      ->type_name("NAME");
  s->footer(T("Beispiel:\n  zpk3x-cli --port 1 test docs/plans/quick-check.toml --serial SN1234 --record protokolle\n\n"
              "Exit-Status: 0 PASS, 1 FAIL, 2 Plan oder Aufruf falsch, 3 Port, 4 Gerät (ERROR), 5 Datei,\n"
              "  130/143 abgebrochen (Stopp gesendet, Aufzeichnung geschrieben)\n",
              "Example:\n  zpk3x-cli --port 1 test docs/plans/quick-check.toml --serial SN1234 --record records\n\n"
              "Exit status: 0 PASS, 1 FAIL, 2 plan or usage wrong, 3 port, 4 device (ERROR), 5 file,\n"
              "  130/143 aborted (stop sent, record written)\n"));
}

int Pruefen(const Optionen& o) { return Ausfuehren(o); }

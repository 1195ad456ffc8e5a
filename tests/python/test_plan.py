"""Test plans from Python: the same verdict and steps as zpk3x-cli, plan faults
with their place, the JUnit XML and the HTML report checked as documents, and
the pytest fixture's record in --junitxml."""

import json
import os
import subprocess
import sys
import textwrap
import xml.dom.minidom
import xml.etree.ElementTree as ET

import pytest

import zpk3x
from conftest import cli

PLAN = """\
name = "Gleich"
[[step]]
type = "write"
program = 4
values = { stromkurve = 8, strom1 = "1.5 A", zyklen = 500 }
[[step]]
type = "load"
program = 4
[[step]]
type = "start"
[[step]]
type = "measure"
name = "1.5 A"
interval = "100 ms"
duration = "600 ms"
settle = "200 ms"
status_set = ["Programm aktiv"]
  [[step.limit]]
  quantity = "current"
  on = "mean"
  nominal = "1.5 A"
  tolerance = "2 %"
  [[step.limit]]
  quantity = "voltage"
  on = "sample"
  min = "11 V"
  max = "13 V"
[[step]]
type = "stop"
"""


def _ohne_zeiten(steps):
    weg = {"start", "seconds", "samples", "current", "voltage", "missed_ticks"}
    aus = []
    for s in steps:
        s = {k: v for k, v in s.items() if k not in weg}
        for g in s.get("limits", []):
            g.pop("value", None)
        aus.append(s)
    return aus


def test_gleiches_urteil_und_gleiche_schritte_wie_die_kommandozeile(zpk3x_sim, tmp_path):
    datei = tmp_path / "plan.toml"
    datei.write_text(PLAN)
    lauf = cli(zpk3x_sim, "test", str(datei), "--serial", "SN5", check=False)
    assert lauf.returncode == 0, lauf.stderr
    von_cli = json.loads(lauf.stdout)
    gesehen = []
    with zpk3x.Device(zpk3x_sim.port) as dev:
        record = zpk3x.Plan.load(str(datei)).run(dev, serial="SN5", on_sample=lambda i, s: gesehen.append((i, s)))
    assert record.outcome == von_cli["outcome"] == "PASS"
    assert _ohne_zeiten(record.data["steps"]) == _ohne_zeiten(von_cli["steps"])
    assert record.data["plan"]["sha256"] == von_cli["plan"]["sha256"]
    assert [i for i, _ in gesehen] == [3] * len(record.steps[3].samples)
    assert gesehen[0][1] == record.steps[3].samples[0]


@pytest.mark.parametrize("text, code, line, column", [
    ('name = "x"\n[[step]]\ntype = "wait"\ntime = "2 s\n', 312371, 4, 12),
    ('name = "x"\n[[step]]\ntype = "wait"\ntime = "2 s"\nwhy = 1\n', 504372, 5, 1),
    ('name = "x"\n[[step]]\ntype = "wait"\ntime = 2\n', 505373, 4, 8),
    ('name = "x"\n[[step]]\ntype = "write"\nvalues = { frequenz = "20 Hz" }\n', 500374, 4, 23),
])
def test_planfehler_mit_zeile_und_spalte(text, code, line, column):
    with pytest.raises(zpk3x.FileError) as e:
        zpk3x.Plan.from_string(text)
    assert (e.value.code, e.value.line, e.value.column) == (code, line, column)
    assert f"line {line}, column {column}" in e.value.message


def _durchgefallen(zpk3x_sim):
    zpk3x_sim.command("shape sag 0.8")
    with zpk3x.Device(zpk3x_sim.port) as dev:
        return zpk3x.Plan.from_string(PLAN).run(dev, serial="SN<&>", operator="Jo")


def test_junit_hat_die_pflichtteile_des_schemas(zpk3x_sim):
    record = _durchgefallen(zpk3x_sim)
    assert record.outcome == "FAIL"
    wurzel = ET.fromstring(record.junit())
    assert wurzel.tag == "testsuites"
    (suite,) = wurzel.findall("testsuite")
    for a in ("name", "timestamp", "hostname", "tests", "failures", "errors", "time", "id", "package"):
        assert a in suite.attrib, a
    assert [k.tag for k in suite][0] == "properties"
    assert [k.tag for k in suite][-2:] == ["system-out", "system-err"]
    faelle = suite.findall("testcase")
    assert len(faelle) == int(suite.get("tests")) == 5
    for f in faelle:
        assert {"name", "classname", "time"} <= set(f.attrib)
        float(f.get("time"))
    fehler = faelle[3].find("failure")
    assert fehler is not None and fehler.get("type") == "FAIL"
    assert "mean current 1.2" in fehler.get("message") and "below minimum 1.470 A" in fehler.get("message")
    assert faelle[4].find("skipped") is not None
    assert suite.get("failures") == "1" and suite.get("skipped") == "1"
    assert {p.get("name"): p.get("value") for p in suite.iter("property")}["serial"] == "SN<&>"


def test_bericht_zeigt_kurven_baender_und_urteil(zpk3x_sim):
    record = _durchgefallen(zpk3x_sim)
    dom = xml.dom.minidom.parseString(record.html().split("\n", 1)[1])  # after the doctype
    urteil = [d for d in dom.getElementsByTagName("div") if d.getAttribute("id") == "verdict"]
    assert urteil[0].firstChild.data == "FAIL" and urteil[0].getAttribute("class") == "FAIL"
    (svg,) = dom.getElementsByTagName("svg")
    linien = {p.getAttribute("id"): p.getAttribute("points").split() for p in svg.getElementsByTagName("polyline")}
    assert len(linien["current"]) == len(linien["voltage"]) == len(record.steps[3].samples)
    baender = [r for r in svg.getElementsByTagName("rect") if "band" in r.getAttribute("class")]
    assert sorted(b.getAttribute("class") for b in baender) == ["band current", "band voltage"]
    # The sagging curve runs below the current's band (SVG y grows downwards).
    strom = next(b for b in baender if b.getAttribute("class") == "band current")
    unterkante = float(strom.getAttribute("y")) + float(strom.getAttribute("height"))
    assert all(float(p.split(",")[1]) > unterkante for p in linien["current"])
    zeilen = [z for z in dom.getElementsByTagName("tr") if z.getAttribute("class") == "step"]
    assert [z.getElementsByTagName("td")[2].firstChild.data for z in zeilen] == ["PASS", "PASS", "PASS", "FAIL", "SKIPPED"]


def test_speichern_ueberschreibt_nie(zpk3x_sim, tmp_path):
    with zpk3x.Device(zpk3x_sim.port) as dev:
        record = zpk3x.Plan.from_string(PLAN).run(dev, serial="A/B")
    erster, zweiter = record.save(str(tmp_path)), record.save(str(tmp_path))
    assert zweiter == erster + "-2" and os.path.basename(erster).startswith("A_B_")
    assert sorted(os.listdir(erster)) == ["junit.xml", "record.json", "report.html", "samples.csv"]
    with pytest.raises(zpk3x.FileError):
        record.save(os.path.join(erster, "record.json"))


def test_fixture_bringt_den_plan_ins_junitxml(tmp_path):
    (tmp_path / "plan.toml").write_text(PLAN)
    (tmp_path / "test_einheit.py").write_text(textwrap.dedent("""\
        import pytest, zpk3x

        @pytest.mark.zpk3x_plan("plan.toml", serial="SN1")
        def test_gut(zpk3x_plan, zpk3x_sim):
            with zpk3x.Device(zpk3x_sim.port) as dev:
                assert zpk3x_plan(dev).outcome == "PASS"

        def test_schlecht(zpk3x_plan, zpk3x_sim):
            zpk3x_sim.command("shape sag 0.5")
            with zpk3x.Device(zpk3x_sim.port) as dev:
                zpk3x_plan(dev, "plan.toml", serial="SN2")
        """))
    lauf = subprocess.run([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", "--noconftest",
                           "--junitxml=out.xml", "test_einheit.py"], cwd=tmp_path, capture_output=True, text=True,
                          timeout=120)
    assert lauf.returncode == 1, lauf.stdout + lauf.stderr
    faelle = {f.get("name"): f for f in ET.parse(tmp_path / "out.xml").iter("testcase")}
    eigen = {p.get("name"): p.get("value") for p in faelle["test_gut"].iter("property")}
    assert eigen["zpk3x_outcome"] == "PASS" and eigen["zpk3x_serial"] == "SN1"
    assert eigen["zpk3x_step_4"] == "1.5 A: PASS"
    schlecht = faelle["test_schlecht"]
    assert "FAIL" in schlecht.find("failure").get("message")
    assert {p.get("name"): p.get("value") for p in schlecht.iter("property")}["zpk3x_outcome"] == "FAIL"


def test_ausnahme_im_rueckruf_stoppt_das_geraet_und_geht_weiter(zpk3x_sim):
    def kaputt(i, s):
        raise RuntimeError("aus dem Rückruf")
    with zpk3x.Device(zpk3x_sim.port) as dev, pytest.raises(RuntimeError, match="aus dem Rückruf"):
        zpk3x.Plan.from_string(PLAN).run(dev, serial="S", on_sample=kaputt)
    assert zpk3x_sim.frames()[-1] == "#1DF2"

"""Each exception with its attributes, and the same message as the command line's."""

import errno
import os
import pickle
import resource
import subprocess

import pytest

import zpk3x
from zpk3x.testing import Simulator
from conftest import cli_fehler


@pytest.fixture
def sim():
    with Simulator() as s:
        yield s


def test_silent_device_at_a_field(sim, tmp_path):
    t = zpk3x.ProgramTable()
    t.save(str(tmp_path / "t.json"))
    sim.fault("silence C2W")
    erwartet = cli_fehler(sim, "write", "all", "-i", str(tmp_path / "t.json"))
    with zpk3x.Device(sim.port, timeout=0.1) as dev:
        with pytest.raises(zpk3x.DeviceError) as e:
            dev.write_all(t, verify=False)
    f = e.value
    assert (f.program, f.field, f.frame, f.answer, f.completed) == (1, "strom2", "#1C2W0.500", None, 0)
    assert f.code == erwartet["code"] and f.message == erwartet["message"]
    assert str(f).startswith(f"Error #{f.code}: ")


def test_nak_of_a_single_command_in_either_language(sim):
    sim.fault("nak DF1")
    for sprache in ("de", "en"):
        zpk3x.set_language(sprache)
        erwartet = cli_fehler(sim, "start", lang=sprache)
        with zpk3x.Device(sim.port) as dev:
            with pytest.raises(zpk3x.DeviceError) as e:
                dev.start()
        assert (e.value.frame, e.value.answer, e.value.program) == ("#1DF1", "NAK", None)
        assert e.value.message == erwartet["message"]


def test_port_held_by_another_process(sim):
    with open(sim.port, "rb") as halten:
        halter = subprocess.Popen(["sleep", "30"], stdin=halten)
    try:
        erwartet = cli_fehler(sim, "id")
        with pytest.raises(zpk3x.PortError) as e:
            zpk3x.Device(sim.port)
    finally:
        halter.kill()
        halter.wait()
    assert e.value.path == sim.port and e.value.holders == [(halter.pid, "sleep")]
    assert "held by another program" in e.value.reason
    assert e.value.message == erwartet["message"]
    with pytest.raises(zpk3x.PortError, match="no such device") as e:
        zpk3x.Device("/dev/zpk3x-missing")
    assert isinstance(e.value, zpk3x.Error)


def test_an_error_stays_with_its_device_and_ends_with_its_close():
    with Simulator() as a, Simulator() as b, Simulator() as c:
        a.silent("S0R")
        b.refused("DF1")
        with zpk3x.Device(a.port, timeout=0.1) as stumm, zpk3x.Device(b.port) as anderes:
            with pytest.raises(zpk3x.NoAnswerError) as e:
                stumm.status()
            assert (e.value.frame, e.value.answer, e.value.sent) == ("#1S0R", None, True)
            # Owed now: the check read goes unanswered and the start is held back.
            a.silent()
            with pytest.raises(zpk3x.NoAnswerError) as e:
                stumm.start()
            assert (e.value.frame, e.value.answer, e.value.sent) == ("#1DF1", None, False)
            assert "#1DF1" not in a.frames()
            # The other Device owes nothing (no check read first) and fails with its own frame.
            with pytest.raises(zpk3x.DeviceError) as e:
                anderes.start()
            assert (e.value.frame, e.value.answer, e.value.sent) == ("#1DF1", "NAK", True)
            assert b.frames() == ["#1DF1"]
        # The next Device takes the silent one's port number, and nothing of its state.
        with zpk3x.Device(c.port) as neu:
            neu.start()
        assert c.frames() == ["#1DF1"]


def _grenze_mit_freien(anzahl):
    """The file limit that leaves `anzahl` descriptors free below it."""
    grenze = 0
    while anzahl > 0:
        try:
            os.fstat(grenze)
        except OSError:
            anzahl -= 1
        grenze += 1
    return grenze


def test_out_of_descriptors_says_so_and_names_no_holder():
    # Each open takes one descriptor for good and the search for holders three for
    # a moment: the last few opens meet every step of that search short of them.
    with Simulator() as a, Simulator() as b, Simulator() as c, Simulator() as d:
        grenze = resource.getrlimit(resource.RLIMIT_NOFILE)
        offen = []
        try:
            resource.setrlimit(resource.RLIMIT_NOFILE, (_grenze_mit_freien(3), grenze[1]))
            with pytest.raises(zpk3x.PortError) as e:
                for s in (a, b, c, d):
                    offen.append(zpk3x.Device(s.port))
        finally:
            for dev in offen:
                dev.close()
            resource.setrlimit(resource.RLIMIT_NOFILE, grenze)
    assert (e.value.errno, e.value.holders) == (errno.EMFILE, [])
    assert offen


def test_value_out_of_range_sends_nothing(sim, tmp_path):
    datei = tmp_path / "t.csv"
    zpk3x.ProgramTable().save(str(datei))
    datei.write_text(datei.read_text().replace("0.1,0.5", "0.1,7.5", 1).replace("\n0,", "\n0,", 1))
    t = zpk3x.ProgramTable.load(str(datei))
    t[9] = t[0]
    with zpk3x.Device(sim.port) as dev:
        sim.clear_frames()
        with pytest.raises(zpk3x.ValueRangeError) as e:
            dev.write_all(t)
    assert (e.value.program, e.value.field) == (9, "strom2") and isinstance(e.value, ValueError)
    assert "0.001 .. 4.000" in e.value.message
    assert sim.frames() == []


@pytest.mark.parametrize("name,inhalt,zeile,spalte", [
    ("t.json", '{"programs": [\n  {"slot": 0,,}\n]}', 2, 14),
    ("t.csv", "slot,auswahl,stromkurve\n", 1, None),
    ("t.zpk", "kurz", None, None),
])
def test_file_errors_with_line_and_column(tmp_path, name, inhalt, zeile, spalte):
    datei = tmp_path / name
    datei.write_text(inhalt)
    erwartet = cli_fehler(None, "show", str(datei))
    with pytest.raises(zpk3x.FileError) as e:
        zpk3x.ProgramTable.load(str(datei))
    f = e.value
    assert (f.path, f.line, f.column) == (str(datei), zeile, spalte)
    assert (f.code, f.message, f.reason) == (erwartet["code"], erwartet["message"], erwartet.get("reason"))


def test_missing_and_unwritable_files(tmp_path):
    with pytest.raises(zpk3x.FileError) as e:
        zpk3x.ProgramTable.load(str(tmp_path / "nichts.json"))
    assert e.value.reason == "No such file or directory" and e.value.line is None
    with pytest.raises(zpk3x.FileError) as e:
        zpk3x.ProgramTable().save(str(tmp_path / "ordner" / "fehlt" / "p.json"))
    assert e.value.path.endswith("p.json") and e.value.reason
    with pytest.raises(ValueError, match=".zpk, .json or .csv"):
        zpk3x.ProgramTable().save(str(tmp_path / "p.txt"))


def test_a_table_without_a_program_sends_nothing(sim):
    t = zpk3x.ProgramTable()
    t[12] = None
    with zpk3x.Device(sim.port) as dev:
        sim.clear_frames()
        with pytest.raises(ValueError, match="program 12"):
            dev.write_all(t)
    assert sim.frames() == []


def test_exceptions_fit_pythons_hierarchy_and_survive_pickling(sim, tmp_path):
    with pytest.raises(zpk3x.PortError) as e:
        zpk3x.Device("/dev/zpk3x-missing")
    f = e.value
    assert isinstance(f, OSError) and (f.errno, f.filename) == (errno.ENOENT, "/dev/zpk3x-missing")
    assert (f.program, f.field, f.frame, f.line, f.holders) == (None, None, None, None, [])
    # A port this very process holds: named as the holder.
    with zpk3x.Device(sim.port):
        with pytest.raises(zpk3x.PortError) as e:
            zpk3x.Device(sim.port)
    assert e.value.holders == [(os.getpid(), open("/proc/self/comm").read().strip())]
    assert e.value.errno == errno.EBUSY and str(os.getpid()) in e.value.reason
    with pytest.raises(zpk3x.FileError) as e:
        zpk3x.ProgramTable.load(str(tmp_path / "nichts.zpk"))
    assert isinstance(e.value, OSError) and e.value.errno == errno.ENOENT and e.value.filename.endswith("nichts.zpk")
    sim.silent("C1W")
    with zpk3x.Device(sim.port, timeout=0.05) as dev, pytest.raises(TimeoutError) as e:
        dev.write_program(2, zpk3x.Program())
    f = e.value
    assert isinstance(f, zpk3x.NoAnswerError) and isinstance(f, zpk3x.DeviceError) and f.errno == errno.ETIMEDOUT
    wieder = pickle.loads(pickle.dumps(f))
    assert type(wieder) is zpk3x.NoAnswerError and wieder.errno == errno.ETIMEDOUT
    assert (wieder.code, wieder.message, wieder.field, wieder.frame, wieder.answer, wieder.path) == \
        (f.code, f.message, "strom1", "#1C1W0.100", None, None)


def test_faults_by_name(sim):
    with zpk3x.Device(sim.port, timeout=0.1) as dev:
        sim.refused("DF1")
        with pytest.raises(zpk3x.DeviceError, match="NAK") as e:
            dev.start()
        assert not isinstance(e.value, TimeoutError)
        sim.silent("IDR")
        with pytest.raises(zpk3x.NoAnswerError):
            dev.identity()
        sim.no_faults()
        sim.late("DF2", 300)
        with pytest.raises(zpk3x.NoAnswerError):
            dev.stop()
    with Simulator() as frisch, zpk3x.Device(frisch.port) as dev:
        frisch.doubled("IDR", 20)
        assert dev.identity() == "OLQ-ZPK3X-SIM"

"""ProgramTable: the command line's files read and written to the byte, values
checked on assignment."""

import math

import pytest

import zpk3x
from conftest import CLI

import subprocess


def konvertieren(von, nach):
    subprocess.run([CLI, "convert", str(von), str(nach)], check=True, capture_output=True, timeout=30)


def test_files_round_trip_byte_exact_with_the_command_line(tmp_path):
    t = zpk3x.ProgramTable()
    t[3].strom1 = 1.25
    t[16].zeit1 = 65534
    t[7].stromkurve = 12
    t[0].spannung = 53.0
    t.selection = 7
    t.save(str(tmp_path / "a.json"))
    for endung in ("zpk", "csv", "json"):
        # The command line converts the package's file; the package reads and writes it again.
        konvertieren(tmp_path / "a.json", tmp_path / f"cli.{endung}")
        geladen = zpk3x.ProgramTable.load(str(tmp_path / f"cli.{endung}"))
        assert geladen == t
        geladen.save(str(tmp_path / f"py.{endung}"))
        assert (tmp_path / f"py.{endung}").read_bytes() == (tmp_path / f"cli.{endung}").read_bytes()


def test_values_the_device_cannot_take_stay_as_the_file_has_them(tmp_path):
    # A file may hold what no assignment may: it is kept, not clipped, until a write checks it.
    datei = tmp_path / "a.csv"
    t = zpk3x.ProgramTable()
    t.save(str(datei))
    text = datei.read_text().replace("0.1,0.5", "99,-inf", 1)
    datei.write_text(text)
    geladen = zpk3x.ProgramTable.load(str(datei))
    assert (geladen[0].strom1, geladen[0].strom2) == (99.0, -math.inf)
    geladen.save(str(tmp_path / "b.csv"))
    assert (tmp_path / "b.csv").read_text() == text


@pytest.mark.parametrize("feld,wert,bereich", [("strom1", 4.5, "0.001 .. 4.000"), ("stromkurve", 13, "1 .. 12"),
                                               ("spannung", float("nan"), "9.0 .. 53.0"), ("stromkurve", 2.5, "1 .. 12")])
def test_assigning_out_of_range_names_field_and_range(feld, wert, bereich):
    p = zpk3x.Program()
    with pytest.raises(zpk3x.ValueRangeError) as e:
        setattr(p, feld, wert)
    assert (e.value.field, e.value.program) == (feld, None) and bereich in e.value.message
    assert isinstance(e.value, ValueError) and e.value.code == 500302
    assert getattr(p, feld) == getattr(zpk3x.Program(), feld)
    with pytest.raises(AttributeError, match="strom3"):
        p.strom3 = 1


def test_fields_have_the_files_types_and_tables_slice():
    p = zpk3x.Program(stromkurve=3.0, endstuferegeln=True, zeit1=250)
    assert (type(p.stromkurve), type(p.endstuferegeln), type(p.strom1)) == (int, bool, float)
    assert (p.stromkurve, p.endstuferegeln, p.zeit1) == (3, True, 250.0)
    p.endstuferegeln = False
    assert p.as_dict()["endstuferegeln"] == 0 and p.as_dict()["stromkurve"] == 3
    with pytest.raises(TypeError):
        p.strom1 = "1.0"
    t = zpk3x.ProgramTable()
    t[2] = p
    assert t[1:3] == [zpk3x.Program(), p] and len(t[:]) == 17
    with pytest.raises(TypeError):
        t["1"]


def test_save_replaces_the_file_in_one_step(tmp_path):
    ziel = tmp_path / "p.zpk"
    ziel.write_bytes(b"old")
    verweis = tmp_path / "link.zpk"
    verweis.symlink_to(ziel)
    zpk3x.ProgramTable().save(str(verweis))
    assert verweis.is_symlink() and len(ziel.read_bytes()) == 1408
    assert sorted(p.name for p in tmp_path.iterdir()) == ["link.zpk", "p.zpk"]


def test_a_table_without_some_slots_round_trips_and_cannot_be_written(tmp_path):
    t = zpk3x.ProgramTable()
    t[9] = None
    t[2] = None
    t.save(str(tmp_path / "a.json"))
    for endung in ("json", "csv"):
        konvertieren(tmp_path / "a.json", tmp_path / f"cli.{endung}")
        geladen = zpk3x.ProgramTable.load(str(tmp_path / f"cli.{endung}"))
        assert geladen == t and geladen[9] is None and "[2, 9]" in repr(geladen)
        assert geladen.to_bytes(endung) == (tmp_path / f"cli.{endung}").read_bytes()
    # The program file holds every slot: the missing ones at the defaults.
    konvertieren(tmp_path / "a.json", tmp_path / "cli.zpk")
    assert t.to_bytes("zpk") == (tmp_path / "cli.zpk").read_bytes()
    assert zpk3x.ProgramTable.load(str(tmp_path / "cli.zpk"))[9] == zpk3x.Program()

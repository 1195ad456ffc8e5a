"""zpk3x.Device against the simulator: each method sends what zpk3x-cli sends
for the same operation, waits without the GIL, and refuses misuse."""

import signal
import threading
import time

import pytest

import zpk3x
from zpk3x.testing import Simulator
from conftest import cli, frames


@pytest.fixture
def sim():
    with Simulator() as s:
        yield s


def test_every_method_sends_the_frames_of_the_command_line(tmp_path):
    datei = tmp_path / "p.json"
    tabelle = zpk3x.ProgramTable()
    for n in range(1, 17):
        tabelle[n].strom1 = n / 8
        tabelle[n].zeit2 = 100 * n
    tabelle.save(str(datei))
    einzeln = tmp_path / "p3.json"
    einzel = zpk3x.ProgramTable()
    einzel[3] = tabelle[3]
    einzel.selection = 3
    einzel.save(str(einzeln))
    befehle = [
        ("id", "identity", ()), ("get", "actual", ()),
        ("write all -i {}".format(datei), "write_all", (tabelle,)),
        ("write 3 -i {} --no-verify".format(einzeln), "write_program", (3, tabelle[3], False)),
        ("read all", "read_all", ()), ("read 5", "read_program", (5,)),
        ("load 4", "load", (4,)), ("store 6", "store", (6,)), ("clear", "clear_errors", ()),
        ("calibrate", "calibrate", ()), ("start", "start", ()), ("stop", "stop", ()),
    ]
    # The same sequence on two fresh devices: one by the command line, one by the package.
    with Simulator() as sim:
        erwartet = [frames(sim, lambda: cli(sim, *b.split())) for b, _, _ in befehle]
        cli(sim, "read", "all", "-o", str(tmp_path / "cli.json"))
    with Simulator() as sim, zpk3x.Device(sim.port) as dev:
        gesendet = [frames(sim, lambda: getattr(dev, m)(*a)) for _, m, a in befehle]
        gelesen = dev.read_all()
    for (befehl, _, _), e, g in zip(befehle, erwartet, gesendet):
        assert e and g == e, befehl
    # "load 4" then "store 6" copied program 4 into 6.
    assert [gelesen[n] for n in range(1, 17)] == [tabelle[4 if n == 6 else n] for n in range(1, 17)]
    # What the command line reads is what the package reads, to the byte.
    assert (tmp_path / "cli.json").read_bytes() == gelesen.to_bytes("json")


def test_values_and_identity_are_the_devices(sim):
    sim.command("identity ZPK3X-TEST")
    sim.command("value C0R 1.234")
    sim.command("status 201")
    with zpk3x.Device(sim.port) as dev:
        assert dev.identity() == "ZPK3X-TEST"
        a = dev.actual()
    assert (a.current, a.strom, a.status) == (1.234, 1.234, 0x201)
    assert [b.bit for b in a.bits] == [0x1, 0x200]
    assert "0x201" not in repr(a) and "1.234" in repr(a)


def test_closed_device_and_second_thread_raise(sim):
    dev = zpk3x.Device(sim.port)
    sim.fault("delay 300")
    fehler = []

    def langsam():
        dev.identity()

    sim.clear_frames()
    t = threading.Thread(target=langsam)
    t.start()
    # The first call holds the device once its request reached the simulator.
    frist = time.monotonic() + 30
    while not sim.frames() and time.monotonic() < frist:
        time.sleep(0.005)
    with pytest.raises(RuntimeError, match="another thread"):
        dev.identity()
    t.join()
    sim.fault("none")
    dev.close()
    assert dev.closed and "closed" in repr(dev)
    with pytest.raises(ValueError, match="closed"):
        dev.actual()
    assert not fehler


def test_the_line_is_waited_on_without_the_gil(sim):
    sim.fault("delay 5")
    zaehler = [0]
    fertig = threading.Event()

    def zaehlen():
        while not fertig.is_set():
            zaehler[0] += 1

    t = threading.Thread(target=zaehlen)
    with zpk3x.Device(sim.port) as dev:
        t.start()
        vorher = zaehler[0]
        dev.read_all()
        waehrend = zaehler[0] - vorher
        fertig.set()
    t.join()
    # 176 answers 5 ms late each: a thread held off by the GIL would not count at all.
    assert waehrend > 10000


def test_two_devices_from_two_threads():
    with Simulator() as a, Simulator(address=2) as b:
        a.fault("delay 10")
        b.fault("delay 10")
        ergebnisse = {}

        def lesen(sim, adresse):
            with zpk3x.Device(sim.port, address=adresse) as dev:
                ergebnisse[adresse] = dev.read_all()

        start = time.monotonic()
        threads = [threading.Thread(target=lesen, args=(a, 1)), threading.Thread(target=lesen, args=(b, 2))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        dauer = time.monotonic() - start
    assert sorted(ergebnisse) == [1, 2]
    # Each alone takes 176 x 10 ms: side by side well below both in a row.
    assert dauer < 2 * 1.76


def test_progress_and_ctrl_c_during_write_all_at_1200_baud():
    with Simulator(baud=1200, pace=True) as sim:
        tabelle = zpk3x.ProgramTable()
        for n in range(1, 17):
            tabelle[n].zyklen = n
        gemeldet = []
        haupt = threading.get_ident()

        def fortschritt(fertig, gesamt):
            gemeldet.append((fertig, gesamt))
            if fertig == 2:
                # Ctrl+C while the next frame waits on the line, away from any Python code.
                threading.Timer(0.05, signal.pthread_kill, (haupt, signal.SIGINT)).start()

        with zpk3x.Device(sim.port, baud=1200) as dev:
            with pytest.raises(KeyboardInterrupt) as e:
                dev.write_all(tabelle, progress=fortschritt)
            # The port is still usable: nothing is owed.
            assert dev.identity()
        gesendet = sim.frames()
        gehalten = sim.programs()
    assert gemeldet[:2] == [(1, 16), (2, 16)]
    assert e.value.completed >= 2 and e.value.completed < 16
    assert e.value.__notes__[0].startswith(f"programs 1 to {e.value.completed} stored")
    # Every frame sent was answered and nothing followed the frame in flight:
    # programs beyond the completed ones were not stored.
    assert gesendet[-1] == "#1IDR"
    for n in range(e.value.completed + 1, 17):
        assert gehalten[n].zyklen != n
    for n in range(1, e.value.completed + 1):
        assert gehalten[n].zyklen == n


def test_a_failing_progress_callback_ends_the_transfer(sim):
    def fortschritt(fertig, gesamt):
        raise LookupError("stop here")

    with zpk3x.Device(sim.port) as dev:
        with pytest.raises(LookupError) as e:
            dev.read_all(progress=fortschritt)
    # It ends within the next program: the callback is heard at the next answer.
    assert e.value.completed == 1
    assert "#1PNS3" not in sim.frames()


def test_scan_finds_the_device_as_the_command_line_does_and_ports_lists_paths():
    with Simulator(baud=2400, address=3) as sim:
        erwartet = frames(sim, lambda: cli(sim, "--timeout", "0.05", "scan"))
        gefunden = []
        gesendet = frames(sim, lambda: gefunden.extend(zpk3x.scan(sim.port, timeout=0.05)))
    assert gesendet == erwartet and "#3IDR" in gesendet
    assert [(f.baud, f.address, f.zpk3x) for f in gefunden] == [(2400, 3, True)]
    assert all(p.path.startswith("/dev/") for p in zpk3x.ports())

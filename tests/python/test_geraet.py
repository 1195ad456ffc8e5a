"""zpk3x.Device against the simulator: each method sends what zpk3x-cli sends
for the same operation, waits without the GIL, and refuses misuse."""

import contextlib
import json
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


def test_threads_take_turns_on_one_device(sim):
    # A poller without a sleep and a writer on one Device: both finish.
    gelesen = []
    with zpk3x.Device(sim.port) as dev:
        fertig = threading.Event()

        def pollen():
            while not fertig.is_set():
                gelesen.append(dev.actual())

        t = threading.Thread(target=pollen)
        t.start()
        try:
            for n in range(1, 6):
                dev.write_program(n, zpk3x.Program(zyklen=n))
        finally:
            fertig.set()
            t.join()
        assert [dev.read_program(n).zyklen for n in range(1, 6)] == [1, 2, 3, 4, 5]
    assert len(gelesen) > 5
    # A bounded wait for the turn ends in TimeoutError; a callback that calls
    # its own Device would wait for itself, and is refused.
    sim.fault("delay 300")
    sim.clear_frames()
    with zpk3x.Device(sim.port, lock_timeout=0.05) as dev:
        t = threading.Thread(target=dev.identity)
        t.start()
        # The first call holds the device once its request reached the simulator.
        frist = time.monotonic() + 30
        while "#1IDR" not in sim.frames() and time.monotonic() < frist:
            time.sleep(0.005)
        with pytest.raises(TimeoutError, match="another thread"):
            dev.identity()
        t.join()
        sim.fault("none")
        with pytest.raises(RuntimeError, match="its own call"):
            dev.read_all(progress=lambda fertig, gesamt: dev.actual())
    assert dev.closed and not dev.is_open and "closed" in repr(dev)
    with pytest.raises(ValueError, match="closed"):
        dev.actual()


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


def test_twenty_devices_and_a_scan_at_once_each_on_its_own_line():
    with contextlib.ExitStack() as offen:
        sims = [offen.enter_context(Simulator(address=n % 8 + 1)) for n in range(21)]
        geraete = [offen.enter_context(zpk3x.Device(s.port, address=s.address)) for s in sims[:20]]
        assert [(f.address, f.zpk3x) for f in zpk3x.scan(sims[20].port, timeout=0.05)] == [(5, True)]
        assert zpk3x._zpk3x.ports_in_use() == 20  # the scan's is given back
        for dev in reversed(geraete):
            assert dev.identity()
        assert [s.frames() for s in sims[:20]] == [[f"#{s.address}IDR"] for s in sims[:20]]
    # Nothing kept after a close or a failed open, which in the end would refuse every open.
    with pytest.raises(zpk3x.PortError):
        zpk3x.Device("/dev/zpk3x-missing")
    with pytest.raises(zpk3x.PortError):
        zpk3x.scan("/dev/zpk3x-missing")
    assert zpk3x._zpk3x.ports_in_use() == 0


def test_what_the_command_line_has(sim, tmp_path):
    assert zpk3x.__version__ == json.loads(cli(None, "--version").stdout)["version"]
    with pytest.raises(TypeError, match="None"):
        zpk3x.Device(sim.port, timeout=None)
    sim.command("status 2101")
    with zpk3x.Device(sim.port, baud=9600, address="1", timeout=0.25) as dev:
        assert (dev.port, dev.baud, dev.address, dev.timeout, dev.is_open) == (sim.port, 9600, 1, 0.25, True)
        a = dev.actual()
        assert a.status == zpk3x.Status.STARTED | zpk3x.Status.CANCELLED | zpk3x.Status.TEMPERATURE_HIGH
        assert zpk3x.Status.STARTED in a.status and zpk3x.Status.ENDED not in a.status
        assert zpk3x.Status.CANCELLED.text_en == "Process has been canceld"
        assert zpk3x.Status.PARAMETERS_DESTROYED.text_de == "Parameter zerstört"
        # diff as the command line's: the device against a file.
        tabelle = dev.read_all()
        tabelle[3].strom1 = 1.25
        tabelle[9].zyklen = 7
        unterschiede = dev.diff(tabelle)
        assert dev.diff(tabelle, 4) == []
    tabelle.save(str(tmp_path / "t.json"))
    erwartet = json.loads(cli(sim, "diff", str(tmp_path / "t.json"), check=False).stdout)["differences"]
    assert [(d.program, d.field, d.device, d.file) for d in unterschiede] == \
        [(d["program"], d["field"], d["value"], d["expected"]) for d in erwartet]
    assert len(erwartet) == 2


def test_monitor_yields_until_stopped_and_stops_the_device(sim):
    with zpk3x.Device(sim.port) as dev:
        dev.start()
        sim.clear_frames()
        werte = []
        with pytest.raises(LookupError):
            with dev.monitor(0.01, stop_on_exit=True) as m:
                for a in m:
                    werte.append(a)
                    if len(werte) == 3:
                        raise LookupError("a limit broken")
        assert all(zpk3x.Status.STARTED in a.status for a in werte)
        assert zpk3x.Status.CANCELLED in dev.status()
    assert sim.frames() == ["#1C0R", "#1V0R", "#1S0R"] * 3 + ["#1DF2", "#1S0R"]


def test_ctrl_c_ends_the_wait_for_a_turn(sim):
    sim.late("IDR", 1500)
    with zpk3x.Device(sim.port, timeout=5) as dev:
        anderer = threading.Thread(target=dev.identity)
        anderer.start()
        frist = time.monotonic() + 30
        while sim.frames().count("#1IDR") == 0 and time.monotonic() < frist:
            time.sleep(0.005)
        assert "#1IDR" in sim.frames()
        threading.Timer(0.05, signal.pthread_kill, (threading.get_ident(), signal.SIGINT)).start()
        start = time.monotonic()
        with pytest.raises(KeyboardInterrupt):
            dev.status()
        # Long before the other call's answer comes.
        assert time.monotonic() - start < 1.0
        anderer.join()
    assert "#1S0R" not in sim.frames()


@pytest.mark.skipif(not zpk3x._zpk3x.INTERRUPT_IN_EVERY_WAIT, reason="the serial layer has no abort hook yet")
def test_ctrl_c_ends_a_long_wait_at_once(sim):
    sim.silent("IDR")
    with zpk3x.Device(sim.port, timeout=10) as dev:
        haupt = threading.get_ident()
        threading.Timer(0.2, signal.pthread_kill, (haupt, signal.SIGINT)).start()
        start = time.monotonic()
        with pytest.raises(KeyboardInterrupt):
            dev.identity()
        # Well inside the time-out of 10 s (the wait is asked every 50 ms).
        assert time.monotonic() - start < 1.0
        sim.no_faults()
        sim.clear_frames()
        assert dev.identity()
    assert sim.frames() == ["#1IDR"]

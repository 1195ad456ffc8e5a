"""A user's script with every documented name, for mypy --strict only (it needs a
device): the package's types must let it check clean."""

from typing import List, Optional, Tuple

import zpk3x
from zpk3x.testing import Simulator


def alles(port: str) -> None:
    zpk3x.set_language("en")
    version: str = zpk3x.__version__
    gefunden: List[zpk3x.Found] = zpk3x.scan(port, baud=9600, timeout=0.5)
    pfade: List[str] = [p.path for p in zpk3x.ports()] + [f.identity for f in gefunden] + [version]
    with zpk3x.Device(port, baud=9600, address=1, timeout=0.5, lock_timeout=2.0) as dev:
        eigenschaften: Tuple[str, int, int, float, bool, Optional[float]] = (
            dev.port, dev.baud, dev.address, dev.timeout, dev.is_open, dev.lock_timeout)
        kennung: str = dev.identity()
        tabelle: zpk3x.ProgramTable = dev.read_all(progress=lambda fertig, gesamt: None)
        p: zpk3x.Program = dev.read_program(3)
        kurve: int = p.stromkurve
        an: bool = p.endstuferegeln
        strom: float = p.strom1 + p.zeit1 + p.zyklen
        p.stromkurve = 4
        p.endstuferegeln = True
        p.strom1 = 1
        teil: List[Optional[zpk3x.Program]] = tabelle[1:5]
        dev.write_program(3, p, verify=True)
        dev.write_all(tabelle, verify=False, progress=None)
        unterschiede: List[zpk3x.Difference] = dev.diff(tabelle, 3)
        dev.load(3)
        dev.store(4)
        dev.start()
        dev.clear_errors()
        dev.calibrate()
        a: zpk3x.Actual = dev.actual()
        status: zpk3x.Status = dev.status() | a.status
        texte: List[str] = [status.text, status.text_de, status.text_en, zpk3x.Status.ENDED.text] + a.bits_text
        with dev.monitor(0.5, stop_on_exit=True) as m:
            for wert in m:
                if wert.current > 4 or zpk3x.Status.CANCELLED in wert.status:
                    break
        dev.stop()
        print(eigenschaften, kennung, kurve, an, strom, teil, unterschiede, texte, pfade, a.strom, a.spannung)
    tabelle.save("p.zpk")
    tabelle = zpk3x.ProgramTable.load("p.json")
    tabelle.selection = 3
    roh: bytes = tabelle.to_bytes("csv")
    print(roh, zpk3x.FIELDS)


def fehler(port: str) -> None:
    try:
        alles(port)
    except zpk3x.PortError as e:
        print(e.errno, e.filename, e.path, e.reason, e.reason_code, e.holders, e.code, e.message)
    except zpk3x.NoAnswerError as e:
        print(e.frame, e.answer, e.sent, e.program, e.field, e.completed)
    except zpk3x.DeviceError as e:
        print(e.frame, e.answer, e.program, e.field, e.completed)
    except zpk3x.FileError as e:
        print(e.errno, e.path, e.reason, e.line, e.column, e.program, e.field)
    except zpk3x.ValueRangeError as e:
        print(e.program, e.field, e.code)
    except zpk3x.Error as e:
        print(e.code, e.message, e.path, e.line)


def simuliert() -> None:
    with Simulator(baud=9600, address=1, faults=["nak DF1"]) as sim:
        sim.late("C1W", 800)
        sim.silent("S0R")
        sim.doubled("C0R")
        sim.refused("DF1")
        sim.no_faults()
        sim.fault("delay 5")
        gesendet: List[str] = sim.frames()
        gehalten: zpk3x.ProgramTable = sim.programs()
        print(gesendet, gehalten)
        fehler(sim.port)

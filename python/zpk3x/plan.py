"""Test plans: a TOML plan run on a :class:`zpk3x.Device`, judged against its
limits, with the same record as ``zpk3x-cli test``.

    plan = zpk3x.Plan.load("quick-check.toml")
    with zpk3x.Device("/dev/ttyUSB0") as dev:
        record = plan.run(dev, serial="SN1234")
    print(record.outcome)          # PASS, FAIL, ERROR or ABORTED
    record.save("records")         # record.json, junit.xml, samples.csv, report.html

A fault of the plan raises :class:`zpk3x.FileError` with ``line`` and ``column``;
nothing is sent. Ctrl+C during a run ends it as ABORTED with the device stopped,
and the record is returned."""

from __future__ import annotations

import json
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, Callable, Dict, List, Optional, Tuple

from . import _sprache, _zpk3x

if TYPE_CHECKING:
    from . import Device


@dataclass(frozen=True)
class Sample:
    """One sample of a measurement: ``t`` seconds since the run began."""
    t: float
    current: float
    voltage: float
    status: int


OnSample = Callable[[int, Sample], object]


@dataclass(frozen=True)
class Step:
    """One step of a run as its record has it."""
    name: str
    type: str
    outcome: str
    reason: str
    code: int
    data: Dict[str, Any]

    @property
    def samples(self) -> List[Sample]:
        return [Sample(s["t"], s["current"], s["voltage"], s["status"]) for s in self.data.get("samples", [])]


class Record:
    """The record of one run: ``outcome`` (the worst of its steps), ``steps``,
    the whole document as ``data``, and the forms a production line keeps."""

    def __init__(self, kern: Any) -> None:
        self._kern = kern
        self.data: Dict[str, Any] = json.loads(kern.json())

    @property
    def outcome(self) -> str:
        return str(self.data["outcome"])

    @property
    def reason(self) -> str:
        return str(self.data["reason"])

    @property
    def serial(self) -> str:
        return str(self.data["serial"])

    @property
    def steps(self) -> List[Step]:
        return [Step(s["name"], s["type"], s["outcome"], s["reason"], s["code"], s) for s in self.data["steps"]]

    def junit(self) -> str:
        """JUnit XML: one test case per step."""
        return str(self._kern.junit())

    def html(self) -> str:
        """A self-contained report with a plot, the limit bands and the verdict."""
        return str(self._kern.html())

    def csv(self) -> str:
        return str(self._kern.csv())

    def save(self, folder: str) -> str:
        """Writes the record into a new folder below ``folder`` named by serial
        number and time (never one that exists); returns that folder."""
        return str(self._kern.save(str(folder)))

    def __repr__(self) -> str:
        return f"<zpk3x.Record {self.data['plan']['name']!r} serial={self.serial!r} {self.outcome}>"


class _Adapter:
    """What the compiled run calls: the package's device operations by plain values."""

    def __init__(self, device: "Device") -> None:
        self._d = device

    def identity(self) -> str:
        return self._d.identity()

    def write(self, n: int, satz: Tuple[float, ...]) -> None:
        from . import Program
        # The run reads it back itself and compares it as the device stores it.
        self._d.write_program(n, Program._aus(tuple(satz)), verify=False)

    def read(self, n: int) -> Tuple[float, ...]:
        return tuple(self._d.read_program(n).as_dict().values())

    def load(self, n: int) -> None:
        self._d.load(n)

    def function(self, name: str) -> None:
        {"start": self._d.start, "stopp": self._d.stop, "fehlerloeschen": self._d.clear_errors}[name]()

    def actual(self) -> Tuple[float, float, int]:
        a = self._d.actual()
        return (a.current, a.voltage, a.status)


class Plan:
    """A test plan read from TOML."""

    def __init__(self, kern: Any) -> None:
        self._kern = kern

    @classmethod
    def load(cls, path: str) -> "Plan":
        """Reads a plan file; program files it names are found beside it."""
        return cls(_zpk3x.Plan.load(str(path)))

    @classmethod
    def from_string(cls, text: str, base_dir: str = ".") -> "Plan":
        """A plan from its text; program files it names are found in ``base_dir``."""
        return cls(_zpk3x.Plan.parse(text, str(base_dir)))

    @property
    def name(self) -> str:
        return str(self._kern.name)

    @property
    def sha256(self) -> str:
        return str(self._kern.sha256)

    @property
    def steps(self) -> List[str]:
        """The names of the steps."""
        return list(self._kern.steps)

    def run(self, device: "Device", serial: str, operator: Optional[str] = None, station: Optional[str] = None,
            on_sample: Optional[OnSample] = None) -> Record:
        """Runs the plan on ``device`` for the unit ``serial``. ``on_sample(step,
        sample)`` is called for every sample (step counts from 0)."""
        if not serial or any(ord(c) < 0x20 for c in serial):
            raise ValueError("serial: one line of text, not empty")
        g = device._geraet
        rueckruf = None
        if on_sample is not None:
            callback = on_sample

            def rueckruf(i: int, t: float, strom: float, spannung: float, status: int) -> None:
                callback(i, Sample(t, strom, spannung, status))
        return Record(self._kern.run(_Adapter(device), serial, operator or "", station or "", g.port, g.baud, g.address,
                                     rueckruf, _sprache.englisch()))

    def __repr__(self) -> str:
        return f"<zpk3x.Plan {self.name!r} {len(self.steps)} steps>"

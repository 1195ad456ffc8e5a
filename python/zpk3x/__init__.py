"""zpk3x: the ZPK-3X test device from Python, on the same code as the operator
window and zpk3x-cli, so that it sends exactly their frames.

    import zpk3x
    with zpk3x.Device("/dev/ttyUSB0", baud=9600, address=1, timeout=0.5) as dev:
        print(dev.identity(), dev.actual())

Tests without hardware: :class:`zpk3x.testing.Simulator` and the pytest fixture
``zpk3x_sim``."""

from __future__ import annotations

from dataclasses import dataclass, field as _feld
from typing import Callable, Iterator, List, Optional, Tuple, Union

from . import _sprache, _zpk3x
from .errors import DeviceError, Error, FileError, PortError, ValueRangeError
from .plan import Plan, Record, Sample, Step  # noqa: F401  test plans (zpk3x.plan)

__all__ = [
    "Device", "Program", "ProgramTable", "Actual", "StatusBit", "Found", "PortInfo", "scan", "ports",
    "set_language", "FIELDS", "Error", "PortError", "DeviceError", "FileError", "ValueRangeError",
]

#: The fields of a program in transfer order, by the device's names.
FIELDS: Tuple[str, ...] = tuple(f[0] for f in _zpk3x.FIELDS)
_FELD = {f[0]: (i, f[1], f[2], f[3]) for i, f in enumerate(_zpk3x.FIELDS)}

Progress = Callable[[int, int], object]


def set_language(language: str) -> None:
    """Messages in German ("de") or English ("en"); the default follows the locale
    (LC_ALL, LC_MESSAGES, LANG) as zpk3x-cli does."""
    if language not in ("de", "en"):
        raise ValueError(f"language: 'de' or 'en', not {language!r}")
    _sprache.setzen(language == "en")


class Program:
    """One program: the device's ten fields by their names (``stromkurve``,
    ``strom1``, ...). Assigning a value outside the range the device accepts
    raises ValueError naming the field and the range. Values read from a file
    are taken as they stand; writing them to a device checks them first."""

    __slots__ = ("_werte",)

    def __init__(self, **werte: float) -> None:
        object.__setattr__(self, "_werte", list(_zpk3x.DEFAULT))
        for name, wert in werte.items():
            setattr(self, name, wert)

    @classmethod
    def _aus(cls, satz: Tuple[float, ...]) -> "Program":
        p = cls.__new__(cls)
        object.__setattr__(p, "_werte", list(satz))
        return p

    def __getattr__(self, name: str) -> float:
        if name in _FELD:
            return self._werte[_FELD[name][0]]
        raise AttributeError(f"Program has no field {name!r}; fields: {', '.join(FIELDS)}")

    def __setattr__(self, name: str, wert: float) -> None:
        if name not in _FELD:
            raise AttributeError(f"Program has no field {name!r}; fields: {', '.join(FIELDS)}")
        index, ganz, _, _ = _FELD[name]
        if ganz:
            if isinstance(wert, bool) or not float(wert).is_integer():
                raise ValueError(f"{name}: a whole number, not {wert!r}; allowed: {_zpk3x.range_text(index)}")
            wert = int(wert)
        else:
            wert = float(wert)
        satz = list(self._werte)
        satz[index] = wert
        if not _zpk3x.in_range(satz, index):
            raise ValueError(f"{name} = {wert!r}; allowed: {_zpk3x.range_text(index)}")
        self._werte[index] = wert

    def as_dict(self) -> dict:
        """The fields as a dict, in transfer order."""
        return dict(zip(FIELDS, self._werte))

    def copy(self) -> "Program":
        """A program of its own with the same values."""
        return Program._aus(tuple(self._werte))

    def __eq__(self, other: object) -> bool:
        return isinstance(other, Program) and self._werte == other._werte

    def __repr__(self) -> str:
        return "Program(" + ", ".join(f"{n}={v!r}" for n, v in self.as_dict().items()) + ")"


class ProgramTable:
    """The 17 slots (0: the working parameters, 1..16: the stored programs) and
    the selected slot, as the program files hold them. A slot the table does
    not hold (a JSON null, a CSV file without its line) is None; assigning None
    leaves it out, and a .zpk file, which always holds all 17, writes it at the
    defaults."""

    def __init__(self, programs: Optional[List[Optional[Program]]] = None, selection: int = 0) -> None:
        if programs is None:
            programs = [Program() for _ in range(17)]
        if len(programs) != 17:
            raise ValueError("a program table has 17 slots (0..16)")
        self._programme = [None if p is None else p.copy() for p in programs]
        self.selection = selection

    @property
    def selection(self) -> int:
        """The selected slot, 0..16."""
        return self._auswahl

    @selection.setter
    def selection(self, n: int) -> None:
        if not 0 <= n <= 16:
            raise ValueError(f"selection: 0 to 16, not {n!r}")
        self._auswahl = n

    @classmethod
    def load(cls, path: str) -> "ProgramTable":
        """Reads a .zpk, .json or .csv file as zpk3x-cli reads it; FileError with
        path, reason, line and column when it cannot."""
        slots, auswahl = _zpk3x.table_load(str(path))
        return cls._aus(slots, auswahl)

    @classmethod
    def _aus(cls, slots: List[Tuple[float, ...]], auswahl: int) -> "ProgramTable":
        t = cls.__new__(cls)
        t._programme = [None if s is None else Program._aus(s) for s in slots]
        t._auswahl = auswahl
        return t

    def _saetze(self) -> List[Optional[List[float]]]:
        return [None if p is None else p._werte for p in self._programme]

    def save(self, path: str) -> None:
        """Writes the table in the format of the file name's extension, byte for
        byte as zpk3x-cli writes it, replacing the file in one step."""
        _zpk3x.table_save(str(path), self._saetze(), self._auswahl)

    def to_bytes(self, format: str) -> bytes:
        """The file's contents in "zpk", "json" or "csv"."""
        if format not in ("zpk", "json", "csv"):
            raise ValueError(f"format: 'zpk', 'json' or 'csv', not {format!r}")
        return _zpk3x.table_bytes(self._saetze(), self._auswahl, format)

    def __getitem__(self, n: int) -> Optional[Program]:
        if not 0 <= n <= 16:
            raise IndexError(f"slot: 0 to 16, not {n!r}")
        return self._programme[n]

    def __setitem__(self, n: int, program: Optional[Program]) -> None:
        if not 0 <= n <= 16:
            raise IndexError(f"slot: 0 to 16, not {n!r}")
        self._programme[n] = None if program is None else program.copy()

    def __len__(self) -> int:
        return 17

    def __iter__(self) -> Iterator[Optional[Program]]:
        return iter(self._programme)

    def __eq__(self, other: object) -> bool:
        return isinstance(other, ProgramTable) and self._programme == other._programme and \
            self._auswahl == other._auswahl

    def __repr__(self) -> str:
        fehlen = [n for n, p in enumerate(self._programme) if p is None]
        ohne = f" without slots {fehlen}" if fehlen else ""
        return f"<ProgramTable selection={self._auswahl}{ohne}, working parameters {self._programme[0]!r}>"


@dataclass(frozen=True)
class StatusBit:
    """A set bit of the status word and its name in the chosen language."""
    bit: int
    text: str


@dataclass(frozen=True)
class Actual:
    """Actual values: ``current`` [A], ``voltage`` [V], the ``status`` word and
    its set ``bits``; also by the device's names ``strom`` and ``spannung``."""
    current: float
    voltage: float
    status: int
    bits: Tuple[StatusBit, ...] = _feld(default=())

    @property
    def strom(self) -> float:
        """The actual current [A], by the device's name."""
        return self.current

    @property
    def spannung(self) -> float:
        """The actual voltage [V], by the device's name."""
        return self.voltage

    @property
    def bits_text(self) -> List[str]:
        """The names of the set status bits."""
        return [b.text for b in self.bits]


def _bits(status: int) -> Tuple[StatusBit, ...]:
    return tuple(StatusBit(b, t) for b, t in _zpk3x.status_bits(_sprache.englisch()) if status & b)


@dataclass(frozen=True)
class Found:
    """A device that answered the search: ``baud``, ``address``, ``identity``,
    and ``zpk3x``, whether it names a ZPK-3X."""
    baud: int
    address: int
    identity: str
    zpk3x: bool = True


@dataclass(frozen=True)
class PortInfo:
    """A serial port of this machine: ``path``, ``stable_names`` (by-id,
    by-path), and for USB adapters the ids and names sysfs gives."""
    path: str
    stable_names: Tuple[str, ...] = ()
    target: str = ""
    vendor_id: str = ""
    product_id: str = ""
    manufacturer: str = ""
    product: str = ""
    serial_number: str = ""


def scan(port: str, baud: int = 9600, timeout: float = 0.5) -> List[Found]:
    """Looks for devices on ``port``: addresses 1 to 8 at 1200, 2400, 4800 and
    9600 baud, stopping after the first rate at which a ZPK-3X answered (only
    at ``baud`` over raw TCP, where the device server keeps its own rate).
    Every answer is listed."""
    return [Found(b, a, k, z) for b, a, k, z in _zpk3x.scan(str(port), baud, timeout)]


def ports() -> List[PortInfo]:
    """The serial ports of this machine, as ``zpk3x-cli ports`` lists them."""
    return [PortInfo(**{**d, "stable_names": tuple(d["stable_names"])}) for d in _zpk3x.ports()]


_FUNKTIONEN = {"start": "start", "stop": "stopp", "clear_errors": "fehlerloeschen", "calibrate": "kalibrieren"}


class Device:
    """A ZPK-3X on a serial port (``/dev/ttyUSB0``, ``COM3``) or behind a device
    server (``tcp://HOST:PORT``, ``rfc2217://HOST:PORT``), opened exclusively.

    Every method waits on the line without holding the GIL. One Device serves
    one thread at a time: a call while another thread's call runs raises
    RuntimeError, a call after :meth:`close` ValueError. Failures raise
    :class:`DeviceError`; the port's failure to open :class:`PortError`."""

    def __init__(self, port: str, baud: int = 9600, address: Union[int, str] = 1, timeout: float = 0.5) -> None:
        if isinstance(address, str) and len(address) == 1 and address.isdigit():
            address = int(address)
        self._geraet = _zpk3x.Device(str(port), baud, address, timeout)

    def __enter__(self) -> "Device":
        return self

    def __exit__(self, *_: object) -> None:
        self.close()

    def close(self) -> None:
        """Closes the port; after an unanswered frame only once the line has been
        quiet for one time-out, so that a late answer cannot reach the next user."""
        self._geraet.close()

    @property
    def closed(self) -> bool:
        """True after :meth:`close`."""
        return not self._geraet.open

    def identity(self) -> str:
        """The device's identity word."""
        return self._geraet.identity()

    def read_program(self, n: int) -> Program:
        """Program n (1..16; 0: the working parameters) from the device; the
        working parameters are left as they were found."""
        slots, _ = self._geraet.read(n, n, None)
        return Program._aus(slots[n])

    def read_all(self, progress: Optional[Progress] = None) -> ProgramTable:
        """Programs 1 to 16; the device's working parameters are read first and
        put back at the end, and slot 0 holds them. ``progress(done, 16)``
        after each program.
        Ctrl+C ends it after the frame in flight: KeyboardInterrupt with
        ``completed`` and ``program``."""
        slots, auswahl = self._geraet.read(1, 16, progress)
        return ProgramTable._aus(slots, auswahl)

    def write_program(self, n: int, program: Program, verify: bool = True) -> None:
        """Program into the working parameters and stored as program n (0: not
        stored); with ``verify`` read back and compared as the device stores
        the values. Every value is checked before the first frame."""
        if not 0 <= n <= 16:
            raise ValueError(f"program: 0 to 16, not {n!r}")
        saetze = [list(_zpk3x.DEFAULT) for _ in range(17)]
        saetze[n] = program._werte
        self._geraet.write(saetze, n, n, verify, None)

    def write_all(self, table: ProgramTable, verify: bool = True, progress: Optional[Progress] = None) -> None:
        """Programs 1 to 16 of ``table`` to the device, as ``zpk3x-cli write all``
        (ValueError before any frame when the table lacks one); Ctrl+C ends it after the frame in flight (KeyboardInterrupt with
        ``completed`` and ``program``)."""
        self._geraet.write(table._saetze(), 1, 16, verify, progress)

    def load(self, n: int) -> None:
        """Loads stored program n into the working parameters."""
        self._geraet.program_number("programmladen", n)

    def store(self, n: int) -> None:
        """Stores the working parameters as program n."""
        self._geraet.program_number("programmspeichern", n)

    def start(self) -> None:
        """Starts the process."""
        self._geraet.function(_FUNKTIONEN["start"])

    def stop(self) -> None:
        """Stops the process."""
        self._geraet.function(_FUNKTIONEN["stop"])

    def clear_errors(self) -> None:
        """Clears the device's error bits."""
        self._geraet.function(_FUNKTIONEN["clear_errors"])

    def calibrate(self) -> None:
        """Calibrates the device."""
        self._geraet.function(_FUNKTIONEN["calibrate"])

    def actual(self) -> Actual:
        """Actual current, voltage and status word."""
        strom, spannung, status = self._geraet.actual()
        return Actual(strom, spannung, status, _bits(status))

    def status(self) -> int:
        """The status word alone."""
        return self._geraet.status()

    def __repr__(self) -> str:
        g = self._geraet
        zustand = "open" if g.open else "closed"
        return f"<zpk3x.Device {g.port!r} baud={g.baud} address={g.address} timeout={g.timeout} {zustand}>"

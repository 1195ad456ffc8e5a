"""zpk3x: the ZPK-3X test device from Python, on the same code as the operator
window and zpk3x-cli, so that it sends exactly their frames.

    import zpk3x
    with zpk3x.Device("/dev/ttyUSB0", baud=9600, address=1, timeout=0.5) as dev:
        print(dev.identity(), dev.actual())

Tests without hardware: :class:`zpk3x.testing.Simulator` and the pytest fixture
``zpk3x_sim``."""

from __future__ import annotations

import enum
import time
from dataclasses import dataclass, field as _feld
from typing import (TYPE_CHECKING, Any, Callable, Dict, Generic, Iterator, List, Optional, Tuple, TypeVar, Union,
                    cast, overload)

from . import _sprache, _zpk3x
from .errors import DeviceError, Error, FileError, NoAnswerError, PortError, ValueRangeError
from .plan import Plan, Record, Sample, Step  # noqa: F401  test plans (zpk3x.plan)

__all__ = [
    "Device", "Program", "ProgramTable", "Actual", "Status", "StatusBit", "Difference", "Monitor", "Found",
    "PortInfo", "scan", "ports", "set_language", "FIELDS", "Error", "PortError", "DeviceError", "NoAnswerError",
    "FileError", "ValueRangeError", "__version__",
]

#: The package's version, the same as zpk3x-cli's.
__version__: str = _zpk3x.__version__

#: The fields of a program in transfer order, by the device's names.
FIELDS: Tuple[str, ...] = tuple(f[0] for f in _zpk3x.FIELDS)
_INDEX = {f[0]: i for i, f in enumerate(_zpk3x.FIELDS)}

Progress = Callable[[int, int], object]
Value = Union[int, float]


def set_language(language: str) -> None:
    """Messages in German ("de") or English ("en"); the default follows the locale
    (LC_ALL, LC_MESSAGES, LANG) as zpk3x-cli does."""
    if language not in ("de", "en"):
        raise ValueError(f"language: 'de' or 'en', not {language!r}")
    _sprache.setzen(language == "en")


_T = TypeVar("_T", int, float, bool)


class _Feld(Generic[_T]):
    """One field of a Program: typed as the program file holds it, checked on
    assignment against the range the device accepts."""

    def __init__(self, art: type) -> None:
        self._art = art
        self._index = 0
        self._name = ""

    def __set_name__(self, owner: type, name: str) -> None:
        self._name = name
        self._index = _INDEX[name]

    @overload
    def __get__(self, program: None, owner: type) -> "_Feld[_T]": ...

    @overload
    def __get__(self, program: "Program", owner: type) -> _T: ...

    def __get__(self, program: Optional["Program"], owner: type) -> Union["_Feld[_T]", _T]:
        if program is None:
            return self
        return cast(_T, self._art(program._werte[self._index]))

    def __set__(self, program: "Program", wert: _T) -> None:
        program._werte[self._index] = _pruefen(program._werte, self._index, self._art, wert)


def _pruefen(werte: List[Value], index: int, art: type, wert: object) -> Value:
    """The value as the record holds it, or ValueRangeError (a whole number
    where the file holds one, inside the device's range)."""
    name = FIELDS[index]
    if isinstance(wert, bool) and art is not bool:
        raise TypeError(f"{name}: a number, not {wert!r}")
    if not isinstance(wert, (int, float)):
        raise TypeError(f"{name}: a number, not {type(wert).__name__}")
    neu: Value = float(wert)
    if art is not float:
        if not float(wert).is_integer():
            code, text = _zpk3x.range_error(werte, index)
            raise ValueRangeError(code, text + f" ({wert!r}: a whole number)", field=name)
        neu = int(wert)
    satz = list(werte)
    satz[index] = neu
    if not _zpk3x.in_range(satz, index):
        code, text = _zpk3x.range_error(satz, index)
        raise ValueRangeError(code, text, field=name)
    return neu


class Program:
    """One program: the device's ten fields by their names. Assigning a value
    outside the range the device accepts raises :class:`ValueRangeError` naming
    the field and the range. Values read from a file are taken as they stand;
    writing them to a device checks them first."""

    __slots__ = ("_werte",)

    stromkurve = _Feld[int](int)                #: current curve, 1 to 12
    strom1 = _Feld[float](float)                #: current 1 [A]
    strom2 = _Feld[float](float)                #: current 2 [A]
    zeit1 = _Feld[float](float)                 #: time 1 [ms], sent as a whole number
    zeit2 = _Feld[float](float)                 #: time 2 [ms], sent as a whole number
    frequenz = _Feld[float](float)              #: PWM frequency [Hz], sent as a whole number
    spannung = _Feld[float](float)              #: test voltage [V]
    zyklen = _Feld[float](float)                #: test cycles, sent as a whole number
    regelgeschwindigkeit = _Feld[float](float)  #: regulation speed [%], sent as a whole number
    endstuferegeln = _Feld[bool](bool)          #: output-stage regulation on

    _werte: List[Value]

    def __init__(self, *, stromkurve: Optional[int] = None, strom1: Optional[float] = None,
                 strom2: Optional[float] = None, zeit1: Optional[float] = None, zeit2: Optional[float] = None,
                 frequenz: Optional[float] = None, spannung: Optional[float] = None, zyklen: Optional[float] = None,
                 regelgeschwindigkeit: Optional[float] = None, endstuferegeln: Optional[bool] = None) -> None:
        """The defaults, with the values given."""
        object.__setattr__(self, "_werte", list(_zpk3x.DEFAULT))
        werte = dict(stromkurve=stromkurve, strom1=strom1, strom2=strom2, zeit1=zeit1, zeit2=zeit2, frequenz=frequenz,
                     spannung=spannung, zyklen=zyklen, regelgeschwindigkeit=regelgeschwindigkeit,
                     endstuferegeln=endstuferegeln)
        for name, wert in werte.items():
            if wert is not None:
                setattr(self, name, wert)

    @classmethod
    def _aus(cls, satz: Tuple[Value, ...]) -> "Program":
        p = cls.__new__(cls)
        object.__setattr__(p, "_werte", list(satz))
        return p

    if not TYPE_CHECKING:  # hidden from type checkers, which then refuse a misspelt field themselves
        def __setattr__(self, name: str, wert: object) -> None:
            if name not in _INDEX:
                raise AttributeError(f"Program has no field {name!r}; fields: {', '.join(FIELDS)}")
            object.__setattr__(self, name, wert)

    def as_dict(self) -> Dict[str, Value]:
        """The fields as a dict, in transfer order, as the record holds them."""
        return dict(zip(FIELDS, self._werte))

    def copy(self) -> "Program":
        """A program of its own with the same values."""
        return Program._aus(tuple(self._werte))

    def __eq__(self, other: object) -> bool:
        return isinstance(other, Program) and self._werte == other._werte

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        return "Program(" + ", ".join(f"{n}={getattr(self, n)!r}" for n in FIELDS) + ")"


Slot = Optional[Program]


class ProgramTable:
    """The 17 slots (0: the working parameters, 1..16: the stored programs) and
    the selected slot, as the program files hold them. A slot the table does
    not hold (a JSON null, a CSV file without its line) is None; assigning None
    leaves it out, and a .zpk file, which always holds all 17, writes it at the
    defaults. ``table[1:17]`` gives the slots of a range as a list."""

    def __init__(self, programs: Optional[List[Slot]] = None, selection: int = 0) -> None:
        if programs is None:
            programs = [Program() for _ in range(17)]
        if len(programs) != 17:
            raise ValueError("a program table has 17 slots (0..16)")
        self._programme: List[Slot] = [None if p is None else p.copy() for p in programs]
        self._auswahl = 0
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
    def _aus(cls, slots: List[Optional[Tuple[Value, ...]]], auswahl: int) -> "ProgramTable":
        t = cls.__new__(cls)
        t._programme = [None if s is None else Program._aus(s) for s in slots]
        t._auswahl = auswahl
        return t

    def _saetze(self) -> List[Optional[List[Value]]]:
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

    @staticmethod
    def _slot(n: int) -> int:
        if isinstance(n, bool) or not isinstance(n, int):
            raise TypeError(f"slot: an int 0 to 16, not {type(n).__name__}")
        if not 0 <= n <= 16:
            raise IndexError(f"slot: 0 to 16, not {n!r}")
        return n

    @overload
    def __getitem__(self, n: int) -> Slot: ...

    @overload
    def __getitem__(self, n: slice) -> List[Slot]: ...

    def __getitem__(self, n: Union[int, slice]) -> Union[Slot, List[Slot]]:
        if isinstance(n, slice):
            return self._programme[n]
        return self._programme[self._slot(n)]

    def __setitem__(self, n: int, program: Slot) -> None:
        self._programme[self._slot(n)] = None if program is None else program.copy()

    def __len__(self) -> int:
        return 17

    def __iter__(self) -> Iterator[Slot]:
        return iter(self._programme)

    def __eq__(self, other: object) -> bool:
        return isinstance(other, ProgramTable) and self._programme == other._programme and \
            self._auswahl == other._auswahl

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        fehlen = [n for n, p in enumerate(self._programme) if p is None]
        ohne = f" without slots {fehlen}" if fehlen else ""
        return f"<ProgramTable selection={self._auswahl}{ohne}, working parameters {self._programme[0]!r}>"


class Status(enum.IntFlag):
    """The status word: the eight bits the operator window shows, by name;
    bits beyond them are kept as numbers. ``text`` is a bit's explanation in the
    chosen language, ``text_de`` and ``text_en`` in each."""

    TEMPERATURE_HIGH = 0x1
    PARAMETERS_DESTROYED = 0x2
    CALIBRATION_INVALID = 0x8
    VOLTAGE_OUT_OF_TOLERANCE = 0x10
    STARTED = 0x100
    PROGRAM_ACTIVE = 0x200
    ENDED = 0x800
    CANCELLED = 0x2000

    def _texte(self, englisch: bool) -> List[str]:
        return [t for b, t in _zpk3x.status_bits(englisch) if self & b]

    @property
    def text(self) -> str:
        """The explanation of the set bits in the chosen language, one per line."""
        return "\n".join(self._texte(_sprache.englisch()))

    @property
    def text_de(self) -> str:
        return "\n".join(self._texte(False))

    @property
    def text_en(self) -> str:
        return "\n".join(self._texte(True))


@dataclass(frozen=True)
class StatusBit:
    """A set bit of the status word and its name in the chosen language."""
    bit: int
    text: str


@dataclass(frozen=True)
class Actual:
    """Actual values: ``current`` [A], ``voltage`` [V], the ``status`` word
    (a :class:`Status`, so ``a.status & Status.STARTED``) and its set ``bits``;
    also by the device's names ``strom`` and ``spannung``."""
    current: float
    voltage: float
    status: Status
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
class Difference:
    """A field in which the device and a table differ, as the device stores the
    values: ``program``, ``field``, the ``device``'s value and the ``file``'s."""
    program: int
    field: str
    device: Value
    file: Value


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


def _sekunden(name: str, wert: object, none: str = "") -> float:
    """A time in seconds above 0; TypeError for what is not a number (None too:
    a wait without end is no choice here)."""
    if isinstance(wert, bool) or not isinstance(wert, (int, float)):
        raise TypeError(f"{name}: seconds above 0 as a number, not {wert!r}{none}")
    if not wert > 0 or wert == float("inf"):
        raise ValueError(f"{name}: seconds above 0, not {wert!r}")
    return float(wert)


def scan(port: str, baud: int = 9600, timeout: float = 0.5) -> List[Found]:
    """Looks for devices on ``port``: addresses 1 to 8 at 1200, 2400, 4800 and
    9600 baud, stopping after the first rate at which a ZPK-3X answered (only
    at ``baud`` over raw TCP, where the device server keeps its own rate).
    Every answer is listed. A scan counts as an open port only while it
    runs (see :class:`Device`)."""
    timeout = _sekunden("timeout", timeout)
    return [Found(b, a, k, z) for b, a, k, z in _zpk3x.scan(str(port), baud, timeout)]


def ports() -> List[PortInfo]:
    """The serial ports of this machine, as ``zpk3x-cli ports`` lists them."""
    aus = []
    for d in _zpk3x.ports():
        aus.append(PortInfo(path=d["path"], stable_names=tuple(d["stable_names"]), target=d["target"],
                            vendor_id=d["vendor_id"], product_id=d["product_id"], manufacturer=d["manufacturer"],
                            product=d["product"], serial_number=d["serial_number"]))
    return aus


_FUNKTIONEN = {"start": "start", "stop": "stopp", "clear_errors": "fehlerloeschen", "calibrate": "kalibrieren"}


class Device:
    """A ZPK-3X on a serial port (``/dev/ttyUSB0``, ``COM3``) or behind a device
    server (``tcp://HOST:PORT``, ``rfc2217://HOST:PORT``), opened exclusively.

    ``timeout``: seconds to wait for each answer (a number; None is refused
    with TypeError, as no wait here may be endless).

    Threads: a Device may be shared. A call made while another thread's call
    runs waits for its turn, first come first served, at most ``lock_timeout``
    seconds (then TimeoutError); the default, None, waits as long as the calls
    ahead take, each of which ends by its own time-outs. A progress callback
    that calls its own Device gets RuntimeError. Every wait on the line and for
    a turn is without the GIL, and Ctrl+C ends it within 0.1 s (KeyboardInterrupt;
    nothing more is sent and the port stays usable).

    Any number of Devices may be open at once, up to 1024 ports in one
    process together with running scans (then RuntimeError); the system's
    limit on open files usually comes first (PortError). A Device's port is
    given back at :meth:`close`.

    Failures raise :class:`DeviceError` (:class:`NoAnswerError` when nothing
    came); the port's failure to open :class:`PortError`; a call after
    :meth:`close` ValueError."""

    def __init__(self, port: str, baud: int = 9600, address: Union[int, str] = 1, timeout: float = 0.5,
                 lock_timeout: Optional[float] = None) -> None:
        if isinstance(address, str) and len(address) == 1 and address.isdigit():
            address = int(address)
        if isinstance(address, bool) or not isinstance(address, int):
            raise TypeError(f"address: 1 to 8, not {address!r}")
        if isinstance(baud, bool) or not isinstance(baud, int):
            raise TypeError(f"baud: 1200, 2400, 4800 or 9600, not {baud!r}")
        timeout = _sekunden("timeout", timeout, " (the default is 0.5)")
        warten = -1.0 if lock_timeout is None else _sekunden("lock_timeout", lock_timeout, "")
        self._geraet = _zpk3x.Device(str(port), baud, address, timeout, warten)

    def __enter__(self) -> "Device":
        return self

    def __exit__(self, *_: object) -> None:
        self.close()

    def close(self) -> None:
        """Closes the port (after the call that runs); after an unanswered frame
        only once the line has been quiet for one time-out, so that a late
        answer cannot reach the next user."""
        self._geraet.close()

    @property
    def port(self) -> str:
        """The port as given: a device path or a network address."""
        return self._geraet.port

    @property
    def baud(self) -> int:
        return self._geraet.baud

    @property
    def address(self) -> int:
        return self._geraet.address

    @property
    def timeout(self) -> float:
        """Seconds to wait for each answer."""
        return self._geraet.timeout

    @property
    def lock_timeout(self) -> Optional[float]:
        """Seconds a call waits for its turn; None: as long as the calls ahead take."""
        warten = self._geraet.lock_timeout
        return None if warten < 0 else warten

    @property
    def is_open(self) -> bool:
        """False after :meth:`close`."""
        return self._geraet.open

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
        slot = slots[n]
        assert slot is not None
        return Program._aus(slot)

    def read_all(self, progress: Optional[Progress] = None) -> ProgramTable:
        """Programs 1 to 16; the device's working parameters are read first and
        put back at the end, and slot 0 holds them. ``progress(done, 16)``
        after each program.
        Ctrl+C ends it: KeyboardInterrupt with ``completed`` and ``program``."""
        slots, auswahl = self._geraet.read(1, 16, progress)
        return ProgramTable._aus(slots, auswahl)

    def write_program(self, n: int, program: Program, verify: bool = True) -> None:
        """Program into the working parameters and stored as program n (0: not
        stored); with ``verify`` read back and compared as the device stores
        the values. Every value is checked before the first frame."""
        if not 0 <= n <= 16:
            raise ValueError(f"program: 0 to 16, not {n!r}")
        saetze: List[Optional[List[Value]]] = [list(_zpk3x.DEFAULT) for _ in range(17)]
        saetze[n] = program._werte
        self._geraet.write(saetze, n, n, verify, None)

    def write_all(self, table: ProgramTable, verify: bool = True, progress: Optional[Progress] = None) -> None:
        """Programs 1 to 16 of ``table`` to the device, as ``zpk3x-cli write all``
        (ValueError before any frame when the table lacks one); Ctrl+C ends it
        (KeyboardInterrupt with ``completed`` and ``program``)."""
        self._geraet.write(table._saetze(), 1, 16, verify, progress)

    def diff(self, table: ProgramTable, program: Optional[int] = None) -> List[Difference]:
        """What ``zpk3x-cli diff`` reports: the fields in which the device's
        programs 1 to 16 (or ``program`` alone, 0: the working parameters)
        differ from ``table``'s, as the device stores the values; [] when they
        agree. The device's working parameters are left as they were found."""
        von, bis = (1, 16) if program is None else (program, program)
        if not 0 <= von <= 16:
            raise ValueError(f"program: 0 to 16, not {program!r}")
        for n in range(von, bis + 1):
            if table[n] is None:
                raise ValueError(f"program {n}: not in the table")
        slots, _ = self._geraet.read(von, bis, None)
        datei = table._saetze()
        aus = []
        for slot, index in _zpk3x.differences(slots, datei, von, bis):
            geraet, soll = slots[slot], datei[slot]
            assert geraet is not None and soll is not None
            aus.append(Difference(slot, FIELDS[index], geraet[index], soll[index]))
        return aus

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
        return Actual(strom, spannung, Status(status), _bits(status))

    def status(self) -> Status:
        """The status word alone."""
        return Status(self._geraet.status())

    def monitor(self, interval: float = 0.5, stop_on_exit: bool = False) -> "Monitor":
        """Actual values every ``interval`` seconds, as ``zpk3x-cli monitor``
        takes them: iterate it (``for a in dev.monitor(0.5): ...``) until you
        break. As a context, ``with dev.monitor(0.5, stop_on_exit=True) as m:``
        stops the device when the block ends, however it ends (a limit broken,
        an exception, Ctrl+C). Other threads may use the Device between two
        queries."""
        return Monitor(self, _sekunden("interval", interval), stop_on_exit)

    def __repr__(self) -> str:
        zustand = "open" if self.is_open else "closed"
        return f"<zpk3x.Device {self.port!r} baud={self.baud} address={self.address} timeout={self.timeout} {zustand}>"


class Monitor:
    """The queries of :meth:`Device.monitor`: an iterator of :class:`Actual`
    and a context that stops the device on exit when asked to."""

    def __init__(self, device: Device, interval: float, stop_on_exit: bool) -> None:
        self.device = device
        self.interval = interval
        self.stop_on_exit = stop_on_exit

    def __iter__(self) -> Iterator[Actual]:
        # On a grid of intervals from the first query; a query that took longer
        # than an interval skips the ticks it missed instead of hurrying.
        naechste = time.monotonic()
        while True:
            yield self.device.actual()
            naechste += self.interval
            jetzt = time.monotonic()
            if naechste <= jetzt:
                naechste += (int((jetzt - naechste) / self.interval) + 1) * self.interval
            time.sleep(naechste - jetzt)

    def __enter__(self) -> "Monitor":
        return self

    def __exit__(self, typ: Optional[type], fehler: Optional[BaseException], *_: Any) -> None:
        if not self.stop_on_exit or not self.device.is_open:
            return
        try:
            self.device.stop()
        except Error as e:
            if fehler is None:
                raise
            # What ended the block stays the exception; the failed stop is told with it.
            fehler.add_note(f"and the device could not be stopped: {e}")

"""Testing without hardware: the bundled simulator ``zpk3x-sim`` on a
pseudo-terminal, and the pytest fixture ``zpk3x_sim`` (registered as a pytest
plugin with the package).

    def test_my_bench(zpk3x_sim):
        with zpk3x.Device(zpk3x_sim.port) as dev:
            dev.start()
        assert zpk3x_sim.frames()[-1] == "#1DF1"
"""

from __future__ import annotations

import importlib
import os
import shutil
import socket
import subprocess
import tempfile
import time
from typing import Dict, List, Optional, Union

from . import FIELDS, Program, ProgramTable, _zpk3x

_STANDARD = _zpk3x.DEFAULT

__all__ = ["Simulator", "simulator_path"]


def simulator_path() -> str:
    """The simulator's program: $ZPK3X_SIM, else the one installed or built with
    this package, else zpk3x-sim on the PATH."""
    kandidaten = [os.environ.get("ZPK3X_SIM")]
    try:
        # Made by the build: where it put the simulator, or where it is installed.
        kandidaten.append(getattr(importlib.import_module("._orte", __package__), "SIMULATOR"))
    except ImportError:
        pass
    kandidaten.append(shutil.which("zpk3x-sim"))
    for k in kandidaten:
        if k and os.access(k, os.X_OK):
            return k
    raise FileNotFoundError("zpk3x-sim not found: install the zpk3x package or set ZPK3X_SIM")


Programme = Union[None, ProgramTable, Dict[int, Program]]


class Simulator:
    """A simulated ZPK-3X on a pseudo-terminal, as a context manager.

    ``port``: the terminal to open with :class:`zpk3x.Device`; ``frames()``: the
    frames the device received so far (without their CR); ``fault(spec)``: a
    fault switch of the simulator ("nak C1W", "silence *", "delay 50", "none",
    ...); ``command(line)`` any control command. ``programs``: a ProgramTable or
    {n: Program} the device starts with. ``pace``: answer at the speed of the
    baud rate, as a real line does."""

    def __init__(self, baud: int = 9600, address: int = 1, programs: Programme = None, pace: bool = False,
                 faults: Optional[List[str]] = None) -> None:
        self.baud = baud
        self.address = address
        self._programme = programs
        self._pace = pace
        self._faults = list(faults or [])
        self._prozess: Optional[subprocess.Popen[str]] = None
        self._steuerung: Optional[socket.socket] = None
        self._ordner: Optional[tempfile.TemporaryDirectory[str]] = None
        self.port = ""

    def start(self) -> "Simulator":
        """Starts the simulator; returns once its terminal and control socket are ready."""
        self._ordner = tempfile.TemporaryDirectory(prefix="zpk3x-sim-")
        ordner = self._ordner.name
        self._log = os.path.join(ordner, "frames.log")
        sock = os.path.join(ordner, "ctl")
        args = [simulator_path(), "--address", str(self.address), "--baud", str(self.baud), "--log", self._log,
                "--control", sock]
        if self._pace:
            args.append("--pace")
        for f in self._faults:
            args += ["--fault", f]
        if self._programme is not None:
            datei = os.path.join(ordner, "programs")
            with open(datei, "w", encoding="ascii") as aus:
                aus.write(_programmzeilen(self._programme))
            args += ["--programs", datei]
        self._prozess = subprocess.Popen(args, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
        assert self._prozess.stdout is not None
        self.port = self._prozess.stdout.readline().strip()
        if not self.port:
            self.stop()
            raise RuntimeError("zpk3x-sim did not start")
        frist = time.monotonic() + 10
        while True:
            s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            try:
                s.connect(sock)
                self._steuerung = s
                self._puffer = b""
                break
            except OSError:
                s.close()
                if time.monotonic() > frist:
                    self.stop()
                    raise RuntimeError("zpk3x-sim: no control socket")
                time.sleep(0.01)
        return self

    def stop(self) -> None:
        """Ends the simulator and removes its files."""
        if self._steuerung is not None:
            self._steuerung.close()
            self._steuerung = None
        if self._prozess is not None:
            self._prozess.terminate()
            try:
                self._prozess.wait(5)
            except subprocess.TimeoutExpired:
                self._prozess.kill()
                self._prozess.wait()
            if self._prozess.stdout is not None:
                self._prozess.stdout.close()
            self._prozess = None
        if self._ordner is not None:
            self._ordner.cleanup()
            self._ordner = None

    def __enter__(self) -> "Simulator":
        return self.start()

    def __exit__(self, *_: object) -> None:
        self.stop()

    def command(self, line: str) -> List[str]:
        """Sends one control command; its reply lines. RuntimeError when the
        simulator refuses it."""
        if self._steuerung is None:
            raise RuntimeError("the simulator is not running")
        self._steuerung.sendall(line.encode() + b"\n")
        zeilen: List[str] = []
        while True:
            while b"\n" not in self._puffer:
                teil = self._steuerung.recv(4096)
                if not teil:
                    raise RuntimeError("zpk3x-sim closed its control socket")
                self._puffer += teil
            zeile, self._puffer = self._puffer.split(b"\n", 1)
            text = zeile.decode()
            if text == "ok":
                return zeilen
            if text.startswith("error"):
                raise RuntimeError(f"zpk3x-sim: {line}: {text}")
            zeilen.append(text)

    def fault(self, spec: str) -> None:
        """Switches a fault on ("nak C1W", "silence *", "after 5 silence",
        "delay 20", ...) or all off ("none")."""
        self.command("fault " + spec)

    # Faults by name. ``command``: the frame's three command characters
    # ("C1W": write current 1, "S0R": read the status word, "DF1": start) or
    # "*" for every command.

    def late(self, command: str, ms: int) -> None:
        """Answers ``command`` ``ms`` milliseconds late."""
        self.fault(f"late {command} {int(ms)}")

    def silent(self, command: str = "*") -> None:
        """Does not answer ``command`` at all."""
        self.fault(f"silence {command}")

    def doubled(self, command: str, ms: Optional[int] = None) -> None:
        """Sends the answer to ``command`` twice, the second ``ms`` later."""
        self.fault(f"twice {command}" + ("" if ms is None else f" {int(ms)}"))

    def refused(self, command: str) -> None:
        """Refuses ``command`` (NAK)."""
        self.fault(f"nak {command}")

    def no_faults(self) -> None:
        """Every fault off."""
        self.fault("none")

    def frames(self) -> List[str]:
        """Every frame received so far, without its CR, bytes outside printable
        ASCII as \\xHH."""
        self.command("sync")
        with open(self._log, encoding="ascii", errors="replace") as ein:
            return ein.read().splitlines()

    def clear_frames(self) -> None:
        """frames() then lists only later frames."""
        self.command("sync")
        open(self._log, "w").close()

    def programs(self) -> ProgramTable:
        """What the device holds now: slot 0 the working parameters, 1..16 its programs."""
        t = ProgramTable()
        for zeile in self.command("dump"):
            teile = zeile.split()
            if teile[0] == "program":
                n = int(teile[1])
                werte = [float(x) for x in teile[2:]]
                t[n] = Program._aus(tuple(int(w) if isinstance(d, int) else w for w, d in zip(werte, _STANDARD)))
        return t

    def __repr__(self) -> str:
        return f"<zpk3x.testing.Simulator {self.port or 'stopped'} baud={self.baud} address={self.address}>"


def _programmzeilen(programme: Programme) -> str:
    if isinstance(programme, ProgramTable):
        paare = list(enumerate(programme))
    elif programme is not None:
        paare = sorted(programme.items())
    else:
        paare = []
    zeilen = []
    for n, p in paare:
        if p is None:
            continue
        zeilen.append("program " + str(n) + " " + " ".join(repr(p.as_dict()[f]) for f in FIELDS))
    return "\n".join(zeilen) + "\n"

"""Exceptions of zpk3x. Each carries the catalogue's number (``code``, as the
message shows it after "#") and the whole message, in the language chosen with
:func:`zpk3x.set_language`. Every exception has every attribute below; those
that do not apply are None (``holders`` an empty list).

They fit Python's own hierarchy: a port that cannot be opened and a file that
cannot be read or written are :class:`OSError` (``errno``, ``filename``), a
device that does not answer is a :class:`TimeoutError`, a value out of range a
:class:`ValueError`."""

from __future__ import annotations

import errno as _errno
from typing import Any, Dict, List, Optional, Tuple

__all__ = ["Error", "PortError", "DeviceError", "NoAnswerError", "FileError", "ValueRangeError"]


class Error(Exception):
    """Base of every failure the device, a port or a file reports.

    ``code``: the catalogue number the message shows ("#4125"); ``message``: the
    catalogue's text and the detail after it, as the command line prints them;
    ``program`` and ``field`` where the failure is tied to them; ``path`` and
    ``reason`` of a port or file; ``frame`` (without its CR) and ``answer``
    (readable, None when nothing came) of the transaction that failed; ``sent``
    (False when the frame was held back); ``completed``: the programs a transfer
    finished whole; ``line`` and ``column`` (from 1) of a fault in a file;
    ``holders``: [(pid, name)] of the processes that hold a port."""

    code: int
    message: str
    program: Optional[int]
    field: Optional[str]
    path: Optional[str]
    reason: Optional[str]
    frame: Optional[str]
    answer: Optional[str]
    sent: Optional[bool]
    completed: Optional[int]
    line: Optional[int]
    column: Optional[int]
    holders: List[Tuple[int, str]]

    def __init__(self, code: int, message: str, *, program: Optional[int] = None, field: Optional[str] = None,
                 path: Optional[str] = None, reason: Optional[str] = None, frame: Optional[str] = None,
                 answer: Optional[str] = None, sent: Optional[bool] = None, completed: Optional[int] = None,
                 line: Optional[int] = None, column: Optional[int] = None,
                 holders: Optional[List[Tuple[int, str]]] = None) -> None:
        super().__init__(code, message)
        self.code = code
        self.message = message
        self.program = program
        self.field = field
        self.path = path
        self.reason = reason
        self.frame = frame
        self.answer = answer
        self.sent = sent
        self.completed = completed
        self.line = line
        self.column = column
        self.holders = list(holders or [])

    def _angaben(self) -> Dict[str, Any]:
        return {n: getattr(self, n) for n in ("program", "field", "path", "reason", "frame", "answer", "sent",
                                               "completed", "line", "column", "holders")}

    # OSError keeps errno and filename outside __dict__, and its own pickling
    # would call __init__ with them as positional arguments.
    def __reduce__(self) -> Tuple[Any, ...]:
        return (_neu, (type(self), self.code, self.message, self._angaben()), dict(self.__dict__))

    def __str__(self) -> str:
        from . import _sprache

        return f"{_sprache.text('Fehler', 'Error')} #{self.code}: {self.message}"


def _neu(klasse: type, code: int, message: str, angaben: Dict[str, Any]) -> Error:
    fehler: Error = klasse(code, message, **angaben)
    return fehler


# The reason codes the serial layer gives without a system number.
_ERRNO_AUS_GRUND = {"busy": _errno.EBUSY, "timeout": _errno.ETIMEDOUT, "refused": _errno.ECONNREFUSED,
                    "closed": _errno.ECONNRESET, "not_serial": _errno.ENOTTY}


class PortError(Error, OSError):
    """A port that could not be opened: ``path`` (device or network address),
    ``reason`` in words, ``reason_code`` ("ENOENT", "EACCES", "busy", ...),
    ``holders``: [(pid, name)] of the processes that hold the device open (this
    one too, when another Device or file of it has the port). As an OSError:
    ``errno`` where the cause has one, ``filename`` the path."""

    reason_code: Optional[str]

    def __init__(self, code: int, message: str, *, reason_code: Optional[str] = None, **angaben: Any) -> None:
        super().__init__(code, message, **angaben)
        self.reason_code = reason_code
        name = reason_code or ""
        # None where the cause has no number, as OSError itself has it.
        setattr(self, "errno", getattr(_errno, name, None) if name.startswith("E") else _ERRNO_AUS_GRUND.get(name))
        self.strerror = self.reason or message
        self.filename = self.path

    def _angaben(self) -> Dict[str, Any]:
        return {**super()._angaben(), "reason_code": self.reason_code}


class DeviceError(Error):
    """The device did not do what was asked: ``frame``, ``answer``, ``sent``,
    and for transfers ``program``, ``field`` and ``completed``."""


class NoAnswerError(DeviceError, TimeoutError):
    """The device did not answer within the time-out (``answer`` None); also a
    TimeoutError, with ``errno`` ETIMEDOUT."""

    def __init__(self, code: int, message: str, **angaben: Any) -> None:
        super().__init__(code, message, **angaben)
        self.errno = _errno.ETIMEDOUT
        self.strerror = message
        self.filename = None


class FileError(Error, OSError):
    """A program file that could not be read or written: ``path``, ``reason``
    in words, ``line`` and ``column`` of a fault in its text, ``program`` and
    ``field`` where the fault is tied to them. As an OSError: ``errno`` where
    the system gave one, ``filename`` the path."""

    def __init__(self, code: int, message: str, *, errno: Optional[int] = None, **angaben: Any) -> None:
        super().__init__(code, message, **angaben)
        setattr(self, "errno", errno)
        self.strerror = self.reason or message
        self.filename = self.path

    def _angaben(self) -> Dict[str, Any]:
        return {**super()._angaben(), "errno": getattr(self, "errno")}


class ValueRangeError(Error, ValueError):
    """A program value outside the range the device accepts, found on
    assignment or before any frame was sent: ``field``, and ``program`` where
    the value stands in a table."""

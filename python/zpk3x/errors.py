"""Exceptions of zpk3x. Each carries the catalogue's number (``code``, as the
message shows it after "#") and the whole message, in the language chosen with
:func:`zpk3x.set_language`; the other attributes say where it happened and are
None where they do not apply."""

from __future__ import annotations

from typing import List, Optional, Tuple


class Error(Exception):
    """Base of every failure the device, a port or a file reports.

    ``code``: the catalogue number the message shows ("#4125"); ``message``: the
    catalogue's text and the detail after it, as the command line prints them."""

    def __init__(self, code: int, message: str, **attributes: object) -> None:
        super().__init__(code, message)
        self.code = code
        self.message = message
        for name, value in attributes.items():
            setattr(self, name, value)

    def __str__(self) -> str:
        from . import _sprache

        return f"{_sprache.text('Fehler', 'Error')} #{self.code}: {self.message}"


class PortError(Error):
    """A port that could not be opened: ``path`` (device or network address),
    ``reason`` in words, ``holders``: [(pid, name)] of the other processes that
    hold the device open."""

    def __init__(self, code: int, message: str, path: Optional[str] = None, reason: Optional[str] = None,
                 holders: Optional[List[Tuple[int, str]]] = None) -> None:
        super().__init__(code, message, path=path, reason=reason, holders=list(holders or []))


class DeviceError(Error):
    """The device did not do what was asked: ``frame`` (without its CR),
    ``answer`` (readable, None when nothing came), ``sent`` (False when the
    frame was held back because the check that the device answers in step went
    unanswered), and for transfers ``program`` and ``field`` where it ended and
    ``completed``, the programs done whole."""

    def __init__(self, code: int, message: str, program: Optional[int] = None, field: Optional[str] = None,
                 frame: Optional[str] = None, answer: Optional[str] = None, completed: Optional[int] = None,
                 sent: Optional[bool] = None) -> None:
        super().__init__(code, message, program=program, field=field, frame=frame, answer=answer,
                         completed=completed, sent=sent)


class FileError(Error):
    """A program file that could not be read or written: ``path``, ``reason``
    in words, and ``line`` and ``column`` (from 1) of a fault in its text;
    ``program`` and ``field`` where the fault is tied to them."""

    def __init__(self, code: int, message: str, path: Optional[str] = None, reason: Optional[str] = None,
                 line: Optional[int] = None, column: Optional[int] = None, program: Optional[int] = None,
                 field: Optional[str] = None) -> None:
        super().__init__(code, message, path=path, reason=reason, line=line, column=column, program=program,
                         field=field)


class ValueRangeError(Error, ValueError):
    """A program value outside the range the device accepts, found before any
    frame was sent: ``program`` and ``field``."""

    def __init__(self, code: int, message: str, program: Optional[int] = None, field: Optional[str] = None) -> None:
        Error.__init__(self, code, message, program=program, field=field)

"""The language of messages: German or English, as the command line chooses it."""

from __future__ import annotations

import os

from . import _zpk3x

_englisch = True


def _aus_umgebung() -> bool:
    # The first of the variables that is set and not empty decides, as POSIX has it.
    for name in ("LC_ALL", "LC_MESSAGES", "LANG"):
        wert = os.environ.get(name)
        if wert:
            return not wert.startswith("de")
    return True


def setzen(englisch: bool) -> None:
    global _englisch
    _englisch = englisch
    _zpk3x.set_language(englisch)


def englisch() -> bool:
    return _englisch


def text(deutsch: str, englisch_: str) -> str:
    return englisch_ if _englisch else deutsch


setzen(_aus_umgebung())

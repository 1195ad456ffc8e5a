"""The pytest plugin of zpk3x: the fixture ``zpk3x_sim``, a simulated ZPK-3X
(:class:`zpk3x.testing.Simulator`, 9600 baud, address 1) for the test, stopped
after it. pytest finds the plugin by itself; a project can also name it in its
conftest.py: ``pytest_plugins = ["zpk3x.pytest_plugin"]``."""

from __future__ import annotations

from typing import Iterator

import pytest

from .testing import Simulator
from ._plan_pytest import pytest_configure, zpk3x_plan  # noqa: F401  a test plan as a test


@pytest.fixture
def zpk3x_sim() -> Iterator[Simulator]:
    """A simulated ZPK-3X on a pseudo-terminal: open ``zpk3x_sim.port``."""
    with Simulator() as sim:
        yield sim

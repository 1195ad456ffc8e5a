"""The pytest plugin of zpk3x: the fixture ``zpk3x_sim``, a simulated ZPK-3X
(:class:`zpk3x.testing.Simulator`, 9600 baud, address 1) for the test, stopped
after it. pytest finds the plugin by itself; a project can also name it in its
conftest.py: ``pytest_plugins = ["zpk3x.pytest_plugin"]``.

A failing test tells what went over the line: its report gets the frames sent
and the answers received by every Device of the test ("zpk3x trace") and, with
the fixture, the frames the simulator received ("zpk3x simulator frames"). Both
stand in the failure's text, so ``pytest --junitxml`` carries them in the
test's <failure>, and as the test's properties ``zpk3x_trace`` and
``zpk3x_simulator_frames``.

Faults by name: ``zpk3x_sim.late("C1W", 800)``, ``.silent("S0R")``,
``.doubled("C0R")``, ``.refused("DF1")``, or for the whole test
``@pytest.mark.zpk3x_faults("late C1W 800", "nak DF1")``."""

from __future__ import annotations

from typing import Any, Callable, Generator, Iterator, List, TypeVar, cast

import pytest

from . import _zpk3x
from .testing import Simulator
from ._plan_pytest import pytest_configure as _plan_configure, zpk3x_plan  # noqa: F401  a test plan as a test


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line("markers", "zpk3x_faults(*specs): faults the zpk3x_sim fixture's simulator starts with")
    _plan_configure(config)
    _zpk3x.trace(True)


@pytest.fixture
def zpk3x_sim(request: pytest.FixtureRequest) -> Iterator[Simulator]:
    """A simulated ZPK-3X on a pseudo-terminal: open ``zpk3x_sim.port``."""
    faults: List[str] = []
    for marke in request.node.iter_markers("zpk3x_faults"):
        faults.extend(str(a) for a in marke.args)
    with Simulator(faults=faults) as sim:
        request.node.stash[_SIMULATOR] = sim
        yield sim
        # Read while it still runs: the report is made after the teardown.
        request.node.stash[_FRAMES] = sim.frames()


_Haken = TypeVar("_Haken", bound=Callable[..., Any])


def _haken(**optionen: bool) -> Callable[[_Haken], _Haken]:
    # pytest's hookimpl carries no types of its own.
    return cast(Callable[[_Haken], _Haken], pytest.hookimpl(**optionen))


_SIMULATOR = pytest.StashKey[Simulator]()
_FRAMES = pytest.StashKey[List[str]]()
_TRACE = pytest.StashKey[List[str]]()


@_haken(tryfirst=True)
def pytest_runtest_setup(item: pytest.Item) -> None:
    _zpk3x.trace_lines()  # what earlier tests left
    item.stash[_TRACE] = list[str]()


@_haken(hookwrapper=True)
def pytest_runtest_makereport(item: pytest.Item, call: pytest.CallInfo[None]) -> Generator[None, Any, None]:
    ausgang = yield
    report: pytest.TestReport = ausgang.get_result()
    spur: List[str] = item.stash.get(_TRACE, [])
    spur.extend(_zpk3x.trace_lines())
    # A test that never used the package is none of its business.
    if not report.failed or (not spur and _SIMULATOR not in item.stash):
        return
    if call.when != "teardown" and _SIMULATOR in item.stash:
        try:
            frames: List[str] = item.stash[_SIMULATOR].frames()
            item.stash[_FRAMES] = frames
        except (OSError, RuntimeError):
            pass  # a simulator that is gone has nothing more to tell
    teile = [("zpk3x trace", "\n".join(spur) or "(nothing sent)")]
    if _FRAMES in item.stash:
        empfangen: List[str] = item.stash[_FRAMES]
        teile.append(("zpk3x simulator frames", "\n".join(empfangen) or "(none received)"))
    for name, text in teile:
        item.user_properties.append((name.replace(" ", "_"), text))
        bericht: Any = report.longrepr
        if hasattr(bericht, "addsection"):
            bericht.addsection(name, text)

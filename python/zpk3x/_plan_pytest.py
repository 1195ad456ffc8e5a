"""A test plan as a pytest test: the fixture ``zpk3x_plan`` runs a plan on a
device, puts the outcome, the plan's SHA-256 and each step into the test's
properties (so they land in ``--junitxml``), and fails the test unless the run
passed. The marker ``zpk3x_plan(path, serial=...)`` names the plan and the serial
number for the fixture::

    @pytest.mark.zpk3x_plan("plans/quick-check.toml", serial="SN1")
    def test_unit(zpk3x_plan, zpk3x_sim):
        with zpk3x.Device(zpk3x_sim.port) as dev:
            zpk3x_plan(dev)
"""

from __future__ import annotations

from typing import Any, Callable, Optional, Union

import pytest

from .plan import Plan, Record


def pytest_configure(config: Any) -> None:
    config.addinivalue_line("markers", "zpk3x_plan(path, serial=...): the test plan the zpk3x_plan fixture runs")


@pytest.fixture
def zpk3x_plan(request: Any, record_property: Callable[[str, object], None]) -> Callable[..., Record]:
    """``zpk3x_plan(device, plan=None, serial=None, **run_options) -> Record``."""
    marke = request.node.get_closest_marker("zpk3x_plan")

    def laufen(device: Any, plan: Optional[Union[str, Plan]] = None, serial: Optional[str] = None, **optionen: Any) -> Record:
        if plan is None and marke is not None and marke.args:
            plan = marke.args[0]
        if serial is None and marke is not None:
            serial = marke.kwargs.get("serial")
        if plan is None or not serial:
            raise pytest.UsageError("zpk3x_plan: a plan and a serial number (arguments or the zpk3x_plan marker)")
        p = plan if isinstance(plan, Plan) else Plan.load(plan)
        record = p.run(device, serial=serial, **optionen)
        record_property("zpk3x_plan", p.name)
        record_property("zpk3x_plan_sha256", p.sha256)
        record_property("zpk3x_serial", serial)
        record_property("zpk3x_outcome", record.outcome)
        for i, step in enumerate(record.steps, 1):
            record_property(f"zpk3x_step_{i}", f"{step.name}: {step.outcome}" + (f": {step.reason}" if step.reason else ""))
        if record.outcome != "PASS":
            pytest.fail(f"{p.name} {serial}: {record.outcome}: {record.reason}", pytrace=False)
        return record

    return laufen

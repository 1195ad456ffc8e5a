"""A bench test that fails, as a user's would: its report must show what went
over the line (run by test_bericht.py, not collected by itself)."""

import pytest

import zpk3x


@pytest.mark.zpk3x_faults("nak DF1")
def test_start_refused(zpk3x_sim):
    with zpk3x.Device(zpk3x_sim.port) as dev:
        dev.identity()
        dev.start()

"""A test bench's tests as a user writes them (the README's example): only the
fixture from the plugin."""

import pytest

import zpk3x


def test_start(zpk3x_sim):
    with zpk3x.Device(zpk3x_sim.port) as dev:
        assert zpk3x.Status.STARTED not in dev.actual().status
        dev.start()
        assert zpk3x.Status.STARTED in dev.actual().status
    assert zpk3x_sim.frames().count("#1DF1") == 1


@pytest.mark.zpk3x_faults("nak C1W")
def test_refused_write(zpk3x_sim):
    with zpk3x.Device(zpk3x_sim.port) as dev, pytest.raises(zpk3x.DeviceError) as e:
        dev.write_program(1, zpk3x.Program(strom1=2.0))
    assert (e.value.field, e.value.answer) == ("strom1", "NAK")

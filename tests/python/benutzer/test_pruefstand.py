"""A test bench's tests as a user writes them (the README's example): only the
fixture from the plugin."""

import pytest

import zpk3x


def test_start(zpk3x_sim):
    with zpk3x.Device(zpk3x_sim.port) as dev:
        assert not dev.actual().status & 0x100
        dev.start()
        assert dev.actual().status & 0x100      # "Process has been started"
    assert zpk3x_sim.frames().count("#1DF1") == 1


def test_refused_write(zpk3x_sim):
    zpk3x_sim.fault("nak C1W")
    with zpk3x.Device(zpk3x_sim.port) as dev, pytest.raises(zpk3x.DeviceError) as e:
        dev.write_program(1, zpk3x.Program(strom1=2.0))
    assert (e.value.field, e.value.answer) == ("strom1", "NAK")

"""A test bench's test as a user writes it: only the fixture from the plugin."""

import zpk3x


def test_start_sets_the_started_bit(zpk3x_sim):
    with zpk3x.Device(zpk3x_sim.port) as dev:
        assert not dev.actual().status & 0x100
        dev.start()
        assert dev.actual().status & 0x100
    assert zpk3x_sim.frames().count("#1DF1") == 1

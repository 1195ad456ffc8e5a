"""Helpers of the package's tests: zpk3x-cli against the same simulator, for the
frames it sends for an operation."""

import json
import os
import subprocess

import pytest

import zpk3x

CLI = os.environ.get("ZPK3X_CLI", "zpk3x-cli")


def cli(sim, *args, check=True, lang="en"):
    """zpk3x-cli on the simulator's port (None: no port); its completed process."""
    port = ["--port", sim.port] if sim is not None else []
    lauf = subprocess.run([CLI, *port, "--lang", lang, "--json", *args], capture_output=True,
                          text=True, timeout=60)
    if check and lauf.returncode != 0:
        raise AssertionError(f"zpk3x-cli {' '.join(args)}: {lauf.returncode} {lauf.stderr}")
    return lauf


def cli_fehler(sim, *args, lang="en"):
    """The JSON error object of a failing zpk3x-cli run."""
    lauf = cli(sim, *args, check=False, lang=lang)
    assert lauf.returncode != 0
    return json.loads(lauf.stdout)["error"]


def frames(sim, tun):
    """The frames that `tun()` makes the device receive."""
    sim.clear_frames()
    tun()
    return sim.frames()


@pytest.fixture(autouse=True)
def englisch():
    zpk3x.set_language("en")
    yield

"""The README's bench example, as it stands there: run against the simulator and
checked by mypy --strict."""

import os
import subprocess
import sys
import textwrap
from pathlib import Path

import zpk3x
from zpk3x.testing import Simulator

README = Path(__file__).parents[2] / "README.md"


def beispiel():
    text = README.read_text(encoding="utf-8").split("<!-- bench example -->\n", 1)[1]
    zeilen = []
    for zeile in text.splitlines():
        if zeile and not zeile.startswith("    "):
            break
        zeilen.append(zeile)
    return textwrap.dedent("\n".join(zeilen))


def test_the_readmes_bench_example_runs_and_type_checks(tmp_path):
    skript = tmp_path / "bench.py"
    skript.write_text(beispiel())
    with Simulator() as sim:
        lauf = subprocess.run([sys.executable, str(skript), sim.port], capture_output=True, text=True, timeout=60)
        assert lauf.returncode == 0, lauf.stderr
        gesendet = sim.frames()
        gehalten = sim.programs()[3]
    assert (gehalten.strom1, gehalten.zyklen, gehalten.endstuferegeln) == (1.25, 5, True)
    # Started, watched five times, stopped on leaving the block.
    start = gesendet.index("#1DF1")
    assert gesendet[start + 1:start + 16] == ["#1C0R", "#1V0R", "#1S0R"] * 5 and gesendet[start + 16] == "#1DF2"
    assert "program 3, strom1: device 1.25, before 0.1" in lauf.stdout
    typen = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--cache-dir=/dev/null", str(skript)],
                           capture_output=True, text=True, timeout=300,
                           env={**os.environ, "MYPYPATH": str(Path(zpk3x.__file__).parents[1])})
    assert typen.returncode == 0, typen.stdout


def test_mypy_catches_a_misspelt_field_and_a_wrong_type(tmp_path):
    skript = tmp_path / "falsch.py"
    skript.write_text("import zpk3x\n"
                      "p = zpk3x.Program(strom_1=1.0)\n"
                      "p.stromkurv = 3\n"
                      "p.endstuferegeln = 'ja'\n"
                      "n: str = zpk3x.Device('x').actual().current\n")
    typen = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--cache-dir=/dev/null", str(skript)],
                           capture_output=True, text=True, timeout=300,
                           env={**os.environ, "MYPYPATH": str(Path(zpk3x.__file__).parents[1])})
    zeilen = sorted({int(z.split(":")[1]) for z in typen.stdout.splitlines() if ": error:" in z})
    assert zeilen == [2, 3, 4, 5], typen.stdout

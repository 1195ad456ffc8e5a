"""The plugin's report of a failed test: frames and answers in the JUnit XML."""

import subprocess
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

BEISPIEL = Path(__file__).parent / "benutzer" / "fehlschlag.py"


def test_a_failed_test_carries_its_frames_and_answers_into_junit_xml(tmp_path):
    xml = tmp_path / "bericht.xml"
    lauf = subprocess.run([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", "--noconftest",
                           f"--junitxml={xml}", str(BEISPIEL)], capture_output=True, text=True, timeout=60)
    assert lauf.returncode == 1, lauf.stdout + lauf.stderr
    fall = ET.parse(xml).getroot().find(".//testcase")
    fehler = fall.find("failure").text
    spur = fehler[fehler.index("zpk3x trace"):]
    # Both frames and both answers, in order, and what the simulator received.
    zeilen = [z.split(" ", 1)[1] for z in spur.splitlines() if " -> " in z or " <- " in z]
    assert zeilen == ["-> #1IDR<CR>", "<- <ACK>", "<- #1OLQ-ZPK3X-SIM<CR>", "-> #1DF1<CR>", "<- <NAK>"]
    assert "zpk3x simulator frames" in fehler and "#1IDR\n#1DF1" in fehler
    eigenschaften = {p.get("name"): p.get("value") for p in fall.iter("property")}
    assert "#1DF1<CR>" in eigenschaften["zpk3x_trace"] and eigenschaften["zpk3x_simulator_frames"] == "#1IDR\n#1DF1"

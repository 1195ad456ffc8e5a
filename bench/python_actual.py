"""dev.actual() in a loop against the simulator: host time per call beyond the
line time, beside `zpk3x-cli get` per call and a plain Python termios loop that
sends the same three frames; and two threads taking turns on one Device, for
what the turns cost. The simulator answers at once on its
pseudo-terminal, where the line takes no time, so a call's wall time is the host
time of both ends; the caller's own processor time is given beside it.

    build/bench/zpk3x_python_bench [CALLS]
"""

import os
import resource
import subprocess
import sys
import termios
import threading
import time

import zpk3x
from zpk3x.testing import Simulator

CLI = os.environ["ZPK3X_CLI"]
FRAMES = [b"#1C0R\r", b"#1V0R\r", b"#1S0R\r"]


def cpu_self():
    r = resource.getrusage(resource.RUSAGE_SELF)
    return r.ru_utime + r.ru_stime


def cpu_children():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def messen(name, n, schritt, cpu=cpu_self):
    schritt()  # the first call opens what later calls reuse
    w0, c0 = time.perf_counter(), cpu()
    for _ in range(n):
        schritt()
    w, c = time.perf_counter() - w0, cpu() - c0
    print(f"{name:32s} {n:6d} calls  wall {w / n * 1e6:9.1f} us/call  own cpu {c / n * 1e6:9.1f} us/call")


def zwei_threads(dev):
    # The other thread calls as fast as it can; each call here waits its turn.
    fertig = threading.Event()

    def anderer():
        while not fertig.is_set():
            dev.actual()

    t = threading.Thread(target=anderer)
    t.start()

    def schritt():
        dev.actual()
    return schritt, lambda: (fertig.set(), t.join())


def termios_schleife(port):
    fd = os.open(port, os.O_RDWR | os.O_NOCTTY)
    a = termios.tcgetattr(fd)
    a[0] = a[1] = a[3] = 0
    a[2] = termios.CS8 | termios.CREAD | termios.CLOCAL
    a[4] = a[5] = termios.B9600
    a[6][termios.VMIN], a[6][termios.VTIME] = 1, 5
    termios.tcsetattr(fd, termios.TCSANOW, a)

    def schritt():
        for f in FRAMES:
            os.write(fd, f)
            antwort = b""
            while not antwort.endswith(b"\r"):
                teil = os.read(fd, 64)
                if not teil:
                    raise OSError("no answer")
                antwort += teil
    return fd, schritt


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
    with Simulator() as sim:
        with zpk3x.Device(sim.port) as dev:
            messen("zpk3x Device.actual()", n, dev.actual)
            schritt, ende = zwei_threads(dev)
            messen("Device.actual(), 2 threads", n, schritt)
            ende()
        fd, schritt = termios_schleife(sim.port)
        messen("plain Python termios, 3 frames", n, schritt)
        os.close(fd)
        messen("zpk3x-cli get (a process each)", max(n // 50, 10),
               lambda: subprocess.run([CLI, "--port", sim.port, "get"], stdout=subprocess.DEVNULL, check=True),
               cpu=lambda: cpu_self() + cpu_children())


if __name__ == "__main__":
    main()

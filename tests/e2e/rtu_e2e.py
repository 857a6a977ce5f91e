"""Modbus RTU across pseudo-terminals, against peers nobody here wrote: kalvo-poll reads a
pymodbus RTU server through a socat pair, and mbpoll reads kalvo-sim.

Usage: rtu_e2e.py SCENARIO KALVO_SIM KALVO_POLL
SCENARIO: pymodbus | mbpoll
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
FIXED = os.path.join(HERE, "data", "fixed_image.txt")
EXPECTED = os.path.join(HERE, "data", "expected")


def fail(message):
    sys.exit("FAIL: " + message)


def wait_for(path, process, what):
    deadline = time.monotonic() + 20
    while not os.path.exists(path):
        if process.poll() is not None or time.monotonic() > deadline:
            fail(what + " did not start")
        time.sleep(0.05)


def fixed_words():
    with open(FIXED, encoding="ascii") as image:
        return [int(word, 16) for word in image.read().split()]


def check_pymodbus(_sim, poller):
    with tempfile.TemporaryDirectory() as work:
        server_end, client_end = os.path.join(work, "server"), os.path.join(work, "client")
        pair = subprocess.Popen(["socat", "pty,raw,echo=0,link=" + server_end,
                                 "pty,raw,echo=0,link=" + client_end])
        server = None
        try:
            wait_for(client_end, pair, "socat")
            wait_for(server_end, pair, "socat")
            server = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "pymodbus_rtu_server.py"),
                                       server_end, FIXED],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(3)
            csv_dir = os.path.join(work, "csv")
            result = subprocess.run([poller, "--rtu", client_end, "--baud", "9600", "--interval", "50",
                                     "--format", "json", "--csv-dir", csv_dir],
                                    capture_output=True, text=True, timeout=60,
                                    env=dict(os.environ, LC_ALL="C"))
        finally:
            for process in (server, pair):
                if process is not None:
                    process.terminate()
                    process.wait()
        sys.stderr.write(result.stderr)
        if result.returncode != 0:
            fail("kalvo-poll exit status %d" % result.returncode)
        report = json.loads(result.stdout)
        if report["registers"][:245] != fixed_words():
            fail("the registers read differ from the server's")
        for name in os.listdir(EXPECTED):
            with open(os.path.join(EXPECTED, name), "rb") as expected, \
                    open(os.path.join(csv_dir, name), "rb") as written:
                if expected.read() != written.read():
                    fail(name + " differs from the TCP export")


def check_mbpoll(sim, _poller):
    with tempfile.TemporaryDirectory() as work:
        link = os.path.join(work, "kalvo-sim")
        process = subprocess.Popen([sim, "--rtu", link, "--fixed", FIXED], stdout=subprocess.PIPE, text=True)
        try:
            process.stdout.readline()
            words = []
            for start, count in ((0, 121), (121, 124)):
                result = subprocess.run(["mbpoll", "-m", "rtu", "-a", "1", "-b", "9600", "-P", "none",
                                         "-0", "-r", str(start), "-c", str(count), "-t", "4:hex", "-1",
                                         link], capture_output=True, text=True, timeout=30)
                if result.returncode != 0:
                    fail("mbpoll: " + result.stdout + result.stderr)
                words += [int(v, 16) for v in re.findall(r"^\[\d+\]:\s+0x([0-9A-Fa-f]+)", result.stdout, re.M)]
        finally:
            process.terminate()
            if process.wait(timeout=10) != 0:
                fail("kalvo-sim did not stop cleanly")
        if words != fixed_words():
            fail("mbpoll read %d words that differ from the file" % len(words))
        if os.path.exists(link):
            fail("kalvo-sim left its link behind")


def main():
    scenario, sim, poller = sys.argv[1:4]
    {"pymodbus": check_pymodbus, "mbpoll": check_mbpoll}[scenario](sim, poller)
    print("PASS")


if __name__ == "__main__":
    main()

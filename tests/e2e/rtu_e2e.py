"""Modbus RTU across pseudo-terminals, against peers nobody here wrote: kalvo-poll reads a
pymodbus RTU server through a socat pair, and mbpoll reads kalvo-sim.

Usage: rtu_e2e.py SCENARIO KALVO_SIM KALVO_POLL [PACED_LINE]
SCENARIO: pymodbus | mbpoll | faults | paced | bus
"""
import csv
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
            if subprocess.run(["/usr/bin/python3", os.path.join(HERE, "wait_rtu_server.py"),
                               client_end], timeout=30).returncode != 0:
                fail("the pymodbus RTU server does not answer")
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


FAULTS = [
    # kalvo-sim flags, kalvo-poll flags, exit status, expected statistics, a log line that
    # must appear ({link} is the port)
    (["--silent"], [], 1, {"responses": 0, "timeouts": 2, "maxConsecutiveErrors": 2},
     "No answer from KALVO module!"),
    (["--exception", "2:b"], [], 1, {"responses": 1, "exceptions": 1, "timeouts": 0},
     "Error answer received!"),
    (["--bad-crc"], [], 1, {"responses": 0, "invalid": 2}, "Invalid answer!"),
    (["--noise", "5"], [], 1, {"responses": 0, "invalid": 2}, "Recv: A5A5A5A5A50103"),
    (["--short-reply"], [], 1, {"responses": 0, "unmatched": 2},
     "Received answer does not macht the request!"),
    (["--chatter", "30"], ["--run", "6", "--interval", "100"], 0, {"responses": 6, "invalid": 0},
     "Recv: 0203020"),
    (["--hangup-after", "1"], ["--run", "1000"], 1,
     {"requests": 2, "responses": 1, "timeouts": 1, "maxConsecutiveErrors": 1},
     "Serial port {link}: Input/output error"),
]


def check_shown_registers(report, what):
    """Every block shows either what the module holds or, unread, the fill value."""
    words, shown = fixed_words(), report["registers"]
    for first, count in ((0, 121), (121, 124)):
        block = shown[first:first + count]
        if block != words[first:first + count] and block != [0xFFFF] * count:
            fail("%s: block at %d shows values the module never sent" % (what, first))


def run_fault(sim, poller, work, sim_flags, poll_flags):
    link = os.path.join(work, "kalvo-sim")
    process = subprocess.Popen([sim, "--rtu", link, "--fixed", FIXED, *sim_flags],
                               stdout=subprocess.PIPE, text=True)
    try:
        process.stdout.readline()
        started = time.monotonic()
        result = subprocess.run([poller, "--rtu", link, "--interval", "20", "--format", "json",
                                 *poll_flags], capture_output=True, text=True, timeout=60,
                                env=dict(os.environ, LC_ALL="C"))
        return result, time.monotonic() - started, link
    finally:
        process.terminate()
        process.wait(timeout=10)


def check_faults(sim, poller):
    with tempfile.TemporaryDirectory() as work:
        for sim_flags, poll_flags, status, expected, line in FAULTS:
            result, elapsed, link = run_fault(sim, poller, work, sim_flags, poll_flags)
            sys.stderr.write(result.stderr)
            if result.returncode != status:
                fail("%s: exit status %d, expected %d" % (sim_flags, result.returncode, status))
            report = json.loads(result.stdout)
            for key, value in expected.items():
                if report["statistics"][key] != value:
                    fail("%s: %s is %d, expected %d"
                         % (sim_flags, key, report["statistics"][key], value))
            if line.format(link=link) not in result.stderr:
                fail("%s: the log lacks %r" % (sim_flags, line.format(link=link)))
            if elapsed > 10:
                fail("%s: kalvo-poll took %.1f s" % (sim_flags, elapsed))
            check_shown_registers(report, sim_flags)
        # A run whose port will not open still begins: it is judged, and every check waits.
        result = subprocess.run([poller, "--rtu", os.path.join(work, "absent"), "--check",
                                 "--format", "json"], capture_output=True, text=True,
                                timeout=60, env=dict(os.environ, LC_ALL="C"))
        checks = json.loads(result.stdout).get("checks", [])
        if result.returncode != 1 or len(checks) != 14 or \
                any(c["verdict"] in ("passed", "failed") for c in checks):
            fail("a port that will not open: exit %d, checks %s" % (result.returncode, checks))


PACED = [
    # baud, paced-line flags, kalvo-poll flags, expected log line or None
    (9600, [], [], None),
    (19200, [], [], None),
    (9600, ["--latency", "16"], [], None),
    (19200, ["--latency", "16"], [], None),
    (9600, ["--pause-before", "100", "--pause", "20"], [], None),
    (9600, ["--pause-before", "100", "--pause", "100"], [], None),
    (9600, ["--pause-before", "100", "--pause", "400"], [], None),
    # Longer than the inter-character time-out: that read fails, the next one reads.
    (9600, ["--pause-before", "100", "--pause", "700"], ["--run", "3", "--interval", "500"],
     "Invalid answer!"),
]


def check_paced(sim, poller, paced_line):
    """kalvo-poll reads kalvo-sim through a line paced at its baud rate: plain, behind a
    USB adapter's latency timer, and with a pause inside a reply."""
    words = fixed_words()
    with tempfile.TemporaryDirectory() as work:
        sim_link, near_link = os.path.join(work, "sim"), os.path.join(work, "near")
        sim_process = subprocess.Popen([sim, "--rtu", sim_link, "--fixed", FIXED],
                                       stdout=subprocess.PIPE, text=True)
        try:
            sim_process.stdout.readline()
            for baud, line_flags, poll_flags, expected in PACED:
                what = "%d %s" % (baud, " ".join(line_flags))
                line = subprocess.Popen([paced_line, sim_link, near_link, "--baud", str(baud),
                                         *line_flags], stdout=subprocess.PIPE, text=True)
                try:
                    if not line.stdout.readline().startswith("ready"):
                        fail(what + ": the paced line did not start")
                    result = subprocess.run(
                        [poller, "--rtu", near_link, "--baud", str(baud), "--interval", "20",
                         "--format", "json", *poll_flags], capture_output=True, text=True,
                        timeout=60, env=dict(os.environ, LC_ALL="C"))
                finally:
                    line.terminate()
                    line.wait(timeout=10)
                sys.stderr.write(result.stderr)
                report = json.loads(result.stdout)
                if expected is None:
                    if result.returncode != 0 or report["registers"][:245] != words:
                        fail(what + ": not every read gave the image")
                    continue
                if expected not in result.stderr:
                    fail("%s: the log lacks %r" % (what, expected))
                statistics = report["statistics"]
                if statistics["responses"] != statistics["requests"] - 1:
                    fail(what + ": only the paused read may fail")
                check_shown_registers(report, what)
        finally:
            sim_process.terminate()
            sim_process.wait(timeout=10)


def recorded(folder, module):
    """The blocks, serial numbers and times of one module's recording."""
    with open(os.path.join(folder, module + ".csv"), encoding="utf-8", newline="") as file:
        rows = list(csv.reader(file))
    column = next(i for i, name in enumerate(rows[0]) if name.startswith("0.0.1 "))
    return ([row[1] for row in rows[1:]], {row[column] for row in rows[1:] if row[1] == "A"},
            [row[0] for row in rows[1:]])


def check_bus(sim, poller, paced_line):
    """Two lines paced at 9600 baud, two kalvo-sim modules on each: one kalvo-poll reads all
    four, the modules of a line in turn, the two lines side by side."""
    with tempfile.TemporaryDirectory() as work:
        started, targets = [], os.path.join(work, "targets")
        try:
            with open(targets, "w", encoding="utf-8") as file:
                for line, serial in (("one", "100"), ("two", "200")):
                    sim_link, near = os.path.join(work, "sim-" + line), os.path.join(work, line)
                    started.append(subprocess.Popen(
                        [sim, "--rtu", sim_link, "--address", "1,7", "--serial", serial],
                        stdout=subprocess.PIPE, text=True))
                    started[-1].stdout.readline()
                    started.append(subprocess.Popen([paced_line, sim_link, near, "--baud",
                                                     "9600"], stdout=subprocess.PIPE, text=True))
                    if not started[-1].stdout.readline().startswith("ready"):
                        fail("the paced line did not start")
                    file.write("rtu %s 9600 1,7 %s-1,%s-7\n" % (near, line, line))
            result = subprocess.run([poller, "--targets", targets, "--run", "6", "--interval",
                                     "0", "--record", work], capture_output=True, text=True,
                                    timeout=60)
        finally:
            for process in started:
                process.terminate()
                process.wait(timeout=10)
        sys.stderr.write(result.stderr)
        if result.returncode != 0 or "timeout responses: 0" not in result.stderr or \
                len(re.findall(r"Requests: (\d+), responses: \1,", result.stderr)) != 4:
            fail("not every read of the four modules succeeded")
        times = {}
        for module, serial in (("one-1", "100"), ("one-7", "101"), ("two-1", "200"),
                               ("two-7", "201")):
            blocks, serials, times[module] = recorded(work, module)
            if blocks != ["A", "B"] * 3 or serials != {serial}:
                fail("%s recorded blocks %s, serial numbers %s" % (module, blocks, serials))
        # In turn on a line: both blocks of one module, then of the other, round after round;
        # side by side across lines: the second line's first read before the first line's
        # second module's.
        for line in ("one", "two"):
            order = [module for _, module in sorted(
                [(t, 1) for t in times[line + "-1"]] + [(t, 7) for t in times[line + "-7"]])]
            if order != [1, 1, 7, 7] * 3:
                fail("line %s read its modules in the order %s" % (line, order))
        if not times["two-1"][0] < times["one-7"][0]:
            fail("the lines were read one after the other: %s" % times)


def main():
    scenario, sim, poller = sys.argv[1:4]
    if scenario == "paced":
        check_paced(sim, poller, sys.argv[4])
    elif scenario == "bus":
        check_bus(sim, poller, sys.argv[4])
    else:
        {"pymodbus": check_pymodbus, "mbpoll": check_mbpoll, "faults": check_faults}[scenario](
            sim, poller)
    print("PASS")


if __name__ == "__main__":
    main()

"""kalvo-sim seen from outside: by mbpoll, and by kalvo-poll for its files, its model and its
faults.

Usage: kalvo_sim_e2e.py SCENARIO KALVO_SIM KALVO_POLL
SCENARIO: mbpoll | csv | model | faults | recording | log | fleet_recording | fleet_outputs
"""
import contextlib
import csv
import filecmp
import io
import json
import os
import re
import resource
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
FIXED = os.path.join(HERE, "data", "fixed_image.txt")
EXPECTED = os.path.join(HERE, "data", "expected")


def fail(message):
    sys.exit("FAIL: " + message)


@contextlib.contextmanager
def simulator(sim, *arguments):
    """Runs kalvo-sim on a free loopback port and yields the port from its banner."""
    process = subprocess.Popen([sim, "--listen", "127.0.0.1:0", *arguments],
                               stdout=subprocess.PIPE, text=True)
    try:
        banner = process.stdout.readline()
        found = re.search(r"127\.0\.0\.1:(\d+)", banner)
        if not found:
            fail("no banner from kalvo-sim: %r" % banner)
        yield int(found.group(1))
    finally:
        process.terminate()
        if process.wait(timeout=10) != 0:
            fail("kalvo-sim did not stop cleanly on SIGTERM")


def poll(poller, port, *arguments):
    result = subprocess.run([poller, "--tcp", "127.0.0.1:%d" % port, "--interval", "20",
                             *arguments], capture_output=True, text=True, timeout=120,
                            env=dict(os.environ, LC_ALL="C"))
    sys.stderr.write(result.stderr)
    return result


def fixed_words():
    with open(FIXED, encoding="ascii") as image:
        return [int(word, 16) for word in image.read().split()]


def check_mbpoll(sim, _poller):
    with simulator(sim, "--fixed", FIXED) as port:
        words = []
        for start, count in ((0, 121), (121, 124)):
            result = subprocess.run(["mbpoll", "-m", "tcp", "-p", str(port), "-a", "1", "-0",
                                     "-r", str(start), "-c", str(count), "-t", "4:hex", "-1",
                                     "127.0.0.1"], capture_output=True, text=True, timeout=30)
            if result.returncode != 0:
                fail("mbpoll: " + result.stdout + result.stderr)
            words += [int(value, 16) for value in
                      re.findall(r"^\[\d+\]:\s+0x([0-9A-Fa-f]+)", result.stdout, re.M)]
    if words != fixed_words():
        fail("mbpoll read %d words that differ from the file" % len(words))


def check_csv(sim, poller):
    with tempfile.TemporaryDirectory() as folder, simulator(sim, "--fixed", FIXED) as port:
        if poll(poller, port, "--csv-dir", folder).returncode != 0:
            fail("kalvo-poll failed")
        for name in os.listdir(EXPECTED):
            if not filecmp.cmp(os.path.join(EXPECTED, name), os.path.join(folder, name),
                               shallow=False):
                fail("%s differs from the expected file" % name)


def sheet_values(report):
    return [[row["Value"] for row in table["rows"]] for table in report["tables"]]


def read_model(poller, port):
    result = poll(poller, port, "--format", "json")
    if result.returncode != 0:
        fail("kalvo-poll failed on the model")
    return sheet_values(json.loads(result.stdout)), time.time()


def check_clock(inst, read_at):
    hour, minute, second, year, month, day = (int(value) for value in inst[1:7])
    stamp = time.mktime((year, month, day, hour, minute, second, 0, 0, -1))
    if abs(stamp - read_at) > 2:
        fail("meter clock %s is %.1f s off local time" % (inst[1:7], stamp - read_at))


def check_powers(inst, phase):
    import math
    total = 0.0
    for k in range(3):
        volts, amps = float(phase[17 + 4 * k]), float(phase[5 + 4 * k])
        total += volts * amps * math.cos(math.radians(float(phase[k]))) / 1000
    power = float(inst[19])
    if abs(power - total) > 0.02 * abs(total):
        fail("active power %.3f kW, U.I.cos phi gives %.3f kW" % (power, total))
    if abs(float(inst[17]) - power / float(inst[21])) > 0.01:
        fail("mean power factor does not match P/S")
    if not 49.5 < float(inst[18]) < 50.5 or not 200 < float(phase[17]) < 260:
        fail("frequency or voltage out of range")
    if not any(float(angle) < 0 for angle in phase[0:3]):
        fail("no negative current angle")


def check_model(sim, poller):
    with simulator(sim, "--load", "50") as port:
        (inst, phase, _profile, encoded), read_at = read_model(poller, port)
        time.sleep(1.2)
        (later, _, _, _), _ = read_model(poller, port)
    check_clock(inst, read_at)
    check_powers(inst, phase)
    if not float(later[7]) > float(inst[7]):
        fail("active energy did not grow: %s then %s" % (inst[7], later[7]))
    if abs(int(encoded[1]) - round(float(inst[7]) * 10 ** int(encoded[0]))) > 5:
        fail("32-bit encoding %s does not match %s" % (encoded[1], inst[7]))


FAULTS = [
    # flags, exit status, expected statistics, a log line that must appear
    (["--exception", "2"], 1, {"responses": 0, "invalid": 2, "timeouts": 2, "maxConsecutiveErrors": 2},
     "Failed to read 121 registers - pause 20 msec"),
    (["--exception", "4:b"], 1, {"responses": 1, "invalid": 1, "timeouts": 1},
     "Failed to read 124 registers - pause 20 msec"),
    (["--silent"], 1, {"responses": 0, "timeouts": 2, "maxConsecutiveErrors": 0},
     "Failed to read 124 registers - pause 20 msec"),
    (["--delay", "150"], 0, {"responses": 2, "timeouts": 0}, "Successfully read 124 registers"),
    (["--split", "80"], 0, {"responses": 2, "timeouts": 0}, "Successfully read 124 registers"),
    (["--drop-every", "2"], 1, {"responses": 1, "timeouts": 1, "maxConsecutiveErrors": 1},
     "Connection Closed Gracefully."),
    (["--wrong-function"], 1, {"responses": 0, "unmatched": 2, "timeouts": 2},
     "Failed to read 121 registers - pause 20 msec"),
    (["--short-reply"], 1, {"responses": 0, "unmatched": 2, "timeouts": 2, "maxConsecutiveErrors": 2},
     "Failed to read 124 registers - pause 20 msec"),
    (["--wrong-tid"], 1, {"responses": 0, "unmatched": 0, "timeouts": 2, "maxConsecutiveErrors": 0},
     "Failed to read 124 registers - pause 20 msec"),
    (["--garbage"], 1, {"requests": 1, "responses": 0, "timeouts": 1, "maxConsecutiveErrors": 1},
     "Invalid Modbus/TCP reply  -  Length field 0 outside 2..254."),
]


def check_shown_registers(report, what):
    """Every block shows either what the module holds or, unread, the fill value: never a
    value taken from a bad reply."""
    words, shown = fixed_words(), report["registers"]
    for first, count in ((0, 121), (121, 124)):
        block = shown[first:first + count]
        if block != words[first:first + count] and block != [0xFFFF] * count:
            fail("%s: block at %d shows values the module never sent" % (what, first))


def check_faults(sim, poller):
    for flags, status, expected, line in FAULTS:
        with simulator(sim, "--fixed", FIXED, *flags) as port:
            result = poll(poller, port, "--timeout", "600", "--format", "json")
        if result.returncode != status:
            fail("%s: exit status %d, expected %d" % (flags, result.returncode, status))
        report = json.loads(result.stdout)
        statistics = report["statistics"]
        for key, value in expected.items():
            if statistics[key] != value:
                fail("%s: %s is %d, expected %d" % (flags, key, statistics[key], value))
        if line not in result.stderr:
            fail("%s: the log lacks %r" % (flags, line))
        check_shown_registers(report, flags)
        if statistics["responses"] == 2 and sheet_values(report)[0][0] != "20261210":
            fail("%s: the reply's content was damaged" % flags)


def file_size_limit(size):
    """A full disk for the child's files: writes past `size` bytes fail with EFBIG."""
    def limit():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (size, resource.RLIM_INFINITY))
    return limit


def poll_limited(poller, port, size, *arguments):
    result = subprocess.run([poller, "--tcp", "127.0.0.1:%d" % port, "--interval", "20",
                             *arguments], capture_output=True, text=True, timeout=120,
                            env=dict(os.environ, LC_ALL="C"), preexec_fn=file_size_limit(size))
    sys.stderr.write(result.stderr)
    return result


def check_recording(sim, poller):
    with tempfile.TemporaryDirectory() as folder, simulator(sim, "--fixed", FIXED) as port:
        for arguments in (["--record", ""], ["--record-split", "hour"]):
            if poll(poller, port, *arguments).returncode != 2:
                fail("%s is no usage error" % arguments)
        for target in ("/dev/full", os.path.join(folder, "missing", "run.csv"), folder):
            result = poll(poller, port, "--run", "4", "--record", target)
            if result.returncode != 1 or "Recording stopped: " + target not in result.stderr:
                fail("a recording to %s that stopped exits %d" % (target, result.returncode))
        record = os.path.join(folder, "run.csv")
        result = poll_limited(poller, port, 7000, "--run", "10", "--record", record)
        with open(record, encoding="utf-8", newline="") as recorded:
            text = recorded.read()
        rows = list(csv.reader(io.StringIO(text)))
        if result.returncode != 1 or not text.endswith("\r\n") or len(rows) < 2:
            fail("a full disk: exit %d, file ends %r" % (result.returncode, text[-20:]))
        if {len(row) for row in rows} != {len(rows[0])}:
            fail("a full disk left a partial row")
        tables = os.path.join(folder, "tables")
        if poll_limited(poller, port, 200, "--csv-dir", tables).returncode != 1:
            fail("--csv-dir on a full disk did not fail")
        if os.listdir(tables):
            fail("--csv-dir on a full disk left %s" % os.listdir(tables))


def check_fleet_recording(sim, poller):
    """Several modules record a file each, in the folder --record names, after their address."""
    with tempfile.TemporaryDirectory() as folder, simulator(sim, "--fixed", FIXED) as one, \
            simulator(sim, "--serial", "11111111") as two:
        result = poll(poller, one, "--tcp", "127.0.0.1:%d" % two, "--run", "4", "--record",
                      os.path.join(folder, "missing"))
        if result.returncode != 2 or "takes a folder" not in result.stderr:
            fail("--record of a fleet to no folder: exit %d" % result.returncode)
        result = poll(poller, one, "--tcp", "127.0.0.1:%d" % two, "--run", "4", "--record",
                      folder)
        if result.returncode != 0:
            fail("a fleet's recording: exit %d" % result.returncode)
        for port, serial in ((one, "20261210"), (two, "11111111")):
            with open(os.path.join(folder, "127.0.0.1_%d.csv" % port), encoding="utf-8",
                      newline="") as recorded:
                rows = list(csv.reader(recorded))
            column = next(i for i, name in enumerate(rows[0]) if name.startswith("0.0.1 "))
            blocks = [row[1] for row in rows[1:]]
            serials = {row[column] for row in rows[1:] if row[1] == "A"}
            if blocks != ["A", "B", "A", "B"] or serials != {serial}:
                fail("module %d recorded blocks %s, serial numbers %s" % (port, blocks, serials))


def poll_fleet(poller, *arguments):
    result = subprocess.run([poller, "--interval", "20", *arguments], capture_output=True,
                            text=True, timeout=120, env=dict(os.environ, LC_ALL="C"))
    sys.stderr.write(result.stderr)
    return result


def check_fleet_outputs(sim, poller):
    """What one module can do, many can: a report and a JUnit file each, named as their
    recordings are, and exit status 3 when a check failed on any of them; modules and their
    files are one to one, and a recording that stops is exit status 1."""
    with tempfile.TemporaryDirectory() as folder, simulator(sim) as good, \
            simulator(sim, "--reverse-sequence") as reversed_:
        targets = os.path.join(folder, "targets")
        for lines, said in ((["tcp 127.0.0.1:%d same" % good, "tcp 127.0.0.1:%d same" % reversed_],
                             "two modules are named same (%s line 1 and %s line 2)"
                             % (targets, targets)),
                            (["tcp 127.0.0.1:%d" % good, "tcp 127.0.0.1:%d" % good],
                             "127.0.0.1:%d is given twice" % good),
                            (["tcp 127.0.0.1:%d" % good,
                              "tcp 127.0.0.1:%d 127.0.0.1_%d" % (reversed_, good)],
                             "two modules would write files named 127.0.0.1_%d" % good)):
            with open(targets, "w", encoding="ascii") as listed:
                listed.write("\n".join(lines) + "\n")
            result = poll_fleet(poller, "--targets", targets, "--run", "4")
            if result.returncode != 2 or said not in result.stderr:
                fail("%s: exit %d, not a usage error saying %r" % (lines, result.returncode, said))
        with open(targets, "w", encoding="ascii") as listed:
            listed.write("tcp 127.0.0.1:%d good\ntcp 127.0.0.1:%d reversed\n" % (good, reversed_))
        result = poll_fleet(poller, "--targets", targets, "--run", "4", "--report", folder,
                            "--junit", folder)
        if result.returncode != 3:
            fail("a fleet with a failed check: exit %d" % result.returncode)
        for name, failures in (("good", "0"), ("reversed", "1")):
            with open(os.path.join(folder, name + ".xml"), encoding="utf-8") as junit:
                suite = re.search(r'<testsuite [^>]*failures="(\d+)"', junit.read())
            if suite is None or suite.group(1) != failures:
                fail("%s's JUnit file: %s failures" % (name, suite and suite.group(1)))
            with open(os.path.join(folder, name + ".html"), encoding="utf-8") as report:
                if "127.0.0.1:" not in report.read():
                    fail("%s's report names no connection" % name)
        os.mkdir(os.path.join(folder, "good.csv"))
        result = poll_fleet(poller, "--targets", targets, "--run", "4", "--record", folder)
        if result.returncode != 1 or "Recording stopped: " not in result.stderr:
            fail("a fleet's recording that stopped: exit %d" % result.returncode)


def check_log(sim, poller):
    """Reading as fast as it can, kalvo-poll holds its log lines to write them together: none
    is lost at the end of the run, each is whole and they keep their order."""
    with simulator(sim, "--fixed", FIXED) as port:
        result = poll(poller, port, "--interval", "0", "--run", "600", "--format", "csv")
    lines = result.stderr.splitlines()
    expected = []
    for read in range(600):
        count = (121, 124)[read % 2]
        expected += ["Modbus/TCP reading %d registers ..." % count,
                     "Successfully read %d registers - pause 0 msec" % count]
    stamped = [line for line in lines if re.match(r"\d\d:\d\d:\d\d ", line)]
    if result.returncode != 0 or [line[9:] for line in stamped] != expected:
        fail("the log of 600 reads at interval 0 has %d lines of %d, exit %d"
             % (len(stamped), len(expected), result.returncode))
    if not result.stderr.endswith("\n"):
        fail("the log ends in a partial line")


def main():
    scenario, sim, poller = sys.argv[1:4]
    {"mbpoll": check_mbpoll, "csv": check_csv, "model": check_model,
     "faults": check_faults, "recording": check_recording, "log": check_log,
     "fleet_recording": check_fleet_recording,
     "fleet_outputs": check_fleet_outputs}[scenario](sim, poller)
    print("PASS")


if __name__ == "__main__":
    main()

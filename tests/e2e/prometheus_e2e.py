"""kalvo-poll polling several simulated modules at once, scraped by a real Prometheus.

Three kalvo-sim modules over TCP (a fixed image; a simulated meter; one with its phase
sequence reversed) and two simulated meters at addresses 1 and 2 of one RTU line;
kalvo-poll serves their metrics; promtool checks the exposition; Prometheus, started here
on a free port with a temporary configuration and data folder, scrapes kalvo-poll, and its
HTTP API must show each module's voltages (the fixed image's exactly), kalvo_up 1, each
line module's own serial number, the phase-sequence check passed for the simulated meters
and failed for the reversed one, and, once one simulator is killed, that module's kalvo_up
0 and none of its quantities.

Usage: prometheus_e2e.py KALVO_SIM KALVO_POLL
"""
import json
import math
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
FIXED = os.path.join(HERE, "data", "fixed_image.txt")


def fail(message):
    sys.exit("FAIL: " + message)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start_sim(sim, *arguments):
    process = subprocess.Popen([sim, "--listen", "127.0.0.1:0", *arguments],
                               stdout=subprocess.PIPE, text=True)
    found = re.search(r"127\.0\.0\.1:(\d+)", process.stdout.readline())
    if not found:
        fail("no banner from kalvo-sim")
    return process, int(found.group(1))


def get(url, accept=None):
    request = urllib.request.Request(url, headers={"Accept": accept} if accept else {})
    try:
        with urllib.request.urlopen(request, timeout=10) as reply:
            return reply.status, reply.headers.get("Content-Type"), reply.read().decode()
    except urllib.error.HTTPError as error:
        return error.code, None, ""
    except (urllib.error.URLError, ConnectionError):
        return 0, None, ""


def wait_for(what, condition, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    fail("waited %d s for %s" % (seconds, what))


def fixed_voltage(poller, port):
    """The L1 voltage of the fixed image, as kalvo-poll decodes it for one module."""
    result = subprocess.run([poller, "--tcp", "127.0.0.1:%d" % port, "--step", "--format",
                             "json"], capture_output=True, text=True, timeout=60,
                            env=dict(os.environ, LC_ALL="C"))
    report = json.loads(result.stdout)
    for table in report["tables"]:
        for row in table["rows"]:
            if row["OBIS"] == "32.7.0":
                return float(row["Value"])
    fail("no L1 voltage in kalvo-poll's JSON")


def query(api, expression):
    status, _, body = get(api + "/api/v1/query?" + urllib.parse.urlencode({"query": expression}))
    if status != 200:
        fail("Prometheus answered %d to %s" % (status, expression))
    return {sample["metric"].get("target", ""): float(sample["value"][1])
            for sample in json.loads(body)["data"]["result"]}


def check_endpoint(metrics_port):
    base = "http://127.0.0.1:%d" % metrics_port
    status, kind, text = get(base + "/metrics")
    if status != 200 or not kind.startswith("text/plain; version=0.0.4"):
        fail("/metrics: %s %s" % (status, kind))
    check = subprocess.run(["promtool", "check", "metrics"], input=text, capture_output=True,
                           text=True)
    if check.returncode != 0:
        fail("promtool: " + check.stdout + check.stderr)
    status, kind, text = get(base + "/metrics", "application/openmetrics-text; version=1.0.0")
    if not kind.startswith("application/openmetrics-text") or not text.endswith("# EOF\n"):
        fail("OpenMetrics was asked for and not given: %s" % kind)
    if get(base + "/-/healthy")[0] != 200 or get(base + "/secret")[0] != 404:
        fail("/-/healthy must answer and any other path be refused")
    status, kind, text = get(base + "/")
    if status != 200 or not kind.startswith("text/html") or 'href="/metrics"' not in text:
        fail("the index page: %s %s %r" % (status, kind, text[:100]))


def check_usage(poller, folder):
    """What a fleet cannot do is a usage error, said before anything starts."""
    bad_file = os.path.join(folder, "bad-targets")
    with open(bad_file, "w", encoding="utf-8") as file:
        file.write("# two modules\ntcp 127.0.0.1:1502 one\nrtu ttyUSB0 9600\n")
    two_speeds = os.path.join(folder, "two-speeds")
    with open(two_speeds, "w", encoding="utf-8") as file:
        file.write("rtu ttyUSB0 9600 1\nrtu /dev/ttyUSB0 19200 2\n")
    for arguments, said in (
            (["--metrics-listen", "127.0.0.1:0"], "needs modules to poll"),
            (["--tcp", "a", "--tcp", "b", "--format", "json"], "take one module"),
            (["--rtu", "ttyUSB0", "--rtu", "/dev/ttyUSB0"], "/dev/ttyUSB0@1 is given twice"),
            (["--targets", two_speeds], "given at two speeds, 9600 and 19200"),
            (["--rtu", "ttyUSB0", "--address", "1,2", "--format", "json"], "take one module"),
            (["--targets", os.path.join(folder, "missing")], "cannot read the targets file"),
            (["--targets", bad_file], bad_file + " line 3"),
            (["--tcp", "a", "--metrics-listen", "9100"], "takes ADDRESS:PORT")):
        result = subprocess.run([poller, *arguments], capture_output=True, text=True, timeout=30)
        if result.returncode != 2 or said not in result.stderr:
            fail("%s: exit %d, %r" % (arguments, result.returncode, result.stderr[:200]))


def scrape_and_query(poller, targets, line, voltage, folder, started):
    # The targets file names the module with the fixed image and the line's two; the others
    # come from --tcp.
    listed = os.path.join(folder, "targets")
    with open(listed, "w", encoding="utf-8") as file:
        file.write("# the fixed image\n\ntcp %s fixed-image\n" % targets[0])
        file.write("  # a line of two\nrtu %s 9600 1,2 bus-one,bus-two\n" % line)
    on_line = [line + "@1", line + "@2"]
    poll = subprocess.Popen([poller, "--targets", listed, "--tcp", targets[1], "--tcp",
                             targets[2], "--interval", "250", "--timeout", "500",
                             "--metrics-listen", "127.0.0.1:0"],
                            stderr=subprocess.PIPE, text=True)
    started.append(poll)
    found = re.search(r"http://127\.0\.0\.1:(\d+)/metrics", poll.stderr.readline())
    if not found:
        fail("kalvo-poll did not name its metrics address")
    metrics_port = int(found.group(1))
    check_endpoint(metrics_port)
    web_port = free_port()
    config = os.path.join(folder, "prometheus.yml")
    with open(config, "w", encoding="utf-8") as file:
        file.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                   "scrape_configs:\n  - job_name: kalvo\n    static_configs:\n"
                   "      - targets: ['127.0.0.1:%d']\n" % metrics_port)
    started.append(subprocess.Popen(
        ["prometheus", "--config.file=" + config,
         "--storage.tsdb.path=" + os.path.join(folder, "data"),
         "--web.listen-address=127.0.0.1:%d" % web_port],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    api = "http://127.0.0.1:%d" % web_port
    wait_for("Prometheus to be ready", lambda: get(api + "/-/ready")[0] == 200, 60)
    up = wait_for("every module up in Prometheus",
                  lambda: (lambda found: found if len(found) == 5 and all(found.values())
                           else None)(query(api, "kalvo_up")))
    if set(up) != set(targets + on_line):
        fail("targets in Prometheus: %s" % sorted(up))
    for name, module, target in (("fixed-image", None, targets[0]),
                                 ("bus-one", "33333333", on_line[0]),
                                 ("bus-two", "33333334", on_line[1])):
        selector = 'name="%s"' % name + (',module="%s"' % module if module else "")
        if query(api, "kalvo_module_info{%s}" % selector) != {target: 1}:
            fail("no module %s named %s at %s" % (module, name, target))
    l1 = query(api, 'kalvo_voltage_volts{phase="L1"}')
    # The table's text has 15 significant digits; Prometheus has the float itself.
    if not math.isclose(l1.get(targets[0], 0), voltage, rel_tol=1e-14) or len(l1) != 5:
        fail("L1 voltages %s; the fixed image's is %r" % (l1, voltage))
    # The fixed image is a still picture: its phase sequence is never concluded.
    sequence = wait_for("the phase sequence checks", lambda: (lambda found: found if len(found) == 4
                        else None)(query(api, 'kalvo_check_passed{check="phase_sequence"}')))
    if sequence != {targets[1]: 1, targets[2]: 0, on_line[0]: 1, on_line[1]: 1}:
        fail("phase sequence verdicts %s" % sequence)
    return api, poll


def main():
    sim, poller = sys.argv[1:3]
    started = []
    try:
        sims = []
        for arguments in (["--fixed", FIXED], ["--serial", "11111111"],
                          ["--serial", "22222222", "--reverse-sequence"]):
            process, port = start_sim(sim, *arguments)
            started.append(process)
            sims.append((process, port))
        targets = ["127.0.0.1:%d" % port for _, port in sims]
        voltage = fixed_voltage(poller, sims[0][1])
        with tempfile.TemporaryDirectory() as folder:
            line = os.path.join(folder, "bus")
            bus = subprocess.Popen([sim, "--rtu", line, "--address", "1,2", "--serial",
                                    "33333333"], stdout=subprocess.PIPE, text=True)
            started.append(bus)
            if "server addresses 1,2" not in bus.stdout.readline():
                fail("no banner from the RTU kalvo-sim")
            check_usage(poller, folder)
            api, poll = scrape_and_query(poller, targets, line, voltage, folder, started)
            sims[1][0].kill()
            wait_for("the killed module to be down",
                     lambda: query(api, "kalvo_up").get(targets[1]) == 0)
            if targets[1] in query(api, "kalvo_voltage_volts"):
                fail("a module that is down still shows its voltages")
            if query(api, "kalvo_up").get(targets[0]) != 1:
                fail("the other modules went down with it")
            poll.terminate()
            if poll.wait(timeout=10) != 0:
                fail("kalvo-poll did not stop cleanly on SIGTERM")
    finally:
        for process in started:
            process.kill()
            process.wait()
    print("PASS")


if __name__ == "__main__":
    main()

"""kalvo-poll reading N simulated TCP modules at a 1 s interval (both blocks of each module per
second), against the obvious alternative: one kalvo-poll process per module. One kalvo-sim
serves all modules (a connection each). Prints, per N: CPU per module read and in % of a core,
resident memory, whether every module was read every second, the read cycles' durations, and
the /metrics scrape time.

Usage: fleet_bench.py BUILD_DIR [SECONDS] [N...]   (defaults: 30 s; 10 100 1000)
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

HZ = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid, encoding="ascii") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / HZ


def rss_mb(pid):
    with open("/proc/%d/status" % pid, encoding="ascii") as status:
        return int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1)) / 1024


def scrape(port):
    started = time.monotonic()
    with urllib.request.urlopen("http://127.0.0.1:%d/metrics" % port, timeout=30) as reply:
        text = reply.read().decode()
    return text, time.monotonic() - started


def samples(text, name):
    return [float(line.rsplit(" ", 1)[1]) for line in text.splitlines()
            if line.startswith(name + "{")]


def address(module):
    """A loopback address of the module's own: a module may be listed once."""
    return "127.0.%d.%d" % (1 + module // 250, 1 + module % 250)


def fleet(build, port, count, seconds, folder):
    targets = os.path.join(folder, "targets")
    with open(targets, "w", encoding="ascii") as file:
        for i in range(count):
            file.write("tcp %s:%d m%d\n" % (address(i), port, i))
    # Its log goes to a file: a pipe nobody reads would stop it at the end (a line of
    # statistics per module).
    log_path = os.path.join(folder, "log")
    with open(log_path, "w", encoding="utf-8") as log:
        poll = subprocess.Popen([os.path.join(build, "tools/kalvo-poll/kalvo-poll"),
                                 "--targets", targets, "--interval", "1000", "--timeout",
                                 "3000", "--metrics-listen", "127.0.0.1:0"], stderr=log)
    metrics = None
    while metrics is None:
        time.sleep(0.1)
        with open(log_path, encoding="utf-8") as log:
            text = log.read()
        if poll.poll() is not None:
            sys.exit("kalvo-poll ended: " + text)
        found = re.search(r":(\d+)/metrics", text)
        metrics = int(found.group(1)) if found else None
    time.sleep(3)
    before_text, _ = scrape(metrics)
    before_cpu = cpu_seconds(poll.pid)
    time.sleep(seconds)
    cpu = cpu_seconds(poll.pid) - before_cpu
    after_text, scrape_seconds = scrape(metrics)
    rss = rss_mb(poll.pid)
    poll.terminate()
    poll.wait()
    reads = [a - b for a, b in zip(samples(after_text, "kalvo_responses_total"),
                                   samples(before_text, "kalvo_responses_total"))]
    durations = samples(after_text, "kalvo_read_duration_seconds")
    return {"cpu": cpu, "reads": sum(reads), "fewest": min(reads) / 2 / seconds, "rss": rss,
            "median_ms": statistics.median(durations) * 1000,
            "longest_ms": max(durations) * 1000, "scrape_ms": scrape_seconds * 1000,
            "scrape_kb": len(after_text) / 1024}


def processes(build, port, count, seconds):
    program = os.path.join(build, "tools/kalvo-poll/kalvo-poll")
    # One module per process reads one block per interval: 500 ms gives both blocks a second.
    polls = [subprocess.Popen([program, "--tcp", "%s:%d" % (address(i), port), "--run",
                               "100000000", "--interval", "500", "--timeout", "3000"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
             for i in range(count)]
    time.sleep(3)
    before = sum(cpu_seconds(p.pid) for p in polls)
    time.sleep(seconds)
    cpu = sum(cpu_seconds(p.pid) for p in polls) - before
    rss = sum(rss_mb(p.pid) for p in polls)
    for p in polls:
        p.terminate()
    for p in polls:
        p.wait()
    return {"cpu": cpu, "reads": count * 2 * seconds, "rss": rss}


def main():
    build = sys.argv[1]
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 30
    counts = [int(n) for n in sys.argv[3:]] or [10, 100, 1000]
    # Every loopback address reaches a simulator listening on them all: one simulator serves
    # each module at an address of its own.
    sim = subprocess.Popen([os.path.join(build, "tools/kalvo-sim/kalvo-sim"), "--listen",
                            "0.0.0.0:0"], stdout=subprocess.PIPE, text=True)
    port = int(re.search(r"0\.0\.0\.0:(\d+)", sim.stdout.readline()).group(1))
    try:
        with tempfile.TemporaryDirectory() as folder:
            for count in counts:
                one = fleet(build, port, count, seconds, folder)
                print("N=%d one process: %.1f us CPU per module read, %.2f %% of a core, "
                      "RSS %.0f MB; every module read %.2f times a second at least; read "
                      "cycle median %.1f ms, longest %.1f ms; /metrics %.0f KB in %.1f ms"
                      % (count, one["cpu"] / one["reads"] * 1e6, one["cpu"] / seconds * 100,
                         one["rss"], one["fewest"], one["median_ms"], one["longest_ms"],
                         one["scrape_kb"], one["scrape_ms"]), flush=True)
                many = processes(build, port, count, seconds)
                print("N=%d one process per module: %.1f us CPU per module read, %.2f %% of a "
                      "core, RSS %.0f MB in all"
                      % (count, many["cpu"] / many["reads"] * 1e6, many["cpu"] / seconds * 100,
                         many["rss"]), flush=True)
    finally:
        sim.terminate()
        sim.wait()


if __name__ == "__main__":
    main()

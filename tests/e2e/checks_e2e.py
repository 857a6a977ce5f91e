"""The module checks through kalvo-poll --check against kalvo-sim: the healthy simulator
passes every check, and each of its data faults is caught by the checks this table names,
every other check passing, waiting or not applicable; the exit status and the JUnit report
say so.

Usage: checks_e2e.py KALVO_SIM KALVO_POLL
"""
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

# A run of about 14 s: enough for the energy check (20 counts at some 6 kW); the frozen-data
# check is told to judge after 5 s, through its tolerance as a user would.
RUN = ["--run", "140", "--interval", "100", "--tolerance", "frozen=5"]
SHORT = ["--run", "60", "--interval", "100", "--tolerance", "frozen=5"]

FINE = {"passed", "waiting", "not applicable"}

# fault flags -> {check: verdict it must have}; everything else passed, waiting or n/a.
CASES = [
    ([], {}, RUN),
    (["--events"], {"voltages": {"warning", "passed"}}, RUN),
    (["--clock-offset", "60"], {"clock": "failed"}, RUN),
    (["--clock-drift", "500000"], {"clock_runs": "warning"}, SHORT),
    (["--reverse-sequence"], {"phase_sequence": "failed"}, RUN),
    (["--reverse-ct", "L2"], {"current_direction": "warning"}, RUN),
    (["--missing-phase", "L3"], {"voltages": "failed", "phase_sequence": "not applicable"}, RUN),
    (["--frequency", "51.5"], {"frequency": "warning"}, SHORT),
    (["--frequency", "70"], {"frequency": "failed"}, SHORT),
    (["--encoding-error", "2.8.0"], {"totaliser_encodings": "failed"}, SHORT),
    (["--reactive-mismatch"], {"reactive_identities": "failed"}, SHORT),
    (["--energy-rate", "2"], {"energy_follows_power": "failed"}, RUN),
    # A frozen module's clock stands still too.
    (["--frozen"], {"data_alive": "failed", "clock_runs": "warning"}, SHORT),
    (["--lp-mismatch"], {"load_profiles": "failed"}, SHORT),
    # The totaliser follows the true power, not the misreported one: over a longer run the
    # energy check fails too, over this one it may still be within its two counts.
    (["--power-mismatch", "10"],
     {"power_triangle": "failed", "energy_follows_power": FINE | {"failed"}}, RUN),
]


def run_case(sim, poller, fault, expected, run):
    with tempfile.TemporaryDirectory() as folder:
        junit = os.path.join(folder, "checks.xml")
        process = subprocess.Popen([sim, "--listen", "127.0.0.1:0", *fault],
                                   stdout=subprocess.PIPE, text=True)
        try:
            port = re.search(r"127\.0\.0\.1:(\d+)", process.stdout.readline()).group(1)
            result = subprocess.run([poller, "--tcp", "127.0.0.1:" + port, *run, "--check",
                                     "--junit", junit, "--format", "json"],
                                    capture_output=True, text=True, timeout=120)
        finally:
            process.terminate()
            process.wait(timeout=10)
        return judge(fault, expected, result, ElementTree.parse(junit))


def verdict_of(case):
    text = case.find("system-out").text
    return text.split("\n")[0].split(":")[0]


def judge(fault, expected, result, tree):
    faults = []
    name = " ".join(fault) or "healthy"
    verdicts = {case.get("name"): verdict_of(case) for case in tree.iter("testcase")}
    if len(verdicts) != 14:
        faults.append("%s: %d test cases in the JUnit report" % (name, len(verdicts)))
    for check, verdict in verdicts.items():
        wanted = expected.get(check, FINE)
        wanted = {wanted} if isinstance(wanted, str) else wanted
        if verdict not in wanted:
            faults.append("%s: %s is %s, not %s" % (name, check, verdict, "/".join(sorted(wanted))))
    failed = sum(1 for v in verdicts.values() if v == "failed")
    suite = tree.find("testsuite")
    if int(suite.get("failures")) != failed:
        faults.append("%s: the suite counts %s failures, its cases %d"
                      % (name, suite.get("failures"), failed))
    for case in tree.iter("testcase"):
        verdict = verdicts[case.get("name")]
        if (case.find("failure") is not None) != (verdict == "failed"):
            faults.append("%s: %s's failure element disagrees with its verdict"
                          % (name, case.get("name")))
        # A check that could not conclude is no pass for a CI that counts the cases.
        if (case.find("skipped") is not None) != (verdict in ("waiting", "not applicable")):
            faults.append("%s: %s's skipped element disagrees with its verdict %s"
                          % (name, case.get("name"), verdict))
    status = 3 if failed else 0
    if result.returncode != status:
        faults.append("%s: exit status %d, not %d\n%s" % (name, result.returncode, status,
                                                           result.stderr[-2000:]))
    if '"checks": [' not in result.stdout:
        faults.append("%s: no checks in the JSON output" % name)
    return faults


def main():
    sim, poller = sys.argv[1:3]
    with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
        results = pool.map(lambda case: run_case(sim, poller, *case), CASES)
        faults = [fault for case in results for fault in case]
    if faults:
        sys.exit("FAIL:\n" + "\n".join(faults))
    print("ok: %d cases" % len(CASES))


if __name__ == "__main__":
    main()

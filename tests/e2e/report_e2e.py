"""The commissioning report of kalvo-poll against kalvo-sim with a data fault and a connection
that drops now and then: it is valid HTML5 (tidy and an HTML5 parser, both strict), fetches
nothing, opens with the failed check and its reason, and holds the serial number, every
check with the poller's verdict, the run's statistics, the failed reads, and the four tables
cell for cell as the CSV export of the same run; its footer's digest is that of its data.

Usage: report_e2e.py KALVO_SIM KALVO_POLL
"""
import csv
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile

import html5lib


def poll_with_report(sim, poller, folder):
    report = os.path.join(folder, "report.html")
    process = subprocess.Popen([sim, "--listen", "127.0.0.1:0", "--reverse-sequence",
                                "--drop-every", "5"], stdout=subprocess.PIPE, text=True)
    try:
        port = re.search(r"127\.0\.0\.1:(\d+)", process.stdout.readline()).group(1)
        result = subprocess.run([poller, "--tcp", "127.0.0.1:" + port, "--run", "12",
                                 "--interval", "100", "--report", report, "--format", "json",
                                 "--csv-dir", folder], capture_output=True, text=True,
                                timeout=120)
    finally:
        process.terminate()
        process.wait(timeout=10)
    assert result.returncode == 3, (result.returncode, result.stderr)
    with open(report, "rb") as file:
        return file.read(), json.loads(result.stdout), result.stderr


def text(element):
    return "".join(element.itertext())


def rows(table):
    return [[text(cell) for cell in row if cell.tag in ("td", "th")]
            for row in table.iter("tr")]


def check_valid_and_closed(html, path):
    tidy = subprocess.run(["tidy", "-e", "-q", path], capture_output=True, text=True)
    assert tidy.returncode == 0, tidy.stderr
    document = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False).parse(html)
    page = html.decode("utf-8")
    for outside in ("http:", "https:", "src=", "<script", "<link", "url(", "@import"):
        assert outside not in page, outside
    data = page[page.index("<main"):page.index("</main>") + len("</main>")]
    footer = text(document.find(".//footer"))
    assert hashlib.sha256(data.encode("utf-8")).hexdigest() in footer, footer
    return document


def check_contents(document, polled, log, folder):
    main = document.find(".//main")
    summary = text(main.find("p"))
    assert re.fullmatch(r"14 checks: .*1 failed.*", summary), summary
    first = text(main.find("ul/li"))
    assert first == "failed Phase sequence: phase sequence reversed", first
    tables = {table.get("class"): table for table in main.iter("table")}
    facts = dict(rows(tables["facts"]))
    checks = rows(tables["checks"])[1:]
    assert len(checks) == len(polled["checks"])
    verdicts = {row[0]: row[1] for row in checks}
    for check in polled["checks"]:
        assert verdicts[check["check"]] == check["verdict"], check
    statistics = dict(rows(tables["statistics"]))
    counts = re.search(r"Requests: (\d+), responses: (\d+), timeout responses: (\d+)", log)
    assert (statistics["Requests"], statistics["Responses"], statistics["Time-outs"]) == \
        counts.groups(), (statistics, log)
    assert int(statistics["Time-outs"]) >= 1
    failures = rows(tables["failures"])[1:]
    assert len(failures) == int(statistics["Time-outs"])
    assert all("Connection Closed Gracefully" in row[1] for row in failures), failures
    serial = facts["Module serial number"]
    sections = [section for section in main.iter("section")
                if section.find("table") is not None
                and section.find("table").get("class") == "registers"]
    assert len(sections) == 4
    for section in sections:
        caption = text(section.find("h2"))
        name = os.path.join(folder, "KALVO_%s_%s.csv" % (serial, caption))
        with open(name, newline="", encoding="utf-8") as file:
            exported = list(csv.reader(file))
        assert rows(section.find("table")) == exported, caption


def main():
    sim, poller = sys.argv[1:3]
    with tempfile.TemporaryDirectory() as folder:
        html, polled, log = poll_with_report(sim, poller, folder)
        document = check_valid_and_closed(html, os.path.join(folder, "report.html"))
        check_contents(document, polled, log, folder)
    print("report: valid, closed, and equal to the poller's outputs")


if __name__ == "__main__":
    main()

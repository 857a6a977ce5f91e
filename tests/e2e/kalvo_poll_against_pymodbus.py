"""kalvo-poll reads an independent Modbus/TCP server (pymodbus) and decodes its registers.

Usage: kalvo_poll_against_pymodbus.py KALVO_POLL
"""
import json
import os
import socket
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def wire_words(data):
    """Registers as stored: the module sends each quantity least significant byte first."""
    return [(data[i] << 8) | data[i + 1] for i in range(0, len(data), 2)]


def build_image():
    image = [0] * 251
    image[0:2] = wire_words(struct.pack("<I", 12345678))
    image[2:8] = wire_words(struct.pack("<6H", 14, 5, 9, 2026, 12, 10))
    image[8:12] = wire_words(struct.pack("<d", 12345.678))
    image[48:50] = wire_words(struct.pack("<f", 0.95))
    image[58:60] = wire_words(struct.pack("<f", -20.25))
    image[243:245] = wire_words(struct.pack("<I", 987654))
    return image


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_listening(port, server):
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        if server.poll() is not None:
            sys.exit("pymodbus server exited early")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return
        except OSError:
            time.sleep(0.1)
    sys.exit("pymodbus server did not start")


def check(condition, message):
    if not condition:
        sys.exit("FAIL: " + message)


def main():
    poller = sys.argv[1]
    with tempfile.TemporaryDirectory() as work:
        image_path = os.path.join(work, "image.txt")
        with open(image_path, "w", encoding="ascii") as image_file:
            image_file.write(" ".join("%04X" % word for word in build_image()))
        port = free_port()
        server = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "pymodbus_tcp_server.py"),
                                   str(port), image_path],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_listening(port, server)
            csv_dir = os.path.join(work, "csv")
            result = subprocess.run([poller, "--tcp", "127.0.0.1:%d" % port, "--interval", "50",
                                     "--format", "json", "--csv-dir", csv_dir],
                                    capture_output=True, text=True, timeout=60,
                                    env=dict(os.environ, LC_ALL="C"))
        finally:
            server.terminate()
            server.wait()
        sys.stderr.write(result.stderr)
        check(result.returncode == 0, "exit status %d" % result.returncode)
        report = json.loads(result.stdout)
        inst = report["tables"][0]["rows"]
        check(inst[0]["Value"] == "12345678", "serial number " + inst[0]["Value"])
        check(inst[4]["Value"] == "2026", "year " + inst[4]["Value"])
        check(inst[7]["Value"] == "12345.678", "energy " + inst[7]["Value"])
        check(inst[17]["Value"] == "0.949999988079071", "power factor " + inst[17]["Value"])
        check(report["tables"][1]["rows"][0]["Value"] == "-20.25", "phase angle")
        check(report["tables"][3]["rows"][46]["Value"] == "987654", "last register")
        check(report["statistics"]["responses"] == 2, "two good reads")
        names = sorted(os.listdir(csv_dir))
        check(names == sorted(["KALVO_12345678_Instantaneous values.csv",
                               "KALVO_12345678_Phase values.csv",
                               "KALVO_12345678_Load profile (64 bits).csv",
                               "KALVO_12345678_32 bits encoding.csv"]), "CSV files %s" % names)
        with open(os.path.join(csv_dir, "KALVO_12345678_Instantaneous values.csv"), "rb") as csv:
            lines = csv.read().split(b"\r\n")
        check(len(lines) == 24 and lines[-1] == b"", "23 CR LF lines")
        check(lines[1] == b'0.0.1,0,integer,4,"Matricola del contatore",0x4E61BC00,0x00BC614E,12345678',
              "first data line " + repr(lines[1]))
    print("PASS")


if __name__ == "__main__":
    main()

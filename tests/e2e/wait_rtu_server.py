"""Waits until a Modbus RTU server answers on a serial port: a read of one holding register
from server 1, repeated until a reply comes or 20 s pass. Exit status 0 when it answered.

Usage: wait_rtu_server.py PORT
"""
import sys
import time

import serial

REQUEST = bytes([0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A])


def main():
    deadline = time.monotonic() + 20
    with serial.Serial(sys.argv[1], 9600, timeout=0.3) as port:
        while time.monotonic() < deadline:
            port.reset_input_buffer()
            port.write(REQUEST)
            if len(port.read(7)) == 7:
                return 0
    return 1


if __name__ == "__main__":
    sys.exit(main())

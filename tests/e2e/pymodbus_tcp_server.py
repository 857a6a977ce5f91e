"""A Modbus/TCP server on loopback, built on pymodbus, serving a register image for tests.

Usage: pymodbus_tcp_server.py PORT IMAGE_FILE
IMAGE_FILE holds whitespace-separated hexadecimal register values from address 0.
"""
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartTcpServer


def main():
    port = int(sys.argv[1])
    with open(sys.argv[2], encoding="ascii") as image_file:
        image = [int(word, 16) for word in image_file.read().split()]
    block = ModbusSequentialDataBlock(0, image)
    store = ModbusSlaveContext(hr=block, zero_mode=True)
    context = ModbusServerContext(slaves=store, single=True)
    StartTcpServer(context=context, address=("127.0.0.1", port))


if __name__ == "__main__":
    main()

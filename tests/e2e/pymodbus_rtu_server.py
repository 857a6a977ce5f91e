"""A Modbus RTU server built on pymodbus, on a serial device, serving a register image.

Usage: pymodbus_rtu_server.py DEVICE IMAGE_FILE
IMAGE_FILE holds whitespace-separated hexadecimal register values from address 0.
"""
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartSerialServer
from pymodbus.transaction import ModbusRtuFramer


def main():
    with open(sys.argv[2], encoding="ascii") as image_file:
        image = [int(word, 16) for word in image_file.read().split()]
    block = ModbusSequentialDataBlock(0, image)
    store = ModbusSlaveContext(hr=block, zero_mode=True)
    context = ModbusServerContext(slaves=store, single=True)
    StartSerialServer(context=context, framer=ModbusRtuFramer, port=sys.argv[1], baudrate=9600,
                      bytesize=8, parity="N", stopbits=1, timeout=0.05)


if __name__ == "__main__":
    main()

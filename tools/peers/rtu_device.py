#!/usr/bin/python3
"""A simulated Modbus RTU line with several devices, built on pymodbus.

    rtu_device.py --port PATH --unit N [--unit M ...]

Each unit's holding and input register k holds unit * 1000 + k; coil and
discrete input k is on when k is odd. Prints "ready" once it serves.
Run it with Debian's /usr/bin/python3, which sees Debian's pymodbus.
"""
import argparse
import logging
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartSerialServer
from pymodbus.transaction import ModbusRtuFramer

TABLE_SIZE = 2000


def unit_context(unit):
    registers = [unit * 1000 + k for k in range(TABLE_SIZE)]
    bits = [k & 1 for k in range(TABLE_SIZE)]
    # zero_mode: address 0 is the first entry, as on the wire.
    return ModbusSlaveContext(
        di=ModbusSequentialDataBlock(0, bits),
        co=ModbusSequentialDataBlock(0, list(bits)),
        hr=ModbusSequentialDataBlock(0, registers),
        ir=ModbusSequentialDataBlock(0, list(registers)),
        zero_mode=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", required=True)
    parser.add_argument("--unit", type=int, action="append", required=True)
    args = parser.parse_args()
    logging.basicConfig(level=logging.CRITICAL)
    context = ModbusServerContext(
        slaves={unit: unit_context(unit) for unit in args.unit}, single=False)
    print("ready", flush=True)
    StartSerialServer(context=context, framer=ModbusRtuFramer, port=args.port,
                      baudrate=115200, timeout=0.05)


if __name__ == "__main__":
    sys.exit(main())

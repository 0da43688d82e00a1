#!/usr/bin/python3
"""A simulated Modbus RTU line with several devices, built on pymodbus.

    rtu_device.py --port PATH --unit N [--unit M ...]

Each unit's holding and input register k holds unit * 1000 + k; coil and
discrete input k is on when k is odd. Prints "ready" once the line is open,
so that no request written before can be lost.
Run it with Debian's /usr/bin/python3, which sees Debian's pymodbus.
"""
import argparse
import asyncio
import logging
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartAsyncSerialServer
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


async def serve(context, port):
    server = await StartAsyncSerialServer(
        context=context, framer=ModbusRtuFramer, port=port, baudrate=115200,
        timeout=0.05, defer_start=True)
    await server.start()
    if server.transport is None:
        raise SystemExit(f"rtu_device.py: cannot open {port}")
    print("ready", flush=True)
    await server.serve_forever()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", required=True)
    parser.add_argument("--unit", type=int, action="append", required=True)
    args = parser.parse_args()
    # pymodbus configures logging itself and reports exception replies.
    logging.getLogger().setLevel(logging.CRITICAL)
    context = ModbusServerContext(
        slaves={unit: unit_context(unit) for unit in args.unit}, single=False)
    asyncio.run(serve(context, args.port))


if __name__ == "__main__":
    sys.exit(main())

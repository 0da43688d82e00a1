#!/usr/bin/python3
"""A Modbus TCP client on pymodbus that tries every function code the
gateway relays against devices of the simulated kind (rtu_device.c and
rtu_device.py: register k holds unit * 1000 + k, bit k is on when k is odd).

    tcp_client.py --port PORT --unit N [--unit M ...]

Prints one line per check, "ok UNIT NAME" or "FAIL UNIT NAME: why", then
"done". Run it with Debian's /usr/bin/python3, which sees Debian's pymodbus.
Writes go to addresses that only this script uses, each read back.
"""
import argparse
import logging
import sys

from pymodbus.client import ModbusTcpClient

ILLEGAL_DATA_ADDRESS = 2


def registers(unit, start, count):
    return [unit * 1000 + k for k in range(start, start + count)]


def bits(start, count):
    return [bool(k & 1) for k in range(start, start + count)]


def checks(client, unit):
    """Yields (name, got, expected) for one unit."""
    yield ("fc1", client.read_coils(3, 5, slave=unit).bits[:5], bits(3, 5))
    yield ("fc2", client.read_discrete_inputs(4, 6, slave=unit).bits[:6],
           bits(4, 6))
    yield ("fc3", client.read_holding_registers(10, 3, slave=unit).registers,
           registers(unit, 10, 3))
    yield ("fc4", client.read_input_registers(20, 2, slave=unit).registers,
           registers(unit, 20, 2))

    client.write_coil(100, True, slave=unit)
    client.write_coil(101, False, slave=unit)
    yield ("fc5", client.read_coils(100, 2, slave=unit).bits[:2],
           [True, False])
    client.write_register(110, 4242, slave=unit)
    yield ("fc6", client.read_holding_registers(110, 1, slave=unit).registers,
           [4242])
    client.write_coils(120, [True, True, False, True], slave=unit)
    yield ("fc15", client.read_coils(120, 4, slave=unit).bits[:4],
           [True, True, False, True])
    client.write_registers(130, [7, 8, 9], slave=unit)
    yield ("fc16", client.read_holding_registers(130, 3, slave=unit).registers,
           [7, 8, 9])
    # pymodbus takes the unit of these two as "unit", not "slave".
    client.mask_write_register(address=140, and_mask=0x00FF, or_mask=0x1200,
                               unit=unit)
    current = unit * 1000 + 140
    yield ("fc22", client.read_holding_registers(140, 1, slave=unit).registers,
           [(current & 0x00FF) | (0x1200 & ~0x00FF)])
    reply = client.readwrite_registers(read_address=150, read_count=3,
                                       write_address=151,
                                       write_registers=[55, 66], unit=unit)
    yield ("fc23", reply.registers, [unit * 1000 + 150, 55, 66])

    reply = client.read_holding_registers(9995, 10, slave=unit)
    yield ("exception", reply.isError() and reply.exception_code,
           ILLEGAL_DATA_ADDRESS)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--unit", type=int, action="append", required=True)
    args = parser.parse_args()
    # pymodbus configures logging itself and reports exception replies.
    logging.getLogger().setLevel(logging.CRITICAL)
    client = ModbusTcpClient("127.0.0.1", port=args.port, timeout=10,
                             retries=0)
    if not client.connect():
        print("FAIL connect", flush=True)
        return 1
    failed = False
    for unit in args.unit:
        try:
            for name, got, expected in checks(client, unit):
                if got == expected:
                    print(f"ok {unit} {name}", flush=True)
                else:
                    failed = True
                    print(f"FAIL {unit} {name}: got {got}, expected "
                          f"{expected}", flush=True)
        except Exception as error:  # pylint: disable=broad-except
            failed = True
            print(f"FAIL {unit} raised {error!r}", flush=True)
    client.close()
    print("done", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

#pragma once
// The serial ports this machine offers, as the COMn names the serial layer
// can open (see serial_path.h).
#include <string>
#include <vector>

#include "platform/ansi_string.h"

// Appends to `ports`, in ascending order of their numbers (COM2 before
// COM10), the names COM1 to COM255 that are
//   - an entry COMn of the ports folder, or
//   - COM(k+1) for a /dev/ttySk that has a UART behind it (the kernel
//     reports a port type for it under `tty_class_folder`; most ttyS nodes
//     of a PC have none, and offering them would mislead),
// leaving out the names in `configured`, whatever their letter case.
// Entries whose names do not read as COM and a number are skipped.
// Returns the number of names appended.
int EnumSerialPorts(std::vector<AnsiString>& ports,
                    const std::vector<AnsiString>& configured,
                    const std::string& tty_class_folder = "/sys/class/tty");

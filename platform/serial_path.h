#pragma once
// Where a Windows port name lives on this machine.
#include <optional>
#include <string>

#include "platform/win_types.h"

// The number n of a port name "COMn" (upper-case letters, then decimal
// digits to the end, within 32 bits); nothing for any other name.
std::optional<DWORD> ComNumberOfName(const char* name);

// The number n of a device path "\\.\COMn" (decimal digits to the end, within
// 32 bits); nothing for any other path.
std::optional<DWORD> ComNumberOfPath(const char* path);

// The device file of COMn: the entry COMn of the ports folder (the folder
// that QUORVELIN_PORTS names, or ./ports when it is unset or empty) when
// that entry exists, even as a link to nothing, so that a configured but
// missing device is reported instead of some other port opened; otherwise
// /dev/ttyS(n-1). COM0 has no /dev/ttyS counterpart.
std::string ComDevicePath(DWORD number);

// The ports folder: QUORVELIN_PORTS, or "ports" in the current directory
// when that is unset or empty.
std::string ComPortsFolder();

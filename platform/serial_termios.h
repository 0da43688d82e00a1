#pragma once
// Line settings in the kernel's termios2 form, the one that carries any
// baud rate. This header brings the kernel's own termios definitions: a
// file that includes it must not include glibc's <termios.h>, whose
// struct termios and flag macros differ.
#include <asm/termbits.h>

#include "platform/serial_line.h"

// Writes speed, frame (data bits, parity, stop bits), parity checking and
// flow control into `line`; every other flag keeps its value.
void PutLineSettings(const LineSettings& settings, termios2& line);

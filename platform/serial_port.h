#pragma once
// Serial ports behind handles, in the shape the gateway speaks: open a
// port as "\\.\COMn", set its line through a DCB, its time-outs through
// COMMTIMEOUTS, then read, write, purge and switch RTS. Built on termios.
//
// Where COMn lives: the entry COMn of the folder that QUORVELIN_PORTS names
// (or of ./ports when the variable is unset or empty), normally a symbolic
// link to a device; without such an entry, /dev/ttyS(n-1).
//
// Every function returns 0 (false) on failure with an errno value in
// GetLastError; a handle that is not a serial port gives EBADF.
#include <chrono>
#include <compare>
#include <cstdint>

#include "platform/handle.h"

// CreateFileA: access rights, creation disposition.
inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD OPEN_EXISTING = 3;

// PurgeComm flags. The abort flags have nothing to abort here (every call is
// synchronous and a port is used by one thread at a time); they are accepted.
// CancelCommIo, below, is what ends a transfer that waits.
inline constexpr DWORD PURGE_TXABORT = 0x1;
inline constexpr DWORD PURGE_RXABORT = 0x2;
inline constexpr DWORD PURGE_TXCLEAR = 0x4;
inline constexpr DWORD PURGE_RXCLEAR = 0x8;

// EscapeCommFunction.
inline constexpr DWORD SETRTS = 3;
inline constexpr DWORD CLRRTS = 4;
inline constexpr DWORD SETDTR = 5;
inline constexpr DWORD CLRDTR = 6;

// DCB::fDtrControl. Linux has no DTR handshake: HANDSHAKE keeps DTR raised,
// which is where a handshake with a reader that keeps up leaves it.
inline constexpr DWORD DTR_CONTROL_DISABLE = 0;
inline constexpr DWORD DTR_CONTROL_ENABLE = 1;
inline constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;

// DCB::fRtsControl. HANDSHAKE is hardware flow control (CRTSCTS). TOGGLE
// raises RTS only while bytes go out: the kernel's RS-485 mode where the
// driver has it, otherwise WriteFile raises and drops RTS itself.
inline constexpr DWORD RTS_CONTROL_DISABLE = 0;
inline constexpr DWORD RTS_CONTROL_ENABLE = 1;
inline constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_TOGGLE = 3;

// DCB::Parity.
inline constexpr BYTE NOPARITY = 0;
inline constexpr BYTE ODDPARITY = 1;
inline constexpr BYTE EVENPARITY = 2;
inline constexpr BYTE MARKPARITY = 3;
inline constexpr BYTE SPACEPARITY = 4;

// DCB::StopBits. One and a half stop bits cannot be set through termios:
// SetCommState refuses them with ENOTSUP.
inline constexpr BYTE ONESTOPBIT = 0;
inline constexpr BYTE ONE5STOPBITS = 1;
inline constexpr BYTE TWOSTOPBITS = 2;

// ClearCommError: line errors counted since the previous call, where the
// driver counts them (pseudo-terminals and some adapters do not).
inline constexpr DWORD CE_OVERRUN = 0x2;
inline constexpr DWORD CE_RXPARITY = 0x4;
inline constexpr DWORD CE_FRAME = 0x8;
inline constexpr DWORD CE_BREAK = 0x10;

// The line settings of a port. SetCommState applies BaudRate, ByteSize,
// Parity, StopBits, fParity (parity checking: a byte with a parity error
// reads as 0), fOutxCtsFlow, fRtsControl, fDtrControl, fOutX, fInX,
// XonChar and XoffChar. It refuses, with ENOTSUP, the features termios has
// no counterpart for: fOutxDsrFlow, fDsrSensitivity, fErrorChar, fNull and
// fAbortOnError. The other fields are kept with the port and given back by
// GetCommState unchanged.
struct DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
};

// Time-outs in milliseconds. Reads follow one rule only, the one with
// ReadIntervalTimeout and ReadTotalTimeoutMultiplier both MAXDWORD (other
// records are refused with EINVAL): bytes already waiting come back at
// once; otherwise the first byte to arrive ends the read, or nothing
// arrives and the read returns 0 bytes after ReadTotalTimeoutConstant ms.
// A constant of 0 does not wait at all; MAXDWORD waits for the first byte
// without limit. A write that has not finished after
// WriteTotalTimeoutMultiplier * count + WriteTotalTimeoutConstant ms
// returns with the count that left the port (0 and 0: no limit).
struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};

// Queue state from ClearCommError. The hold flags are always 0.
struct COMSTAT {
  DWORD fCtsHold : 1;
  DWORD fDsrHold : 1;
  DWORD fRlsdHold : 1;
  DWORD fXoffHold : 1;
  DWORD fXoffSent : 1;
  DWORD fEof : 1;
  DWORD fTxim : 1;
  DWORD fReserved : 25;
  DWORD cbInQue;   // bytes received and not yet read
  DWORD cbOutQue;  // bytes written and not yet sent
};

// Opens "\\.\COMn" for exclusive use (share mode 0: a second open, in this
// or another process, fails with EBUSY), in raw mode without flow control;
// the line's speed and frame stay as the device had them. Only
// OPEN_EXISTING and flags 0 (no overlapped I/O) are supported.
// INVALID_HANDLE_VALUE on failure. CloseHandle closes the port.
HANDLE CreateFileA(const char* path, DWORD access, DWORD share_mode,
                   LPSECURITY_ATTRIBUTES attributes, DWORD creation,
                   DWORD flags, HANDLE template_file);

BOOL GetCommState(HANDLE port, DCB* dcb);
// Applies the settings and reads them back: a setting the device did not
// take fails (EINVAL) and the former settings are restored. A
// pseudo-terminal forces eight data bits without parity; that is accepted.
BOOL SetCommState(HANDLE port, const DCB* dcb);
BOOL GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts);
BOOL SetCommTimeouts(HANDLE port, const COMMTIMEOUTS* timeouts);
BOOL PurgeComm(HANDLE port, DWORD flags);
// SETRTS, CLRRTS, SETDTR, CLRDTR. A device without modem lines (a
// pseudo-terminal) fails with the system's error (ENOTTY).
BOOL EscapeCommFunction(HANDLE port, DWORD function);
BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status);

// `overlapped` must be null. ReadFile follows the time-outs above. WriteFile
// returns once the bytes have left the port (or its time-out passed). A
// device that is gone (the far end closed, the adapter unplugged) fails
// both with the system's error, EIO where the system reports only the end
// of the data. On a cancelled port both fail with ECANCELED.
BOOL ReadFile(HANDLE port, void* buffer, DWORD capacity, DWORD* read,
              void* overlapped);
BOOL WriteFile(HANDLE port, const void* buffer, DWORD count, DWORD* written,
               void* overlapped);

// Sleeps `milliseconds` on the port's behalf, such as the pause between
// raising RTS and writing: 1 once they have passed, 0 with ECANCELED as
// soon as the port's transfers are cancelled.
BOOL SleepComm(HANDLE port, DWORD milliseconds);
// The same, up to a point in time.
BOOL SleepCommUntil(HANDLE port, std::chrono::steady_clock::time_point until);
// Waits, up to a point in time, until the port has bytes to read (or
// reports a hang-up, which the next ReadFile then gives as its failure):
// 1 with `arrived` telling which, 0 with ECANCELED as soon as the port's
// transfers are cancelled. Reads nothing.
BOOL WaitCommInputUntil(HANDLE port,
                        std::chrono::steady_clock::time_point until,
                        BOOL* arrived);

// The line behind a port's handle, the same whatever name or link opened
// it: a character device (every serial port) is known by its device
// number, anything else by its file system's device number and its inode.
struct COMMLINEID {
  BOOL is_character_device;
  std::uint64_t device;  // the character device's number, or the file system's
  std::uint64_t inode;   // 0 for a character device
  friend auto operator<=>(const COMMLINEID&, const COMMLINEID&) = default;
};
BOOL GetCommLineId(HANDLE port, COMMLINEID* id);

// Cancels the port's transfers, from any thread: a ReadFile,
// WriteFile or SleepComm that waits on it ends at once, and every later
// one fails at once, all with ECANCELED, until the port is closed or
// ResumeCommIo is called. No write starts once CancelCommIo has returned,
// and bytes that a cancelled write had queued are discarded, not sent.
// Nothing else of the port changes: it can still be purged and closed.
BOOL CancelCommIo(HANDLE port);
// Undoes CancelCommIo: transfers follow their time-outs again.
BOOL ResumeCommIo(HANDLE port);

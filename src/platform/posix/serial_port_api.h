// The serial-communications calls of the Win32 API that tripwick uses, made
// available on Linux and other POSIX systems.  The program's logic calls these
// by their Windows names and with their Windows arguments; on Windows the very
// same names come from <windows.h> (see ../win32/serial_port_api.h).
//
// Error codes handed out by GetLastError are errno values, except that every
// "no such device" condition is reported as ERROR_FILE_NOT_FOUND, as Windows
// does for a COM port that does not exist.
#pragma once

#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using HANDLE = void *;
using LPCSTR = const char *;

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080u;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;

constexpr DWORD RTS_CONTROL_DISABLE = 0;
constexpr DWORD RTS_CONTROL_ENABLE = 1;
constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_TOGGLE = 3;
constexpr DWORD DTR_CONTROL_DISABLE = 0;
constexpr DWORD DTR_CONTROL_ENABLE = 1;
constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;

constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;
constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;

constexpr DWORD ERROR_FILE_NOT_FOUND = 2;

// Settings of a serial port, laid out as the Windows record (28 bytes).
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
static_assert(sizeof(DCB) == 28, "DCB must match the Windows record");

using LPDCB = DCB *;
struct SECURITY_ATTRIBUTES;

// Opens a serial device by name.  A name with a '/' is a path; COMn and
// \\.\COMn name /dev/ttyS(n-1); any other name is looked up under /dev/.
// Only OPEN_EXISTING is supported; share mode 0 takes the port exclusively.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   SECURITY_ATTRIBUTES *securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL GetCommState(HANDLE file, LPDCB dcb);
BOOL SetCommState(HANDLE file, LPDCB dcb);
// Only SETRTS and CLRRTS are supported.
BOOL EscapeCommFunction(HANDLE file, DWORD function);
BOOL TransmitCommChar(HANDLE file, char c);
BOOL CloseHandle(HANDLE object);
DWORD GetLastError();

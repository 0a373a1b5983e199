// Translation between the Windows port-settings record and POSIX termios.
// Pure functions: they touch no device, so every combination can be checked
// without hardware.
#pragma once

#include <termios.h>

#include "serial_port_api.h"

// The one table of line speeds, used in both directions.  A speed that is not
// in the table is refused, never rounded to a neighbour.
bool baudRateToSpeed(DWORD baudRate, speed_t &speed);
bool speedToBaudRate(speed_t speed, DWORD &baudRate);

// Describes the port settings in `settings` as a record.  Without RTS/CTS
// handshake the RTS and DTR lines are reported as enabled; applyModemLines()
// corrects that from the real line levels where the device has them.
// Fails when the port's speed is not in the table.
bool termiosToDcb(const termios &settings, DCB &dcb);
void applyModemLines(int modemBits, DCB &dcb);

// Changes `settings` (the port's current termios) to what the record asks for
// and leaves every bit the record does not describe untouched.  Fails, leaving
// `settings` as it was, when the record asks for something the port cannot do.
bool dcbToTermios(const DCB &dcb, termios &settings);

// True when `actual` holds every setting that dcbToTermios() put in `wanted`.
bool describedSettingsMatch(const termios &wanted, const termios &actual);

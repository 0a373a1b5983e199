// The serial port through which tripwick gives its trigger signal.
#pragma once

#include "serial_port_api.h"

// Owns one serial port: opens it by name at construction, sets it to
// 4800 baud with RTS flow control off (every other setting stays as found),
// and then drives its RTS line and sends trigger bytes on its transmit line.
// Construction never fails outright; `portOpen` tells whether the port is
// open and configured.  Diagnostics go to standard error.
class triggerSerialPort {
 public:
    // The longest device name the port keeps.
    static constexpr unsigned maxNameLength = 254;

    explicit triggerSerialPort(const char *deviceName);

    // Raises (true) or lowers (false) the RTS line.  Writes nothing; the
    // caller reports a false result.
    bool setRTS(bool high);

    // Sends one byte of value 0 at once.  On failure the port is reported on
    // standard error and released; from then on every call returns false
    // without touching the port.
    bool sendTrigger();

 private:
    bool openSerialPort();
    bool reportSendFailure(const char *functionTag);
    void releasePort(const char *functionTag);
    void abandonConfiguration(const char *functionTag);

    DCB commState;
    HANDLE portHandle;
    char portName[maxNameLength + 1];

 public:
    // True exactly when construction opened and configured the port.
    bool portOpen;
};

#include "trigger_serial_port.h"

#include <cstdio>
#include <cstring>

namespace {

const char constructorTag[] = "triggerSerialPort()";
const char sendTriggerTag[] = "triggerSerialPort::sendTrigger()";

constexpr DWORD triggerBaudRate = 4800;

}  // namespace

triggerSerialPort::triggerSerialPort(const char *deviceName)
    : commState(), portHandle(INVALID_HANDLE_VALUE), portName(), portOpen(false) {
    const char *name = deviceName != nullptr ? deviceName : "";
    const size_t length = strnlen(name, sizeof portName);
    if (length >= sizeof portName) {
        // Opening a shortened name could reach a different device.
        fprintf(stderr, "%s: ERROR Device name too long (at most %u characters)\n", constructorTag,
                maxNameLength);
        return;
    }
    memcpy(portName, name, length);
    portName[length] = '\0';
    portOpen = false;

    if (!openSerialPort()) {
        fprintf(stderr, "%s: ERROR Cannot open serial port `%s'\n", constructorTag, portName);
        return;
    }

    commState.DCBlength = sizeof(DCB);
    if (!GetCommState(portHandle, &commState)) {
        abandonConfiguration(constructorTag);
        return;
    }
    commState.fRtsControl = RTS_CONTROL_DISABLE;
    commState.BaudRate = triggerBaudRate;
    if (!SetCommState(portHandle, &commState)) {
        abandonConfiguration(nullptr);
        return;
    }
    // Read back what the port really runs with.
    if (!GetCommState(portHandle, &commState)) {
        abandonConfiguration(constructorTag);
        return;
    }
}

bool triggerSerialPort::openSerialPort() {
    portHandle = CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (portHandle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            fprintf(stderr, "triggerSerialPort::openSerialPort(): ERROR: Invalid COM Port\n");
        } else {
            fprintf(stderr, "triggerSerialPort::openSerialPort(): ERROR: Unknown Error %lu\n",
                    static_cast<unsigned long>(error));
        }
        portOpen = false;
        return false;
    }
    portOpen = true;
    return true;
}

// A failed read (with the constructor's tag) or write (no tag) of the settings:
// report it, release the port and leave it not open.
void triggerSerialPort::abandonConfiguration(const char *functionTag) {
    const DWORD error = GetLastError();
    if (functionTag != nullptr) {
        fprintf(stderr, "%s: ERROR: Cannot retrieve comm port state. ERRNO %lu\n", functionTag,
                static_cast<unsigned long>(error));
    } else {
        fprintf(stderr, "ERROR: Cannot set comm port state. ERRNO %lu\n",
                static_cast<unsigned long>(error));
    }
    releasePort(functionTag);
    portOpen = false;
}

// Closes the handle once; a failed close is reported and not tried again.
// Either way the handle is never used afterwards.
void triggerSerialPort::releasePort(const char *functionTag) {
    const HANDLE handle = portHandle;
    portHandle = INVALID_HANDLE_VALUE;
    if (CloseHandle(handle)) return;
    const DWORD error = GetLastError();
    if (functionTag != nullptr) {
        fprintf(stderr, "%s: ERROR: Cannot close serial port. ERRNO %lu\n", functionTag,
                static_cast<unsigned long>(error));
    } else {
        fprintf(stderr, "ERROR: Cannot close serial port. ERRNO %lu\n",
                static_cast<unsigned long>(error));
    }
}

bool triggerSerialPort::setRTS(bool high) {
    if (portHandle == INVALID_HANDLE_VALUE) return false;
    return EscapeCommFunction(portHandle, high ? SETRTS : CLRRTS) != 0;
}

bool triggerSerialPort::sendTrigger() {
    if (portHandle == INVALID_HANDLE_VALUE) return false;
    if (TransmitCommChar(portHandle, 0)) return true;
    return reportSendFailure(sendTriggerTag);
}

bool triggerSerialPort::reportSendFailure(const char *functionTag) {
    fprintf(stderr, "%s: ERROR: Cannot send zero byte. ERRNO %lu\n", functionTag,
            static_cast<unsigned long>(GetLastError()));
    releasePort(functionTag);
    portOpen = false;
    return false;
}

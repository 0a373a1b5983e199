// A scripted stand-in for the Win32 serial calls, linked into the port-class
// tests in place of the real layer.  It records every call with its
// arguments, fails the calls a test asks it to fail, and notices any use of
// the port's handle after it was closed.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "serial_port_api.h"

enum class Call {
    CreateFileA,
    GetCommState,
    SetCommState,
    EscapeCommFunction,
    TransmitCommChar,
    CloseHandle
};

struct RecordedCall {
    Call call;
    HANDLE handle;
    DWORD value;  // the escape function, the byte sent, or the record's length
    DCB dcb;      // the record as passed, for Get/SetCommState
};

struct RecordedOpen {
    std::string name;
    DWORD access, shareMode, disposition, flags;
    bool securityAttributes, templateFile;
};

struct FakeSerialPlatform {
    // The handle a successful open returns.
    HANDLE portHandle = reinterpret_cast<HANDLE>(0x1234);
    // The port's settings, as GetCommState reports them.
    DCB portSettings{};
    // Calls to fail: (call, n-th call of that kind, counting from 1) -> error code.
    std::map<std::pair<Call, int>, DWORD> failures;

    std::vector<RecordedCall> calls;
    std::vector<RecordedOpen> opens;
    bool closed = false;
    int usesAfterClose = 0;
    // GetLastError answers this unless it comes right after a failed call,
    // so a code read too late shows up.
    static constexpr DWORD staleError = 999999;
    DWORD lastError = staleError;

    void fail(Call call, int occurrence, DWORD error) { failures[{call, occurrence}] = error; }
    int count(Call call) const;
};

// The fake that the linked serial calls act on; reset by each test.
FakeSerialPlatform &fakeSerialPlatform();
void resetFakeSerialPlatform();

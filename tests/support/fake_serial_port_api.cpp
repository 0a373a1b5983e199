#include "fake_serial_port_api.h"

namespace {

FakeSerialPlatform *platform = nullptr;

// Records the call and tells whether the script makes it fail.
bool fails(Call call, HANDLE handle, DWORD value, const DCB *dcb) {
    FakeSerialPlatform &fake = fakeSerialPlatform();
    if (call != Call::CreateFileA && fake.closed) ++fake.usesAfterClose;
    fake.calls.push_back(RecordedCall{call, handle, value, dcb != nullptr ? *dcb : DCB{}});
    const auto failure = fake.failures.find({call, fake.count(call)});
    if (failure == fake.failures.end()) {
        fake.lastError = FakeSerialPlatform::staleError;
        return false;
    }
    fake.lastError = failure->second;
    return true;
}

}  // namespace

int FakeSerialPlatform::count(Call call) const {
    int n = 0;
    for (const RecordedCall &recorded : calls) n += recorded.call == call ? 1 : 0;
    return n;
}

FakeSerialPlatform &fakeSerialPlatform() {
    if (platform == nullptr) platform = new FakeSerialPlatform;
    return *platform;
}

void resetFakeSerialPlatform() { fakeSerialPlatform() = FakeSerialPlatform{}; }

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   SECURITY_ATTRIBUTES *securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
    FakeSerialPlatform &fake = fakeSerialPlatform();
    fake.opens.push_back(RecordedOpen{fileName, desiredAccess, shareMode, creationDisposition,
                                      flagsAndAttributes, securityAttributes != nullptr,
                                      templateFile != nullptr});
    if (fails(Call::CreateFileA, nullptr, 0, nullptr)) return INVALID_HANDLE_VALUE;
    fake.closed = false;
    return fake.portHandle;
}

BOOL GetCommState(HANDLE file, LPDCB dcb) {
    if (fails(Call::GetCommState, file, dcb->DCBlength, dcb)) return FALSE;
    *dcb = fakeSerialPlatform().portSettings;
    return TRUE;
}

BOOL SetCommState(HANDLE file, LPDCB dcb) {
    if (fails(Call::SetCommState, file, 0, dcb)) return FALSE;
    fakeSerialPlatform().portSettings = *dcb;
    return TRUE;
}

BOOL EscapeCommFunction(HANDLE file, DWORD function) {
    return fails(Call::EscapeCommFunction, file, function, nullptr) ? FALSE : TRUE;
}

BOOL TransmitCommChar(HANDLE file, char c) {
    return fails(Call::TransmitCommChar, file, static_cast<unsigned char>(c), nullptr) ? FALSE
                                                                                       : TRUE;
}

BOOL CloseHandle(HANDLE object) {
    const bool failed = fails(Call::CloseHandle, object, 0, nullptr);
    fakeSerialPlatform().closed = true;
    return failed ? FALSE : TRUE;
}

DWORD GetLastError() {
    FakeSerialPlatform &fake = fakeSerialPlatform();
    const DWORD error = fake.lastError;
    fake.lastError = FakeSerialPlatform::staleError;
    return error;
}

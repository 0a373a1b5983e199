// The Win32 serial calls on top of termios and the tty ioctls.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "device_path.h"
#include "serial_port_api.h"
#include "termios_mapping.h"

namespace {

thread_local DWORD lastError = 0;

// Open ports, by handle.  A handle is a small nonzero number (a slot index),
// never the descriptor itself, so a stale or foreign handle is recognised and
// refused rather than acting on whatever file now has that descriptor.
constexpr int maxOpenPorts = 64;
struct PortSlot {
    int fd;
    bool inUse;
    bool locked;
};
PortSlot openPorts[maxOpenPorts];

BOOL fail(int code) {
    lastError = static_cast<DWORD>(code);
    return FALSE;
}

HANDLE failOpen(int code) {
    lastError = static_cast<DWORD>(code);
    return INVALID_HANDLE_VALUE;
}

HANDLE handleForSlot(int slot) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(slot + 1) * 4u);
}

PortSlot *slotForHandle(HANDLE handle) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value == 0 || value % 4u != 0) return nullptr;
    const std::uintptr_t index = value / 4u - 1;
    if (index >= static_cast<std::uintptr_t>(maxOpenPorts)) return nullptr;
    PortSlot *slot = &openPorts[index];
    return slot->inUse ? slot : nullptr;
}

// The errors with which open() tells that no such device is there.  Linux
// answers EIO for a ttyS node without a UART behind it.
bool meansNoSuchDevice(int error) {
    return error == ENOENT || error == ENODEV || error == ENXIO || error == EIO;
}

bool lineCallUnsupported(int error) { return error == ENOTTY || error == EINVAL; }

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   SECURITY_ATTRIBUTES * /*securityAttributes*/, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
    if (creationDisposition != OPEN_EXISTING || templateFile != nullptr ||
        (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0) {
        return failOpen(EINVAL);
    }
    int accessFlags = 0;
    const DWORD readWrite = GENERIC_READ | GENERIC_WRITE;
    if ((desiredAccess & readWrite) == readWrite) {
        accessFlags = O_RDWR;
    } else if (desiredAccess & GENERIC_WRITE) {
        accessFlags = O_WRONLY;
    } else if (desiredAccess & GENERIC_READ) {
        accessFlags = O_RDONLY;
    } else {
        return failOpen(EINVAL);
    }

    int slot = 0;
    while (slot < maxOpenPorts && openPorts[slot].inUse) ++slot;
    if (slot == maxOpenPorts) return failOpen(EMFILE);

    std::string path;
    if (!devicePathForName(fileName, path)) return failOpen(ERROR_FILE_NOT_FOUND);

    // Non-blocking only for the open itself, so that a modem port waiting for
    // carrier cannot hang the program; all later I/O is synchronous.
    const int fd = open(path.c_str(), accessFlags | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        return failOpen(meansNoSuchDevice(error) ? static_cast<int>(ERROR_FILE_NOT_FOUND) : error);
    }

    // No sharing: one owner per port.  The advisory lock holds even against
    // root, which the tty's own exclusive mode does not.
    bool locked = false;
    if (shareMode == 0 && isatty(fd)) {
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno == EWOULDBLOCK ? EBUSY : errno;
            close(fd);
            return failOpen(error);
        }
        if (ioctl(fd, TIOCEXCL) != 0) {
            const int error = errno;
            close(fd);
            return failOpen(error);
        }
        locked = true;
    }

    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        if (locked) ioctl(fd, TIOCNXCL);
        close(fd);
        return failOpen(error);
    }

    openPorts[slot] = PortSlot{fd, true, locked};
    return handleForSlot(slot);
}

BOOL GetCommState(HANDLE file, LPDCB dcb) {
    const PortSlot *port = slotForHandle(file);
    if (port == nullptr) return fail(EBADF);
    if (dcb == nullptr) return fail(EINVAL);
    termios settings{};
    if (tcgetattr(port->fd, &settings) != 0) return fail(errno);
    DCB result{};
    if (!termiosToDcb(settings, result)) return fail(EINVAL);
    int modemBits = 0;
    if (ioctl(port->fd, TIOCMGET, &modemBits) == 0) {
        applyModemLines(modemBits, result);
    } else if (!lineCallUnsupported(errno)) {
        return fail(errno);
    }
    *dcb = result;
    return TRUE;
}

BOOL SetCommState(HANDLE file, LPDCB dcb) {
    const PortSlot *port = slotForHandle(file);
    if (port == nullptr) return fail(EBADF);
    if (dcb == nullptr) return fail(EINVAL);

    // Read, modify, write: whatever the record does not describe stays as the
    // port has it.
    termios settings{};
    if (tcgetattr(port->fd, &settings) != 0) return fail(errno);
    termios wanted = settings;
    if (!dcbToTermios(*dcb, wanted)) return fail(EINVAL);
    if (tcsetattr(port->fd, TCSANOW, &wanted) != 0) return fail(errno);

    // tcsetattr() succeeds when any one change took; check them all.
    termios actual{};
    if (tcgetattr(port->fd, &actual) != 0) return fail(errno);
    if (!describedSettingsMatch(wanted, actual)) return fail(EINVAL);

    // Lines that are not under handshake control take the level the record
    // asks for.  A device without modem lines (a pseudo-terminal) has no
    // level to set.
    if (dcb->fRtsControl != RTS_CONTROL_HANDSHAKE) {
        int bits = TIOCM_RTS;
        const unsigned long request = dcb->fRtsControl == RTS_CONTROL_ENABLE ? TIOCMBIS : TIOCMBIC;
        if (ioctl(port->fd, request, &bits) != 0 && !lineCallUnsupported(errno)) return fail(errno);
    }
    {
        int bits = TIOCM_DTR;
        const unsigned long request = dcb->fDtrControl == DTR_CONTROL_ENABLE ? TIOCMBIS : TIOCMBIC;
        if (ioctl(port->fd, request, &bits) != 0 && !lineCallUnsupported(errno)) return fail(errno);
    }
    return TRUE;
}

BOOL EscapeCommFunction(HANDLE file, DWORD function) {
    const PortSlot *port = slotForHandle(file);
    if (port == nullptr) return fail(EBADF);
    unsigned long request = 0;
    if (function == SETRTS) {
        request = TIOCMBIS;
    } else if (function == CLRRTS) {
        request = TIOCMBIC;
    } else {
        return fail(EINVAL);
    }
    int bits = TIOCM_RTS;
    if (ioctl(port->fd, request, &bits) != 0) return fail(errno);
    return TRUE;
}

BOOL TransmitCommChar(HANDLE file, char c) {
    const PortSlot *port = slotForHandle(file);
    if (port == nullptr) return fail(EBADF);
    for (;;) {
        const ssize_t written = write(port->fd, &c, 1);
        if (written == 1) return TRUE;
        if (written < 0 && errno == EINTR) continue;
        return fail(written < 0 ? errno : EIO);
    }
}

BOOL CloseHandle(HANDLE object) {
    PortSlot *port = slotForHandle(object);
    if (port == nullptr) return fail(EBADF);
    const PortSlot released = *port;
    *port = PortSlot{};
    if (released.locked) ioctl(released.fd, TIOCNXCL);
    // The descriptor is gone after close() whatever it answers (Linux), so the
    // handle is released even when an error is reported.
    if (close(released.fd) != 0 && errno != EINTR) return fail(errno);
    return TRUE;
}

DWORD GetLastError() { return lastError; }

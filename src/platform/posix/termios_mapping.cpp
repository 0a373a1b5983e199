#include "termios_mapping.h"

#include <sys/ioctl.h>

#include <cstddef>

namespace {

struct SpeedEntry {
    DWORD baudRate;
    speed_t speed;
};

constexpr SpeedEntry speedTable[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

constexpr tcflag_t describedCflags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
constexpr tcflag_t describedIflags = INPCK | IXON | IXOFF;

}  // namespace

bool baudRateToSpeed(DWORD baudRate, speed_t &speed) {
    for (const SpeedEntry &entry : speedTable) {
        if (entry.baudRate == baudRate) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

bool speedToBaudRate(speed_t speed, DWORD &baudRate) {
    for (const SpeedEntry &entry : speedTable) {
        if (entry.speed == speed) {
            baudRate = entry.baudRate;
            return true;
        }
    }
    return false;
}

bool termiosToDcb(const termios &settings, DCB &dcb) {
    DWORD baudRate = 0;
    if (!speedToBaudRate(cfgetospeed(&settings), baudRate)) return false;

    dcb = DCB{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = baudRate;
    dcb.fBinary = 1;

    switch (settings.c_cflag & CSIZE) {
        case CS5:
            dcb.ByteSize = 5;
            break;
        case CS6:
            dcb.ByteSize = 6;
            break;
        case CS7:
            dcb.ByteSize = 7;
            break;
        default:
            dcb.ByteSize = 8;
            break;
    }

    if (!(settings.c_cflag & PARENB)) {
        dcb.Parity = NOPARITY;
    } else if (settings.c_cflag & CMSPAR) {
        dcb.Parity = (settings.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    } else {
        dcb.Parity = (settings.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    }

    if (settings.c_cflag & CSTOPB) {
        dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    } else {
        dcb.StopBits = ONESTOPBIT;
    }

    dcb.fParity = (settings.c_iflag & INPCK) ? 1 : 0;
    const bool handshake = (settings.c_cflag & CRTSCTS) != 0;
    dcb.fOutxCtsFlow = handshake ? 1 : 0;
    dcb.fRtsControl = handshake ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fOutX = (settings.c_iflag & IXON) ? 1 : 0;
    dcb.fInX = (settings.c_iflag & IXOFF) ? 1 : 0;
    dcb.XonChar = static_cast<char>(settings.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(settings.c_cc[VSTOP]);
    return true;
}

void applyModemLines(int modemBits, DCB &dcb) {
    if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE) {
        dcb.fRtsControl = (modemBits & TIOCM_RTS) ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    }
    dcb.fDtrControl = (modemBits & TIOCM_DTR) ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
}

bool dcbToTermios(const DCB &dcb, termios &settings) {
    termios result = settings;

    speed_t speed = 0;
    if (!baudRateToSpeed(dcb.BaudRate, speed)) return false;
    if (cfsetispeed(&result, speed) != 0 || cfsetospeed(&result, speed) != 0) return false;

    tcflag_t cflag = result.c_cflag & ~describedCflags;
    switch (dcb.ByteSize) {
        case 5:
            cflag |= CS5;
            break;
        case 6:
            cflag |= CS6;
            break;
        case 7:
            cflag |= CS7;
            break;
        case 8:
            cflag |= CS8;
            break;
        default:
            return false;
    }
    switch (dcb.Parity) {
        case NOPARITY:
            break;
        case ODDPARITY:
            cflag |= PARENB | PARODD;
            break;
        case EVENPARITY:
            cflag |= PARENB;
            break;
        case MARKPARITY:
            cflag |= PARENB | PARODD | CMSPAR;
            break;
        case SPACEPARITY:
            cflag |= PARENB | CMSPAR;
            break;
        default:
            return false;
    }
    switch (dcb.StopBits) {
        case ONESTOPBIT:
            break;
        case ONE5STOPBITS:  // a 5-bit port with CSTOPB sends 1.5 stop bits
            if (dcb.ByteSize != 5) return false;
            cflag |= CSTOPB;
            break;
        case TWOSTOPBITS:
            if (dcb.ByteSize == 5) return false;
            cflag |= CSTOPB;
            break;
        default:
            return false;
    }
    switch (dcb.fRtsControl) {
        case RTS_CONTROL_DISABLE:
        case RTS_CONTROL_ENABLE:
            break;
        case RTS_CONTROL_HANDSHAKE:
            cflag |= CRTSCTS;
            break;
        default:
            return false;  // RTS toggling around transmissions: not offered by termios
    }
    // termios has no DTR or DSR handshake.
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE || dcb.fOutxDsrFlow) return false;

    tcflag_t iflag = result.c_iflag & ~describedIflags;
    if (dcb.fParity) iflag |= INPCK;
    if (dcb.fOutX) iflag |= IXON;
    if (dcb.fInX) iflag |= IXOFF;

    result.c_cflag = cflag;
    result.c_iflag = iflag;
    result.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    result.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    settings = result;
    return true;
}

bool describedSettingsMatch(const termios &wanted, const termios &actual) {
    return cfgetospeed(&wanted) == cfgetospeed(&actual) &&
           cfgetispeed(&wanted) == cfgetispeed(&actual) &&
           (wanted.c_cflag & describedCflags) == (actual.c_cflag & describedCflags) &&
           (wanted.c_iflag & describedIflags) == (actual.c_iflag & describedIflags) &&
           wanted.c_cc[VSTART] == actual.c_cc[VSTART] && wanted.c_cc[VSTOP] == actual.c_cc[VSTOP];
}

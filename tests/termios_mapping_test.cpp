// The record <-> termios translation, case by case and in round trips.
#include "termios_mapping.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cstring>

#include "device_path.h"

namespace {

// Settings with bits the record does not describe, which must survive.
termios portWithUnrelatedBits() {
    termios t{};
    t.c_iflag = ICRNL | IGNBRK | IMAXBEL;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS8 | CREAD | CLOCAL | HUPCL;
    t.c_lflag = ICANON | ECHO | ISIG;
    for (int i = 0; i < NCCS; ++i) t.c_cc[i] = static_cast<cc_t>(0x40 + i);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    return t;
}

DCB plainRecord() {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

constexpr tcflag_t describedCflags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;

struct FramingCase {
    BYTE byteSize, parity, stopBits;
    tcflag_t cflag;  // the described c_cflag bits expected
};

class FramingTest : public testing::TestWithParam<FramingCase> {};

TEST_P(FramingTest, MapsBothWaysAndLeavesOtherBitsAlone) {
    const FramingCase &c = GetParam();
    DCB dcb = plainRecord();
    dcb.ByteSize = c.byteSize;
    dcb.Parity = c.parity;
    dcb.StopBits = c.stopBits;

    const termios before = portWithUnrelatedBits();
    termios t = before;
    ASSERT_TRUE(dcbToTermios(dcb, t));
    EXPECT_EQ(t.c_cflag & describedCflags, c.cflag);
    EXPECT_EQ(t.c_cflag & ~describedCflags, before.c_cflag & ~describedCflags);
    EXPECT_EQ(t.c_oflag, before.c_oflag);
    EXPECT_EQ(t.c_lflag, before.c_lflag);

    DCB back{};
    ASSERT_TRUE(termiosToDcb(t, back));
    EXPECT_EQ(back.ByteSize, c.byteSize);
    EXPECT_EQ(back.Parity, c.parity);
    EXPECT_EQ(back.StopBits, c.stopBits);
}

INSTANTIATE_TEST_SUITE_P(
    DataBitsParityStopBits, FramingTest,
    testing::Values(FramingCase{5, NOPARITY, ONESTOPBIT, CS5},
                    FramingCase{6, NOPARITY, ONESTOPBIT, CS6},
                    FramingCase{7, NOPARITY, ONESTOPBIT, CS7},
                    FramingCase{8, NOPARITY, ONESTOPBIT, CS8},
                    FramingCase{8, ODDPARITY, ONESTOPBIT, CS8 | PARENB | PARODD},
                    FramingCase{8, EVENPARITY, ONESTOPBIT, CS8 | PARENB},
                    FramingCase{8, MARKPARITY, ONESTOPBIT, CS8 | PARENB | PARODD | CMSPAR},
                    FramingCase{8, SPACEPARITY, ONESTOPBIT, CS8 | PARENB | CMSPAR},
                    FramingCase{7, EVENPARITY, TWOSTOPBITS, CS7 | PARENB | CSTOPB},
                    FramingCase{8, NOPARITY, TWOSTOPBITS, CS8 | CSTOPB},
                    FramingCase{5, NOPARITY, ONE5STOPBITS, CS5 | CSTOPB}));

TEST(TermiosMapping, FlowControlAndXonXoffCharactersMapBothWays) {
    termios t = portWithUnrelatedBits();
    const termios before = t;
    DCB dcb = plainRecord();
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    dcb.fParity = 1;
    dcb.XonChar = 0x21;
    dcb.XoffChar = 0x22;
    ASSERT_TRUE(dcbToTermios(dcb, t));
    EXPECT_EQ(t.c_cflag & CRTSCTS, static_cast<tcflag_t>(CRTSCTS)) << "CRTSCTS lives in c_cflag";
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), static_cast<tcflag_t>(IXON | IXOFF | INPCK));
    EXPECT_EQ(t.c_iflag & ~(IXON | IXOFF | INPCK), before.c_iflag);
    EXPECT_EQ(t.c_cc[VSTART], 0x21);
    EXPECT_EQ(t.c_cc[VSTOP], 0x22);
    for (int i = 0; i < NCCS; ++i) {
        if (i == VSTART || i == VSTOP) continue;
        EXPECT_EQ(t.c_cc[i], before.c_cc[i]) << "c_cc[" << i << "]";
    }

    DCB back{};
    ASSERT_TRUE(termiosToDcb(t, back));
    EXPECT_EQ(back.fRtsControl, RTS_CONTROL_HANDSHAKE);
    EXPECT_EQ(back.fOutxCtsFlow, 1u);
    EXPECT_EQ(back.fOutX, 1u);
    EXPECT_EQ(back.fInX, 1u);
    EXPECT_EQ(back.fParity, 1u);
    EXPECT_EQ(back.XonChar, 0x21);
    EXPECT_EQ(back.XoffChar, 0x22);

    // Switching the handshake off clears exactly CRTSCTS.
    back.fRtsControl = RTS_CONTROL_DISABLE;
    termios off = t;
    ASSERT_TRUE(dcbToTermios(back, off));
    EXPECT_EQ(off.c_cflag, t.c_cflag & ~static_cast<tcflag_t>(CRTSCTS));
    EXPECT_EQ(off.c_iflag, t.c_iflag);
}

TEST(TermiosMapping, ReadModifyWriteOfEverySettingLeavesThePortAsFound) {
    for (const tcflag_t size : {CS5, CS6, CS7, CS8}) {
        for (const tcflag_t parity :
             {tcflag_t{0}, tcflag_t{PARENB}, tcflag_t{PARENB | PARODD}, tcflag_t{PARENB | CMSPAR},
              tcflag_t{PARENB | PARODD | CMSPAR}}) {
            for (const tcflag_t extra :
                 {tcflag_t{0}, tcflag_t{CSTOPB}, tcflag_t{CRTSCTS}, tcflag_t{CSTOPB | CRTSCTS}}) {
                termios t = portWithUnrelatedBits();
                t.c_cflag = (t.c_cflag & ~CSIZE) | size | parity | extra;
                t.c_iflag |= IXON;
                DCB dcb{};
                ASSERT_TRUE(termiosToDcb(t, dcb));
                termios written = t;
                ASSERT_TRUE(dcbToTermios(dcb, written));
                EXPECT_EQ(std::memcmp(&written, &t, sizeof t), 0)
                    << "c_cflag " << std::oct << t.c_cflag;
            }
        }
    }
}

TEST(TermiosMapping, EverySpeedOfTheTableMapsBothWays) {
    const DWORD rates[] = {50,      75,      110,     134,     150,     200,    300,     600,
                           1200,    1800,    2400,    4800,    9600,    19200,  38400,   57600,
                           115200,  230400,  460800,  500000,  576000,  921600, 1000000, 1152000,
                           1500000, 2000000, 2500000, 3000000, 3500000, 4000000};
    for (const DWORD rate : rates) {
        DCB dcb = plainRecord();
        dcb.BaudRate = rate;
        termios t = portWithUnrelatedBits();
        ASSERT_TRUE(dcbToTermios(dcb, t)) << rate;
        EXPECT_EQ(cfgetispeed(&t), cfgetospeed(&t));
        DCB back{};
        ASSERT_TRUE(termiosToDcb(t, back)) << rate;
        EXPECT_EQ(back.BaudRate, rate);
    }
    speed_t speed = 0;
    EXPECT_TRUE(baudRateToSpeed(4800, speed));
    EXPECT_EQ(speed, static_cast<speed_t>(B4800));
}

TEST(TermiosMapping, RefusesWhatThePortCannotDoAndChangesNothing) {
    struct Case {
        const char *what;
        void (*change)(DCB &);
    };
    const Case cases[] = {
        {"speed between table entries", [](DCB &d) { d.BaudRate = 14400; }},
        {"speed zero", [](DCB &d) { d.BaudRate = 0; }},
        {"4 data bits", [](DCB &d) { d.ByteSize = 4; }},
        {"9 data bits", [](DCB &d) { d.ByteSize = 9; }},
        {"unknown parity", [](DCB &d) { d.Parity = 5; }},
        {"unknown stop bits", [](DCB &d) { d.StopBits = 3; }},
        {"1.5 stop bits with 8 data bits", [](DCB &d) { d.StopBits = ONE5STOPBITS; }},
        {"2 stop bits with 5 data bits",
         [](DCB &d) {
             d.ByteSize = 5;
             d.StopBits = TWOSTOPBITS;
         }},
        {"RTS toggling", [](DCB &d) { d.fRtsControl = RTS_CONTROL_TOGGLE; }},
        {"DTR handshake", [](DCB &d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }},
        {"DSR flow control", [](DCB &d) { d.fOutxDsrFlow = 1; }},
    };
    for (const Case &c : cases) {
        DCB dcb = plainRecord();
        c.change(dcb);
        const termios before = portWithUnrelatedBits();
        termios t = before;
        EXPECT_FALSE(dcbToTermios(dcb, t)) << c.what;
        EXPECT_EQ(std::memcmp(&t, &before, sizeof t), 0) << c.what;
    }

    termios unknownSpeed = portWithUnrelatedBits();
    cfsetospeed(&unknownSpeed, B0);
    DCB dcb{};
    EXPECT_FALSE(termiosToDcb(unknownSpeed, dcb)) << "a speed outside the table is not guessed";
}

TEST(TermiosMapping, ModemLinesGiveTheRtsAndDtrLevels) {
    DCB dcb = plainRecord();
    applyModemLines(TIOCM_DTR, dcb);
    EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_DISABLE);
    EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_ENABLE);
    applyModemLines(TIOCM_RTS, dcb);
    EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_ENABLE);
    EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_DISABLE);
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    applyModemLines(0, dcb);
    EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_HANDSHAKE) << "a handshake line has no fixed level";
}

TEST(TermiosMapping, ReadBackComparisonNoticesEachDescribedSetting) {
    const termios wanted = portWithUnrelatedBits();
    EXPECT_TRUE(describedSettingsMatch(wanted, wanted));
    termios undescribed = wanted;
    undescribed.c_lflag = 0;
    undescribed.c_oflag = 0;
    EXPECT_TRUE(describedSettingsMatch(wanted, undescribed));

    void (*const changes[])(termios &) = {
        [](termios &t) { cfsetospeed(&t, B4800); },
        [](termios &t) { cfsetispeed(&t, B4800); },
        [](termios &t) { t.c_cflag = (t.c_cflag & ~CSIZE) | CS7; },
        [](termios &t) { t.c_cflag |= PARENB; },
        [](termios &t) { t.c_cflag |= CSTOPB; },
        [](termios &t) { t.c_cflag |= CRTSCTS; },
        [](termios &t) { t.c_iflag |= IXOFF; },
        [](termios &t) { t.c_cc[VSTOP] = 0; },
    };
    for (auto change : changes) {
        termios actual = wanted;
        change(actual);
        EXPECT_FALSE(describedSettingsMatch(wanted, actual));
    }
}

TEST(DevicePath, WindowsNamesMapToTheirDevices) {
    // Only strings are compared here: nothing is opened.
    const struct {
        const char *name, *path;
    } cases[] = {
        {"COM1", "/dev/ttyS0"},
        {"com3", "/dev/ttyS2"},
        {"\\\\.\\COM10", "/dev/ttyS9"},
        {"COM256", "/dev/ttyS255"},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {"\\\\.\\ttyACM1", "/dev/ttyACM1"},
        {"/dev/pts/7", "/dev/pts/7"},
        {"./port", "./port"},
        {"COM0", "/dev/COM0"},
        {"COM01", "/dev/COM01"},
        {"COM257", "/dev/COM257"},
        {"COM1x", "/dev/COM1x"},
        {"COM", "/dev/COM"},
    };
    for (const auto &c : cases) {
        std::string path;
        ASSERT_TRUE(devicePathForName(c.name, path)) << c.name;
        EXPECT_EQ(path, c.path) << c.name;
    }
    std::string path;
    EXPECT_FALSE(devicePathForName("", path));
    EXPECT_FALSE(devicePathForName("\\\\.\\", path));
}

}  // namespace

// The POSIX serial layer against pseudo-terminals and other devices.
#include <gtest/gtest.h>
#include <termios.h>

#include <cerrno>
#include <cstring>

#include "pty_pair.h"
#include "serial_port_api.h"

namespace {

HANDLE openPort(const std::string &name) {
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

class SerialLayerTest : public testing::Test {
 protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        pty.setUserSettings();
    }
    PtyPair pty;
};

TEST_F(SerialLayerTest, ReadModifyWriteChangesOnlySpeedAndRtsHandshake) {
    const termios before = pty.settings();
    HANDLE port = openPort(pty.slavePath());
    ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port, &dcb)) << GetLastError();
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_HANDSHAKE);
    EXPECT_EQ(dcb.fOutX, 1u);
    EXPECT_EQ(dcb.fInX, 1u);

    dcb.BaudRate = 4800;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    ASSERT_TRUE(SetCommState(port, &dcb)) << GetLastError();

    const termios after = pty.settings();
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B4800));
    EXPECT_EQ(cfgetispeed(&after), static_cast<speed_t>(B4800));
    EXPECT_EQ(after.c_cflag & CRTSCTS, 0u);
    const tcflag_t changed = CRTSCTS | CBAUD | CBAUDEX;
    EXPECT_EQ(after.c_cflag & ~changed, before.c_cflag & ~changed);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof before.c_cc), 0);

    DCB readBack{};
    ASSERT_TRUE(GetCommState(port, &readBack));
    EXPECT_EQ(readBack.BaudRate, 4800u);
    EXPECT_EQ(readBack.StopBits, TWOSTOPBITS);
    EXPECT_TRUE(CloseHandle(port));
}

TEST_F(SerialLayerTest, RefusedSettingsFailAndLeaveThePortAlone) {
    const termios before = pty.settings();
    HANDLE port = openPort(pty.slavePath());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port, &dcb));
    dcb.BaudRate = 14400;
    EXPECT_FALSE(SetCommState(port, &dcb));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
    const termios after = pty.settings();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    EXPECT_TRUE(CloseHandle(port));
}

TEST_F(SerialLayerTest, TransmitSendsExactlyTheOneByte) {
    HANDLE port = openPort(pty.slavePath());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(TransmitCommChar(port, 0));
    EXPECT_EQ(pty.drain(), std::string(1, '\0'));
    ASSERT_TRUE(TransmitCommChar(port, 'A'));
    EXPECT_EQ(pty.drain(), "A");
    EXPECT_TRUE(CloseHandle(port));
}

TEST_F(SerialLayerTest, TransmitFailsWhenThePortHasGone) {
    HANDLE port = openPort(pty.slavePath());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    pty.closeMaster();
    EXPECT_FALSE(TransmitCommChar(port, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EIO));
    EXPECT_TRUE(CloseHandle(port));
}

TEST_F(SerialLayerTest, RtsCallsFailOnAPortWithoutModemLines) {
    HANDLE port = openPort(pty.slavePath());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(EscapeCommFunction(port, SETRTS));
    EXPECT_FALSE(EscapeCommFunction(port, CLRRTS));
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_FALSE(EscapeCommFunction(port, 5)) << "only the RTS functions are offered";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
    EXPECT_EQ(pty.drain(), "") << "nothing reaches the line";
    EXPECT_TRUE(CloseHandle(port));
}

TEST_F(SerialLayerTest, APortHasOneOwnerAtATime) {
    HANDLE first = openPort(pty.slavePath());
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openPort(pty.slavePath()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EBUSY));
    ASSERT_TRUE(CloseHandle(first));

    HANDLE second = openPort(pty.slavePath());
    EXPECT_NE(second, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_TRUE(CloseHandle(second));
}

TEST(SerialLayer, OpenFailuresTellAMissingDeviceFromOtherReasons) {
    const struct {
        const char *name;
        DWORD error;
    } cases[] = {
        {"/nonexistent/ttyX", ERROR_FILE_NOT_FOUND},
        {"tripwick-no-such-device", ERROR_FILE_NOT_FOUND},
        {"", ERROR_FILE_NOT_FOUND},
        {"/tmp", static_cast<DWORD>(EISDIR)},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(openPort(c.name), INVALID_HANDLE_VALUE) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    EXPECT_EQ(CreateFileA("/dev/null", GENERIC_READ | GENERIC_WRITE, 0, nullptr, 1 /*CREATE_NEW*/,
                          FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE)
        << "nothing is ever created";
}

TEST(SerialLayer, ADeviceThatIsNoTerminalOpensButHasNoSettings) {
    HANDLE port = openPort("/dev/null");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB dcb{};
    EXPECT_FALSE(GetCommState(port, &dcb));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTTY));
    EXPECT_TRUE(CloseHandle(port));
}

TEST(SerialLayer, StaleAndForeignHandlesAreRefused) {
    HANDLE port = openPort("/dev/null");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(port));
    DCB dcb{};
    for (HANDLE bad : {port, INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr)}) {
        EXPECT_FALSE(CloseHandle(bad));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(EBADF));
        EXPECT_FALSE(GetCommState(bad, &dcb));
        EXPECT_FALSE(SetCommState(bad, &dcb));
        EXPECT_FALSE(EscapeCommFunction(bad, SETRTS));
        EXPECT_FALSE(TransmitCommChar(bad, 0));
    }
}

}  // namespace

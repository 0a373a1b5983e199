// The port class against the scripted fake of the serial calls.
#include "trigger_serial_port.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_serial_port_api.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// A port as a user might have left it: 9600 baud, 7 data bits, even parity,
// two stop bits, XON/XOFF, RTS/CTS handshake, DTR off.
DCB userPortSettings() {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    return dcb;
}

std::string dcbBytes(const DCB &dcb) {
    return std::string(reinterpret_cast<const char *>(&dcb), sizeof dcb);
}

class TriggerSerialPortTest : public testing::Test {
 protected:
    void SetUp() override {
        resetFakeSerialPlatform();
        fake().portSettings = userPortSettings();
    }
    static FakeSerialPlatform &fake() { return fakeSerialPlatform(); }

    // Constructs a port and returns what it wrote on standard error.
    std::string construct(const char *name, triggerSerialPort *&port) {
        CaptureStderr();
        port = new triggerSerialPort(name);
        return GetCapturedStderr();
    }
};

TEST_F(TriggerSerialPortTest, OpensExclusivelyAndChangesOnlySpeedAndRtsControl) {
    triggerSerialPort *port = nullptr;
    EXPECT_EQ(construct("COM3", port), "");
    EXPECT_TRUE(port->portOpen);

    ASSERT_EQ(fake().opens.size(), 1u);
    const RecordedOpen &open = fake().opens[0];
    EXPECT_EQ(open.name, "COM3");
    EXPECT_EQ(open.access, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(open.shareMode, 0u);
    EXPECT_FALSE(open.securityAttributes);
    EXPECT_EQ(open.disposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(open.flags, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(open.templateFile);

    const auto &calls = fake().calls;
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1].call, Call::GetCommState);
    EXPECT_EQ(calls[1].value, 28u) << "the record's length is set before the first read";
    EXPECT_EQ(calls[2].call, Call::SetCommState);
    EXPECT_EQ(calls[3].call, Call::GetCommState);
    for (size_t i = 1; i < calls.size(); ++i) EXPECT_EQ(calls[i].handle, fake().portHandle);

    DCB expected = userPortSettings();
    expected.BaudRate = 4800;
    expected.fRtsControl = RTS_CONTROL_DISABLE;
    EXPECT_EQ(dcbBytes(calls[2].dcb), dcbBytes(expected))
        << "every member but the speed and RTS control is written back as read";
    EXPECT_EQ(fake().count(Call::CloseHandle), 0);
    delete port;
}

struct ConstructionFailure {
    const char *what;
    Call call;
    int occurrence;
    DWORD error;
    bool closeFails;
    const char *expectedStderr;
    bool released;
};

class ConstructionFailureTest : public TriggerSerialPortTest,
                                public testing::WithParamInterface<ConstructionFailure> {};

TEST_P(ConstructionFailureTest, ReportsReleasesAndLeavesPortNotOpen) {
    const ConstructionFailure &c = GetParam();
    fake().fail(c.call, c.occurrence, c.error);
    if (c.closeFails) fake().fail(Call::CloseHandle, 1, 6);

    triggerSerialPort *port = nullptr;
    EXPECT_EQ(construct("COM7", port), c.expectedStderr);
    EXPECT_FALSE(port->portOpen);
    EXPECT_EQ(fake().count(Call::CloseHandle), c.released ? 1 : 0);
    EXPECT_EQ(fake().count(Call::CreateFileA), 1) << "nothing is retried";
    EXPECT_EQ(fake().usesAfterClose, 0);
    delete port;
}

INSTANTIATE_TEST_SUITE_P(
    EveryFailure, ConstructionFailureTest,
    testing::Values(
        ConstructionFailure{"NoSuchDevice", Call::CreateFileA, 1, 2, false,
                            "triggerSerialPort::openSerialPort(): ERROR: Invalid COM Port\n"
                            "triggerSerialPort(): ERROR Cannot open serial port `COM7'\n",
                            false},
        ConstructionFailure{"PortBusy", Call::CreateFileA, 1, 5, false,
                            "triggerSerialPort::openSerialPort(): ERROR: Unknown Error 5\n"
                            "triggerSerialPort(): ERROR Cannot open serial port `COM7'\n",
                            false},
        ConstructionFailure{
            "FirstRead", Call::GetCommState, 1, 31, false,
            "triggerSerialPort(): ERROR: Cannot retrieve comm port state. ERRNO 31\n", true},
        ConstructionFailure{
            "FirstReadAndClose", Call::GetCommState, 1, 31, true,
            "triggerSerialPort(): ERROR: Cannot retrieve comm port state. ERRNO 31\n"
            "triggerSerialPort(): ERROR: Cannot close serial port. ERRNO 6\n",
            true},
        ConstructionFailure{"Write", Call::SetCommState, 1, 87, false,
                            "ERROR: Cannot set comm port state. ERRNO 87\n", true},
        ConstructionFailure{"WriteAndClose", Call::SetCommState, 1, 87, true,
                            "ERROR: Cannot set comm port state. ERRNO 87\n"
                            "ERROR: Cannot close serial port. ERRNO 6\n",
                            true},
        ConstructionFailure{
            "ReadBack", Call::GetCommState, 2, 22, false,
            "triggerSerialPort(): ERROR: Cannot retrieve comm port state. ERRNO 22\n", true},
        ConstructionFailure{"ReadBackAndClose", Call::GetCommState, 2, 4294967295u, true,
                            "triggerSerialPort(): ERROR: Cannot retrieve comm port state. "
                            "ERRNO 4294967295\n"
                            "triggerSerialPort(): ERROR: Cannot close serial port. ERRNO 6\n",
                            true}),
    [](const testing::TestParamInfo<ConstructionFailure> &info) { return info.param.what; });

TEST_F(TriggerSerialPortTest, KeepsNamesUpTo254CharactersWholeAndRefusesLongerOnes) {
    const std::string longest(254, 'n');
    triggerSerialPort *port = nullptr;
    EXPECT_EQ(construct(longest.c_str(), port), "");
    ASSERT_EQ(fake().opens.size(), 1u);
    EXPECT_EQ(fake().opens[0].name, longest);
    delete port;

    resetFakeSerialPlatform();
    const std::string tooLong(255, 'n');
    EXPECT_EQ(construct(tooLong.c_str(), port),
              "triggerSerialPort(): ERROR Device name too long (at most 254 characters)\n");
    EXPECT_FALSE(port->portOpen);
    EXPECT_TRUE(fake().calls.empty()) << "a shortened name could open another device";
    delete port;
}

TEST_F(TriggerSerialPortTest, SetRtsRaisesAndLowersSilentlyAndSurvivesFailure) {
    triggerSerialPort *port = nullptr;
    construct("COM1", port);
    fake().calls.clear();
    fake().fail(Call::EscapeCommFunction, 2, 1);

    CaptureStderr();
    EXPECT_TRUE(port->setRTS(true));
    EXPECT_FALSE(port->setRTS(false));
    EXPECT_TRUE(port->setRTS(false));
    EXPECT_EQ(GetCapturedStderr(), "") << "the caller reports a failed RTS change";

    ASSERT_EQ(fake().calls.size(), 3u);
    EXPECT_EQ(fake().calls[0].value, static_cast<DWORD>(SETRTS));
    EXPECT_EQ(fake().calls[1].value, static_cast<DWORD>(CLRRTS));
    EXPECT_EQ(fake().calls[2].value, static_cast<DWORD>(CLRRTS));
    for (const RecordedCall &call : fake().calls) EXPECT_EQ(call.handle, fake().portHandle);
    EXPECT_EQ(fake().count(Call::CloseHandle), 0);
    delete port;
}

TEST_F(TriggerSerialPortTest, SendTriggerSendsOneZeroByteAndWritesNothing) {
    triggerSerialPort *port = nullptr;
    construct("COM1", port);
    fake().calls.clear();

    CaptureStderr();
    EXPECT_TRUE(port->sendTrigger());
    EXPECT_TRUE(port->sendTrigger());
    EXPECT_EQ(GetCapturedStderr(), "");
    ASSERT_EQ(fake().calls.size(), 2u);
    for (const RecordedCall &call : fake().calls) {
        EXPECT_EQ(call.call, Call::TransmitCommChar);
        EXPECT_EQ(call.value, 0u);
        EXPECT_EQ(call.handle, fake().portHandle);
    }
    delete port;
}

TEST_F(TriggerSerialPortTest, FailedTriggerReportsReleasesAndNeverTouchesThePortAgain) {
    for (const bool closeFails : {false, true}) {
        SCOPED_TRACE(closeFails ? "release fails too" : "release succeeds");
        resetFakeSerialPlatform();
        triggerSerialPort *port = nullptr;
        construct("COM1", port);
        fake().fail(Call::TransmitCommChar, 1, 5);
        if (closeFails) fake().fail(Call::CloseHandle, 1, 6);

        CaptureStderr();
        EXPECT_FALSE(port->sendTrigger());
        std::string expected =
            "triggerSerialPort::sendTrigger(): ERROR: Cannot send zero byte. ERRNO 5\n";
        if (closeFails) {
            expected +=
                "triggerSerialPort::sendTrigger(): ERROR: Cannot close serial port. ERRNO 6\n";
        }
        EXPECT_EQ(GetCapturedStderr(), expected);
        EXPECT_EQ(fake().count(Call::CloseHandle), 1);

        const size_t callsAtRelease = fake().calls.size();
        CaptureStderr();
        EXPECT_FALSE(port->sendTrigger());
        EXPECT_FALSE(port->setRTS(true));
        EXPECT_FALSE(port->setRTS(false));
        EXPECT_EQ(GetCapturedStderr(), "") << "one report per failure";
        EXPECT_EQ(fake().calls.size(), callsAtRelease) << "the released handle is never used";
        EXPECT_EQ(fake().usesAfterClose, 0);
        delete port;
    }
}

}  // namespace

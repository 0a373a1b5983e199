// The interactive commands, run as a black box with a pseudo-terminal as the
// serial port.  A pseudo-terminal has no RTS line, so commands 1 and 2 fail
// there and show their failure texts; triggers reach the master side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "program_runner.h"
#include "pty_pair.h"

namespace {

const char highFailed[] = "Failed to set RTS line HIGH";
const char lowFailed[] = "Failed to set RTS line LOW";
const char triggerFailed[] = "Failed to send trigger";

std::string endOfInput() { return target().text("Incorrect input, try again, q to quit.\n\n"); }
std::string terminating() { return target().text("Program Terminating...\n"); }

// What the program does with `input` on a port without RTS line, up to and
// including the 'q' or the end of input.
struct Expected {
    std::string out;
    std::string bytesAtPort;
    int status = 0;
};

Expected expectedRun(const std::string &input) {
    Expected e;
    for (const char c : target().inputAsRead(input).first) {
        e.out += menu();
        if (c == 'q') {
            e.out += terminating();
            e.status = 0;
            return e;
        }
        if (c == '1') e.out += highFailed;
        if (c == '2') e.out += lowFailed;
        if (c == '1' || c == '2') e.status = 1;
        if (c == '3') e.bytesAtPort += '\0';
    }
    e.out += menu() + endOfInput() + terminating();
    return e;
}

std::string expectedOutput(const std::string &input) { return expectedRun(input).out; }

class CommandLoopTest : public testing::Test {
 protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        pty.setUserSettings();
        port = target().portName(pty.slavePath());
    }
    std::string deviceLine() const {
        return target().text("Setting trigger serial device to `" + port + "'\n");
    }
    PtyPair pty;
    std::string port;
};

TEST_F(CommandLoopTest, EachCommandActsOnceAndShowsTheMenuAgain) {
    const struct {
        std::string input;
        std::string bytesAtPort;
        int status;
    } cases[] = {
        {"3\n", std::string(1, '\0'), 0},
        {"3333", std::string(4, '\0'), 0},
        {"123\n", std::string(1, '\0'), 1},
        {"1\n", "", 1},
        {"2", "", 1},
        {"3q3\n", std::string(1, '\0'), 0},
        {"q\n333", "", 0},
        {"Q04x \t\r\nq", "", 0},
        {"", "", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        const Outcome run = runProgram({"-d", port}, c.input);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, deviceLine() + expectedOutput(c.input));
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(pty.drain(), c.bytesAtPort);
    }
}

TEST_F(CommandLoopTest, WithoutADeviceOptionThePortIsCom1) {
    if (!target().windows) GTEST_SKIP() << "COM1 is this machine's own console";
    // Under Wine COM1 leads to a pseudo-terminal of the test's own.
    const std::string com1 = target().portName(pty.slavePath(), 1);
    ASSERT_EQ(com1, "COM1");
    const Outcome run = runProgram({}, "3q");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, menu() + menu() + terminating()) << "nothing before the menu";
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(pty.drain(), std::string(1, '\0'));
}

TEST_F(CommandLoopTest, ThePortRunsAt4800WithoutRtsHandshakeAndOtherwiseAsFound) {
    const termios before = pty.settings();
    const Outcome run = runProgram({"-d", port}, "q");
    ASSERT_EQ(run.status, 0);
    const termios after = pty.settings();
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B4800));
    EXPECT_EQ(cfgetispeed(&after), static_cast<speed_t>(B4800));
    EXPECT_EQ(after.c_cflag & CRTSCTS, target().keepsCtsFlow ? CRTSCTS : 0u);
    const tcflag_t framing = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    EXPECT_EQ(after.c_cflag & framing, before.c_cflag & framing);
    EXPECT_NE(after.c_cflag & CSTOPB, 0u) << "two stop bits stay";
    EXPECT_EQ(after.c_iflag & (IXON | IXOFF), before.c_iflag & (IXON | IXOFF)) << "XON/XOFF stays";
    EXPECT_EQ(after.c_cc[VSTART], before.c_cc[VSTART]);
    EXPECT_EQ(after.c_cc[VSTOP], before.c_cc[VSTOP]);
    if (target().keepsUndescribedTermios) {
        const tcflag_t changed = CRTSCTS | CBAUD | CBAUDEX;
        EXPECT_EQ(after.c_cflag & ~changed, before.c_cflag & ~changed);
        EXPECT_EQ(after.c_iflag, before.c_iflag);
        EXPECT_EQ(after.c_oflag, before.c_oflag);
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        for (int i = 0; i < NCCS; ++i) {
            EXPECT_EQ(after.c_cc[i], before.c_cc[i]) << "c_cc[" << i << "]";
        }
    }
    EXPECT_EQ(pty.drain(), "") << "configuring sends nothing";
}

TEST_F(CommandLoopTest, AfterTheDeviceFailsATriggerItIsReportedOnceAndTheLoopGoesOn) {
    Program program({"-d", port});
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.waitForOutput(menu()));
    pty.closeMaster();

    program.send("3");
    ASSERT_TRUE(program.waitForOutput(triggerFailed));
    ASSERT_TRUE(program.waitForOutput(menu(), 2));
    const std::string report =
        target().text("triggerSerialPort::sendTrigger(): ERROR: Cannot send zero byte. ERRNO " +
                      std::to_string(target().portGoneError) + "\n");
    EXPECT_EQ(program.err(), report);

    program.send("31q");
    const Outcome run = program.finish();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, deviceLine() + menu() + triggerFailed + menu() + triggerFailed + menu() +
                           highFailed + menu() + terminating());
    EXPECT_EQ(run.err, report) << "the released port is not touched again";
}

TEST_F(CommandLoopTest, ASecondInstanceCannotTakeAPortInUse) {
    if (target().windows) GTEST_SKIP() << "Wine does not refuse a second open of a serial port";
    Program first({"-d", port});
    ASSERT_TRUE(first.waitForOutput(menu()));

    const Outcome second = runProgram({"-d", port}, "3");
    EXPECT_EQ(second.status, 255);
    EXPECT_EQ(second.out, deviceLine() + terminating());
    EXPECT_EQ(second.err,
              "triggerSerialPort::openSerialPort(): ERROR: Unknown Error 16\n"
              "triggerSerialPort(): ERROR Cannot open serial port `" +
                  port + "'\ntripwick::main() ERROR Cannot open serial port " + port + "\n");
    EXPECT_EQ(pty.drain(), "");

    first.send("3");
    ASSERT_TRUE(first.waitForOutput(menu(), 2));
    EXPECT_EQ(pty.drain(), std::string(1, '\0')) << "the first instance keeps working";
    first.send("q");
    EXPECT_EQ(first.finish().status, 0);
}

TEST_F(CommandLoopTest, AtATerminalThePromptShowsAndEndOfInputIsNotTheEnd) {
    if (target().windows) GTEST_SKIP() << "a Windows console is not a pseudo-terminal";
    PtyPair console;
    ASSERT_TRUE(console.ok());
    termios t = console.settings();
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO);  // only the program's own output
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    console.setSettings(t);

    Program::Options options;
    options.terminal = open(console.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(options.terminal, 0);
    Program program({"-d", port}, options);
    close(options.terminal);
    ASSERT_TRUE(program.started());

    // The prompt is on the screen while the program waits for a line.
    EXPECT_EQ(console.receiveUntil(menu()), deviceLine() + menu());
    EXPECT_EQ(console.drain(100), "") << "and waits";

    const char endOfFile = static_cast<char>(t.c_cc[VEOF]);
    ASSERT_EQ(write(console.master(), &endOfFile, 1), 1);
    EXPECT_EQ(console.receiveUntil(menu()), endOfInput() + menu())
        << "Ctrl-D only shows the menu again";

    ASSERT_EQ(write(console.master(), "3\n", 2), 2);
    EXPECT_EQ(console.receiveUntil(menu() + menu()), menu() + menu());
    EXPECT_EQ(pty.drain(), std::string(1, '\0'));

    ASSERT_EQ(write(console.master(), "q\n", 2), 2);
    EXPECT_EQ(console.receiveUntil(terminating()), terminating());
    const Outcome run = program.finish();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
}

TEST_F(CommandLoopTest, RandomInputSendsOneTriggerPerThreeBeforeTheFirstQ) {
    std::mt19937 random(20261211);
    std::uniform_int_distribution<int> length(0, 40);
    // Mostly commands, with any other byte mixed in.
    const std::string favourites = "123q\n";
    for (int round = 0; round < 200; ++round) {
        std::string input;
        const int n = length(random);
        for (int i = 0; i < n; ++i) {
            const unsigned pick = random();
            input += (pick % 3 != 0) ? favourites[(pick / 3) % favourites.size()]
                                     : static_cast<char>(pick >> 8);
        }
        input += 'q';
        SCOPED_TRACE(testing::PrintToString(input));

        const Outcome run = runProgram({"-d", port}, input);
        const Expected expected = expectedRun(input);
        ASSERT_FALSE(run.timedOut);
        ASSERT_EQ(run.status, expected.status);
        ASSERT_EQ(run.out, deviceLine() + expected.out);
        // The pseudo-terminal hands bytes on from a work queue: give them a moment.
        ASSERT_EQ(pty.drain(20), expected.bytesAtPort);
        if (!target().windows) {
            // One zero byte for each 3 before the first q.
            const std::string beforeQuit = input.substr(0, input.find('q'));
            const auto triggers = std::count(beforeQuit.begin(), beforeQuit.end(), '3');
            ASSERT_EQ(expected.bytesAtPort, std::string(static_cast<size_t>(triggers), '\0'));
        }
    }
}

}  // namespace

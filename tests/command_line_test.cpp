// The program's command line, run as a black box.  Every run names its port:
// the default COM1 is the machine's own console here.
#include <gtest/gtest.h>
#include <unistd.h>

#include "program_runner.h"
#include "pty_pair.h"

namespace {

std::string usage() {
    return target().text(
        "Usage: tripwick options\n"
        "  -h --help                  Display this usage information.\n"
        "  -d --device\t\t\t\t  Serial device to trigger through (i.e. COM1) \n");
}

std::string deviceLine(const std::string &name) {
    return target().text("Setting trigger serial device to `" + name + "'\n");
}

// What a run on a healthy port writes when its input is empty.
std::string emptySessionOutput() {
    return menu() +
           target().text("Incorrect input, try again, q to quit.\n\nProgram Terminating...\n");
}

std::string openFailureTail(const std::string &name) {
    return target().text("triggerSerialPort(): ERROR Cannot open serial port `" + name +
                         "'\ntripwick::main() ERROR Cannot open serial port " + name + "\n");
}

struct WrongCommandLine {
    std::vector<std::string> args;
    std::string diagnostic;  // after "<invocation name>: "
};

TEST(CommandLine, WrongCommandLinesGiveTheParsersDiagnosticTheUsageAndStatus2) {
    const std::string missing = target().missingPort;
    const WrongCommandLine cases[] = {
        {{"-d", missing, "-x"}, "invalid option -- 'x'\n"},
        {{"-d", missing, "-?"}, "invalid option -- '?'\n"},
        {{"-d", missing, "-d"}, "option requires an argument -- 'd'\n"},
        {{"-d", missing, "--foo=bar"}, "unrecognized option '--foo=bar'\n"},
        {{"-d", missing, "--verbose=1"}, "option '--verbose' doesn't allow an argument\n"},
        {{"-d", missing, "--br=0"}, "option '--brief' doesn't allow an argument\n"},
        {{"-d", missing, "--he=x"}, "option '--help' doesn't allow an argument\n"},
        {{"-d", missing, "--device"}, "option '--device' requires an argument\n"},
        {{"-d", missing, "--dev"}, "option '--device' requires an argument\n"},
        {{"-d", missing, "--="},
         "option '--=' is ambiguous; possibilities: '--verbose' '--brief' '--help' '--device'\n"},
    };
    for (const WrongCommandLine &c : cases) {
        SCOPED_TRACE(c.args.back());
        const Outcome run = runProgram(c.args);
        EXPECT_EQ(run.status, 2);
        // Options before the wrong one have been acted on.
        EXPECT_EQ(run.out, deviceLine(missing) + usage());
        EXPECT_EQ(run.err, target().text(target().invocationName + ": " + c.diagnostic));
    }
}

TEST(CommandLine, HelpShowsTheUsageWithoutOpeningAPort) {
    const std::string missing = target().missingPort;
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"-h"}, usage()},
        {{"--help"}, usage()},
        {{"--h"}, usage()},
        {{"-d", missing, "-h"}, deviceLine(missing) + usage()},
        {{"-h", "-d", missing}, usage()},
        {{"--help", "-x"}, usage()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
        const Outcome run = runProgram(c.args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, "") << "no port is opened";
    }
}

TEST(CommandLine, EveryFormOfTheDeviceOptionSelectsThePort) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    const std::string port = target().portName(pty.slavePath());
    const std::vector<std::vector<std::string>> forms = {
        {"-d", port},         {"-d" + port},   {"--device", port},
        {"--device=" + port}, {"--dev", port}, {"--d=" + port},
    };
    for (const auto &args : forms) {
        SCOPED_TRACE(args[0]);
        const Outcome run = runProgram(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, deviceLine(port) + emptySessionOutput());
        EXPECT_EQ(run.err, "");
    }
}

TEST(CommandLine, TheLastDeviceOptionWinsAndOtherWordsAreIgnored) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    const std::string port = target().portName(pty.slavePath());
    const std::string missing = target().missingPort;

    Outcome run = runProgram({"-d", missing, "not-a-port", "--device", port, "also-ignored"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, deviceLine(missing) + deviceLine(port) + emptySessionOutput());
    EXPECT_EQ(run.err, "");

    // Where the parser stops at the first word that is no option, the
    // options behind it are not read.
    run = runProgram({"-d", missing, "not-a-port", "--device", port}, "", {"POSIXLY_CORRECT=1"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, deviceLine(missing) + target().text("Program Terminating...\n"));
    EXPECT_EQ(run.err,
              target().text("triggerSerialPort::openSerialPort(): ERROR: Invalid COM Port\n") +
                  openFailureTail(missing));
}

TEST(CommandLine, VerboseAndBriefChangeNothing) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    const std::string port = target().portName(pty.slavePath());
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--verbose", "-d", port},
          std::vector<std::string>{"-d", port, "--brief"},
          std::vector<std::string>{"--verb", "--b", "-d", port}}) {
        const Outcome run = runProgram(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, deviceLine(port) + emptySessionOutput());
        EXPECT_EQ(run.err, "");
    }
}

TEST(CommandLine, APortThatCannotBeUsedEndsWithItsReasonsAndStatus255) {
    const std::string missing = target().missingPort;
    Outcome run = runProgram({"-d", missing});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, deviceLine(missing) + target().text("Program Terminating...\n"));
    EXPECT_EQ(run.err,
              target().text("triggerSerialPort::openSerialPort(): ERROR: Invalid COM Port\n") +
                  openFailureTail(missing));
    if (target().windows) return;  // the remaining devices are this system's own

    run = runProgram({"-d", "/dev/null"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, deviceLine("/dev/null") + "Program Terminating...\n");
    EXPECT_EQ(run.err,
              "triggerSerialPort(): ERROR: Cannot retrieve comm port state. ERRNO 25\n"
              "tripwick::main() ERROR Cannot open serial port /dev/null\n");

    run = runProgram({"-d", "/tmp"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, "triggerSerialPort::openSerialPort(): ERROR: Unknown Error 21\n" +
                           openFailureTail("/tmp"));
}

TEST(CommandLine, DeviceNamesUpTo254CharactersAreHeld) {
    if (target().windows) GTEST_SKIP() << "long paths are this system's own";
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    // A 254-character path that leads to the pseudo-terminal.
    char folderTemplate[] = "/tmp/tripwick-names-XXXXXX";
    ASSERT_NE(mkdtemp(folderTemplate), nullptr);
    const std::string folder = folderTemplate;
    const std::string longest = folder + "/" + std::string(254 - folder.size() - 1, 'p');
    ASSERT_EQ(longest.size(), 254u);
    ASSERT_EQ(symlink(pty.slavePath().c_str(), longest.c_str()), 0);

    Outcome run = runProgram({"-d", longest});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, deviceLine(longest) + emptySessionOutput());
    EXPECT_EQ(run.err, "");

    const std::string tooLong = longest + "x";
    run = runProgram({"-d", tooLong});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, deviceLine(tooLong) + "Program Terminating...\n");
    EXPECT_EQ(run.err, "tripwick::main() ERROR Device name too long (at most 254 characters)\n");

    unlink(longest.c_str());
    rmdir(folder.c_str());
}

}  // namespace

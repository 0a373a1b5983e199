// Runs the built tripwick as a black box: its own process, its standard
// streams on pipes (or on a terminal), a time limit on everything.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

// The program under test and what differs between its builds.
struct Target {
    std::vector<std::string> launcher;  // what runs the program (empty: run it directly)
    std::string program;                // the executable
    std::string invocationName;         // the name the option parser puts in its diagnostics
    std::string eol;                    // a line end as it reaches a pipe
    bool windows = false;
    std::string missingPort;  // a port name that names no device
    // The error code of a trigger sent to a port that has gone away.
    unsigned long portGoneError = 0;
    // Whether the system leaves the termios bits that the port settings do
    // not describe alone (Wine puts a port it opens into raw mode).
    bool keepsUndescribedTermios = true;
    // Whether CTS output flow that was on stays on (through CRTSCTS) when RTS
    // flow control is switched off: Windows keeps CTS flow as a setting of
    // its own, and Wine can only express it as CRTSCTS.
    bool keepsCtsFlow = false;

    // What the program reads from standard input when `input` is written to
    // it: Windows reads its standard input as text, so CR LF arrives as LF,
    // and Ctrl-Z ends the input.  Second: whether the input was cut there.
    std::pair<std::string, bool> inputAsRead(const std::string &input) const;

    // The name under which this build reaches the terminal at `slavePath`.
    std::string portName(const std::string &slavePath, int comNumber = 5) const;

    // A text with its line breaks as this build writes them.
    std::string text(const std::string &lines) const;
};

// The target named by TRIPWICK_PROGRAM and TRIPWICK_LAUNCHER in the
// environment, or else the tripwick built beside the tests.
const Target &target();

struct Outcome {
    int status = -1000;  // exit status, or -signal
    bool timedOut = false;
    std::string out, err;
};

class Program {
 public:
    struct Options {
        std::vector<std::string> environment;  // NAME=value additions
        int terminal = -1;  // when set: standard input and output on this terminal
    };
    explicit Program(const std::vector<std::string> &args) : Program(args, Options()) {}
    Program(const std::vector<std::string> &args, const Options &options);
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    bool started() const { return pid_ > 0; }
    void send(const std::string &input);
    void closeInput();
    // Reads the program's output until standard output holds `needle` at
    // least `times` times (true), or the time is up (false).
    bool waitForOutput(const std::string &needle, int times = 1,
                       std::chrono::milliseconds limit = std::chrono::seconds(10));
    bool waitForError(const std::string &needle,
                      std::chrono::milliseconds limit = std::chrono::seconds(10));
    const std::string &out() const { return out_; }
    const std::string &err() const { return err_; }
    // Closes the input, waits for the end and returns everything.
    Outcome finish(std::chrono::milliseconds limit = std::chrono::seconds(20));

 private:
    bool pump(std::chrono::steady_clock::time_point deadline);
    int pid_ = -1;
    int in_ = -1, out_fd_ = -1, err_fd_ = -1;
    std::string out_, err_;
};

// Runs the program with `args` and `input` on standard input, to its end.
Outcome runProgram(const std::vector<std::string> &args, const std::string &input = "",
                   const std::vector<std::string> &environment = {});

// The menu shown before every read, in the target's line ends.
std::string menu();

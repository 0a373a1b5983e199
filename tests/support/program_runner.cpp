#include "program_runner.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern char **environ;

namespace {

std::vector<std::string> splitWords(const char *text) {
    std::vector<std::string> words;
    std::string word;
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p == ' ') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += *p;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

Target makeTarget() {
    Target t;
    const char *program = std::getenv("TRIPWICK_PROGRAM");
    t.program = program != nullptr && *program != '\0' ? program : TRIPWICK_BUILT_PROGRAM;
    const char *launcher = std::getenv("TRIPWICK_LAUNCHER");
    if (launcher != nullptr) t.launcher = splitWords(launcher);
    t.windows = t.program.size() > 4 && t.program.compare(t.program.size() - 4, 4, ".exe") == 0;
    t.eol = t.windows ? "\r\n" : "\n";
    if (t.windows) {
        // Wine shows the program under its drive Z: path.
        t.invocationName = "Z:" + t.program;
        for (char &c : t.invocationName) c = c == '/' ? '\\' : c;
        t.missingPort = "\\\\.\\NOPORT";
        t.portGoneError = 21;  // ERROR_NOT_READY
        t.keepsUndescribedTermios = false;
        t.keepsCtsFlow = true;
    } else {
        t.invocationName = t.program;
        t.missingPort = "/nonexistent/tripwick-port";
        t.portGoneError = 5;  // EIO
    }
    return t;
}

// Under Wine, a COM port linked to a /dev/ttyS device would reach this
// machine's console: such links are removed before every run, and without a
// prefix of its own (whose links the tests control) nothing runs at all.
bool wineCannotReachTheConsole() {
    const char *prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr || *prefix == '\0') return false;
    const std::string folder = std::string(prefix) + "/dosdevices";
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr) return false;
    while (const dirent *entry = readdir(dir)) {
        const std::string link = folder + "/" + entry->d_name;
        char target[256] = {};
        if (readlink(link.c_str(), target, sizeof target - 1) <= 0) continue;
        if (std::strncmp(target, "/dev/ttyS", 9) == 0) unlink(link.c_str());
    }
    closedir(dir);
    return true;
}

}  // namespace

std::string Target::text(const std::string &lines) const {
    std::string result;
    for (const char c : lines) {
        if (c == '\n') {
            result += eol;
        } else {
            result += c;
        }
    }
    return result;
}

std::string Target::portName(const std::string &slavePath, int comNumber) const {
    if (!windows) return slavePath;
    // Wine reaches COMn through the link $WINEPREFIX/dosdevices/comn.
    static int portsMapped = 0;
    if (comNumber == 0) comNumber = 10 + (getpid() + portsMapped++) % 240;
    const char *prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr) return "";
    const std::string link = std::string(prefix) + "/dosdevices/com" + std::to_string(comNumber);
    unlink(link.c_str());
    if (symlink(slavePath.c_str(), link.c_str()) != 0) return "";
    // COM1 to COM9 are device names anywhere; higher ones need the \\.\ form.
    const std::string name = "COM" + std::to_string(comNumber);
    return comNumber <= 9 ? name : "\\\\.\\" + name;
}

std::pair<std::string, bool> Target::inputAsRead(const std::string &input) const {
    if (!windows) return {input, false};
    std::string read;
    for (size_t i = 0; i < input.size(); ++i) {
        if (input[i] == '\x1a') return {read, true};
        if (input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n') continue;
        read += input[i];
    }
    return {read, false};
}

const Target &target() {
    static const Target t = makeTarget();
    return t;
}

std::string menu() {
    return target().text(
        "Please enter a command\n(1) Toggle RTS Line HIGH\n(2) Toggle RTS Line LOW\n\n"
        "What is your selection? ");
}

Program::Program(const std::vector<std::string> &args, const Options &options) {
    if (target().windows && !wineCannotReachTheConsole()) {
        err_ = "refusing to run under Wine without a WINEPREFIX of the tests' own\n";
        return;
    }
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    if (pipe2(err, O_CLOEXEC) != 0) return;
    if (options.terminal < 0 && (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)) return;

    std::vector<std::string> argvStrings = target().launcher;
    argvStrings.push_back(target().program);
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &s : argvStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStrings;
    for (char **e = environ; *e != nullptr; ++e) {
        // The tests decide about these themselves.
        if (std::strncmp(*e, "POSIXLY_CORRECT=", 16) == 0) continue;
        envStrings.push_back(*e);
    }
    envStrings.insert(envStrings.end(), options.environment.begin(), options.environment.end());
    std::vector<char *> envp;
    for (std::string &s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.terminal >= 0) {
        posix_spawn_file_actions_adddup2(&actions, options.terminal, 0);
        posix_spawn_file_actions_adddup2(&actions, options.terminal, 1);
    } else {
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    }
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : {in[0], out[1], err[1]}) {
        if (fd >= 0) close(fd);
    }
    in_ = options.terminal >= 0 ? -1 : in[1];
    out_fd_ = options.terminal >= 0 ? -1 : out[0];
    err_fd_ = err[0];
    if (spawned == 0) pid_ = pid;
}

Program::~Program() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (int fd : {in_, out_fd_, err_fd_}) {
        if (fd >= 0) close(fd);
    }
}

void Program::send(const std::string &input) {
    if (in_ < 0) return;
    // A program that has ended reads nothing more; do not die of SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    size_t done = 0;
    while (done < input.size()) {
        const ssize_t n = write(in_, input.data() + done, input.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
}

void Program::closeInput() {
    if (in_ >= 0) close(in_);
    in_ = -1;
}

// Reads what is there (waiting until `deadline` at most); false once both
// output streams are at their end or the time is up.
bool Program::pump(std::chrono::steady_clock::time_point deadline) {
    pollfd fds[2];
    int count = 0;
    for (int fd : {out_fd_, err_fd_}) {
        if (fd >= 0) fds[count++] = pollfd{fd, POLLIN, 0};
    }
    if (count == 0) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (poll(fds, static_cast<nfds_t>(count), static_cast<int>(left.count())) <= 0) return false;
    for (int i = 0; i < count; ++i) {
        if (fds[i].revents == 0) continue;
        char buffer[4096];
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        const bool isOut = fds[i].fd == out_fd_;
        if (n > 0) {
            (isOut ? out_ : err_).append(buffer, static_cast<size_t>(n));
        } else {
            close(fds[i].fd);
            (isOut ? out_fd_ : err_fd_) = -1;
        }
    }
    return true;
}

namespace {

int occurrences(const std::string &text, const std::string &needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

}  // namespace

bool Program::waitForOutput(const std::string &needle, int times, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (occurrences(out_, needle) < times) {
        if (!pump(deadline)) return occurrences(out_, needle) >= times;
    }
    return true;
}

bool Program::waitForError(const std::string &needle, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (err_.find(needle) == std::string::npos) {
        if (!pump(deadline)) return err_.find(needle) != std::string::npos;
    }
    return true;
}

Outcome Program::finish(std::chrono::milliseconds limit) {
    Outcome outcome;
    closeInput();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (pump(deadline)) {
    }
    if (pid_ <= 0) return outcome;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            outcome.timedOut = true;
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        usleep(2000);
    }
    pid_ = -1;
    // Whatever is left after the end (a terminal's output is read by the test).
    while (pump(std::chrono::steady_clock::now() + std::chrono::milliseconds(50))) {
    }
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    outcome.out = out_;
    outcome.err = err_;
    return outcome;
}

Outcome runProgram(const std::vector<std::string> &args, const std::string &input,
                   const std::vector<std::string> &environment) {
    Program::Options options;
    options.environment = environment;
    Program program(args, options);
    program.send(input);
    return program.finish();
}

// A pseudo-terminal pair standing in for a serial port: the program opens the
// slave by its path, and the test watches the master, which sees every byte
// sent and, through tcgetattr, the slave's settings.
#pragma once

#include <termios.h>

#include <string>

class PtyPair {
 public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0; }
    const std::string &slavePath() const { return slavePath_; }
    int master() const { return master_; }

    termios settings() const;
    void setSettings(const termios &settings);
    // A port as a user might have left it: 9600 baud, two stop bits,
    // XON/XOFF and RTS/CTS handshake, raw otherwise.
    void setUserSettings();

    // Everything the master receives until `quietMs` pass without a byte
    // (1 MiB at most).
    std::string drain(int quietMs = 50);
    // What the master receives until it ends with `ending`, or until
    // `limitMs` have passed.
    std::string receiveUntil(const std::string &ending, int limitMs = 10000);
    // Closes the master, as if the port vanished.
    void closeMaster();

 private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

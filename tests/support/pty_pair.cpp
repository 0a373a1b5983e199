#include "pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

PtyPair::PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const char *name = ptsname(master_);
    if (name == nullptr) return;
    slavePath_ = name;
    // Held open so that the pair lives on between the program's opens.
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
}

PtyPair::~PtyPair() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
}

termios PtyPair::settings() const {
    termios t{};
    tcgetattr(master_, &t);
    return t;
}

void PtyPair::setSettings(const termios &settings) { tcsetattr(slave_, TCSANOW, &settings); }

void PtyPair::setUserSettings() {
    termios t = settings();
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    t.c_cflag |= CSTOPB | CRTSCTS | CLOCAL;
    t.c_iflag |= IXON | IXOFF;
    setSettings(t);
}

std::string PtyPair::drain(int quietMs) {
    std::string received;
    // A program that never stops writing must not hold the test forever.
    const size_t limit = 1 << 20;
    while (received.size() < limit) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, quietMs) <= 0 || !(p.revents & POLLIN)) break;
        char buffer[256];
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) break;
        received.append(buffer, static_cast<size_t>(n));
    }
    return received;
}

std::string PtyPair::receiveUntil(const std::string &ending, int limitMs) {
    std::string received;
    const auto endsWell = [&] {
        return received.size() >= ending.size() &&
               received.compare(received.size() - ending.size(), ending.size(), ending) == 0;
    };
    for (int waited = 0; !endsWell() && waited < limitMs; waited += 10) {
        received += drain(10);
    }
    return received;
}

void PtyPair::closeMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

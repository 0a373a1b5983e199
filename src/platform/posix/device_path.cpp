#include "device_path.h"

#include <cstring>

namespace {

bool equalsIgnoringCase(char a, char b) {
    auto lower = [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return lower(a) == lower(b);
}

// COMn with n from 1 to 256 (the largest Windows hands out), no leading zero.
bool comPortNumber(const char *name, unsigned &number) {
    if (!equalsIgnoringCase(name[0], 'c') || !equalsIgnoringCase(name[1], 'o') ||
        !equalsIgnoringCase(name[2], 'm')) {
        return false;
    }
    const char *digits = name + 3;
    if (digits[0] < '1' || digits[0] > '9') return false;
    unsigned value = 0;
    for (const char *p = digits; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || p - digits >= 3) return false;
        value = value * 10 + static_cast<unsigned>(*p - '0');
    }
    if (value > 256) return false;
    number = value;
    return true;
}

}  // namespace

bool devicePathForName(const char *name, std::string &path) {
    if (name == nullptr || name[0] == '\0') return false;
    if (std::strchr(name, '/') != nullptr) {
        path = name;
        return true;
    }
    const char *bare = name;
    if (std::strncmp(bare, "\\\\.\\", 4) == 0) bare += 4;
    if (bare[0] == '\0') return false;
    unsigned number = 0;
    if (comPortNumber(bare, number)) {
        path = "/dev/ttyS" + std::to_string(number - 1);
    } else {
        path = std::string("/dev/") + bare;
    }
    return true;
}

// tripwick: gives trigger signals and drives the RTS line of a serial port,
// on one-character commands from the keyboard or a script.
#include <getopt.h>

#include <cstdio>
#include <cstring>

#include "command_loop.h"
#include "program_exit.h"
#include "trigger_serial_port.h"

namespace {

constexpr int wrongCommandLineStatus = 2;

}  // namespace

int main(int argc, char *argv[]) {
    // Names up to the port's own limit fit, so that paths such as
    // /dev/ttyUSB0 can be given as well as COM1.
    char deviceName[triggerSerialPort::maxNameLength + 1] = "COM1";
    int verboseFlag = 0;  // --verbose and --brief are accepted and change nothing

    const option longOptions[] = {
        {"verbose", no_argument, &verboseFlag, 1},
        {"brief", no_argument, &verboseFlag, 0},
        {"help", no_argument, nullptr, 'h'},
        {"device", required_argument, nullptr, 'd'},
        {nullptr, 0, nullptr, 0},
    };

    for (;;) {
        const int result = getopt_long(argc, argv, "hd:", longOptions, nullptr);
        if (result == -1) break;
        switch (result) {
            case 0:
                break;
            case 'h':
                printUsage(0);
            case 'd': {
                printf("Setting trigger serial device to `%s'\n", optarg);
                const size_t length = strlen(optarg);
                if (length > triggerSerialPort::maxNameLength) {
                    fprintf(stderr,
                            "tripwick::main() ERROR Device name too long (at most %u characters)\n",
                            triggerSerialPort::maxNameLength);
                    terminateProgram(-1);
                }
                memcpy(deviceName, optarg, length + 1);
                break;
            }
            default:  // '?': the parser has written its diagnostic
                printUsage(wrongCommandLineStatus);
        }
    }

    triggerSerialPort *port = new triggerSerialPort(deviceName);
    if (!port->portOpen) {
        fprintf(stderr, "tripwick::main() ERROR Cannot open serial port %s\n", deviceName);
        terminateProgram(-1);
    }
    runCommandLoop(*port);
}

#include "command_loop.h"

#include <cstdio>

#include "console.h"
#include "program_exit.h"

namespace {

const char menuText[] =
    "Please enter a command\n(1) Toggle RTS Line HIGH\n(2) Toggle RTS Line LOW\n\nWhat is your "
    "selection? ";

}  // namespace

void runCommandLoop(triggerSerialPort &port) {
    const bool interactive = standardInputIsTerminal();
    bool anyCommandFailed = false;
    for (;;) {
        printf("%s", menuText);
        // The prompt must be on screen while the program waits, whatever
        // buffering the standard library chose for standard output.
        fflush(stdout);
        const int command = getchar();
        switch (command) {
            case '1':
                if (!port.setRTS(true)) {
                    printf("Failed to set RTS line HIGH");
                    anyCommandFailed = true;
                }
                break;
            case '2':
                if (!port.setRTS(false)) {
                    printf("Failed to set RTS line LOW");
                    anyCommandFailed = true;
                }
                break;
            case '3':
                if (!port.sendTrigger()) {
                    printf("Failed to send trigger");
                    anyCommandFailed = true;
                }
                break;
            case 'q':
                terminateProgram(0);
            case EOF:
                printf("Incorrect input, try again, q to quit.\n\n");
                // At a terminal the end of input is a keystroke and the user
                // may go on typing.  A used-up file or a closed pipe stays at
                // its end, and so does a terminal that reports a read error:
                // the 'q' asked for can never come, so end here.
                if (!interactive || ferror(stdin)) terminateProgram(anyCommandFailed ? 1 : 0);
                clearerr(stdin);
                break;
            default:
                break;
        }
    }
}

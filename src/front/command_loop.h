// The interactive commands of tripwick.
#pragma once

#include "trigger_serial_port.h"

// Shows the menu and carries out one-character commands from standard input
// on `port` until the user quits with 'q':
//   1 raises RTS, 2 lowers RTS, 3 sends the trigger byte, q quits (status 0).
// When standard input is a file or a pipe, its end also ends the program,
// with status 1 if any command failed and 0 otherwise.
[[noreturn]] void runCommandLoop(triggerSerialPort &port);

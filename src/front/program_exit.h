// The two ways tripwick ends.
#pragma once

// Writes the usage text on standard output and ends with `status`
// (0 when asked for help, 2 after a wrong command line).
[[noreturn]] void printUsage(int status);

// Writes "Program Terminating..." on standard output and ends with `status`;
// buffered output is written out first.
[[noreturn]] void terminateProgram(int status);

#include "program_exit.h"

#include <cstdio>
#include <cstdlib>

void printUsage(int status) {
    printf("Usage: %s options\n", "tripwick");
    printf("  -h --help                  Display this usage information.\n");
    printf("  -d --device\t\t\t\t  Serial device to trigger through (i.e. COM1) \n");
    exit(status);
}

void terminateProgram(int status) {
    printf("Program Terminating...\n");
    exit(status);
}

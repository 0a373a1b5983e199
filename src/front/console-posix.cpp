#include <unistd.h>

#include "console.h"

bool standardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

// What tripwick needs to know about its console.
#pragma once

// True when standard input is an interactive terminal, where an end of input
// (Ctrl-D, Ctrl-Z) is a keystroke and more input may follow it.
bool standardInputIsTerminal();

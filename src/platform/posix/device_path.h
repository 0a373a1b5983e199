// Where a Windows-style port name lives on this system.
#pragma once

#include <string>

// "COM3" and "\\.\COM3" (any case) name /dev/ttyS2; a name holding a '/' is
// a path used as given; any other name is looked up under /dev/ ("ttyUSB0").
// Fails for an empty name.
bool devicePathForName(const char *name, std::string &path);

// The core library's one diagnostic printer.
#pragma once

// printf-style; writes the text to standard output as it stands (no prefix, no newline).
// Prints in the device configuration; silent in the desktop configuration.
void debugmsg(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

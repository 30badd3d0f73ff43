// The open operation of the decoder front end's file operations.
#pragma once

#include <cstdio>

// Opens a file as fopen does (null on failure with errno set). The descriptor is
// close-on-exec, so children started by the unit never inherit song files.
FILE *ufopen(const char *filename, const char *mode);

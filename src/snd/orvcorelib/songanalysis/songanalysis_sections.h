// The sections of a result file: an 8-byte name (ASCII, NUL-padded), a little-endian uint32
// size, then that many data bytes. A head of size 0 ends every walk over the sections.
#pragma once

#include "orvsys/orvint.h"

#include <cstdio>

struct songanalysis_section_head {
    char name[8];
    u32 size;
};

// Reads the section head at the file's position. A head that cannot be read whole reads as
// size 0 (and an empty name), so that a cut file ends the walk instead of being misread.
songanalysis_section_head songanalysis_readSectionHead(FILE *fp);

// True when the head's name is `name` (at most 8 characters) over all 8 bytes.
bool songanalysis_sectionIs(const songanalysis_section_head &head, const char *name);

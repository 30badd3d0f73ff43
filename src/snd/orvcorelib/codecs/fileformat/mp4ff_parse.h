// Inside the MP4 atom reader: the leaf atoms it reads, shared by the tree walk and the readers
// of the atoms' bodies.
#pragma once

#include "codecs/fileformat/mp4ff.h"
#include "orvsys/lebytes.h"

namespace orv::mp4ff {

// One atom: the file offsets of its header, its body and its end (bounded by its parent).
struct Atom {
    u32 type;
    s64 start;
    s64 body;
    s64 end;
};

enum class Leaf { ok, noMemory };

// Needs: the position at the atom's body. Reads a leaf atom that playback needs into the
// parsed file or the track (null outside a "trak"); others are left alone. tablesToo false
// passes over the sample tables. Only noMemory makes the parse fail.
Leaf readLeaf(mp4ff_t *f, mp4ff_track_t *track, const Atom &atom, bool tablesToo);

// Frees the track's tables and the track (null allowed).
void freeTrack(mp4ff_track_t *track);

} // namespace orv::mp4ff

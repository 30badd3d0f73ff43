// The MP4 atom reader's walk over the atom tree.
#include "codecs/fileformat/mp4ff_parse.h"

#include <algorithm>
#include <limits>
#include <new>

namespace {

using orv::mp4ff::Atom;

// Containers nest five deep in a well-formed file; deeper nesting is passed over rather than
// followed, which bounds the walk's stack.
constexpr int kMaxDepth = 12;
constexpr s64 kNoEnd = std::numeric_limits<s64>::max();

constexpr u32 kContainers[] = {
    orv::fourccBE("moov"), orv::fourccBE("trak"), orv::fourccBE("edts"), orv::fourccBE("mdia"),
    orv::fourccBE("minf"), orv::fourccBE("stbl"), orv::fourccBE("udta"),
};

bool isContainer(u32 type) {
    for (u32 c : kContainers)
        if (c == type) return true;
    return false;
}

enum class Header { ok, none, bad };

// Reads the atom header at the current position within a level ending at levelEnd. A size of
// 0 means "to the end of the file" at the top level only; any other size smaller than its
// header is bad. The atom's end is bounded by its level.
Header readHeader(mp4ff_t *f, s64 levelEnd, bool topLevel, Atom *atom) {
    atom->start = mp4ff_position(f);
    if (levelEnd != kNoEnd && levelEnd - atom->start < 8) return Header::none;
    u8 head[8];
    if (mp4ff_read_data(f, head, 8) != 8) return Header::none;
    u64 size = orv::getBE32(head);
    atom->type = orv::getBE32(head + 4);
    u64 headerSize = 8;
    if (size == 1) {
        if (mp4ff_read_data(f, head, 8) != 8) return Header::none;
        size = orv::getBE64(head);
        headerSize = 16;
    } else if (size == 0 && topLevel) {
        size = std::numeric_limits<u64>::max();
    }
    if (size < headerSize) return Header::bad;
    atom->body = atom->start + static_cast<s64>(headerSize);
    const u64 room = static_cast<u64>((levelEnd == kNoEnd ? kNoEnd : levelEnd) - atom->start);
    atom->end = size >= room ? levelEnd : atom->start + static_cast<s64>(size);
    return Header::ok;
}

struct Walk {
    mp4ff_t *f;
    bool tablesToo;
};

bool walkLevel(const Walk &w, s64 levelEnd, int depth, mp4ff_track_t *track);

// A new zeroed track, or null when the file already has the most tracks or memory runs out
// (*noMemory tells which).
mp4ff_track_t *addTrack(mp4ff_t *f, bool *noMemory) {
    *noMemory = false;
    if (f->total_tracks >= kMp4MaxTracks) return nullptr;
    auto *t = new (std::nothrow) mp4ff_track_t{};
    if (t == nullptr) {
        *noMemory = true;
        return nullptr;
    }
    t->duration = std::numeric_limits<u64>::max();
    f->track[f->total_tracks++] = t;
    return t;
}

// Descends into a container; a "trak" beyond the track limit is passed over whole.
bool walkContainer(const Walk &w, const Atom &atom, int depth, mp4ff_track_t *track) {
    if (depth + 1 >= kMaxDepth) return true;
    if (atom.type == orv::fourccBE("trak")) {
        bool noMemory = false;
        track = addTrack(w.f, &noMemory);
        if (noMemory) return false;
        if (track == nullptr) return true;
    }
    return walkLevel(w, atom.end, depth + 1, track);
}

void noteTopLevel(mp4ff_t *f, const Atom &atom) {
    f->last_atom = static_cast<u8>(atom.type);
    if (atom.end != kNoEnd) f->file_size = std::max<u64>(f->file_size, static_cast<u64>(atom.end));
    if (atom.type == orv::fourccBE("moov") && atom.end > atom.body) {
        f->moov_read = 1;
        f->moov_offset = static_cast<u64>(atom.start);
        f->moov_size = static_cast<u64>(atom.end - atom.start);
    }
}

// Reads the atoms of one level in order. False when an atom's size is smaller than its header
// or memory runs out; a header that cannot be read ends the level.
bool walkLevel(const Walk &w, s64 levelEnd, int depth, mp4ff_track_t *track) {
    const bool topLevel = depth == 0;
    for (;;) {
        Atom atom{};
        const Header h = readHeader(w.f, levelEnd, topLevel, &atom);
        if (h == Header::none) return true;
        if (h == Header::bad) return false;
        if (topLevel) noteTopLevel(w.f, atom);
        const bool ok = isContainer(atom.type)
                            ? walkContainer(w, atom, depth, track)
                            : orv::mp4ff::readLeaf(w.f, track, atom, w.tablesToo) == orv::mp4ff::Leaf::ok;
        if (!ok) return false;
        if (atom.end == kNoEnd || mp4ff_set_position(w.f, atom.end) != 0) return true;
    }
}

mp4ff_t *openRead(mp4ff_callback_t *stream, bool tablesToo) {
    if (stream == nullptr || stream->read == nullptr || stream->seek == nullptr) return nullptr;
    auto *f = new (std::nothrow) mp4ff_t{};
    if (f == nullptr) return nullptr;
    f->stream = stream;
    if (mp4ff_set_position(f, 0) != 0 || !walkLevel({f, tablesToo}, kNoEnd, 0, nullptr)) {
        mp4ff_close(f);
        return nullptr;
    }
    return f;
}

} // namespace

mp4ff_t *mp4ff_open_read(mp4ff_callback_t *f) {
    return openRead(f, true);
}

mp4ff_t *mp4ff_open_read_metaonly(mp4ff_callback_t *f) {
    return openRead(f, false);
}

void mp4ff_close(mp4ff_t *f) {
    if (f == nullptr) return;
    for (s32 i = 0; i < f->total_tracks; ++i) orv::mp4ff::freeTrack(f->track[i]);
    delete f;
}

// The seek-table file: reading it back with every check a damaged file needs, and writing it.
#include "codecs/fileformat/fileops.h"
#include "codecs/fileformat/seektable.h"
#include "orvsys/lebytes.h"

#include <algorithm>
#include <array>

namespace {

using TrunkBytes = std::array<u8, kSeektableTrunkBytes>;

void encodeTrunk(const seektable_trunk &t, TrunkBytes &out) {
    u8 *p = out.data();
    for (const seektable_block &block : t.blockArray) {
        orv::putLE32(p, block.firstFrameOffset);
        for (int i = 0; i < kSeektableBlockFrames; ++i) orv::putLE16(p + 4 + 2 * i, block.element[i]);
        p += kSeektableBlockBytes;
    }
    orv::putLE32(p, static_cast<u32>(t.blockIndex));
    orv::putLE32(p + 4, 0); // the link has no meaning in a file
}

void decodeTrunk(const TrunkBytes &in, seektable_trunk &t) {
    const u8 *p = in.data();
    for (seektable_block &block : t.blockArray) {
        block.firstFrameOffset = orv::getLE32(p);
        for (int i = 0; i < kSeektableBlockFrames; ++i) block.element[i] = orv::getLE16(p + 4 + 2 * i);
        p += kSeektableBlockBytes;
    }
    t.blockIndex = static_cast<s32>(orv::getLE32(p));
    t.nextTrunk = nullptr;
}

// Checks a trunk whose first block must start at *expectedOffset: it holds 1 to 128 blocks and
// every block starts where the one before it ended. Moves *expectedOffset past its last block.
bool trunkFits(const seektable_trunk &t, u32 *expectedOffset) {
    if (t.blockIndex < 1 || t.blockIndex > kSeektableTrunkBlocks) return false;
    for (s32 b = 0; b < t.blockIndex; ++b) {
        const seektable_block &block = t.blockArray[b];
        if (block.firstFrameOffset != *expectedOffset) return false;
        u64 end = block.firstFrameOffset;
        for (u16 length : block.element) end += length;
        if (end > INT32_MAX) return false;
        *expectedOffset = static_cast<u32>(end);
    }
    return true;
}

// Reads trunks until a read falls short; false when one of them is damaged or memory runs out.
bool readTrunks(seektable_struct *table, FILE *file) {
    const u64 framesStored = table->numAudioFrames / kSeektableBlockFrames * kSeektableBlockFrames;
    u64 blocksLeft = framesStored / kSeektableBlockFrames;
    u32 expectedOffset = static_cast<u32>(table->firstFrameOffset);
    bool lastWasFull = true;
    TrunkBytes bytes;
    seektable_trunk trunk;
    while (orv::readExactly(file, bytes.data(), bytes.size())) {
        decodeTrunk(bytes, trunk);
        if (!lastWasFull || !trunkFits(trunk, &expectedOffset) ||
            static_cast<u64>(trunk.blockIndex) > blocksLeft)
            return false;
        if (addTrunk(table, &trunk) == nullptr) return false;
        blocksLeft -= static_cast<u64>(trunk.blockIndex);
        lastWasFull = trunk.blockIndex == kSeektableTrunkBlocks;
    }
    // Every full block of the recorded frames must be there.
    return blocksLeft == 0;
}

bool writeAll(FILE *file, const u8 *bytes, size_t count) {
    return fileCallback.write(bytes, 1, count, file) == count;
}

} // namespace

seektable_struct *seektable_createFromFile(seektable_mode mode, FILE *file, s32 audioFrameSize) {
    u8 head[kSeektableHeaderBytes];
    if (!orv::readExactly(file, head, sizeof head) || orv::getLE32(head) != kSeektableMagic) return nullptr;
    const s32 firstFrameOffset = static_cast<s32>(orv::getLE32(head + 4));
    const s32 storedFrameSize = static_cast<s32>(orv::getLE32(head + 12));
    if (firstFrameOffset < 0 || storedFrameSize < 1 || storedFrameSize != audioFrameSize ||
        orv::getLE32(head + 16) != 0)
        return nullptr;
    seektable_struct *table = seektable_create(mode, storedFrameSize);
    if (table == nullptr) return nullptr;
    seektable_setFirstFrameOffset(table, firstFrameOffset);
    table->numAudioFrames = orv::getLE32(head + 8);
    table->isPartial = orv::getLE32(head + 20);
    table->toBuild = table->isPartial == 0 ? 1 : 0;
    if (!readTrunks(table, file)) {
        seektable_destroy(table);
        return nullptr;
    }
    // The trunks end at the next frame to record; the working block starts there.
    u32 next = static_cast<u32>(firstFrameOffset);
    for (const seektable_trunk *t = table->trunkArray; t != nullptr; t = t->nextTrunk) {
        const seektable_block &last = t->blockArray[t->blockIndex - 1];
        next = last.firstFrameOffset;
        for (u16 length : last.element) next += length;
    }
    table->workingBlock.firstFrameOffset = next;
    table->currentAnalysisPosition = static_cast<s32>(std::min<u32>(table->numAudioFrames, INT32_MAX));
    return table;
}

s32 seektable_writeToFile(const seektable_struct *table, FILE *file, s32 isCompressed) {
    u8 head[kSeektableHeaderBytes];
    orv::putLE32(head, kSeektableMagic);
    orv::putLE32(head + 4, static_cast<u32>(table->firstFrameOffset));
    orv::putLE32(head + 8, table->numAudioFrames);
    orv::putLE32(head + 12, static_cast<u32>(table->audioFrameSize));
    orv::putLE32(head + 16, static_cast<u32>(isCompressed));
    orv::putLE32(head + 20, table->isPartial);
    if (!writeAll(file, head, sizeof head)) return -1;
    TrunkBytes bytes;
    for (const seektable_trunk *t = table->trunkArray; t != nullptr; t = t->nextTrunk) {
        encodeTrunk(*t, bytes);
        if (!writeAll(file, bytes.data(), bytes.size())) return -1;
    }
    return 0;
}

s32 seektable_buildAndWriteToFile(u32 firstFrameOffset, const s16 *lengths, u32 count, s32 audioFrameSize,
                                  FILE *file, s32 isCompressed) {
    seektable_struct *table = seektable_create(SEEKTABLE_MODE_OVERWRITE, audioFrameSize);
    if (table == nullptr || firstFrameOffset > INT32_MAX || count > INT32_MAX) {
        seektable_destroy(table);
        return -1;
    }
    seektable_setFirstFrameOffset(table, static_cast<s32>(firstFrameOffset));
    s32 result = seektable_addElements(table, lengths, static_cast<s32>(count)) < 0 ? -1 : 0;
    if (result == 0) result = seektable_writeToFile(table, file, isCompressed);
    seektable_destroy(table);
    return result;
}

// The seek table in memory: recording frame lengths and looking positions up.
#include "codecs/fileformat/seektable.h"

#include <algorithm>
#include <new>

namespace {

constexpr u32 kNoOffset = 0xFFFFFFFF;

seektable_trunk *lastTrunk(seektable_struct *table) {
    seektable_trunk *t = table->trunkArray;
    while (t != nullptr && t->nextTrunk != nullptr) t = t->nextTrunk;
    return t;
}

u32 sumOfLengths(const seektable_block &block, int count) {
    u32 sum = 0;
    for (int i = 0; i < count; ++i) sum += block.element[i];
    return sum;
}

// Moves the full working block into the trunks and starts the next one after it.
bool storeWorkingBlock(seektable_struct *table) {
    seektable_trunk *t = lastTrunk(table);
    if (t == nullptr || t->blockIndex >= kSeektableTrunkBlocks) t = addTrunk(table, nullptr);
    if (t == nullptr) return false;
    t->blockArray[t->blockIndex++] = table->workingBlock;
    const u32 next =
        table->workingBlock.firstFrameOffset + sumOfLengths(table->workingBlock, kSeektableBlockFrames);
    table->workingBlock = {};
    table->workingBlock.firstFrameOffset = next;
    table->elementIndex = 0;
    return true;
}

// The file offset of frame index, when it lies in a stored block; else -1.
s64 storedFrameOffset(const seektable_struct *table, s32 index) {
    const seektable_trunk *t = table->trunkArray;
    while (t != nullptr && index >= kSeektableTrunkFrames) {
        index -= kSeektableTrunkFrames;
        t = t->nextTrunk;
    }
    if (t == nullptr || index >= t->blockIndex * kSeektableBlockFrames) return -1;
    const seektable_block &block = t->blockArray[index / kSeektableBlockFrames];
    return static_cast<s64>(block.firstFrameOffset) + sumOfLengths(block, index % kSeektableBlockFrames);
}

} // namespace

seektable_struct *seektable_create(seektable_mode mode, s32 audioFrameSize) {
    if (audioFrameSize < 1) return nullptr;
    auto *table = new (std::nothrow) seektable_struct{};
    if (table == nullptr) return nullptr;
    table->workingBlock.firstFrameOffset = kNoOffset;
    table->firstFrameOffset = -1;
    table->audioFrameSize = audioFrameSize;
    table->mode = mode;
    table->isPartial = 1;
    table->toBuild = 1;
    return table;
}

void seektable_destroy(seektable_struct *table) {
    if (table == nullptr) return;
    seektable_trunk *t = table->trunkArray;
    while (t != nullptr) {
        seektable_trunk *next = t->nextTrunk;
        delete t;
        t = next;
    }
    delete table;
}

void seektable_setFirstFrameOffset(seektable_struct *table, s32 offset) {
    table->numAudioFrames = 0;
    table->firstFrameOffset = offset;
    table->workingBlock = {};
    table->workingBlock.firstFrameOffset = static_cast<u32>(offset);
    table->elementIndex = 0;
    table->isPartial = 1;
    table->currentPlayPosition = 0;
    table->currentAnalysisPosition = 0;
}

void seektable_finalize(seektable_struct *table) {
    table->isPartial = 0;
}

seektable_trunk *addTrunk(seektable_struct *table, const seektable_trunk *trunkToCopy) {
    auto *t = new (std::nothrow) seektable_trunk{};
    if (t == nullptr) return nullptr;
    if (trunkToCopy != nullptr) *t = *trunkToCopy;
    t->nextTrunk = nullptr;
    seektable_trunk *last = lastTrunk(table);
    (last == nullptr ? table->trunkArray : last->nextTrunk) = t;
    return t;
}

s32 seektable_addElement(seektable_struct *table, s32 frameLength) {
    if (table->firstFrameOffset < 0) return -1;
    if (table->toBuild == 0) return 0;
    if (table->currentPlayPosition != table->currentAnalysisPosition) {
        table->currentPlayPosition += 1;
        return 1;
    }
    // A table read from a file whose last frames lay in an unstored block cannot go on
    // recording: the offset of its next frame is unknown.
    const bool blockAligned =
        (table->numAudioFrames - static_cast<u32>(table->elementIndex)) % kSeektableBlockFrames == 0;
    if (frameLength < 0 || frameLength > 0xFFFF || !blockAligned) {
        table->toBuild = 0;
        return frameLength < 0 || frameLength > 0xFFFF ? -1 : 0;
    }
    table->workingBlock.element[table->elementIndex++] = static_cast<u16>(frameLength);
    if (table->elementIndex == kSeektableBlockFrames && !storeWorkingBlock(table)) {
        table->elementIndex -= 1;
        table->toBuild = 0;
        return 0;
    }
    table->numAudioFrames += 1;
    table->currentPlayPosition += 1;
    table->currentAnalysisPosition += 1;
    return 1;
}

s32 seektable_addElements(seektable_struct *table, const s16 *lengths, s32 count) {
    s32 result = 1;
    for (s32 i = 0; i < count; ++i) result = seektable_addElement(table, lengths[i]);
    return result;
}

s32 seektable_getFilePosition(seektable_struct *table, s32 *samplePosition, s32 *framesToSkip) {
    if (table->firstFrameOffset < 0 || *samplePosition < 0) return -1;
    const s32 frameIndex = *samplePosition / table->audioFrameSize;
    const s32 remainder = *samplePosition % table->audioFrameSize;
    if (frameIndex < 2) {
        // Decoding restarts at the first frame, counted from there; a target in the second
        // frame drops the whole first frame's samples too.
        *samplePosition = remainder + frameIndex * table->audioFrameSize;
        *framesToSkip = 0;
        table->currentPlayPosition = 0;
        return table->firstFrameOffset;
    }
    const s32 runIn = std::max(std::min(frameIndex, *framesToSkip), 2);
    const s64 offset = storedFrameOffset(table, frameIndex - runIn);
    if (offset < 0 || offset > INT32_MAX) return -1;
    *samplePosition = remainder;
    *framesToSkip = runIn;
    table->currentPlayPosition = frameIndex;
    return static_cast<s32>(offset);
}

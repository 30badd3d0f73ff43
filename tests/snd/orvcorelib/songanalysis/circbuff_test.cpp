// The value ring: all-or-nothing and partial transfers, overlapping pairs, reads by position.
#include "songanalysis/circbuff/circbuff.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

struct RingDeleter {
    void operator()(circbuff_struct *cb) const { circbuff_destroy(cb); }
};
using Ring = std::unique_ptr<circbuff_struct, RingDeleter>;

Ring makeRing(u32 size) {
    return Ring(circbuff_new(size));
}

void writeValues(circbuff_struct *cb, std::vector<float> values) {
    ASSERT_EQ(circbuff_write(cb, values.data(), static_cast<s32>(values.size()), 1),
              static_cast<s32>(values.size()));
}

TEST(ValueRing, AllOrNothingNeedsOneSlotToSpare) {
    auto cb = makeRing(4);
    writeValues(cb.get(), {1, 2, 3});
    float out[8] = {};
    EXPECT_EQ(circbuff_read(cb.get(), out, 3, 0), 0); // 3 unread: a read of 3 is refused
    EXPECT_EQ(circbuff_read(cb.get(), out, 2, 0), 2);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 2);

    auto full = makeRing(4);
    writeValues(full.get(), {1, 2, 3});
    const float one = 9;
    EXPECT_EQ(circbuff_write(full.get(), &one, 1, 0), 0); // free room 1: refused
    EXPECT_EQ(circbuff_write(full.get(), &one, 1, 1), 1); // partial: accepted, now full
    EXPECT_EQ(circbuff_getNumberOfUnreadData(full.get()), 4);
    EXPECT_EQ(circbuff_write(full.get(), &one, 1, 1), 0);
}

TEST(ValueRing, PartialReadTakesWhatIsThere) {
    auto cb = makeRing(8);
    writeValues(cb.get(), {5, 6, 7});
    float out[10] = {};
    EXPECT_EQ(circbuff_read(cb.get(), out, 10, 1), 3);
    EXPECT_EQ(circbuff_getNumberOfUnreadData(cb.get()), 0);
    EXPECT_EQ(out[2], 7);
    EXPECT_EQ(circbuff_read(cb.get(), out, 10, 1), 0);
}

TEST(ValueRing, ZeroAndNegativeSizesMoveNothing) {
    auto cb = makeRing(4);
    float v[4] = {1, 2, 3, 4};
    EXPECT_EQ(circbuff_write(cb.get(), v, 0, 0), 0);
    EXPECT_EQ(circbuff_write(cb.get(), v, -3, 1), 0);
    writeValues(cb.get(), {1});
    EXPECT_EQ(circbuff_read(cb.get(), v, -2, 1), 0);
    EXPECT_EQ(circbuff_readAtOffset(cb.get(), v, -1, 0), 0);
    EXPECT_EQ(circbuff_readLatest(cb.get(), v, -1), 0);
    EXPECT_EQ(circbuff_getNumberOfUnreadData(cb.get()), 1);
}

TEST(ValueRing, OverlappingPairsAcrossTheWrap) {
    auto cb = makeRing(4);
    float out[2] = {};
    // At the very start the pair reaches back to position -1: the last slot, not memory
    // before the ring.
    writeValues(cb.get(), {10});
    EXPECT_EQ(circbuff_read2(cb.get(), out), 2);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 10);

    writeValues(cb.get(), {11, 12});
    circbuff_read2(cb.get(), out);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[1], 11);
    // Positions 3 and 4 lie in slots 3 and 0.
    writeValues(cb.get(), {13, 14});
    circbuff_read2(cb.get(), out);
    EXPECT_EQ(out[0], 11);
    EXPECT_EQ(out[1], 12);
    circbuff_read2(cb.get(), out);
    circbuff_read2(cb.get(), out);
    EXPECT_EQ(out[0], 13);
    EXPECT_EQ(out[1], 14);
}

TEST(ValueRing, ReadsByPositionAndNewestAcrossWraps) {
    auto cb = makeRing(4);
    float out[4] = {};
    writeValues(cb.get(), {5, 6, 7});
    EXPECT_EQ(circbuff_readLatest(cb.get(), out, 2), 2);
    EXPECT_EQ(out[0], 6);
    EXPECT_EQ(out[1], 7);

    // Drain and refill several times so that the running positions pass the size.
    for (int round = 0; round < 5; ++round) {
        float sink[3];
        ASSERT_EQ(circbuff_read(cb.get(), sink, 3, 1), 3);
        const float base = 100.0f * (round + 1);
        writeValues(cb.get(), {base, base + 1, base + 2});
    }
    EXPECT_EQ(circbuff_readLatest(cb.get(), out, 3), 3);
    EXPECT_EQ(out[0], 500);
    EXPECT_EQ(out[2], 502);
    const s32 newest = cb->iWrite - 1;
    EXPECT_EQ(circbuff_readAtOffset(cb.get(), out, 2, newest - 1), 2);
    EXPECT_EQ(out[0], 501);
    EXPECT_EQ(out[1], 502);
    EXPECT_EQ(circbuff_getNumberOfUnreadData(cb.get()), 3); // position reads change nothing
}

TEST(ValueRing, IntegersSurviveBitForBit) {
    auto cb = makeRing(8);
    const s32 frames[] = {0, 1, 0x7FFFFFFF, -5, 0x7FC00001}; // the last one is a NaN pattern
    for (s32 frame : frames) {
        float slot;
        std::memcpy(&slot, &frame, sizeof slot);
        ASSERT_EQ(circbuff_write(cb.get(), &slot, 1, 0), 1);
    }
    for (s32 frame : frames) {
        float slot;
        ASSERT_EQ(circbuff_read(cb.get(), &slot, 1, 1), 1);
        s32 back;
        std::memcpy(&back, &slot, sizeof back);
        EXPECT_EQ(back, frame);
    }
}

TEST(ValueRing, ResetAndLifetime) {
    EXPECT_EQ(circbuff_new(0), nullptr);
    EXPECT_EQ(circbuff_destroy(nullptr), nullptr);
    auto cb = makeRing(4);
    writeValues(cb.get(), {1, 2});
    circbuff_reset(cb.get());
    EXPECT_EQ(cb->iRead, 0);
    EXPECT_EQ(cb->iWrite, 0);
    float out[4] = {9, 9, 9, 9};
    circbuff_readAtOffset(cb.get(), out, 4, 0);
    for (float v : out) EXPECT_EQ(v, 0);
}

} // namespace

// Huffman decoding of one granule's and channel's spectral values: the big-value regions
// with their pair tables and escape bits, then the count1 quadruples.
#include "codecs/mp3dec/mp3common.h"

#include "orvsys/lebytes.h"

#include <algorithm>

namespace {

// A 64-bit cache over a byte range; past the range it reads zero bits. `used` counts the bits
// consumed since the start position, so a code that runs past the granule's end is seen.
struct HuffReader {
    const unsigned char *ptr;
    const unsigned char *end;
    u64 cache;
    int bits;
    int used;

    // Tops the cache up to 57..64 bits: whole bytes, the bits below them zero.
    void refill() {
        if (bits > 56) return;
        if (end - ptr >= 8) [[likely]] {
            const int take = (64 - bits) >> 3; // 1..8 bytes
            const u64 word = orv::getBE64(ptr) & (~u64{0} << (64 - 8 * take));
            cache |= word >> bits;
            ptr += take;
            bits += 8 * take;
            return;
        }
        while (bits <= 56) {
            const u64 byte = ptr < end ? *ptr++ : 0;
            cache |= byte << (56 - bits);
            bits += 8;
        }
    }
    u32 peek(int n) const { return static_cast<u32>(cache >> (64 - n)); }
    void skip(int n) {
        cache <<= n;
        bits -= n;
        used += n;
    }
    u32 read(int n) {
        if (n == 0) return 0;
        const u32 v = peek(n);
        skip(n);
        return v;
    }
};

// Walks the lookup tree below a root entry that is a node, on a copy of the cache (so the
// reader itself stays in registers). Returns the leaf's payload with the code's length in
// bits 16 and up.
[[gnu::noinline]] u32 decodeBelowRoot(u64 cache, const u32 *tab, int levelBits, u32 e) {
    u32 length = 0;
    while (e & kHuffNode) {
        cache <<= levelBits;
        length += static_cast<u32>(levelBits);
        levelBits = static_cast<int>((e >> 16) & 0xFF);
        e = tab[(e & 0xFFFF) + static_cast<u32>(cache >> (64 - levelBits))];
    }
    length += (e >> 16) & 0xFF;
    return (e & 0xFFFF) | (length << 16);
}

// Returns a code's leaf payload and consumes the code. Most codes end within the root bits.
inline u32 decodeSymbol(HuffReader &r, const u32 *tab, int rootBits) {
    u32 e = tab[r.peek(rootBits)];
    if (e & kHuffNode) e = decodeBelowRoot(r.cache, tab, rootBits, e);
    r.skip(static_cast<int>(e >> 16));
    return e & 0xFFFF;
}

// Set bits of a 4-bit value.
constexpr u8 kOnes[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

s32 signMagnitude(u32 mag, u32 sign) {
    return static_cast<s32>(mag | (sign << 31));
}

template <bool kEscapes>
bool decodePairRun(HuffReader &reader, s32 *out, int start, int end, const u32 *tab, int rootBits,
                   int linBits, int bits) {
    // A local copy: the stores to out could otherwise alias the reader's counters.
    HuffReader r = reader;
    for (int i = start; i < end; i += 2) {
        r.refill();
        const u32 xy = decodeSymbol(r, tab, rootBits);
        const u32 x = xy >> 8, y = xy & 0xFF;
        s32 vx, vy;
        if constexpr (kEscapes) {
            // Each value: its escape bits (for 15) and then its sign bit.
            u32 mx = x, my = y;
            if (x == 15) mx += r.read(linBits);
            vx = mx ? signMagnitude(mx, r.read(1)) : 0;
            if (y == 15) my += r.read(linBits);
            vy = my ? signMagnitude(my, r.read(1)) : 0;
        } else {
            // Without escapes the sign bits of x and y follow each other: the first belongs
            // to x when x is not 0. Taken without branches on the values, which are random.
            const u32 nx = x != 0, ny = y != 0;
            const u32 two = r.peek(2);
            const u32 first = two >> 1, second = two & 1;
            r.skip(static_cast<int>(nx + ny));
            vx = signMagnitude(x, first & nx);
            vy = signMagnitude(y, (nx ? second : first) & ny);
        }
        if (r.used > bits) return false;
        out[i] = vx;
        out[i + 1] = vy;
    }
    reader = r;
    return true;
}

// Decodes the pairs of values [start, end) with table t. Returns false on a bad table or when
// the codes need more than `bits` bits.
bool decodePairs(HuffReader &r, s32 *out, int start, int end, int t, int bits) {
    if (start >= end) return true;
    if (t < 0 || t >= HUFF_PAIRTABS) return false;
    const HuffTabLookup &look = lmp3_huffTabLookup[t];
    if (look.tabType == HuffTabType::invalidTab) return false;
    if (look.tabType == HuffTabType::noBits) {
        std::fill(out + start, out + end, 0);
        return true;
    }
    const u32 *tab = lmp3_huffTable + lmp3_huffTabOffset[t];
    if (look.linBits) return decodePairRun<true>(r, out, start, end, tab, look.rootBits, look.linBits, bits);
    return decodePairRun<false>(r, out, start, end, tab, look.rootBits, 0, bits);
}

// Decodes count1 quadruples from `start` while values and bits remain; a quadruple that runs
// past the granule's bits is dropped. Returns the number of values decoded in all.
int decodeQuads(HuffReader &reader, s32 *out, int start, int table, int bits) {
    HuffReader r = reader; // a local copy, as for the pairs
    const u32 *tab = lmp3_quadTable + lmp3_quadTabOffset[table];
    const int rootBits = lmp3_quadTabMaxBits[table];
    int i = start;
    while (i < MAX_NSAMP - 3 && r.used < bits) {
        r.refill();
        const u32 vwxy = decodeSymbol(r, tab, rootBits);
        // A sign bit follows for each value of 1, in the order v w x y: one read for all.
        int n = kOnes[vwxy & 15u];
        const u32 signs = r.read(n);
        if (r.used > bits) break;
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) {
            // Without branches on the values, which are random.
            const u32 one = (vwxy >> (3 - k)) & 1;
            n -= static_cast<int>(one);
            out[i + k] = signMagnitude(one, (signs >> n) & one);
        }
        i += 4;
    }
    reader = r;
    return i;
}

// End of the first and second big-value regions.
void regionBounds(const FrameHeader *fh, const SideInfoSub *sis, int bigEnd, int *r1, int *r2) {
    const SFBandTable *sfb = fh->sfBand;
    if (sis->winSwitchFlag && sis->blockType == 2) {
        if (!sis->mixedBlock) {
            *r1 = 3 * sfb->s[std::min((sis->region0Count + 1) / 3, 13)];
        } else if (fh->ver == MPEG1) {
            *r1 = sfb->l[std::min(sis->region0Count + 1, 22)];
        } else {
            *r1 = sfb->l[6] + 2 * (sfb->s[4] - sfb->s[3]);
        }
        *r2 = MAX_NSAMP;
    } else {
        *r1 = sfb->l[std::min(sis->region0Count + 1, 22)];
        *r2 = sfb->l[std::min(sis->region0Count + sis->region1Count + 2, 22)];
    }
    *r1 = std::min(*r1, bigEnd);
    *r2 = std::clamp(*r2, *r1, bigEnd);
}

} // namespace

int lmp3_DecodeHuffman(MP3DecInfo *mp3DecInfo, const unsigned char *buf, int *bitOffset, int huffBlockBits,
                       int gr, int ch) {
    if (!mp3DecInfo || !mp3DecInfo->FrameHeaderPS || !mp3DecInfo->SideInfoPS || !mp3DecInfo->HuffmanInfoPS ||
        !buf || !bitOffset)
        return -1;
    if (gr < 0 || gr >= MAX_NGRAN || ch < 0 || ch >= MAX_NCHAN || *bitOffset < 0 || *bitOffset > 7 ||
        huffBlockBits < 0)
        return -1;
    const FrameHeader *fh = mp3DecInfo->FrameHeaderPS;
    const SideInfoSub *sis = &mp3DecInfo->SideInfoPS->sis[gr][ch];
    HuffmanInfo *hi = mp3DecInfo->HuffmanInfoPS;
    s32 *out = hi->huffDecBuf[ch];

    const int startOffset = *bitOffset;
    const int endBit = startOffset + huffBlockBits;
    HuffReader r{buf, buf + ((endBit + 7) >> 3), 0, 0, 0};
    r.refill();
    r.skip(startOffset);
    r.used = 0;

    const int bigEnd = std::min(2 * sis->nBigvals, MAX_NSAMP);
    int r1, r2;
    regionBounds(fh, sis, bigEnd, &r1, &r2);
    if (!decodePairs(r, out, 0, r1, sis->tableSelect[0], huffBlockBits) ||
        !decodePairs(r, out, r1, r2, sis->tableSelect[1], huffBlockBits) ||
        !decodePairs(r, out, r2, bigEnd, sis->tableSelect[2], huffBlockBits))
        return -1;

    const int nDecoded = decodeQuads(r, out, bigEnd, sis->count1TableSelect & 1, huffBlockBits);
    hi->nonZeroBound[ch] = nDecoded;
    std::fill(out + nDecoded, out + MAX_NSAMP, 0);

    *bitOffset = endBit & 7;
    return endBit >> 3;
}

// Variable-rate reader over a circular buffer of 16-bit audio: each read produces a block of
// frames taken at a fractional position that advances by a signed rate per output frame,
// through one of six interpolation methods. A deck turns its playing speed (pitch, scratch,
// reverse) into sound with it.
//
// Positions and rates are Q14 frames (0x4000 = one frame, or a rate of 1.0); samples are
// audio16, interleaved left/right for two channels. Rates are limited to +-8.0.
//
// Each resampler belongs to one thread. Reads and writes allocate nothing, take no locks and
// do no I/O apart from a rare, rate-limited underrun notice; everything that allocates
// happens in resampler_new and resampler_setBuffer.
#pragma once

#include "orvsys/orvint.h"

enum resampler_method : u32 {
    NEAREST = 0,
    LINEAR = 1,
    THREEPT = 2,     // quadratic through three frames
    FIRSINCTAB = 3,  // anti-aliasing FIR from a Kaiser-windowed sinc table
    FIRSINCWIN = 4,  // Hann-windowed sinc computed per output frame
    FIRSINCTAB2 = 5, // stereo: two stages, FIR onto a 1/8-frame grid then linear
};

struct resampler_struct;
// Produces up to n frames into pOut, zero-filling what it cannot read; returns the frames read.
using resampler_kernel = s32 (*)(resampler_struct *r, audio16 *pOut, s32 n);

struct resampler_struct {
    audio16 *pBuffer;         // the circular buffer being read: the caller's or the internal one
    u32 iBufferSize;          // frames
    audio16 *pInternalBuffer; // allocated when no buffer is given; owned
    u32 iInternalBufferSize;  // its capacity in frames
    s32 iWPtr;                // last frame written by resampler_write, -1 before any
    s32 iAPtr;                // total frames written
    s32 fRPtrInp;             // Q14 read position within the buffer
    s32 iAPtrInp;             // the same position in frames since the start of the stream
    s32 iRPtrNInp;            // whole-frame reader: buffer position
    s32 iAPtrNInp;            // whole-frame reader: absolute position
    s32 fRate;                // Q14 read rate, within +-0x20000
    s32 lowerBound;           // optional circular region read from, in frames; -1 = none
    s32 upperBound;
    s32 *pB;           // filter taps of FIRSINCTAB and FIRSINCWIN; owned
    u32 iInitDelay[2]; // initial delay of the fractional and of the whole-frame reader
    resampler_method method;
    u32 numChannels;         // 1 or 2
    u8 iFilterWinTabIntFlag; // interpolate between filter-table entries (1) or not (0)
    u32 iFilterNumPhases;
    u32 iFilterHalfLen;
    s32 fFilterBeta;     // not used
    resampler_kernel fp; // the kernel for method and channel count; null: nothing is read
    audio16 *pGrid;      // FIRSINCTAB2 stereo: the grid frames of one read; owned
    s32 iUnderrunQuiet;  // output frames left before another underrun notice may be printed
};

// The most frames a buffer may hold so that every Q14 position, and a position plus a whole
// read at the highest rate, stays within 32 bits.
inline constexpr u32 RESAMPLER_MAX_BUFFER_FRAMES = 0x18000;
// The FIRSINCTAB2 stereo kernel produces at most this many frames per read.
inline constexpr s32 RESAMPLER_MAX_GRID_FRAMES = 2048;
// The largest FIRSINCWIN half length accepted.
inline constexpr u32 RESAMPLER_MAX_HALF_LEN = 256;

// A resampler with both initial delays 49, rate 1.0, no bounds and no buffer. Needs
// numChannels 1 or 2 and, for FIRSINCWIN, iFilterHalfLen up to RESAMPLER_MAX_HALF_LEN.
// FIRSINCTAB forces half length 6 and 4 phases. Returns null on bad arguments or exhausted
// memory. A method outside the enumeration gets no kernel and reads nothing.
resampler_struct *resampler_new(u32 numChannels, resampler_method method, u8 iFilterWinTabIntFlag,
                                u32 iFilterNumPhases, u32 iFilterHalfLen, s32 fFilterBeta);

// Frees the internal buffer, the taps and the object (never the caller's buffer); accepts null.
// Returns null.
resampler_struct *resampler_destroy(resampler_struct *r);

// Attaches buffer (iBufferSize frames, the caller's) or, when buffer is null, an internal
// buffer of iBufferSize frames cleared to silence (reallocated when it must grow), and resets
// both readers to their initial delays, the rate to 1.0 and the bounds to none. Returns 0, or
// -1 with nothing changed when the buffer is larger than RESAMPLER_MAX_BUFFER_FRAMES, a delay
// lies beyond that many frames or the internal buffer cannot be allocated. A size of 0
// leaves the resampler without a buffer.
s32 resampler_setBuffer(resampler_struct *r, s32 iInitDelayInp, s32 iInitDelayNInp, audio16 *buffer,
                        u32 iBufferSize);

// Appends iInSize frames circularly after the last frame written. Returns 0; without a
// buffer nothing is written.
s32 resampler_write(resampler_struct *r, const audio16 *pIn, u32 iInSize);

// Stores the rate; outside +-0x20000 stores the limit of that sign and returns -1, else 0.
s32 resampler_setRateInp(resampler_struct *r, s32 fRate);

// Places the reader at a Q14 position (respectively a whole frame) within the buffer.
// Returns -1 and changes nothing when it lies beyond the buffer, else 0.
s32 resampler_setFractionalOffsetInp(resampler_struct *r, u32 offset);
s32 resampler_setOffsetInp(resampler_struct *r, u32 offset);
// Places the reader iDelay frames behind the last frame written. Returns -1 and changes
// nothing when the delay is negative or not below the buffer size, else 0.
s32 resampler_setDelayInp(resampler_struct *r, s32 iDelay);
// Limits reads to the circular region lowerBound..upperBound (frames); -1 for none. Returns 0.
s32 resampler_setBoundsInp(resampler_struct *r, s32 lowerBound, s32 upperBound);

// Input frames needed beyond the current position to read desiredNumSamples frames at rate
// (Q14), with the method's margin; never below 0.
s32 resampler_getNumSamplesForRead(const resampler_struct *r, s32 desiredNumSamples, s32 rate);

// Reads iOutSize frames at the current rate and position into pOut. Returns the frames read
// (fewer at the bounds, at an underrun or, for FIRSINCTAB2 stereo, beyond
// RESAMPLER_MAX_GRID_FRAMES); the rest of pOut is zeroed. Without a buffer returns 0.
s32 resampler_readInp(resampler_struct *r, audio16 *pOut, s32 iOutSize);

// The whole-frame reader: places it iDelay frames behind the last frame written (-1 when the
// delay is negative or not below the buffer size), and copies iOutSize frames that overlap
// the previous read by iOverlap frames. resampler_readNInp returns -1 and zeroes pOut when
// fewer than iOutSize - iOverlap new frames have been written, or when the sizes make no
// sense (negative, or an overlap beyond the read); else 0.
s32 resampler_setDelayNInp(resampler_struct *r, s32 iDelay);
s32 resampler_readNInp(resampler_struct *r, audio16 *pOut, s32 iOutSize, s32 iOverlap);

// Sets whether FIR taps interpolate between table entries. Returns 0 for FIRSINCTAB, else -1.
s32 resampler_enableInterpolation(resampler_struct *r, u8 enabled);

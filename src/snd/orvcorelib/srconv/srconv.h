// Sample-rate converter: interleaved 16-bit audio from one fixed rate to another through a
// polyphase FIR filter chosen from stored filter sets. Outputs are 44100 Hz (the decks),
// 22050 Hz and 11025 Hz (the analysis rates). A converter runs in its caller's thread,
// allocates only in srconv_new and is fed block by block; positions are Q12 (4096 = one
// input frame).
#pragma once

#include "orvsys/orvint.h"
#include "srconv/srconv_tables.h"

enum srconv_quality : int {
    SRCONV_QUALITY_LOW = 0,
    SRCONV_QUALITY_MID = 1,
    SRCONV_QUALITY_HIGH = 2,
};

enum srconv_error : int {
    SRCONV_ERROR_NOERROR = 0,
    SRCONV_ERROR_OUTOFMEMORY = -1,
    SRCONV_ERROR_NOTSUPPORTED = -2,
    SRCONV_ERROR_OVERRUN = -3,
    SRCONV_ERROR_ERROR = -16,
};

struct srconv_handle {
    const PolyphaseFir *polyphaseFir; // the filter in use
    u32 step;                         // Q12 input advance per output frame: in * 4096 / out
    u32 ratio;                        // Q12 out * 4096 / in
    audio16 *inputBuffer;             // ring of bufferSize interleaved frames
    u32 readOffset;                   // Q12 position of the next output frame
    u32 writOffset;                   // input frames in the ring so far, start-up prefill included
    u32 bufferSize;                   // ring frames, a power of two
    u32 bufferSize_;                  // bufferSize - 1, the ring index mask
};

struct srconv_struct {
    srconv_error lastError; // 0 from creation on
    u32 numChannels;
    u32 inputSampleRate;
    u32 outputSampleRate;
    u32 maxInputBlockSize; // the most input frames one srconv_process call accepts
    audio16 *tempBuffer;   // maxInputBlockSize zeroed frames for the caller's input
    srconv_handle *srconvHandle;
};

// Returns 1 when audio at inputSampleRate can be delivered at outputSampleRate: equal
// (non-zero) rates, which need no converter, or one of the converter's 27 pairs; else 0.
int srconv_isSupported(u32 inputSampleRate, u32 outputSampleRate);

// Makes a converter for a supported pair of different rates with 1 to 8 channels, for
// input blocks derived from maxBlockSize output frames. Returns null for equal or
// unsupported rates, a channel count of 0 or above 8, an unknown quality, a block size
// whose ring would pass 2^18 frames, or exhausted memory; prints nothing. The ring starts
// with the filter's history zeroed.
srconv_struct *srconv_new(u32 inputSampleRate, u32 outputSampleRate, u32 numChannels, u32 maxBlockSize,
                          srconv_quality quality);

// Appends inSize interleaved input frames from pIn (which may be s->tempBuffer) and writes
// up to *outSize output frames (the capacity of pOut) of every output the input allows;
// sets *outSize to the frames written. Outputs the capacity left out come with the next
// call. Returns SRCONV_ERROR_OVERRUN, with the converter unchanged and *outSize 0, when
// inSize is negative, above maxInputBlockSize or above the ring's free space;
// SRCONV_ERROR_ERROR for null pointers where data is due. The output is the same however
// the input is split into blocks.
srconv_error srconv_process(srconv_struct *s, const audio16 *pIn, s32 inSize, audio16 *pOut, u32 *outSize);

// Input frames that the next outSize outputs move the read position over (saturated to
// the u32 range); 0 for null.
u32 srconv_getInSize(const srconv_struct *s, u32 outSize);

// Outputs that inSize more input frames allow, those still waiting included; 0 for null,
// a negative inSize or one above maxInputBlockSize.
u32 srconv_getOutSize(const srconv_struct *s, s32 inSize);

// Input frames of history the filter needs before a position: ((numTaps - 1) >> 1) + 1;
// 0 for null.
u32 srconv_getInDelay(const srconv_struct *s);

// The filter's delay in output frames: (ratio * ((numTaps - 1) >> 1)) >> 12; 0 for null.
u32 srconv_getInitialDelay(const srconv_struct *s);

// Frees the ring, the handle, tempBuffer and the converter; null is accepted.
void srconv_destroy(srconv_struct *s);

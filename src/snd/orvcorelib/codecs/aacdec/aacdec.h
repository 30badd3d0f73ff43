// Integer-only AAC Low Complexity decoder: mono or stereo, 1024 samples per channel and
// frame, from ADTS streams, ADIF files or raw data blocks, into interleaved 16-bit samples.
// One instance per stream and thread; only constant tables are shared.
#pragma once

#include "orvsys/orvint.h"

// Opaque handle of one decoder instance.
using HAACDecoder = void *;

// Error codes (0 or negative). -6 and -16 to -21 are declared and never returned.
enum : int {
    ERR_AAC_NONE = 0,
    ERR_AAC_INDATA_UNDERFLOW = -1,
    ERR_AAC_NULL_POINTER = -2,
    ERR_AAC_INVALID_ADTS_HEADER = -3,
    ERR_AAC_INVALID_ADIF_HEADER = -4,
    ERR_AAC_INVALID_FRAME = -5,
    ERR_AAC_MPEG4_UNSUPPORTED = -6,
    ERR_AAC_CHANNEL_MAP = -7,
    ERR_AAC_SYNTAX_ELEMENT = -8,
    ERR_AAC_DEQUANT = -9,
    ERR_AAC_STEREO_PROCESS = -10,
    ERR_AAC_PNS = -11,
    ERR_AAC_SHORT_BLOCK_DEINT = -12,
    ERR_AAC_TNS = -13,
    ERR_AAC_IMDCT = -14,
    ERR_AAC_NCHANS_TOO_HIGH = -15,
    ERR_AAC_SBR_INIT = -16,
    ERR_AAC_SBR_BITSTREAM = -17,
    ERR_AAC_SBR_DATA = -18,
    ERR_AAC_SBR_PCM_FORMAT = -19,
    ERR_AAC_SBR_NCHANS_TOO_HIGH = -20,
    ERR_AAC_SBR_SINGLERATE_UNSUPPORTED = -21,
    ERR_AAC_RAWBLOCK_PARAMS = -22,
    ERR_UNKNOWN = -9999,
};

// Stream formats, settled by the first AACDecode or by AACSetRawBlockParams.
enum : int { AAC_FF_Unknown = 0, AAC_FF_ADTS = 1, AAC_FF_ADIF = 2, AAC_FF_RAW = 3 };

// Syntax element ids (3 bits in the stream).
enum : int {
    AAC_ID_INVALID = -1,
    AAC_ID_SCE = 0,
    AAC_ID_CPE = 1,
    AAC_ID_CCE = 2,
    AAC_ID_LFE = 3,
    AAC_ID_DSE = 4,
    AAC_ID_PCE = 5,
    AAC_ID_FIL = 6,
    AAC_ID_END = 7,
};

inline constexpr int AAC_MAX_NCHANS = 2;
inline constexpr int AAC_MAX_NSAMPS = 1024;

// What the last frame was, handed to callers.
struct AACFrameInfo {
    int bitRate;
    int nChans;
    int sampRateCore;
    int sampRateOut;
    int bitsPerSample;
    int outputSamps;
    int profile;
    int tnsUsed;
    int pnsUsed;
};

// Returns a new instance with its state zeroed, or null when memory runs out.
HAACDecoder AACInitDecoder();

// Frees an instance; null is ignored.
void AACFreeDecoder(HAACDecoder hAACDecoder);

// Needs buf to hold nBytes bytes. Returns the offset of the first byte 0xFF followed by a
// byte of 0xF0 or more (offsets 0 .. nBytes - 2), or -1 when there is none.
int AACFindSyncWord(const unsigned char *buf, int nBytes);

// Fills *aacFrameInfo from the last decoded frame; every field 0 without an instance.
void AACGetLastFrameInfo(HAACDecoder hAACDecoder, AACFrameInfo *aacFrameInfo);

// Prepares a jump in the stream: forgets the overlap, the element ids and the ADTS blocks
// left; the stream format and its parameters stay. Returns 0 or ERR_AAC_NULL_POINTER.
int AACFlushCodec(HAACDecoder hAACDecoder);

// Switches the instance to raw data blocks. copyLast 0 takes nChans, sampRateCore and
// profile from *aacFrameInfo (the rate must be a table rate: else ERR_AAC_INVALID_FRAME);
// otherwise the instance keeps its own. Returns ERR_AAC_RAWBLOCK_PARAMS unless the profile
// is Low Complexity (1), else 0.
int AACSetRawBlockParams(HAACDecoder hAACDecoder, int copyLast, AACFrameInfo *aacFrameInfo);

// Decodes one frame (one raw data block) from *inbuf (*bytesLeft bytes) into outbuf, which
// must hold nChans x 1024 samples (interleaved). getSizeOnly parses and moves on without
// producing samples. forceMono (desktop configuration only) decodes the first channel.
// Returns 0 and moves *inbuf and *bytesLeft past the frame, or an error code leaving both
// as they were.
int AACDecode(HAACDecoder hAACDecoder, unsigned char **inbuf, int *bytesLeft, short *outbuf, int getSizeOnly,
              int forceMono);

// Returns 1 when all sizeInBytes bytes at ptr are zero, else 0.
int CheckIfZeroed(const void *ptr, int sizeInBytes);

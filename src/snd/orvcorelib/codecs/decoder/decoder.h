// The decoder front end: the one entry into audio decoding. It opens a file by its name's
// extension, picks the container reader, and hands out interleaved 16-bit frames at one fixed
// output rate (converting the rate and spreading mono to two channels where asked). Seeks are
// requested in output-rate frames and carried out by the next read. One object serves one
// thread and may be reopened for file after file.
#pragma once

#include "codecs/fileformat/fileops.h"
#include "orvsys/orvint.h"

#include <cstdio>

struct srconv_struct;

enum decoder_error : int {
    DECODER_ERROR_NOERROR = 0,
    DECODER_ERROR_ENDOFFILE = -1,
    DECODER_ERROR_OPENFILEFAILED = -2,
    DECODER_ERROR_CORRUPT = -3,
    DECODER_ERROR_READERROR = -4,
    DECODER_ERROR_NOTSUPPORTED = -11,
    DECODER_ERROR_NOTSUPPORTED_CODECS = -12,
    DECODER_ERROR_NOTSUPPORTED_FILEFORMAT = -13,
    DECODER_ERROR_NOTSUPPORTED_SAMPLERATE = -14,
    DECODER_ERROR_NOTSUPPORTED_BITRATE = -15,
    DECODER_ERROR_NOTSUPPORTED_NUMCHANS = -16,
    DECODER_ERROR_NOTSEEKABLE = -21,
    DECODER_ERROR_OUTOFRANGE = -22,
    DECODER_ERROR_SEEKTABLE_ALREADY_LOADED = -23,
    DECODER_ERROR_SEEKTABLE_NOT_NEEDED = -24,
    DECODER_ERROR_SEEKTABLE_LOAD_FAILED = -25,
    DECODER_ERROR_ALREADYOPENED = -31,
    DECODER_ERROR_NOTOPENED = -32,
    DECODER_ERROR_OUTOFMEMORY = -97,
    DECODER_ERROR_NOTIMPLEMENTED = -98,
    DECODER_ERROR_ERROR = -99,
};

enum decoder_mode : u32 {
    DECODER_MODE_DECODE = 1,
    DECODER_MODE_BUILDSEEK = 2, // the file is scanned to build its seek table; no samples
};

enum decoder_quality : int {
    DECODER_QUALITY_FULL = 1,
    DECODER_QUALITY_HALF = 2,
    DECODER_QUALITY_QUATER = 4,
    DECODER_QUALITY_MONO = 8,
};

enum decoder_seek_status : int {
    DECODER_SEEK_NOTSEEKABLE = -1,
    DECODER_SEEK_UNKNOWN = 0,
    DECODER_SEEK_BACKWARD_SEEKABLE = 1,
    DECODER_SEEK_PARTIAL_SEEKABLE = 2,
    DECODER_SEEK_SEEKABLE = 3,
    DECODER_SEEK_NATIVELY_SEEKABLE = 4,
};

enum fileformat_type : int {
    FILEFORMAT_TYPE_UNDEFINED = -1,
    FILEFORMAT_TYPE_RAW = 0,
    FILEFORMAT_TYPE_PCM = 1,
    FILEFORMAT_TYPE_WAV = 2,
    FILEFORMAT_TYPE_MP3 = 3,
    FILEFORMAT_TYPE_AAC = 4,
    FILEFORMAT_TYPE_MP4 = 5,
    FILEFORMAT_TYPE_OGG = 6,
    FILEFORMAT_TYPE_M4A = 7,
    FILEFORMAT_TYPE_AIF = 8,
    FILEFORMAT_TYPE_AIFF = 9,
    FILEFORMAT_TYPE_FLAC = 10,
    FILEFORMAT_TYPE_NOTSUPPORTED = 11,
};

enum codec_type : int {
    CODEC_TYPE_UNDEFINED = -1,
    CODEC_TYPE_PCM = 0,
    CODEC_TYPE_MP3 = 1,
    CODEC_TYPE_AAC = 2,
    CODEC_TYPE_FLAC = 3,
    CODEC_TYPE_NOTSUPPORTED = 4,
};

// Maps one to one onto srconv_quality.
enum src_quality : int {
    SRC_QUALITY_LOW = 0,
    SRC_QUALITY_MID = 1,
    SRC_QUALITY_HIGH = 2,
};

struct decoder_struct {
    decoder_error lastError;
    decoder_quality decoderQuality; // FULL unless decoder_setQuality changed it
    src_quality srcQuality;
    fileformat_type fileFormatType;
    codec_type codecType;
    decoder_seek_status seekStatus;
    u32 mode;         // the decoder_mode of the open file
    u32 maxFrameSize; // the most frames one decoder_getSample call delivers (1 to 2048)
    u32 durationInMs; // the reader's estimate of the length
    u64 durationInSamples;
    u32 durationInMsExact; // the exact length where known, else 0
    u64 durationInSamplesExact;
    u32 offset; // always 0
    s32 bitRate;
    float averageBitRate;
    s32 numChannels;
    s32 sampleRate; // the file's rate
    s32 outputSampleRate;
    s32 audioFrameSize; // interleaved samples of one coded frame; 0 for PCM formats
    s32 seekPosition;   // a pending seek in frames at the file's rate; -1 for none
    s8 rebuildSeektable;
    s8 forceStereo;
    s8 isOpened;
    FILE *inFile;
    FILE *seekFile;
    void *decoderHandle;         // the frame decoder instance of the open file
    void *fileformatHandle;      // the reader's own record
    srconv_struct *srconvHandle; // null when the file plays at the output rate
    u32 seekPhase;               // with a converter: the pending seek's Q12 phase within its input frame
};

// The largest request of one decoder_getSample call.
inline constexpr u32 kDecoderMaxFrameSize = 2048;

// Returns a closed decoder for outputSampleRate (44100, 24000, 22050 or 11025) delivering at
// most maxFrameSize (1 to 2048) frames a call, two channels when forceStereo is set; null
// for other arguments or no memory.
decoder_struct *decoder_new(s32 outputSampleRate, s32 forceStereo, u32 maxFrameSize);

// Closes the decoder when it is still open and frees it (null allowed); returns null.
decoder_struct *decoder_destroy(decoder_struct *d);

// Needs: a closed decoder. Opens fileName by its extension in the given decoder_mode; the
// seek-table file name and the rebuild flag matter only to stream formats. Every per-file field
// starts afresh. Returns 0 with the decoder open, or an error with the decoder closed and
// nothing of the file held.
decoder_error decoder_open(decoder_struct *d, const char *fileName, u32 mode, const char *seektableFileName,
                           s8 rebuildSeektable, src_quality srcQuality);

// Closes an open decoder (releases the reader, its file and the converter); nothing when closed.
void decoder_close(decoder_struct *d);

// Needs: pOut room for *outSize frames of two channels (force-stereo) or of the file's channel
// count. Carries out a pending seek, then delivers up to *outSize frames (cut to maxFrameSize)
// at the output rate and sets *outSize to the frames delivered. Fewer frames come only with
// DECODER_ERROR_ENDOFFILE or another error.
decoder_error decoder_getSample(decoder_struct *d, audio16 *pOut, s32 *outSize);

// Requests a seek to a frame counted at the output rate, carried out by the next read. A
// negative index changes nothing and returns 0. With rate conversion the target is taken on the
// converter's own time line, so the frames that follow equal those of a decode from the start.
decoder_error decoder_setSampleOffset(decoder_struct *d, s64 sampleIndex);

// Returns the reader's position for formats that report one, 0 when lastError is set or the
// format reports none, -1 when closed.
s32 decoder_getSampleOffset(decoder_struct *d);

// Loads a seek-table file into an open decoder of a stream format; -24 for natively seekable
// files, -23 when a complete table is loaded already.
decoder_error decoder_loadSeektableFile(decoder_struct *d, const char *seektableFileName);

// Asks for a reduced decoding quality; only the desktop configuration's stream readers accept.
decoder_error decoder_setQuality(decoder_struct *d, decoder_quality quality);

// Replaces the six shared file operations at once (null allowed: nothing changes).
void decoder_setFileCallback(const file_callback *callbacks);

// Integer-only MPEG-1, MPEG-2 and MPEG-2.5 Layer III decoder: one frame per call from a
// caller-filled byte buffer into caller-owned interleaved signed 16-bit samples.
//
// Besides ordinary decoding it offers size-only decoding (the bit reservoir is kept up to
// date, nothing is synthesised), a down-sample factor of 1, 2 or 4 applied inside the
// synthesis (desktop configuration, stereo streams), and a caller-given frame size that
// bypasses the bit reservoir. One instance decodes one stream in one thread at a time.
#pragma once

struct MP3DecInfo;

// Handle of one decoder instance (its bit reservoir, transform overlap and synthesis history).
using HMP3Decoder = MP3DecInfo *;

enum {
    ERR_MP3_NONE = 0,
    ERR_MP3_INDATA_UNDERFLOW = -1,
    ERR_MP3_MAINDATA_UNDERFLOW = -2,
    ERR_MP3_FREE_BITRATE_SYNC = -3,
    ERR_MP3_OUT_OF_MEMORY = -4,
    ERR_MP3_NULL_POINTER = -5,
    ERR_MP3_INVALID_FRAMEHEADER = -6,
    ERR_MP3_INVALID_SIDEINFO = -7,
    ERR_MP3_INVALID_SCALEFACT = -8,
    ERR_MP3_INVALID_HUFFCODES = -9,
    ERR_MP3_INVALID_DEQUANTIZE = -10,
    ERR_MP3_INVALID_IMDCT = -11,
    ERR_MP3_INVALID_SUBBAND = -12,
    ERR_UNKNOWN = -9999
};

enum MPEGVersion { MPEG1 = 0, MPEG2 = 1, MPEG25 = 2 };

struct MP3FrameInfo {
    int bitrate;       // bits per second
    int nChans;        // 1 or 2
    int samprate;      // Hz
    int bitsPerSample; // always 16
    int outputSamps;   // samples of one frame at full rate, all channels
    int layer;
    int version; // MPEGVersion
};

// Returns a zeroed instance, or null when memory runs out (nothing is left allocated then).
HMP3Decoder MP3InitDecoder();

// Frees the instance and its work areas; null is ignored.
void MP3FreeDecoder(HMP3Decoder hMP3Decoder);

// Needs: buf holds nBytes bytes. Returns the offset of the first byte 0xFF followed by a byte of
// 0xE0 or more (offsets 0 .. nBytes - 2), or -1 when there is none.
int MP3FindSyncWord(const unsigned char *buf, int nBytes);

// Needs: buf holds a whole frame header (6 bytes: the CRC word is read when the header
// announces one). Reads the header into the instance and fills *mp3FrameInfo.
// Returns 0, ERR_MP3_NULL_POINTER, or ERR_MP3_INVALID_FRAMEHEADER for a header that is invalid
// or not Layer III.
int MP3GetNextFrameInfo(HMP3Decoder hMP3Decoder, MP3FrameInfo *mp3FrameInfo, const unsigned char *buf);

// Fills *mp3FrameInfo from the last header read; every field is 0 without an instance or when
// that header was not Layer III.
void MP3GetLastFrameInfo(HMP3Decoder hMP3Decoder, MP3FrameInfo *mp3FrameInfo);

// Decodes the frame that starts exactly at *inbuf (*bytesLeft bytes readable there) into
// outbuf, which holds nGranSamps x nGrans x nChans / downSampleFactor samples (a mono frame at
// factor 2 or 4 writes 576 + (nGrans - 1) x 576 / factor samples per channel).
// useSize: 0 or less decodes through the bit reservoir; 1 takes all of *bytesLeft as this
// frame's main data; 2 or more is the frame's total size in bytes, header included.
// getSizeOnly: non-zero stops once the main data has been taken in (no output written).
// downSampleFactor: 1, 2 or 4; below 1 the call is refused (ERR_MP3_INVALID_SUBBAND) untouched.
// Returns 0 or an ERR_MP3_ code; *inbuf and *bytesLeft move past what was consumed. Every
// failure after the side information leaves the frame's output samples at zero.
int MP3Decode(HMP3Decoder hMP3Decoder, unsigned char **inbuf, int *bytesLeft, short *outbuf, int useSize,
              char getSizeOnly, int downSampleFactor);

// Sets nGranSamps x nGrans x nChans / downSampleFactor samples of outbuf to 0 (nothing without
// an instance, an output buffer or a factor of at least 1).
void MP3ClearBadFrame(HMP3Decoder hMP3Decoder, short *outbuf, int downSampleFactor);

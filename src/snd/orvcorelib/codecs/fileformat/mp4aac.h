// The MP4/M4A reader: the first AAC Low Complexity track of an ISO base media file, decoded
// sample by sample (raw data blocks) into a sample ring, seekable through its sample tables.
#pragma once

#include "codecs/decoder/decoder.h"
#include "codecs/fileformat/mp4ff.h"
#include "codecs/fileformat/pcmbuffer.h"
#include "orvsys/orvint.h"

// The largest sample the reader reads; larger ones are refused.
inline constexpr u32 kMp4SampleBufferSize = 12288;
inline constexpr s32 kMp4AudioFrameSize = 2048;

// What the decoder configuration's first bytes say (only the first two are read).
struct mp4AudioSpecificConfig {
    u8 objectTypeIndex;
    u8 samplingFrequencyIndex;
    u32 samplingFrequency;
    u8 channelsConfiguration;
    u8 frameLengthFlag;
    u8 dependsOnCoreCoder;
    u16 coreCoderDelay;
    u8 extensionFlag;
    u8 aacSectionDataResilienceFlag;
    u8 aacScalefactorDataResilienceFlag;
    u8 aacSpectralDataResilienceFlag;
    u8 epConfig;
    s8 sbr_present_flag;
    s8 forceUpSampling;
    s8 downSampledSBR;
};

struct mp4fileformat_t {
    mp4ff_t *mp4file;
    s32 mp4track; // the chosen track, -1 for none
    s32 numSamples;
    s32 sampleId; // the next sample to read
    mp4ff_callback_t mp4cb;
    u32 m_length; // ms
    pcmbuffer_t *pcm;
    u8 qualityChanged;
    u8 lqdecMono;
    s32 maxOutSize;   // frames one request can need
    u8 *sampleBuffer; // kMp4SampleBufferSize bytes
};

// Opens an ".mp4"/".m4a" file (bytes 4 to 7 must read "ftyp") on its first AAC-LC track of one
// or two channels. Returns 0, or an error (also stored in lastError) with nothing left open.
decoder_error mp4aac_Open(decoder_struct *d, const char *fileName);

// Carries out a pending seek (DECODER_ERROR_OUTOFRANGE beyond the last sample) and delivers up
// to *outSize frames. A sample that cannot be decoded for lack of bytes, or that is too large
// to read, plays as one frame of silence; a decode error gives DECODER_ERROR_ERROR. In
// build-seek-table mode it reads one sample per call and delivers nothing.
decoder_error mp4aac_Decode(decoder_struct *d, audio16 *out, s32 *outSize);

// Releases the ring, the parsed file, the frame decoder and the file.
decoder_error mp4aac_Close(decoder_struct *d);

// Writes the next sample's index × audioFrameSize to *position; returns 0.
decoder_error mp4aac_GetSampleOffset(decoder_struct *d, s32 *position);

// Takes FULL or MONO for the next decode; refuses HALF and QUATER (no reduced-rate decoding)
// with DECODER_ERROR_NOTSUPPORTED.
decoder_error mp4aac_SetQuality(decoder_struct *d, decoder_quality quality);

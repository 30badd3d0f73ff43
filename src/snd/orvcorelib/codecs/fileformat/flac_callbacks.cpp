// The callbacks through which libFLAC hands over the stream information, decoded blocks and
// stream errors.
#include "codecs/fileformat/flac.h"

#include <algorithm>
#include <cstdio>

namespace {

// A sample of `bits` bits as a 16-bit sample: wider samples keep their high bits, narrower
// ones are scaled up.
audio16 to16(FLAC__int32 sample, u32 bits) {
    if (bits > 16) return static_cast<audio16>(sample >> (bits - 16));
    return static_cast<audio16>(sample * (1 << (16 - bits)));
}

bool blockFits(const pcmbuffer_t *pcm, u64 samples) {
    const s64 held = std::max<s32>(pcmbuffer_getNumSamples(pcm), 0);
    return static_cast<u64>(held) + samples <= static_cast<u64>(pcm->pcmBufferSize);
}

// Interleaves the block into the ring from the write position on, wrapping at the ring's end:
// blocks after a seek start anywhere.
void storeBlock(pcmbuffer_t *pcm, const FLAC__int32 *const buffer[], u32 blockSize, u32 channels, u32 bits) {
    const s32 size = pcm->pcmBufferSize;
    s32 at = std::max<s32>(pcm->pcmBufferWrite, 0) % size;
    for (u32 i = 0; i < blockSize; ++i) {
        for (u32 c = 0; c < channels; ++c) {
            pcm->pcmBuffer[at] = to16(buffer[c][i], bits);
            at = at + 1 == size ? 0 : at + 1;
        }
    }
    pcm->pcmBufferWrite += static_cast<s32>(blockSize * channels);
}

} // namespace

FLAC__StreamDecoderWriteStatus write_callback_(const FLAC__StreamDecoder *decoder, const FLAC__Frame *frame,
                                               const FLAC__int32 *const buffer[], void *client_data) {
    auto *dcd = static_cast<DecoderClientData *>(client_data);
    if (dcd == nullptr) {
        std::printf("ERROR: client_data in write callback is NULL\n");
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    const u32 channels = frame->header.channels;
    const u32 blockSize = frame->header.blocksize;
    // A block that changes the channel count or does not fit the ring would break the
    // interleaving of everything after it.
    if (dcd->error_occurred || channels < 1 || channels > 2 || channels != dcd->channels ||
        dcd->pcm == nullptr || !blockFits(dcd->pcm, static_cast<u64>(blockSize) * channels))
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    if (frame->header.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER)
        dcd->current_sample = frame->header.number.sample_number;
    const u32 bits =
        frame->header.bits_per_sample != 0 ? frame->header.bits_per_sample : dcd->bits_per_sample;
    storeBlock(dcd->pcm, buffer, blockSize, channels, bits);
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void metadata_callback_(const FLAC__StreamDecoder *decoder, const FLAC__StreamMetadata *metadata,
                        void *client_data) {
    auto *dcd = static_cast<DecoderClientData *>(client_data);
    if (dcd == nullptr) {
        std::printf("ERROR: client_data in metadata callback is NULL\n");
        return;
    }
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO || dcd->got_data || dcd->error_occurred) return;
    const FLAC__StreamMetadata_StreamInfo &info = metadata->data.stream_info;
    dcd->got_data = true;
    dcd->total_samples = info.total_samples;
    dcd->sample_rate = info.sample_rate;
    dcd->channels = info.channels;
    dcd->bits_per_sample = info.bits_per_sample;
    dcd->max_blocksize = info.max_blocksize;
}

void error_callback_(const FLAC__StreamDecoder *decoder, FLAC__StreamDecoderErrorStatus status,
                     void *client_data) {
    auto *dcd = static_cast<DecoderClientData *>(client_data);
    if (dcd == nullptr) {
        std::printf("ERROR: client_data in error callback is NULL\n");
        return;
    }
    std::printf("ERROR: got error callback: err = %u (%s)\n", static_cast<unsigned>(status),
                FLAC__StreamDecoderErrorStatusString[status]);
    dcd->error_occurred = true;
}

void die_s_(const char *message, const FLAC__StreamDecoder *decoder) {
    const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(decoder);
    if (message != nullptr)
        std::printf("FAILED, %s", message);
    else
        std::printf("FAILED");
    std::printf(", state = %u (%s)\n", static_cast<unsigned>(state), FLAC__StreamDecoderStateString[state]);
}

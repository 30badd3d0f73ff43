#include "codecs/decoder/decoder_readers.h"

#include "codecs/fileformat/aacaac.h"
#include "codecs/fileformat/aif.h"
#include "codecs/fileformat/flac.h"
#include "codecs/fileformat/mp3mp3.h"
#include "codecs/fileformat/mp4aac.h"
#include "codecs/fileformat/raw.h"
#include "codecs/fileformat/wav.h"

namespace orv::readers {

decoder_error open(decoder_struct *d, const char *fileName, const char *seektableFileName) {
    switch (d->fileFormatType) {
    case FILEFORMAT_TYPE_RAW:
        return raw_Open(d, fileName);
    case FILEFORMAT_TYPE_WAV:
        return wav_Open(d, fileName);
    case FILEFORMAT_TYPE_AIF:
        return aif_Open(d, fileName);
    case FILEFORMAT_TYPE_FLAC:
        return flac_Open(d, fileName);
    case FILEFORMAT_TYPE_MP3:
        return mp3mp3_Open(d, fileName, seektableFileName);
    case FILEFORMAT_TYPE_AAC:
        return aacaac_Open(d, fileName, seektableFileName);
    case FILEFORMAT_TYPE_MP4:
        return mp4aac_Open(d, fileName);
    default:
        return DECODER_ERROR_NOTSUPPORTED;
    }
}

decoder_error decode(decoder_struct *d, audio16 *out, s32 *outSize) {
    switch (d->fileFormatType) {
    case FILEFORMAT_TYPE_RAW:
        return raw_Decode(d, out, outSize);
    case FILEFORMAT_TYPE_WAV:
        return wav_Decode(d, out, outSize);
    case FILEFORMAT_TYPE_AIF:
        return aif_Decode(d, out, outSize);
    case FILEFORMAT_TYPE_FLAC:
        if (d->codecType == CODEC_TYPE_FLAC) return flac_Decode(d, out, outSize);
        break;
    case FILEFORMAT_TYPE_MP3:
        if (d->codecType == CODEC_TYPE_MP3) return mp3mp3_Decode(d, out, outSize);
        break;
    case FILEFORMAT_TYPE_AAC:
        if (d->codecType == CODEC_TYPE_AAC) return aacaac_Decode(d, out, outSize);
        break;
    case FILEFORMAT_TYPE_MP4:
        if (d->codecType == CODEC_TYPE_AAC) return mp4aac_Decode(d, out, outSize);
        break;
    default:
        break;
    }
    *outSize = 0;
    return DECODER_ERROR_NOTSUPPORTED;
}

void close(decoder_struct *d) {
    switch (d->fileFormatType) {
    case FILEFORMAT_TYPE_RAW:
        raw_Close(d);
        break;
    case FILEFORMAT_TYPE_WAV:
        wav_Close(d);
        break;
    case FILEFORMAT_TYPE_AIF:
        aif_Close(d);
        break;
    case FILEFORMAT_TYPE_FLAC:
        flac_Close(d);
        break;
    case FILEFORMAT_TYPE_MP3:
        mp3mp3_Close(d);
        break;
    case FILEFORMAT_TYPE_AAC:
        aacaac_Close(d);
        break;
    case FILEFORMAT_TYPE_MP4:
        mp4aac_Close(d);
        break;
    default:
        break;
    }
}

decoder_error getSampleOffset(decoder_struct *d, s32 *position) {
    // WAV files carry no codec type of their own; their reader knows its frame all the same.
    if (d->fileFormatType == FILEFORMAT_TYPE_WAV) return wav_GetSampleOffset(d, position);
    if (d->fileFormatType == FILEFORMAT_TYPE_MP3 && d->codecType == CODEC_TYPE_MP3)
        return mp3mp3_GetSampleOffset(d, position);
    if (d->fileFormatType == FILEFORMAT_TYPE_AAC && d->codecType == CODEC_TYPE_AAC)
        return aacaac_GetSampleOffset(d, position);
    if (d->fileFormatType == FILEFORMAT_TYPE_MP4 && d->codecType == CODEC_TYPE_AAC)
        return mp4aac_GetSampleOffset(d, position);
    return DECODER_ERROR_NOTSUPPORTED;
}

decoder_error setQuality(decoder_struct *d, decoder_quality quality) {
    switch (d->fileFormatType) {
    case FILEFORMAT_TYPE_MP3:
        return mp3mp3_SetQuality(d, quality);
    case FILEFORMAT_TYPE_AAC:
        return aacaac_SetQuality(d, quality);
    case FILEFORMAT_TYPE_MP4:
        return mp4aac_SetQuality(d, quality);
    default:
        return DECODER_ERROR_NOTSUPPORTED;
    }
}

decoder_error loadSeektableFile(decoder_struct *d, const char *seektableFileName) {
    switch (d->fileFormatType) {
    case FILEFORMAT_TYPE_MP3:
        return mp3mp3_loadSeektableFile(d, seektableFileName);
    case FILEFORMAT_TYPE_AAC:
        return aacaac_loadSeektableFile(d, seektableFileName);
    default:
        return DECODER_ERROR_NOTSUPPORTED;
    }
}

} // namespace orv::readers

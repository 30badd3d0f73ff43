#include "codecs/decoder/decoder_readers.h"

#include "codecs/fileformat/aif.h"
#include "codecs/fileformat/flac.h"
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
    // The MP3, AAC and MP4 readers take their place here.
    case FILEFORMAT_TYPE_MP3:
    case FILEFORMAT_TYPE_AAC:
    case FILEFORMAT_TYPE_MP4:
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
    default:
        break;
    }
}

decoder_error getSampleOffset(decoder_struct *d, s32 *position) {
    // WAV files carry no codec type of their own; their reader knows its frame all the same.
    if (d->fileFormatType == FILEFORMAT_TYPE_WAV) return wav_GetSampleOffset(d, position);
    return DECODER_ERROR_NOTSUPPORTED;
}

decoder_error setQuality(decoder_struct *d, decoder_quality quality) {
    return DECODER_ERROR_NOTSUPPORTED;
}

decoder_error loadSeektableFile(decoder_struct *d, const char *seektableFileName) {
    return DECODER_ERROR_NOTSUPPORTED;
}

} // namespace orv::readers

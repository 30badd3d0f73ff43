// The container readers behind the front end, reached by a switch on the file format. Each
// operation acts on the reader of d->fileFormatType (RAW, WAV, AIF, MP3, AAC, MP4 or FLAC after
// the front end has folded the aliases).
#pragma once

#include "codecs/decoder/decoder.h"

namespace orv::readers {

// Opens the file with the format's reader; stream formats also get the seek-table file name.
decoder_error open(decoder_struct *d, const char *fileName, const char *seektableFileName);

// Runs the format's decode step (the codec must match the format); DECODER_ERROR_NOTSUPPORTED
// when no reader serves the pair.
decoder_error decode(decoder_struct *d, audio16 *out, s32 *outSize);

// Closes the format's reader.
void close(decoder_struct *d);

// Asks the reader's position where the front end reports one; DECODER_ERROR_NOTSUPPORTED else.
decoder_error getSampleOffset(decoder_struct *d, s32 *position);

// Passes a quality request to a stream reader; DECODER_ERROR_NOTSUPPORTED for every other one.
decoder_error setQuality(decoder_struct *d, decoder_quality quality);

// Loads a seek-table file into a stream reader; DECODER_ERROR_NOTSUPPORTED for other formats.
decoder_error loadSeektableFile(decoder_struct *d, const char *seektableFileName);

} // namespace orv::readers

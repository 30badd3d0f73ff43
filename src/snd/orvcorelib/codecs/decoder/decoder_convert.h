// File conversion: a stretch of any readable audio file decoded into a 44100 Hz stereo 16-bit
// WAV file.
#pragma once

#include "codecs/decoder/decoder.h"

// Decodes lenMs milliseconds from startMs on (from the start when the file cannot seek: then
// nothing is written and the seek-table load's result is returned) of inFileName into
// wavFileName, using the seek-table file sekFileName where the format has one. Prints the
// time taken. Returns the decoder's last error, the open's error, the writer's open error, or
// DECODER_ERROR_ERROR when the writer refuses samples.
decoder_error decoder_convertToWaveFile(const char *inFileName, const char *wavFileName,
                                        const char *sekFileName, s32 startMs, s32 lenMs);

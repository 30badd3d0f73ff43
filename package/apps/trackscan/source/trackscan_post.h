// The hand-over of a finished analysis record to deckhost. The device build posts it on the
// POSIX message queue "/bak_analysis"; the desktop build has nobody to hand it to.
#pragma once

#include "songanalysis/songanalysis.h"

// The exit status of a run whose record could not be posted: deckhost only reads the queue
// after a status of 0, so such a run must not end with 0. It is the status of the analysis's
// general error, so a launcher counts the song as failed either way.
inline constexpr int TRACKSCAN_POST_FAILED = 113;

// The results callback of the analysis: posts a copy of the record with its private slot 0.
// A missing queue (a run by hand) posts nothing and is no failure; a full queue or any other
// failure prints why on standard error and is remembered for trackscan_postStatus.
void send_results(songanalysis_struct *sa);

// Returns: 0 when nothing failed in send_results, else TRACKSCAN_POST_FAILED.
int trackscan_postStatus();

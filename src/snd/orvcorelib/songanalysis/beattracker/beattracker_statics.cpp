#include "songanalysis/beattracker/beattracker_statics.h"

#include "songanalysis/beattracker/beattracker_testing.h"

#include <algorithm>
#include <iterator>

namespace btk {

float specFluxPre = 0.0f;
float biConfidence = 0.0f;
s32 biConfidenceCounter1 = 0;
s32 biConfidenceCounter2 = 0;
float biPre0 = 0.0f;
float biPre1 = 0.0f;
float xcorr[BEATTRACKER_XCORR_SIZE] = {};
float xcorrRaw[BEATTRACKER_XCORR_SIZE] = {};

} // namespace btk

void beattracker_resetProcessStatics() {
    btk::specFluxPre = 0.0f;
    btk::biConfidence = 0.0f;
    btk::biConfidenceCounter1 = 0;
    btk::biConfidenceCounter2 = 0;
    btk::biPre0 = 0.0f;
    btk::biPre1 = 0.0f;
    std::fill(std::begin(btk::xcorr), std::end(btk::xcorr), 0.0f);
    std::fill(std::begin(btk::xcorrRaw), std::end(btk::xcorrRaw), 0.0f);
}

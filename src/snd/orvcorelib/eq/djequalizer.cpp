// Three-band equaliser built from three direct-form-I biquad sections.
#include "eq/djequalizer.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr u32 kBandBit[DJEQ_BAND_COUNT] = {1, 2, 4};
constexpr biquad_type kBandType[DJEQ_BAND_COUNT] = {BIQUAD_TYPE_LSF2, BIQUAD_TYPE_PKF, BIQUAD_TYPE_HSF2};

// MIDI value (below 128) to gain in dB: 64 is exactly 0 dB; the upper half of the travel is
// squared so that it reaches about +12 dB, the lower half falls to -40 dB.
float midiToDb(s32 value) {
    float x = static_cast<float>(value) / 64.0f;
    if (x > 1.0f) x *= x;
    if (x < 0.01f) x = 0.01f;
    return 20.0f * std::log10(x);
}

// Deeper cuts move the shelves' corners outward (the low one down to 72 Hz, the high one up to
// 12.6 kHz) and narrow the mid peak, so that a strong cut stays inside its own band instead of
// hollowing out its neighbours.
void updateBand(djequalizer &eq, s32 band, float gain) {
    biquad *b = eq.biquad[band];
    switch (band) {
    case DJEQ_BAND_LOW:
        biquad_reset(b); // the low band restarts from silence on every update
        biquad_setParam(b, BIQUAD_PARAM_GAIN, gain);
        biquad_setParam(b, BIQUAD_PARAM_FC, gain >= 0.0f ? 300.0f : 200.0f - 0.08f * gain * gain);
        break;
    case DJEQ_BAND_MID:
        biquad_setParam(b, BIQUAD_PARAM_GAIN, gain);
        biquad_setParam(b, BIQUAD_PARAM_FC, 1000.0f);
        biquad_setParam(b, BIQUAD_PARAM_Q, gain >= 0.0f ? 0.33333334f : -0.25f * gain);
        break;
    default:
        biquad_setParam(b, BIQUAD_PARAM_GAIN, gain);
        biquad_setParam(b, BIQUAD_PARAM_FC, gain >= 0.0f ? 4000.0f : 3000.0f + 6.0f * gain * gain);
        break;
    }
}

// All bands back to 0 dB with cleared filter state.
void resetBands(djequalizer &eq) {
    for (s32 band = 0; band < DJEQ_BAND_COUNT; ++band) {
        eq.dBgain[band] = 0.0f;
        eq.next_dBgain[band] = 0.0f;
        updateBand(eq, band, 0.0f);
        biquad_reset(eq.biquad[band]);
    }
    eq.flagsChanged = 0;
}

void takePendingGains(djequalizer &eq) {
    for (s32 band = 0; band < DJEQ_BAND_COUNT; ++band) {
        eq.dBgain[band] = eq.next_dBgain[band];
        if (eq.flagsChanged & kBandBit[band]) updateBand(eq, band, eq.dBgain[band]);
    }
    eq.flagsChanged = 0;
}

} // namespace

djequalizer *djequalizer_new(u32 frameSize, u32 sampleRate) {
    if (frameSize % 8 != 0) return nullptr;
    djequalizer *eq = new (std::nothrow) djequalizer{};
    if (eq == nullptr) return nullptr;
    eq->frameSize = frameSize;
    eq->sampleRate = sampleRate;
    eq->buffer = new (std::nothrow) audio24[2 * static_cast<std::size_t>(frameSize)]{};
    bool ok = eq->buffer != nullptr;
    for (s32 band = 0; band < DJEQ_BAND_COUNT && ok; ++band) {
        eq->biquad[band] = biquad_new(frameSize, BIQUAD_TOPO_DF1, kBandType[band], sampleRate);
        ok = eq->biquad[band] != nullptr;
    }
    if (!ok) return djequalizer_destroy(eq);
    resetBands(*eq);
    return eq;
}

s32 djequalizer_setParam(djequalizer *djeq, djeq_band band, s32 midi_value) {
    if (djeq == nullptr) return -1;
    if (band < DJEQ_BAND_LOW || band > DJEQ_BAND_HIGH) return 0;
    if (midi_value >= 128) return 1;
    const float gain = midiToDb(midi_value);
    djeq->next_dBgain[band] = gain;
    if (gain != djeq->dBgain[band]) djeq->flagsChanged |= kBandBit[band];
    return 1;
}

void djequalizer_process(djequalizer *djeq, const audio24 *in, audio24 *out) {
    if (djeq == nullptr || in == nullptr || out == nullptr) return;
    if (djeq->flagsChanged != 0) takePendingGains(*djeq);

    biquad *chain[DJEQ_BAND_COUNT];
    s32 length = 0;
    for (s32 band = 0; band < DJEQ_BAND_COUNT; ++band)
        if (djeq->dBgain[band] != 0.0f) chain[length++] = djeq->biquad[band];

    if (length == 0) {
        if (in != out) std::memmove(out, in, 2 * static_cast<std::size_t>(djeq->frameSize) * sizeof(audio24));
        return;
    }
    const audio24 *source = in;
    for (s32 i = 0; i < length; ++i) {
        audio24 *target = i == length - 1 ? out : djeq->buffer;
        biquad_process(chain[i], source, target);
        source = target;
    }
}

djequalizer *djequalizer_destroy(djequalizer *djeq) {
    if (djeq == nullptr) return nullptr;
    for (biquad *&b : djeq->biquad) b = biquad_destroy(b);
    delete[] djeq->buffer;
    delete djeq;
    return nullptr;
}

// Shared pieces of the whole-file driver tests: drum songs written as 44.1 kHz WAV files, the
// four file names of one song in a scratch folder, and what the results callback received.
#pragma once

#include "snd/orvcorelib/songanalysis/analysis/analysis_support.h"

#include "codecs/encoder/encoder.h"
#include "songanalysis/songanalysis_handle.h"
#include "support/tempdir.h"

#include <filesystem>
#include <string>
#include <vector>

namespace drivertest {

constexpr double kFileRate = 44100.0;

// Writes a 16-bit WAV file of the PCM at its own rate.
inline void writeWav(const std::string &path, const satest::Pcm &pcm) {
    encoder_struct *e = encoder_new(ENCODER_SAMPLE_FORMAT_INT16, 1 << 14);
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(
        encoder_open(e, path.c_str(), static_cast<u32>(pcm.rate), ENCODER_SAMPLE_FORMAT_INT16, pcm.channels),
        ENCODER_ERROR_NOERROR);
    EXPECT_EQ(encoder_addSamples(e, pcm.samples.data(), pcm.frames()), ENCODER_ERROR_NOERROR);
    encoder_close(e);
    encoder_destroy(e);
}

// A stereo drum song at 120 BPM, `seconds` long, first beat at 0.25 s.
inline void writeDrumWav(const std::string &path, double seconds) {
    writeWav(path, satest::makeDrumSong(120.0, seconds, 0.25, 2, kFileRate));
}

// The four files of one song: result, waveform and seek-table files in `folder`.
struct SongFiles {
    std::string sek, sar, wfv, aud;
    SongFiles(const std::string &folder, const std::string &audio)
        : sek(folder + "/song.sek"), sar(folder + "/song.sar"), wfv(folder + "/song.wfv"), aud(audio) {}
    songanalysis_filenames_struct names() const {
        return {sek.c_str(), sar.c_str(), wfv.c_str(), aud.c_str()};
    }
};

inline bool exists(const std::string &path) {
    return std::filesystem::exists(path);
}

// What the results callback saw of the record it was handed.
struct Received {
    int calls = 0;
    bool live = false; // the record had its private state
    songanalysis_struct record{};
    std::vector<u32> beatFrames;
    float fixedBpm = -1.0f;
};

inline Received received;

inline void receive(songanalysis_struct *sa) {
    ++received.calls;
    songanalysis_handle *h = songanalysis_getHandle(sa);
    received.live = h != nullptr;
    received.record = *sa;
    if (h != nullptr) {
        const songanalysis_grid g = songanalysis_beatGrid(h);
        received.beatFrames.assign(g.frames, g.frames + g.size());
    }
    received.fixedBpm = songanalysis_getFixedBPM(sa);
}

// Each run starts from the tracker's process-wide values of a fresh program and an empty
// callback record.
class DriverRun : public satest::FreshAnalysis {
  protected:
    void SetUp() override {
        FreshAnalysis::SetUp();
        received = Received{};
    }
    songanalysis_error run(const std::string &audio, const SongFiles &files,
                           songanalysis_struct *copy = nullptr,
                           const songanalysis_options_struct *options = nullptr,
                           const volatile int *quit = nullptr) {
        beattracker_resetProcessStatics();
        const songanalysis_filenames_struct names = files.names();
        return songanalysis_processFile(audio.c_str(), &names, SONGANALYSIS_QUALITY_MID, copy, quit, receive,
                                        options);
    }
    orvtest::TempDir dir_;
};

} // namespace drivertest

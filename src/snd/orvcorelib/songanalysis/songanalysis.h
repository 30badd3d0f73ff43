// The song analysis: one record per analysed or loaded song, holding tempo, beat and
// downbeat grids, waveform data and loudness gains, with the files they are stored in.
//
// A record is made by songanalysis_new, opened for a song (or loaded from its result file),
// fed one frame at a time, finalised, saved, closed and destroyed. The first 112 bytes are
// the stored and posted layout ("rawdata" section of the result file, "/bak_analysis" queue
// message); the private working state lives in the same allocation, behind the record.
//
// Positions at this interface are milliseconds from the start of the song; grids inside
// hold analysis frames (frameSize samples at inputSampleRate).
#pragma once

#include "orvsys/orvint.h"

#include <cstddef>
#include <cstdio>

// ---------------------------------------------------------------------------------------
// Enumerations (32-bit)

enum songanalysis_error : s32 {
    SONGANALYSIS_ERROR_NOERROR = 0,
    SONGANALYSIS_ERROR_NOTOPENED = -1,
    SONGANALYSIS_ERROR_ALREADYOPENED = -2,
    SONGANALYSIS_ERROR_OUTOFMEMORY = -3,
    SONGANALYSIS_ERROR_NOTSUPPORTED = -4,
    SONGANALYSIS_ERROR_MODE = -5,
    SONGANALYSIS_ERROR_FILEERROR = -10,
    SONGANALYSIS_ERROR_INCOMPATIBLEVERSION = -11,
    SONGANALYSIS_ERROR_FILEFORMAT = -12,
    SONGANALYSIS_ERROR_FILECORRUPTED = -13,
    SONGANALYSIS_ERROR_NOTSUPPORTED_CODECS = -14,
    SONGANALYSIS_ERROR_NOTSUPPORTED_FILEFORMAT = -15,
    SONGANALYSIS_ERROR_NOTSUPPORTED_SAMPLERATE = -16,
    SONGANALYSIS_ERROR_NOTSUPPORTED_BITRATE = -17,
    SONGANALYSIS_ERROR_NOTSUPPORTED_NUMCHANS = -18,
    SONGANALYSIS_ERROR_OUTOFRANGE = -20,
    SONGANALYSIS_ERROR_ERROR = -99,
};

enum songanalysis_mode : s32 {
    SONGANALYSIS_MODE_ONLINE = 0,
    SONGANALYSIS_MODE_OFFLINE = 1, // the whole file is available
};

// Selects FFT and frame size; CUSTOM takes them from songanalysis_new's arguments.
enum songanalysis_quality : s32 {
    SONGANALYSIS_QUALITY_LOW = 0,
    SONGANALYSIS_QUALITY_MID = 1,
    SONGANALYSIS_QUALITY_HIGH = 2,
    SONGANALYSIS_QUALITY_CUSTOM = 3,
};

// The preset that bounds the tempo search.
enum songanalysis_genre : s32 {
    SONGANALYSIS_GENRE_DEFAULT = 0,
    SONGANALYSIS_GENRE_POP = 0,
    SONGANALYSIS_GENRE_DANCE = 1,
    SONGANALYSIS_GENRE_ROCK = 2,
    SONGANALYSIS_GENRE_HIPHOP = 3,
    SONGANALYSIS_GENRE_CUSTOM = 4,
};

// How a given initial tempo steers the beat tracker.
enum songanalysis_userinputmode : s32 {
    SONGANALYSIS_USERINPUTMODE_IGNORE = 0,
    SONGANALYSIS_USERINPUTMODE_GUIDE = 1,
    SONGANALYSIS_USERINPUTMODE_OVERWRITE = 2,
};

// Feature bits of globalFeatures and songFeatures.
inline constexpr u32 SONGANALYSIS_FEATURE_BEATS = 1;    // tempo, beats and downbeats
inline constexpr u32 SONGANALYSIS_FEATURE_GAIN = 2;     // loudness
inline constexpr u32 SONGANALYSIS_FEATURE_WAVEFORM = 4; // waveform points
inline constexpr u32 SONGANALYSIS_FEATURE_ALL = 255;    // what the whole-file driver uses

inline constexpr u32 SONGANALYSIS_VERSION = 0x03010500;
inline constexpr u32 SONGANALYSIS_MAX_BEATS = 16384;
inline constexpr u32 SONGANALYSIS_MAX_DOWNBEATS = 4096;
// The analysis program's largest profile: callers that hold a full profile size for this.
inline constexpr u32 SONGANALYSIS_MAX_PROFILE_POINTS = 1000;

// ---------------------------------------------------------------------------------------
// Records

struct songanalysis_gain_struct {
    u32 refGain;        // the gain analyser's reference value (700)
    u32 peakValue;      // largest absolute sample seen (sign-extended 16-bit value)
    u32 radioGain;      // the song's loudness value
    u32 audiophileGain; // the album value, or the song value without an album
};

// The analysis record: 112 bytes, little-endian, 4-byte alignment, on every build.
struct songanalysis_struct {
    songanalysis_error lastError;
    songanalysis_quality quality;
    songanalysis_mode mode;
    songanalysis_genre genre;
    u32 isOpened;
    u32 isFinalized;
    u32 globalFeatures;
    u32 songFeatures;
    u32 numChannels;
    u32 inputSampleRate;
    u32 maxLengthInMs;
    u32 sampleRate; // never filled by the analysis
    u32 frameSize;
    u32 fftSize;
    float beatsPerMinute;
    u32 beatsScore;
    u32 downbeatsScore; // never filled by the analysis; carried through load
    s32 audioStart;
    s32 audioEnd;
    u32 musicStart;
    songanalysis_gain_struct gainStruct;
    s32 bitRate;
    s32 durationInMs;
    s8 isNativelySeekable;
    s8 dirty;
    u8 padding[2];
    // Not a pointer: a 4-byte slot. A live record made by songanalysis_new holds a token
    // that ties it to the private state behind it; every copy that leaves the process
    // (result file, queue message, songanalysis_processFile's copy) holds 0.
    u32 private_;
};

static_assert(sizeof(songanalysis_struct) == 112);
static_assert(offsetof(songanalysis_struct, lastError) == 0);
static_assert(offsetof(songanalysis_struct, quality) == 4);
static_assert(offsetof(songanalysis_struct, mode) == 8);
static_assert(offsetof(songanalysis_struct, genre) == 12);
static_assert(offsetof(songanalysis_struct, isOpened) == 16);
static_assert(offsetof(songanalysis_struct, isFinalized) == 20);
static_assert(offsetof(songanalysis_struct, globalFeatures) == 24);
static_assert(offsetof(songanalysis_struct, songFeatures) == 28);
static_assert(offsetof(songanalysis_struct, numChannels) == 32);
static_assert(offsetof(songanalysis_struct, inputSampleRate) == 36);
static_assert(offsetof(songanalysis_struct, maxLengthInMs) == 40);
static_assert(offsetof(songanalysis_struct, sampleRate) == 44);
static_assert(offsetof(songanalysis_struct, frameSize) == 48);
static_assert(offsetof(songanalysis_struct, fftSize) == 52);
static_assert(offsetof(songanalysis_struct, beatsPerMinute) == 56);
static_assert(offsetof(songanalysis_struct, beatsScore) == 60);
static_assert(offsetof(songanalysis_struct, downbeatsScore) == 64);
static_assert(offsetof(songanalysis_struct, audioStart) == 68);
static_assert(offsetof(songanalysis_struct, audioEnd) == 72);
static_assert(offsetof(songanalysis_struct, musicStart) == 76);
static_assert(offsetof(songanalysis_struct, gainStruct) == 80);
static_assert(offsetof(songanalysis_struct, bitRate) == 96);
static_assert(offsetof(songanalysis_struct, durationInMs) == 100);
static_assert(offsetof(songanalysis_struct, isNativelySeekable) == 104);
static_assert(offsetof(songanalysis_struct, dirty) == 105);
static_assert(offsetof(songanalysis_struct, private_) == 108);
static_assert(sizeof(songanalysis_gain_struct) == 16);

// One waveform point: the element of the waveform file and of the result file's profile.
struct songanalysis_wfv_struct {
    s8 xp; // positive peak (scaled)
    s8 xn; // negative peak (scaled, at most 0)
    u8 h;  // hue
    u8 v;  // value (brightness)
    u8 r;
    u8 g;
    u8 b;
    u8 padding; // 0xF0
};
static_assert(sizeof(songanalysis_wfv_struct) == 8);

// The header record after the waveform file's version word: xp = xn = -1 marks it.
struct songanalysis_wfv_extra_struct {
    s8 xp;             // -1
    s8 xn;             // -1
    s16 res;           // ms per point (little-endian in the file)
    u8 r1, r2, r3, r4; // 0xFF
};
static_assert(sizeof(songanalysis_wfv_extra_struct) == 8);

// Tempo bounds of the search and the weights of the four beats of a bar.
struct songanalysis_genre_struct {
    u32 lowerBPM;
    u32 upperBPM;
    s32 beatPattern[4];
};

// The presets, indexed by genre 0 to 3.
extern const songanalysis_genre_struct GENRE_DATA[4];

// The files of one song; any may be null.
struct songanalysis_filenames_struct {
    const char *sek_path; // seek-table file
    const char *sar_path; // result file
    const char *wfv_path; // waveform file
    const char *aud_path; // audio file
};

// The options of one whole-file run.
struct songanalysis_options_struct {
    s32 anchor[16];          // ms; the list ends at its first negative entry
    s32 beatsToAdd[16];      // ms; the list ends at its first entry below 1
    s32 beatsToRemove[16];   // ms; likewise
    u32 mode;                // 1 marks a pure edit request (not read by the analysis)
    s32 product;             // 4 or 8, for the result folder
    float bpm;               // initial or fixed tempo, 0 for none
    s32 bpmMode;             // the user-input mode minus 1
    s32 gridMode;            // 0 free grid, 1 fixed tempo from bpm, 2 fixed grid
    s32 fastMode;            // not read by the analysis
    u32 wfvResolutionMs;     // waveform file: ms per point
    u32 wfvScale;            // waveform file: peak scale
    u32 wfpScale;            // profile: peak scale
    u32 wfpSize;             // profile: point count
    const char *commandLine; // copied into the result file's comment
    s32 printInfo;           // 1 prints a summary
};

// The defaults used when no options are given.
songanalysis_options_struct songanalysis_defaultOptions();

// Receives the finished live record of songanalysis_processFile.
using songanalysis_results_callback = void (*)(songanalysis_struct *sa);

// The private working state of a live record (defined with the life cycle).
struct songanalysis_handle;

// ---------------------------------------------------------------------------------------
// Life cycle

// A new record that is not opened; null on bad sizes or exhausted memory (nothing leaks).
// LOW, MID and HIGH choose the configuration's frame and FFT sizes; CUSTOM takes the
// arguments.
songanalysis_struct *songanalysis_new(songanalysis_quality quality, songanalysis_mode mode, u32 features,
                                      u32 frameSize, u32 fftSize);

// Prepares a song: ALREADYOPENED when opened, OUTOFMEMORY when its working memory cannot be
// had (the record stays closed).
songanalysis_error songanalysis_open(songanalysis_struct *sa, u32 features, u32 inputSampleRate,
                                     u32 maxLengthInMs, u32 numChans, float initialBPM,
                                     songanalysis_genre genre, const songanalysis_genre_struct *genreStruct);

// Analyses one frame: frameSize sample frames of numChannels interleaved 16-bit samples
// (inSize is not read). Returns change flags: 1 tempo, 2 beat count, 4 downbeat count.
u32 songanalysis_process(songanalysis_struct *sa, const s16 *pIn, u32 inSize);

// Ends the song's analysis (grid refinement, gains, waveform post-processing). Returns 0.
songanalysis_error songanalysis_finalize(songanalysis_struct *sa, s32 *anchors, s32 nAnchors, bool fixedGrid);

// Releases the song's working memory and open files; the record can be opened again.
void songanalysis_close(songanalysis_struct *sa);

// Releases the record and everything it owns; null allowed. Close an open record first.
void songanalysis_destroy(songanalysis_struct *sa);

songanalysis_error songanalysis_setUserInputMode(songanalysis_struct *sa,
                                                 songanalysis_userinputmode usermode);
songanalysis_error songanalysis_newAlbum(songanalysis_struct *sa, u32 numSongs);
songanalysis_error songanalysis_albumEnd(songanalysis_struct *sa);

// The private state of a live record made by songanalysis_new; null for any other record
// (a copy, a record received from another process).
songanalysis_handle *songanalysis_getHandle(const songanalysis_struct *sa);

// ---------------------------------------------------------------------------------------
// Result and waveform files

// With a waveform path: a full save of the result and waveform files. Without one: an
// edit-in-place save of an existing result file. Clears dirty.
songanalysis_error songanalysis_saveResults(songanalysis_struct *sa,
                                            const songanalysis_filenames_struct *resultFileNames,
                                            u32 wfvResolutionMs, u32 wfvScale, u32 wfpScale, u32 wfpSize,
                                            const char *comment, u32 commentSize);

// Loads a result file into a record that is not opened; with a waveform path the waveform
// file stays open for songanalysis_readWaveform until close.
songanalysis_error songanalysis_openAndLoadResults(songanalysis_struct *sa, const char *sarFileName,
                                                   const char *wfvFileName);

// Reads the profile points of a result file without a record. *read_size receives the
// number of points in the file's profile; at most `capacity` points are written to
// waveform (null only counts).
songanalysis_error songanalysis_readWaveformProfile(songanalysis_wfv_struct *waveform, u32 *read_size,
                                                    const char *sarFileName,
                                                    u32 capacity = SONGANALYSIS_MAX_PROFILE_POINTS);

// Checks a saved analysis and, through the checksums it records, the other files.
songanalysis_error songanalysis_validate(const char *sarFileName, const char *sekFileName,
                                         const char *wfvFileName, const char *audFileName);

// Saves a dirty record in place, then closes it.
songanalysis_error songanalysis_closeWithSave(songanalysis_struct *sa, const char *sarFileName);

// Reads count items of size bytes into data, or skips them when data is null. Returns the
// number of items read (or count when skipped), 0 without a file.
u32 readSectionData(FILE *fp, u32 count, u32 size, void *data);

// str with its first occurrence of orig replaced by rep, in a process-wide buffer; str
// itself when orig does not occur (or the result would not fit).
const char *strrep(const char *str, const char *orig, const char *rep);

// Reads up to *read_size points from the point that holds offset_msecs of the open waveform
// file; *read_size receives the number read.
songanalysis_error songanalysis_readWaveform(songanalysis_struct *sa, songanalysis_wfv_struct *waveform,
                                             u32 offset_msecs, u32 *read_size);

// Hands out the in-memory points of an analysis.
songanalysis_error songanalysis_getWaveform(songanalysis_struct *sa, songanalysis_wfv_struct **ppWaveform,
                                            u32 *pWaveformSize, u32 *pWaveformSampleRate);

// ---------------------------------------------------------------------------------------
// Beat-grid queries and edits (an opened record: analysed or loaded)

u32 songanalysis_getNumberOfBeats(const songanalysis_struct *sa);
u32 songanalysis_getNumberOfDownbeats(const songanalysis_struct *sa);
u32 songanalysis_getBeats(const songanalysis_struct *sa, u32 *pBeats, u32 beatOffset, u32 beatSize);
u32 songanalysis_getDownbeats(const songanalysis_struct *sa, u32 *pDownbeats, u32 downbeatOffset,
                              u32 downbeatSize);
songanalysis_error songanalysis_setBeats(songanalysis_struct *sa, const u32 *beats, u32 size);
songanalysis_error songanalysis_setDownbeats(songanalysis_struct *sa, const u32 *downbeats, u32 size);
float songanalysis_fracbeatFromPos(const songanalysis_struct *sa, u32 beatInMs);
float songanalysis_fracDownbeatFromPos(const songanalysis_struct *sa, u32 beatInMs);
u32 songanalysis_posFromFracbeat(const songanalysis_struct *sa, float fracbeat);
u32 songanalysis_posFromFracDownbeat(const songanalysis_struct *sa, float fracbeat);
songanalysis_error songanalysis_posFromFracbeat2(const songanalysis_struct *sa, float fracbeat, u32 *posInMs);
songanalysis_error songanalysis_posFromFracDownbeat2(const songanalysis_struct *sa, float fracbeat,
                                                     u32 *posInMs);
s32 songanalysis_getBeatIndex(const songanalysis_struct *sa, u32 beatInMs);
s32 songanalysis_getDownbeatIndex(const songanalysis_struct *sa, u32 beatInMs);
songanalysis_error songanalysis_getSurroundingBeats(const songanalysis_struct *sa, u32 offsetInMs,
                                                    u32 *previousBeat, u32 *nextBeat);
songanalysis_error songanalysis_getSurroundingDownbeats(const songanalysis_struct *sa, u32 offsetInMs,
                                                        u32 *previousBeat, u32 *nextBeat);
songanalysis_error songanalysis_addBeat(songanalysis_struct *sa, u32 beat);
songanalysis_error songanalysis_removeBeat(songanalysis_struct *sa, u32 beat);
songanalysis_error songanalysis_setFixedBPM(songanalysis_struct *sa, float newBPM);
float songanalysis_getFixedBPM(const songanalysis_struct *sa);
songanalysis_error songanalysis_alignBeats(songanalysis_struct *sa, u32 newBeatInMs);
songanalysis_error songanalysis_tapBeat(songanalysis_struct *sa, u32 offsetInMs);
songanalysis_error songanalysis_tapBeatReset(songanalysis_struct *sa);
songanalysis_error songanalysis_tapDownbeat(songanalysis_struct *sa, u32 offsetInMs);

// A 32-bit string hash (h = h * 37 + byte) and its eight-letter form in ou (no NUL).
u32 songanalysis_hash(const char *str, char *ou);

// ---------------------------------------------------------------------------------------
// Whole-file driver

// Analyses one audio file and saves its result, waveform and seek-table files. Returns 0 at
// once when *quit is 1, and 0 without a save when it turns 1 during the run. A file that cannot
// be decoded or a save that fails returns its error, with no copy in sa_ and no callback; the
// callback gets the live record only after a successful save.
songanalysis_error songanalysis_processFile(const char *audioFileName,
                                            const songanalysis_filenames_struct *resultFileNames,
                                            songanalysis_quality q, songanalysis_struct *sa_,
                                            const volatile int *quit,
                                            songanalysis_results_callback cbSendResults,
                                            const songanalysis_options_struct *options);

// Applies the added and removed beats of the options to an existing result file; the error of
// its load or of its save, else 0.
songanalysis_error songanalysis_editResultFile(const songanalysis_filenames_struct *resultFileNames,
                                               const songanalysis_options_struct *options);

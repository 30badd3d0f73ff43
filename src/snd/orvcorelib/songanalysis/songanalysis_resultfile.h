// What the result-file save, its edit in place and the load share: the sections a save owns,
// their encoding, and the seals of the companion files. Users of the record never include
// this header.
#pragma once

#include "songanalysis/songanalysis.h"
#include "songanalysis/songanalysis_sections.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

// One section ready to be written: name and little-endian data.
struct songanalysis_section {
    std::array<char, 8> name{};
    std::vector<u8> data;
};

songanalysis_section songanalysis_u32Section(const char *name, u32 value);
songanalysis_section songanalysis_floatSection(const char *name, float value);
songanalysis_section songanalysis_bytesSection(const char *name, const void *data, size_t size);

// The sections at the start of every save, from "version" to "gain", as the record holds them
// now (grids in ms). OUTOFMEMORY when a grid could not be had: that grid is left out and the
// other sections are still built.
songanalysis_error songanalysis_headSections(const songanalysis_struct *sa,
                                             std::vector<songanalysis_section> *out);

// The last section of every save: the fixed tempo in BPM, 0 for none.
songanalysis_section songanalysis_fixbpmSection(const songanalysis_struct *sa);

// True for the sections that every save writes anew (the head sections and "fixbpm");
// the others are the full save's and are carried over unchanged by an edit.
bool songanalysis_isOwnedSection(const songanalysis_section_head &head);

// Writes the sections at the file's position; false when a write fails. Empty sections are
// left out: a head of size 0 ends every walk over the sections.
bool songanalysis_writeSections(FILE *fp, const std::vector<songanalysis_section> &sections);

// The printable tempo of the fixed grid, 0 when none is set.
float songanalysis_fixedBPMOrZero(const songanalysis_struct *sa);

// A file written next to its final path and put in its place by rename once it is complete,
// so that a failed or interrupted write leaves the old file as it was.
class songanalysis_atomicFile {
  public:
    explicit songanalysis_atomicFile(const char *finalPath);
    ~songanalysis_atomicFile(); // removes the temporary file unless committed
    songanalysis_atomicFile(const songanalysis_atomicFile &) = delete;
    songanalysis_atomicFile &operator=(const songanalysis_atomicFile &) = delete;

    FILE *get() const { return fp_; } // null when it could not be made
    // Flushes, closes and renames over the final path; false (old file kept) on any failure.
    bool commit();

  private:
    std::string final_;
    std::string temp_;
    FILE *fp_ = nullptr;
};

// Appends the checksum of a finished companion file (seek table, waveform) and returns it.
// A file that is already sealed keeps its seal, so saving twice never stacks checksums.
// 0xFFFFFFFF when the file cannot be opened or written.
u32 songanalysis_sealCompanion(const char *path);

// The save without a waveform path: rewrites the sections a save owns in an existing result
// file and seals it again, keeping every other section as it is.
songanalysis_error songanalysis_editResultsInPlace(songanalysis_struct *sa, const char *sarFileName);

// The device configuration's text and beat-marker files beside the result file, named after
// the audio file. Nothing in the desktop configuration.
void songanalysis_writeCompanionFiles(songanalysis_struct *sa, const songanalysis_filenames_struct *names);

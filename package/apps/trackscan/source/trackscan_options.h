// The option part of trackscan's command line: the options record handed to the analysis,
// the long-option table, the integer reader and the option text for the result file's comment.
#pragma once

#include "songanalysis/songanalysis.h"

#include <cstddef>
#include <span>

// 1 echoes every parsed option value ("option %s = %d").
extern int verbose_flag;

// The option text buffer: 511 characters and the NUL.
inline constexpr std::size_t TRACKSCAN_COMMAND_SIZE = 512;

// The entries each of the anchor, added-beat and removed-beat lists holds.
inline constexpr std::size_t TRACKSCAN_LIST_SIZE = 16;

struct trackscan_range {
    int min;
    int max;
};

// What the parsed options asked for beyond their values.
struct trackscan_parsed {
    bool analysisOption; // an option that the analysis reads (forces a full analysis)
    bool editRequested;  // an added or removed beat
};

// Returns: the integer value of an option text: the text read as a decimal number when every
// character is a digit (the empty text gives 0); -1 for any other text, a sign included, and
// for digits beyond the int range. With a range, a value outside it prints the out-of-range
// line and gives 0. In verbose mode the value read is echoed first.
int arg2opt_i(const char *name, const char *value, const trackscan_range *range);

// The options record with the program's start values: all lists -1, product 8, every other
// field 0, no option text.
songanalysis_options_struct trackscan_initOptions();

// Needs: args = the song id followed by the option arguments (the song id stands where a
// parser expects the program name). The arguments are not reordered.
// Fills o from the options in the order given; list entries beyond a list's 16 are ignored.
// Unknown options and missing values print "unknown option" and the parse goes on.
trackscan_parsed trackscan_parseOptions(std::span<char *const> args, songanalysis_options_struct *o);

// Applies the edit-mode rule: an analysis option makes the run a full analysis (mode 0, with a
// warning when an edit was requested too); otherwise mode 1 marks an edit request.
void trackscan_applyMode(const trackscan_parsed &parsed, songanalysis_options_struct *o);

// The waveform values that are still 0 take their defaults (127, 5 ms, 420 points, 127).
void trackscan_applyWaveformDefaults(songanalysis_options_struct *o);

// Writes " <arg>" for each option argument, in order, into command (NUL-terminated); text
// beyond the buffer's capacity is cut off. An empty list gives the empty text.
void trackscan_collectCommand(std::span<char *const> options, std::span<char> command);

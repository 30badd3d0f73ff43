// trackscan's informational switches and usage texts, and the exit status of an analysis
// result.
#pragma once

#include <cstdio>

// The two usage texts.
extern const char TRACKSCAN_USAGE_SHORT[];
extern const char TRACKSCAN_USAGE_LONG[];

// Returns: true after answering the switch on out (status 0 follows); false, with nothing
// written, when arg is none of the switches (compared whole and case-sensitive).
bool trackscan_answerSwitch(const char *arg, std::FILE *out);

// Writes the short usage text to err.
void trackscan_printShortUsage(std::FILE *err);

// Returns: a non-negative analysis result as it is; an analysis error e as 64 - e, at most 113.
int trackscan_exitStatus(int analysisResult);

// The build date as year * 10000 + month * 100 + day, from a date text in the compiler's
// "Mmm dd yyyy" form; 0 for a text of another form.
int trackscan_buildDate(const char *date);

// The build time as hour * 10000 + minute * 100 + second, from an "hh:mm:ss" text; 0 for a
// text of another form.
int trackscan_buildTime(const char *time);

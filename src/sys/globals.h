// Process-wide settings that the start-up of deckhost fills in before any module starts and
// that every module reads without a lock afterwards.
#pragma once

#include "sys/verbose.h"

// "-q": the library prints every database query.
extern bool print_queries;
// "-s": the sound engine swaps the headphone and main outputs.
extern bool swap_hp_main;
// The folder of the running program, without a trailing slash; modules build resource
// paths from it ("%s/../resources/..."). Null until the start-up has read it.
extern char *WORKING_PATH;

// Exit codes, and the guards of the teardown: a crash or a hang while the modules are torn
// down still ends the program with the exit code of the pending shutdown.
#pragma once

#include "orvsys/orvint.h"

// How long the teardown may take before the watchdog ends the program.
inline constexpr u32 BGN_TEARDOWN_WATCHDOG_MS = 10000;

// Returns: the exit code for the launcher: 0 for SHUTDOWN_ID_EXIT, 16 plus the low 4 bits of
// midi_channel for SHUTDOWN_ID_MIDI_LAUNCH, 64 for SHUTDOWN_ID_UPDATE, 68 for
// SHUTDOWN_ID_FACTORY_RESET, 69 for SHUTDOWN_ID_EXECUTE_SCRIPT, 99 for any other id.
int bgn_exit_code(unsigned shutdown_id, int midi_channel);

// The SIGSEGV handler of the teardown. With a crash code set by bgn_teardown_begin it writes
// "Segmentation fault during shutdown" and a line end to standard error and ends the process
// at once with that code; without one it restores the default action and raises SIGSEGV again.
void sigsegv_handler(int x);

// Needs: called once, on the main thread, as the teardown starts.
// crash_code: the exit code for a crash during the teardown, or -1 when no shutdown is
// pending (the crash then ends the process by the signal). exit_code: the code the watchdog
// ends the program with.
// Guarantees: SIGSEGV runs sigsegv_handler with every signal blocked; unless bgn_teardown_end
// follows within watchdog_ms, the watchdog prints
// "BGN: Teardown did not finish within <ms> ms; exiting with <code>." and ends the process at
// once with exit_code.
void bgn_teardown_begin(int crash_code, int exit_code, u32 watchdog_ms);

// Guarantees: the watchdog has stopped; SIGSEGV keeps the teardown handler.
void bgn_teardown_end();

// The steps of deckhost's start-up before the modules run: the single-instance lock, the
// start-up picture, the options, the program's folder, the analysis program's handshake and
// the process settings; and the diagnostics printed at the end.
#pragma once

#include "orvsys/orvint.h"

#include <string>

// ---- Single instance ------------------------------------------------------------------------

// Returns: a close-on-exec descriptor of path (created with mode 0666) holding a write lock on
// its first byte, or -1 with nothing left open when the file cannot be opened or another
// process holds the lock.
int bgn_lock_try(const char *path);

// Returns: the descriptor of bgn_lock_try once it succeeds. While it fails, prints
// "\nAnother instance is running.  Waiting for it to finish.\n" and "Press Ctrl+C to abort.\n",
// each followed by a line end, and tries again every 10 s, for ever.
int bgn_lock_wait(const char *path);

// ---- Options and folders --------------------------------------------------------------------

// Needs: argv as main got it. Returns: false after printing the usage ("-?" or an unknown
// option: the program then ends with 0), else true with verbose, print_queries and
// swap_hp_main set from "-v", "-q" and "-s"; "-m" prints that it is ignored.
bool bgn_parse_options(int argc, char **argv);

// Returns: the folder part of the target of link, read in full however long; "." for a target
// without a folder, and "." after perror "readlink" when the link cannot be read.
std::string bgn_link_folder(const char *link);

// Returns: the path of the start-up picture in the resource folder beside program_folder.
std::string bgn_startup_picture_path(const std::string &program_folder);

// Guarantees: the start-up picture is being copied into the framebuffer in the background
// (dd if=<picture> of=<framebuffer> bs=960 count=272).
void bgn_show_startup_picture(const std::string &program_folder);

// ---- The analysis program ------------------------------------------------------------------

enum bgn_trackscan_outcome {
    BGN_TRACKSCAN_COMPATIBLE,    // same analysis version (or unreadable) and hashes supported
    BGN_TRACKSCAN_NOT_INSTALLED, // it could not be run at all
    BGN_TRACKSCAN_OTHER_VERSION, // a different analysis version
    BGN_TRACKSCAN_NO_HASH,       // "--supports-hash" did not answer as expected
};

// Returns: true with *version set when text starts (after white space) with a hexadecimal
// number, "0x" allowed; a number beyond 32 bits gives 0xFFFFFFFF. False when no digit is there.
bool bgn_parse_hex_version(const char *text, u32 *version);

// Returns: true when the first line of the "--supports-hash" answer begins with '2'.
bool bgn_hash_answer_ok(const std::string &answer);

// Needs: path of the analysis program. Runs "path --version" and "path --supports-hash",
// prints the lines of the handshake and returns its outcome; the caller ends the start-up with
// SIGABRT for every outcome but BGN_TRACKSCAN_COMPATIBLE.
bgn_trackscan_outcome bgn_check_trackscan(const char *path);

// ---- Process settings -----------------------------------------------------------------------

// Guarantees: the soft stack limit is 4 MB (the hard limit unchanged) and threads made later
// without an explicit stack size get 4 MB stacks.
void bgn_set_stack_limit();

// Guarantees: LANGUAGE and LANG are "en_US.utf8" unless they were set; every locale category
// follows the environment and the collation is "en_US.utf8".
void bgn_set_locale();

// Guarantees: the process runs at best-effort I/O priority 2; prints
// "IO Priority set to BE-2, <result> (pid <pid>)".
void bgn_set_io_priority();

// Prints the diagnostics of the end: SQLite's memory use and version, the I/O priority, and
// "<n> threads remaining at exit." when more than one thread is still running after 1 s.
void bgn_print_exit_diagnostics();

// Returns: the number of threads of this process, from the "Threads:" line of its status; 0
// when it cannot be read.
unsigned bgn_thread_count();

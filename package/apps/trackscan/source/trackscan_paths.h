// Where trackscan leaves a song's analysis files: the result, seek-table and waveform paths
// under the drive's analysis folder, and the making of their folder.
#pragma once

#include "songanalysis/songanalysis.h"

#include <string>

// The analysis folder under the drive's root for a product (4 or 8).
const char *trackscan_analysisFolder(int product);

// True when the song id can name a sub-folder and a file inside the analysis folder: at least
// three characters, no '/', and a sub-folder other than "..".
bool trackscan_songIdUsable(const char *songId);

// The three analysis paths of one song. The strings are owned here; filenames points at them
// for as long as this object lives and is cleared when it ends.
class trackscan_paths {
  public:
    // Needs: a usable song id (trackscan_songIdUsable).
    trackscan_paths(const char *rootFolder, int product, const char *songId, const char *audioFile,
                    songanalysis_filenames_struct *filenames);
    ~trackscan_paths();
    trackscan_paths(const trackscan_paths &) = delete;
    trackscan_paths &operator=(const trackscan_paths &) = delete;

    // The folder part of the result path (up to its last '/').
    std::string folder() const;

  private:
    std::string sar_;
    std::string sek_;
    std::string wfv_;
    songanalysis_filenames_struct *filenames_;
};

enum trackscan_mkdir_result {
    TRACKSCAN_MKDIR_DONE = 0,    // the child ran and ended (its own result is not examined)
    TRACKSCAN_MKDIR_NO_CHILD,    // no child could be made: the run goes on without the folder
    TRACKSCAN_MKDIR_WAIT_FAILED, // "Couldn't execute child" was printed
};

// Runs "/bin/mkdir -p folder" in a child (never through a shell) and waits for it. Standard
// output and error are flushed first so that nothing buffered is written twice. A child that
// cannot run the command writes "Couldn't run /bin/mkdir ??" and ends with status 1.
trackscan_mkdir_result trackscan_makeFolder(const std::string &folder);

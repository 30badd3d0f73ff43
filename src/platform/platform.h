// Paths and external tools of the unit. Each has the unit's value as its default; an
// environment variable starting with DECKHOST_ replaces it on a host:
//   DECKHOST_LOCK_FILE   the single-instance lock file      ("/tmp/quilo.lock")
//   DECKHOST_FB_DEVICE   the framebuffer of the screen      ("/dev/fb0")
//   DECKHOST_XSERVER     the X server program               ("/usr/bin/Xfbdev")
//   DECKHOST_MOUNTS      the mount table                    ("/proc/self/mounts")
//   DECKHOST_SYSFS_ROOT  the kernel's device attributes     ("/sys")
//   DECKHOST_PLAYER_MOUNTS  portable players are mounted at this prefix plus a number
//                        ("/mnt/ipod", so "/mnt/ipod1", "/mnt/ipod2"...)
//   DECKHOST_UPDATE_FIFO the pipe an updater announces update files on ("/tmp/update-notify")
//   DECKHOST_UPDATE_LINK the link to the update file the user accepted
//                        ("/tmp/deckhost-requested-fwupdate")
//   DECKHOST_TOOL_DIR    when set, every external tool runs from this folder only, under
//                        the base name of its program (no search of the PATH)
// The environment is read once, on first use or by platform_reload.
#pragma once

#include <string>

enum platform_path_id {
    PLATFORM_LOCK_FILE,
    PLATFORM_FB_DEVICE,
    PLATFORM_MOUNTS,
    PLATFORM_SYSFS_ROOT,
    PLATFORM_PLAYER_MOUNTS,
    PLATFORM_UPDATE_FIFO,
    PLATFORM_UPDATE_LINK,
    PLATFORM_PATH_COUNT
};

enum platform_tool {
    PLATFORM_TOOL_DD,       // copies the start-up picture into the framebuffer
    PLATFORM_TOOL_KILLALL,  // ends processes by name
    PLATFORM_TOOL_XSERVER,  // the X server that draws into the framebuffer
    PLATFORM_TOOL_UUIDGEN,  // prints a new UUID, the id of a drive whose own is too short
    PLATFORM_TOOL_IFUSE,    // mounts a portable player as a user-space file system
    PLATFORM_TOOL_MODPROBE, // loads a kernel module (the one of the user-space file systems)
    PLATFORM_TOOL_UMOUNT,   // unmounts a mount point
    PLATFORM_TOOL_COUNT
};

// Needs: no other thread reads the platform values at the same time.
// Guarantees: the values are read again from the environment.
void platform_reload();

// Needs: a valid id. Returns: the path (never null), valid until platform_reload.
const char *platform_path(platform_path_id id);

// Needs: a valid tool. Returns: what to run for it: its program (default or override), or,
// when DECKHOST_TOOL_DIR is set, that folder followed by the program's base name.
std::string platform_tool_path(platform_tool tool);

// Returns: the part of path after its last '/', or path itself when it has none.
const char *platform_base_name(const char *path);

// Needs: args null-terminated, args[0] the program name.
// Returns: the tool's wait status once it has ended (as waitpid gives it), or -1 when it could
// not be started. The child starts with an empty signal mask and default signal actions.
int platform_run_wait(platform_tool tool, const char *const args[]);

// As platform_run_wait, but the tool runs in the background as a shell's "&" would start it:
// it is not a child of this process, so nothing waits for it. Returns 0 once it is started,
// -1 when it could not be.
int platform_run_detached(platform_tool tool, const char *const args[]);

// The drive's own id, for drives whose file-system UUID is too short to tell them apart: the
// first line of the file "uuid.txt" in the drive's database folder, made with the UUID
// generator on first use.
#pragma once

#include <string>

// The drive's database folder, under its mount point.
inline constexpr const char *UDEV_DB_FOLDER = "Quilo4_Database";
inline constexpr const char *UDEV_DRIVE_ID_FILE = "uuid.txt";

// Needs: mountpoint is the drive's mount point.
// Returns: the first line of "<mountpoint>/Quilo4_Database/uuid.txt" (up to a line end, at
// most 40 characters). When the file is missing or its first line is empty, a new id from
// the UUID generator is written there first (the folder is made, mode 0775, when missing).
// Empty when no id can be had: the generator gave none ("UDEV: Error: ..." is printed), or
// the drive cannot be written.
// Guarantees: the file and the folder are never reached through a symbolic link, and only a
// regular file is read, so a drive cannot point the writes elsewhere or stall the reader.
std::string udev_drive_id(const std::string &mountpoint);

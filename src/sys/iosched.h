// I/O scheduler tuning for a drive: the completely fair queueing scheduler, tuned so that
// reading songs from the drive interleaves well with the library's scans.
#pragma once

// Needs: dev_path, a device node such as "/dev/sda1".
// Guarantees: the attribute files of its disk under the sysfs root are written, each opened
// for writing on its own: "<root>/block/<disk>/queue/scheduler" <- "cfq",
// ".../queue/iosched/quantum" <- "8", then back_seek_max <- "10000000", back_seek_penalty <- "1",
// fifo_expire_sync <- "75", slice_sync <- "50". When the first or the second cannot be opened,
// prints "UDEV: CFQ config: Failed to open <path>, errno <n>" and stops; the last four are
// skipped silently when they cannot be opened. With verbose set, prints the results of the
// first two writes.
void config_usb_cfq(const char *dev_path);

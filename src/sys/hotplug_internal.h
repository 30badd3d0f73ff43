// The parts of the hot-plug listener that its thread and the player multiplexer's thread run,
// open to the tests.
#pragma once

#include "orvsys/orvint.h"
#include "platform/block_events.h"
#include "platform/player_events.h"
#include "sys/dispatch.h"
#include "sys/hotplug_table.h"

// The listener's queue and the ids it is registered for.
inline constexpr const char *UDEV_QUEUE_NAME = "/udev";
inline constexpr long UDEV_QUEUE_DEPTH = 16;
inline constexpr u16 udev_msgs[] = {mShutdownCmd, mModuleInit};

// The mount table is looked at this often, at most this many times, while a player's file
// system comes up or goes.
inline constexpr u32 UDEV_MOUNT_CHECK_MS = 100;
inline constexpr int UDEV_MOUNT_CHECKS = 100;
// Player mount points are numbered from 1 to this.
inline constexpr int UDEV_PLAYER_MOUNTS_MAX = 1000;

// Returns: the table of connected drives and players (one per process).
udev_device_table &udev_table();

// Needs: info not null. Guarantees: info is broadcast with name (priority 15, waiting for ever)
// and belongs to the receiver.
void udev_broadcast_block(u16 name, usb_block_info *info);

// Handles one block device: present at start (empty action) or an event. An addition of a
// mounted USB drive stores and broadcasts its description and tunes its I/O scheduler; a
// removal of a stored drive broadcasts it and drops it; anything else is ignored.
// A mount table that cannot be read raises SIGABRT.
void udev_handle_block(const platform_block_device &device);

// Handles one event of the player multiplexer (PLATFORM_PLAYER_ADD, PLATFORM_PLAYER_REMOVE,
// others print "UDEV: Usbmuxd: unknown event"). Safe from the multiplexer's thread.
void udev_player_event(int event, const platform_player &player);

// Tells the player handling that the listener is ending: waits for a mount table change end
// at once, and a player whose file system was still coming up is not reported. false again
// for a new run.
void udev_set_stopping(bool stopping);

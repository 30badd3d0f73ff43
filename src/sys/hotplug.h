// The hot-plug listener: a thread that reports mounted USB drives and Apple portable players
// to the rest of deckhost. Each drive or player that comes is broadcast as mBlockDevAdded, each
// that goes as mBlockDevRemoved (id 0xFFFF, body block.info a description that the receiver
// owns and frees with usb_block_info_destroy); when no drive is there at start, it broadcasts
// mAllDevicesLoaded. It stays idle until the user interface announces itself.
#pragma once

// Guarantees: the listener's queue "/udev" is made and registered (mShutdownCmd, mModuleInit)
// before its thread starts, so it misses no announcement; the thread runs (512 KB stack).
void udev_listener_init();

// Needs: mShutdownCmd has been broadcast (the thread ends on it). Guarantees: the thread has
// ended; a second call does nothing.
void udev_listener_destroy();

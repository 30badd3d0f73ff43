// The update watcher: a thread that lets an outside updater announce a firmware update file.
// The updater writes "update:<path>" and a line end into the update pipe; the watcher asks
// the user through pop-up 47 (POPUP_ID_UPDATE_FILE_DETECTED) whether to install it, and on a
// yes links the request link to the file and asks for a shutdown with the update id, which
// ends deckhost with exit code 64. It starts watching once the user interface is ready for
// pop-ups.
#pragma once

// Guarantees: the watcher's queue "/update" is made and registered (mShutdownCmd,
// mReadyForPopups, mPopupResponse) before its thread starts; the thread runs (128 KB stack).
void sys_update_init();

// Needs: mShutdownCmd has been broadcast (the thread ends on it). Guarantees: the thread has
// ended; a second call does nothing.
void sys_update_destroy();

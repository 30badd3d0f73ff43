// What the supervisor uses of the modules it starts. Each module announces itself with
// mModuleInit carrying its ModuleCode once it runs, and after mShutdownCmd reports its end with
// mModuleDeath carrying the same code; the destroy functions then only join threads and free.
#pragma once

// The music library. Returns 0 once its thread is started (it announces MODULE_DB when ready),
// or -1 after printing "Error creating DB Thread".
int db_init();
// Joins the library thread and frees its connections.
void db_destroy();
// Asks the library to install the demo content (unless the user hid the demos).
void db_demo_content_init();

// The background analysis scheduler. Returns 0 once its thread is started (it announces
// MODULE_BAK), or -1.
int bak_init();
// Returns: the path of the analysis program beside this one; never null, never changes.
const char *bak_get_trackscan_path();

// The sound engine. Returns 0 when it all runs (it announces MODULE_SND), else -1 after
// printing the cause and releasing what it made.
int snd_init();
// Stops and joins the engine's threads and releases the audio devices.
int snd_destroy();

// The player. Returns 0; raises SIGABRT when its thread cannot start.
int ply_init();
// The front-panel controls. Returns 0; raises SIGABRT when the panel or its thread fails.
int dek_init();

// The user interface. Returns 0 once its thread is started, or 1 after printing
// "Error creating LCD Thread". It arms a 4 s mModuleWake (MODULE_LCD) before it first opens
// the display and announces MODULE_LCD once its window is up.
int lcd_init();
// Returns: the MIDI channel the user chose for controller mode (0 to 15).
int lcd_get_midi_channel();

// The hot-plug listener and the update watcher; each thread ends on mShutdownCmd and its
// destroy function joins it.
void udev_listener_init();
void udev_listener_destroy();
void sys_update_init();
void sys_update_destroy();

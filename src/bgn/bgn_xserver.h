// The display server the user interface draws through.
#pragma once

// Guarantees: every running X server is ended by name (killall), a new one is started with
// "-keybd keyboard -screen 480x272x16" (its end is reported and it is reaped), and
// "BGN: Xfbdev killed and restarted. (<pid>)" is printed.
void bgn_restart_xserver();

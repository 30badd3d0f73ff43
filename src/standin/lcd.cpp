// Stand-in for the user interface. Besides the common behaviour it takes
//   DECKHOST_STANDIN_LCD_OPEN_DELAY_MS=n  the display takes n ms to open (beyond 4000 the
//                                         display watchdog fires)
//   DECKHOST_STANDIN_LCD_MIDI_CHANNEL=n   the MIDI channel chosen for controller mode
#include "bgn/modules.h"
#include "standin/standin.h"
#include "sys/dispatch_timed.h"
#include "sys/systime.h"
#include "sys/verbose.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr u32 kDisplayWatchdogMs = 4000;

u32 open_delay_ms = 0;
int midi_channel = 0;

// The display watchdog is armed before the display is first opened and cancelled once it is.
void openDisplay(standin_module &) {
    msg wake{};
    msg_stuff_sysex(&wake, mModuleWake, MODULE_LCD);
    const qticket_t ticket = q_timedput(nullptr, &wake, Q_PRIORITY, kDisplayWatchdogMs);
    if (open_delay_ms > 0) sys_sleep(open_delay_ms);
    q_cancel_timedput(ticket);
}

standin_module ui{"lcd", MODULE_LCD, "@lcd_in_q", openDisplay};

} // namespace

int lcd_init() {
    standin_log("lcd_init");
    setenv("DISPLAY", ":0", 0);
    const long delay = standin_number(ui, "OPEN_DELAY_MS", 0);
    open_delay_ms = delay > 0 ? static_cast<u32>(delay) : 0;
    midi_channel = static_cast<int>(standin_number(ui, "MIDI_CHANNEL", 0));
    if (!standin_begin(ui)) {
        std::printf("Error creating LCD Thread\n");
        return 1;
    }
    standin_start(ui, false);
    if (verbose) std::printf("LCD: Thread Created.\n");
    return 0;
}

int lcd_get_midi_channel() {
    return midi_channel;
}

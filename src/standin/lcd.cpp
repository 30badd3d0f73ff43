// Stand-in for the user interface. Besides the common behaviour it takes
//   DECKHOST_STANDIN_LCD_OPEN_DELAY_MS=n  the display takes n ms to open (beyond 4000 the
//                                         display watchdog fires)
//   DECKHOST_STANDIN_LCD_MIDI_CHANNEL=n   the MIDI channel chosen for controller mode
//   DECKHOST_STANDIN_LCD_POPUP_ROW=n      every pop-up is answered with row n (0 to 255); unset,
//                                         pop-ups stay unanswered
// Once it has announced itself it is ready for pop-ups. Each pop-up shown is logged as
// "lcd popup <id> <text>".
#include "bgn/modules.h"
#include "standin/standin.h"
#include "sys/dispatch_timed.h"
#include "sys/systime.h"
#include "sys/verbose.h"

#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

constexpr u32 kDisplayWatchdogMs = 4000;
constexpr u16 kPopupMsgs[] = {mDisplayPopupCmd};

u32 open_delay_ms = 0;
int midi_channel = 0;
int popup_row = -1; // none

// The display watchdog is armed before the display is first opened and cancelled once it is.
void openDisplay(standin_module &) {
    msg wake{};
    msg_stuff_sysex(&wake, mModuleWake, MODULE_LCD);
    const qticket_t ticket = q_timedput(nullptr, &wake, Q_PRIORITY, kDisplayWatchdogMs);
    if (open_delay_ms > 0) sys_sleep(open_delay_ms);
    q_cancel_timedput(ticket);
}

void readyForPopups(standin_module &) {
    msg m{};
    msg_stuff_sysex0(&m, mReadyForPopups);
    q_put(nullptr, &m, Q_PRIORITY, Q_WAIT_FOREVER);
}

// Shows the pop-up (frees its text) and answers it as the user was told to.
void showPopup(standin_module &, const msg &m) {
    if (msg_get_name(&m) != mDisplayPopupCmd) return;
    char *text = m.sysex.body.pop_up.param;
    standin_log("lcd popup %u %s", static_cast<unsigned>(m.sysex.id), text != nullptr ? text : "");
    std::free(text);
    if (popup_row < 0) return;
    msg answer{};
    msg_stuff_popup(&answer, mPopupResponse, m.sysex.id, static_cast<u8>(popup_row),
                    m.sysex.body.pop_up.data_id, nullptr, 0, 0);
    q_put(nullptr, &answer, Q_PRIORITY, Q_WAIT_FOREVER);
}

standin_module ui{.name = "lcd",
                  .code = MODULE_LCD,
                  .queue_name = "@lcd_in_q",
                  .before_announce = openDisplay,
                  .after_announce = readyForPopups,
                  .more_msgs = kPopupMsgs,
                  .more_count = static_cast<int>(std::size(kPopupMsgs)),
                  .on_message = showPopup};

} // namespace

int lcd_init() {
    standin_log("lcd_init");
    setenv("DISPLAY", ":0", 0);
    const long delay = standin_number(ui, "OPEN_DELAY_MS", 0);
    open_delay_ms = delay > 0 ? static_cast<u32>(delay) : 0;
    midi_channel = static_cast<int>(standin_number(ui, "MIDI_CHANNEL", 0));
    const long row = standin_number(ui, "POPUP_ROW", -1);
    popup_row = row >= 0 && row <= 255 ? static_cast<int>(row) : -1;
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

// The message every module of deckhost sends through the queues, with the inline functions
// that build and read it. A message is either named (the head holds MSG_SYSEX_MAGIC and
// sysex.name a msg_name id) or a raw MIDI channel message (only head.note counts).
#pragma once

#include "orvsys/orvint.h"
#include "sys/msgnames.h"
#include "sys/msgvocab.h"
#include "sys/popupids.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <type_traits>

// The head of a named message: the bytes F0 00 01 5A in memory (a system-exclusive start
// and a three-byte manufacturer id) read as a little-endian word.
inline constexpr u32 MSG_SYSEX_MAGIC = 0x5A0100F0u;
// The sub-id of a message that has none.
inline constexpr u16 MSG_NO_ID = 0xFFFF;
// The MIDI status kinds of raw messages (high nibble; the low nibble is the channel).
inline constexpr u8 MSG_STATUS_NOTE_OFF = 0x80;
inline constexpr u8 MSG_STATUS_NOTE_ON = 0x90;
inline constexpr u8 MSG_STATUS_CC = 0xB0;

static_assert(std::endian::native == std::endian::little, "the message head is a little-endian word");

// A drive or portable player: built by the hot-plug listener; the receiver of the message
// that carries it owns it, strings included.
struct usb_block_info {
    bool readonly;
    char *uuid;
    char *friendly;
    char *kernel;
    char *mountpoint;
};

// Pointers are process-local: a message whose body carries one never leaves deckhost.
// The layout keeps the field offsets 0/4/6/8 of the unit, where the record is 20 bytes;
// on a 64-bit host the body forms that hold pointers make it larger.
#pragma pack(push, 4)

struct row_update_info {
    u32 row_number;
    DbSortByCode browse_type;
    char *strings;
};

struct private_msg_note {
    u8 command; // status: 0x80 note off, 0x90 note on, 0xB0 control change; low nibble = channel
    u8 key;     // a midi_key or midi_cc number
    u8 value;   // velocity or controller value
    u8 pad;
};

// Body forms; a body that carries a pointer hands the pointed-to heap data to the receiver.
union msg_body {
    int err;
    u8 data[12];
    struct {
        u32 value;
        char *string;
    } db;
    struct {
        u32 value;
        u8 key;
    } setting;
    struct {
        u32 track_id;
        u32 rbox_id;
    } track;
    struct {
        int err;
        u32 track_id;
    } track_err;
    struct {
        u32 pos;
        u32 trg;
        u32 len;
    } decode;
    struct {
        u32 index;
    } endofsong;
    struct {
        u32 track_id;
    } song_data;
    struct {
        int percent;
        bool jump_flag;
        bool engage_flag;
    } speed_data;
    struct {
        int play_mode;
        int crossfade_mode;
    } play_data;
    struct {
        int key;
        int flags;
    } keypress;
    struct {
        u8 tnum;
        u8 action_after_jump;
        u32 pos;
    } trigger;
    struct {
        u32 loop_start;
        u32 loop_end;
        u8 loop_type;
        u8 loop_flag;
        u16 loop_length;
    } loop;
    struct {
        u8 curve_type;
    } xfader;
    struct {
        int pid_child;
        int return_code;
        int signal_code;
    } process;
    struct {
        float bpm;
        int type;
    } bpm;
    struct {
        int value;
        int key;
    } status;
    struct {
        char *param;
        u32 data_id;
        u8 hl_row;
        u8 data1;
        u16 data2;
    } pop_up;
    struct {
        char *path;
        char *dev_id_str;
        DeckCode deck_id;
    } hotplug;
    struct {
        usb_block_info *info;
    } block;
    struct {
        row_update_info row_info;
    } row_update;
    struct {
        void *ptr;
        u32 len;
    } extra;
};

struct private_msg_sysex {
    u16 name; // a msg_name id
    u16 id;   // deck, module, pop-up, shutdown id, settings key...; MSG_NO_ID for none
    msg_body body;
};

struct msg {
    union {
        u32 sysex_magic;
        private_msg_note note;
    } head;
    private_msg_sysex sysex;
};

#pragma pack(pop)

// Every copy and every size of a message (rings, POSIX queue message size, pipes, timed
// entries) uses this one constant.
inline constexpr std::size_t kMsgSize = sizeof(msg);

static_assert(std::is_trivially_copyable_v<msg>);
static_assert(offsetof(msg, head) == 0 && offsetof(msg, sysex) == 4);
static_assert(offsetof(private_msg_sysex, name) == 0 && offsetof(private_msg_sysex, id) == 2);
static_assert(offsetof(private_msg_sysex, body) == 4);
static_assert(sizeof(void *) != 4 || kMsgSize == 20, "the unit's message is 20 bytes");
static_assert(sizeof(void *) != 8 || kMsgSize == 28, "a 64-bit host widens the pointer bodies");

// ---- Readers -------------------------------------------------------------------------------

// Returns: true when the head is the named-message magic.
inline bool msg_is_sysex(const msg *m) {
    u32 head;
    std::memcpy(&head, &m->head, sizeof head);
    return head == MSG_SYSEX_MAGIC;
}

// Returns: the route key: sysex.name of a named message, the status kind (command >> 4:
// 8 note off, 9 note on, 11 control change) of a raw one. Key 0 is never delivered.
inline u16 msg_get_name(const msg *m) {
    return msg_is_sysex(m) ? m->sysex.name : static_cast<u16>(m->head.note.command >> 4);
}

// Returns: the MIDI channel (the addressed deck) of a raw message.
inline u8 msg_get_channel(const msg *m) {
    return m->head.note.command & 0x0F;
}

// Returns: true for an absolute controller (odd number, value 0 to 127).
inline bool msg_is_cc_abs(const msg *m) {
    return (m->head.note.key & 1) != 0;
}

// Returns: the value byte of an absolute controller.
inline u8 msg_get_cc_abs(const msg *m) {
    return m->head.note.value;
}

// Returns: the value byte of a relative controller as a signed step.
inline s8 msg_get_cc_rel(const msg *m) {
    return static_cast<s8>(m->head.note.value);
}

// Returns: whether a sort code is a browse order (0 to 15), a playlist order (16 to 24) or a
// search kind (28 to 32).
inline bool type_is_browse(int sort) {
    return sort >= DB_SORT_TITLE && sort <= DB_SORT_SESSIONS_DESC;
}
inline bool type_is_plist(int sort) {
    return sort >= DB_SORT_PLISTS_NAME && sort <= DB_SORT_RBOX;
}
inline bool type_is_search(int sort) {
    return sort >= DB_SEARCH_TITLE && sort <= DB_SEARCH_TAG;
}

// ---- Builders ------------------------------------------------------------------------------
// Each sets the head and the fields it names and leaves every other byte as the caller's
// record held it: no builder clears the body.

// Named head with that name and id.
inline void private_stuff_sysex(msg *m, u16 name, u16 id) {
    m->head.sysex_magic = MSG_SYSEX_MAGIC;
    m->sysex.name = name;
    m->sysex.id = id;
}
inline void msg_stuff_sysex(msg *m, u16 name, u16 id) {
    private_stuff_sysex(m, name, id);
}

// Named head with id MSG_NO_ID.
inline void private_stuff_sysex0(msg *m, u16 name) {
    private_stuff_sysex(m, name, MSG_NO_ID);
}
inline void msg_stuff_sysex0(msg *m, u16 name) {
    private_stuff_sysex0(m, name);
}

inline void msg_stuff_track(msg *m, u16 name, u16 deck_id, u32 track_id, u32 entry_id) {
    private_stuff_sysex(m, name, deck_id);
    m->sysex.body.track.track_id = track_id;
    m->sysex.body.track.rbox_id = entry_id;
}

inline void msg_stuff_speed_data(msg *m, u16 name, u16 deck_id, int speed, bool engage, bool jump) {
    private_stuff_sysex(m, name, deck_id);
    m->sysex.body.speed_data.percent = speed;
    m->sysex.body.speed_data.jump_flag = jump;
    m->sysex.body.speed_data.engage_flag = engage;
}

inline void msg_stuff_track_err(msg *m, u16 name, u16 deck_id, u32 track_id, int err) {
    private_stuff_sysex(m, name, deck_id);
    m->sysex.body.track_err.err = err;
    m->sysex.body.track_err.track_id = track_id;
}

inline void msg_stuff_db(msg *m, u16 name, u16 key, u32 value, char *string) {
    private_stuff_sysex(m, name, key);
    m->sysex.body.db.value = value;
    m->sysex.body.db.string = string;
}

// Id 0 and key 0: the settings key travels in the message name.
inline void msg_stuff_setting(msg *m, u16 name, u32 value) {
    private_stuff_sysex(m, name, 0);
    m->sysex.body.setting.value = value;
    m->sysex.body.setting.key = 0;
}

inline void msg_stuff_status(msg *m, u16 name, u16 deck_id, int key, int value) {
    private_stuff_sysex(m, name, deck_id);
    m->sysex.body.status.value = value;
    m->sysex.body.status.key = key;
}

inline void msg_stuff_decode(msg *m, u16 name, u16 deck, u32 pos, u32 trg, u32 len) {
    private_stuff_sysex(m, name, deck);
    m->sysex.body.decode.pos = pos;
    m->sysex.body.decode.trg = trg;
    m->sysex.body.decode.len = len;
}

inline void msg_stuff_error(msg *m, u16 name, u16 id, int err) {
    private_stuff_sysex(m, name, id);
    m->sysex.body.err = err;
}

inline void msg_stuff_endofsong(msg *m, u16 name, u16 id, u32 index) {
    private_stuff_sysex(m, name, id);
    m->sysex.body.endofsong.index = index;
}

inline void msg_stuff_keypress(msg *m, u16 name, int key, int flag) {
    private_stuff_sysex0(m, name);
    m->sysex.body.keypress.key = key;
    m->sysex.body.keypress.flags = flag;
}

// The id is the pop-up id; data_id comes back unchanged in the pop-up's response.
inline void msg_stuff_popup(msg *m, u16 name, u16 id, u8 hl_row, u32 data_id, char *params_str, u8 d1,
                            u16 d2) {
    private_stuff_sysex(m, name, id);
    m->sysex.body.pop_up.param = params_str;
    m->sysex.body.pop_up.data_id = data_id;
    m->sysex.body.pop_up.hl_row = hl_row;
    m->sysex.body.pop_up.data1 = d1;
    m->sysex.body.pop_up.data2 = d2;
}

inline void msg_stuff_trigger(msg *m, u16 name, u16 deck_id, u8 trigger, u32 pos, u8 action_after_jump) {
    private_stuff_sysex(m, name, deck_id);
    m->sysex.body.trigger.tnum = trigger;
    m->sysex.body.trigger.action_after_jump = action_after_jump;
    m->sysex.body.trigger.pos = pos;
}

inline void msg_stuff_loop(msg *m, u16 name, u16 deck_id, u32 start, u32 end, u8 type, u8 flag, u16 length) {
    private_stuff_sysex(m, name, deck_id);
    m->sysex.body.loop.loop_start = start;
    m->sysex.body.loop.loop_end = end;
    m->sysex.body.loop.loop_type = type;
    m->sysex.body.loop.loop_flag = flag;
    m->sysex.body.loop.loop_length = length;
}

inline void msg_stuff_bpm(msg *m, u16 name, u16 deck_id, float bpm, int type) {
    private_stuff_sysex(m, name, deck_id);
    m->sysex.body.bpm.bpm = bpm;
    m->sysex.body.bpm.type = type;
}

// The receiver owns info.
inline void msg_stuff_block(msg *m, u16 name, usb_block_info *info) {
    private_stuff_sysex0(m, name);
    m->sysex.body.block.info = info;
}

// Raw channel messages. Only the low nibble of channel is used, so a bad channel can never
// turn the message into another status kind.
inline void private_stuff_note(msg *m, u8 status, u8 key, u8 channel, u8 value) {
    m->head.note.command = static_cast<u8>(status | (channel & 0x0F));
    m->head.note.key = key;
    m->head.note.value = value;
    m->head.note.pad = 0;
}
inline void msg_stuff_noteon(msg *m, u8 key, u8 channel, u8 value) {
    private_stuff_note(m, MSG_STATUS_NOTE_ON, key, channel, value);
}
inline void msg_stuff_noteoff(msg *m, u8 key, u8 channel, u8 value) {
    private_stuff_note(m, MSG_STATUS_NOTE_OFF, key, channel, value);
}
inline void msg_stuff_cc(msg *m, u8 ccnum, u8 channel, u8 value) {
    private_stuff_note(m, MSG_STATUS_CC, ccnum, channel, value);
}

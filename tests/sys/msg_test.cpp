// The message record: its head, route keys, builders, readers and the id names.
#include "sys/msg.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>

namespace {

constexpr u8 kFill = 0xAB;

msg prefilled() {
    msg m;
    std::memset(&m, kFill, sizeof m);
    return m;
}

std::array<u8, kMsgSize> bytesOf(const msg &m) {
    std::array<u8, kMsgSize> bytes{};
    std::memcpy(bytes.data(), &m, kMsgSize);
    return bytes;
}

// The first byte after a field. Pointer fields of the 4-packed body may sit off their natural
// alignment on a 64-bit host, so tests copy them out by value and never bind references.
#define FIELD_END(member) (offsetof(msg, member) + sizeof(static_cast<msg *>(nullptr)->member))

// Every byte from offset on still holds the fill the record had before the builder ran.
void expectUntouchedFrom(const msg &m, std::size_t offset, const std::string &what) {
    const auto bytes = bytesOf(m);
    for (std::size_t i = offset; i < kMsgSize; ++i) EXPECT_EQ(bytes[i], kFill) << what << ": byte " << i;
}

void expectNamedHead(const msg &m, u16 name, u16 id, const std::string &what) {
    const auto bytes = bytesOf(m);
    EXPECT_EQ(bytes[0], 0xF0) << what;
    EXPECT_EQ(bytes[1], 0x00) << what;
    EXPECT_EQ(bytes[2], 0x01) << what;
    EXPECT_EQ(bytes[3], 0x5A) << what;
    EXPECT_TRUE(msg_is_sysex(&m)) << what;
    EXPECT_EQ(msg_get_name(&m), name) << what;
    EXPECT_EQ(m.sysex.id, id) << what;
}

TEST(MsgLayout, NamedFieldsSitAtTheUnitsOffsets) {
    msg m = prefilled();
    msg_stuff_sysex(&m, 0x1234, 0xBEEF);
    m.sysex.body.err = 0x11223344;
    const auto bytes = bytesOf(m);
    EXPECT_EQ(bytes[4], 0x34);
    EXPECT_EQ(bytes[5], 0x12);
    EXPECT_EQ(bytes[6], 0xEF);
    EXPECT_EQ(bytes[7], 0xBE);
    EXPECT_EQ(bytes[8], 0x44);
    EXPECT_EQ(bytes[11], 0x11);
}

struct RouteCase {
    const char *what;
    std::array<u8, 4> head;
    u16 name;
    bool named;
    u16 key;
    u8 channel;
};

TEST(MsgRouteKey, FollowsTheHead) {
    const RouteCase cases[] = {
        {"named with name 0 is named but never delivered", {0xF0, 0x00, 0x01, 0x5A}, 0, true, mNone, 0},
        {"named load command", {0xF0, 0x00, 0x01, 0x5A}, mLoadCmd, true, mLoadCmd, 0},
        {"note on to deck S2", {0x93, kSync, 100, 0}, 0, false, mNoteOn, DECK_S2},
        {"note off to deck A", {0x80, kTap, 0, 0}, 0, false, mNoteOff, DECK_A},
        {"control change to the preview deck", {0xB6, ccXfadeReq, 64, 0}, 0, false, mCC, DECK_PREVIEW},
        {"a head one bit off the magic is raw", {0xF0, 0x00, 0x01, 0x5B}, mLoadCmd, false, 15, 0},
    };
    for (const RouteCase &c : cases) {
        msg m = prefilled();
        std::memcpy(&m.head, c.head.data(), 4);
        m.sysex.name = c.name;
        EXPECT_EQ(msg_is_sysex(&m), c.named) << c.what;
        EXPECT_EQ(msg_get_name(&m), c.key) << c.what;
        if (!c.named) {
            EXPECT_EQ(msg_get_channel(&m), c.channel) << c.what;
        }
    }
}

struct BuilderCase {
    const char *what;
    std::function<void(msg *)> build;
    u16 name;
    u16 id;
    std::function<void(const msg &)> check; // checks the body fields it set
    std::size_t end;                        // first byte the builder must leave alone
};

constexpr std::size_t kBodyStart = FIELD_END(sysex.id);

TEST(MsgBuilders, SetTheirFieldsAndNothingElse) {
    static char text[] = "text";
    static usb_block_info info{};
    const BuilderCase cases[] = {
        {"msg_stuff_sysex0", [](msg *m) { msg_stuff_sysex0(m, mLoadReq); }, mLoadReq, MSG_NO_ID,
         [](const msg &) {}, kBodyStart},
        {"private_stuff_sysex0", [](msg *m) { private_stuff_sysex0(m, mNone); }, mNone, MSG_NO_ID,
         [](const msg &) {}, kBodyStart},
        {"msg_stuff_sysex", [](msg *m) { msg_stuff_sysex(m, mModuleInit, MODULE_DB); }, mModuleInit,
         MODULE_DB, [](const msg &) {}, kBodyStart},
        {"private_stuff_sysex", [](msg *m) { private_stuff_sysex(m, mShutdownReq, 3); }, mShutdownReq, 3,
         [](const msg &) {}, kBodyStart},
        {"msg_stuff_track", [](msg *m) { msg_stuff_track(m, mLoadCmd, DECK_B, 1234, 77); }, mLoadCmd, DECK_B,
         [](const msg &m) {
             EXPECT_EQ(m.sysex.body.track.track_id, 1234u);
             EXPECT_EQ(m.sysex.body.track.rbox_id, 77u);
         },
         FIELD_END(sysex.body.track.rbox_id)},
        {"msg_stuff_speed_data",
         [](msg *m) { msg_stuff_speed_data(m, mSpeedAbsReq, DECK_A, -250, true, false); }, mSpeedAbsReq,
         DECK_A,
         [](const msg &m) {
             EXPECT_EQ(m.sysex.body.speed_data.percent, -250);
             EXPECT_TRUE(m.sysex.body.speed_data.engage_flag);
             EXPECT_FALSE(m.sysex.body.speed_data.jump_flag);
         },
         FIELD_END(sysex.body.speed_data.engage_flag)},
        {"msg_stuff_track_err", [](msg *m) { msg_stuff_track_err(m, mLoadError, DECK_B, 99, -5); },
         mLoadError, DECK_B,
         [](const msg &m) {
             EXPECT_EQ(m.sysex.body.track_err.err, -5);
             EXPECT_EQ(m.sysex.body.track_err.track_id, 99u);
         },
         FIELD_END(sysex.body.track_err.track_id)},
        {"msg_stuff_db", [](msg *m) { msg_stuff_db(m, mBrowseGetList, 17, 3, text); }, mBrowseGetList, 17,
         [](const msg &m) {
             EXPECT_EQ(m.sysex.body.db.value, 3u);
             const char *string = m.sysex.body.db.string;
             EXPECT_EQ(string, text);
         },
         FIELD_END(sysex.body.db.string)},
        {"msg_stuff_setting has id 0 and key 0",
         [](msg *m) { msg_stuff_setting(m, mSettingConfirmTheme, 2); }, mSettingConfirmTheme, 0,
         [](const msg &m) {
             EXPECT_EQ(m.sysex.body.setting.value, 2u);
             EXPECT_EQ(m.sysex.body.setting.key, 0);
         },
         FIELD_END(sysex.body.setting.key)},
        {"msg_stuff_status", [](msg *m) { msg_stuff_status(m, mLEDChange, DECK_B, 7, 1); }, mLEDChange,
         DECK_B,
         [](const msg &m) {
             EXPECT_EQ(m.sysex.body.status.value, 1);
             EXPECT_EQ(m.sysex.body.status.key, 7);
         },
         FIELD_END(sysex.body.status.key)},
        {"msg_stuff_decode", [](msg *m) { msg_stuff_decode(m, mDecodeCmd, DECK_S1, 10, 20, 30); }, mDecodeCmd,
         DECK_S1,
         [](const msg &m) {
             EXPECT_EQ(m.sysex.body.decode.pos, 10u);
             EXPECT_EQ(m.sysex.body.decode.trg, 20u);
             EXPECT_EQ(m.sysex.body.decode.len, 30u);
         },
         FIELD_END(sysex.body.decode.len)},
        {"msg_stuff_error", [](msg *m) { msg_stuff_error(m, mPlayError, 3, -7); }, mPlayError, 3,
         [](const msg &m) { EXPECT_EQ(m.sysex.body.err, -7); }, FIELD_END(sysex.body.err)},
        {"msg_stuff_endofsong", [](msg *m) { msg_stuff_endofsong(m, mEndOfSong, 1, 444); }, mEndOfSong, 1,
         [](const msg &m) { EXPECT_EQ(m.sysex.body.endofsong.index, 444u); },
         FIELD_END(sysex.body.endofsong.index)},
        {"msg_stuff_keypress has no id", [](msg *m) { msg_stuff_keypress(m, mKeypressCmd, 65, 2); },
         mKeypressCmd, MSG_NO_ID,
         [](const msg &m) {
             EXPECT_EQ(m.sysex.body.keypress.key, 65);
             EXPECT_EQ(m.sysex.body.keypress.flags, 2);
         },
         FIELD_END(sysex.body.keypress.flags)},
        {"msg_stuff_popup",
         [](msg *m) { msg_stuff_popup(m, mDisplayPopupCmd, POPUP_ID_LOAD_ERROR, 2, 0xDEAD, text, 5, 600); },
         mDisplayPopupCmd, POPUP_ID_LOAD_ERROR,
         [](const msg &m) {
             const char *param = m.sysex.body.pop_up.param;
             EXPECT_EQ(param, text);
             EXPECT_EQ(m.sysex.body.pop_up.data_id, 0xDEADu);
             EXPECT_EQ(m.sysex.body.pop_up.hl_row, 2);
             EXPECT_EQ(m.sysex.body.pop_up.data1, 5);
             EXPECT_EQ(m.sysex.body.pop_up.data2, 600);
         },
         FIELD_END(sysex.body.pop_up.data2)},
        {"msg_stuff_trigger",
         [](msg *m) { msg_stuff_trigger(m, mLoadTriggerCmd, DECK_A, 3, 5000, AFTER_JUMP_PLAY); },
         mLoadTriggerCmd, DECK_A,
         [](const msg &m) {
             EXPECT_EQ(m.sysex.body.trigger.tnum, 3);
             EXPECT_EQ(m.sysex.body.trigger.action_after_jump, AFTER_JUMP_PLAY);
             EXPECT_EQ(m.sysex.body.trigger.pos, 5000u);
         },
         FIELD_END(sysex.body.trigger.pos)},
        {"msg_stuff_loop",
         [](msg *m) { msg_stuff_loop(m, mLoadLoopCmd, DECK_B, 100, 200, LOOP_MANUAL, 1, 8); }, mLoadLoopCmd,
         DECK_B,
         [](const msg &m) {
             EXPECT_EQ(m.sysex.body.loop.loop_start, 100u);
             EXPECT_EQ(m.sysex.body.loop.loop_end, 200u);
             EXPECT_EQ(m.sysex.body.loop.loop_type, LOOP_MANUAL);
             EXPECT_EQ(m.sysex.body.loop.loop_flag, 1);
             EXPECT_EQ(m.sysex.body.loop.loop_length, 8);
         },
         FIELD_END(sysex.body.loop.loop_length)},
        {"msg_stuff_bpm", [](msg *m) { msg_stuff_bpm(m, mBPMChange, DECK_A, 128.5f, BPM_An); }, mBPMChange,
         DECK_A,
         [](const msg &m) {
             EXPECT_EQ(m.sysex.body.bpm.bpm, 128.5f);
             EXPECT_EQ(m.sysex.body.bpm.type, BPM_An);
         },
         FIELD_END(sysex.body.bpm.type)},
        {"msg_stuff_block has no id", [](msg *m) { msg_stuff_block(m, mBlockDevAdded, &info); },
         mBlockDevAdded, MSG_NO_ID,
         [](const msg &m) {
             const usb_block_info *stored = m.sysex.body.block.info;
             EXPECT_EQ(stored, &info);
         },
         FIELD_END(sysex.body.block.info)},
    };
    for (const BuilderCase &c : cases) {
        msg m = prefilled();
        c.build(&m);
        expectNamedHead(m, c.name, c.id, c.what);
        c.check(m);
        expectUntouchedFrom(m, c.end, c.what);
    }
}

struct RawCase {
    const char *what;
    std::function<void(msg *)> build;
    std::array<u8, 4> head;
    u16 key;
    u8 channel;
};

TEST(MsgBuilders, RawHeadsLeaveTheNamedPartAlone) {
    const RawCase cases[] = {
        {"note on",
         [](msg *m) { msg_stuff_noteon(m, kSync, DECK_S2, 127); },
         {0x93, kSync, 127, 0},
         mNoteOn,
         3},
        {"note off", [](msg *m) { msg_stuff_noteoff(m, kTap, DECK_B, 0); }, {0x81, kTap, 0, 0}, mNoteOff, 1},
        {"control change",
         [](msg *m) { msg_stuff_cc(m, ccEqLowReq, DECK_PREVIEW, 64); },
         {0xB6, ccEqLowReq, 64, 0},
         mCC,
         6},
        {"a channel above 15 keeps the status kind",
         [](msg *m) { msg_stuff_noteon(m, kTap, 0x23, 1); },
         {0x93, kTap, 1, 0},
         mNoteOn,
         3},
    };
    for (const RawCase &c : cases) {
        msg m = prefilled();
        c.build(&m);
        const auto bytes = bytesOf(m);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(bytes[i], c.head[i]) << c.what << ": head byte " << i;
        EXPECT_FALSE(msg_is_sysex(&m)) << c.what;
        EXPECT_EQ(msg_get_name(&m), c.key) << c.what;
        EXPECT_EQ(msg_get_channel(&m), c.channel) << c.what;
        expectUntouchedFrom(m, 4, c.what);
    }
}

TEST(MsgReaders, ControllersAreAbsoluteWhenOdd) {
    struct Case {
        u8 cc;
        u8 value;
        bool absolute;
        s8 step;
    };
    const Case cases[] = {
        {ccGainAbsReq, 127, true, 127},    {ccSpeedRelReq, 0xFF, false, -1}, {ccSpeedAbsReq, 64, true, 64},
        {ccSeekRelReq, 0x81, false, -127}, {ccPitchBendRelReq, 3, false, 3},
    };
    for (const Case &c : cases) {
        msg m{};
        msg_stuff_cc(&m, c.cc, DECK_A, c.value);
        EXPECT_EQ(msg_is_cc_abs(&m), c.absolute) << int(c.cc);
        EXPECT_EQ(msg_get_cc_abs(&m), c.value) << int(c.cc);
        EXPECT_EQ(msg_get_cc_rel(&m), c.step) << int(c.cc);
    }
}

TEST(MsgReaders, SortCodeKinds) {
    struct Case {
        int sort;
        bool browse, plist, search;
    };
    const Case cases[] = {
        {-1, false, false, false},
        {DB_SORT_TITLE, true, false, false},
        {DB_SORT_SESSIONS_DESC, true, false, false},
        {DB_SORT_PLISTS_NAME, false, true, false},
        {DB_SORT_RBOX, false, true, false},
        {DB_SORT_BAD_LIST, false, false, false},
        {DB_SORT_VIDEO_LIST, false, false, false},
        {DB_SEARCH_TITLE, false, false, true},
        {DB_SEARCH_TAG, false, false, true},
        {DB_END_OF_SEARCH_SORT_TYPES, false, false, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(type_is_browse(c.sort), c.browse) << c.sort;
        EXPECT_EQ(type_is_plist(c.sort), c.plist) << c.sort;
        EXPECT_EQ(type_is_search(c.sort), c.search) << c.sort;
    }
}

TEST(MsgNames, TableNamesEveryIdAndNothingElse) {
    struct Case {
        unsigned id;
        const char *text;
    };
    const Case cases[] = {
        {0, "mNone"},
        {1, nullptr},
        {7, nullptr},
        {8, "mNoteOff"},
        {9, "mNoteOn"},
        {10, nullptr},
        {11, "mCC"},
        {12, nullptr},
        {15, nullptr},
        {16, "mSYSEX_BEGIN"},
        {17, "mEXTENDED_PAYLOAD_BEGIN"},
        {24, "mEXTENDED_PAYLOAD_END"},
        {53, "mDecodeCmd"},
        {93, "mUnloadStorageDev"},
        {128, "mBrowseBuffFull"},
        {129, "mSettingChangeTheme"},
        {130, "mSettingGetTheme"},
        {131, "mSettingConfirmTheme"},
        {174, "mSettingChangeLanguage"},
        {204, "mSettingChangeMIDIChannel"},
        {220, "mSettingGetSkew"},
        {221, "mSettingConfirmSkew"},
        {222, "mSettingConfirmUserSnap"},
        {233, "mModuleInit"},
        {238, "mModuleDeath"},
        {257, "mAddSessionRecord"},
        {258, nullptr},
        {0xFFFF, nullptr},
    };
    for (const Case &c : cases) {
        const char *text = msg_name_text(c.id);
        if (c.text == nullptr) {
            EXPECT_EQ(text, nullptr) << c.id;
        } else {
            EXPECT_STREQ(text, c.text) << c.id;
        }
    }
    int named = 0;
    for (unsigned id = 0; id < mMSG_NAME_COUNT; ++id) named += msg_name_text(id) != nullptr;
    EXPECT_EQ(named, 246);
}

} // namespace

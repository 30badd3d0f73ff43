// The small vocabularies carried in messages: module, deck and shutdown codes, the note and
// controller numbers of deck commands, settings keys and values, sort orders and lamp ids.
#pragma once

#include "orvsys/orvint.h"

// The id of mModuleInit, mModuleWake and mModuleDeath; bit n of the supervisor's ready mask.
enum ModuleCode {
    MODULE_BGN = 0, // the supervisor
    MODULE_DEK = 1, // controls
    MODULE_SND = 2, // sound engine
    MODULE_BTN = 3, // unused
    MODULE_PLY = 4, // player
    MODULE_LCD = 5, // user interface
    MODULE_DB = 6,  // library
    MODULE_BAK = 7, // analysis scheduler
    MODULE_REC = 8, // recorder
    MODULE_COUNT = 9
};

// A deck; also the MIDI channel (low nibble of the status byte) of raw deck commands.
enum DeckCode : u8 {
    DECK_A = 0,
    DECK_B = 1,
    DECK_S1 = 2, // sample decks S1 to S4
    DECK_S2 = 3,
    DECK_S3 = 4,
    DECK_S4 = 5,
    DECK_PREVIEW = 6,
    DECK_INVALID = 7
};

// The id of mShutdownReq: what the program does after it shuts down.
enum ShutdownId {
    SHUTDOWN_ID_EXIT = 0,
    SHUTDOWN_ID_MIDI_LAUNCH = 1, // controller mode
    SHUTDOWN_ID_UPDATE = 2,
    SHUTDOWN_ID_FACTORY_RESET = 3,
    SHUTDOWN_ID_EXECUTE_SCRIPT = 4,
    SHUTDOWN_ID_NOT_YET = 5 // no shutdown requested
};

// Note numbers of raw note messages to a deck.
enum midi_key {
    kSync = 2,
    kTap = 3,
    kSeekReq = 4,
    kScratchReq = 5,
    kBeatJumpFwdReq = 6,
    kReverseReq = 7,
    kNudgeUpReq = 8,
    kNudgeDownReq = 9,
    kManualLoopSetInCmd = 32,
    kManualLoopSetOutCmd = 33,
    kAutoLoopCreateCmd = 34,
    kLoopClearCmd = 36,
    kLoopMultiplyCmd = 37,
    kLoopDivideCmd = 38,
    kFxSelectCmd = 48,
    kFxEnableCmd = 49,
    kFxBeatSnapCmd = 50,
    kMonitorReq = 51
};

// Controller numbers of raw control changes: odd numbers carry an absolute value 0 to 127,
// even numbers a relative step.
enum midi_cc {
    ccGainAbsReq = 1,
    ccLevelFadeReq = 3,
    ccXfadeReq = 5,
    ccHPMixReq = 7,
    ccSampleFadeReq = 9,
    ccHPVolReq = 11,
    ccSpeedRelReq = 16,
    ccSpeedAbsReq = 17,
    ccScratchRelReq = 18,
    ccScratchAbsReq = 19,
    ccSeekRelReq = 20,
    ccSeekAbsReq = 21,
    ccPitchBendRelReq = 22,
    ccEqLowReq = 33,
    ccEqMidReq = 35,
    ccEqHighReq = 37,
    ccEqResetReq = 39,
    ccFxSetMixCmd = 41,
    ccFxSetP1Cmd = 43,
    ccFxSetP2Cmd = 45
};

// Keys of the settings store. SETTING_LAST is the last key, not a count.
enum SettingCode {
    SETTING_DJ_NAME = 1,
    SETTING_FIRMWARE_VERSION = 2,
    SETTING_DB_VERSION = 3,
    SETTING_CURRENT_THEME = 4,
    SETTING_AUTO_CUE = 5,
    SETTING_AUTOLOOP_LEN = 6,
    SETTING_HEADPHONE_SPLIT = 7,
    SETTING_PITCH_SLIDER = 8,
    SETTING_KEYLOCK_A = 9,
    SETTING_KEYLOCK_B = 10,
    SETTING_XFADE_CURVE = 11,
    SETTING_XFADE_TIME = 12,
    SETTING_HAMSTER_SWITCH = 13,
    SETTING_PLTTR_STRT_SPD = 14,
    SETTING_PLTTR_BRK_SPD = 15,
    SETTING_PLTTR_RLS_SPD = 16,
    SETTING_LANGUAGE = 17,
    SETTING_LOAD_WARNING = 18,
    SETTING_TIME_DESC = 19,
    SETTING_JUMPTO = 20,
    SETTING_TRACK_END_WARNING = 21,
    SETTING_SHUTOFF_TIME = 22,
    SETTING_HIDE_DEMOS = 23,
    SETTING_SCREEN_CONTRAST = 24,
    SETTING_SCREEN_BRIGHTNESS = 25,
    SETTING_VU = 26,
    SETTING_SOFT_TAKEOVER = 27,
    SETTING_MIDI_CHANNEL = 28,
    SETTING_REC_DEVICE = 29,
    SETTING_DEMO_LOAD_SCREEN = 30,
    SETTING_MIC_BOOST = 31,
    SETTING_FIRST_RUN = 32,
    SETTING_ANALYZE = 33,
    SETTING_HEADPHONE_BOOST = 34,
    SETTING_SYNC_BEHAVIOUR = 35,
    SETTING_TOUCH_BEHAVIOUR = 36,
    SETTING_LAST = 36
};

// Browse and search orders; each ascending order is followed by its descending one.
enum DbSortByCode {
    DB_SORT_TITLE = 0,
    DB_SORT_TITLE_DESC = 1,
    DB_SORT_ARTIST = 2,
    DB_SORT_ARTIST_DESC = 3,
    DB_SORT_BPM = 4,
    DB_SORT_BPM_DESC = 5,
    DB_SORT_DURATION = 6,
    DB_SORT_DURATION_DESC = 7,
    DB_SORT_ALBUM = 8,
    DB_SORT_ALBUM_DESC = 9,
    DB_SORT_GENRE = 10,
    DB_SORT_GENRE_DESC = 11,
    DB_SORT_COMMENTS = 12,
    DB_SORT_COMMENTS_DESC = 13,
    DB_SORT_SESSIONS = 14,
    DB_SORT_SESSIONS_DESC = 15,
    DB_SORT_PLISTS_NAME = 16,
    DB_SORT_PLISTS_NAME_DESC = 17,
    DB_SORT_PLISTS_DEVICE = 18,
    DB_SORT_PLISTS_DEVICE_DESC = 19,
    DB_SORT_PLISTS_DATE = 20,
    DB_SORT_PLISTS_DATE_DESC = 21,
    DB_SORT_PLIST_SONGS = 22,
    DB_SORT_PLIST_SONGS_DESC = 23,
    DB_SORT_RBOX = 24,
    DB_SORT_BAD_LIST = 25,
    DB_SORT_DEVICE_LIST = 26,
    DB_SORT_VIDEO_LIST = 27,
    DB_SEARCH_TITLE = 28,
    DB_SEARCH_RESULT = 29,
    DB_SEARCH_BPM = 30,
    DB_SEARCH_DURATION = 31,
    DB_SEARCH_TAG = 32,
    DB_END_OF_SEARCH_SORT_TYPES = 33
};

// Play-queue orders.
enum DbRboxSortByCode {
    DB_RBOX_TITLE = 0,
    DB_RBOX_ARTIST = 1,
    DB_RBOX_BPM = 2,
    DB_RBOX_DURATION = 3,
    DB_RBOX_SHUFFLED = 4
};

// What a refresh redraws.
enum DbRefreshID { REFRESH_LIST = 0, REFRESH_RBOX = 1, REFRESH_ALL = 2 };

// Where a song's tempo came from.
enum bpmType {
    BPM_NotAn_NoTag = 0,
    BPM_NotAn_Tag = 1,
    BPM_NotAn_Tap = 2,
    BPM_An = 3,
    BPM_An_Tap = 4,
    BPM_An_Edit = 5,
    BPM_Type_NotValid = 6
};

// What a deck does after a jump to a trigger.
enum action_after_jump {
    AFTER_JUMP_NO_ACTION = 0,
    AFTER_JUMP_PLAY = 1,
    AFTER_JUMP_STOP = 2,
    AFTER_JUMP_COUNT = 3
};

enum loop_kind { LOOP_AUTO = 0, LOOP_MANUAL = 1 };
enum loop_edit { LOOP_NEW = 0, LOOP_MULTIPLY = 1, LOOP_DIVIDE = 2 };

// Front-panel lamps and their states.
enum led_id {
    BTN_PLAY = 1,
    BTN_CUE = 2,
    LED_CROSSFADE = 3,
    LED_RECORD = 4,
    LED_PITCH = 5,
    LED_KEYLOCK = 6,
    LED_HOME = 7,
    LED_BROWSE = 8,
    LED_PLAYLIST = 9,
    LED_SYSTEM = 10,
    LED_POLL_XFADE = 11
};
enum led_state { LED_OFF = 0, LED_RED = 1, LED_UP = 5, LED_DOWN = 6 };

// Named values of settings and of some pop-up answers; groups share numbers.
enum SettingValue {
    LCD_POPUP_LOAD_CONFIRM_TRUE = 0,
    LCD_POPUP_LOAD_CONFIRM_FALSE = 1,
    LCD_POPUP_RBOX_UNLOAD_TRUE = 0,
    LCD_POPUP_RBOX_UNLOAD_FALSE = 1,
    LCD_POPUP_RBOX_UNLOAD_SINGLE_TRUE = 0,
    LCD_POPUP_RBOX_UNLOAD_SINGLE_FALSE = 1,
    LCD_POPUP_EJECT_WHILE_PLAYING_TRUE = 0,
    LCD_POPUP_EJECT_WHILE_PLAYING_FALSE = 1,

    SET_CONSTANT_POWER = 0, // crossfader curves
    SET_LINEAR = 1,
    SET_TRANSITION = 2,
    SET_SLOW_FADE = 3,
    SET_FAST_CUT = 4,

    SET_AUTO_GAIN_ON = 0,
    SET_AUTO_GAIN_OFF = 1,
    SET_AUTO_CUE_ON = 0,
    SET_AUTO_CUE_OFF = 1,
    SET_AUTO_CUE_USER = 2,

    SET_ENGLISH = 0,
    SET_FRENCH = 1,
    SET_GERMAN = 2,
    SET_SPANISH = 3,
    SET_NONE = 4,

    SET_LOAD_CONFIRM_ON = 0,
    SET_LOAD_CONFIRM_OFF = 1,
    SET_SLEEP_TIMER_30MIN = 0,
    SET_SLEEP_TIMER_60MIN = 1,
    SET_SLEEP_TIMER_OFF = 2,
    SET_TIME_ELAPSED = 0,
    SET_TIME_REMAINING = 1,
    SET_JUMPTO_HOME_OR_WAVE = 0,
    SET_JUMPTO_NOWHERE = 1,

    SET_LOOP_1BAR = 0, // auto-loop lengths
    SET_LOOP_2BAR = 1,
    SET_LOOP_4BAR = 2,
    SET_LOOP_8BAR = 3,
    SET_LOOP_16BAR = 4,
    SET_LOOP_32BAR = 5,

    SET_HEADPHONE_SPLIT_ON = 0,
    SET_HEADPHONE_SPLIT_OFF = 1,

    SET_PITCHSLIDER_RANGE_5_PER = 0,
    SET_PITCHSLIDER_RANGE_8_PER = 1,
    SET_PITCHSLIDER_RANGE_10_PER = 2,
    SET_PITCHSLIDER_RANGE_15_PER = 3,
    SET_PITCHSLIDER_RANGE_25_PER = 4,
    SET_PITCHSLIDER_RANGE_100_PER = 5,

    SET_SYNC_CONT = 0,
    SET_SYNC_BOTH = 1,
    SET_SYNC_PITCH = 2,

    SET_5SEC_MIX = 0, // automatic mixing
    SET_10SEC_MIX = 1,
    SET_20SEC_MIX = 2,
    SET_30SEC_MIX = 3,
    SET_0_SECOND_GAP = 4,
    SET_2_SECOND_GAP = 5,
    SET_5SEC_MIX_NP = 6,
    SET_10SEC_MIX_NP = 7,
    SET_20SEC_MIX_NP = 8,
    SET_30SEC_MIX_NP = 9,
    SET_DROP = 10,

    SET_HAMSTER_A_B = 0,
    SET_HAMSTER_B_A = 1,
    SET_MIC_LO_FILTER_OFF = 0,
    SET_MIC_LO_FILTER_ON = 1,

    SET_TRACK_5SEC = 0, // track-end warning
    SET_TRACK_10SEC = 1,
    SET_TRACK_20SEC = 2,
    SET_TRACK_30SEC = 3,

    SET_PLIST_OVERWRITE_WARN_ON = 0,
    SET_PLIST_OVERWRITE_WARN_OFF = 1,
    SET_PLIST_OVERWRITE_WARN_NONE = 2,
    SET_KEYLOCK_ON = 0,
    SET_KEYLOCK_OFF = 1,

    SET_CONTRAST_LOW = 0,
    SET_CONTRAST_DEFAULT = 130,
    SET_CONTRAST_HIGH = 255,
    SET_BRIGHTNESS_LOW = 0,
    SET_BRIGHTNESS_DEFAULT = 200,
    SET_BRIGHTNESS_HIGH = 255,

    SET_SPEED_SLOW = 0, // platter speeds
    SET_SPEED_MEDIUM = 1,
    SET_SPEED_FAST = 2,
    SET_SPEED_NONE = 3
};

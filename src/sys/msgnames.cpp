#include "sys/msgnames.h"

#include <array>

namespace {

constexpr auto kMsgNameTexts = [] {
    std::array<const char *, mMSG_NAME_COUNT> texts{};
#define ORV_MSG_TEXT_AT(name, value) texts[name] = #name;
#define ORV_MSG_TEXT_NEXT(name) texts[name] = #name;
#define ORV_MSG_TEXT_SETTING(key)                                                                            \
    ORV_MSG_TEXT_NEXT(mSettingChange##key)                                                                   \
    ORV_MSG_TEXT_NEXT(mSettingGet##key) ORV_MSG_TEXT_NEXT(mSettingConfirm##key)
    ORV_MSG_NAME_LIST(ORV_MSG_TEXT_AT, ORV_MSG_TEXT_NEXT, ORV_MSG_TEXT_SETTING)
#undef ORV_MSG_TEXT_AT
#undef ORV_MSG_TEXT_NEXT
#undef ORV_MSG_TEXT_SETTING
    return texts;
}();

constexpr int countNamed() {
    int count = 0;
    for (const char *text : kMsgNameTexts) count += text != nullptr;
    return count;
}

// The vocabulary's anchors: a slip anywhere in the list moves one of these.
static_assert(countNamed() == 246);
static_assert(mMSG_NAME_COUNT == 258);
static_assert(mEXTENDED_PAYLOAD_BEGIN == 17 && mEXTENDED_PAYLOAD_END == 24);
static_assert(mBrowseBuffFull == 128);
static_assert(mSettingChangeTheme == 129 && mSettingConfirmSkew == 221);
static_assert(mSettingConfirmUserSnap == 222 && mModuleInit == 233 && mAddSessionRecord == 257);

} // namespace

const char *msg_name_text(unsigned id) {
    return id < kMsgNameTexts.size() ? kMsgNameTexts[id] : nullptr;
}

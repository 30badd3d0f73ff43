// What the update watcher reads from its pipe, and the offers it keeps by number.
#include "sys/update_request.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UpdateParse, Announcements) {
    struct Case {
        std::string chunk;
        bool ok;
        std::string path;
    };
    const Case cases[] = {
        {"update:/mnt/usb/fw.bin\n", true, "/mnt/usb/fw.bin"},
        // The last character stays when no line end follows.
        {"update:/mnt/usb/fw.bin", true, "/mnt/usb/fw.bin"},
        {"update:/a/b c.bin\r\n", true, "/a/b c.bin\r"},
        // Only the first announcement of a read counts.
        {"update:/first\nupdate:/second\n", true, "/first"},
        {"noise update:/x.bin\n", true, "/x.bin"},
        {"something else\n", false, ""},
        {"update:\n", false, ""},
        {"update:", false, ""},
        {"Update:/x\n", false, ""},
        {"", false, ""},
        // The text ends at a NUL byte.
        {std::string("update:/x\0yz\n", 13), true, "/x"},
        {std::string("\0update:/x\n", 11), false, ""},
    };
    for (const Case &c : cases) {
        std::string path = "unchanged";
        EXPECT_EQ(sys_update_parse(c.chunk, &path), c.ok) << c.chunk;
        EXPECT_EQ(path, c.ok ? c.path : "unchanged") << c.chunk;
    }
}

TEST(UpdateParse, AFullReadWithoutLineEndIsCutShort) {
    const std::string path = "/" + std::string(SYS_UPDATE_READ_MAX - 8 - 1, 'p');
    std::string got;
    // Exactly the whole buffer, with the line end as its last byte: complete.
    ASSERT_EQ(("update:" + path + "\n").size(), SYS_UPDATE_READ_MAX);
    EXPECT_TRUE(sys_update_parse("update:" + path + "\n", &got));
    EXPECT_EQ(got, path);
    // The whole buffer without a line end: the path goes on in the pipe.
    EXPECT_FALSE(sys_update_parse("update:" + path + "x", &got));
    // A short read without a line end is the writer's whole text.
    EXPECT_TRUE(sys_update_parse("update:" + path.substr(0, 10), &got));
}

TEST(UpdateOffers, NumbersComeBackOnceAndNeverZero) {
    sys_update_offers offers;
    const u32 a = offers.add("/a.bin");
    const u32 b = offers.add("/b.bin");
    EXPECT_NE(a, 0u);
    EXPECT_NE(b, 0u);
    EXPECT_NE(a, b);
    std::string path;
    EXPECT_FALSE(offers.take(0, &path));
    EXPECT_FALSE(offers.take(b + 1, &path));
    ASSERT_TRUE(offers.take(b, &path));
    EXPECT_EQ(path, "/b.bin");
    EXPECT_FALSE(offers.take(b, &path));
    ASSERT_TRUE(offers.take(a, &path));
    EXPECT_EQ(path, "/a.bin");
}

TEST(UpdateOffers, TheOldestIsForgottenWhenFull) {
    sys_update_offers offers;
    std::vector<u32> numbers;
    for (std::size_t i = 0; i < sys_update_offers::kSlots + 2; ++i)
        numbers.push_back(offers.add("/" + std::to_string(i)));
    std::string path;
    EXPECT_FALSE(offers.take(numbers[0], &path));
    EXPECT_FALSE(offers.take(numbers[1], &path));
    for (std::size_t i = 2; i < numbers.size(); ++i) {
        ASSERT_TRUE(offers.take(numbers[i], &path)) << i;
        EXPECT_EQ(path, "/" + std::to_string(i));
    }
}

TEST(UpdateOffers, AnsweredSlotsAreReusedBeforeOldOffersGo) {
    sys_update_offers offers;
    const u32 kept = offers.add("/kept");
    for (int round = 0; round < 100; ++round) {
        std::string path;
        ASSERT_TRUE(offers.take(offers.add("/short-lived"), &path));
    }
    std::string path;
    ASSERT_TRUE(offers.take(kept, &path));
    EXPECT_EQ(path, "/kept");
}

} // namespace

#include "orvsys/orverr.h"
#include "orvsys/ufopen.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>

namespace {

TEST(Orverr, FunctionColonBlankMessage) {
    orverr_setError("decoder_open", "file not found");
    EXPECT_STREQ(orverr_getLastError(), "decoder_open: file not found");
    orverr_setError(nullptr, nullptr);
    EXPECT_STREQ(orverr_getLastError(), ": ");
}

TEST(Orverr, LongTextsAreCutNotOverflowed) {
    const std::string function(1000, 'f');
    const std::string message(5000, 'm');
    orverr_setError(function.c_str(), message.c_str());
    EXPECT_EQ(std::string(orverr_getLastError()), std::string(256, 'f') + ": " + std::string(512, 'm'));
}

TEST(Ufopen, OpensLikeFopenAndClosesOnExec) {
    orvtest::TempDir dir;
    const std::string path = dir.file("a.bin");
    FILE *w = ufopen(path.c_str(), "wb");
    ASSERT_NE(w, nullptr);
    EXPECT_NE(fcntl(fileno(w), F_GETFD) & FD_CLOEXEC, 0);
    std::fputs("abc", w);
    std::fclose(w);

    FILE *r = ufopen(path.c_str(), "rb");
    ASSERT_NE(r, nullptr);
    char buf[4] = {};
    EXPECT_EQ(std::fread(buf, 1, 3, r), 3u);
    EXPECT_STREQ(buf, "abc");
    std::fclose(r);

    errno = 0;
    EXPECT_EQ(ufopen(dir.file("missing").c_str(), "rb"), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

} // namespace

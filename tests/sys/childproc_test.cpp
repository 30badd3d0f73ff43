// Reading a program's output: the runner behind the analysis program's handshake.
#include "sys/childproc.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct OutputCase {
    const char *what;
    const char *script;
    std::size_t cap;
    std::string expected;
};

TEST(RunReadOutput, KeepsAtMostCapBytesAndNeverHangs) {
    const OutputCase cases[] = {
        {"short answer", "echo 3010500", 256, "3010500\n"},
        {"no output", "true", 256, ""},
        {"output cut at the cap", "printf 'abcdefghij'", 4, "abcd"},
        // The reader stops and closes the pipe: the endless writer ends by SIGPIPE.
        {"endless output", "yes 2", 6, "2\n2\n2\n"},
        {"standard error is not read", "echo err >&2; echo out", 256, "out\n"},
    };
    for (const OutputCase &c : cases) {
        SCOPED_TRACE(c.what);
        const char *const argv[] = {"sh", "-c", c.script, nullptr};
        std::string out = "left over";
        ASSERT_TRUE(sys_run_read_output("sh", argv, c.cap, &out));
        EXPECT_EQ(out, c.expected);
    }
}

TEST(RunReadOutput, AProgramThatCannotRunGivesNoOutput) {
    const char *const argv[] = {"/no/such/program", "--version", nullptr};
    std::string out;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(sys_run_read_output("/no/such/program", argv, 256, &out));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "execvp: No such file or directory\n");
    EXPECT_EQ(out, "");
}

} // namespace

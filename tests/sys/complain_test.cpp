// The framed complaint report.
#include "sys/complain.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Complaint, PrintsTheFramedBlock) {
    struct Case {
        int errnum;
        const char *expected;
    };
    const Case cases[] = {
        {-2, "----------\nComplaint from q_create():\ncan't remove stale queue /x\n"
             "System errno: 2 -- No such file or directory\n----------\n"},
        {2, "----------\nComplaint from q_create():\ncan't remove stale queue /x\n"
            "System errno: 2 -- No such file or directory\n----------\n"},
        {0, "----------\nComplaint from q_create():\ncan't remove stale queue /x\n----------\n"},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStderr();
        xcp_complain_fn("q_create", c.errnum, "can't remove stale queue %s", "/x");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.expected) << c.errnum;
    }
}

} // namespace

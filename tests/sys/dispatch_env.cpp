// Every test program of the system core runs with the dispatcher up.
#include "sys/dispatch.h"

#include <gtest/gtest.h>

namespace {

class DispatcherEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { dispatch_init(); }
    void TearDown() override { dispatch_destroy(); }
};

[[maybe_unused]] ::testing::Environment *const environment =
    ::testing::AddGlobalTestEnvironment(new DispatcherEnvironment);

} // namespace

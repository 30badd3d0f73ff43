// The signal tests run as deckhost does: the signals are blocked before any other thread
// starts, then the dispatcher comes up.
#include "sys/dispatch.h"
#include "sys/sighand.h"

#include <gtest/gtest.h>

namespace {

class SignalEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        sighand_init();
        dispatch_init();
    }
    void TearDown() override {
        sighand_destroy();
        dispatch_destroy();
    }
};

[[maybe_unused]] ::testing::Environment *const environment =
    ::testing::AddGlobalTestEnvironment(new SignalEnvironment);

} // namespace

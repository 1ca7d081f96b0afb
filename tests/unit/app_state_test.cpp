#include <gtest/gtest.h>

#include "base/app_state.h"

namespace tolvek {
namespace {

// Must run before anything fills the state; this file's tests are the only users.
TEST(AppStateDeathTest, UseBeforeStartUpAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(lock_app_state()->phase = 1, "App nicht initialisiert");
}

TEST(AppState, FilledOnceThenLockedAccess) {
    AppState state;
    state.settings.firm = "F";
    init_app_state(std::move(state));
    {
        auto app = lock_app_state();
        EXPECT_EQ(app->settings.firm, "F");
        app->phase = 2;
    }
    EXPECT_EQ(lock_app_state()->phase, 2);
}

}  // namespace
}  // namespace tolvek

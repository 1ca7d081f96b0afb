#include <gtest/gtest.h>

#include <windows.h>

#include "dictation/key_names.h"

namespace tolvek {
namespace {

TEST(KeyName_System, KeysOutsideTheTableAskTheKeyboardLayout) {
    const std::string enter = key_name(VK_RETURN, 0);
    EXPECT_FALSE(enter.empty());
    EXPECT_EQ(enter.find("Taste 0x"), std::string::npos) << enter;
    EXPECT_EQ(key_name(VK_RETURN, 2), "Strg + " + enter);
    // XBUTTON1 has no scan code and therefore no name.
    EXPECT_EQ(key_name(5, 0), "Taste 0x05");
    EXPECT_EQ(key_name(0, 6), "Strg + Umschalt");
}

}  // namespace
}  // namespace tolvek

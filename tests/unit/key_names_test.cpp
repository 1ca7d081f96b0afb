#include <gtest/gtest.h>

#include "dictation/key_names.h"

namespace tolvek {
namespace {

TEST(KeyName, FixedTableAndModifierOrder) {
    const auto no_system = [](std::uint32_t) { return std::optional<std::string>(); };
    struct Case {
        std::uint32_t vk, mods;
        const char* name;
    };
    const Case cases[] = {
        {0, 6, "Strg + Umschalt"},
        {0, 10, "Strg + Win"},
        {0, 15, "Strg + Alt + Umschalt + Win"},
        {119, 0, "F8"},
        {119, 2, "Strg + F8"},
        {119, 15, "Strg + Alt + Umschalt + Win + F8"},
        {112, 0, "F1"},
        {135, 4, "Umschalt + F24"},
        {65, 2, "Strg + A"},
        {90, 0, "Z"},
        {48, 1, "Alt + 0"},
        {32, 1, "Alt + Leertaste"},
        {101, 0, "Num 5"},
        {96, 0, "Num 0"},
        {19, 0, "Pause"},
        {145, 0, "Rollen"},
        {45, 0, "Einfg"},
        {20, 0, "Feststelltaste"},
        {192, 0, "Ö"},
        {220, 8, "Win + ^"},
        {226, 0, "<"},
        {5, 0, "Taste 0x05"},
        {0xE8, 2, "Strg + Taste 0xE8"},
        {0x1FF, 0, "Taste 0x1FF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format_key_name(c.vk, c.mods, no_system), c.name) << c.vk << "/" << c.mods;
    }
}

TEST(KeyName, SystemNameForKeysOutsideTheTable) {
    const auto system = [](std::uint32_t vk) -> std::optional<std::string> {
        if (vk == 13) return "Eingabe";
        return std::string();
    };
    EXPECT_EQ(format_key_name(13, 2, system), "Strg + Eingabe");
    EXPECT_EQ(format_key_name(14, 0, system), "Taste 0x0E") << "an empty system name falls back";
    EXPECT_EQ(format_key_name(65, 0, system), "A") << "the table comes first";
}

}  // namespace
}  // namespace tolvek

#include <gtest/gtest.h>

#include "net/system_facts.h"

namespace tolvek {
namespace {

TEST(MicrophoneKind, OrderedWordLists) {
    const std::pair<std::optional<std::string>, const char*> cases[] = {
        {"Headset (Jabra Evolve2 65)", "headset"},
        {"Freisprechen (Bluetooth Headset)", "bluetooth"},
        {"Mikrofonarray (Intel® Smart Sound Technologie)", "eingebaut"},
        {"Mikrofon (Realtek High Definition Audio)", "eingebaut"},
        {"Mikrofon (Yeti Stereo Microphone)", "usb"},
        {"Mikrofon (HD Camera)", "usb"},
        {"KOPFHÖRER (Sony)", "headset"},
        {"Line In", "anderes"},
        {std::nullopt, "anderes"},
    };
    for (const auto& [name, kind] : cases) EXPECT_EQ(microphone_kind_of(name), kind) << name.value_or("none");
}

TEST(WindowsEdition, FromTheRegistryTexts) {
    EXPECT_EQ(windows_edition_of("22000", "Professional", "21H2"), "Windows 11 Pro 21H2 (22000)");
    EXPECT_EQ(windows_edition_of("21999", std::nullopt, std::nullopt), "Windows 10 (21999)");
    EXPECT_EQ(windows_edition_of("19045", "Professional", "22H2"), "Windows 10 Pro 22H2 (19045)");
    EXPECT_EQ(windows_edition_of("17763", "ServerStandard", std::nullopt), "Windows 10 (17763)");
    EXPECT_EQ(windows_edition_of(" +22631 ", "CoreSingleLanguage", "23H2"), "Windows 11 Home 23H2 (22631)");
    EXPECT_EQ(windows_edition_of("x1", "EnterpriseS", ""), "Windows 10 Enterprise LTSC");
    EXPECT_EQ(windows_edition_of(std::nullopt, "professional", std::nullopt), "Windows 10")
        << "edition names compare exactly";
    EXPECT_EQ(windows_edition_of("99999999999", "ProfessionalWorkstation", std::nullopt),
              "Windows 10 Pro for Workstations");
}

}  // namespace
}  // namespace tolvek

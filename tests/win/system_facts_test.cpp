// The facts sent to the service, read from what this test writes into the registry.
#include <gtest/gtest.h>

#include <windows.h>

#include "net/system_facts.h"

namespace tolvek {
namespace {

constexpr wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

void set_value(const wchar_t* name, const wchar_t* value) {
    if (value) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kCurrentVersion, name, REG_SZ, value,
                                  static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    } else {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCurrentVersion, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
}

TEST(SystemFacts_Registry, EditionFromTheCurrentVersionKey) {
    struct Case {
        const wchar_t* build;
        const wchar_t* edition;
        const wchar_t* display;
        const char* expected;
    };
    const Case cases[] = {
        {L"22631", L"Professional", L"23H2", "Windows 11 Pro 23H2 (22631)"},
        {L"19045", L"Core", nullptr, "Windows 10 Home (19045)"},
        {L"26100", L"EnterpriseS", L"24H2", "Windows 11 Enterprise LTSC 24H2 (26100)"},
        {nullptr, nullptr, nullptr, "Windows 10"},
    };
    for (const Case& c : cases) {
        set_value(L"CurrentBuildNumber", c.build);
        set_value(L"EditionID", c.edition);
        set_value(L"DisplayVersion", c.display);
        EXPECT_EQ(windows_edition(), c.expected);
    }
}

}  // namespace
}  // namespace tolvek

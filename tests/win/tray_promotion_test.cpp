// Keeping the fox in the visible part of the notification area: the registry entries Windows
// keeps per icon, as this test prepares them.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "setup/setup.h"
#include "unit/test_support.h"
#include "util/win_handles.h"
#include "windows/tray_promotion.h"

namespace tolvek {
namespace {

const std::wstring kKey = L"Control Panel\\NotifyIconSettings";

void add_entry(const std::wstring& name, const std::wstring& path, std::optional<DWORD> promoted) {
    const RegKey key(HKEY_CURRENT_USER, kKey + L"\\" + name, KEY_WRITE, true);
    key.set_string(L"ExecutablePath", path);
    if (promoted) key.set_dword(L"IsPromoted", *promoted);
}

std::optional<DWORD> promoted(const std::wstring& name) {
    return RegKey(HKEY_CURRENT_USER, kKey + L"\\" + name, KEY_READ).dword(L"IsPromoted");
}

TEST(TrayPromotion, OwnEntryIsPromotedOnceAndTheUsersChoiceStands) {
    struct Case {
        const wchar_t* path;
        std::optional<DWORD> before;
        std::optional<DWORD> after;
        bool logged;
    };
    const Case cases[] = {
        {L"C:\\users\\anna\\AppData\\Local\\Tolvek\\Tolvek.exe", std::nullopt, 1, true},
        {L"C:\\users\\anna\\AppData\\Local\\Tolvek\\Tolvek.exe", 0, 0, false},
        {L"D:\\Programme\\TOLVEK\\tolvek.EXE", std::nullopt, 1, true},  // another folder named Tolvek
        {L"D:\\Programme\\Tolvek-alt\\Tolvek.exe", std::nullopt, std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.path));
        test::ScopedDataDir data;
        RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str());
        add_entry(L"{Fremd}", L"C:\\Windows\\explorer.exe", std::nullopt);
        add_entry(L"7311254416186337331", c.path, c.before);
        if (c.after == std::nullopt) {
            // Without an own entry the worker keeps looking for 20 s; the decision is the path's.
            EXPECT_FALSE(is_own_notify_icon_path(narrow(c.path)));
            continue;
        }
        promote_tray_icon();
        EXPECT_EQ(promoted(L"7311254416186337331"), c.after);
        EXPECT_EQ(promoted(L"{Fremd}"), std::nullopt) << "other programs' entries are not touched";
        EXPECT_EQ(read_file(data.file("tolvek.log")).value_or("").find("Symbol in der Taskleiste angeheftet") !=
                      std::string::npos,
                  c.logged);
    }
    const auto entries = list_notify_icon_entries();
    EXPECT_EQ(entries.size(), 2u);
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str());
    EXPECT_TRUE(list_notify_icon_entries().empty());
    EXPECT_EQ(read_executable_path("fehlt"), std::nullopt);
}

// An "IsPromoted" that is not a DWORD of four bytes (a text, a short binary value) is no choice
// of the user's: it becomes the DWORD 1. A DWORD of any value stands.
TEST(TrayPromotion, IsPromotedOfAnotherTypeIsReplaced) {
    struct Case {
        const char* name;
        DWORD type;
        std::vector<BYTE> bytes;
        std::optional<DWORD> after;
    };
    const Case cases[] = {
        {"text", REG_SZ, {'0', 0, 0, 0}, 1},
        {"two bytes", REG_BINARY, {0, 0}, 1},
        {"a DWORD of 7", REG_DWORD, {7, 0, 0, 0}, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedDataDir data;
        RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str());
        add_entry(L"42", L"C:\\users\\anna\\AppData\\Local\\Tolvek\\Tolvek.exe", std::nullopt);
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, (kKey + L"\\42").c_str(), L"IsPromoted", c.type, c.bytes.data(),
                                  static_cast<DWORD>(c.bytes.size())),
                  ERROR_SUCCESS);
        promote_tray_icon();
        EXPECT_EQ(promoted(L"42"), c.after);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str());
}

}  // namespace
}  // namespace tolvek

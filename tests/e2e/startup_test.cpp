#include <gtest/gtest.h>

#include "shell/startup.h"
#include "net/system_facts.h"
#include "running_tolvek.h"
#include "tolvek_process.h"

namespace tolvek {
namespace {

std::vector<std::string> log_messages(const test::ScopedDataDir& data) {
    std::vector<std::string> out;
    const std::string text = read_file(data.file("tolvek.log")).value_or("");
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        out.push_back(line.size() > 20 ? line.substr(20) : line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        test::set_env("TOLVEK_PORTABLE", "");
        test::save_enrolled(default_settings());
    }
    void TearDown() override { test::set_env("TOLVEK_PORTABLE", std::nullopt); }
    test::ScopedDataDir data;
};

TEST_F(Startup, RunsWithHiddenMainWindowAndEndsOnClose) {
    test::TolvekProcess tolvek("");
    ASSERT_TRUE(tolvek.started());
    ASSERT_TRUE(test::wait_for_text(data.file("tolvek.log"), "gestartet: Version 0.5.24 · "));

    HWND main_window = nullptr;
    for (int i = 0; i < 50 && !main_window; ++i) {
        main_window = FindWindowW(L"TolvekMain", nullptr);
        if (!main_window) Sleep(100);
    }
    ASSERT_NE(main_window, nullptr);
    DWORD owner = 0;
    GetWindowThreadProcessId(main_window, &owner);
    EXPECT_EQ(owner, tolvek.pid());
    EXPECT_FALSE(IsWindowVisible(main_window));
    wchar_t title[16] {};
    GetWindowTextW(main_window, title, 16);
    EXPECT_STREQ(title, L"Tolvek");
    Sleep(500);
    EXPECT_TRUE(tolvek.running());

    PostMessageW(main_window, WM_CLOSE, 0, 0);
    EXPECT_EQ(tolvek.wait(20000), 0u);
    const auto lines = log_messages(data);
    ASSERT_EQ(lines.size(), 2u);
    // The edition as this computer's registry describes it, e.g. "Windows 10 Pro 22H2 (19045)".
    EXPECT_EQ(lines[0], started_log_line(windows_edition()));
    EXPECT_EQ(lines[0].rfind("gestartet: Version 0.5.24 · Windows 1", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "beendet");
    EXPECT_EQ(parse_settings(*read_file(data.file("config.json"))).settings.region, "eu")
        << "the start-up hello brought the region";
}

TEST_F(Startup, SecondStartEndsAndTheFirstKeepsRunning) {
    test::TolvekProcess first("");
    ASSERT_TRUE(test::wait_for_text(data.file("tolvek.log"), "gestartet: "));
    test::TolvekProcess second("");
    EXPECT_EQ(second.wait(20000), 0u);
    EXPECT_TRUE(first.running());
    PostMessageW(FindWindowW(L"TolvekMain", nullptr), WM_CLOSE, 0, 0);
    EXPECT_EQ(first.wait(20000), 0u);
    const auto lines = log_messages(data);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "beendet"), 1);
}

TEST_F(Startup, OldDefaultKeyIsMigratedWithOneLogLine) {
    test::save_enrolled(parse_settings(R"({"vk":0,"mods":10,"hotkey_rev":0})").settings);
    test::TolvekProcess tolvek("");
    ASSERT_TRUE(test::wait_for_text(data.file("tolvek.log"), "gestartet: "));
    PostMessageW(FindWindowW(L"TolvekMain", nullptr), WM_CLOSE, 0, 0);
    EXPECT_EQ(tolvek.wait(20000), 0u);

    const auto lines = log_messages(data);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Taste umgestellt: Strg + Win → Strg + Umschalt");
    EXPECT_EQ(lines[1].rfind("gestartet: ", 0), 0u);
    const Settings saved = parse_settings(*read_file(data.file("config.json"))).settings;
    EXPECT_EQ(saved.mods, 6u);
    EXPECT_EQ(saved.hotkey_rev, 2u);
}

TEST_F(Startup, SigcheckWithoutFileExitsSilently) {
    test::TolvekProcess tolvek("--sigcheck");
    EXPECT_EQ(tolvek.wait(20000), 0u);
    EXPECT_FALSE(file_size(data.file("tolvek.log")).has_value());
    EXPECT_EQ(FindWindowW(L"TolvekMain", nullptr), nullptr);
}

TEST_F(Startup, SigcheckLogsTheSigner) {
    const std::string signed_a = path_join(path_join(test::program_dir(), "signed"), "Tolvek-A.exe");
    if (!path_exists(signed_a)) GTEST_SKIP() << "needs the signed programs of make-signed";
    for (const auto& [file, signer] : {std::pair {signed_a, std::string("Kestrom Test A")},
                                       std::pair {test::tolvek_exe(), std::string("keine gültige Signatur")}}) {
        remove_file(data.file("tolvek.log"));
        test::TolvekProcess tolvek("--sigcheck \"" + file + "\"");
        EXPECT_EQ(tolvek.wait(20000), 0u);
        EXPECT_EQ(log_messages(data), std::vector<std::string> {"Signatur " + file + ": " + signer});
    }
}

}  // namespace
}  // namespace tolvek

// The administrator's page (docs/deployment.md), run: each command of its command boxes as a
// login script would run it (through cmd.exe), and everything its "Ort" table lists is there
// after the installation and gone after the removal.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "installing.h"
#include "net/dictionary.h"
#include "unit/deployment_page.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;
using test::Installing;

std::string page() { return test::deployment_page(); }

// The lines of the page's ```bat boxes.
std::vector<std::string> page_commands(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream lines(text);
    std::string line;
    bool inside = false;
    while (std::getline(lines, line)) {
        if (line.starts_with("```")) {
            inside = !inside && line == "```bat";
            continue;
        }
        if (inside && !line.empty()) out.push_back(line);
    }
    return out;
}

// The rows of the "Ort" table: a path (files with %VARIABLES%, keys under HKCU\) and, for a
// key, the names of values that must be in it.
struct Place {
    std::string path;
    std::vector<std::string> values;
};
std::vector<Place> page_places(const std::string& text) {
    std::vector<Place> out;
    for (const auto& spans : test::first_cells(text, "Ort")) {
        Place place;  // a row without a path stays empty and is never found
        if (!spans.empty()) place = {spans.front(), std::vector<std::string>(spans.begin() + 1, spans.end())};
        out.push_back(place);
    }
    return out;
}

std::string expand(const std::string& path) {
    std::string out = path;
    for (const char* name : {"LOCALAPPDATA", "APPDATA", "USERPROFILE"}) {
        const std::string token = std::string("%") + name + "%";
        if (const auto at = out.find(token); at != std::string::npos) {
            out.replace(at, token.size(), get_env(name).value_or(""));
        }
    }
    return out;
}

// Whether the place is there: a file, or a key under HKEY_CURRENT_USER with all its values.
bool present(const Place& place) {
    if (!place.path.starts_with("HKCU\\")) return path_exists(expand(place.path));
    const std::wstring key = wide(place.path.substr(5));
    if (place.values.empty()) return RegKey(HKEY_CURRENT_USER, key, KEY_READ).valid();
    for (const auto& value : place.values) {
        if (!test::reg_value(key, wide(value).c_str())) return false;
    }
    return true;
}

// Runs one line as cmd.exe runs a line of a login script; its exit code.
std::optional<DWORD> run_line(const std::string& line) {
    std::wstring command = L"cmd.exe /s /c \"" + wide(line) + L"\"";
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info)) {
        return std::nullopt;
    }
    const Handle process(info.hProcess);
    CloseHandle(info.hThread);
    if (!test::pump_until([&] { return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }, 90s)) {
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

class Deployment : public Installing {
protected:
    void SetUp() override {
        Installing::SetUp();
        // The page writes %USERPROFILE%\Downloads; here that is the test's download folder.
        saved_profile = get_env("USERPROFILE");
        test::set_env("USERPROFILE", parent_or_temp("LOCALAPPDATA"));
        ASSERT_EQ(path_join(expand("%USERPROFILE%"), "Downloads"), downloads);
        for (const char* name : {"Tolvek.exe", "Tolvek-ST-3PVA-8RKE.exe"}) {
            ASSERT_TRUE(copy_file(test::tolvek_exe(), path_join(downloads, name)));
        }
    }
    void TearDown() override {
        Installing::TearDown();
        test::set_env("USERPROFILE", saved_profile);
    }
    std::optional<std::string> saved_profile;
};

TEST_F(Deployment, ThePagesCommandsAndWhatTheyLeave) {
    const std::string text = page();
    const std::vector<Place> places = page_places(text);
    ASSERT_GE(places.size(), 8u);
    const auto all = [&](bool there) {
        for (const auto& place : places) {
            if (present(place) != there) return false;
        }
        return true;
    };
    const auto missing = [&](bool there) {
        std::string out;
        for (const auto& place : places) {
            if (present(place) != there) out += " " + place.path;
        }
        return out;
    };

    // Every command of the page, in the order a rollout meets them, with what it must do.
    const std::string quiet_by_name = R"("%USERPROFILE%\Downloads\Tolvek-ST-3PVA-8RKE.exe" --quiet)";
    const std::string quiet_by_code = R"("%USERPROFILE%\Downloads\Tolvek.exe" --quiet --code ST-3PVA-8RKE)";
    const std::string sigcheck =
        R"("%LOCALAPPDATA%\Tolvek\Tolvek.exe" --sigcheck "%USERPROFILE%\Downloads\Tolvek.exe")";
    const std::string remove = R"("%LOCALAPPDATA%\Tolvek\Tolvek.exe" --uninstall --quiet)";
    const std::string store = R"("%USERPROFILE%\Downloads\Tolvek.exe" --store --code ST-3PVA-8RKE)";
    const std::vector<std::pair<std::string, std::function<void()>>> steps = {
        {quiet_by_name,
         [&] {
             ASSERT_NE(running_copy(), nullptr);
             EXPECT_TRUE(test::pump_until([&] { return !saved().token.empty(); }, 20s)) << log();
             EXPECT_EQ(saved().firm, "Muster GmbH");
             EXPECT_NE(log().find("installiert: Version 0.5.24 (still)"), std::string::npos) << log();
             EXPECT_TRUE(save_own_words({{"Kestrom", false}})) << "the user enters a word of their own";
             EXPECT_TRUE(all(true)) << "missing after the installation:" << missing(true);
         }},
        {sigcheck,
         [&] {
             EXPECT_NE(log().find("Signatur " + path_join(downloads, "Tolvek.exe") + ": "), std::string::npos) << log();
         }},
        {quiet_by_code,
         [&] {
             ASSERT_NE(running_copy(), nullptr);
             EXPECT_FALSE(saved().token.empty());
             EXPECT_FALSE(saved().store);
         }},
        {remove,
         [&] {
             EXPECT_EQ(FindWindowW(L"TolvekMain", nullptr), nullptr) << "the running copy was ended";
             EXPECT_TRUE(all(false)) << "still there after the removal:" << missing(false);
             // The next installation is a desktop of the same company: it talks to the test's service.
             Settings settings = default_settings();
             settings.server = service.base();
             save_settings(settings);
         }},
        {store,
         [&] {
             ASSERT_NE(running_copy(), nullptr);
             EXPECT_TRUE(saved().store);
             EXPECT_TRUE(saved().tray_ask);
         }},
    };
    std::vector<std::string> tested;
    for (const auto& [line, check] : steps) tested.push_back(line);
    std::vector<std::string> on_page = page_commands(text);
    std::sort(tested.begin(), tested.end());
    std::sort(on_page.begin(), on_page.end());
    ASSERT_EQ(on_page, tested) << "every command of the page is run here, and only those";

    for (const auto& [line, check] : steps) {
        SCOPED_TRACE(line);
        EXPECT_EQ(run_line(line), 0u) << log();
        check();
    }
}

}  // namespace
}  // namespace tolvek

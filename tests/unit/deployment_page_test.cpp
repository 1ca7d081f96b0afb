// The administrator's page (docs/deployment.md) against the program: the addresses it lists are
// the ones the program calls, the settings keys are the file's, the log lines are the program's.
// The commands and the files and registry values are run and checked in the e2e tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "base/settings.h"
#include "build_config.h"
#include "unit/deployment_page.h"
#include "util/platform.h"

namespace tolvek {
namespace {

using test::first_cells;

std::string page() { return test::deployment_page(); }

// Every source file of the program, as one text.
std::string program_sources() {
    std::string all;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_join(TOLVEK_SOURCE_DIR, "src"))) {
        if (entry.is_regular_file()) all += read_file(entry.path().string()).value_or("") + "\n";
    }
    return all;
}

TEST(DeploymentPage, AddressesAreTheProgramsRequests) {
    const auto rows = first_cells(page(), "Adresse");
    ASSERT_GE(rows.size(), 6u);
    const std::string current = std::string("https://") + kServiceHost;
    const std::string legacy = std::string("https://") + kLegacyHost + "/";
    std::set<std::string> listed;
    bool legacy_listed = false;
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 1u);
        if (row[0] == legacy) {
            legacy_listed = true;
            continue;
        }
        ASSERT_TRUE(row[0].starts_with(current)) << row[0];
        listed.insert(row[0].substr(current.size()));
    }
    EXPECT_TRUE(legacy_listed);
    // The paths the program asks for: every one is on the page, and the page names no other.
    const std::string sources = read_file(path_join(TOLVEK_SOURCE_DIR, "src/net/http.cpp")).value_or("") +
                                read_file(path_join(TOLVEK_SOURCE_DIR, "src/net/update_win.cpp")).value_or("");
    std::set<std::string> requested;
    const std::regex literal("\"(/(v1|dl)/[a-z/]*)\"");
    for (auto it = std::sregex_iterator(sources.begin(), sources.end(), literal); it != std::sregex_iterator(); ++it) {
        requested.insert((*it)[1]);
    }
    EXPECT_EQ(listed, requested);
}

TEST(DeploymentPage, SettingsKeysAreTheFilesKeys) {
    const auto rows = first_cells(page(), "Schlüssel");
    ASSERT_GE(rows.size(), 5u);
    const auto file = nlohmann::json::parse(serialize_settings(default_settings()));
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 1u);
        EXPECT_TRUE(file.contains(row[0])) << row[0];
    }
}

TEST(DeploymentPage, LogLinesAreTheProgramsWording) {
    const auto rows = first_cells(page(), "Protokollzeile");
    ASSERT_GE(rows.size(), 10u);
    const std::string sources = program_sources();
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 1u);
        // What stands between two "…" is written by the program literally.
        std::string rest = row[0];
        std::size_t pieces = 0;
        while (!rest.empty()) {
            const std::size_t gap = rest.find("…");
            const std::string piece = rest.substr(0, gap);
            if (!piece.empty()) {
                ++pieces;
                EXPECT_NE(sources.find(piece), std::string::npos)
                    << "the program never writes \"" << piece << "\" (" << row[0] << ")";
            }
            rest = gap == std::string::npos ? "" : rest.substr(gap + std::string("…").size());
        }
        EXPECT_GT(pieces, 0u) << row[0];
    }
}

}  // namespace
}  // namespace tolvek

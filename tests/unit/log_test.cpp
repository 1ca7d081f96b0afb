#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <regex>
#include <thread>
#include <vector>

#include "base/log.h"
#include "test_support.h"

namespace tolvek {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no line feed>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

TEST(Log_Format, ZeroPaddedStampAndLineFeed) {
    EXPECT_EQ(format_log_line({2025, 3, 7, 9, 5, 41}, "beendet"), "2025-03-07 09:05:41 beendet\n");
    EXPECT_EQ(format_log_line({987, 12, 31, 23, 59, 0}, "a\nb"), "0987-12-31 23:59:00 a\nb\n");
}

TEST(Log_Write, AppendsStampedUtf8Lines) {
    test::ScopedDataDir data;
    log("gestartet: Version 0.5.24 · Windows");
    log("beendet");
    const std::string text = *read_file(data.file("tolvek.log"));
    const auto lines = lines_of(text);
    ASSERT_EQ(lines.size(), 2u) << text;
    const std::regex stamp(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} )");
    EXPECT_TRUE(std::regex_search(lines[0], stamp));
    EXPECT_EQ(lines[0].substr(20), "gestartet: Version 0.5.24 · Windows");
    EXPECT_EQ(lines[1].substr(20), "beendet");
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_NE(text.substr(0, 3), "\xEF\xBB\xBF");
}

TEST(Log_Rotate, BoundaryAt200000Bytes) {
    test::ScopedDataDir data;
    create_directories(data.dir());
    ASSERT_TRUE(write_file_flushed(data.file("tolvek.log"), std::string(200000, 'x')));
    log("eins");
    EXPECT_EQ(file_size(data.file("tolvek.log")), 200000u + 25u) << "exactly 200000 bytes: append";
    EXPECT_FALSE(file_size(data.file("tolvek.alt.log")).has_value());

    ASSERT_TRUE(write_file_flushed(data.file("tolvek.log"), std::string(200001, 'y')));
    ASSERT_TRUE(write_file_flushed(data.file("tolvek.alt.log"), "alt"));
    log("zwei");
    EXPECT_EQ(file_size(data.file("tolvek.alt.log")), 200001u);
    const auto lines = lines_of(*read_file(data.file("tolvek.log")));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(20), "zwei");
}

TEST(Log_Clean, DictationLinesRemoveBothFiles) {
    struct Case {
        const char* name;
        std::string current, previous;
        bool cleaned;
    };
    const std::vector<Case> cases = {
        {"clean logs stay", "2024-01-01 10:00:00 beendet\n", "x Diktat:ohne Leerzeichen\n", false},
        {"current holds a dictation", "2024-01-01 10:00:00 Diktat: Hallo\n", "", true},
        {"only the old file holds one", "2024-01-01 10:00:00 beendet\n",
         "2023-01-01 10:00:00 Diktat: Hallo\n", true},
        {"between invalid bytes", "\xFF\xFE" "Diktat: x\xC3", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedDataDir data;
        create_directories(data.dir());
        write_file_flushed(data.file("tolvek.log"), c.current);
        if (!c.previous.empty()) write_file_flushed(data.file("tolvek.alt.log"), c.previous);
        clean_old_logs();
        log("gestartet: Version 0.5.24 · Windows");
        const auto lines = lines_of(*read_file(data.file("tolvek.log")));
        if (c.cleaned) {
            ASSERT_EQ(lines.size(), 2u);
            EXPECT_EQ(lines[0].substr(20),
                      "Protokoll bereinigt: ältere Versionen hatten einzelne Diktate vermerkt, "
                      "ab jetzt nur Technik und Fehler");
            EXPECT_EQ(lines[1].substr(20), "gestartet: Version 0.5.24 · Windows");
            EXPECT_FALSE(file_size(data.file("tolvek.alt.log")).has_value());
        } else {
            EXPECT_EQ(lines.front(), "2024-01-01 10:00:00 beendet");
            EXPECT_EQ(lines.size(), 2u);
        }
    }
}

TEST(Log_Concurrency, EightThreadsWriteWholeLines) {
    test::ScopedDataDir data;
    constexpr int kThreads = 8;
    constexpr int kLines = 150;  // 8 x 150 lines of 124 bytes stay below the rotation
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string body(100, static_cast<char>('a' + t));
            std::string line = "T";
            line += static_cast<char>('0' + t);
            line += ' ';
            line += body;
            for (int i = 0; i < kLines; ++i) log(line);
        });
    }
    for (auto& th : threads) th.join();
    const auto lines = lines_of(*read_file(data.file("tolvek.log")));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    std::vector<int> per_thread(kThreads);
    for (const auto& line : lines) {
        ASSERT_EQ(line.size(), 20u + 3u + 100u) << line.substr(0, 60);
        const int t = line[21] - '0';
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(line.substr(23), std::string(100, static_cast<char>('a' + t)));
        ++per_thread[t];
    }
    for (int n : per_thread) EXPECT_EQ(n, kLines);
}

TEST(Log_Uninstalling, NoFileOnceSet) {
    test::ScopedDataDir data;
    set_uninstalling();
    log("nach der Deinstallation");
    set_uninstalling(false);
    EXPECT_FALSE(file_size(data.file("tolvek.log")).has_value());
    EXPECT_FALSE(test::directory_exists(data.dir())) << "the data folder was made again";
}

// The removal sets the flag and deletes the data folder while a worker is still logging: the
// folder must never come back, however the two interleave.
TEST(Log_Uninstalling, WorkerLoggingDuringTheRemovalNeverMakesTheFolderAgain) {
    for (int round = 0; round < 200; ++round) {
        test::ScopedDataDir data;
        log("vorher");
        std::atomic<bool> stop {false};
        std::thread worker([&] {
            while (!stop) log("Arbeiter");
        });
        std::this_thread::sleep_for(std::chrono::microseconds(50 * (round % 7)));
        set_uninstalling();
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::path(reinterpret_cast<const char8_t*>(data.dir().c_str())), ec);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        stop = true;
        worker.join();
        const bool came_back = test::directory_exists(data.dir());
        set_uninstalling(false);
        ASSERT_FALSE(came_back) << "round " << round;
    }
}

}  // namespace
}  // namespace tolvek

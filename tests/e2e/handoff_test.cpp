// A second start of Tolvek.exe while a copy runs: its link or code reaches the running copy,
// and the second process ends.
#include <gtest/gtest.h>

#include "message_boxes.h"
#include "running_tolvek.h"
#include "setup/single_instance.h"
#include "util/win_handles.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;

class SecondStart : public test::RunningTolvek {
protected:
    // Starts a second copy and returns its exit code once it ended.
    std::optional<DWORD> second(const std::string& args) {
        const test::TolvekProcess copy(args);
        if (!test::pump_until([&] { return !copy.running(); }, 30s)) return std::nullopt;
        return copy.wait(0);
    }
    std::optional<test::TrayCall> balloon(std::size_t from) {
        return tray.wait_for(from, [](const test::TrayCall& c) { return (c.flags & NIF_INFO) != 0; }, 10s);
    }
};

TEST_F(SecondStart, PlainStartShowsTheRunningCopyAndLeavesNoTrace) {
    start();
    test::pump_for(500ms);
    const std::string log_before = log();
    const std::size_t calls = tray.calls().size();
    ASSERT_EQ(second(""), 0u);
    const auto shown = balloon(calls);
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(shown->info_title, "Tolvek läuft bereits");
    EXPECT_EQ(shown->info, "Das Fuchs-Symbol unten rechts öffnet das Menü. Diktieren mit der Taste, wie gewohnt.");
    EXPECT_EQ(log(), log_before) << "the second start writes nothing";
    EXPECT_TRUE(tolvek->running());
}

TEST_F(SecondStart, LinkWithAnotherCodeAsksAndSwitches) {
    start();
    const std::size_t calls = tray.calls().size();
    std::vector<std::string> boxes;
    {
        test::MessageBoxAnswerer answerer(IDYES);
        ASSERT_EQ(second("--link \"tolvek://anmelden?code=st-cccc-dddd\""), 0u);
        const auto shown = tray.wait_for(
            calls, [](const test::TrayCall& c) { return c.info == "Angemeldet für Muster GmbH."; }, 20s);
        EXPECT_TRUE(shown.has_value()) << log();
        boxes = answerer.texts();
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Tolvek mit einer anderen Firma verbinden?\n\nFirmen-Code: ST-CCCC-DDDD\n"
                        "Bisher verbunden mit Muster GmbH.");
    EXPECT_EQ(saved().code, "ST-CCCC-DDDD");
    EXPECT_FALSE(saved().token.empty());
    EXPECT_NE(log().find(" Firmen-Code übernommen\n"), std::string::npos);

    // The same code again only announces it, without a question.
    test::MessageBoxAnswerer answerer(IDNO);
    const std::size_t again = tray.calls().size();
    ASSERT_EQ(second("--code=ST-CCCC-DDDD"), 0u);
    const auto shown = balloon(again);
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(shown->info, "Tolvek ist bereits mit Muster GmbH verbunden.");
    EXPECT_TRUE(answerer.texts().empty());
}

// The first copy is still starting (or has no window): the second gives up after about 5 s.
TEST_F(SecondStart, NoRunningWindowGivesUpAfterFiveSeconds) {
    const Handle mutex(CreateMutexW(nullptr, FALSE, kInstanceMutexName));
    ASSERT_TRUE(mutex.valid());
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(second("--code ST-3PVA-8RKE"), 0u);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GE(took, 4500ms);
    EXPECT_LT(took, 15s);
    EXPECT_NE(log().find(" Link: laufendes Tolvek nicht gefunden\n"), std::string::npos) << log();
}

// A running copy whose window never answers (hung): the second start gives up after its time
// limit instead of waiting with it, and says so in the log.
TEST_F(SecondStart, HungCopyDoesNotHoldTheSecondStart) {
    const Handle mutex(CreateMutexW(nullptr, FALSE, kInstanceMutexName));
    ASSERT_TRUE(mutex.valid());
    const test::TolvekProcess hung("standin hung 120", path_join(test::program_dir(), "wincontrol.exe"));
    ASSERT_TRUE(test::pump_until([] { return FindWindowW(L"TolvekMain", nullptr) != nullptr; }, 10s));
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(second("--link tolvek:ST-3PVA-8RKE"), 0u) << "the second start ended";
    EXPECT_LT(std::chrono::steady_clock::now() - started, 15s);
    EXPECT_NE(log().find(" Link: laufendes Tolvek nicht gefunden\n"), std::string::npos) << log();
    EXPECT_TRUE(hung.running());
}

}  // namespace
}  // namespace tolvek

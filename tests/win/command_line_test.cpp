// The command line is split by the system's own rules; this checks the bridge to UTF-8.
#include <gtest/gtest.h>

#include "shell/command_line.h"

namespace tolvek {
namespace {

TEST(CommandLine_Split, WindowsRules) {
    struct Case {
        const char* raw;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {R"("C:\Program Files\Tolvek.exe" --code ST-3PVA-8RKE)",
         {"C:\\Program Files\\Tolvek.exe", "--code", "ST-3PVA-8RKE"}},
        {"Tolvek.exe \t --quiet", {"Tolvek.exe", "--quiet"}},
        {R"(Tolvek.exe "tolvek:join?firma=M&uuml;ller Co" x)",
         {"Tolvek.exe", "tolvek:join?firma=M&uuml;ller Co", "x"}},
        {R"(Tolvek.exe a\\\"b c\\d "e\\")", {"Tolvek.exe", "a\\\"b", "c\\\\d", "e\\"}},
        {"Tolvek.exe --code=ßt-3pva-8rke Grüße", {"Tolvek.exe", "--code=ßt-3pva-8rke", "Grüße"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(split_command_line(c.raw), c.args);
    }
}

}  // namespace
}  // namespace tolvek

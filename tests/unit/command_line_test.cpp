#include <gtest/gtest.h>

#include "shell/command_line.h"
#include "shell/startup.h"

namespace tolvek {
namespace {

struct SwitchCase {
    const char* name;
    std::vector<std::string> args;  // after the program name
    CommandLine expected;
};

CommandLine quiet() {
    CommandLine c;
    c.quiet = true;
    return c;
}

CommandLine with_code(std::string code, bool from_link) {
    CommandLine c;
    c.code = std::move(code);
    c.from_link = from_link;
    return c;
}

void expect_same(const CommandLine& a, const CommandLine& b) {
    EXPECT_EQ(a.store_install, b.store_install);
    EXPECT_EQ(a.quiet, b.quiet);
    EXPECT_EQ(a.uninstall, b.uninstall);
    EXPECT_EQ(a.sigcheck, b.sigcheck);
    EXPECT_EQ(a.sigcheck_file, b.sigcheck_file);
    EXPECT_EQ(a.code, b.code);
    EXPECT_EQ(a.from_link, b.from_link);
    EXPECT_EQ(a.update, b.update);
    EXPECT_EQ(a.first, b.first);
    EXPECT_EQ(a.updated, b.updated);
}

TEST(CommandLine_Parse, SwitchTable) {
    CommandLine store;
    store.store_install = store.quiet = true;
    CommandLine uninstall_quiet = quiet();
    uninstall_quiet.uninstall = true;
    CommandLine sig_file;
    sig_file.sigcheck = true;
    sig_file.sigcheck_file = "C:\\x\\Tolvek.exe";
    CommandLine sig_last;
    sig_last.sigcheck = true;
    CommandLine flags;
    flags.update = flags.first = flags.updated = true;

    const std::vector<SwitchCase> cases = {
        {"nothing", {}, CommandLine {}},
        {"--QUIET", {"--QUIET"}, quiet()},
        {"/S", {"/S"}, quiet()},
        {"-s", {"-s"}, quiet()},
        {"/Quiet", {"/Quiet"}, quiet()},
        {"quiet needs the whole argument", {"--quietly", "/s2"}, CommandLine {}},
        {"--store", {"--store"}, store},
        {"--Store is not --store", {"--Store"}, CommandLine {}},
        {"--Uninstall and --FIRST are ignored", {"--Uninstall", "--FIRST"}, CommandLine {}},
        {"--uninstall --quiet", {"--uninstall", "--quiet"}, uninstall_quiet},
        {"--sigcheck with a file", {"--sigcheck", "C:\\x\\Tolvek.exe"}, sig_file},
        {"--sigcheck last", {"--sigcheck"}, sig_last},
        {"--update --first --updated", {"--updated", "--first", "--update"}, flags},
        {"--code=value", {"--code=st-3pva-8rke"}, with_code("ST-3PVA-8RKE", false)},
        {"--code value", {"--code", "st-3pva-8rke"}, with_code("ST-3PVA-8RKE", false)},
        {"--code loose value", {"--code", "st3pva8rke"}, with_code("ST-3PVA-8RKE", false)},
        {"--code unusable falls back to the link",
         {"--code", "xyz", "tolvek://join?code=ST-AAAA-BBBB"}, with_code("ST-AAAA-BBBB", true)},
        {"--code scanning goes past an unusable value",
         {"--code=12", "--code", "ST 3PVA 8RKE"}, with_code("ST-3PVA-8RKE", false)},
        {"--code beats a link", {"TOLVEK:ST-AAAA-BBBB", "--code=st-3pva-8rke"},
         with_code("ST-3PVA-8RKE", false)},
        {"link in capitals", {"TOLVEK:join/st-3pva-8rke"}, with_code("ST-3PVA-8RKE", true)},
        {"only the first link counts", {"tolvek:nothing", "tolvek:ST-AAAA-BBBB"}, CommandLine {}},
        {"a link without a code", {"tolvek:"}, CommandLine {}},
        {"--code without a value", {"--code"}, CommandLine {}},
        // A link opened through the registration: `--link "%1"`, where the link may carry a
        // quote and so switches of its own. After --link only the link counts.
        {"--link with its link", {"--link", "tolvek:join?code=st-3pva-8rke"}, with_code("ST-3PVA-8RKE", true)},
        {"--link then --uninstall /s", {"--link", "tolvek:x", "--uninstall", "--quiet", "/s", ""}, CommandLine {}},
        {"--link then --code", {"--link", "tolvek:x", "--code", "ST-AAAA-BBBB", "--first"}, CommandLine {}},
        {"--link with a code then --code", {"--link", "tolvek:ST-3PVA-8RKE", "--code=ST-AAAA-BBBB"},
         with_code("ST-3PVA-8RKE", true)},
        {"--link then --sigcheck", {"--link", "tolvek:x", "--sigcheck", "\\\\host\\share\\a.exe"}, CommandLine {}},
        {"--link then --store --update", {"--link", "tolvek:x", "--store", "--update", "--updated"}, CommandLine {}},
        {"--link whose next argument is a switch", {"--link", "--uninstall"}, CommandLine {}},
        {"--link last", {"--link"}, CommandLine {}},
        {"switches before --link count", {"--quiet", "--link", "tolvek:ST-3PVA-8RKE"}, [] {
             CommandLine c = with_code("ST-3PVA-8RKE", true);
             c.quiet = true;
             return c;
         }()},
        {"a 40,000-character link", {"--link", "tolvek:" + std::string(40000, 'x') + "ST-3PVA-8RKE", "--uninstall"},
         with_code("ST-3PVA-8RKE", true)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"C:\\Users\\a\\AppData\\Local\\Tolvek\\Tolvek.exe"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        expect_same(parse_command_line(args), c.expected);
    }
}

TEST(CommandLine_Parse, ProgramNameTakesPartInScans) {
    const CommandLine c = parse_command_line({"--first", "x"});
    EXPECT_TRUE(c.first);
}

TEST(CommandLine_InstallCode, FromCommandLineOrProgramFileName) {
    const std::string downloaded = "C:\\Users\\a\\Downloads\\Tolvek-ST-3PVA-8RKE.exe";
    EXPECT_EQ(install_code(parse_command_line({downloaded}), downloaded), "ST-3PVA-8RKE");
    EXPECT_EQ(install_code(parse_command_line({downloaded, "--code=ST-AAAA-BBBB"}), downloaded),
              "ST-AAAA-BBBB");
    EXPECT_EQ(install_code(parse_command_line({"C:\\Tolvek.exe"}), "C:\\Tolvek.exe"),
              std::nullopt);
    // The file name counts for the self-install only, never for the running copy's code.
    EXPECT_EQ(parse_command_line({downloaded}).code, std::nullopt);
}

TEST(Startup_TalkKeyMigration, OldDefaultBecomesCtrlShift) {
    struct Case {
        const char* name;
        std::uint32_t vk, mods, rev;
        bool migrated;
        std::uint32_t mods_after;
    };
    const Case cases[] = {
        {"old default Ctrl + Win", 0, 10, 0, true, 6},
        {"revision 1 too", 0, 10, 1, true, 6},
        {"own key kept", 0x77, 10, 0, false, 10},
        {"other modifiers kept", 0, 3, 0, false, 3},
        {"already migrated", 0, 10, 2, false, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Settings s;
        s.vk = c.vk, s.mods = c.mods, s.hotkey_rev = c.rev;
        EXPECT_EQ(migrate_talk_key(s), c.migrated);
        EXPECT_EQ(s.mods, c.mods_after);
        EXPECT_EQ(s.vk, c.vk);
        EXPECT_EQ(s.hotkey_rev, std::max<std::uint32_t>(c.rev, 2));
    }
    EXPECT_STREQ(kKeyMigratedLog, "Taste umgestellt: Strg + Win → Strg + Umschalt");
}

TEST(Startup_Log, StartedLine) {
    EXPECT_EQ(started_log_line("Windows 11 Pro 23H2 (Build 22631)"),
              "gestartet: Version 0.5.24 · Windows 11 Pro 23H2 (Build 22631)");
}

}  // namespace
}  // namespace tolvek

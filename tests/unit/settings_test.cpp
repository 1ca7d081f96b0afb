#include <gtest/gtest.h>

#include <functional>

#include "build_config.h"
#include "base/settings.h"
#include "test_support.h"

namespace tolvek {
namespace {

const std::string kDefaultServer = std::string("https://") + kServiceHost;

struct LoaderCase {
    const char* name;
    std::string file;
    std::function<void(Settings&)> expect;  // applied to the defaults to form the expected value
};

TEST(Settings_Load, ForgivingLoaderTable) {
    const std::vector<LoaderCase> cases = {
        {"empty file", "", [](Settings&) {}},
        {"byte-order mark only", "\xEF\xBB\xBF", [](Settings&) {}},
        {"not an object", "[]", [](Settings& s) { s.hotkey_rev = 0; }},
        {"two byte-order marks before an object", "\xEF\xBB\xBF\xEF\xBB\xBF{\"hotkey_rev\":2,\"lang\":\"de\"}",
         [](Settings& s) { s.lang = "de"; }},
        {"not UTF-8", "{\"firm\":\"M\xFCller\",\"hotkey_rev\":2}", [](Settings&) {}},
        {"broken JSON", "{\"firm\":", [](Settings&) {}},
        {"trailing slashes", R"({"server":"https://x.example//","hotkey_rev":2})",
         [](Settings& s) { s.server = "https://x.example"; }},
        {"plain http", R"({"server":"http://127.0.0.1:8080/","hotkey_rev":2})",
         [](Settings& s) { s.server = "http://127.0.0.1:8080"; }},
        {"other scheme", R"({"server":"ftp://x.example","hotkey_rev":2})", [](Settings&) {}},
        {"no host after https", R"({"server":"https://","hotkey_rev":2})", [](Settings&) {}},
        {"no host after http", R"({"server":"http://","hotkey_rev":2})", [](Settings&) {}},
        {"only slashes after the scheme", R"({"server":"https:////","hotkey_rev":2})", [](Settings&) {}},
        {"scheme in capitals", R"({"server":"HTTPS://x.example","hotkey_rev":2})", [](Settings&) {}},
        {"legacy server with a trailing slash",
         std::string(R"({"hotkey_rev":2,"server":"https://)") + kLegacyHost + "/\"}",
         [](Settings&) {}},
        {"overlay pair", R"({"overlay_x":100,"overlay_y":-20,"hotkey_rev":2})",
         [](Settings& s) { s.overlay = OverlayPosition {100, -20}; }},
        {"overlay_x alone", R"({"overlay_x":100,"hotkey_rev":2})", [](Settings&) {}},
        {"overlay_y not an integer", R"({"overlay_x":100,"overlay_y":1.5,"hotkey_rev":2})",
         [](Settings&) {}},
        {"overlay null", R"({"overlay_x":null,"overlay_y":null,"hotkey_rev":2})", [](Settings&) {}},
        {"overlay beyond 32 bits is truncated", R"({"overlay_x":4294967297,"overlay_y":-1,"hotkey_rev":2})",
         [](Settings& s) { s.overlay = OverlayPosition {1, -1}; }},
        {"overlay beyond 64 bits", R"({"overlay_x":18446744073709551615,"overlay_y":0,"hotkey_rev":2})",
         [](Settings&) {}},
        {"compress null", R"({"compress":null,"hotkey_rev":2})", [](Settings&) {}},
        {"compress false", R"({"compress":false,"hotkey_rev":2})",
         [](Settings& s) { s.compress = false; }},
        {"compress a string", R"({"compress":"false","hotkey_rev":2})", [](Settings&) {}},
        {"odd-length token", R"({"token":"abc","hotkey_rev":2})", [](Settings&) {}},
        {"token not hex", R"({"token":"zz","hotkey_rev":2})", [](Settings&) {}},
        {"vk negative", R"({"vk":-1,"hotkey_rev":2})", [](Settings&) {}},
        {"vk floating point", R"({"vk":65.0,"hotkey_rev":2})", [](Settings&) {}},
        {"vk truncated to 32 bits", R"({"vk":4294967361,"mods":3,"hotkey_rev":2})",
         [](Settings& s) { s.vk = 65, s.mods = 3; }},
        {"hotkey_rev missing", R"({"vk":65})", [](Settings& s) { s.vk = 65, s.hotkey_rev = 0; }},
        {"hotkey_rev a string", R"({"hotkey_rev":"2"})", [](Settings& s) { s.hotkey_rev = 0; }},
        {"keys of wrong types",
         R"({"hold":"no","sounds":0,"auto_update":null,"tray_ask":1,"store":"true","code":5,"firm":[],"lang":{},"audio":true,"hotkey_rev":2})",
         [](Settings&) {}},
        {"empty strings are taken", R"({"lang":"","audio":"","hotkey_rev":2})",
         [](Settings& s) { s.lang = "", s.audio = ""; }},
        {"every key",
         R"({"audio":"opus","auto_update":false,"code":"ST-3PVA-8RKE","compress":true,"firm":"Müller & Söhne","hold":false,"hotkey_rev":7,"lang":"de","mods":3,"overlay_x":-5,"overlay_y":9,"region":"eu","server":"https://a.example","sounds":false,"store":true,"token":"","tray_ask":true,"vk":120,"unknown":1})",
         [](Settings& s) {
             s.audio = "opus", s.auto_update = false, s.code = "ST-3PVA-8RKE",
             s.firm = "Müller & Söhne", s.hold = false, s.hotkey_rev = 7, s.lang = "de",
             s.mods = 3, s.overlay = OverlayPosition {-5, 9}, s.region = "eu",
             s.server = "https://a.example", s.sounds = false, s.store = true, s.tray_ask = true,
             s.vk = 120;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Settings expected = default_settings();
        c.expect(expected);
        EXPECT_EQ(parse_settings(c.file).settings, expected);
    }
}

TEST(Settings_Load, LegacyServerIsRewrittenSavedAndLogged) {
    test::ScopedDataDir data;
    create_directories(data.dir());
    const std::string legacy = std::string("https://") + kLegacyHost + "/";
    ASSERT_TRUE(write_file_flushed(data.file("config.json"),
                                   R"({"hotkey_rev":2,"server":")" + legacy + R"(","firm":"A"})"));
    const Settings s = load_settings();
    EXPECT_EQ(s.server, kDefaultServer);
    EXPECT_EQ(s.firm, "A");
    EXPECT_EQ(parse_settings(*read_file(data.file("config.json"))).settings, s);
    const std::string log = read_file(data.file("tolvek.log")).value_or("");
    EXPECT_NE(log.find(std::string(" Server umgestellt: ") + kLegacyHost + " → " + kServiceHost +
                       "\n"),
              std::string::npos)
        << log;

    // Only that exact value is rewritten.
    EXPECT_FALSE(parse_settings(R"({"server":"http://)" + std::string(kLegacyHost) + "\"}")
                     .server_rewritten);
}

TEST(Settings_Load, MissingFileGivesDefaults) {
    test::ScopedDataDir data;
    EXPECT_EQ(load_settings(), default_settings());
    EXPECT_FALSE(file_size(data.file("config.json")).has_value());
}

TEST(Settings_Save, FileIsByteExact) {
    test::ScopedDataDir data;
    Settings s = default_settings();
    s.firm = "Müller & Söhne \"Nord\"";
    s.vk = 0x77;
    save_settings(s);
    const std::string expected = "{\n"
                                 "  \"audio\": \"wav\",\n"
                                 "  \"auto_update\": true,\n"
                                 "  \"code\": \"\",\n"
                                 "  \"compress\": true,\n"
                                 "  \"firm\": \"Müller & Söhne \\\"Nord\\\"\",\n"
                                 "  \"hold\": true,\n"
                                 "  \"hotkey_rev\": 2,\n"
                                 "  \"lang\": \"auto\",\n"
                                 "  \"mods\": 6,\n"
                                 "  \"overlay_x\": null,\n"
                                 "  \"overlay_y\": null,\n"
                                 "  \"region\": \"\",\n"
                                 "  \"server\": \"" +
                                 kDefaultServer +
                                 "\",\n"
                                 "  \"sounds\": true,\n"
                                 "  \"store\": false,\n"
                                 "  \"token\": \"\",\n"
                                 "  \"tray_ask\": false,\n"
                                 "  \"vk\": 119\n"
                                 "}";
    EXPECT_EQ(read_file(data.file("config.json")), expected);
    EXPECT_FALSE(file_size(data.file("config.tmp")).has_value());

    s.overlay = OverlayPosition {-2147483647 - 1, 1080};
    save_settings(s);
    const std::string text = *read_file(data.file("config.json"));
    EXPECT_NE(text.find("  \"overlay_x\": -2147483648,\n  \"overlay_y\": 1080,\n"),
              std::string::npos);
    EXPECT_EQ(load_settings(), s);
}

TEST(Settings_Save, UnknownKeysAreDropped) {
    test::ScopedDataDir data;
    create_directories(data.dir());
    write_file_flushed(data.file("config.json"), R"({"hotkey_rev":2,"extra":1,"firm":"F"})");
    save_settings(load_settings());
    const std::string text = *read_file(data.file("config.json"));
    EXPECT_EQ(text.find("extra"), std::string::npos);
    EXPECT_NE(text.find("\"firm\": \"F\""), std::string::npos);
}

TEST(Settings_Save, FailedTemporaryWriteKeepsTheOldFile) {
    test::ScopedDataDir data;
    Settings s = default_settings();
    s.firm = "Alt";
    save_settings(s);
    const auto before = read_file(data.file("config.json"));
    ASSERT_TRUE(before.has_value());
    // A folder in the temporary file's place makes its write fail.
    ASSERT_TRUE(create_directories(data.file("config.tmp")));
    s.firm = "Neu";
    save_settings(s);
    EXPECT_EQ(read_file(data.file("config.json")), before);
    EXPECT_EQ(load_settings().firm, "Alt");
}

TEST(Settings_Token, RoundTripIsProtectedAndUndecryptableLoadsEmpty) {
    test::ScopedDataDir data;
    Settings s = default_settings();
    s.token = "tok-Äß-123";
    save_settings(s);
    const std::string text = *read_file(data.file("config.json"));
    EXPECT_EQ(text.find("tok-"), std::string::npos);
    EXPECT_EQ(text.find("746f6b2d"), std::string::npos) << "token stored as plain hex";
    const auto start = text.find("\"token\": \"") + 10;
    const std::string hex = text.substr(start, text.find('"', start) - start);
    ASSERT_FALSE(hex.empty());
    EXPECT_EQ(hex.size() % 2, 0u);
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos) << hex;
    EXPECT_EQ(load_settings().token, "tok-Äß-123");

    // Upper-case hex is read as well.
    std::string upper = hex;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(parse_settings(R"({"token":")" + upper + "\"}").settings.token, "tok-Äß-123");

    // Bytes protected elsewhere, or damaged, do not decrypt.
    EXPECT_EQ(parse_settings(R"({"token":"00112233445566778899"})").settings.token, "");
    std::string damaged = hex;
    damaged[damaged.size() - 1] = damaged.back() == '0' ? '1' : '0';
    damaged[damaged.size() / 2] = damaged[damaged.size() / 2] == '0' ? '1' : '0';
    EXPECT_EQ(parse_settings(R"({"token":")" + damaged + "\"}").settings.token, "");
}

TEST(Settings_Paths, FollowTheEnvironment) {
    test::ScopedDataDir data;
    ASSERT_FALSE(test::directory_exists(data.dir()));
    EXPECT_EQ(data_dir(), data.dir());
    EXPECT_TRUE(test::directory_exists(data.dir())) << "data_dir creates the folder";
    EXPECT_EQ(config_path(), data.file("config.json"));
    EXPECT_EQ(dictionary_path(), data.file("schreibweisen.txt"));
    const std::string local = install_dir();
    EXPECT_EQ(local.substr(local.size() - 12), std::string("Local") + kPathSeparator + "Tolvek");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(
        reinterpret_cast<const char8_t*>(local.c_str()))))
        << "install_dir does not create the folder";

    test::set_env("APPDATA", std::nullopt);
    EXPECT_EQ(data_dir(), path_join(temp_dir(), "Tolvek"));
}

}  // namespace
}  // namespace tolvek

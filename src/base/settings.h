// Per-user data directory, install directory and the settings file config.json.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvek {

struct OverlayPosition {
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool operator==(const OverlayPosition&) const = default;
};

struct Settings {
    std::string server;
    std::string code;
    std::string token;
    std::string firm;
    std::string lang = "auto";
    std::string region;
    std::string audio = "wav";
    std::optional<OverlayPosition> overlay;
    std::uint32_t vk = 0;
    std::uint32_t mods = 6;
    std::uint32_t hotkey_rev = 2;
    bool hold = true;
    bool auto_update = true;
    bool sounds = true;
    bool tray_ask = false;
    bool compress = true;
    bool store = false;

    bool operator==(const Settings&) const = default;
};

// "https://" + the current service host.
std::string default_server();
Settings default_settings();

// The folder an environment variable names (APPDATA, LOCALAPPDATA), or the system's temporary
// folder when it is missing or empty.
std::string parent_or_temp(const char* variable);
// The data directory (%APPDATA%\Tolvek), created with its parents on every call.
std::string data_dir();
// The install directory (%LOCALAPPDATA%\Tolvek), not created.
std::string install_dir();
// The installed program: Tolvek.exe in the install directory.
std::string install_target();
std::string config_path();
std::string dictionary_path();

struct ParsedSettings {
    Settings settings;
    // The server named the predecessor's host and was moved to the current one.
    bool server_rewritten = false;
};

// Reads the bytes of config.json forgivingly: whatever is unusable takes its default.
ParsedSettings parse_settings(std::string_view bytes);
// The whole file text: two-space indent, keys in byte order, no final newline.
std::string serialize_settings(const Settings& settings);

Settings load_settings();
// Writes config.tmp and renames it over config.json; failures leave the old file in place.
void save_settings(const Settings& settings);

// Protection of the token at rest, bound to the current user. The Windows build uses the
// system's data protection; the native test build has its own reversible stand-in.
std::optional<std::string> protect_token(std::string_view token);
std::optional<std::string> unprotect_token(std::string_view protected_bytes);

}  // namespace tolvek

#include "base/settings.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

#include "build_config.h"
#include "base/log.h"
#include "util/platform.h"
#include "util/text.h"

namespace tolvek {
namespace {

using nlohmann::json;


bool is_non_negative_integer(const json& v) {
    return v.is_number_unsigned() || (v.is_number_integer() && v.get<std::int64_t>() >= 0);
}

bool fits_int64(const json& v) {
    if (v.is_number_unsigned()) {
        return v.get<std::uint64_t>() <=
               static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    }
    return v.is_number_integer();
}

std::string read_token(const json& v) {
    if (!v.is_string()) return {};
    const auto bytes = hex_decode(v.get_ref<const std::string&>());
    if (!bytes) return {};
    auto token = unprotect_token(std::string_view(reinterpret_cast<const char*>(bytes->data()),
                                                  bytes->size()));
    if (!token || !is_valid_utf8(*token)) return {};
    return *token;
}

}  // namespace

std::string default_server() { return std::string("https://") + kServiceHost; }

Settings default_settings() {
    Settings s;
    s.server = default_server();
    return s;
}

std::string data_dir() {
    std::string dir = path_join(parent_or_temp("APPDATA"), "Tolvek");
    // Once the removal began, nothing makes the folder again (a dialog closing after it).
    if (!uninstalling()) create_directories(dir);
    return dir;
}

std::string parent_or_temp(const char* variable) {
    auto parent = get_env(variable);
    if (!parent || parent->empty()) return temp_dir();
    return *parent;
}

std::string install_dir() { return path_join(parent_or_temp("LOCALAPPDATA"), "Tolvek"); }

std::string install_target() { return path_join(install_dir(), "Tolvek.exe"); }
std::string config_path() { return path_join(data_dir(), "config.json"); }
std::string dictionary_path() { return path_join(data_dir(), "schreibweisen.txt"); }

ParsedSettings parse_settings(std::string_view bytes) {
    ParsedSettings out;
    Settings& s = out.settings;
    s = default_settings();
    if (!is_valid_utf8(bytes)) return out;
    while (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    const json doc = json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (doc.is_discarded()) return out;
    static const json kEmpty = json::object();
    const json& obj = doc.is_object() ? doc : kEmpty;
    const auto member = [&](const char* key) -> const json* {
        const auto it = obj.find(key);
        return it == obj.end() ? nullptr : &*it;
    };

    for (auto [key, field] : {std::pair{"code", &s.code}, {"firm", &s.firm}, {"lang", &s.lang},
                              {"region", &s.region}, {"audio", &s.audio}}) {
        if (const json* v = member(key); v && v->is_string()) *field = v->get<std::string>();
    }
    if (const json* v = member("server"); v && v->is_string()) {
        std::string server = v->get<std::string>();
        const std::size_t scheme = server.rfind("https://", 0) == 0  ? 8
                                   : server.rfind("http://", 0) == 0 ? 7
                                                                     : 0;
        // Slashes go only after the host; a server without a host counts as missing (the default
        // is used), never as "https:" that would send everything to a host named "v1".
        while (scheme && server.size() > scheme && server.back() == '/') server.pop_back();
        if (scheme && server.size() > scheme && server[scheme] != '/') {
            s.server = server;
        }
    }
    for (auto [key, field] : {std::pair{"vk", &s.vk}, {"mods", &s.mods}}) {
        if (const json* v = member(key); v && is_non_negative_integer(*v)) {
            *field = static_cast<std::uint32_t>(v->get<std::uint64_t>());
        }
    }
    const json* rev = member("hotkey_rev");
    s.hotkey_rev = rev && is_non_negative_integer(*rev)
                       ? static_cast<std::uint32_t>(rev->get<std::uint64_t>())
                       : 0;

    const json* ox = member("overlay_x");
    const json* oy = member("overlay_y");
    if (ox && oy && fits_int64(*ox) && fits_int64(*oy)) {
        s.overlay = OverlayPosition {static_cast<std::int32_t>(ox->get<std::int64_t>()),
                                     static_cast<std::int32_t>(oy->get<std::int64_t>())};
    }

    for (auto [key, field] : {std::pair{"hold", &s.hold}, {"auto_update", &s.auto_update},
                              {"sounds", &s.sounds}}) {
        if (const json* v = member(key); v && v->is_boolean()) *field = v->get<bool>();
    }
    const auto flag = [&](const char* key) {
        const json* v = member(key);
        return v && v->is_boolean() && v->get<bool>();
    };
    s.tray_ask = flag("tray_ask");
    s.store = flag("store");
    const json* compress = member("compress");
    s.compress = !(compress && compress->is_boolean() && !compress->get<bool>());

    if (const json* v = member("token")) s.token = read_token(*v);

    if (s.server == std::string("https://") + kLegacyHost) {
        s.server = default_server();
        out.server_rewritten = true;
    }
    return out;
}

std::string serialize_settings(const Settings& s) {
    std::string token;
    if (!s.token.empty()) {
        if (auto sealed = protect_token(s.token)) {
            token = hex_encode(std::vector<std::uint8_t>(sealed->begin(), sealed->end()));
        }
    }
    json obj = json::object();
    obj["audio"] = s.audio;
    obj["auto_update"] = s.auto_update;
    obj["code"] = s.code;
    obj["compress"] = s.compress;
    obj["firm"] = s.firm;
    obj["hold"] = s.hold;
    obj["hotkey_rev"] = s.hotkey_rev;
    obj["lang"] = s.lang;
    obj["mods"] = s.mods;
    obj["overlay_x"] = s.overlay ? json(s.overlay->x) : json(nullptr);
    obj["overlay_y"] = s.overlay ? json(s.overlay->y) : json(nullptr);
    obj["region"] = s.region;
    obj["server"] = s.server;
    obj["sounds"] = s.sounds;
    obj["store"] = s.store;
    obj["token"] = token;
    obj["tray_ask"] = s.tray_ask;
    obj["vk"] = s.vk;
    return obj.dump(2, ' ', false, json::error_handler_t::replace);
}

Settings load_settings() {
    const auto bytes = read_file(config_path());
    if (!bytes) return default_settings();
    ParsedSettings parsed = parse_settings(*bytes);
    if (parsed.server_rewritten) {
        save_settings(parsed.settings);
        log(std::string("Server umgestellt: ") + kLegacyHost + " → " + kServiceHost);
    }
    return parsed.settings;
}

void save_settings(const Settings& settings) {
    if (uninstalling()) return;
    const std::string dir = data_dir();
    const std::string tmp = path_join(dir, "config.tmp");
    if (write_file_flushed(tmp, serialize_settings(settings))) {
        replace_file(tmp, path_join(dir, "config.json"));
    }
}

}  // namespace tolvek

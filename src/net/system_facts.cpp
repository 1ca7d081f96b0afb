#include "net/system_facts.h"

#include <cstdint>
#include <vector>

#include "util/text.h"

namespace tolvek {
namespace {

std::uint32_t build_number(const std::optional<std::string>& text) {
    if (!text) return 0;
    std::string t = trim_unicode_space(*text);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    if (t.empty() || t.size() > 10) return 0;
    std::uint64_t n = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n > 0xFFFFFFFFull ? 0 : static_cast<std::uint32_t>(n);
}

}  // namespace

std::string microphone_kind_of(const std::optional<std::string>& device_name) {
    if (!device_name) return "anderes";
    const std::string name = lowercase(*device_name);
    static const std::pair<const char*, std::vector<const char*>> kKinds[] = {
        {"bluetooth", {"bluetooth", "hands-free", "freisprech", "airpods", "buds"}},
        {"headset", {"headset", "headphone", "kopfhörer", "jabra", "plantronics", "poly", "epos",
                     "sennheiser", "logitech h", "evolve"}},
        {"usb", {"usb", "webcam", "cam", "yeti", "rode", "blue snowball", "fifine", "elgato"}},
        {"eingebaut", {"realtek", "intel", "array", "internal", "intern", "integriert",
                       "smart sound", "conexant", "cirrus"}},
    };
    for (const auto& [kind, words] : kKinds) {
        for (const char* word : words) {
            if (name.find(word) != std::string::npos) return kind;
        }
    }
    return "anderes";
}

std::string windows_edition_of(const std::optional<std::string>& build_text,
                               const std::optional<std::string>& edition_id,
                               const std::optional<std::string>& display_version) {
    const std::uint32_t build = build_number(build_text);
    std::string text = build > 21999 ? "Windows 11" : "Windows 10";
    static const std::pair<const char*, const char*> kLabels[] = {
        {"Core", "Home"},         {"CoreSingleLanguage", "Home"},
        {"Professional", "Pro"},  {"ProfessionalWorkstation", "Pro for Workstations"},
        {"Education", "Education"}, {"Enterprise", "Enterprise"},
        {"EnterpriseS", "Enterprise LTSC"},
    };
    if (edition_id) {
        for (const auto& [id, label] : kLabels) {
            if (*edition_id == id) text += std::string(" ") + label;
        }
    }
    if (display_version && !display_version->empty()) text += " " + *display_version;
    if (build != 0) text += " (" + std::to_string(build) + ")";
    return text;
}

}  // namespace tolvek

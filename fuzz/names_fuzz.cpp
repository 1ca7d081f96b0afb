// Short texts from outside, split at NUL bytes: company codes in links and program file names,
// the system's key names, the registry's Windows facts, a microphone's name and a log file's
// bytes. Codes found have their one form and keep it; names are readable text.
#include <cstddef>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "base/log.h"
#include "dictation/key_names.h"
#include "fuzz/check.h"
#include "net/system_facts.h"
#include "shell/command_line.h"
#include "util/text.h"
#include "windows/company_code.h"

namespace {

// What a Windows API hands over after its UTF-16 was narrowed: always valid UTF-8.
std::string narrowed(const std::string& bytes) { return tolvek::utf16_to_utf8(tolvek::utf8_to_utf16(bytes)); }

void check_code(const std::optional<std::string>& code) {
    static const std::regex kForm("ST-[A-Z0-9]{4}-[A-Z0-9]{4}");
    if (!code) return;
    FUZZ_CHECK(std::regex_match(*code, kForm));
    FUZZ_CHECK(tolvek::normalize_company_code(*code) == code);
    FUZZ_CHECK(tolvek::extract_link_code(*code) == code);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            fields.emplace_back();
        } else {
            fields.back() += static_cast<char>(data[i]);
        }
    }
    fields.resize(std::max<std::size_t>(fields.size(), 4));

    for (const std::string& field : fields) {
        check_code(tolvek::extract_link_code(field));
        check_code(tolvek::normalize_company_code(field));
        check_code(tolvek::install_code(tolvek::CommandLine {}, field));
    }

    const std::uint32_t vk = size > 0 ? data[0] : 0;
    const std::uint32_t mods = size > 1 ? data[1] & 15 : 0;
    const std::string key = tolvek::format_key_name(vk, mods, [&](std::uint32_t) {
        return std::optional<std::string>(narrowed(fields[0]));
    });
    FUZZ_CHECK(tolvek::is_valid_utf8(key));
    FUZZ_CHECK(key.empty() == (vk == 0 && mods == 0));

    const std::string edition = tolvek::windows_edition_of(narrowed(fields[1]), narrowed(fields[2]), narrowed(fields[3]));
    FUZZ_CHECK(edition.starts_with("Windows 1") && tolvek::is_valid_utf8(edition));
    const std::string kind = tolvek::microphone_kind_of(narrowed(fields[0]));
    FUZZ_CHECK(kind == "bluetooth" || kind == "headset" || kind == "usb" || kind == "eingebaut" || kind == "anderes");

    const std::string_view log_bytes(reinterpret_cast<const char*>(data), size);
    if (log_bytes.find("Diktat: ") != std::string_view::npos) FUZZ_CHECK(tolvek::mentions_dictation(log_bytes));
    return 0;
}

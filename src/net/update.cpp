#include "net/update.h"

#include <cstdint>
#include <vector>

#include "build_config.h"

namespace tolvek {
namespace {

std::vector<std::uint32_t> number_list(std::string_view version) {
    std::vector<std::uint32_t> numbers;
    std::uint64_t value = 0;
    bool in_number = false, overflow = false;
    const auto finish = [&] {
        if (in_number) numbers.push_back(overflow ? 0 : static_cast<std::uint32_t>(value));
        value = 0;
        in_number = overflow = false;
    };
    for (char c : version) {
        if (c >= '0' && c <= '9') {
            in_number = true;
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > UINT32_MAX) {
                overflow = true;
                value = 0;
            }
        } else {
            finish();
        }
    }
    finish();
    return numbers;
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool is_newer_than(std::string_view version, std::string_view running) {
    const auto offered = number_list(version);
    const auto current = number_list(running);
    for (std::size_t i = 0; i < std::max(offered.size(), current.size()); ++i) {
        const std::uint32_t a = i < offered.size() ? offered[i] : 0;
        const std::uint32_t b = i < current.size() ? current[i] : 0;
        if (a != b) return a > b;
    }
    return false;
}

bool is_newer(std::string_view version) { return is_newer_than(version, kVersion); }

std::string update_file_name(std::string_view version) {
    std::string name = "Tolvek-update-";
    for (char c : version) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.') name += c;
    }
    return name + ".exe";
}

std::optional<std::string> update_content_error(std::string_view body, bool too_large) {
    if (too_large || body.size() < 100000 || !starts_with(body, "MZ")) {
        return "Update abgelehnt: unerwarteter Dateiinhalt.";
    }
    return std::nullopt;
}

std::optional<std::string> update_signature_error(const Signature& own, const Signature& offered) {
    switch (own.kind) {
    case Signature::None: return std::nullopt;  // an unsigned program takes any program file
    case Signature::Invalid:
        return "Update abgelehnt: Die Signatur des laufenden Programms lässt sich nicht prüfen (" +
               own.problem + ").";
    case Signature::Valid: break;
    }
    if (offered.kind != Signature::Valid) return "Update abgelehnt: Datei ist nicht gültig signiert.";
    if (own.subject != offered.subject) {
        // A look-alike may copy the common name; then the whole subject tells them apart.
        return "Update abgelehnt: anderer Herausgeber (" +
               (offered.name == own.name ? offered.subject : offered.name) + ").";
    }
    return std::nullopt;
}

std::optional<std::string> update_version_error(const std::optional<std::string>& file_version,
                                                std::string_view announced, std::string_view running) {
    if (!file_version) return "Update abgelehnt: Die Datei nennt keine Version (angekündigt: " + std::string(announced) + ").";
    const bool same = !is_newer_than(*file_version, announced) && !is_newer_than(announced, *file_version);
    if (!same) {
        return "Update abgelehnt: Die Datei trägt Version " + *file_version + ", angekündigt war " +
               std::string(announced) + ".";
    }
    if (!is_newer_than(*file_version, running)) {
        return "Update abgelehnt: Version " + *file_version + " ist nicht neuer als die laufende Version " +
               std::string(running) + ".";
    }
    return std::nullopt;
}

bool is_leftover_file_name(std::string_view name) {
    const bool exe = name.size() >= 4 && name.compare(name.size() - 4, 4, ".exe") == 0;
    return exe && (starts_with(name, "Tolvek-update-") || starts_with(name, "Orvane-update-") ||
                   starts_with(name, "Tolvek-entfernt-"));
}

}  // namespace tolvek

// Native test build only: a reversible per-user sealing with the same contract as the
// Windows data protection (bound to the user, fails on foreign or damaged input). It is
// not a cipher and is never part of the product.
#include <unistd.h>

#include "base/settings.h"

namespace tolvek {
namespace {

constexpr std::string_view kMagic = "TVKP";

std::string keystream_xor(std::string_view data) {
    std::uint32_t state = 0x9E3779B9u ^ static_cast<std::uint32_t>(::getuid());
    std::string out(data);
    for (char& c : out) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(c ^ static_cast<char>(state >> 24));
    }
    return out;
}

std::uint32_t checksum(std::string_view data) {
    std::uint32_t h = 2166136261u ^ static_cast<std::uint32_t>(::getuid());
    for (unsigned char c : data) h = (h ^ c) * 16777619u;
    return h;
}

std::string checksum_bytes(std::string_view data) {
    const std::uint32_t h = checksum(data);
    return {static_cast<char>(h), static_cast<char>(h >> 8), static_cast<char>(h >> 16),
            static_cast<char>(h >> 24)};
}

}  // namespace

std::optional<std::string> protect_token(std::string_view token) {
    return std::string(kMagic) + checksum_bytes(token) + keystream_xor(token);
}

std::optional<std::string> unprotect_token(std::string_view sealed) {
    if (sealed.size() < 8 || sealed.substr(0, 4) != kMagic) return std::nullopt;
    std::string plain = keystream_xor(sealed.substr(8));
    if (checksum_bytes(plain) != sealed.substr(4, 4)) return std::nullopt;
    return plain;
}

}  // namespace tolvek

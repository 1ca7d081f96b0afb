#include "net/update.h"

#include <cstdint>
#include <vector>

#include "build_config.h"

namespace tolvek {
namespace {

std::vector<std::uint64_t> number_list(std::string_view version) {
    std::vector<std::uint64_t> numbers;
    bool in_number = false;
    for (char c : version) {
        if (c >= '0' && c <= '9') {
            if (!in_number) numbers.push_back(0);
            in_number = true;
            std::uint64_t& n = numbers.back();
            n = n > (UINT64_MAX - 9) / 10 ? UINT64_MAX : n * 10 + static_cast<unsigned>(c - '0');
        } else {
            in_number = false;
        }
    }
    return numbers;
}

}  // namespace

bool is_newer_than(std::string_view version, std::string_view running) {
    const auto offered = number_list(version);
    const auto current = number_list(running);
    for (std::size_t i = 0; i < std::max(offered.size(), current.size()); ++i) {
        const std::uint64_t a = i < offered.size() ? offered[i] : 0;
        const std::uint64_t b = i < current.size() ? current[i] : 0;
        if (a != b) return a > b;
    }
    return false;
}

bool is_newer(std::string_view version) { return is_newer_than(version, kVersion); }

}  // namespace tolvek

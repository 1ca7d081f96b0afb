#include "windows/words.h"

#include <algorithm>

#include "util/text.h"

namespace tolvek {

bool same_word(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

AddOutcome add_word(std::vector<WordEntry>& words, std::string_view typed, bool for_all) {
    AddOutcome outcome;
    outcome.word = trim_unicode_space(typed);
    if (outcome.word.empty()) return outcome;
    const auto found = std::find_if(words.begin(), words.end(),
                                    [&](const WordEntry& e) { return same_word(e.text, outcome.word); });
    if (found == words.end()) {
        words.push_back({outcome.word, for_all});
        outcome.change = WordChange::Added;
    } else if (for_all && !found->shared) {
        found->shared = true;
        outcome.change = WordChange::Shared;
    }
    return outcome;
}

int scrolled(int scroll, int wheel_delta, int content_height, int view_height) {
    const int limit = std::max(content_height + 20 + 26 - view_height, 0);
    return std::clamp(scroll - wheel_delta / 3, 0, limit);
}

}  // namespace tolvek

// The rules of the dictionary window that need no window: comparing words, adding a typed word,
// and how far the pills may scroll.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/dictionary.h"

namespace tolvek {

// Same length and equal when ASCII letters are compared without case ("Müller" and "müller"
// are the same word, "MÜLLER" is another).
bool same_word(std::string_view a, std::string_view b);

// What adding a typed word did: nothing (empty or already there), a new entry, or an own entry
// that became the company's.
enum class WordChange { None, Added, Shared };
struct AddOutcome {
    WordChange change = WordChange::None;
    std::string word;  // trimmed
};
AddOutcome add_word(std::vector<WordEntry>& words, std::string_view typed, bool for_all);

// The scroll position after a wheel turn of `delta` (120 a notch, 40 pixels), within the content.
int scrolled(int scroll, int wheel_delta, int content_height, int view_height);

}  // namespace tolvek

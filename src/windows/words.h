// The rules of the dictionary window that need no window: comparing words, adding a typed word,
// laying the pills out and how far they may scroll. Lengths are pixels at the given dpi.
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
// that became the company's. `word` is the entry's own spelling: sharing "müller" when
// "Müller" is listed shares "Müller".
enum class WordChange { None, Added, Shared };
struct AddOutcome {
    WordChange change = WordChange::None;
    std::string word;  // trimmed
};
AddOutcome add_word(std::vector<WordEntry>& words, std::string_view typed, bool for_all);

// A 96-dpi length at `dpi`.
inline int scaled(int length, int dpi) { return length * dpi / 96; }

// The pills view's measures at 96 dpi: the unscrolled legend band at the bottom, the margin
// around the pills, a pill's height, its inner margin and the gap between pills and rows.
constexpr int kPillsLegend = 26, kPillsEdge = 10, kPillHeight = 22, kPillMargin = 9, kPillGap = 5;

// A pill's widths as measured: its text and the marks shown beside it (0 when not shown).
struct PillWidths {
    int text = 0, share = 0, remove = 0;
};
// Where a pill lies in the content (the first row's top at the edge, unscrolled) and how wide
// its text is drawn: a word too wide for the view is cut so that its marks stay inside.
struct PillBox {
    int left = 0, top = 0, right = 0, bottom = 0;
    int text = 0;
};
std::vector<PillBox> layout_pills(const std::vector<PillWidths>& pills, int view_width, int dpi);
// From the first row's top to the last row's bottom (0 without pills).
int content_height(const std::vector<PillBox>& boxes, int dpi);

// The scroll position after a wheel turn of `delta` (120 a notch, 40 pixels at 96 dpi), never
// beyond the last row and its margin above the legend.
int scrolled(int scroll, int wheel_delta, int content_height, int view_height, int dpi);
// The scroll position that shows `box` whole, moving as little as it can.
int scrolled_to_show(int scroll, const PillBox& box, int content_height, int view_height, int dpi);

}  // namespace tolvek

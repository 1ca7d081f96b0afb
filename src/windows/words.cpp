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
        outcome.word = found->text;
        outcome.change = WordChange::Shared;
    }
    return outcome;
}

std::vector<PillBox> layout_pills(const std::vector<PillWidths>& pills, int view_width, int dpi) {
    const int edge = scaled(kPillsEdge, dpi), margin = scaled(kPillMargin, dpi), gap = scaled(kPillGap, dpi);
    const int height = scaled(kPillHeight, dpi);
    const int widest = view_width - 2 * edge;
    std::vector<PillBox> boxes;
    int x = edge, top = edge;
    for (const PillWidths& p : pills) {
        const int marks = p.share + p.remove;
        const int text = std::max(std::min(p.text, widest - 2 * margin - marks), 0);
        const int width = margin + text + margin + marks;
        if (x + width > view_width - edge && x > edge) {
            top += height + gap;
            x = edge;
        }
        boxes.push_back({x, top, x + width, top + height, text});
        x += width + gap;
    }
    return boxes;
}

int content_height(const std::vector<PillBox>& boxes, int dpi) {
    return boxes.empty() ? 0 : boxes.back().bottom - scaled(kPillsEdge, dpi);
}

namespace {

int scroll_limit(int content_height, int view_height, int dpi) {
    return std::max(content_height + scaled(2 * kPillsEdge + kPillsLegend, dpi) - view_height, 0);
}

}  // namespace

int scrolled(int scroll, int wheel_delta, int content_height, int view_height, int dpi) {
    return std::clamp(scroll - wheel_delta * dpi / 288, 0, scroll_limit(content_height, view_height, dpi));
}

int scrolled_to_show(int scroll, const PillBox& box, int content_height, int view_height, int dpi) {
    const int edge = scaled(kPillsEdge, dpi);
    const int visible_bottom = view_height - scaled(kPillsLegend, dpi) - edge;
    if (box.top - scroll < edge) scroll = box.top - edge;
    if (box.bottom - scroll > visible_bottom) scroll = box.bottom - visible_bottom;
    return std::clamp(scroll, 0, scroll_limit(content_height, view_height, dpi));
}

}  // namespace tolvek

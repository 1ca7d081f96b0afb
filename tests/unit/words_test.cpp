// The dictionary's word rules, the spellings file's bytes and the company list in an answer.
#include <gtest/gtest.h>

#include "net/dictionary.h"
#include "windows/words.h"

namespace tolvek {
namespace {

TEST(Words, AddingComparesOnlyAsciiLettersWithoutCase) {
    std::vector<WordEntry> words {{"Kestrom", true}};
    const struct {
        const char* typed;
        bool for_all;
        WordChange change;
    } steps[] = {
        {"  Müller  ", false, WordChange::Added},  // trimmed
        {"müller", false, WordChange::None},       // the same word
        {"MÜLLER", false, WordChange::Added},      // Ü is not ASCII: another word
        {" \t ", false, WordChange::None},
        {"kestrom", true, WordChange::None},       // already the company's
        {"Müller", true, WordChange::Shared},      // own word made the company's
        {"Huber", true, WordChange::Added},
    };
    for (const auto& s : steps) EXPECT_EQ(add_word(words, s.typed, s.for_all).change, s.change) << s.typed;
    EXPECT_EQ(words, (std::vector<WordEntry> {{"Kestrom", true}, {"Müller", true}, {"MÜLLER", false}, {"Huber", true}}));
}

// Sharing an own word by typing another spelling of it shares and keeps the listed spelling.
TEST(Words, SharingByTypingKeepsTheListedSpelling) {
    std::vector<WordEntry> words {{"Müller", false}};
    const AddOutcome outcome = add_word(words, "müller", true);
    EXPECT_EQ(outcome.change, WordChange::Shared);
    EXPECT_EQ(outcome.word, "Müller") << "what is sent to the service";
    EXPECT_EQ(words, (std::vector<WordEntry> {{"Müller", true}}));
}

// At every scaling the last row can be scrolled fully above the legend, a notch scrolls 40
// pixels at 96 dpi and in proportion above, and a word wider than the view is cut so that its
// marks stay inside.
TEST(Words, LayoutAndScrollingHoldAtEveryScaling) {
    for (const int dpi : {96, 144, 192}) {
        SCOPED_TRACE(dpi);
        const int view_w = scaled(512, dpi), view_h = scaled(248, dpi);
        std::vector<PillWidths> pills(60, PillWidths {scaled(70, dpi), 0, 0});
        pills[7] = {scaled(900, dpi), scaled(12, dpi), scaled(10, dpi)};  // too wide, with its marks
        const auto boxes = layout_pills(pills, view_w, dpi);
        ASSERT_EQ(boxes.size(), pills.size());
        for (const PillBox& b : boxes) {
            EXPECT_GE(b.left, scaled(kPillsEdge, dpi));
            EXPECT_LE(b.right, view_w - scaled(kPillsEdge, dpi)) << "inside the view";
        }
        EXPECT_EQ(boxes[7].left, scaled(kPillsEdge, dpi)) << "the wide word starts its own row";
        EXPECT_EQ(boxes[7].right - boxes[7].left,
                  2 * scaled(kPillMargin, dpi) + boxes[7].text + scaled(12, dpi) + scaled(10, dpi));
        EXPECT_GT(boxes.back().top, boxes.front().top) << "the pills wrap";

        const int content = content_height(boxes, dpi);
        EXPECT_EQ(scrolled(0, -120, content, view_h, dpi), scaled(40, dpi));
        EXPECT_EQ(scrolled(scaled(40, dpi), 240, content, view_h, dpi), 0);
        const int end = scrolled(0, -120 * 100, content, view_h, dpi);
        // At the end the last row's bottom lies one margin above the legend.
        EXPECT_EQ(boxes.back().bottom - end, view_h - scaled(kPillsLegend, dpi) - scaled(kPillsEdge, dpi));
        EXPECT_EQ(scrolled(0, -120, scaled(60, dpi), view_h, dpi), 0) << "few words: nothing to scroll";

        // Moving the keyboard to the last word scrolls it just into sight, and back to the first.
        const int shown = scrolled_to_show(0, boxes.back(), content, view_h, dpi);
        EXPECT_EQ(shown, end);
        EXPECT_EQ(scrolled_to_show(shown, boxes.front(), content, view_h, dpi), 0);
        EXPECT_EQ(scrolled_to_show(shown, boxes.back(), content, view_h, dpi), shown) << "in sight: no move";
    }
}

TEST(Words, SpellingsBytesAndCompanyTerms) {
    EXPECT_EQ(spellings_bytes({"A", "B"}), "A\r\nB");
    EXPECT_EQ(spellings_bytes({}), "");
    EXPECT_EQ(company_terms(Json::parse(R"({"terms": ["Kestrom", 7, "ST-Nord", null]})")),
              (std::vector<std::string> {"Kestrom", "ST-Nord"}));
    EXPECT_TRUE(company_terms(Json::parse(R"({"terms": "Kestrom"})")).empty());
    EXPECT_TRUE(company_terms(Json::parse(R"([])")).empty());
}

}  // namespace
}  // namespace tolvek

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

TEST(Words, WheelScrollsFortyPixelsANotchWithinTheContent) {
    // A view 248 high; content 400 high: at most 400 + 20 + 26 - 248 = 198.
    EXPECT_EQ(scrolled(0, -120, 400, 248), 40);
    EXPECT_EQ(scrolled(180, -120, 400, 248), 198);
    EXPECT_EQ(scrolled(40, 240, 400, 248), 0);
    EXPECT_EQ(scrolled(0, -120, 60, 248), 0) << "few words: nothing to scroll";
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

#include <gtest/gtest.h>

#include "windows/company_code.h"
#include "util/text.h"

namespace tolvek {
namespace {

TEST(Text_Utf, RoundTripsAndReplacesInvalidInput) {
    const std::string text = "Grüße · „Fuchs“ 🦊";
    EXPECT_EQ(utf16_to_utf8(utf8_to_utf16(text)), text);
    EXPECT_EQ(utf8_to_utf16("🦊"), std::u16string(u"\xD83E\xDD8A"));
    EXPECT_EQ(utf8_to_utf16("a\xFF" "b"), std::u16string(u"a\xFFFD" "b"));
    EXPECT_EQ(utf8_to_utf16("a\xE2\x82"), std::u16string(u"a\xFFFD\xFFFD"));
    EXPECT_EQ(utf16_to_utf8(std::u16string(u"x\xD800y")), "x\xEF\xBF\xBDy");
    EXPECT_TRUE(is_valid_utf8(text));
    EXPECT_FALSE(is_valid_utf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(is_valid_utf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(is_valid_utf8("\xE2\x82"));          // truncated
}

TEST(Text_Hex, EncodeAndDecode) {
    EXPECT_EQ(hex_encode({0x00, 0xAB, 0x7F}), "00ab7f");
    EXPECT_EQ(hex_decode("00AbfF"), (std::vector<std::uint8_t> {0x00, 0xAB, 0xFF}));
    EXPECT_EQ(hex_decode("abc"), std::nullopt);
    EXPECT_EQ(hex_decode("0g"), std::nullopt);
    EXPECT_EQ(hex_decode(""), std::vector<std::uint8_t> {});
}

TEST(Text_Case, FullUnicodeMappings) {
    EXPECT_EQ(to_upper_unicode("straße ﬆ é"), U"STRASSE ST É");
    EXPECT_EQ(to_lower_unicode("ÄÖÜ İ Σ"), U"äöü i\u0307 σ");
}

TEST(CompanyCode, FoundInTextsAndLooseInput) {
    struct Case {
        const char* input;
        std::optional<std::string> extracted, normalized;
    };
    const Case cases[] = {
        {"st-3pva-8rke", "ST-3PVA-8RKE", "ST-3PVA-8RKE"},
        {" ST 3PVA 8RKE ", std::nullopt, "ST-3PVA-8RKE"},
        {"3pva8rke", std::nullopt, "ST-3PVA-8RKE"},
        {"Ihr Code lautet ST-3PVA-8RKE, bitte eingeben.", "ST-3PVA-8RKE", "ST-3PVA-8RKE"},
        {"ST-3PV", std::nullopt, std::nullopt},
        {"ST-3PVA-8RK", std::nullopt, std::nullopt},
        {"ST-3PVA_8RKE", std::nullopt, "ST-3PVA-8RKE"},
        {"tolvek://join?code=st-3pva-8rke", "ST-3PVA-8RKE", "ST-3PVA-8RKE"},
        {"C:\\Downloads\\Tolvek-ST-3PVA-8RKE.exe", "ST-3PVA-8RKE", "ST-3PVA-8RKE"},
        {"ﬆ-3pva-8rke", "ST-3PVA-8RKE", "ST-3PVA-8RKE"},
        {"ST-3PVÄ-8RKE", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(extract_link_code(c.input), c.extracted);
        EXPECT_EQ(normalize_company_code(c.input), c.normalized);
    }
}

}  // namespace
}  // namespace tolvek

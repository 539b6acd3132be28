#include "quor_inet/resources/string_table.h"

#include <gtest/gtest.h>

#include <cstring>


namespace {

// Texts reach the code as single ANSI bytes; a UTF-8 sequence here would show as two letters.
bool LooksLikeUtf8(const char* text) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); p[0] != 0; ++p) {
        if (p[0] >= 0xC2 && p[0] <= 0xF4 && p[1] >= 0x80 && p[1] <= 0xBF) {
            return true;
        }
    }
    return false;
}

TEST(StringTable, EveryLanguageHasEveryIdInAnsiBytes) {
    for (uint16_t language : kTableLanguages) {
        for (unsigned id = kFirstStringId; id <= kLastStringId; ++id) {
            SCOPED_TRACE(testing::Message()
                         << "language 0x" << std::hex << language << std::dec << " id " << id);
            const char* text = StringTableText(language, id);
            ASSERT_NE(text, nullptr);
            EXPECT_GT(std::strlen(text), 0u);
            EXPECT_LT(std::strlen(text), 256u) << "must fit the lookup buffer";
            EXPECT_FALSE(LooksLikeUtf8(text));
        }
    }
}

TEST(StringTable, UnknownIdsAndLanguagesHaveNoText) {
    EXPECT_EQ(StringTableText(kLangEnglish, 0), nullptr);
    EXPECT_EQ(StringTableText(kLangEnglish, 5), nullptr);
    EXPECT_EQ(StringTableText(0x0416, 3), nullptr);
    EXPECT_EQ(StringTableText(0x0C0A, 3), nullptr) << "only the Mexican Spanish block";
}

TEST(StringTable, LanguageFromLocaleName) {
    struct Case {
        const char* locale;
        uint16_t language;
    } const cases[] = {
        {"de_DE.UTF-8", kLangGerman},
        {"de_AT", kLangGerman},
        {"de", kLangGerman},
        {"fr_FR.UTF-8", kLangFrench},
        {"fr_CA@euro", kLangFrench},
        {"it_IT.UTF-8", kLangItalian},
        {"es_MX.UTF-8", kLangSpanishMexico},
        {"es_ES", kLangSpanishMexico},
        {"en_US.UTF-8", kLangEnglish},
        {"C", kLangEnglish},
        {"POSIX", kLangEnglish},
        {"C.UTF-8", kLangEnglish},
        {"", kLangEnglish},
        {nullptr, kLangEnglish},
        {"dex_DE", kLangEnglish},
        {"d", kLangEnglish},
        {"pt_BR.UTF-8", kLangEnglish},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale != nullptr ? c.locale : "(null)");
        EXPECT_EQ(TableLanguageForLocale(c.locale), c.language);
    }
}

}  // namespace

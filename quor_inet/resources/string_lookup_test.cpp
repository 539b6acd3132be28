#include "quor_inet/resources/string_lookup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "afx/cstring.h"
#include "afx/resources.h"
#include "quor_inet/resources/resource.h"

namespace {

// The messages' language comes from the environment at each lookup.
class LocaleScope {
  public:
    explicit LocaleScope(const char* locale) {
        const char* old = std::getenv("LC_ALL");
        m_hadOld = old != nullptr;
        if (m_hadOld) {
            m_old = old;
        }
        setenv("LC_ALL", locale, 1);
    }
    ~LocaleScope() {
        if (m_hadOld) {
            setenv("LC_ALL", m_old.c_str(), 1);
        } else {
            unsetenv("LC_ALL");
        }
    }

  private:
    bool m_hadOld = false;
    std::string m_old;
};

constexpr unsigned kLongId = 7001;

bool TestStrings(unsigned id, CString& text) {
    if (id == kLongId) {
        text = CString('x', 300) + "end";
        return true;
    }
    return false;
}

TEST(LoadResString, TextsInEachLanguage) {
    struct Case {
        const char* locale;
        unsigned id;
        const char* text;
    } const cases[] = {
        {"en_US.UTF-8", IDS_CONNECT_PROMPT, "Please connect to Internet and press OK !"},
        {"de_DE.UTF-8", IDS_CONNECT_PROMPT,
         "Verbinden Sie sich mit derm Internet und dr\xFC"
         "cken dann OK !"},
        {"fr_FR.UTF-8", IDS_SEARCH, "&Rechercher"},
        {"fr_FR", IDS_STOP, "&Arr\xEAter"},
        {"it_IT.UTF-8", IDS_CONFIRM_CANCEL, "Annullare?"},
        {"es_MX.UTF-8", IDS_CONFIRM_CANCEL,
         "\xBF"
         "Est\xE1 seguro que quiere Cancelar ?"},
        {"es_ES.UTF-8", IDS_SEARCH, "&Buscar"},
        {"C", IDS_SEARCH, "&Search"},
        {"pt_BR.UTF-8", IDS_CONFIRM_CANCEL, "Do you really want to Cancel ?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.locale << " id " << c.id);
        LocaleScope locale(c.locale);
        const char* text = LoadResString(c.id);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, c.text);
    }
}

TEST(LoadResString, NoTextForZeroAndUnknownIds) {
    LocaleScope locale("en_US.UTF-8");
    EXPECT_EQ(LoadResString(0), nullptr);
    EXPECT_EQ(LoadResString(5), nullptr);
    EXPECT_EQ(LoadResString(102), nullptr) << "dialog ids are no strings";
}

TEST(LoadResString, OneBufferOverwrittenByTheNextLookup) {
    LocaleScope locale("en_US.UTF-8");
    const char* first = LoadResString(IDS_STOP);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "&Stop");
    const char* second = LoadResString(IDS_SEARCH);
    EXPECT_EQ(second, first);
    EXPECT_STREQ(first, "&Search");
}

TEST(LoadResString, LongTextIsCutAtTheBuffer) {
    AfxAddStringProvider(&TestStrings);
    const char* text = LoadResString(kLongId);
    AfxRemoveStringProvider(&TestStrings);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::strlen(text), size_t(kLookupBufferSize - 1));
    EXPECT_EQ(std::string(text), std::string(kLookupBufferSize - 1, 'x'));
}

}  // namespace

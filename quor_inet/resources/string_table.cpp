#include "quor_inet/resources/string_table.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "afx/resources.h"
#include "quor_inet/resources/resource.h"

namespace {

struct LanguageTexts {
    uint16_t languageId;
    const char* texts[kLastStringId];  // ids 1 to 4
};

// Kept in step with quor_inet.rc; a Windows test compares the two byte for byte.
constexpr LanguageTexts kTable[] = {
    {kLangGerman,
     {"Wollen Sie wirklich abbrechen ?",
      "Verbinden Sie sich mit derm Internet und dr\xFC"
      "cken dann OK !",
      "&Stop", "&Suchen"}},
    {kLangEnglish,
     {"Do you really want to Cancel ?", "Please connect to Internet and press OK !", "&Stop",
      "&Search"}},
    {kLangFrench,
     {"Voulez-vous vraiment annuller?", "Veuillez vous connecter sur Internet et appuyez sur OK !",
      "&Arr\xEA"
      "ter",
      "&Rechercher"}},
    {kLangItalian, {"Annullare?", "Connettersi a Internet e premere OK !", "&Stop", "&Ricerca"}},
    {kLangSpanishMexico,
     {"\xBF"
      "Est\xE1 seguro que quiere Cancelar ?",
      "Con\xE9"
      "ctese a Internet y pulse Aceptar !",
      "&Stop", "&Buscar"}},
};

static_assert(IDS_CONFIRM_CANCEL == kFirstStringId && IDS_SEARCH == kLastStringId);

bool TableProvider(unsigned id, CString& text) {
    const char* found = StringTableText(NativeUiLanguage(), id);
    if (found == nullptr) {
        return false;
    }
    text = found;
    return true;
}

}  // namespace

const char* StringTableText(uint16_t languageId, unsigned id) noexcept {
    if (id < kFirstStringId || id > kLastStringId) {
        return nullptr;
    }
    for (const LanguageTexts& language : kTable) {
        if (language.languageId == languageId) {
            return language.texts[id - kFirstStringId];
        }
    }
    return nullptr;
}

uint16_t TableLanguageForLocale(const char* localeName) noexcept {
    if (localeName == nullptr) {
        return kLangEnglish;
    }
    // The language part ends at the territory, code set or modifier.
    size_t length = std::strcspn(localeName, "_.@");
    struct Prefix {
        const char* language;
        uint16_t id;
    };
    static constexpr Prefix kPrefixes[] = {
        {"de", kLangGerman}, {"fr", kLangFrench}, {"it", kLangItalian}, {"es", kLangSpanishMexico}};
    for (const Prefix& prefix : kPrefixes) {
        if (length == 2 && std::strncmp(localeName, prefix.language, 2) == 0) {
            return prefix.id;
        }
    }
    return kLangEnglish;
}

uint16_t NativeUiLanguage() noexcept {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return TableLanguageForLocale(value);
        }
    }
    return kLangEnglish;
}

void RegisterNativeStringTable() {
    AfxAddStringProvider(&TableProvider);
}

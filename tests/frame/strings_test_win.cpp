// The library's strings and dialog templates as the platform picks them for the process's
// language (QUOR_EXPECT_LANG, set per test entry with LC_ALL), read through the tests' build
// of the library.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quor_inet/resources/resource.h"
#include "quor_inet/resources/string_table.h"
#include "tests/frame/progress_window_texts.h"

namespace {

// GetProcAddress's result as the function type it really has.
template <typename F>
F Bind(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

using LookupFn = const char* (*)(unsigned);
using FindModuleFn = void* (*)(unsigned, unsigned);

class Probe : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_module = LoadLibraryA("quor_inet_probe.dll");
        ASSERT_NE(s_module, nullptr) << GetLastError();
        s_lookup = Bind<LookupFn>(s_module, "QuorProbe_LoadResString");
        s_findModule = Bind<FindModuleFn>(s_module, "QuorProbe_FindResourceModule");
    }
    static void TearDownTestSuite() {
        FreeLibrary(s_module);
        s_module = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(s_lookup, nullptr);
        ASSERT_NE(s_findModule, nullptr);
    }
    static const char* LoadResString(unsigned id) { return s_lookup(id); }

    static inline HMODULE s_module = nullptr;
    static inline LookupFn s_lookup = nullptr;
    static inline FindModuleFn s_findModule = nullptr;
};

uint16_t ExpectedLanguage() {
    const char* text = std::getenv("QUOR_EXPECT_LANG");
    return text != nullptr ? uint16_t(std::strtoul(text, nullptr, 0)) : kLangEnglish;
}

// ---- dialog templates as stored (DLGTEMPLATE, items DWORD-aligned)

struct Item {
    DWORD style = 0;
    int id = 0;
    RECT box{};  // left, top, right, bottom in dialog units
    std::string className;
    std::string text;  // UTF-8
};

struct Dialog {
    DWORD style = 0;
    DWORD exStyle = 0;
    int cx = 0;
    int cy = 0;
    std::string caption;
    int pointSize = 0;
    std::string font;
    std::vector<Item> items;
};

std::string Utf8(const WCHAR* text, size_t length) {
    if (length == 0) {
        return {};
    }
    int n = WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, int(length), out.data(), n, nullptr, nullptr);
    return out;
}

class Reader {
  public:
    Reader(const BYTE* data, size_t size) : m_data(data), m_size(size) {}
    bool Ok() const { return m_ok; }
    WORD Word() {
        if (m_pos + 2 > m_size) {
            m_ok = false;
            return 0;
        }
        WORD w;
        std::memcpy(&w, m_data + m_pos, 2);
        m_pos += 2;
        return w;
    }
    DWORD Dword() {
        DWORD low = Word();
        return low | (DWORD(Word()) << 16);
    }
    std::string String() {
        std::wstring text;
        for (WORD c = Word(); m_ok && c != 0; c = Word()) {
            text += WCHAR(c);
        }
        return Utf8(text.data(), text.size());
    }
    // A name or an ordinal (0xFFFF then the number, written as "#n").
    std::string NameOrOrdinal() {
        WORD first = Word();
        if (first == 0xFFFF) {
            return "#" + std::to_string(Word());
        }
        if (first == 0) {
            return {};
        }
        m_pos -= 2;
        return String();
    }
    void AlignDword() { m_pos = (m_pos + 3) & ~size_t(3); }

  private:
    const BYTE* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

std::string ClassOfAtom(const std::string& name) {
    static const char* const kAtoms[] = {"Button",  "Edit",      "Static",
                                         "ListBox", "ScrollBar", "ComboBox"};
    if (name.size() > 1 && name[0] == '#') {
        int atom = std::atoi(name.c_str() + 1);
        if (atom >= 0x80 && atom <= 0x85) {
            return kAtoms[atom - 0x80];
        }
    }
    return name;
}

bool ParseDialog(const void* data, size_t size, Dialog& dialog) {
    Reader r(static_cast<const BYTE*>(data), size);
    dialog.style = r.Dword();
    dialog.exStyle = r.Dword();
    int count = r.Word();
    r.Word();  // x
    r.Word();  // y
    dialog.cx = short(r.Word());
    dialog.cy = short(r.Word());
    r.NameOrOrdinal();  // menu
    r.NameOrOrdinal();  // class
    dialog.caption = r.String();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = r.Word();
        dialog.font = r.String();
    }
    for (int i = 0; i < count && r.Ok(); ++i) {
        r.AlignDword();
        Item item;
        item.style = r.Dword();
        r.Dword();  // extended style
        int x = short(r.Word());
        int y = short(r.Word());
        int cx = short(r.Word());
        int cy = short(r.Word());
        item.box = RECT{x, y, x + cx, y + cy};
        item.id = short(r.Word());
        item.className = ClassOfAtom(r.NameOrOrdinal());
        item.text = r.NameOrOrdinal();
        WORD extra = r.Word();
        for (WORD b = 0; b < extra; b += 2) {
            r.Word();
        }
        dialog.items.push_back(item);
    }
    return r.Ok() && int(dialog.items.size()) == count;
}

bool SameClass(const std::string& a, const char* b) {
    return lstrcmpiA(a.c_str(), b) == 0;
}

// ---- what each language's templates hold

struct SearchTexts {
    uint16_t language;
    const char* caption;
    const char* depth;
    const char* sameServer;
    const char* readId3;
    const char* listLabel;
    const char* search;
    const char* all;
    const char* none;
    const char* ok;
    const char* cancel;
    const char* instruction;
};

const SearchTexts kSearchTexts[] = {
    {kLangEnglish, "Internet search", "Maximum search depth",
     "Follow only references on the same server",
     "Read ID3-Tag ( title + artist) of found MP3 files", "Audio files found", "&Search", "&All",
     "&None", "Ok", "Cancel",
     "Please enter an URL and click <search> to find referenced sound files. Then select the "
     "files you want to add to your project and press <ok>"},
    {kLangGerman, "Internet-Suche", "Maximale Suchtiefe",
     "Nur Referenzen auf den selben Server verfolgen",
     "ID3-Tag ( Titel + Interpret) von gefundenen MP3-Dateien lesen", "Gefundene Audio-Dateien",
     "&Suchen", "&Alle", "&Keine", "Ok", "Abbrechen",
     "Geben Sie eine URL ein und drücken <Suchen> um referenzierte Sound-Dateien zu finden. "
     "Dann markieren Sie die, die Sie in das Projekt übernehmen wollen und drücken <ok>"},
    {kLangFrench, "Recherche sur Internet", "Profondeur maximale de recherche",
     "Ne suivre que les références sur le même serveur",
     "Lire l'ID3-Tag ( titre + interprète) des fichiers MP3 trouvés", "Fichiers son trouvés",
     "&Recherche", "&Tous", "&Aucun", "Ok", "Annuler",
     "Veuillez entrer une adresse URL et cliquez sur <recherche> pour trouver les fichiers son "
     "référencés. Puis sélectionnez les fichiers que vous voulez ajouter à votre projet et "
     "appuyez sur <ok>"},
    {kLangItalian, "Ricerca su Internet", "Max. profondità di ricerca",
     "Cerca solo i riferimenti sullo stesso server",
     "Leggi i tag ID3 (titolo + interprete) dei file MP3 trovati", "File audio trovati", "&Cerca",
     "&Tutti", "&Nessuno", "OK", "Annulla",
     "Inserire un URL e fare clic su <Cerca> per trovare i file audio di riferimento. Quindi "
     "selezionare i file da inserire nel progetto e premere su <OK>"},
    {kLangSpanishMexico, "Buscar en Internet", "Profundidad máxima de búsqueda",
     "Seguir solamente referencias en el mismo servidor",
     "Leer tag ID3 ( título + intérprete) de los archivos MP3 encontrados",
     "Archivos de audio encontrados", "&Buscar", "&Todos", "&Ninguno", "Aceptar", "Cancelar",
     "Indique una URL y haga clic en <Buscar> para encontrar archivos de sonido referidos. "
     "Después seleccione los archivos que desea añadir a su proyecto y pulse <Aceptar>"},
};

template <typename T>
const T* TextsFor(const T (&table)[5], uint16_t language) {
    for (const T& t : table) {
        if (t.language == language) {
            return &t;
        }
    }
    return nullptr;
}

struct ExpectedItem {
    const char* className;
    int id;
    const char* text;  // null: any text
    DWORD styleSet;    // bits that must be set
    DWORD styleClear;  // bits that must be clear
    DWORD typeMask;    // with typeValue: a value in the style's low bits
    DWORD typeValue;
};

void ExpectItems(const Dialog& dialog, const std::vector<ExpectedItem>& expected) {
    ASSERT_EQ(dialog.items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Item& item = dialog.items[i];
        const ExpectedItem& e = expected[i];
        SCOPED_TRACE(testing::Message() << "control " << i << " id " << e.id);
        EXPECT_EQ(item.id, e.id);
        EXPECT_TRUE(SameClass(item.className, e.className)) << item.className;
        if (e.text != nullptr) {
            EXPECT_EQ(item.text, e.text);
        }
        EXPECT_EQ(item.style & (WS_CHILD | WS_VISIBLE), DWORD(WS_CHILD | WS_VISIBLE));
        EXPECT_EQ(item.style & e.styleSet, e.styleSet) << std::hex << item.style;
        EXPECT_EQ(item.style & e.styleClear, 0u) << std::hex << item.style;
        EXPECT_EQ(item.style & e.typeMask, e.typeValue) << std::hex << item.style;
    }
}

void ExpectBoxes(const Dialog& dialog, const std::vector<RECT>& boxes) {
    ASSERT_EQ(dialog.items.size(), boxes.size());
    for (size_t i = 0; i < boxes.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "control " << i << " id " << dialog.items[i].id);
        const RECT& a = dialog.items[i].box;
        const RECT& b = boxes[i];
        EXPECT_TRUE(a.left == b.left && a.top == b.top && a.right == b.right &&
                    a.bottom == b.bottom)
            << a.left << "," << a.top << "," << a.right - a.left << "," << a.bottom - a.top;
    }
}

// Every control inside the dialog, and no two on top of each other.
void ExpectTidyLayout(const Dialog& dialog) {
    for (size_t i = 0; i < dialog.items.size(); ++i) {
        const RECT& a = dialog.items[i].box;
        SCOPED_TRACE(testing::Message() << "control " << i << " id " << dialog.items[i].id);
        EXPECT_TRUE(a.left >= 0 && a.top >= 0 && a.right <= dialog.cx && a.bottom <= dialog.cy);
        for (size_t j = i + 1; j < dialog.items.size(); ++j) {
            RECT overlap;
            EXPECT_FALSE(IntersectRect(&overlap, &a, &dialog.items[j].box))
                << "overlaps control " << j << " id " << dialog.items[j].id;
        }
    }
}

RECT Box(int x, int y, int cx, int cy) {
    return RECT{x, y, x + cx, y + cy};
}

constexpr DWORD kTypeMaskButton = 0x0F;

// The template the platform picks for this thread, checked against the one of the expected
// language.
bool LoadTemplate(HMODULE module, unsigned id, uint16_t language, Dialog& dialog) {
    HRSRC picked = FindResourceA(module, MAKEINTRESOURCEA(id), RT_DIALOG);
    HRSRC exact = FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(id), language);
    EXPECT_NE(exact, nullptr) << "no block of that language";
    EXPECT_EQ(picked, exact) << "the platform picks another language's block";
    if (picked == nullptr) {
        return false;
    }
    HGLOBAL loaded = LoadResource(module, picked);
    const void* data = LockResource(loaded);
    return data != nullptr && ParseDialog(data, SizeofResource(module, picked), dialog);
}

TEST_F(Probe, LanguageIsTheOneAskedFor) {
    EXPECT_EQ(GetUserDefaultUILanguage(), ExpectedLanguage()) << "LC_ALL=" << getenv("LC_ALL");
}

TEST_F(Probe, LanguageStringsAreThePortableTablesBytes) {
    const uint16_t language = ExpectedLanguage();
    for (unsigned id = kFirstStringId; id <= kLastStringId; ++id) {
        SCOPED_TRACE(testing::Message() << "id " << id);
        const char* text = LoadResString(id);
        const char* table = StringTableText(language, id);
        ASSERT_NE(text, nullptr);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(std::string(text), std::string(table));
    }
}

TEST_F(Probe, LanguageTemplatesAreFoundThroughTheChain) {
    for (unsigned id : {IDD_INTERNET_SEARCH, IDD_DOWNLOAD_PROGRESS}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(s_findModule(id, unsigned(uintptr_t(RT_DIALOG))), s_module);
    }
}

TEST_F(Probe, LanguageSearchDialog) {
    const uint16_t language = ExpectedLanguage();
    const SearchTexts* t = TextsFor(kSearchTexts, language);
    ASSERT_NE(t, nullptr);
    Dialog d;
    ASSERT_TRUE(LoadTemplate(s_module, IDD_INTERNET_SEARCH, language, d));

    const DWORD style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    EXPECT_EQ(d.style & style, style) << std::hex << d.style;
    EXPECT_EQ(d.exStyle & WS_EX_APPWINDOW, DWORD(WS_EX_APPWINDOW));
    EXPECT_EQ(d.cx, 249);
    EXPECT_EQ(d.cy, 265);
    EXPECT_EQ(d.caption, t->caption);
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(d.font, "MS Sans Serif");

    const DWORD text = SS_TYPEMASK;
    const DWORD listStyle =
        LBS_NOTIFY | LBS_MULTIPLESEL | LBS_NOINTEGRALHEIGHT | WS_BORDER | WS_VSCROLL;
    const DWORD check = BS_AUTOCHECKBOX;
    ExpectItems(
        d, {
               {"Static", IDC_STATIC, "URL", 0, 0, text, SS_LEFT},
               {"Edit", IDC_URL, "", ES_AUTOHSCROLL | WS_BORDER, 0, 0, 0},
               {"Static", IDC_STATIC, t->depth, 0, 0, text, SS_LEFT},
               {"msctls_trackbar32", IDC_DEPTH_SLIDER, "Slider1", TBS_AUTOTICKS | TBS_TOP, TBS_VERT,
                0, 0},
               {"Static", IDC_DEPTH_VALUE, "0", SS_SUNKEN, 0, text, SS_CENTER},
               {"Button", IDC_SAME_SERVER, t->sameServer, BS_MULTILINE, 0, kTypeMaskButton, check},
               {"Button", IDC_READ_ID3, t->readId3, BS_MULTILINE, 0, kTypeMaskButton, check},
               {"Static", IDC_STATIC, t->listLabel, 0, 0, text, SS_LEFT},
               {"ListBox", IDC_FOUND_LIST, "", listStyle, LBS_SORT | LBS_EXTENDEDSEL, 0, 0},
               {"Button", IDC_SEARCH, t->search, 0, 0, kTypeMaskButton, BS_DEFPUSHBUTTON},
               {"Button", IDC_ALL, t->all, 0, 0, kTypeMaskButton, BS_PUSHBUTTON},
               {"Button", IDC_NONE, t->none, 0, 0, kTypeMaskButton, BS_PUSHBUTTON},
               {"Static", IDC_STATUS, "Static", 0, 0, text, SS_LEFT},
               {"msctls_progress32", IDC_SEARCH_PROGRESS, "Progress1", WS_BORDER, 0, 0, 0},
               {"Button", IDOK, t->ok, 0, 0, kTypeMaskButton, BS_PUSHBUTTON},
               {"Button", IDCANCEL, t->cancel, 0, 0, kTypeMaskButton, BS_PUSHBUTTON},
               {"Static", IDC_STATIC, t->instruction, 0, 0, text, SS_LEFT},
           });
    ExpectTidyLayout(d);
    if (language == kLangEnglish) {
        ExpectBoxes(
            d, {Box(7, 28, 16, 8), Box(7, 38, 235, 14), Box(7, 65, 74, 8), Box(86, 56, 57, 19),
                Box(148, 63, 19, 10), Box(7, 81, 148, 10), Box(7, 94, 161, 10), Box(7, 112, 53, 8),
                Box(7, 122, 180, 83), Box(192, 122, 50, 14), Box(192, 174, 50, 14),
                Box(192, 191, 50, 14), Box(7, 208, 235, 16), Box(7, 227, 235, 11),
                Box(66, 244, 50, 14), Box(132, 244, 50, 14), Box(7, 7, 235, 16)});
    } else {
        // The instruction takes up to three lines; what lies below it moves down at most 7.
        const RECT& instruction = d.items.back().box;
        EXPECT_LE(instruction.bottom - instruction.top, 27);
        const int englishTops[] = {28, 38, 65, 56, 63, 81, 94, 112, 122};
        for (size_t i = 0; i < std::size(englishTops); ++i) {
            SCOPED_TRACE(testing::Message() << "control " << i);
            EXPECT_GE(d.items[i].box.top, englishTops[i]);
            EXPECT_LE(d.items[i].box.top, englishTops[i] + 7);
        }
    }
}

TEST_F(Probe, LanguageProgressWindow) {
    const uint16_t language = ExpectedLanguage();
    const quor::test::ProgressWindowTexts* t = quor::test::ProgressWindowTextsFor(language);
    ASSERT_NE(t, nullptr);
    Dialog d;
    ASSERT_TRUE(LoadTemplate(s_module, IDD_DOWNLOAD_PROGRESS, language, d));

    const DWORD style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_VISIBLE;
    EXPECT_EQ(d.style & style, style) << std::hex << d.style;
    EXPECT_EQ(d.style & WS_SYSMENU, 0u) << "no system menu";
    EXPECT_EQ(d.cx, 279);
    EXPECT_EQ(d.cy, 125);
    EXPECT_EQ(d.caption, t->caption);
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(d.font, "MS Sans Serif");

    const DWORD m = SS_TYPEMASK;
    ExpectItems(d, {
                       {"Static", IDC_STATIC, t->from, 0, 0, m, SS_CENTER},
                       {"Static", IDC_SOURCE_URL, nullptr, 0, 0, m, SS_CENTER},
                       {"Static", IDC_STATIC, t->to, 0, 0, m, SS_CENTER},
                       {"Static", IDC_DESTINATION, nullptr, 0, 0, m, SS_CENTER},
                       {"Static", IDC_STATIC, t->remaining, 0, 0, m, SS_RIGHT},
                       {"Static", IDC_REMAINING, "?", 0, 0, m, SS_LEFT},
                       {"Static", IDC_STATIC, t->speed, 0, 0, m, SS_RIGHT},
                       {"Static", IDC_SPEED, "?", 0, 0, m, SS_LEFT},
                       {"Static", IDC_STATIC, t->progress, 0, 0, m, SS_RIGHT},
                       {"Static", IDC_PERCENT, "0%", 0, 0, m, SS_LEFT},
                       {"msctls_progress32", IDC_DOWNLOAD_PROGRESS, "", WS_BORDER, 0, 0, 0},
                       {"Button", IDCANCEL, t->button, 0, 0, kTypeMaskButton, BS_PUSHBUTTON},
                   });
    const bool german = language == kLangGerman;
    ExpectBoxes(d, {Box(6, 6, 268, 8), Box(6, 16, 268, 8), Box(6, 26, 268, 8), Box(6, 36, 268, 8),
                    german ? Box(12, 51, 98, 8) : Box(30, 51, 80, 8), Box(113, 51, 161, 8),
                    german ? Box(12, 61, 98, 8) : Box(64, 61, 46, 8), Box(113, 61, 161, 8),
                    german ? Box(12, 71, 98, 8) : Box(64, 71, 46, 8), Box(113, 71, 161, 8),
                    Box(6, 86, 268, 11), Box(115, 105, 49, 14)});
    ExpectTidyLayout(d);
}

// The entries that run without a language filter.

TEST_F(Probe, NoTextForZeroAndIdsNobodyDefines) {
    EXPECT_EQ(LoadResString(0), nullptr);
    EXPECT_EQ(LoadResString(5), nullptr);
    EXPECT_EQ(LoadResString(IDD_INTERNET_SEARCH), nullptr);
}

TEST_F(Probe, OneBufferForEveryLookup) {
    const char* first = LoadResString(IDS_STOP);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "&Stop");
    const char* second = LoadResString(IDS_SEARCH);
    EXPECT_EQ(second, first);
    EXPECT_STREQ(first, "&Search");
}

// The host program is searched first; its longer text is cut at the 256-byte buffer.
TEST_F(Probe, HostTextIsCutToTheBuffer) {
    const char* text = LoadResString(77);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::strlen(text), 255u);
    EXPECT_EQ(std::string(text, 5), "host:");
    EXPECT_EQ(text[254], '9');
}

}  // namespace

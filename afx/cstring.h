#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>  // defines the C runtime's printf archetype on mingw

// printf-style checking; mingw's own archetype matches the C runtime it links against.
#if defined(__MINGW_PRINTF_FORMAT)
#define AFX_PRINTF_FORMAT(fmt, first) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, first)))
#elif defined(__GNUC__)
#define AFX_PRINTF_FORMAT(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define AFX_PRINTF_FORMAT(fmt, first)
#endif

// <windows.h> renames LoadString to LoadStringA in files that include it; the member keeps
// its own name here and answers to the other one too.
#pragma push_macro("LoadString")
#undef LoadString

// 8-bit text with the class library's method names. The object is one pointer to the
// characters (length and capacity sit in a header just before them), so it has the layout
// of the original: hosts share structures that embed it. Memory comes from malloc/free,
// which host and library share. The empty string holds no pointer at all, so a string made
// in one module may be destroyed in another, even after the first is unloaded.
// Out of memory throws `new CMemoryException`.
//
// Positions count from 0 and -1 means "not found". Substrings clamp: a negative start is 0,
// a negative count gives the empty string and a count past the end gives the rest.
class CString {
  public:
    CString() noexcept;
    CString(const char* text);  // null is the empty string
    CString(const char* text, int length);
    CString(char ch, int repeat = 1);
    CString(const CString& other);
    CString(CString&& other) noexcept;
    ~CString();

    CString& operator=(const CString& other);
    CString& operator=(CString&& other) noexcept;
    CString& operator=(const char* text);
    CString& operator=(char ch);

    int GetLength() const noexcept;
    bool IsEmpty() const noexcept { return GetLength() == 0; }
    void Empty() noexcept;

    // Out-of-range positions read as '\0' and SetAt ignores them.
    char GetAt(int index) const noexcept;
    char operator[](int index) const noexcept { return GetAt(index); }
    void SetAt(int index, char ch) noexcept;
    operator const char*() const noexcept { return Chars(); }  // never null

    int Find(char ch) const noexcept { return Find(ch, 0); }
    int Find(char ch, int start) const noexcept;
    int Find(const char* sub) const noexcept { return Find(sub, 0); }
    int Find(const char* sub, int start) const noexcept;
    int ReverseFind(char ch) const noexcept;
    int FindOneOf(const char* charSet) const noexcept;

    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;
    CString SpanIncluding(const char* charSet) const;
    CString SpanExcluding(const char* charSet) const;

    void MakeUpper() noexcept;  // ASCII letters only
    void MakeLower() noexcept;
    void MakeReverse() noexcept;

    int Compare(const char* other) const noexcept;
    int CompareNoCase(const char* other) const noexcept;  // ASCII case folding

    // White space is space, tab, line feed, vertical tab, form feed and carriage return.
    void TrimRight() noexcept;
    void TrimRight(char target) noexcept;
    void TrimRight(const char* targets) noexcept;
    void TrimLeft() noexcept;
    void TrimLeft(char target) noexcept;
    void TrimLeft(const char* targets) noexcept;

    void Format(const char* format, ...) AFX_PRINTF_FORMAT(2, 3);
    void Format(unsigned formatId, ...);  // the format string comes from LoadString
    void FormatV(const char* format, va_list args);

    // Looks the id up through the resource search chain; non-zero when found. On failure the
    // text is left unchanged.
    int LoadString(unsigned id);
    int LoadStringA(unsigned id) { return LoadString(id); }

    CString& operator+=(const CString& other);
    CString& operator+=(const char* text);
    CString& operator+=(char ch);

    // GetBuffer gives at least minLength+1 writable bytes holding the current text;
    // ReleaseBuffer(-1) takes the length up to the first zero byte, never past the buffer.
    char* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1) noexcept;
    char* GetBufferSetLength(int newLength);
    void FreeExtra();

    int Replace(char oldCh, char newCh) noexcept;  // returns the number replaced
    int Replace(const char* oldText, const char* newText);
    int Remove(char ch) noexcept;    // returns the number removed
    int Insert(int index, char ch);  // returns the new length
    int Insert(int index, const char* text);
    int Delete(int index, int count = 1) noexcept;  // returns the new length

  private:
    struct Data;
    Data* GetData() const noexcept;
    const char* Chars() const noexcept { return m_pchData != nullptr ? m_pchData : ""; }
    void AssignCopy(const char* text, int length);
    void AppendCopy(const char* text, int length);
    void Release() noexcept;
    void SetLength(int length) noexcept;
    void Reserve(int capacity, bool exact);

    char* m_pchData;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, const char* b);
CString operator+(const char* a, const CString& b);
CString operator+(const CString& a, char b);
CString operator+(char a, const CString& b);

bool operator==(const CString& a, const CString& b) noexcept;
bool operator==(const CString& a, const char* b) noexcept;
bool operator==(const char* a, const CString& b) noexcept;
bool operator!=(const CString& a, const CString& b) noexcept;
bool operator!=(const CString& a, const char* b) noexcept;
bool operator!=(const char* a, const CString& b) noexcept;
bool operator<(const CString& a, const CString& b) noexcept;
bool operator<(const CString& a, const char* b) noexcept;
bool operator<(const char* a, const CString& b) noexcept;
bool operator>(const CString& a, const CString& b) noexcept;
bool operator<=(const CString& a, const CString& b) noexcept;
bool operator>=(const CString& a, const CString& b) noexcept;

#pragma pop_macro("LoadString")

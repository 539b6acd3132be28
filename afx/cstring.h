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

    int GetLength() const noexcept;
    bool IsEmpty() const noexcept { return GetLength() == 0; }
    void Empty() noexcept;

    // Positions out of range are ignored.
    void SetAt(int index, char ch) noexcept;
    operator const char*() const noexcept { return Chars(); }  // never null

    int Find(char ch) const noexcept { return Find(ch, 0); }
    int Find(char ch, int start) const noexcept;
    int ReverseFind(char ch) const noexcept;

    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;

    void MakeLower() noexcept;  // ASCII letters only

    int Compare(const char* other) const noexcept;
    int CompareNoCase(const char* other) const noexcept;  // ASCII case folding

    // White space is space, tab, line feed, vertical tab, form feed and carriage return.
    void TrimRight() noexcept;

    void Format(const char* format, ...) AFX_PRINTF_FORMAT(2, 3);
    void FormatV(const char* format, va_list args);

    // Looks the id up through the resource search chain; non-zero when found. On failure the
    // text is left unchanged.
    int LoadString(unsigned id);
    int LoadStringA(unsigned id) { return LoadString(id); }

    CString& operator+=(const CString& other);
    CString& operator+=(const char* text);

    // GetBuffer gives at least minLength+1 writable bytes holding the current text;
    // ReleaseBuffer(-1) takes the length up to the first zero byte, never past the buffer.
    char* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1) noexcept;

    int Replace(char oldCh, char newCh) noexcept;  // returns the number replaced

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

CString operator+(const CString& a, const char* b);

bool operator==(const CString& a, const CString& b) noexcept;
bool operator==(const CString& a, const char* b) noexcept;
bool operator==(const char* a, const CString& b) noexcept;
bool operator!=(const CString& a, const CString& b) noexcept;
bool operator!=(const CString& a, const char* b) noexcept;
bool operator!=(const char* a, const CString& b) noexcept;

#pragma pop_macro("LoadString")

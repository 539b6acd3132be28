#include "afx/cstring.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "afx/exceptions.h"
#include "afx/resources.h"
#include "afx/test_hooks.h"

struct CString::Data {
    int nDataLength;
    int nAllocLength;  // bytes for characters, not counting the terminating zero
    char* chars() noexcept { return reinterpret_cast<char*>(this + 1); }
};

namespace {

std::atomic<int> g_failCountdown{0};

bool ShouldFailAllocation() noexcept {
    int n = g_failCountdown.load(std::memory_order_relaxed);
    while (n > 0) {
        if (g_failCountdown.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) {
            return n == 1;
        }
    }
    return false;
}

constexpr int kMaxLength = INT_MAX - 64;

bool IsWhite(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char AsciiLower(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
char AsciiUpper(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

int SafeLength(const char* text) noexcept {
    if (text == nullptr) {
        return 0;
    }
    size_t n = strlen(text);
    return n > size_t(kMaxLength) ? kMaxLength : int(n);
}

int Sign(int v) noexcept {
    return (v > 0) - (v < 0);
}

}  // namespace

void AfxTestFailAllocation(int n) noexcept {
    g_failCountdown.store(n > 0 ? n : 0, std::memory_order_relaxed);
}

int AfxTestAllocationCountdown() noexcept {
    return g_failCountdown.load();
}

// ---- storage

CString::Data* CString::GetData() const noexcept {
    return reinterpret_cast<Data*>(m_pchData) - 1;
}

CString::CString() noexcept : m_pchData(nullptr) {}

CString::CString(const char* text) : m_pchData(nullptr) {
    AssignCopy(text, SafeLength(text));
}

CString::CString(const char* text, int length) : m_pchData(nullptr) {
    if (text == nullptr || length < 0) {
        length = 0;
    }
    AssignCopy(text, length);
}

CString::CString(char ch, int repeat) : m_pchData(nullptr) {
    if (repeat > 0) {
        Reserve(repeat, true);
        memset(m_pchData, ch, size_t(repeat));
        SetLength(repeat);
    }
}

CString::CString(const CString& other) : m_pchData(nullptr) {
    AssignCopy(other.m_pchData, other.GetLength());
}

CString::CString(CString&& other) noexcept : m_pchData(std::exchange(other.m_pchData, nullptr)) {}

CString::~CString() {
    Release();
}

void CString::Release() noexcept {
    if (m_pchData != nullptr) {
        free(GetData());
        m_pchData = nullptr;
    }
}

// Makes room for capacity characters, keeping the text. Growth is geometric unless exact.
void CString::Reserve(int capacity, bool exact) {
    if (capacity < 0 || capacity > kMaxLength) {
        AfxThrowMemoryException();
    }
    if (m_pchData != nullptr && GetData()->nAllocLength >= capacity) {
        return;
    }
    int alloc = capacity;
    int length = GetLength();
    if (!exact && m_pchData != nullptr) {
        int doubled =
            GetData()->nAllocLength > kMaxLength / 2 ? kMaxLength : GetData()->nAllocLength * 2;
        alloc = std::max(capacity, doubled);
    }
    if (ShouldFailAllocation()) {
        AfxThrowMemoryException();
    }
    auto* data = static_cast<Data*>(malloc(sizeof(Data) + size_t(alloc) + 1));
    if (data == nullptr) {
        AfxThrowMemoryException();
    }
    data->nAllocLength = alloc;
    data->nDataLength = length;
    memcpy(data->chars(), Chars(), size_t(length) + 1);
    Release();
    m_pchData = data->chars();
}

void CString::SetLength(int length) noexcept {
    if (m_pchData == nullptr) {
        return;
    }
    GetData()->nDataLength = length;
    m_pchData[length] = '\0';
}

void CString::AssignCopy(const char* text, int length) {
    if (length <= 0) {
        Empty();
        return;
    }
    if (m_pchData != nullptr && GetData()->nAllocLength >= length) {
        memmove(m_pchData, text, size_t(length));
        SetLength(length);
        return;
    }
    // Build the copy first: text may point into this string, and a failure leaves it intact.
    CString copy;
    copy.Reserve(length, true);
    memcpy(copy.m_pchData, text, size_t(length));
    copy.SetLength(length);
    *this = std::move(copy);
}

void CString::AppendCopy(const char* text, int length) {
    if (length <= 0) {
        return;
    }
    int old = GetLength();
    if (length > kMaxLength - old) {
        AfxThrowMemoryException();
    }
    if (m_pchData != nullptr && GetData()->nAllocLength >= old + length) {
        memmove(m_pchData + old, text, size_t(length));
        SetLength(old + length);
        return;
    }
    CString grown;
    grown.Reserve(old + length, false);
    memcpy(grown.m_pchData, Chars(), size_t(old));
    memcpy(grown.m_pchData + old, text, size_t(length));
    grown.SetLength(old + length);
    *this = std::move(grown);
}

CString& CString::operator=(const CString& other) {
    if (this != &other) {
        AssignCopy(other.m_pchData, other.GetLength());
    }
    return *this;
}

CString& CString::operator=(CString&& other) noexcept {
    if (this != &other) {
        Release();
        m_pchData = std::exchange(other.m_pchData, nullptr);
    }
    return *this;
}

CString& CString::operator=(const char* text) {
    AssignCopy(text, SafeLength(text));
    return *this;
}

CString& CString::operator=(char ch) {
    AssignCopy(&ch, 1);
    return *this;
}

int CString::GetLength() const noexcept {
    return m_pchData != nullptr ? GetData()->nDataLength : 0;
}

void CString::Empty() noexcept {
    Release();
}

char CString::GetAt(int index) const noexcept {
    return (index >= 0 && index < GetLength()) ? m_pchData[index] : '\0';
}

void CString::SetAt(int index, char ch) noexcept {
    if (index >= 0 && index < GetLength()) {
        m_pchData[index] = ch;
    }
}

// ---- searching

int CString::Find(char ch, int start) const noexcept {
    int length = GetLength();
    if (start < 0) {
        start = 0;
    }
    if (ch == '\0' || start >= length) {
        return -1;
    }
    const void* hit = memchr(m_pchData + start, ch, size_t(length - start));
    return hit ? int(static_cast<const char*>(hit) - m_pchData) : -1;
}

int CString::Find(const char* sub, int start) const noexcept {
    int length = GetLength();
    if (start < 0) {
        start = 0;
    }
    if (sub == nullptr || start > length) {
        return -1;
    }
    const char* chars = Chars();
    const char* hit = strstr(chars + start, sub);
    return hit ? int(hit - chars) : -1;
}

int CString::ReverseFind(char ch) const noexcept {
    if (ch == '\0') {
        return -1;
    }
    for (int i = GetLength() - 1; i >= 0; --i) {
        if (m_pchData[i] == ch) {
            return i;
        }
    }
    return -1;
}

int CString::FindOneOf(const char* charSet) const noexcept {
    if (charSet == nullptr || *charSet == '\0') {
        return -1;
    }
    const char* chars = Chars();
    size_t n = strcspn(chars, charSet);
    return chars[n] != '\0' ? int(n) : -1;
}

// ---- substrings

CString CString::Mid(int first, int count) const {
    int length = GetLength();
    if (first < 0) {
        first = 0;
    }
    if (count < 0 || first >= length) {
        return CString();
    }
    if (count > length - first) {
        count = length - first;
    }
    return CString(m_pchData + first, count);
}

CString CString::Mid(int first) const {
    return Mid(first, INT_MAX);
}

CString CString::Left(int count) const {
    return Mid(0, count);
}

CString CString::Right(int count) const {
    int length = GetLength();
    if (count < 0) {
        return CString();
    }
    if (count > length) {
        count = length;
    }
    return count == 0 ? CString() : CString(m_pchData + length - count, count);
}

CString CString::SpanIncluding(const char* charSet) const {
    return Left(charSet ? int(strspn(Chars(), charSet)) : 0);
}

CString CString::SpanExcluding(const char* charSet) const {
    return Left(charSet ? int(strcspn(Chars(), charSet)) : GetLength());
}

// ---- in-place changes

void CString::MakeUpper() noexcept {
    for (int i = 0, n = GetLength(); i < n; ++i) {
        m_pchData[i] = AsciiUpper(m_pchData[i]);
    }
}

void CString::MakeLower() noexcept {
    for (int i = 0, n = GetLength(); i < n; ++i) {
        m_pchData[i] = AsciiLower(m_pchData[i]);
    }
}

void CString::MakeReverse() noexcept {
    if (m_pchData != nullptr) {
        std::reverse(m_pchData, m_pchData + GetLength());
    }
}

int CString::Compare(const char* other) const noexcept {
    return Sign(strcmp(Chars(), other ? other : ""));
}

int CString::CompareNoCase(const char* other) const noexcept {
    const unsigned char* a = reinterpret_cast<const unsigned char*>(Chars());
    const unsigned char* b = reinterpret_cast<const unsigned char*>(other ? other : "");
    for (;; ++a, ++b) {
        int ca = static_cast<unsigned char>(AsciiLower(char(*a)));
        int cb = static_cast<unsigned char>(AsciiLower(char(*b)));
        if (ca != cb || ca == 0) {
            return Sign(ca - cb);
        }
    }
}

void CString::TrimRight() noexcept {
    int n = GetLength();
    while (n > 0 && IsWhite(m_pchData[n - 1])) {
        --n;
    }
    SetLength(n);
}

void CString::TrimRight(char target) noexcept {
    int n = GetLength();
    while (n > 0 && m_pchData[n - 1] == target) {
        --n;
    }
    SetLength(n);
}

void CString::TrimRight(const char* targets) noexcept {
    if (targets == nullptr) {
        return;
    }
    int n = GetLength();
    while (n > 0 && m_pchData[n - 1] != '\0' && strchr(targets, m_pchData[n - 1]) != nullptr) {
        --n;
    }
    SetLength(n);
}

void CString::TrimLeft() noexcept {
    int n = GetLength(), i = 0;
    while (i < n && IsWhite(m_pchData[i])) {
        ++i;
    }
    Delete(0, i);
}

void CString::TrimLeft(char target) noexcept {
    int n = GetLength(), i = 0;
    while (i < n && m_pchData[i] == target) {
        ++i;
    }
    Delete(0, i);
}

void CString::TrimLeft(const char* targets) noexcept {
    if (targets == nullptr) {
        return;
    }
    int n = GetLength(), i = 0;
    while (i < n && m_pchData[i] != '\0' && strchr(targets, m_pchData[i]) != nullptr) {
        ++i;
    }
    Delete(0, i);
}

// ---- formatting

void CString::FormatV(const char* format, va_list args) {
    if (format == nullptr) {
        Empty();
        return;
    }
    char small[256];
    va_list probe;
    va_copy(probe, args);
    int needed = vsnprintf(small, sizeof small, format, probe);
    va_end(probe);
    if (needed < 0) {
        // An encoding error: there is no text to keep.
        Empty();
        return;
    }
    if (size_t(needed) < sizeof small) {
        AssignCopy(small, needed);
        return;
    }
    CString out;
    out.Reserve(needed, true);
    va_list again;
    va_copy(again, args);
    int written = vsnprintf(out.m_pchData, size_t(needed) + 1, format, again);
    va_end(again);
    out.SetLength(std::clamp(written, 0, needed));
    *this = std::move(out);
}

void CString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    try {
        FormatV(format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

void CString::Format(unsigned formatId, ...) {
    CString format;
    if (!format.LoadString(formatId)) {
        Empty();
        return;
    }
    va_list args;
    va_start(args, formatId);
    try {
        FormatV(format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

int CString::LoadString(unsigned id) {
    CString text;
    if (!AfxLookupString(id, text)) {
        return 0;
    }
    *this = std::move(text);
    return 1;
}

// ---- concatenation

CString& CString::operator+=(const CString& other) {
    AppendCopy(other.m_pchData, other.GetLength());
    return *this;
}

CString& CString::operator+=(const char* text) {
    AppendCopy(text, SafeLength(text));
    return *this;
}

CString& CString::operator+=(char ch) {
    AppendCopy(&ch, 1);
    return *this;
}

CString operator+(const CString& a, const CString& b) {
    CString r(a);
    r += b;
    return r;
}
CString operator+(const CString& a, const char* b) {
    CString r(a);
    r += b;
    return r;
}
CString operator+(const char* a, const CString& b) {
    CString r(a);
    r += b;
    return r;
}
CString operator+(const CString& a, char b) {
    CString r(a);
    r += b;
    return r;
}
CString operator+(char a, const CString& b) {
    CString r(a);
    r += b;
    return r;
}

// ---- direct buffer access

char* CString::GetBuffer(int minLength) {
    if (minLength < 0) {
        minLength = 0;
    }
    // Always hand out a private block, even for 0: the caller may write its terminator.
    if (m_pchData == nullptr || GetData()->nAllocLength < minLength) {
        Reserve(std::max(minLength, GetLength()), true);
    }
    return m_pchData;
}

void CString::ReleaseBuffer(int newLength) noexcept {
    if (m_pchData == nullptr) {
        return;
    }
    int alloc = GetData()->nAllocLength;
    if (newLength < 0) {
        // The caller may have left no terminator: look no further than the block.
        const void* zero = memchr(m_pchData, '\0', size_t(alloc));
        newLength = zero ? int(static_cast<const char*>(zero) - m_pchData) : alloc;
    }
    SetLength(std::min(newLength, alloc));
}

char* CString::GetBufferSetLength(int newLength) {
    if (newLength < 0) {
        newLength = 0;
    }
    GetBuffer(newLength);
    SetLength(newLength);
    return m_pchData;
}

void CString::FreeExtra() {
    int length = GetLength();
    if (m_pchData == nullptr || GetData()->nAllocLength == length) {
        return;
    }
    CString tight(m_pchData, length);
    *this = std::move(tight);
}

// ---- editing

int CString::Replace(char oldCh, char newCh) noexcept {
    int count = 0;
    if (oldCh == newCh) {
        return 0;
    }
    for (int i = 0, n = GetLength(); i < n; ++i) {
        if (m_pchData[i] == oldCh) {
            m_pchData[i] = newCh;
            ++count;
        }
    }
    return count;
}

int CString::Replace(const char* oldText, const char* newText) {
    int oldLength = SafeLength(oldText);
    if (oldLength == 0) {
        return 0;
    }
    int newLength = SafeLength(newText);
    int count = 0;
    for (int pos = Find(oldText); pos >= 0; pos = Find(oldText, pos + oldLength)) {
        ++count;
    }
    if (count == 0) {
        return 0;
    }
    long long total = (long long)GetLength() + (long long)count * (newLength - oldLength);
    if (total > kMaxLength) {
        AfxThrowMemoryException();
    }
    if (total == 0) {
        Empty();
        return count;
    }
    CString out;
    out.Reserve(int(total), true);
    int from = 0;
    char* dst = out.m_pchData;
    for (int pos = Find(oldText); pos >= 0; pos = Find(oldText, pos + oldLength)) {
        memcpy(dst, m_pchData + from, size_t(pos - from));
        dst += pos - from;
        memcpy(dst, newText, size_t(newLength));
        dst += newLength;
        from = pos + oldLength;
    }
    memcpy(dst, m_pchData + from, size_t(GetLength() - from));
    out.SetLength(int(total));
    *this = std::move(out);
    return count;
}

int CString::Remove(char ch) noexcept {
    int n = GetLength(), kept = 0;
    for (int i = 0; i < n; ++i) {
        if (m_pchData[i] != ch) {
            m_pchData[kept++] = m_pchData[i];
        }
    }
    SetLength(kept);
    return n - kept;
}

int CString::Insert(int index, char ch) {
    return Insert(index, CString(ch, 1));
}

int CString::Insert(int index, const char* text) {
    int length = GetLength();
    int add = SafeLength(text);
    index = std::clamp(index, 0, length);
    if (add == 0) {
        return length;
    }
    if (add > kMaxLength - length) {
        AfxThrowMemoryException();
    }
    CString out;
    out.Reserve(length + add, false);
    const char* chars = Chars();
    memcpy(out.m_pchData, chars, size_t(index));
    memcpy(out.m_pchData + index, text, size_t(add));
    memcpy(out.m_pchData + index + add, chars + index, size_t(length - index));
    out.SetLength(length + add);
    *this = std::move(out);
    return length + add;
}

int CString::Delete(int index, int count) noexcept {
    int length = GetLength();
    if (index < 0) {
        index = 0;
    }
    if (count <= 0 || index >= length) {
        return length;
    }
    if (count > length - index) {
        count = length - index;
    }
    memmove(m_pchData + index, m_pchData + index + count, size_t(length - index - count));
    SetLength(length - count);
    return length - count;
}

// ---- comparison

bool operator==(const CString& a, const CString& b) noexcept {
    return a.GetLength() == b.GetLength() && a.Compare(b) == 0;
}
bool operator==(const CString& a, const char* b) noexcept {
    return a.Compare(b) == 0;
}
bool operator==(const char* a, const CString& b) noexcept {
    return b.Compare(a) == 0;
}
bool operator!=(const CString& a, const CString& b) noexcept {
    return !(a == b);
}
bool operator!=(const CString& a, const char* b) noexcept {
    return !(a == b);
}
bool operator!=(const char* a, const CString& b) noexcept {
    return !(a == b);
}
bool operator<(const CString& a, const CString& b) noexcept {
    return a.Compare(b) < 0;
}
bool operator<(const CString& a, const char* b) noexcept {
    return a.Compare(b) < 0;
}
bool operator<(const char* a, const CString& b) noexcept {
    return b.Compare(a) > 0;
}
bool operator>(const CString& a, const CString& b) noexcept {
    return a.Compare(b) > 0;
}
bool operator<=(const CString& a, const CString& b) noexcept {
    return a.Compare(b) <= 0;
}
bool operator>=(const CString& a, const CString& b) noexcept {
    return a.Compare(b) >= 0;
}

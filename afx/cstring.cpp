#include "afx/cstring.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "afx/ascii.h"
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

int CString::GetLength() const noexcept {
    return m_pchData != nullptr ? GetData()->nDataLength : 0;
}

void CString::Empty() noexcept {
    Release();
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

// ---- in-place changes

void CString::MakeLower() noexcept {
    for (int i = 0, n = GetLength(); i < n; ++i) {
        m_pchData[i] = afx::AsciiLower(m_pchData[i]);
    }
}

int CString::Compare(const char* other) const noexcept {
    return Sign(strcmp(Chars(), other ? other : ""));
}

int CString::CompareNoCase(const char* other) const noexcept {
    const unsigned char* a = reinterpret_cast<const unsigned char*>(Chars());
    const unsigned char* b = reinterpret_cast<const unsigned char*>(other ? other : "");
    for (;; ++a, ++b) {
        int ca = static_cast<unsigned char>(afx::AsciiLower(char(*a)));
        int cb = static_cast<unsigned char>(afx::AsciiLower(char(*b)));
        if (ca != cb || ca == 0) {
            return Sign(ca - cb);
        }
    }
}

void CString::TrimRight() noexcept {
    int n = GetLength();
    while (n > 0 && afx::IsAsciiSpace(m_pchData[n - 1])) {
        --n;
    }
    SetLength(n);
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

CString operator+(const CString& a, const char* b) {
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

// Members of the host's data classes that the library exports (see quor_inet.h).
#include <cstring>

#include "quor_inet/include/quor_inet.h"

namespace {

template <typename T, size_t N>
void CopyEach(T (&to)[N], const T (&from)[N]) noexcept {
    for (size_t i = 0; i < N; ++i) {
        to[i] = from[i];
    }
}

}  // namespace

Audio::Audio(const Audio& other) : m_strName(other.m_strName), m_byFlag(other.m_byFlag) {
    CopyEach(m_anHead, other.m_anHead);
    CopyEach(m_anTail, other.m_anTail);
}

Audio& Audio::operator=(const Audio& other) {
    m_strName = other.m_strName;
    CopyEach(m_anHead, other.m_anHead);
    m_byFlag = other.m_byFlag;
    CopyEach(m_anTail, other.m_anTail);
    return *this;
}

// Only the strings are made here; the host fills the rest before it reads it.
cTocInfo::cTocInfo() {}

// A failure to copy the second string destroys the first before it passes on, since the
// members constructed so far are unwound.
cTocInfo::cTocInfo(const cTocInfo& other)
    : m_strFirst(other.m_strFirst),
      m_strSecond(other.m_strSecond),
      m_nFirst(other.m_nFirst),
      m_nSecond(other.m_nSecond) {
    CopyEach(m_anFirst, other.m_anFirst);
    CopyEach(m_anSecond, other.m_anSecond);
    CopyEach(m_abyFirst, other.m_abyFirst);
    CopyEach(m_abySmall, other.m_abySmall);
    CopyEach(m_abyLast, other.m_abyLast);
}

cTocInfo& cTocInfo::operator=(const cTocInfo& other) {
    m_strFirst = other.m_strFirst;
    m_strSecond = other.m_strSecond;
    m_nFirst = other.m_nFirst;
    m_nSecond = other.m_nSecond;
    CopyEach(m_anFirst, other.m_anFirst);
    CopyEach(m_anSecond, other.m_anSecond);
    CopyEach(m_abyFirst, other.m_abyFirst);
    CopyEach(m_abySmall, other.m_abySmall);
    CopyEach(m_abyLast, other.m_abyLast);
    return *this;
}

cTocInfo::~cTocInfo() {}

DA& DA::operator=(const DA& other) {
    // The whole object, byte for byte; memmove keeps a self-assignment well defined.
    std::memmove(static_cast<void*>(this), &other, sizeof(DA));
    return *this;
}

void DA::Zero() {
    for (int32_t& n : m_anHead) {
        n = 0;
    }
    m_nTail1 = 0;
    m_nTail2 = 0;
}

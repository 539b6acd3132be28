#pragma once
// The search's two lists of addresses (pages to visit, audio files found): entries linked in
// the order added, each found again by its address in any letter case without a walk, and held
// to a limit.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "afx/ascii.h"

// An address as the lists compare it: its ASCII letters in lower case, nothing else changed.
class CaseBlindKey {
  public:
    explicit CaseBlindKey(std::string_view address) : m_text(address) {
        for (char& c : m_text) {
            c = afx::AsciiLower(c);
        }
    }
    const std::string& Text() const noexcept { return m_text; }

  private:
    template <class Entry>
    friend class AddressList;
    std::string m_text;
};

// Whether the text from address's last "." on is extension (a leading "." included), in any
// letter case: "a.MP3" has ".mp3", "a.mp3?x" and "a.mp3.html" have not.
constexpr bool HasExtension(std::string_view address, std::string_view extension) noexcept {
    const size_t dot = address.rfind('.');
    return dot != std::string_view::npos && afx::EqualsNoCase(address.substr(dot), extension);
}

// Entry: a struct with an `Entry* pNext`. The list owns its entries from Append to Clear; head
// is the list's first entry for whoever walks it (null while it is empty).
template <class Entry>
class AddressList {
  public:
    AddressList(Entry*& head, uint32_t limit) noexcept : m_head(head), m_limit(limit) {}
    AddressList(const AddressList&) = delete;
    AddressList& operator=(const AddressList&) = delete;

    // The entry added under key; null when there is none.
    Entry* Find(const CaseBlindKey& key) const {
        const auto found = m_index.find(key.m_text);
        return found == m_index.end() ? nullptr : found->second;
    }

    bool IsFull() const noexcept { return m_count >= m_limit; }
    // True only the first time it is asked since the list was last emptied: the limit is told
    // once.
    bool FirstTimeFull() noexcept { return !std::exchange(m_bFullTold, true); }

    // Links entry at the tail under key and returns it. Indexed before it is linked: a failed
    // allocation leaves the list and its index as they were, and entry is destroyed.
    Entry* Append(std::unique_ptr<Entry> entry, CaseBlindKey&& key) {
        Entry* added = entry.get();
        m_index.emplace(std::move(key.m_text), added);
        entry.release();
        if (m_tail == nullptr) {
            m_head = added;
        } else {
            m_tail->pNext = added;
        }
        m_tail = added;
        ++m_count;
        return added;
    }

    // Makes entry found under key too (another address of it), unless key is taken. Does not
    // count against the limit: the entry is listed once.
    void AddAlias(CaseBlindKey&& key, Entry* entry) {
        m_index.emplace(std::move(key.m_text), entry);
    }

    uint32_t Count() const noexcept { return m_count; }

    // Destroys every entry; the list is empty and its limit may be told again.
    void Clear() noexcept {
        while (m_head != nullptr) {
            Entry* next = m_head->pNext;
            delete m_head;
            m_head = next;
        }
        m_tail = nullptr;
        m_count = 0;
        m_bFullTold = false;
        m_index.clear();
    }

  private:
    Entry*& m_head;
    Entry* m_tail = nullptr;
    const uint32_t m_limit;
    uint32_t m_count = 0;
    bool m_bFullTold = false;
    std::unordered_map<std::string, Entry*> m_index;
};

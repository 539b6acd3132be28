#include "afx/string_list.h"

#include <new>

#include "afx/exceptions.h"

struct CStringList::Node {
    Node* pNext;
    CString data;
};

CStringList::~CStringList() {
    RemoveAll();
}

CStringList::Node* CStringList::ToNode(POSITION pos) noexcept {
    return reinterpret_cast<Node*>(pos);
}

namespace {

POSITION ToPosition(void* node) noexcept {
    return reinterpret_cast<POSITION>(node);
}

}  // namespace

POSITION CStringList::AddTail(const char* text) {
    Node* node = nullptr;
    try {
        node = new Node{nullptr, CString(text)};
    } catch (const std::bad_alloc&) {
        // Low memory surfaces the way the class library reports it.
        AfxThrowMemoryException();
    }
    if (m_pTail != nullptr) {
        m_pTail->pNext = node;
    } else {
        m_pHead = node;
    }
    m_pTail = node;
    ++m_nCount;
    return ToPosition(node);
}

void CStringList::RemoveAll() noexcept {
    Node* node = m_pHead;
    while (node != nullptr) {
        Node* next = node->pNext;
        delete node;
        node = next;
    }
    m_pHead = m_pTail = nullptr;
    m_nCount = 0;
}

POSITION CStringList::GetHeadPosition() const noexcept {
    return ToPosition(m_pHead);
}

CString& CStringList::GetNext(POSITION& pos) {
    Node* node = ToNode(pos);
    pos = ToPosition(node->pNext);
    return node->data;
}

#include "afx/string_list.h"

#include <new>
#include <utility>

#include "afx/exceptions.h"

struct CStringList::Node {
    Node* pNext;
    Node* pPrev;
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

// Low memory surfaces the way the class library reports it.
CStringList::Node* CStringList::NewNode(Node* next, Node* prev, const char* text) {
    try {
        return new Node{next, prev, CString(text)};
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}

POSITION CStringList::AddTail(const char* text) {
    Node* node = NewNode(nullptr, m_pTail, text);
    if (m_pTail != nullptr) {
        m_pTail->pNext = node;
    } else {
        m_pHead = node;
    }
    m_pTail = node;
    ++m_nCount;
    return ToPosition(node);
}

POSITION CStringList::AddHead(const char* text) {
    Node* node = NewNode(m_pHead, nullptr, text);
    if (m_pHead != nullptr) {
        m_pHead->pPrev = node;
    } else {
        m_pTail = node;
    }
    m_pHead = node;
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
POSITION CStringList::GetTailPosition() const noexcept {
    return ToPosition(m_pTail);
}

CString& CStringList::GetNext(POSITION& pos) {
    Node* node = ToNode(pos);
    pos = ToPosition(node->pNext);
    return node->data;
}

const CString& CStringList::GetNext(POSITION& pos) const {
    Node* node = ToNode(pos);
    pos = ToPosition(node->pNext);
    return node->data;
}

CString& CStringList::GetPrev(POSITION& pos) {
    Node* node = ToNode(pos);
    pos = ToPosition(node->pPrev);
    return node->data;
}

CString& CStringList::GetAt(POSITION pos) {
    return ToNode(pos)->data;
}
const CString& CStringList::GetAt(POSITION pos) const {
    return ToNode(pos)->data;
}
CString& CStringList::GetHead() {
    return m_pHead->data;
}
CString& CStringList::GetTail() {
    return m_pTail->data;
}

CString CStringList::RemoveHead() {
    if (m_pHead == nullptr) {
        return CString();
    }
    CString text = std::move(m_pHead->data);
    RemoveAt(ToPosition(m_pHead));
    return text;
}

CString CStringList::RemoveTail() {
    if (m_pTail == nullptr) {
        return CString();
    }
    CString text = std::move(m_pTail->data);
    RemoveAt(ToPosition(m_pTail));
    return text;
}

void CStringList::RemoveAt(POSITION pos) noexcept {
    Node* node = ToNode(pos);
    if (node == nullptr) {
        return;
    }
    (node->pPrev ? node->pPrev->pNext : m_pHead) = node->pNext;
    (node->pNext ? node->pNext->pPrev : m_pTail) = node->pPrev;
    delete node;
    --m_nCount;
}

POSITION CStringList::Find(const char* text, POSITION startAfter) const noexcept {
    Node* node = startAfter ? ToNode(startAfter)->pNext : m_pHead;
    for (; node != nullptr; node = node->pNext) {
        if (node->data == (text ? text : "")) {
            return ToPosition(node);
        }
    }
    return nullptr;
}

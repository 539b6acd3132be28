#pragma once

#include "afx/cstring.h"

// Opaque iteration position of the class library's lists; null past the end.
struct AfxPositionTag;
using POSITION = AfxPositionTag*;

// A doubly linked list of strings, walked with POSITION:
//   for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) use(list.GetNext(pos));
class CStringList {
  public:
    CStringList() = default;
    CStringList(const CStringList&) = delete;
    CStringList& operator=(const CStringList&) = delete;
    ~CStringList();

    int GetCount() const noexcept { return m_nCount; }
    bool IsEmpty() const noexcept { return m_nCount == 0; }

    POSITION AddTail(const char* text);
    POSITION AddHead(const char* text);
    void RemoveAll() noexcept;

    POSITION GetHeadPosition() const noexcept;
    POSITION GetTailPosition() const noexcept;
    CString& GetNext(POSITION& pos);
    const CString& GetNext(POSITION& pos) const;
    CString& GetPrev(POSITION& pos);
    CString& GetAt(POSITION pos);
    const CString& GetAt(POSITION pos) const;
    // GetHead, GetTail and the POSITION accessors need a non-empty list / a valid position.
    CString& GetHead();
    CString& GetTail();
    CString RemoveHead();
    CString RemoveTail();
    void RemoveAt(POSITION pos) noexcept;
    // Position of the first element equal to text after startAfter (from the head if null).
    POSITION Find(const char* text, POSITION startAfter = nullptr) const noexcept;

  private:
    struct Node;
    static Node* ToNode(POSITION pos) noexcept;
    static Node* NewNode(Node* next, Node* prev, const char* text);
    Node* m_pHead = nullptr;
    Node* m_pTail = nullptr;
    int m_nCount = 0;
};

#pragma once

#include "afx/cstring.h"

// Opaque iteration position of the class library's lists; null past the end.
struct AfxPositionTag;
using POSITION = AfxPositionTag*;

// A linked list of strings, appended to and walked with POSITION:
//   for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) use(list.GetNext(pos));
class CStringList {
  public:
    CStringList() = default;
    CStringList(const CStringList&) = delete;
    CStringList& operator=(const CStringList&) = delete;
    ~CStringList();

    int GetCount() const noexcept { return m_nCount; }

    POSITION AddTail(const char* text);
    void RemoveAll() noexcept;

    POSITION GetHeadPosition() const noexcept;
    // Needs a valid position.
    CString& GetNext(POSITION& pos);

  private:
    struct Node;
    static Node* ToNode(POSITION pos) noexcept;
    Node* m_pHead = nullptr;
    Node* m_pTail = nullptr;
    int m_nCount = 0;
};

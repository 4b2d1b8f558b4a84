#pragma once
// TDLinkedList: a circular doubly linked list threaded through nodes that their owners embed,
// so an entry moves between front and back in constant time. The head is a sentinel linked to
// itself while the list is empty. A node unlinks itself when it is destroyed.

#include "support/Exceptions.h"

namespace kestrova {

template<typename T>
class TDLinkedList;

template<typename T>
class TDLinkedNode
{
public:
    explicit TDLinkedNode(T *owner = nullptr)
        : Owner(owner)
    {
    }
    ~TDLinkedNode()
    {
        if (Linked() && !FIsHead)
            Unlink();
    }
    TDLinkedNode(const TDLinkedNode &) = delete;
    TDLinkedNode &operator=(const TDLinkedNode &) = delete;

    bool Linked() const { return FNext != nullptr; }
    T *const Owner;

private:
    friend class TDLinkedList<T>;
    void Unlink()
    {
        FPrevious->FNext = FNext;
        FNext->FPrevious = FPrevious;
        FNext = FPrevious = nullptr;
    }
    void LinkAfter(TDLinkedNode *previous)
    {
        KV_ASSERT(!Linked(), "Node is already in a list.");
        FPrevious = previous;
        FNext = previous->FNext;
        FNext->FPrevious = this;
        previous->FNext = this;
    }

    TDLinkedNode *FNext = nullptr;
    TDLinkedNode *FPrevious = nullptr;
    bool FIsHead = false;
};

template<typename T>
class TDLinkedList
{
public:
    TDLinkedList()
    {
        FHead.FIsHead = true;
        FHead.FNext = FHead.FPrevious = &FHead;
    }
    ~TDLinkedList()
    {
        while (TDLinkedNode<T> *node = FirstNode())
            node->Unlink();
    }
    TDLinkedList(const TDLinkedList &) = delete;
    TDLinkedList &operator=(const TDLinkedList &) = delete;

    void InsertFront(TDLinkedNode<T> &node) { node.LinkAfter(&FHead); }
    void InsertBack(TDLinkedNode<T> &node) { node.LinkAfter(FHead.FPrevious); }
    void Remove(TDLinkedNode<T> &node)
    {
        KV_ASSERT(node.Linked() && !node.FIsHead, "Node is not in a list.");
        node.Unlink();
    }
    // The owner of the first node, or nullptr when the list is empty.
    T *First() const
    {
        TDLinkedNode<T> *node = FirstNode();
        return node ? node->Owner : nullptr;
    }
    bool Empty() const { return FHead.FNext == &FHead; }

private:
    TDLinkedNode<T> *FirstNode() const { return Empty() ? nullptr : FHead.FNext; }

    TDLinkedNode<T> FHead;
};

} // namespace kestrova

// Links of the doubly linked lists of the file model: tracks in their list,
// events in their track. T derives from SmfLink<T>.
#pragma once

namespace tavro {

template <class T>
class SmfLink {
public:
    T* Next() const { return next_; }
    T* Prev() const { return prev_; }
    // A linked node always has a predecessor (its list's head at least).
    bool IsLinked() const { return prev_ != nullptr; }

protected:
    SmfLink() = default;
    ~SmfLink() = default;
    SmfLink(const SmfLink&) = delete;
    SmfLink& operator=(const SmfLink&) = delete;

    // Links this node right after prev; the node must not be linked.
    void LinkNodeAfter(T* prev)
    {
        T* self = static_cast<T*>(this);
        prev_ = prev;
        next_ = prev->next_;
        if (next_)
            next_->prev_ = self;
        prev->next_ = self;
    }
    // Forgets both links without touching the neighbours: for a list that
    // goes away as a whole.
    void ForgetLinks() { prev_ = next_ = nullptr; }
    // Takes this node out of its list; its neighbours join up.
    void UnlinkNode()
    {
        if (!prev_)
            return;
        prev_->next_ = next_;
        if (next_)
            next_->prev_ = prev_;
        prev_ = next_ = nullptr;
    }

private:
    T* prev_ = nullptr;
    T* next_ = nullptr;
};

} // namespace tavro

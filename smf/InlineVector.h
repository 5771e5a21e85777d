// A vector of small values that keeps its first N elements inline: the rows
// of a song array hold their message this way, so that the common messages
// (channel messages, short meta events) cost no allocation of their own.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace tavro {

template <class T, size_t N>
class InlineVector {
public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;

    InlineVector() : heap_(nullptr) {}
    InlineVector(std::initializer_list<T> values) : heap_(nullptr) { assign(values.begin(), values.end()); }
    InlineVector(const InlineVector& o) : heap_(nullptr) { assign(o.begin(), o.end()); }
    InlineVector(InlineVector&& o) noexcept : heap_(nullptr) { MoveFrom(o); }
    ~InlineVector() { Free(); }
    InlineVector& operator=(const InlineVector& o)
    {
        if (this != &o)
            assign(o.begin(), o.end());
        return *this;
    }
    InlineVector& operator=(InlineVector&& o) noexcept
    {
        if (this != &o) {
            Free();
            MoveFrom(o);
        }
        return *this;
    }
    InlineVector& operator=(std::initializer_list<T> values)
    {
        assign(values.begin(), values.end());
        return *this;
    }
    InlineVector& operator=(const std::vector<T>& values)
    {
        assign(values.begin(), values.end());
        return *this;
    }

    template <class It>
    void assign(It first, It last)
    {
        size_ = 0;
        reserve(static_cast<size_t>(std::distance(first, last)));
        for (; first != last; ++first)
            data()[size_++] = static_cast<T>(*first);
    }
    void reserve(size_t n)
    {
        if (n <= capacity_)
            return;
        T* bigger = new T[n];
        std::copy(data(), data() + size_, bigger);
        const uint32_t size = size_;
        Free();
        heap_ = bigger;
        capacity_ = static_cast<uint32_t>(n);
        size_ = size;
    }
    void push_back(const T& v)
    {
        if (size_ == capacity_)
            reserve(size_t(capacity_) * 2);
        data()[size_++] = v;
    }
    // Appending inserts, the only kind the song code needs.
    void insert(iterator pos, size_t count, const T& v)
    {
        AtEnd(pos);
        reserve(size_ + count);
        std::fill(data() + size_, data() + size_ + count, v);
        size_ += static_cast<uint32_t>(count);
    }
    template <class It>
    void insert(iterator pos, It first, It last)
    {
        AtEnd(pos);
        reserve(size_ + static_cast<size_t>(std::distance(first, last)));
        for (; first != last; ++first)
            data()[size_++] = static_cast<T>(*first);
    }
    // New elements are value-initialised.
    void resize(size_t n)
    {
        reserve(n);
        if (n > size_)
            std::fill(data() + size_, data() + n, T());
        size_ = static_cast<uint32_t>(n);
    }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](size_t i) { return data()[i]; }
    const T& operator[](size_t i) const { return data()[i]; }
    T& back() { return data()[size_ - 1]; }
    const T& back() const { return data()[size_ - 1]; }
    T* data() { return OnHeap() ? heap_ : inline_; }
    const T* data() const { return OnHeap() ? heap_ : inline_; }
    iterator begin() { return data(); }
    iterator end() { return data() + size_; }
    const_iterator begin() const { return data(); }
    const_iterator end() const { return data() + size_; }

    friend bool operator==(const InlineVector& a, const InlineVector& b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    friend bool operator!=(const InlineVector& a, const InlineVector& b) { return !(a == b); }
    friend bool operator==(const std::vector<T>& a, const InlineVector& b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    friend bool operator==(const InlineVector& a, const std::vector<T>& b) { return b == a; }

private:
    void AtEnd(iterator pos) const
    {
        (void)pos; // only appends are supported
    }
    bool OnHeap() const { return capacity_ > N; }
    void Free()
    {
        if (OnHeap())
            delete[] heap_;
        capacity_ = N;
        size_ = 0;
    }
    void MoveFrom(InlineVector& o)
    {
        size_ = o.size_;
        capacity_ = o.capacity_;
        if (o.OnHeap())
            heap_ = o.heap_;
        else
            std::copy(o.inline_, o.inline_ + o.size_, inline_);
        o.capacity_ = N;
        o.size_ = 0;
    }

    // The elements are inline while capacity_ is N, else on the heap.
    union {
        T inline_[N];
        T* heap_;
    };
    uint32_t size_ = 0;
    uint32_t capacity_ = N;
};

} // namespace tavro

// A stack whose first entries live inside the object, so that evaluating a
// row or comparing shallow lists touches the heap only for deep input.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace voralix::condition {

template <class T, std::size_t N>
class InlineStack {
public:
    InlineStack() noexcept = default;
    InlineStack(const InlineStack&) = delete;
    InlineStack& operator=(const InlineStack&) = delete;
    ~InlineStack()
    {
        while (size_ > 0) pop();
        if (data_ != inline_data()) ::operator delete(data_);
    }

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    T& back() noexcept { return data_[size_ - 1]; }
    T& operator[](std::size_t i) noexcept { return data_[i]; }

    void push(T&& v)
    {
        if (size_ == capacity_) grow();
        new (data_ + size_) T(std::move(v));
        ++size_;
    }
    void pop() noexcept { data_[--size_].~T(); }
    T take() noexcept
    {
        T v = std::move(back());
        pop();
        return v;
    }

private:
    T* inline_data() noexcept { return std::launder(reinterpret_cast<T*>(storage_)); }
    void grow()
    {
        const std::size_t capacity = capacity_ * 2;
        T* data = static_cast<T*>(::operator new(capacity * sizeof(T)));
        for (std::size_t i = 0; i < size_; ++i) {
            new (data + i) T(std::move(data_[i]));
            data_[i].~T();
        }
        if (data_ != inline_data()) ::operator delete(data_);
        data_ = data;
        capacity_ = capacity;
    }

    alignas(T) unsigned char storage_[N * sizeof(T)];
    T* data_ = inline_data();
    std::size_t size_ = 0;
    std::size_t capacity_ = N;
};

} // namespace voralix::condition

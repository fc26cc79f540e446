// A stack that keeps its first entries inline and only touches the heap for
// deep inputs. Tree walks over types and schemas use it instead of recursion.
#pragma once

#include <cstddef>
#include <vector>

namespace voralix {

template <class T, std::size_t Inline = 32>
class SmallStack {
public:
    bool empty() const noexcept { return size_ == 0; }
    std::size_t size() const noexcept { return size_; }

    void push(const T& v)
    {
        if (size_ < Inline) {
            inline_[size_] = v;
        } else {
            spill_.push_back(v);
        }
        ++size_;
    }
    T pop() noexcept
    {
        --size_;
        if (size_ < Inline) return inline_[size_];
        T v = spill_.back();
        spill_.pop_back();
        return v;
    }
    T& top() noexcept { return size_ <= Inline ? inline_[size_ - 1] : spill_.back(); }

private:
    T inline_[Inline];
    std::vector<T> spill_;
    std::size_t size_ = 0;
};

} // namespace voralix

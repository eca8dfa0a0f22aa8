// A buffer that is written once: unlike std::basic_string it does not fill
// itself with zeros first, which for a file-sized buffer costs a whole pass.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace quillmark {

template <class T>
class Buffer {
public:
    Buffer() = default;
    explicit Buffer(size_t size) : data_(size > 0 ? new T[size] : nullptr), size_(size) {}

    T* Data() { return data_.get(); }
    const T* Data() const { return data_.get(); }
    size_t Size() const { return size_; }
    // Keeps the first size elements; the memory stays allocated.
    void Shrink(size_t size) { size_ = size < size_ ? size : size_; }
    std::basic_string_view<T> View() const { return {data_.get(), size_}; }

private:
    std::unique_ptr<T[]> data_;
    size_t size_ = 0;
};

}  // namespace quillmark

// A buffer that is written once: unlike std::basic_string it does not fill
// itself with zeros first, which for a file-sized buffer costs a whole pass.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "common/Text.h"

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

// A file's bytes, kept in storage made of UTF-16 code units, so that a UTF-16
// file can be read where it lies. The bytes are written and read through
// char, which may alias the units.
class FileBytes {
public:
    FileBytes() = default;
    explicit FileBytes(size_t size) : units_((size + 1) / 2), size_(size) {}

    char* Data() { return reinterpret_cast<char*>(units_.Data()); }
    const char* Data() const { return reinterpret_cast<const char*>(units_.Data()); }
    size_t Size() const { return size_; }
    void Shrink(size_t size) { size_ = size < size_ ? size : size_; }
    std::string_view View() const { return {Data(), size_}; }
    // The bytes as code units, the first at the start of the file.
    WChar* Units() { return units_.Data(); }
    const WChar* Units() const { return units_.Data(); }

private:
    Buffer<WChar> units_;
    size_t size_ = 0;
};

}  // namespace quillmark

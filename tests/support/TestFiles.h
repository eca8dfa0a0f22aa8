// Temporary files for the tests, on both platforms.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "common/Text.h"

namespace quillmark::test {

inline WString ToWString(const std::filesystem::path& path) {
#ifdef _WIN32
    return path.wstring();
#else
    return path.u16string();
#endif
}

// A directory of its own for each test, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() / ("quillmark-test-" + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& Path() const { return path_; }

    // Writes the bytes as they stand and returns the file's path.
    std::filesystem::path Write(std::string_view name, std::string_view bytes) const {
        const auto file = path_ / std::filesystem::u8path(name);
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

private:
    std::filesystem::path path_;
};

// The text as UTF-16 bytes in the given order, with or without a mark.
inline std::string Utf16Bytes(WStringView text, bool bigEndian, bool mark = true) {
    std::string bytes;
    if (mark) bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const WChar c : text) {
        const auto hi = static_cast<char>(static_cast<unsigned>(c) >> 8);
        const auto lo = static_cast<char>(static_cast<unsigned>(c) & 0xFF);
        bytes += bigEndian ? hi : lo;
        bytes += bigEndian ? lo : hi;
    }
    return bytes;
}

}  // namespace quillmark::test

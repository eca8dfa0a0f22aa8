// The entries of a zip package, read from memory into memory.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace quillmark {

// Nothing is ever written to disk. Entries are inflated only when read, and
// everything read from one archive together may not unpack to more than the
// limit: a package that claims more, or holds more than it claims, is refused
// with a TemplateError.
class ZipArchive {
public:
    static constexpr uint64_t kDefaultLimit = 256ull << 20;

    explicit ZipArchive(std::string_view bytes, uint64_t limit = kDefaultLimit);

    // Names compare without regard to ASCII case, as package part names do.
    bool Contains(std::string_view name) const;
    // Whether any entry's name starts with the folder's, such as "_xmlsignatures/".
    bool ContainsUnder(std::string_view folder) const;
    std::string Read(std::string_view name);

private:
    struct Entry {
        uint16_t flags = 0;
        uint16_t method = 0;
        uint32_t crc = 0;
        uint64_t compressedSize = 0;
        uint64_t size = 0;
        uint64_t localOffset = 0;
    };
    struct LessIgnoringCase {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };

    void ReadCentralDirectory();
    std::string_view CompressedData(const std::string& name, const Entry& entry) const;

    std::string_view bytes_;
    uint64_t limit_;
    uint64_t unpacked_ = 0;
    std::map<std::string, Entry, LessIgnoringCase> entries_;
};

}  // namespace quillmark

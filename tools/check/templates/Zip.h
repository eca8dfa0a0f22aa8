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
// with a TemplateError. An entry whose local header disagrees with its
// central record, or whose bytes overlap another entry's, is refused when
// read: no byte of the file belongs to two entries.
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
        uint64_t dataOffset = 0;  // where its compressed data starts, once its local header is checked
        bool sound = false;       // its local header agrees, and no other entry shares its bytes
    };
    struct LessIgnoringCase {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };

    void ReadCentralDirectory();
    bool LocalHeaderAgrees(std::string_view name, Entry& entry) const;
    void CheckEntries();
    std::string_view CompressedData(const std::string& name, const Entry& entry);

    std::string_view bytes_;
    uint64_t limit_;
    uint64_t unpacked_ = 0;
    uint64_t inflated_ = 0;  // compressed bytes read, all entries together
    std::map<std::string, Entry, LessIgnoringCase> entries_;
};

}  // namespace quillmark

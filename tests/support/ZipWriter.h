// Zip packages made in memory, for tests and fuzzing: honest ones, and ones
// that lie about their sizes, checksums or directory.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmark::test {

struct ZipEntry {
    std::string name;
    std::string data;
    bool deflate = false;
    std::optional<uint64_t> claimedSize;  // instead of the data's own
    std::optional<uint32_t> claimedCrc;
    uint16_t flags = 0;
    uint16_t method = 0xFFFF;  // 0xFFFF: stored or deflated as asked
    std::optional<uint64_t> claimedCompressedSize;
    std::optional<uint64_t> claimedOffset;
};

struct ZipOptions {
    bool zip64 = false;       // every size, offset and count in the Zip64 fields
    uint64_t extraCount = 0;  // adds to the number of entries the directory claims
    std::optional<uint64_t> claimedDirectorySize;
    std::optional<uint64_t> claimedDirectoryOffset;
};

inline std::string Deflate(const std::string& data) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

inline void Put(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

// A Zip64 extra field.
inline void Extra(std::string& out, const std::string& fields) {
    Put(out, 1, 2);
    Put(out, fields.size(), 2);
    out += fields;
}

inline std::string MakeZip(const std::vector<ZipEntry>& entries, const ZipOptions& options = {}) {
    constexpr uint32_t kInZip64 = UINT32_MAX;
    const bool zip64 = options.zip64;
    std::string out, directory;
    for (const ZipEntry& e : entries) {
        const std::string stored = e.deflate ? Deflate(e.data) : e.data;
        const uint16_t method = e.method != 0xFFFF ? e.method : (e.deflate ? 8 : 0);
        const uint32_t crc = e.claimedCrc.value_or(static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()))));
        const uint64_t size = e.claimedSize.value_or(e.data.size());
        const uint64_t compressedSize = e.claimedCompressedSize.value_or(stored.size());
        const uint64_t offset = e.claimedOffset.value_or(out.size());
        std::string sizes;
        Put(sizes, size, 8);
        Put(sizes, compressedSize, 8);
        const auto header = [&](std::string& to, size_t extraSize) {
            Put(to, zip64 ? 45 : 20, 2);  // version needed
            Put(to, e.flags, 2);
            Put(to, method, 2);
            Put(to, 0, 4);  // time and date
            Put(to, crc, 4);
            Put(to, zip64 ? kInZip64 : compressedSize, 4);
            Put(to, zip64 ? kInZip64 : size, 4);
            Put(to, e.name.size(), 2);
            Put(to, zip64 ? extraSize + 4 : 0, 2);
        };
        Put(out, 0x04034b50, 4);
        header(out, sizes.size());
        out += e.name;
        if (zip64) Extra(out, sizes);
        out += stored;
        Put(directory, 0x02014b50, 4);
        Put(directory, 45, 2);  // version made by
        header(directory, sizes.size() + 8);
        Put(directory, 0, 6);  // comment length, disk, internal attributes
        Put(directory, 0, 4);  // external attributes
        Put(directory, zip64 ? kInZip64 : offset, 4);
        directory += e.name;
        if (zip64) {
            Put(sizes, offset, 8);
            Extra(directory, sizes);
        }
    }
    const uint64_t count = entries.size() + options.extraCount;
    const uint64_t directorySize = options.claimedDirectorySize.value_or(directory.size());
    const uint64_t directoryOffset = options.claimedDirectoryOffset.value_or(out.size());
    out += directory;
    if (zip64) {
        const uint64_t end64 = out.size();
        Put(out, 0x06064b50, 4);
        Put(out, 44, 8);  // the record's size after this field
        Put(out, 45 << 16 | 45, 4);
        Put(out, 0, 8);  // disks
        Put(out, count, 8);
        Put(out, count, 8);
        Put(out, directorySize, 8);
        Put(out, directoryOffset, 8);
        Put(out, 0x07064b50, 4);
        Put(out, 0, 4);
        Put(out, end64, 8);
        Put(out, 1, 4);
    }
    Put(out, 0x06054b50, 4);
    Put(out, 0, 4);
    Put(out, zip64 ? 0xFFFF : count, 2);
    Put(out, zip64 ? 0xFFFF : count, 2);
    Put(out, zip64 ? kInZip64 : directorySize, 4);
    Put(out, zip64 ? kInZip64 : directoryOffset, 4);
    Put(out, 0, 2);
    return out;
}

// The smallest Word package around a main document part.
inline std::vector<ZipEntry> WordPackage(std::string document) {
    return {
        {"[Content_Types].xml", "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
        {"_rels/.rels",
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Target=\"word/document.xml\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\"/>"
         "</Relationships>"},
        {"word/document.xml", std::move(document), true},
    };
}

}  // namespace quillmark::test

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
    std::optional<uint32_t> claimedSize;  // instead of the data's own
    std::optional<uint32_t> claimedCrc;
    uint16_t flags = 0;
    uint16_t method = 0xFFFF;  // 0xFFFF: stored or deflated as asked
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

// extraCount adds to the number of entries the end record claims.
inline std::string MakeZip(const std::vector<ZipEntry>& entries, uint16_t extraCount = 0) {
    std::string out, directory;
    for (const ZipEntry& e : entries) {
        const std::string stored = e.deflate ? Deflate(e.data) : e.data;
        const uint16_t method = e.method != 0xFFFF ? e.method : (e.deflate ? 8 : 0);
        const uint32_t crc = e.claimedCrc.value_or(static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()))));
        const uint32_t size = e.claimedSize.value_or(static_cast<uint32_t>(e.data.size()));
        const uint64_t offset = out.size();
        std::string common;
        Put(common, 20, 2);  // version needed
        Put(common, e.flags, 2);
        Put(common, method, 2);
        Put(common, 0, 4);  // time and date
        Put(common, crc, 4);
        Put(common, stored.size(), 4);
        Put(common, size, 4);
        Put(common, e.name.size(), 2);
        Put(common, 0, 2);  // extra
        Put(out, 0x04034b50, 4);
        out += common + e.name + stored;
        Put(directory, 0x02014b50, 4);
        Put(directory, 20, 2);  // version made by
        directory += common;
        Put(directory, 0, 6);  // comment length, disk, internal attributes
        Put(directory, 0, 4);  // external attributes
        Put(directory, offset, 4);
        directory += e.name;
    }
    const uint64_t at = out.size();
    out += directory;
    Put(out, 0x06054b50, 4);
    Put(out, 0, 4);
    Put(out, entries.size() + extraCount, 2);
    Put(out, entries.size() + extraCount, 2);
    Put(out, directory.size(), 4);
    Put(out, at, 4);
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

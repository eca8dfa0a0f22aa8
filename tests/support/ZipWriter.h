// Zip packages made in memory, for tests and fuzzing: honest ones, and ones
// that lie about their sizes, checksums or directory.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
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
    // Its local header's extra field holds the next entry's local header, so
    // that both entries' data start at the same byte: the next one's.
    bool hidesNext = false;
};

struct ZipOptions {
    bool zip64 = false;       // every size, offset and count in the Zip64 fields
    bool zip64End = false;    // a Zip64 end record although nothing needs one
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

// Little-endian fields, each a value and its width in bytes.
inline void Put(std::string& out, std::initializer_list<std::pair<uint64_t, int>> fields) {
    for (const auto& [value, bytes] : fields) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
    }
}

inline std::string MakeZip(const std::vector<ZipEntry>& entries, const ZipOptions& options = {}) {
    const bool zip64 = options.zip64;
    const auto field32 = [&](uint64_t value) { return std::pair<uint64_t, int>{zip64 ? UINT32_MAX : value, 4}; };
    std::string out, directory, hider;  // a hiding entry's local header, waiting for the next one's
    for (const ZipEntry& e : entries) {
        const std::string stored = e.deflate ? Deflate(e.data) : e.data;
        const uint16_t method = e.method != 0xFFFF ? e.method : (e.deflate ? 8 : 0);
        const uint32_t crc = e.claimedCrc.value_or(static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()))));
        const uint64_t size = e.claimedSize.value_or(e.data.size());
        const uint64_t offset = e.claimedOffset.value_or(out.size() + hider.size());
        const uint64_t compressedSize = e.claimedCompressedSize.value_or(stored.size());
        // The Zip64 extra fields: the local header's holds both sizes, the directory's the offset too.
        std::string local64, central64;
        if (zip64) {
            Put(local64, {{1, 2}, {16, 2}, {size, 8}, {compressedSize, 8}});
            Put(central64, {{1, 2}, {24, 2}, {size, 8}, {compressedSize, 8}, {offset, 8}});
        }
        const auto header = [&](std::string& to, size_t extraSize) {
            Put(to, {{zip64 ? 45 : 20, 2}, {e.flags, 2}, {method, 2}, {0, 4}, {crc, 4}});
            Put(to, {field32(compressedSize), field32(size), {e.name.size(), 2}, {extraSize, 2}});
        };
        std::string local;
        Put(local, {{0x04034b50, 4}});
        header(local, local64.size());
        local += e.name + local64;
        if (e.hidesNext) {
            hider = local;
        } else {
            if (!hider.empty()) {
                std::string extraSize;  // the hider's own extra field and this header
                Put(extraSize, {{((hider[29] & 0xFF) << 8 | (hider[28] & 0xFF)) + local.size(), 2}});
                hider.replace(28, 2, extraSize);
            }
            out += std::exchange(hider, {}) + local + stored;
        }
        Put(directory, {{0x02014b50, 4}, {45, 2}});
        header(directory, central64.size());
        Put(directory, {{0, 6}, {0, 4}, field32(offset)});  // comment length, disk, attributes
        directory += e.name + central64;
    }
    const uint64_t count = entries.size() + options.extraCount;
    const uint64_t directorySize = options.claimedDirectorySize.value_or(directory.size());
    const uint64_t directoryOffset = options.claimedDirectoryOffset.value_or(out.size());
    out += directory;
    if (zip64 || options.zip64End) {
        const uint64_t end64 = out.size();
        Put(out, {{0x06064b50, 4}, {44, 8}, {45 << 16 | 45, 4}, {0, 8}, {count, 8}, {count, 8}});
        Put(out, {{directorySize, 8}, {directoryOffset, 8}, {0x07064b50, 4}, {0, 4}, {end64, 8}, {1, 4}});
    }
    const std::pair<uint64_t, int> count16{zip64 ? 0xFFFF : count, 2};
    Put(out, {{0x06054b50, 4}, {0, 4}, count16, count16, field32(directorySize), field32(directoryOffset), {0, 2}});
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

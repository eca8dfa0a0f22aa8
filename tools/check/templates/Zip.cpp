#include "tools/check/templates/Zip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <vector>

#include "tools/check/templates/TemplateError.h"
#include "tools/check/templates/ZipFormat.h"

namespace quillmark {

namespace {

using namespace zip;

[[noreturn]] void DirectoryDamaged() { throw TemplateError{Message::ZipDirectoryDamaged, {}}; }
[[noreturn]] void EntryDamaged(const std::string& name) { throw TemplateError{Message::ZipEntryDamaged, {name}}; }

// Little-endian fields at fixed offsets; every read is bounds-checked by the caller's Has().
class Fields {
public:
    Fields(std::string_view bytes, uint64_t at) : bytes_(bytes), at_(at) {}
    // Compared, never added: a Zip64 size near 2^64 would wrap a sum round to a small number.
    bool Has(uint64_t offset, uint64_t size) const {
        const uint64_t total = bytes_.size();
        return at_ <= total && offset <= total - at_ && size <= total - at_ - offset;
    }
    bool Has(uint64_t size) const { return Has(0, size); }
    uint64_t Get(size_t offset, size_t width) const {
        uint64_t value = 0;
        for (size_t i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes_[at_ + offset + i]);
        return value;
    }
    uint16_t U16(size_t offset) const { return static_cast<uint16_t>(Get(offset, 2)); }
    uint32_t U32(size_t offset) const { return static_cast<uint32_t>(Get(offset, 4)); }
    uint64_t U64(size_t offset) const { return Get(offset, 8); }
    std::string_view Slice(size_t offset, size_t size) const { return bytes_.substr(at_ + offset, size); }

private:
    std::string_view bytes_;
    uint64_t at_;
};

struct Directory {
    uint64_t count = 0;
    uint64_t size = 0;
    uint64_t offset = 0;
};

// The directory an end record at endAt describes, if it is one: its comment
// fits in the file, and its directory lies before it and starts as one.
std::optional<Directory> DirectoryOf(std::string_view bytes, uint64_t endAt) {
    const Fields end(bytes, endAt);
    if (end.U32(0) != kEndSignature || !end.Has(kEndSize, end.U16(20))) return std::nullopt;
    Directory directory{end.U16(10), end.U32(12), end.U32(16)};
    uint64_t before = endAt;
    if (directory.count == 0xFFFF || directory.size == UINT32_MAX || directory.offset == UINT32_MAX) {
        if (endAt < kEnd64LocatorSize) return std::nullopt;
        const Fields locator(bytes, endAt - kEnd64LocatorSize);
        before = locator.U64(8);
        const Fields end64(bytes, before);
        if (locator.U32(0) != kEnd64LocatorSignature || before > endAt - kEnd64LocatorSize || !end64.Has(kEnd64Size) ||
            end64.U32(0) != kEnd64Signature) {
            return std::nullopt;
        }
        directory = {end64.U64(32), end64.U64(40), end64.U64(48)};
    }
    const Fields first(bytes, directory.offset);
    if (directory.offset > before || directory.size > before - directory.offset) return std::nullopt;
    if (directory.count > 0 && (!first.Has(4) || first.U32(0) != kCentralSignature)) return std::nullopt;
    return directory;
}

// The end record lies in the last 64 KiB and 22 bytes: a comment may follow
// it, and so may a stray byte or two from a transfer, as other readers allow.
Directory FindDirectory(std::string_view bytes) {
    if (bytes.size() < kEndSize) throw TemplateError{Message::NotZip, {}};
    const uint64_t lowest = bytes.size() > kEndSize + 0xFFFF ? bytes.size() - kEndSize - 0xFFFF : 0;
    bool anyRecord = false;
    for (uint64_t at = bytes.size() - kEndSize + 1; at-- > lowest;) {
        if (Fields(bytes, at).U32(0) != kEndSignature) continue;
        if (const std::optional<Directory> directory = DirectoryOf(bytes, at)) return *directory;
        anyRecord = true;
    }
    if (anyRecord) DirectoryDamaged();
    throw TemplateError{Message::NotZip, {}};
}

// The bound on work: no byte of the file belongs to two entries, and the
// compressed bytes inflated by all reads together are at most kReadsPerByte
// times the file's size (a part may be read twice, as styles.xml is), so the
// reader inflates at most kReadsPerByte times the file, and unpacks at most the
// archive's limit; the XML readers are linear in what is unpacked.
constexpr uint64_t kReadsPerByte = 3;

// Sizes and offsets too big for their fields are in the entry's Zip64 extra
// field; false when one of them is missing there.
bool ReadZip64Extra(std::string_view extra, uint64_t& size, uint64_t& compressedSize, uint64_t& localOffset) {
    while (extra.size() >= 4) {
        const Fields header(extra, 0);
        const uint16_t id = header.U16(0);
        const size_t length = header.U16(2);
        if (length > extra.size() - 4) return true;
        if (id == kZip64Extra) {
            const Fields data(extra.substr(4, length), 0);
            size_t at = 0;
            for (uint64_t* field : {&size, &compressedSize, &localOffset}) {
                if (*field != UINT32_MAX) continue;
                if (!data.Has(at + 8)) return false;
                *field = data.U64(at);
                at += 8;
            }
            return true;
        }
        extra.remove_prefix(4 + length);
    }
    return true;
}

}  // namespace

bool ZipArchive::LessIgnoringCase::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) < lower(y);
    });
}

ZipArchive::ZipArchive(std::string_view bytes, uint64_t limit) : bytes_(bytes), limit_(limit) {
    ReadCentralDirectory();
}

void ZipArchive::ReadCentralDirectory() {
    const auto [count, size, offset] = FindDirectory(bytes_);
    const std::string_view directory = bytes_.substr(offset, size);
    uint64_t at = 0;
    for (uint64_t i = 0; i < count; ++i) {
        const Fields header(directory, at);
        if (!header.Has(kCentralSize) || header.U32(0) != kCentralSignature) DirectoryDamaged();
        const size_t nameLength = header.U16(28);
        const size_t extraLength = header.U16(30);
        const size_t commentLength = header.U16(32);
        if (!header.Has(kCentralSize + nameLength + extraLength + commentLength)) DirectoryDamaged();
        Entry entry;
        entry.flags = header.U16(8);
        entry.method = header.U16(10);
        entry.crc = header.U32(16);
        entry.compressedSize = header.U32(20);
        entry.size = header.U32(24);
        entry.localOffset = header.U32(42);
        if (!ReadZip64Extra(header.Slice(kCentralSize + nameLength, extraLength), entry.size, entry.compressedSize,
                            entry.localOffset)) {
            DirectoryDamaged();
        }
        entries_.emplace(header.Slice(kCentralSize, nameLength), entry);
        at += kCentralSize + nameLength + extraLength + commentLength;
    }
    CheckEntries();
}

// The local header repeats the entry's name and method, and its checksum and
// sizes unless a data descriptor after the data holds them.
bool ZipArchive::LocalHeaderAgrees(std::string_view name, Entry& entry) const {
    const Fields local(bytes_, entry.localOffset);
    if (!local.Has(kLocalSize) || local.U32(0) != kLocalSignature) return false;
    const size_t nameLength = local.U16(26);
    const size_t extraLength = local.U16(28);
    if (!local.Has(kLocalSize + nameLength + extraLength) || local.Slice(kLocalSize, nameLength) != name ||
        local.U16(8) != entry.method) {
        return false;
    }
    if (!((local.U16(6) | entry.flags) & kDataDescriptor)) {
        uint64_t size = local.U32(22), compressedSize = local.U32(18), unused = 0;
        if (!ReadZip64Extra(local.Slice(kLocalSize + nameLength, extraLength), size, compressedSize, unused) ||
            local.U32(14) != entry.crc || size != entry.size || compressedSize != entry.compressedSize) {
            return false;
        }
    }
    if (!local.Has(kLocalSize + nameLength + extraLength, entry.compressedSize)) return false;
    entry.dataOffset = entry.localOffset + kLocalSize + nameLength + extraLength;
    return true;
}

// Entries whose local header agrees are sound unless their bytes, from local
// header to the end of their data, overlap another's. In the order they
// start, an entry that starts before the farthest end so far overlaps the
// entry that reaches there.
void ZipArchive::CheckEntries() {
    std::vector<Entry*> agreeing;
    for (auto& [name, entry] : entries_) {
        if (LocalHeaderAgrees(name, entry)) agreeing.push_back(&entry);
    }
    std::sort(agreeing.begin(), agreeing.end(), [](Entry* a, Entry* b) { return a->localOffset < b->localOffset; });
    uint64_t reach = 0;
    Entry* reaching = nullptr;
    for (Entry* entry : agreeing) {
        entry->sound = true;
        if (reaching && entry->localOffset < reach) entry->sound = reaching->sound = false;
        const uint64_t end = entry->dataOffset + entry->compressedSize;
        if (end > reach) {
            reach = end;
            reaching = entry;
        }
    }
}

bool ZipArchive::Contains(std::string_view name) const { return entries_.find(name) != entries_.end(); }

bool ZipArchive::ContainsUnder(std::string_view folder) const {
    const auto next = entries_.lower_bound(folder);
    return next != entries_.end() && next->first.size() >= folder.size() &&
           !LessIgnoringCase()(folder, std::string_view(next->first).substr(0, folder.size()));
}

std::string_view ZipArchive::CompressedData(const std::string& name, const Entry& entry) {
    if (!entry.sound || entry.compressedSize > bytes_.size() * kReadsPerByte - inflated_) EntryDamaged(name);
    inflated_ += entry.compressedSize;
    return bytes_.substr(entry.dataOffset, entry.compressedSize);
}

std::string ZipArchive::Read(std::string_view name) {
    const auto found = entries_.find(name);
    if (found == entries_.end()) throw TemplateError{Message::MissingPart, {std::string(name)}};
    const auto& [entryName, entry] = *found;
    if (entry.flags & kEncrypted) throw TemplateError{Message::EncryptedEntry, {entryName}};
    if (entry.method != kStored && entry.method != kDeflated) {
        throw TemplateError{Message::UnsupportedMethod, {entryName, std::to_string(entry.method)}};
    }
    // The claimed size is checked before anything is unpacked, and the data
    // is never unpacked past it.
    if (entry.size > limit_ - unpacked_ || entry.size > UINT_MAX) {
        throw TemplateError{Message::UnpacksTooBig, {std::to_string(limit_ >> 20)}};
    }
    unpacked_ += entry.size;
    const std::string_view data = CompressedData(entryName, entry);
    std::string out;
    if (entry.method == kStored) {
        if (data.size() != entry.size) EntryDamaged(entryName);
        out = data;
    } else {
        // Deflate never expands more than 1032 to 1: a small entry that claims
        // a huge size gets no huge buffer.
        out.resize(std::min<uint64_t>(entry.size, data.size() * 1032 + 1024));
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        stream.avail_in = static_cast<uInt>(std::min<uint64_t>(data.size(), UINT_MAX));
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        // One byte of room more than claimed would still fit: Z_STREAM_END is
        // required with the output exactly full.
        unsigned char spare = 0;
        int status = inflate(&stream, Z_FINISH);
        if (status == Z_BUF_ERROR && stream.avail_out == 0) {
            stream.next_out = &spare;
            stream.avail_out = 1;
            status = inflate(&stream, Z_FINISH);
        }
        const bool whole = status == Z_STREAM_END && stream.total_out == entry.size;
        inflateEnd(&stream);
        if (!whole) EntryDamaged(entryName);
    }
    const uLong crc =
        crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(out.size()));
    if (crc != entry.crc) EntryDamaged(entryName);
    return out;
}

}  // namespace quillmark

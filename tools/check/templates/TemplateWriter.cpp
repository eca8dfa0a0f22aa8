#include "tools/check/templates/TemplateWriter.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <map>
#include <optional>

#include "tools/check/templates/TemplateError.h"
#include "tools/check/templates/ZipFormat.h"

namespace quillmark {

namespace {

// What a changed part's bytes become in one place: [begin, end) replaced.
struct ByteEdit {
    size_t begin = 0;
    size_t end = 0;
    std::string bytes;
    bool operator<(const ByteEdit& other) const { return std::tie(begin, end) < std::tie(other.begin, other.end); }
};

// The reason stays in the code: the author only needs to know that nothing changed.
[[noreturn]] void Refuse(const char*) { throw TemplateError{Message::CannotRewrite, {}}; }

bool IsBlank(WChar c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Text that stands in a part as itself: no character XML cannot hold, and
// no blank that the format would not keep as typed (a tab or a line break
// is an element of its own; spaces in a row collapse in OpenDocument).
bool IsPlainText(WStringView text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const WChar c = text[i];
        if (c < 0x20 || c == 0xFFFE || c == 0xFFFF) return false;
        if (c == ' ' && i + 1 < text.size() && text[i + 1] == ' ') return false;
        const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        if (low) return false;
        if (high && (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)) return false;
        if (high) ++i;
    }
    return true;
}

std::string Escaped(WStringView text) {
    std::string out;
    for (const char c : ToUtf8(text)) {
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else {
            out += c;
        }
    }
    return out;
}

// The byte of a verbatim piece's UTF-8 where its UTF-16 unit `units` starts,
// or nothing inside a surrogate pair.
std::optional<size_t> ByteAt(std::string_view bytes, size_t units) {
    size_t at = 0;
    while (units > 0) {
        if (at >= bytes.size()) return std::nullopt;
        const auto lead = static_cast<unsigned char>(bytes[at]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        const size_t count = length == 4 ? 2 : 1;
        if (count > units) return std::nullopt;
        units -= count;
        at += length;
    }
    return at;
}

// The pieces that hold [at, at + length) of the paragraph, with no character
// between them that no piece holds; nothing otherwise.
std::optional<std::vector<const TextPiece*>> Covering(const Paragraph& paragraph, size_t at, size_t length) {
    std::vector<const TextPiece*> pieces;
    size_t next = at;
    const size_t end = at + length;
    for (const TextPiece& piece : paragraph.pieces) {
        if (piece.at + piece.length <= next || piece.at >= end) continue;
        if (piece.at > next) return std::nullopt;
        pieces.push_back(&piece);
        next = piece.at + piece.length;
        if (next >= end) return pieces;
    }
    return std::nullopt;
}

// [from, to) of a piece in its part's bytes, when the piece can be cut there.
std::optional<ByteEdit> PieceEdit(std::string_view part, const TextPiece& piece, size_t from, size_t to) {
    const XmlSource& source = piece.source;
    if (source.end > part.size() || source.begin > source.end) return std::nullopt;
    if (!piece.clipped && from == 0 && to == piece.length) return ByteEdit{source.begin, source.end, {}};
    if (!source.verbatim) return std::nullopt;
    const std::string_view bytes = part.substr(source.begin, source.end - source.begin);
    const auto begin = ByteAt(bytes, piece.skip + from);
    const auto end = ByteAt(bytes, piece.skip + to);
    if (!begin || !end) return std::nullopt;
    return ByteEdit{source.begin + *begin, source.begin + *end, {}};
}

// The edits of one change, each in its part: the new text where the old one
// starts, the rest of the old one taken out of the pieces after. Without
// `cut`, only whether the pieces' sources allow them.
std::optional<std::vector<std::pair<const TextPiece*, ByteEdit>>> Plan(const TemplateText& text,
                                                                       const TextChange& change, bool cut) {
    if (change.paragraph >= text.paragraphs.size() || change.length == 0 || !IsPlainText(change.text)) {
        return std::nullopt;
    }
    const Paragraph& paragraph = text.paragraphs[change.paragraph];
    if (change.at + change.length > paragraph.text.size()) return std::nullopt;
    const auto pieces = Covering(paragraph, change.at, change.length);
    if (!pieces) return std::nullopt;
    std::vector<std::pair<const TextPiece*, ByteEdit>> edits;
    for (const TextPiece* piece : *pieces) {
        if (!piece->part || piece->part != pieces->front()->part) return std::nullopt;
        const size_t from = std::max(change.at, piece->at) - piece->at;
        const size_t to = std::min(change.at + change.length, piece->at + piece->length) - piece->at;
        std::optional<ByteEdit> edit;
        if (cut) {
            edit = PieceEdit(piece->part->bytes, *piece, from, to);
        } else if ((!piece->clipped && from == 0 && to == piece->length) || piece->source.verbatim) {
            edit = ByteEdit{};
        }
        if (!edit) return std::nullopt;
        if (edits.empty() && cut) edit->bytes = Escaped(change.text);
        edits.emplace_back(piece, std::move(*edit));
    }
    return edits;
}

bool NeedsPreserve(WStringView text) {
    if (text.empty()) return false;
    if (IsBlank(text.front()) || IsBlank(text.back())) return true;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (IsBlank(text[i]) && IsBlank(text[i + 1])) return true;
    }
    return false;
}

// Word drops the blanks at either end of a text element, and collapses
// blanks in a row, unless the element says xml:space="preserve": an element
// whose text comes to start with a blank (the rest of a run after the code)
// says so from now on.
void PreserveBlanks(const TemplateText& text, const std::vector<TextChange>& changes,
                    std::map<const PackagePart*, std::vector<ByteEdit>>& edits) {
    std::map<size_t, std::vector<const TextChange*>> byParagraph;
    for (const TextChange& change : changes) byParagraph[change.paragraph].push_back(&change);
    for (const auto& [index, inParagraph] : byParagraph) {
        const Paragraph& paragraph = text.paragraphs[index];
        // Each element's text before and after, by where its attribute would go.
        std::map<std::pair<const PackagePart*, size_t>, std::pair<WString, WString>> elements;
        for (const TextPiece& piece : paragraph.pieces) {
            if (piece.preserveAt == XmlSource::kUnknown || !piece.part) continue;
            auto& [before, after] = elements[{piece.part.get(), piece.preserveAt}];
            const WStringView old = WStringView(paragraph.text).substr(piece.at, piece.length);
            before += old;
            WString changed;
            for (size_t i = 0; i < old.size(); ++i) {
                const size_t at = piece.at + i;
                bool taken = false;
                for (const TextChange* change : inParagraph) {
                    if (at == change->at) changed += change->text;
                    taken = taken || (at >= change->at && at < change->at + change->length);
                }
                if (!taken) changed += old[i];
            }
            after += changed;
        }
        for (const auto& [where, texts] : elements) {
            if (NeedsPreserve(texts.second) && !NeedsPreserve(texts.first)) {
                edits[where.first].push_back({where.second, where.second, " xml:space=\"preserve\""});
            }
        }
    }
}

std::string Spliced(std::string_view bytes, std::vector<ByteEdit>& edits) {
    std::sort(edits.begin(), edits.end());
    std::string out;
    size_t at = 0;
    for (const ByteEdit& edit : edits) {
        if (edit.begin < at || edit.end > bytes.size()) Refuse("two changes meet in one place");
        out.append(bytes.substr(at, edit.begin - at));
        out += edit.bytes;
        at = edit.end;
    }
    out.append(bytes.substr(at));
    return out;
}

// Little-endian fields of the package.
uint64_t Get(std::string_view bytes, size_t at, size_t width) {
    if (at > bytes.size() || width > bytes.size() - at) Refuse("its zip directory is damaged");
    uint64_t value = 0;
    for (size_t i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}
void Set(std::string& bytes, size_t at, size_t width, uint64_t value) {
    for (size_t i = 0; i < width; ++i, value >>= 8) bytes[at + i] = static_cast<char>(value & 0xFF);
}

using namespace zip;

struct ZipEntryLayout {
    std::string name;
    size_t record = 0;  // of its central record
    size_t local = 0;   // of its local header
    size_t data = 0;    // where its data starts
    size_t dataEnd = 0;
    size_t end = 0;  // past its data descriptor
    uint16_t flags = 0;
    uint16_t method = 0;
};

struct ZipLayout {
    size_t endRecord = 0;
    size_t directory = 0;
    std::vector<ZipEntryLayout> entries;
};

// The last end record whose directory holds its count of records; Zip64
// packages are read but never written.
ZipLayout Layout(std::string_view bytes) {
    if (bytes.size() < 22) Refuse("its zip directory is damaged");
    for (size_t at = bytes.size() - 22 + 1; at-- > 0 && bytes.size() - at <= 22 + 0xFFFF;) {
        if (Get(bytes, at, 4) != kEndSignature) continue;
        if (Get(bytes, at + 10, 2) == 0xFFFF || Get(bytes, at + 16, 4) == UINT32_MAX) Refuse("it is a Zip64 package");
        // Readers that find a Zip64 end record trust its offsets, which would stay the old ones.
        if (at >= 20 && Get(bytes, at - 20, 4) == kEnd64LocatorSignature) Refuse("it is a Zip64 package");
        ZipLayout layout{at, static_cast<size_t>(Get(bytes, at + 16, 4)), {}};
        const size_t count = Get(bytes, at + 10, 2);
        size_t record = layout.directory;
        for (size_t i = 0; i < count; ++i) {
            if (Get(bytes, record, 4) != kCentralSignature) Refuse("its zip directory is damaged");
            ZipEntryLayout entry;
            entry.record = record;
            entry.flags = static_cast<uint16_t>(Get(bytes, record + 8, 2));
            entry.method = static_cast<uint16_t>(Get(bytes, record + 10, 2));
            const uint64_t compressed = Get(bytes, record + 20, 4), size = Get(bytes, record + 24, 4);
            const size_t nameLength = Get(bytes, record + 28, 2);
            entry.local = Get(bytes, record + 42, 4);
            if (compressed == UINT32_MAX || size == UINT32_MAX || entry.local == UINT32_MAX) {
                Refuse("it is a Zip64 package");
            }
            entry.name = std::string(bytes.substr(record + 46, nameLength));
            if (Get(bytes, entry.local, 4) != kLocalSignature) Refuse("its zip directory is damaged");
            entry.data = entry.local + 30 + Get(bytes, entry.local + 26, 2) + Get(bytes, entry.local + 28, 2);
            entry.dataEnd = entry.data + compressed;
            entry.end = entry.dataEnd;
            if (entry.flags & kDataDescriptor)
                entry.end += Get(bytes, entry.dataEnd, 4) == kDescriptorSignature ? 16 : 12;
            if (entry.end > layout.directory) Refuse("its zip directory is damaged");
            record += 46 + nameLength + Get(bytes, record + 30, 2) + Get(bytes, record + 32, 2);
            layout.entries.push_back(std::move(entry));
        }
        if (record > layout.endRecord) Refuse("its zip directory is damaged");
        std::vector<const ZipEntryLayout*> byPlace;
        for (const ZipEntryLayout& entry : layout.entries) byPlace.push_back(&entry);
        std::sort(byPlace.begin(), byPlace.end(), [](auto* a, auto* b) { return a->local < b->local; });
        for (size_t i = 1; i < byPlace.size(); ++i) {
            if (byPlace[i]->local < byPlace[i - 1]->end) Refuse("entries of the package overlap");
        }
        return layout;
    }
    Refuse("its zip directory is damaged");
}

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

std::string Compressed(const std::string& data, uint16_t method) {
    if (method == kStored) return data;
    if (method != kDeflated) Refuse("a part is compressed in a way it cannot be written back");
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::bad_alloc();
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) throw std::bad_alloc();
    return out;
}

// The package with the parts replaced: each changed entry's data, sizes and
// checksum new, every other byte where it was, offsets moved by what came
// before them.
std::string Repacked(std::string_view bytes, const std::map<std::string, std::string>& parts) {
    const ZipLayout layout = Layout(bytes);
    struct Replacement {
        const ZipEntryLayout* entry;
        std::string data;  // compressed, then the descriptor
        uint32_t crc;
        uint64_t compressed;
        uint64_t size;
    };
    std::vector<Replacement> replacements;
    for (const auto& [name, content] : parts) {
        const ZipEntryLayout* found = nullptr;
        for (const ZipEntryLayout& entry : layout.entries) {
            if (!SameName(entry.name, name)) continue;
            if (found) Refuse("two entries have the name");
            found = &entry;
        }
        if (!found) Refuse("it has no entry of the name");
        if (content.size() > UINT32_MAX / 2) Refuse("a part grows too large");
        Replacement r{found, Compressed(content, found->method),
                      static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(content.data()),
                                                  static_cast<uInt>(content.size()))),
                      0, content.size()};
        r.compressed = r.data.size();
        if (found->flags & kDataDescriptor) {
            std::string descriptor(found->end - found->dataEnd, '\0');
            const size_t at = descriptor.size() == 16 ? 4 : 0;
            if (at) Set(descriptor, 0, 4, kDescriptorSignature);
            Set(descriptor, at, 4, r.crc);
            Set(descriptor, at + 4, 4, r.compressed);
            Set(descriptor, at + 8, 4, r.size);
            r.data += descriptor;
        }
        replacements.push_back(std::move(r));
    }
    std::sort(replacements.begin(), replacements.end(),
              [](const Replacement& a, const Replacement& b) { return a.entry->local < b.entry->local; });

    std::string out;
    out.reserve(bytes.size() + 4096);
    std::map<size_t, size_t> moved;  // old offset of each entry's local header -> new
    size_t at = 0;
    for (const Replacement& r : replacements) {
        out.append(bytes.substr(at, r.entry->data - at));
        at = r.entry->end;
        const size_t header = out.size() - (r.entry->data - r.entry->local);
        // A local header that leaves its sizes to the descriptor keeps them zero.
        const bool sized = !(r.entry->flags & kDataDescriptor) || Get(bytes, r.entry->local + 14, 4) != 0 ||
                           Get(bytes, r.entry->local + 18, 4) != 0 || Get(bytes, r.entry->local + 22, 4) != 0;
        if (sized) {
            Set(out, header + 14, 4, r.crc);
            Set(out, header + 18, 4, r.compressed);
            Set(out, header + 22, 4, r.size);
        }
        out += r.data;
    }
    out.append(bytes.substr(at));

    const auto newOffset = [&](size_t old) {
        size_t offset = old;
        for (const Replacement& r : replacements) {
            if (r.entry->local >= old) break;
            offset = offset + r.data.size() - (r.entry->end - r.entry->data);
        }
        return offset;
    };
    const auto patch = [&](size_t oldAt, size_t width, uint64_t value) {
        if (newOffset(oldAt) + width > out.size() || value > UINT32_MAX) Refuse("it grows too large");
        Set(out, newOffset(oldAt), width, value);
    };
    for (const ZipEntryLayout& entry : layout.entries) patch(entry.record + 42, 4, newOffset(entry.local));
    for (const Replacement& r : replacements) {
        patch(r.entry->record + 16, 4, r.crc);
        patch(r.entry->record + 20, 4, r.compressed);
        patch(r.entry->record + 24, 4, r.size);
    }
    patch(layout.endRecord + 16, 4, newOffset(layout.directory));

    // Every entry not changed must still be its old bytes.
    const ZipLayout written = Layout(out);
    if (written.entries.size() != layout.entries.size()) Refuse("it did not write back whole");
    for (size_t i = 0; i < layout.entries.size(); ++i) {
        const ZipEntryLayout& a = layout.entries[i];
        const ZipEntryLayout& b = written.entries[i];
        const bool changed =
            std::any_of(replacements.begin(), replacements.end(), [&](const Replacement& r) { return r.entry == &a; });
        if (a.name != b.name) Refuse("it did not write back whole");
        if (!changed &&
            bytes.substr(a.local, a.end - a.local) != std::string_view(out).substr(b.local, b.end - b.local)) {
            Refuse("it did not write back whole");
        }
    }
    return out;
}

}  // namespace

bool CanWrite(const TemplateText& text, const TextChange& change) { return Plan(text, change, false).has_value(); }

std::string WriteChanges(std::string_view package, const TemplateText& text, const std::vector<TextChange>& changes) {
    // Each changed part as the reader read it, by where it is held: a change
    // falls in one part, the one its pieces were read from.
    std::map<const PackagePart*, std::vector<ByteEdit>> edits;
    for (const TextChange& change : changes) {
        auto planned = Plan(text, change, true);
        if (!planned) Refuse("a change falls where the text cannot be cut");
        for (auto& [piece, edit] : *planned) edits[piece->part.get()].push_back(std::move(edit));
    }
    PreserveBlanks(text, changes, edits);
    std::map<std::string, std::string> changed;
    for (auto& [part, list] : edits) {
        if (changed.count(part->name)) Refuse("a part was read twice");
        changed[part->name] = Spliced(part->bytes, list);
    }
    return Repacked(package, changed);
}

std::vector<WString> ChangedTexts(const TemplateText& text, const std::vector<TextChange>& changes) {
    std::vector<WString> out;
    for (const Paragraph& paragraph : text.paragraphs) out.push_back(paragraph.text);
    std::vector<const TextChange*> sorted;
    sorted.reserve(changes.size());
    for (const TextChange& change : changes) sorted.push_back(&change);
    // From the end of each paragraph, so that earlier offsets still hold.
    std::sort(sorted.begin(), sorted.end(), [](const TextChange* a, const TextChange* b) {
        return std::tie(a->paragraph, a->at) > std::tie(b->paragraph, b->at);
    });
    for (const TextChange* change : sorted) {
        if (change->paragraph < out.size()) out[change->paragraph].replace(change->at, change->length, change->text);
    }
    return out;
}

bool ReadsBackAsPlanned(std::string_view written, const TemplateText& text, const std::vector<TextChange>& changes) {
    TemplateText back;
    try {
        back = ReadTemplateText(written, TemplateReading::TextOnly);
    } catch (const TemplateError&) {
        return false;
    }
    const std::vector<WString> expected = ChangedTexts(text, changes);
    if (back.format != text.format || back.paragraphs.size() != expected.size()) return false;
    for (size_t i = 0; i < expected.size(); ++i) {
        if (back.paragraphs[i].place != text.paragraphs[i].place || back.paragraphs[i].text != expected[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace quillmark

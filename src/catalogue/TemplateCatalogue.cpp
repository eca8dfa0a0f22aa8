#include "catalogue/TemplateCatalogue.h"

#include <bit>
#include <cstring>
#include <stdexcept>

#include "catalogue/Decoding.h"
#include "catalogue/Platform.h"
#include "catalogue/TextRules.h"

namespace quillmark {

WString CatalogueFileBeside(WStringView modulePath, WStringView separators) {
    const size_t cut = modulePath.find_last_of(separators);
    WString path(cut == WStringView::npos ? WStringView() : modulePath.substr(0, cut + 1));
    return path.append(QM_W("params.ini"));
}

WString CataloguePath() { return CatalogueFileBeside(platform::ModuleFileName(), platform::PathSeparators()); }

namespace {

// Whether a code page reads ASCII as ASCII and nothing else as ASCII: then the
// structure of a file (line ends, brackets, "=", ";", blanks, NUL) is in its
// bytes, as in UTF-8. Multi-byte code pages, whose trail bytes can look like
// ASCII, are not.
bool ReadsBytewiseNow(unsigned codePage) {
    char all[256];
    for (int i = 0; i < 256; ++i) all[i] = static_cast<char>(i);
    const Buffer<WChar> decoded = platform::DecodeAnsi(std::string_view(all, sizeof all), codePage);
    if (decoded.Size() != 256) return false;
    for (unsigned i = 0; i < 256; ++i) {
        const auto c = static_cast<unsigned>(decoded.Data()[i]);
        if (i < 0x80 ? c != i : c < 0x80) return false;
    }
    return true;
}

bool ReadsBytewise(unsigned codePage) {
    static const bool byDefault = ReadsBytewiseNow(0);  // the system's, asked on every click
    return codePage == 0 ? byDefault : ReadsBytewiseNow(codePage);
}

}  // namespace

TTemplateCatalogue::TTemplateCatalogue(const WString& path, unsigned legacyCodePage) {
    if (path.empty() || !platform::FileExists(path)) return;
    Load(platform::ReadWholeFile(path), legacyCodePage, Reading::Fast);
}

TTemplateCatalogue TTemplateCatalogue::FromBytes(std::string_view bytes, unsigned legacyCodePage, Reading reading) {
    FileBytes file(bytes.size());
    if (!bytes.empty()) std::memcpy(file.Data(), bytes.data(), bytes.size());
    TTemplateCatalogue catalogue;
    catalogue.Load(std::move(file), legacyCodePage, reading);
    return catalogue;
}

void TTemplateCatalogue::Load(FileBytes file, unsigned legacyCodePage, Reading reading) {
    const ByteOrderMark mark = DetectByteOrderMark(file.View());
    const std::string_view body = file.View().substr(mark.length);
    const bool fast = reading == Reading::Fast;
    if (fast && (mark.encoding == TextEncoding::Utf16Le || mark.encoding == TextEncoding::Utf16Be)) {
        storage_ = Storage::Utf16Units;
    } else if (fast && mark.encoding == TextEncoding::Utf8) {
        if (!platform::IsValidUtf8(body)) return;  // malformed: the whole catalogue is empty
        storage_ = Storage::Utf8Bytes;
    } else if (fast && mark.encoding == TextEncoding::Ansi && ReadsBytewise(legacyCodePage)) {
        storage_ = Storage::AnsiBytes;
    }

    if (storage_ == Storage::Text) {
        text_ = DecodeCatalogueText(file.View(), legacyCodePage);
        ParseWhole(text_.View());
    } else if (storage_ == Storage::Utf16Units) {
        // The units after the mark, in this machine's order; a last odd byte is no unit.
        WChar* units = file.Units() + 1;
        const size_t count = body.size() / 2;
        const bool swapped = (mark.encoding == TextEncoding::Utf16Be) == (std::endian::native == std::endian::little);
        if (swapped) {
            for (size_t i = 0; i < count; ++i) units[i] = static_cast<WChar>((units[i] << 8) | (units[i] >> 8));
        }
        file_ = std::move(file);
        ParseWhole(WStringView(file_.Units() + 1, count));
    } else {
        codePage_ = legacyCodePage;
        file_ = std::move(file);
        textBegin_ = mark.length;
        ParseWhole(file_.View().substr(textBegin_));
    }
}

template <class C>
void TTemplateCatalogue::ParseWhole(std::basic_string_view<C> text) {
    text = UpToFirstNul(text);
    if (text.size() >= kNoEquals) throw std::length_error("catalogue text too long");
    Parse(text);
}

WString TTemplateCatalogue::Span(uint32_t begin, uint32_t end) const {
    WString text;
    SpanInto(begin, end, text);
    return text;
}

void TTemplateCatalogue::SpanInto(uint32_t begin, uint32_t end, WString& out) const {
    switch (storage_) {
        case Storage::Text:
            out.assign(text_.View().substr(begin, end - begin));
            return;
        case Storage::Utf16Units:
            out.assign(file_.Units() + 1 + begin, end - begin);
            return;
        case Storage::Utf8Bytes: {
            // The UTF-8 was checked whole at load, so a part of it between ASCII characters decodes.
            const std::string_view bytes = file_.View().substr(textBegin_ + begin, end - begin);
            out.resize(bytes.size());
            out.resize(platform::DecodeValidUtf8(bytes, out.data()));
            return;
        }
        case Storage::AnsiBytes:
            break;
    }
    const Buffer<WChar> text = platform::DecodeAnsi(file_.View().substr(textBegin_ + begin, end - begin), codePage_);
    out.assign(text.View());
}

template <class C>
void TTemplateCatalogue::Parse(std::basic_string_view<C> text) {
    const auto offsetOf = [&](std::basic_string_view<C> part) {
        return static_cast<uint32_t>(part.data() - text.data());
    };
    // Growing a file-sized vector step by step copies it several times over.
    lines_.reserve(text.size() / (48 / sizeof(C)));
    BasicLineReader<C> reader(text);
    std::basic_string_view<C> raw;
    while (reader.Next(raw)) {
        const BasicClassifiedLine<C> line = ClassifyLine(raw);
        switch (line.kind) {
            case LineKind::Blank:
            case LineKind::Comment:
                break;
            case LineKind::Header: {
                const uint32_t name = offsetOf(line.name);
                sections_.push_back(
                    {name, name + static_cast<uint32_t>(line.name.size()), static_cast<uint32_t>(lines_.size()), 0});
                break;
            }
            case LineKind::Key: {
                if (sections_.empty()) break;  // before the first header
                const std::basic_string_view<C> name = line.hasEquals ? line.name : line.text;
                const uint32_t begin = offsetOf(name);
                const uint32_t nameEnd = begin + static_cast<uint32_t>(name.size());
                // An empty part may point anywhere; its own offset keeps it in the text.
                const uint32_t valueBegin = line.hasEquals ? offsetOf(line.value) : kNoEquals;
                const uint32_t end = line.hasEquals ? valueBegin + static_cast<uint32_t>(line.value.size()) : nameEnd;
                lines_.push_back({begin, nameEnd, valueBegin, end});
                ++sections_.back().lineCount;
                break;
            }
        }
    }
}

WString TTemplateCatalogue::SectionName(size_t section) const {
    return Span(sections_[section].nameBegin, sections_[section].nameEnd);
}

WString TTemplateCatalogue::KeyName(size_t section, size_t line) const {
    WString name;
    KeyNameInto(lines_[sections_[section].firstLine + line], name);
    return name;
}

void TTemplateCatalogue::KeyNameInto(const KeyLine& key, WString& out) const {
    if (key.valueBegin == kNoEquals) {
        out.clear();
    } else {
        SpanInto(key.begin, key.nameEnd, out);
    }
}

WString TTemplateCatalogue::KeyLineText(size_t section, size_t line) const {
    const KeyLine& key = lines_[sections_[section].firstLine + line];
    WString text = Span(key.begin, key.nameEnd);
    if (key.valueBegin != kNoEquals) text.append(QM_W("=")).append(Span(key.valueBegin, key.end));
    return text;
}

void TTemplateCatalogue::BuildIndex() {
    index_.reserve(sections_.size());
    for (size_t i = 0; i < sections_.size(); ++i) {
        WString upper = SectionName(i);
        platform::UpperCaseInPlace(upper);
        index_[std::move(upper)] = i;  // a later section of the same name wins
    }
    indexed_ = true;
}

void TTemplateCatalogue::ReadSection(WStringView section, ISectionTarget& target) {
    struct ResumeUpdates {
        ISectionTarget& target;
        ~ResumeUpdates() { target.EndUpdate(); }
    };
    target.BeginUpdate();
    const ResumeUpdates resume{target};

    target.Clear();
    if (!indexed_) BuildIndex();
    WString upper(section);
    platform::UpperCaseInPlace(upper);
    const auto found = index_.find(upper);
    if (found == index_.end()) return;
    // One name's storage serves them all: a big section costs no allocation a line.
    WString name;
    const Section& s = sections_[found->second];
    for (const KeyLine* key = lines_.data() + s.firstLine; key != lines_.data() + s.firstLine + s.lineCount; ++key) {
        KeyNameInto(*key, name);
        target.Add(name);
    }
}

}  // namespace quillmark

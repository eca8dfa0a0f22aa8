// params.ini in memory: its sections in file order, each with its key lines.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalogue/SectionTarget.h"
#include "common/Buffer.h"
#include "common/Text.h"

namespace quillmark {

// The full path of params.ini beside the running executable.
WString CataloguePath();

// The directory part of modulePath (up to its last separator) with params.ini appended.
WString CatalogueFileBeside(WStringView modulePath, WStringView separators);

class TTemplateCatalogue {
public:
    // Fast reads UTF-16 files where they lie, UTF-8 and single-byte files in
    // their bytes, decoding only the names asked for; DecodeAll decodes the
    // whole text first (the reference).
    enum class Reading { Fast, DecodeAll };

    // Reads the whole file. No file (or a directory) gives an empty catalogue;
    // a file that cannot be opened throws the file-open error. legacyCodePage
    // decodes unmarked files where the platform has no ANSI code page (0: default).
    explicit TTemplateCatalogue(const WString& path, unsigned legacyCodePage = 0);

    // The same from bytes already in memory.
    static TTemplateCatalogue FromBytes(std::string_view bytes, unsigned legacyCodePage = 0,
                                        Reading reading = Reading::Fast);

    TTemplateCatalogue(TTemplateCatalogue&&) = default;
    TTemplateCatalogue& operator=(TTemplateCatalogue&&) = default;

    // Replaces the target's items with the key names of the last section whose
    // name matches without regard to case. Updates are resumed on every path.
    void ReadSection(WStringView section, ISectionTarget& target);

    size_t SectionCount() const { return sections_.size(); }
    WString SectionName(size_t section) const;
    size_t KeyLineCount(size_t section) const { return sections_[section].lineCount; }
    // The stored form: "name=value", or the whole trimmed line without "=".
    WString KeyLineText(size_t section, size_t line) const;
    WString KeyName(size_t section, size_t line) const;

private:
    // Where the parsed text lives: decoded, or the file's own bytes.
    enum class Storage { Text, Utf16Units, Utf8Bytes, AnsiBytes };

    // Offsets into the parsed text: a large catalogue costs 16 bytes a line beside it.
    struct KeyLine {
        uint32_t begin, nameEnd, valueBegin, end;  // valueBegin == kNoEquals: the line has no "="
    };
    struct Section {
        uint32_t nameBegin, nameEnd, firstLine, lineCount;
    };
    static constexpr uint32_t kNoEquals = UINT32_MAX;

    TTemplateCatalogue() = default;
    void Load(FileBytes file, unsigned legacyCodePage, Reading reading);
    // The text up to its first NUL, which ends it.
    template <class C>
    void ParseWhole(std::basic_string_view<C> text);
    template <class C>
    void Parse(std::basic_string_view<C> text);
    // The text of a span, decoded.
    WString Span(uint32_t begin, uint32_t end) const;
    // The same into a string that keeps its storage from one name to the next.
    void SpanInto(uint32_t begin, uint32_t end, WString& out) const;
    // The key's name: empty for a line without "=".
    void KeyNameInto(const KeyLine& key, WString& out) const;
    void BuildIndex();

    Storage storage_ = Storage::Text;
    unsigned codePage_ = 0;
    Buffer<WChar> text_;
    FileBytes file_;        // the whole file, for every storage but Text
    size_t textBegin_ = 0;  // where the text starts in it: after the mark
    std::vector<Section> sections_;
    std::vector<KeyLine> lines_;
    std::unordered_map<WString, size_t> index_;  // upper-case name -> last section of that name
    bool indexed_ = false;
};

}  // namespace quillmark

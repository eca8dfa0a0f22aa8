#include "catalogue/TemplateCatalogue.h"

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

TTemplateCatalogue::TTemplateCatalogue(const WString& path, unsigned legacyCodePage) {
    if (path.empty() || !platform::FileExists(path)) return;
    Load(platform::ReadWholeFile(path).View(), legacyCodePage);
}

TTemplateCatalogue TTemplateCatalogue::FromBytes(std::string_view bytes, unsigned legacyCodePage) {
    TTemplateCatalogue catalogue;
    catalogue.Load(bytes, legacyCodePage);
    return catalogue;
}

void TTemplateCatalogue::Load(std::string_view bytes, unsigned legacyCodePage) {
    text_ = DecodeCatalogueText(bytes, legacyCodePage);
    text_.Shrink(UpToFirstNul(text_.View()).size());
    if (text_.Size() >= kNoEquals) throw std::length_error("catalogue text too long");
    Parse();
}

uint32_t TTemplateCatalogue::OffsetOf(WStringView part) const {
    return static_cast<uint32_t>(part.data() - text_.Data());
}

WStringView TTemplateCatalogue::Span(uint32_t begin, uint32_t end) const {
    return text_.View().substr(begin, end - begin);
}

void TTemplateCatalogue::Parse() {
    // Growing a file-sized vector step by step copies it several times over.
    lines_.reserve(text_.Size() / 24);
    LineReader reader(text_.View());
    WStringView raw;
    while (reader.Next(raw)) {
        const ClassifiedLine line = ClassifyLine(raw);
        switch (line.kind) {
            case LineKind::Blank:
            case LineKind::Comment:
                break;
            case LineKind::Header: {
                const uint32_t name = OffsetOf(line.name);
                sections_.push_back(
                    {name, name + static_cast<uint32_t>(line.name.size()), static_cast<uint32_t>(lines_.size()), 0});
                break;
            }
            case LineKind::Key: {
                if (sections_.empty()) break;  // before the first header
                const WStringView name = line.hasEquals ? line.name : line.text;
                const uint32_t begin = OffsetOf(name);
                const uint32_t nameEnd = begin + static_cast<uint32_t>(name.size());
                // An empty part may point anywhere; its own offset keeps it in the text.
                const uint32_t valueBegin = line.hasEquals ? OffsetOf(line.value) : kNoEquals;
                const uint32_t end = line.hasEquals ? valueBegin + static_cast<uint32_t>(line.value.size()) : nameEnd;
                lines_.push_back({begin, nameEnd, valueBegin, end});
                ++sections_.back().lineCount;
                break;
            }
        }
    }
}

WStringView TTemplateCatalogue::SectionName(size_t section) const {
    return Span(sections_[section].nameBegin, sections_[section].nameEnd);
}

WStringView TTemplateCatalogue::KeyName(size_t section, size_t line) const {
    const KeyLine& key = lines_[sections_[section].firstLine + line];
    return key.valueBegin == kNoEquals ? WStringView() : Span(key.begin, key.nameEnd);
}

WString TTemplateCatalogue::KeyLineText(size_t section, size_t line) const {
    const KeyLine& key = lines_[sections_[section].firstLine + line];
    WString text(Span(key.begin, key.nameEnd));
    if (key.valueBegin != kNoEquals) text.append(QM_W("=")).append(Span(key.valueBegin, key.end));
    return text;
}

void TTemplateCatalogue::BuildIndex() {
    index_.reserve(sections_.size());
    for (size_t i = 0; i < sections_.size(); ++i) {
        WString upper(SectionName(i));
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
    const size_t s = found->second;
    WString name;
    for (size_t line = 0; line < sections_[s].lineCount; ++line) {
        name.assign(KeyName(s, line));
        target.Add(name);
    }
}

}  // namespace quillmark

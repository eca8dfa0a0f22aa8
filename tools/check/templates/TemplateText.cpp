#include "tools/check/templates/TemplateText.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "catalogue/Platform.h"
#include "tools/check/templates/TemplateError.h"
#include "tools/check/templates/Xml.h"
#include "tools/check/templates/XmlPrecheck.h"
#include "tools/check/templates/Zip.h"

namespace quillmark {

namespace {

constexpr WStringView kWordNs = QM_W("http://schemas.openxmlformats.org/wordprocessingml/2006/main");
constexpr WStringView kWordStrictNs = QM_W("http://purl.oclc.org/ooxml/wordprocessingml/main");
constexpr WStringView kCompatibilityNs = QM_W("http://schemas.openxmlformats.org/markup-compatibility/2006");
constexpr WStringView kTextNs = QM_W("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
constexpr WStringView kStyleNs = QM_W("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
constexpr WStringView kOfficeNs = QM_W("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
constexpr WStringView kTableNs = QM_W("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
constexpr WStringView kSvgNs = QM_W("urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0");
constexpr WStringView kManifestNs = QM_W("urn:oasis:names:tc:opendocument:xmlns:manifest:1.0");
constexpr WStringView kOldManifestNs = QM_W("http://openoffice.org/2001/manifest");

constexpr std::string_view kCompoundFileMagic = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr std::string_view kOpenDocumentText = "application/vnd.oasis.opendocument.text";

const WString* Attribute(const std::vector<XmlAttribute>& attributes, WStringView name) {
    for (const XmlAttribute& a : attributes) {
        if (a.name == name) return &a.value;
    }
    return nullptr;
}

// Turns a part's elements into paragraphs. A subclass says what each element
// is; this class keeps the open paragraphs (a text box's paragraphs lie inside
// a paragraph of the body), the header or note they belong to, and the
// subtrees that are not text at all.
class ParagraphReader : public XmlHandler {
public:
    explicit ParagraphReader(std::vector<Paragraph>& out) : out_(out) {}

    void Start(WStringView ns, WStringView name, const std::vector<XmlAttribute>& attributes) final {
        if (skipping_) {
            roles_.push_back(Role::Plain);
            return;
        }
        Role role = Open(ns, name, attributes);
        if (role == Role::Paragraph) {
            if (contexts_.empty()) {
                role = Role::Plain;
            } else {
                Place place = contexts_.back();
                place.paragraph = ++counts_[contexts_.back()];
                open_.push_back({place, {}});
            }
        }
        if (role == Role::Text) ++textDepth_;
        if (role == Role::Instruction) ++instructionDepth_;
        if (role == Role::Skip) skipping_ = true;
        roles_.push_back(role);
    }

    void End() final {
        const Role role = roles_.back();
        roles_.pop_back();
        switch (role) {
            case Role::Plain:
                break;
            case Role::Skip:
                skipping_ = false;
                break;
            case Role::Paragraph:
                out_.push_back(std::move(open_.back()));
                open_.pop_back();
                break;
            case Role::Text:
                --textDepth_;
                break;
            case Role::Instruction:
                --instructionDepth_;
                break;
            case Role::Context:
                contexts_.pop_back();
                break;
        }
    }

    void Text(WStringView text) final {
        if (skipping_) return;
        if (instructionDepth_ > 0) {
            if (Source().Known() && part_) {
                instruction_.pieces.push_back({instruction_.text.size(), text.size(), part_, Source(), preserveAt_});
            }
            instruction_.text += text;
        } else if (textDepth_ > 0 || textEverywhere_) {
            AppendFromPart(text);
        }
    }

    // Its paragraphs know their part and where their text stands in it, for a writer.
    void SetPart(std::shared_ptr<const PackagePart> part) { part_ = std::move(part); }
    bool WantsSource() const override { return part_ != nullptr; }

protected:
    // Instruction: a field's code, kept for the subclass rather than read.
    enum class Role { Plain, Skip, Paragraph, Text, Instruction, Context };

    virtual Role Open(WStringView ns, WStringView name, const std::vector<XmlAttribute>& attributes) = 0;

    Role Enter(Place place) {
        contexts_.push_back(place);
        return Role::Context;
    }
    void Append(WStringView text) {
        if (open_.empty()) return;
        WString& into = open_.back().text;
        const size_t from = into.size();
        into += text;
        // Blanks in OpenDocument's character data are layout, not text.
        if (textEverywhere_) std::replace_if(into.begin() + from, into.end(), IsXmlBlank, WChar(' '));
    }
    void TextEverywhere() { textEverywhere_ = true; }
    // The text element that the next text stands in, for a writer.
    void SetPreserveAt(size_t at) { preserveAt_ = at; }
    // A field's code, and where its characters come from.
    struct FieldCode {
        WString text;
        std::vector<TextPiece> pieces;  // at: in text
        void operator+=(FieldCode&& more) {
            for (TextPiece& piece : more.pieces) piece.at += text.size();
            text += more.text;
            pieces.insert(pieces.end(), more.pieces.begin(), more.pieces.end());
        }
    };
    // The field code read since the last call.
    FieldCode TakeInstruction() { return std::exchange(instruction_, {}); }
    // What a field shows of its code: characters [from, to), each still
    // known in its part.
    void AppendFromCode(const FieldCode& code, size_t from, size_t to) {
        if (open_.empty() || from >= to) return;
        Paragraph& paragraph = open_.back();
        for (const TextPiece& piece : code.pieces) {
            const size_t begin = std::max(from, piece.at), end = std::min(to, piece.at + piece.length);
            if (begin >= end) continue;
            TextPiece shown = piece;
            shown.at = paragraph.text.size() + begin - from;
            shown.length = end - begin;
            shown.skip = piece.skip + begin - piece.at;
            shown.clipped = piece.clipped || shown.skip != 0 || end != piece.at + piece.length;
            paragraph.pieces.push_back(std::move(shown));
        }
        Append(WStringView(code.text).substr(from, to - from));
    }

private:
    static bool IsXmlBlank(WChar c) { return c == '\t' || c == '\r' || c == '\n'; }

    void AppendFromPart(WStringView text) {
        if (open_.empty()) return;
        if (Source().Known() && part_) {
            open_.back().pieces.push_back({open_.back().text.size(), text.size(), part_, Source(), preserveAt_});
        }
        Append(text);
    }

    std::vector<Paragraph>& out_;
    std::vector<Role> roles_;
    std::vector<Paragraph> open_;
    std::vector<Place> contexts_;
    std::map<Place, size_t> counts_;
    FieldCode instruction_;
    std::shared_ptr<const PackagePart> part_;
    size_t preserveAt_ = XmlSource::kUnknown;
    int textDepth_ = 0;
    int instructionDepth_ = 0;
    bool textEverywhere_ = false;
    bool skipping_ = false;
};

bool IsFieldBlank(WChar c) { return c <= ' '; }

// What a MACROBUTTON field shows: the text after the macro's name, as the
// range of the code it stands in. Nothing for other fields.
std::pair<size_t, size_t> MacroButtonText(WStringView code) {
    size_t at = 0;
    const auto word = [&] {
        while (at < code.size() && IsFieldBlank(code[at])) ++at;
        const size_t from = at;
        while (at < code.size() && !IsFieldBlank(code[at])) ++at;
        return code.substr(from, at - from);
    };
    if (platform::UpperCase(word()) != QM_WV("MACROBUTTON") || word().empty()) return {0, 0};
    while (at < code.size() && IsFieldBlank(code[at])) ++at;
    size_t end = code.size();
    while (end > at && IsFieldBlank(code[end - 1])) --end;
    return {at, end};
}

// A w:sym's character, by its code. A symbol font's code stays what the file
// says (U+F02D for Symbol's minus), as LibreOffice keeps it in text and in an
// .odt, so that every way of storing the character reads alike.
std::optional<WChar> SymbolCharacter(const WString* code) {
    if (!code || code->empty() || code->size() > 4) return std::nullopt;
    unsigned value = 0;
    for (const WChar c : *code) {
        const unsigned digit = c >= '0' && c <= '9'   ? c - '0'
                               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                      : 16;
        if (digit == 16) return std::nullopt;
        value = value * 16 + digit;
    }
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
    return static_cast<WChar>(value);
}

// A w:val of an on/off property: on when it is left out.
bool IsOn(const std::vector<XmlAttribute>& attributes) {
    const WString* value = Attribute(attributes, QM_W("val"));
    return !value || (*value != QM_WV("false") && *value != QM_WV("0") && *value != QM_WV("off"));
}

// A section's own header and footer references by kind, as its w:sectPr
// gives them, and whether its first page has headers of its own.
struct Section {
    std::map<std::pair<Part, Pages>, WString> references;
    bool titlePage = false;
};

// WordprocessingML: text lies in w:t only, so field codes (w:instrText),
// deleted revisions (w:delText) and alt text (attributes) are never read; a
// MACROBUTTON shows the text after its macro's name. A drawing's fallback
// repeats its text box for older readers and is skipped. The body also
// gathers the sections.
class WordPartReader : public ParagraphReader {
public:
    WordPartReader(std::vector<Paragraph>& out, Place context, std::vector<Section>* sections = nullptr)
        : ParagraphReader(out), context_(context), sections_(sections) {}

private:
    Role Open(WStringView ns, WStringView name, const std::vector<XmlAttribute>& attributes) override {
        if (ns == kCompatibilityNs) return name == QM_WV("Fallback") ? Role::Skip : Role::Plain;
        const bool word = ns == kWordNs || ns == kWordStrictNs;
        if (!seenRoot_) {
            seenRoot_ = true;
            if (sections_ && !(word && name == QM_WV("document"))) throw TemplateError{Message::NotTextPackage, {}};
        }
        if (!word) return Role::Plain;
        if (name == QM_WV("p")) return Role::Paragraph;
        // Text inside a field's code, a nested field's result included, is code.
        if (name == QM_WV("t") || name == QM_WV("instrText")) {
            const WString* space = Attribute(attributes, QM_W("space"));
            const bool preserved = space && *space == QM_WV("preserve");
            SetPreserveAt(Source().Known() && !preserved ? Source().end - 1 : XmlSource::kUnknown);
            return name == QM_WV("t") && codes_.empty() ? Role::Text : Role::Instruction;
        }
        if (name == QM_WV("fldChar")) FieldCharacter(Attribute(attributes, QM_W("fldCharType")));
        if (codes_.empty()) Character(name, attributes);
        if (name == QM_WV("del") || name == QM_WV("moveFrom") || name == QM_WV("sectPrChange")) return Role::Skip;
        if (sections_) SectionProperty(name, attributes);
        if (name == QM_WV("body") || name == QM_WV("hdr") || name == QM_WV("ftr")) return Enter(context_);
        if (name == QM_WV("footnote") || name == QM_WV("endnote")) {
            // Separators and continuation notices are not notes an author wrote.
            const WString* type = Attribute(attributes, QM_W("type"));
            if (type && *type != QM_WV("normal")) return Role::Skip;
            return Enter({name == QM_WV("footnote") ? Part::Footnote : Part::Endnote, ++notes_});
        }
        return Role::Plain;
    }

    // An element that stands for a character of the page.
    void Character(WStringView name, const std::vector<XmlAttribute>& attributes) {
        if (name == QM_WV("tab") || name == QM_WV("ptab")) Append(QM_W("\t"));
        if (name == QM_WV("br") || name == QM_WV("cr")) Append(QM_W("\n"));
        // The characters that these stand for, as when stored as text.
        if (name == QM_WV("softHyphen")) Append(QM_W("\u00AD"));
        if (name == QM_WV("noBreakHyphen")) Append(QM_W("\u2011"));
        if (name == QM_WV("sym")) {
            if (const auto c = SymbolCharacter(Attribute(attributes, QM_W("char")))) Append(WStringView(&*c, 1));
        }
        if (name == QM_WV("footnoteReference") || name == QM_WV("endnoteReference")) Append(WStringView(&kNoteMark, 1));
    }

    // Fields nest, in a field's code or in its result. The page shows the
    // results of fields that lie in no code; a result in a field's code is a
    // piece of that code, as a field's code may come in pieces around the
    // fields in it.
    void FieldCharacter(const WString* type) {
        FieldCode code = TakeInstruction();
        if (!codes_.empty()) codes_.back() += std::move(code);
        if (!type) return;
        if (*type == QM_WV("begin")) {
            separated_.push_back(false);
            codes_.emplace_back();
        } else if (separated_.empty()) {
            return;
        } else if (*type == QM_WV("separate") && !separated_.back()) {
            separated_.back() = true;
            codes_.pop_back();
        } else if (*type == QM_WV("end")) {
            // A field without a result shows what its code makes of it.
            if (!separated_.back()) {
                const FieldCode shown = std::move(codes_.back());
                codes_.pop_back();
                const auto [from, to] = MacroButtonText(shown.text);
                if (codes_.empty()) AppendFromCode(shown, from, to);
            }
            separated_.pop_back();
        }
    }

    void SectionProperty(WStringView name, const std::vector<XmlAttribute>& attributes) {
        if (name == QM_WV("sectPr")) sections_->emplace_back();
        if (sections_->empty()) return;
        if (name == QM_WV("titlePg")) sections_->back().titlePage = IsOn(attributes);
        const WString* id = Attribute(attributes, QM_W("id"));
        if (!id || (name != QM_WV("headerReference") && name != QM_WV("footerReference"))) return;
        const WString* type = Attribute(attributes, QM_W("type"));
        Pages pages = Pages::Other;
        if (type && *type == QM_WV("first")) pages = Pages::First;
        if (type && *type == QM_WV("even")) pages = Pages::Even;
        const Part part = name == QM_WV("headerReference") ? Part::Header : Part::Footer;
        sections_->back().references.emplace(std::pair{part, pages}, *id);
    }

    Place context_;
    std::vector<Section>* sections_;  // the body's, to be filled
    std::vector<bool> separated_;     // the open fields, innermost last: has each its result begun
    std::vector<FieldCode> codes_;    // the code of each open field whose result has not begun
    unsigned notes_ = 0;
    bool seenRoot_ = false;
};

// Where a page style stands in the section that first shows it.
enum class PageRole {
    Section,    // on all its pages
    FirstPage,  // on the first only: another page style follows it
    Rest,       // on the pages after the first, following another page style
};

// The page styles in the order the body first uses them: a section each.
struct MasterPages {
    struct PageStyle {
        WString next;              // the page style of the pages after its first, when another
        bool firstHeader = false;  // a header or footer of its own on its first page
        bool firstFooter = false;
    };
    struct Shown {
        unsigned section;
        PageRole role;
    };

    std::map<WString, WString> starts;   // paragraph and table styles that say which page style they start
    std::map<WString, WString> parents;  // and the styles they inherit it from otherwise
    std::map<WString, PageStyle> pageStyles;
    WString standard;  // the first page style, which the body starts with unless it names one
    WString last;      // the page style of the body's last section
    unsigned sections = 0;
    std::map<WString, Shown> shown;  // the page styles that the body comes to

    void Style(const std::vector<XmlAttribute>& attributes) {
        const WString* style = Attribute(attributes, QM_W("name"));
        if (!style) return;
        if (const WString* master = Attribute(attributes, QM_W("master-page-name"))) starts[*style] = *master;
        if (const WString* parent = Attribute(attributes, QM_W("parent-style-name"))) parents[*style] = *parent;
    }

    PageStyle* Define(const std::vector<XmlAttribute>& attributes) {
        const WString* name = Attribute(attributes, QM_W("name"));
        if (!name) return nullptr;
        if (pageStyles.empty()) standard = *name;
        const auto [style, added] = pageStyles.try_emplace(*name);
        if (!added) return nullptr;
        if (const WString* next = Attribute(attributes, QM_W("next-style-name"))) style->second.next = *next;
        return &style->second;
    }

    // The page style that a paragraph of the style starts, or nullptr. A
    // chain of parents is followed so deep at most, which also ends a loop.
    const WString* StartedBy(const WString& style) const {
        const WString* at = &style;
        for (int depth = 0; depth < 64; ++depth) {
            if (const auto start = starts.find(*at); start != starts.end()) {
                return start->second.empty() ? nullptr : &start->second;
            }
            const auto parent = parents.find(*at);
            if (parent == parents.end()) return nullptr;
            at = &parent->second;
        }
        return nullptr;
    }

    // A section starts with the page style, and shows the page styles that
    // follow it too. Each is placed at the first section that shows it, which
    // also ends a loop of followers.
    void Use(const WString& master) {
        last = master;
        ++sections;
        if (shown.contains(master)) return;
        const WString* next = Follower(master);
        shown[master] = {sections, next ? PageRole::FirstPage : PageRole::Section};
        while (next && shown.emplace(*next, Shown{sections, PageRole::Rest}).second) next = Follower(*next);
    }

private:
    const WString* Follower(const WString& master) const {
        const auto style = pageStyles.find(master);
        if (style == pageStyles.end()) return nullptr;
        const WString& next = style->second.next;
        return next != master && pageStyles.contains(next) ? &next : nullptr;
    }
};

// styles.xml before content.xml: its common styles, which content.xml's body
// uses by name, and its page styles. Its automatic styles are its own: their
// names may be content.xml's too.
class StyleReader : public XmlHandler {
public:
    explicit StyleReader(MasterPages& masters) : masters_(masters) {}
    void Start(WStringView ns, WStringView name, const std::vector<XmlAttribute>& attributes) override {
        ++depth_;
        if (ns == kOfficeNs && name == QM_WV("styles")) common_ = depth_;
        if (ns != kStyleNs) return;
        if (common_ != 0 && name == QM_WV("style")) masters_.Style(attributes);
        if (name == QM_WV("master-page")) {
            pageStyle_ = masters_.Define(attributes);
            master_ = depth_;
        }
        const WString* display = Attribute(attributes, QM_W("display"));
        if (pageStyle_ && depth_ == master_ + 1 && !(display && *display == QM_WV("false"))) {
            if (name == QM_WV("header-first")) pageStyle_->firstHeader = true;
            if (name == QM_WV("footer-first")) pageStyle_->firstFooter = true;
        }
    }
    void End() override {
        if (depth_ == common_) common_ = 0;
        if (depth_ == master_) pageStyle_ = nullptr;
        --depth_;
    }
    void Text(WStringView) override {}

private:
    MasterPages& masters_;
    MasterPages::PageStyle* pageStyle_ = nullptr;  // while in its master page
    size_t depth_ = 0;
    size_t common_ = 0;  // the depth of office:styles, while in it
    size_t master_ = 0;
};

// OpenDocument: all character data of a paragraph is text, except a note's
// citation mark, alt text and comments; spaces and tabs are elements of their
// own. content.xml tells which page styles the body uses; styles.xml holds
// their headers and footers.
class OpenDocumentPartReader : public ParagraphReader {
public:
    explicit OpenDocumentPartReader(std::vector<Paragraph>& out, MasterPages& masters)
        : ParagraphReader(out), masters_(masters) {
        TextEverywhere();
    }

private:
    Role Open(WStringView ns, WStringView name, const std::vector<XmlAttribute>& attributes) override {
        if (ns == kOfficeNs) {
            if (name == QM_WV("text")) {
                body_ = true;
                return Enter({Part::Body, 0});
            }
            if (name == QM_WV("annotation")) return Role::Skip;
            return Role::Plain;
        }
        if (ns == kSvgNs) return name == QM_WV("title") || name == QM_WV("desc") ? Role::Skip : Role::Plain;
        if (ns == kStyleNs) return OpenStyle(name, attributes);
        if (ns == kTableNs && name == QM_WV("table")) UsesStyle(attributes);
        if (ns != kTextNs) return Role::Plain;
        if (name == QM_WV("p") || name == QM_WV("h")) {
            UsesStyle(attributes);
            return Role::Paragraph;
        }
        if (name == QM_WV("s")) {
            const WString* count = Attribute(attributes, QM_W("c"));
            size_t spaces = 0;
            for (const WChar c : count ? WStringView(*count) : WStringView()) {
                if (c < '0' || c > '9') break;
                spaces = std::min<size_t>(spaces * 10 + (c - '0'), 64);  // they only separate words here
            }
            Append(WString(std::max<size_t>(spaces, 1), ' '));
        }
        if (name == QM_WV("tab")) Append(QM_W("\t"));
        if (name == QM_WV("line-break")) Append(QM_W("\n"));
        if (name == QM_WV("note-citation") || name == QM_WV("tracked-changes")) return Role::Skip;
        if (name == QM_WV("note")) {
            Append(WStringView(&kNoteMark, 1));
            const WString* kind = Attribute(attributes, QM_W("note-class"));
            if (kind && *kind == QM_WV("endnote")) return Enter({Part::Endnote, ++endnotes_});
            return Enter({Part::Footnote, ++footnotes_});
        }
        return Role::Plain;
    }

    Role OpenStyle(WStringView name, const std::vector<XmlAttribute>& attributes) {
        if (name == QM_WV("style")) masters_.Style(attributes);
        if (name == QM_WV("master-page")) {
            const WString* master = Attribute(attributes, QM_W("name"));
            const auto shown = masters_.shown.find(master ? *master : WString());
            // A page style that the body never comes to is on no page.
            if (shown == masters_.shown.end()) return Role::Skip;
            shown_ = shown->second;
            const auto style = masters_.pageStyles.find(shown->first);
            pageStyle_ = style == masters_.pageStyles.end() ? MasterPages::PageStyle() : style->second;
        }
        const WString* display = Attribute(attributes, QM_W("display"));
        if (display && *display == QM_WV("false")) return Role::Plain;  // switched off: not on any page
        const struct {
            WStringView name;
            Part part;
            Pages pages;
        } kinds[] = {
            {QM_W("header"), Part::Header, Pages::Other},       {QM_W("header-first"), Part::Header, Pages::First},
            {QM_W("header-left"), Part::Header, Pages::Even},   {QM_W("footer"), Part::Footer, Pages::Other},
            {QM_W("footer-first"), Part::Footer, Pages::First}, {QM_W("footer-left"), Part::Footer, Pages::Even},
        };
        for (const auto& kind : kinds) {
            if (name != kind.name) continue;
            const auto pages = PagesShown(kind.part, kind.pages);
            return pages ? Enter({kind.part, shown_.section, *pages}) : Role::Skip;
        }
        return Role::Plain;
    }

    // The pages of its section that a header or footer of the page style is
    // on, as Word would name them. A page style followed by another is on
    // the first page only, where its own first-page header stands for its
    // header; the page style that follows never has the first page.
    std::optional<Pages> PagesShown(Part part, Pages pages) const {
        switch (shown_.role) {
            case PageRole::Section:
                return pages;
            case PageRole::FirstPage:
                if (pages == Pages::Even) return std::nullopt;
                if (pages == Pages::Other && (part == Part::Header ? pageStyle_.firstHeader : pageStyle_.firstFooter)) {
                    return std::nullopt;
                }
                return Pages::First;
            case PageRole::Rest:
                if (pages == Pages::First) return std::nullopt;
                return pages;
        }
        return std::nullopt;
    }

    // A body paragraph or table whose style starts another page style starts a section.
    void UsesStyle(const std::vector<XmlAttribute>& attributes) {
        if (!body_) return;
        const WString* style = Attribute(attributes, QM_W("style-name"));
        const WString* starts = style ? masters_.StartedBy(*style) : nullptr;
        if (masters_.sections == 0) {
            masters_.Use(starts ? *starts : masters_.standard);
        } else if (starts && *starts != masters_.last) {
            masters_.Use(*starts);
        }
    }

    MasterPages& masters_;
    MasterPages::Shown shown_{};  // the page style being read
    MasterPages::PageStyle pageStyle_;
    unsigned footnotes_ = 0;
    unsigned endnotes_ = 0;
    bool body_ = false;  // content.xml's text, not styles.xml's
};

struct Relationship {
    WString id;
    WString type;
    WString target;
    bool external = false;
};

class RelationshipReader : public XmlHandler {
public:
    void Start(WStringView, WStringView name, const std::vector<XmlAttribute>& attributes) override {
        if (name != QM_WV("Relationship")) return;
        Relationship r;
        if (const WString* id = Attribute(attributes, QM_W("Id"))) r.id = *id;
        if (const WString* type = Attribute(attributes, QM_W("Type"))) r.type = *type;
        if (const WString* target = Attribute(attributes, QM_W("Target"))) r.target = *target;
        const WString* mode = Attribute(attributes, QM_W("TargetMode"));
        r.external = mode && *mode == QM_WV("External");
        found.push_back(std::move(r));
    }
    void End() override {}
    void Text(WStringView) override {}

    std::vector<Relationship> found;
};

std::vector<Relationship> ReadRelationships(ZipArchive& zip, const std::string& part) {
    RelationshipReader reader;
    if (zip.Contains(part)) ParseXml(zip.Read(part), part, reader);
    return std::move(reader.found);
}

bool EndsWith(WStringView text, WStringView end) { return text.size() >= end.size() && text.ends_with(end); }

std::string PercentDecoded(std::string_view text) {
    const auto hex = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A relationship's target is a URI reference, relative to the folder of the
// part that holds it: "./header%201.xml" from word/ names word/header 1.xml.
std::string ResolveTarget(const std::string& folder, const WString& target) {
    const std::string uri = ToUtf8(target);
    const std::string_view path = std::string_view(uri).substr(0, uri.find_first_of("?#"));
    std::vector<std::string> segments;
    const auto add = [&](std::string_view from, bool decode) {
        for (size_t at = 0; at <= from.size();) {
            const size_t slash = std::min(from.find('/', at), from.size());
            // Decoded first: "%2E%2E" is a dot segment too, and "%2F" stays in its segment.
            const std::string segment =
                decode ? PercentDecoded(from.substr(at, slash - at)) : std::string(from.substr(at, slash - at));
            at = slash + 1;
            if (segment == ".." && !segments.empty()) segments.pop_back();
            if (segment.empty() || segment == "." || segment == "..") continue;
            segments.push_back(segment);
        }
    };
    if (!path.starts_with('/')) add(folder, false);
    add(path, true);
    std::string resolved;
    for (const std::string& segment : segments) resolved += (resolved.empty() ? "" : "/") + segment;
    return resolved;
}

void ReadPart(ZipArchive& zip, const std::string& part, XmlHandler& reader) { ParseXml(zip.Read(part), part, reader); }

void ReadPart(ZipArchive& zip, const std::string& part, ParagraphReader& reader, TemplateReading how) {
    if (how == TemplateReading::TextOnly) return ParseXml(zip.Read(part), part, reader);
    auto read = std::make_shared<const PackagePart>(PackagePart{part, zip.Read(part)});
    reader.SetPart(read);
    ParseXml(read->bytes, part, reader);
}

// Whether even pages have headers and footers of their own, as
// word/settings.xml says.
class SettingsReader : public XmlHandler {
public:
    void Start(WStringView ns, WStringView name, const std::vector<XmlAttribute>& attributes) override {
        if (depth_++ == 1 && (ns == kWordNs || ns == kWordStrictNs) && name == QM_WV("evenAndOddHeaders")) {
            evenPages = IsOn(attributes);
        }
    }
    void End() override { --depth_; }
    void Text(WStringView) override {}

    bool evenPages = false;

private:
    size_t depth_ = 0;
};

// The headers and footers that the sections show, each read at the first
// section that shows it. A section shows its own, and for a kind it has
// none of, the previous section's; first-page ones only with w:titlePg,
// even-page ones only when the settings say so.
void ReadHeaders(ZipArchive& zip, TemplateReading how, const std::vector<Section>& sections,
                 const std::map<WString, std::string>& parts, bool evenPages, std::set<std::string>& read,
                 std::vector<Paragraph>& out) {
    std::map<std::pair<Part, Pages>, WString> shown;
    for (size_t s = 0; s < sections.size(); ++s) {
        for (const auto& [kind, id] : sections[s].references) shown[kind] = id;
        for (const auto& [kind, id] : shown) {
            const auto [part, pages] = kind;
            if ((pages == Pages::First && !sections[s].titlePage) || (pages == Pages::Even && !evenPages)) continue;
            const auto target = parts.find(id);
            if (target == parts.end() || !read.insert(target->second).second) continue;
            WordPartReader reader(out, {part, static_cast<unsigned>(s + 1), pages});
            ReadPart(zip, target->second, reader, how);
        }
    }
}

void ReadWord(ZipArchive& zip, TemplateReading how, std::vector<Paragraph>& out) {
    std::string main;
    for (const Relationship& r : ReadRelationships(zip, "_rels/.rels")) {
        if (!r.external && EndsWith(r.type, QM_W("/officeDocument"))) main = ResolveTarget("", r.target);
    }
    if (main.empty()) throw TemplateError{Message::MissingPart, {"word/document.xml"}};
    std::vector<Section> sections;
    WordPartReader body(out, {}, &sections);
    ReadPart(zip, main, body, how);

    const size_t slash = main.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : main.substr(0, slash + 1);
    std::map<WString, std::string> headers;  // and footers, by relationship
    std::map<Part, std::vector<std::string>> notes;
    std::string settingsPart;
    for (const Relationship& r : ReadRelationships(zip, folder + "_rels/" + main.substr(folder.size()) + ".rels")) {
        if (r.external) continue;
        const std::string target = ResolveTarget(folder, r.target);
        if (EndsWith(r.type, QM_W("/header")) || EndsWith(r.type, QM_W("/footer"))) headers[r.id] = target;
        if (EndsWith(r.type, QM_W("/footnotes"))) notes[Part::Footnote].push_back(target);
        if (EndsWith(r.type, QM_W("/endnotes"))) notes[Part::Endnote].push_back(target);
        if (EndsWith(r.type, QM_W("/settings"))) settingsPart = target;
    }
    // A part is read once, whatever else names it: a header that is the body
    // would read the body twice.
    std::set<std::string> read = {main};
    SettingsReader settings;
    if (!read.contains(settingsPart) && zip.Contains(settingsPart)) ReadPart(zip, settingsPart, settings);
    ReadHeaders(zip, how, sections, headers, settings.evenPages, read, out);
    for (auto& [part, names] : notes) {
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            if (!read.insert(name).second) continue;
            WordPartReader reader(out, {part});
            ReadPart(zip, name, reader, how);
        }
    }
}

// An encrypted document keeps its manifest in the clear, and says there
// which parts are encrypted.
class EncryptionFinder : public XmlHandler {
public:
    void Start(WStringView ns, WStringView name, const std::vector<XmlAttribute>&) override {
        encrypted = encrypted || ((ns == kManifestNs || ns == kOldManifestNs) && name == QM_WV("encryption-data"));
    }
    void End() override {}
    void Text(WStringView) override {}

    bool encrypted = false;
};

void ReadOpenDocument(ZipArchive& zip, TemplateReading how, std::vector<Paragraph>& out) {
    if (const std::string manifest = "META-INF/manifest.xml"; zip.Contains(manifest)) {
        // Read for its elements only: the DTD that older writers declare
        // there is neither refused nor expanded. Their root leaves its prefix
        // to the namespace that Manifest.dtd fixes.
        EncryptionFinder finder;
        ParseXml(WithoutDoctype(zip.Read(manifest), "xmlns:manifest", ToUtf8(kOldManifestNs)), manifest, finder);
        if (finder.encrypted) throw TemplateError{Message::EncryptedDocument, {}};
    }
    MasterPages masters;
    if (zip.Contains("styles.xml")) {
        // Whatever is wrong with the part is told when it is read in turn.
        StyleReader reader(masters);
        try {
            ReadPart(zip, "styles.xml", reader);
        } catch (const TemplateError&) {
        }
    }
    OpenDocumentPartReader content(out, masters);
    ReadPart(zip, "content.xml", content, how);
    if (zip.Contains("styles.xml")) {
        OpenDocumentPartReader styles(out, masters);
        ReadPart(zip, "styles.xml", styles, how);
    }
}

}  // namespace

TemplateText ReadTemplateText(std::string_view bytes, TemplateReading how) {
    if (bytes.starts_with(kCompoundFileMagic)) throw TemplateError{Message::CompoundFile, {}};
    ZipArchive zip(bytes);
    TemplateText text;
    if (zip.Contains("mimetype")) {
        if (!zip.Read("mimetype").starts_with(kOpenDocumentText)) throw TemplateError{Message::NotTextPackage, {}};
        text.format = TemplateFormat::OpenDocument;
        ReadOpenDocument(zip, how, text.paragraphs);
    } else if (zip.Contains("[Content_Types].xml")) {
        text.format = TemplateFormat::Word;
        ReadWord(zip, how, text.paragraphs);
    } else {
        throw TemplateError{Message::NotTextPackage, {}};
    }
    std::stable_sort(text.paragraphs.begin(), text.paragraphs.end(),
                     [](const Paragraph& a, const Paragraph& b) { return a.place < b.place; });
    return text;
}

}  // namespace quillmark

#include "tools/check/templates/TemplateText.h"

#include <algorithm>
#include <map>

#include "tools/check/templates/TemplateError.h"
#include "tools/check/templates/Xml.h"
#include "tools/check/templates/Zip.h"

namespace quillmark {

namespace {

constexpr WStringView kWordNs = QM_W("http://schemas.openxmlformats.org/wordprocessingml/2006/main");
constexpr WStringView kWordStrictNs = QM_W("http://purl.oclc.org/ooxml/wordprocessingml/main");
constexpr WStringView kCompatibilityNs = QM_W("http://schemas.openxmlformats.org/markup-compatibility/2006");
constexpr WStringView kTextNs = QM_W("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
constexpr WStringView kStyleNs = QM_W("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
constexpr WStringView kOfficeNs = QM_W("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
constexpr WStringView kManifestNs = QM_W("urn:oasis:names:tc:opendocument:xmlns:manifest:1.0");

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
                place.paragraph = ++counts_[{place.part, place.number}];
                open_.push_back({place, {}});
            }
        }
        if (role == Role::Text) ++textDepth_;
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
            case Role::Context:
                contexts_.pop_back();
                break;
        }
    }

    void Text(WStringView text) final {
        if (!skipping_ && (textDepth_ > 0 || textEverywhere_)) Append(text);
    }

protected:
    enum class Role { Plain, Skip, Paragraph, Text, Context };

    virtual Role Open(WStringView ns, WStringView name, const std::vector<XmlAttribute>& attributes) = 0;

    Role Enter(Part part, unsigned number) {
        contexts_.push_back({part, number, 0});
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

private:
    static bool IsXmlBlank(WChar c) { return c == '\t' || c == '\r' || c == '\n'; }

    std::vector<Paragraph>& out_;
    std::vector<Role> roles_;
    std::vector<Paragraph> open_;
    std::vector<Place> contexts_;
    std::map<std::pair<Part, unsigned>, size_t> counts_;
    int textDepth_ = 0;
    bool textEverywhere_ = false;
    bool skipping_ = false;
};

// WordprocessingML: text lies in w:t only, so field codes (w:instrText) and
// deleted revisions (w:delText) are never read. A drawing's fallback repeats
// its text box for older readers and is skipped.
class WordPartReader : public ParagraphReader {
public:
    WordPartReader(std::vector<Paragraph>& out, Part part, unsigned number)
        : ParagraphReader(out), part_(part), number_(number) {}

private:
    Role Open(WStringView ns, WStringView name, const std::vector<XmlAttribute>& attributes) override {
        if (ns == kCompatibilityNs) return name == QM_W("Fallback") ? Role::Skip : Role::Plain;
        const bool word = ns == kWordNs || ns == kWordStrictNs;
        if (!seenRoot_) {
            seenRoot_ = true;
            if (part_ == Part::Body && !(word && name == QM_W("document"))) {
                throw TemplateError{Message::NotTextPackage, {}};
            }
        }
        if (!word) return Role::Plain;
        if (name == QM_W("p")) return Role::Paragraph;
        if (name == QM_W("t")) return Role::Text;
        if (name == QM_W("tab") || name == QM_W("ptab")) Append(QM_W("\t"));
        if (name == QM_W("br") || name == QM_W("cr")) Append(QM_W("\n"));
        if (name == QM_W("noBreakHyphen")) Append(QM_W("-"));
        if (name == QM_W("del") || name == QM_W("moveFrom")) return Role::Skip;
        if (name == QM_W("body") || name == QM_W("hdr") || name == QM_W("ftr")) return Enter(part_, number_);
        if (name == QM_W("footnote") || name == QM_W("endnote")) {
            // Separators and continuation notices are not notes an author wrote.
            const WString* type = Attribute(attributes, QM_W("type"));
            if (type && *type != QM_W("normal")) return Role::Skip;
            return Enter(name == QM_W("footnote") ? Part::Footnote : Part::Endnote, ++notes_);
        }
        return Role::Plain;
    }

    Part part_;
    unsigned number_;
    unsigned notes_ = 0;
    bool seenRoot_ = false;
};

// OpenDocument: all character data of a paragraph is text, except a note's
// citation mark; spaces and tabs are elements of their own.
class OpenDocumentPartReader : public ParagraphReader {
public:
    explicit OpenDocumentPartReader(std::vector<Paragraph>& out) : ParagraphReader(out) { TextEverywhere(); }

private:
    Role Open(WStringView ns, WStringView name, const std::vector<XmlAttribute>& attributes) override {
        if (ns == kOfficeNs) {
            if (name == QM_W("text")) return Enter(Part::Body, 0);
            if (name == QM_W("annotation")) return Role::Skip;
            return Role::Plain;
        }
        if (ns == kStyleNs) {
            const WStringView n = name;
            if (n == QM_W("header") || n == QM_W("header-left") || n == QM_W("header-first")) {
                return Enter(Part::Header, ++headers_);
            }
            if (n == QM_W("footer") || n == QM_W("footer-left") || n == QM_W("footer-first")) {
                return Enter(Part::Footer, ++footers_);
            }
            return Role::Plain;
        }
        if (ns != kTextNs) return Role::Plain;
        if (name == QM_W("p") || name == QM_W("h")) return Role::Paragraph;
        if (name == QM_W("s")) {
            const WString* count = Attribute(attributes, QM_W("c"));
            size_t spaces = 0;
            for (const WChar c : count ? WStringView(*count) : WStringView()) {
                if (c < '0' || c > '9') break;
                spaces = std::min<size_t>(spaces * 10 + (c - '0'), 64);  // they only separate words here
            }
            Append(WString(std::max<size_t>(spaces, 1), ' '));
        }
        if (name == QM_W("tab")) Append(QM_W("\t"));
        if (name == QM_W("line-break")) Append(QM_W("\n"));
        if (name == QM_W("note-citation") || name == QM_W("tracked-changes")) return Role::Skip;
        if (name == QM_W("note")) {
            const WString* kind = Attribute(attributes, QM_W("note-class"));
            if (kind && *kind == QM_W("endnote")) return Enter(Part::Endnote, ++endnotes_);
            return Enter(Part::Footnote, ++footnotes_);
        }
        return Role::Plain;
    }

    unsigned headers_ = 0;
    unsigned footers_ = 0;
    unsigned footnotes_ = 0;
    unsigned endnotes_ = 0;
};

struct Relationship {
    WString type;
    WString target;
    bool external = false;
};

class RelationshipReader : public XmlHandler {
public:
    void Start(WStringView, WStringView name, const std::vector<XmlAttribute>& attributes) override {
        if (name != QM_W("Relationship")) return;
        Relationship r;
        if (const WString* type = Attribute(attributes, QM_W("Type"))) r.type = *type;
        if (const WString* target = Attribute(attributes, QM_W("Target"))) r.target = *target;
        const WString* mode = Attribute(attributes, QM_W("TargetMode"));
        r.external = mode && *mode == QM_W("External");
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
            const std::string_view segment = from.substr(at, slash - at);
            at = slash + 1;
            if (segment == ".." && !segments.empty()) segments.pop_back();
            if (segment.empty() || segment == "." || segment == "..") continue;
            segments.push_back(decode ? PercentDecoded(segment) : std::string(segment));
        }
    };
    if (!path.starts_with('/')) add(folder, false);
    add(path, true);
    std::string resolved;
    for (const std::string& segment : segments) resolved += (resolved.empty() ? "" : "/") + segment;
    return resolved;
}

void ReadPart(ZipArchive& zip, const std::string& part, XmlHandler& reader) { ParseXml(zip.Read(part), part, reader); }

// header10 after header9: same stem, shorter name first.
bool NaturalLess(const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

void ReadWord(ZipArchive& zip, std::vector<Paragraph>& out) {
    std::string main;
    for (const Relationship& r : ReadRelationships(zip, "_rels/.rels")) {
        if (!r.external && EndsWith(r.type, QM_W("/officeDocument"))) main = ResolveTarget("", r.target);
    }
    if (main.empty()) throw TemplateError{Message::MissingPart, {"word/document.xml"}};
    WordPartReader body(out, Part::Body, 0);
    ReadPart(zip, main, body);

    const size_t slash = main.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : main.substr(0, slash + 1);
    std::map<Part, std::vector<std::string>> parts;
    for (const Relationship& r : ReadRelationships(zip, folder + "_rels/" + main.substr(folder.size()) + ".rels")) {
        if (r.external) continue;
        const std::string target = ResolveTarget(folder, r.target);
        if (EndsWith(r.type, QM_W("/header"))) parts[Part::Header].push_back(target);
        if (EndsWith(r.type, QM_W("/footer"))) parts[Part::Footer].push_back(target);
        if (EndsWith(r.type, QM_W("/footnotes"))) parts[Part::Footnote].push_back(target);
        if (EndsWith(r.type, QM_W("/endnotes"))) parts[Part::Endnote].push_back(target);
    }
    for (auto& [part, names] : parts) {
        std::sort(names.begin(), names.end(), NaturalLess);
        names.erase(std::unique(names.begin(), names.end()), names.end());
        unsigned number = 0;
        for (const std::string& name : names) {
            WordPartReader reader(out, part, ++number);
            ReadPart(zip, name, reader);
        }
    }
}

// An encrypted document keeps its manifest in the clear, and says there
// which parts are encrypted.
class EncryptionFinder : public XmlHandler {
public:
    void Start(WStringView ns, WStringView name, const std::vector<XmlAttribute>&) override {
        encrypted = encrypted || (ns == kManifestNs && name == QM_W("encryption-data"));
    }
    void End() override {}
    void Text(WStringView) override {}

    bool encrypted = false;
};

void ReadOpenDocument(ZipArchive& zip, std::vector<Paragraph>& out) {
    if (const std::string manifest = "META-INF/manifest.xml"; zip.Contains(manifest)) {
        EncryptionFinder finder;
        ReadPart(zip, manifest, finder);
        if (finder.encrypted) throw TemplateError{Message::EncryptedDocument, {}};
    }
    OpenDocumentPartReader content(out);
    ReadPart(zip, "content.xml", content);
    if (zip.Contains("styles.xml")) {
        OpenDocumentPartReader styles(out);
        ReadPart(zip, "styles.xml", styles);
    }
}

}  // namespace

TemplateText ReadTemplateText(std::string_view bytes) {
    if (bytes.starts_with(kCompoundFileMagic)) throw TemplateError{Message::CompoundFile, {}};
    ZipArchive zip(bytes);
    TemplateText text;
    if (zip.Contains("mimetype")) {
        if (!zip.Read("mimetype").starts_with(kOpenDocumentText)) throw TemplateError{Message::NotTextPackage, {}};
        text.format = TemplateFormat::OpenDocument;
        ReadOpenDocument(zip, text.paragraphs);
    } else if (zip.Contains("[Content_Types].xml")) {
        text.format = TemplateFormat::Word;
        ReadWord(zip, text.paragraphs);
    } else {
        throw TemplateError{Message::NotTextPackage, {}};
    }
    std::stable_sort(text.paragraphs.begin(), text.paragraphs.end(),
                     [](const Paragraph& a, const Paragraph& b) { return a.place < b.place; });
    return text;
}

}  // namespace quillmark

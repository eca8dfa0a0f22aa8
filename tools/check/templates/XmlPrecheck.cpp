#include "tools/check/templates/XmlPrecheck.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/check/templates/Xml.h"

namespace quillmark {

namespace {

enum class Encoding { Utf8, Utf16Le, Utf16Be, Latin1, Ascii };

constexpr char32_t kEnd = 0xFFFFFFFF;  // no more input, or a character that the end cuts short
constexpr char32_t kBad = 0xFFFFFFFE;  // bytes that are no character of the encoding

struct Decoded {
    char32_t c;
    size_t next;
};

// Why the scan stopped, and where expat says so.
struct Refusal {
    Message message;
    size_t at;
};

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}
bool IsBlank(char32_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// Beyond ASCII, every letter-like character: the finer rules are the parser's.
bool IsNameStart(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
           (c >= 0xC0 && c != 0xD7 && c != 0xF7 && c <= 0x10FFFF);
}
bool IsNameChar(char32_t c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == 0xB7; }
int Digit(char32_t c, bool hex) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (hex && c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (hex && c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

// Strict UTF-8: no overlong form, no surrogate, nothing past U+10FFFF. A
// sequence that the end cuts short is the end, as expat takes it.
Decoded DecodeUtf8(std::string_view bytes, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned lead = byte(at);
    if (lead < 0x80) return {lead, at + 1};
    size_t length = 0;
    char32_t c = 0;
    unsigned low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : low, high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : low, high = lead == 0xF4 ? 0x8F : high;
    } else {
        return {kBad, at};
    }
    if (bytes.size() - at < length) return {kEnd, at};
    for (size_t i = 1; i < length; ++i) {
        const unsigned next = byte(at + i);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return {kBad, at};
        c = c << 6 | (next & 0x3F);
    }
    return {c, at + length};
}

Decoded DecodeUtf16(std::string_view bytes, size_t at, bool little) {
    const auto unit = [&](size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return little ? b << 8 | a : a << 8 | b;
    };
    if (bytes.size() - at < 2) return {kEnd, at};
    const char32_t first = unit(at);
    if (first < 0xD800 || first > 0xDFFF) return {first, at + 2};
    if (first > 0xDBFF) return {kBad, at};
    if (bytes.size() - at < 4) return {kEnd, at};
    const char32_t second = unit(at + 2);
    if (second < 0xDC00 || second > 0xDFFF) return {kBad, at};
    return {0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00), at + 4};
}

// A tokenizer after expat's: it reads a part as expat does up to the first
// error that a tokenizer sees, and reports it where expat does. A construct
// that the end cuts short is reported at its start; the end of the part
// between constructs, at the end.
class Scanner {
    struct Attribute {
        std::string_view name;  // its bytes
        size_t at;
        std::optional<size_t> badReference;  // the first in its value
        bool empty;                          // its value
        bool blank;                          // in its value
    };

public:
    explicit Scanner(std::string_view bytes) : bytes_(bytes) {}

    void Document() {
        Prolog(false);
        Content();
        Epilog();
    }

    // Up to the root element; with skipDoctype, a document type declaration
    // is read past, and its extent kept.
    void Prolog(bool skipDoctype) {
        DetectEncoding();
        XmlDeclaration();
        for (;;) {
            token_ = at_;
            const char32_t c = Peek().c;
            if (c == kEnd) Cut();
            if (IsBlank(c)) {
                Take();
                continue;
            }
            if (c != '<') Fail(at_);
            Take();
            if (TakeIf('?')) {
                Instruction();
            } else if (TakeIf('!')) {
                if (Peek().c == '-') {
                    Comment();
                } else {
                    Doctype(skipDoctype);
                }
            } else {
                at_ = token_;
                return;
            }
        }
    }

    size_t LineAt(size_t at) const {
        size_t line = 1;
        char32_t previous = 0;
        for (size_t i = start_; i < at;) {
            const Decoded d = Decode(i);
            if (d.c >= kBad) break;
            if (d.c == '\r' || (d.c == '\n' && previous != '\r')) ++line;
            previous = d.c;
            i = d.next;
        }
        return line;
    }

    // The root element's attributes' names; the root's name ends at rootNameEnd().
    std::vector<std::u32string> RootAttributes() {
        std::vector<std::string_view> open;
        token_ = at_;
        Expect("<");
        StartTag(open, false);
        std::vector<std::u32string> names;
        for (const Attribute& attribute : attributes_) names.push_back(Chars(attribute.name));
        return names;
    }

    // The characters in UTF-8, up to the first that is not one.
    std::string Utf8() {
        DetectEncoding();
        std::string out;
        for (Decoded d = Decode(start_); d.c < kBad; d = Decode(d.next)) {
            const char32_t c = d.c;
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else if (c < 0x800) {
                out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
            } else if (c < 0x10000) {
                out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                        static_cast<char>(0x80 | (c & 0x3F))};
            } else {
                out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                        static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
            }
        }
        return out;
    }

    Encoding encoding() const { return encoding_; }
    size_t rootNameEnd() const { return nameEnd_; }
    size_t doctypeStart() const { return doctypeStart_; }
    size_t doctypeEnd() const { return doctypeEnd_; }

private:
    Decoded Decode(size_t at) const {
        if (at >= bytes_.size()) return {kEnd, at};
        switch (encoding_) {
            case Encoding::Utf8:
                return DecodeUtf8(bytes_, at);
            case Encoding::Utf16Le:
            case Encoding::Utf16Be:
                return DecodeUtf16(bytes_, at, encoding_ == Encoding::Utf16Le);
            case Encoding::Latin1:
                return {static_cast<unsigned char>(bytes_[at]), at + 1};
            case Encoding::Ascii:
                break;
        }
        const auto byte = static_cast<unsigned char>(bytes_[at]);
        return {byte < 0x80 ? byte : kBad, at + 1};
    }
    Decoded Peek() const { return Decode(at_); }

    // The next character, which must be one of XML's.
    char32_t Take() {
        const Decoded d = Peek();
        if (d.c == kEnd) Cut();
        if (!IsXmlChar(d.c)) Fail(at_);
        at_ = d.next;
        return d.c;
    }
    bool TakeIf(char32_t c) {
        const Decoded d = Peek();
        if (d.c != c) return false;
        at_ = d.next;
        return true;
    }
    void Expect(std::string_view ascii) {
        for (const char c : ascii) {
            const size_t at = at_;
            if (Take() != static_cast<char32_t>(c)) Fail(at);
        }
    }
    bool SkipBlanks() {
        const size_t from = at_;
        while (IsBlank(Peek().c)) Take();
        return at_ != from;
    }
    void RequireBlanks() {
        const size_t at = at_;
        if (!SkipBlanks()) Take(), Fail(at);
    }
    // A name's bytes, in the part's encoding.
    std::string_view Name() {
        const size_t from = at_;
        if (!IsNameStart(Take())) Fail(from);
        while (IsNameChar(Peek().c)) Take();
        return bytes_.substr(from, at_ - from);
    }
    // An element's or attribute's name, as namespaces allow it: a colon at
    // most, between two names.
    std::string_view QualifiedName() {
        const size_t from = at_;
        bool colon = false;
        for (size_t at = at_;; at = at_) {
            const char32_t c = at == from || Peek().c == ':' ? Take() : Peek().c;
            if (at == from && (!IsNameStart(c) || c == ':')) Fail(at);
            if (at == from) continue;
            if (c == ':') {
                if (colon) Fail(at);
                colon = true;
                const size_t next = at_;
                if (const char32_t after = Take(); !IsNameStart(after) || after == ':') Fail(next);
            } else if (IsNameChar(c)) {
                Take();
            } else {
                break;
            }
        }
        return bytes_.substr(from, at_ - from);
    }
    std::u32string Chars(std::string_view name) const {
        std::u32string text;
        const size_t from = static_cast<size_t>(name.data() - bytes_.data());
        for (size_t i = from; i < from + name.size();) {
            const Decoded d = Decode(i);
            text += d.c;
            i = d.next;
        }
        return text;
    }

    [[noreturn]] void Fail(size_t at) const { throw Refusal{Message::BadXml, at}; }
    [[noreturn]] void Cut() const { throw Refusal{Message::BadXml, token_}; }

    // A mark, or the first characters, tell the encoding; UTF-8 otherwise.
    void DetectEncoding() {
        using namespace std::string_view_literals;
        const auto starts = [&](std::string_view prefix) { return bytes_.starts_with(prefix); };
        if (starts("\xEF\xBB\xBF"sv)) {
            start_ = 3;
        } else if (starts("\xFF\xFE"sv) || starts("<\0"sv)) {
            encoding_ = Encoding::Utf16Le, start_ = starts("<\0"sv) ? 0 : 2;
        } else if (starts("\xFE\xFF"sv) || starts("\0<"sv)) {
            encoding_ = Encoding::Utf16Be, start_ = starts("\0<"sv) ? 0 : 2;
        }
        at_ = start_;
    }

    // version, then encoding and standalone if present, each as name="value".
    // The encoding may be named only as expat knows it: one of the width
    // detected, and one that expat reads.
    void XmlDeclaration() {
        token_ = at_;
        if (!TakeIf('<') || !TakeIf('?') || !TakeIf('x') || !TakeIf('m') || !TakeIf('l') || !IsBlank(Peek().c)) {
            at_ = token_;
            return;
        }
        std::u32string text;
        std::vector<size_t> at;  // each character's, and the closing "?>"'s
        for (;;) {
            at.push_back(at_);
            const char32_t c = Take();
            if (c == '?' && TakeIf('>')) break;
            text += c;
        }
        const auto word = [](char32_t c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
                   c == '-';
        };
        // Pseudo-attributes as expat reads them: after a blank, a name up to
        // '=' or a blank, '=', and a quoted value.
        struct Pseudo {
            std::u32string name, value;
            size_t nameAt = 0, valueAt = 0;
        };
        std::vector<Pseudo> pseudo;
        const auto fail = [&](size_t index) { Fail(at[index]); };
        for (size_t i = 0; i < text.size();) {
            if (!IsBlank(text[i])) fail(i);
            while (i < text.size() && IsBlank(text[i])) ++i;
            if (i == text.size()) break;
            Pseudo& p = pseudo.emplace_back();
            for (p.nameAt = i; i < text.size() && text[i] != '=' && !IsBlank(text[i]); ++i) {
                if (text[i] >= 0x80) fail(i);
            }
            p.name = text.substr(p.nameAt, i - p.nameAt);
            while (i < text.size() && IsBlank(text[i])) ++i;
            if (i == text.size() || text[i] != '=') fail(i);
            for (++i; i < text.size() && IsBlank(text[i]);) ++i;
            if (i == text.size() || (text[i] != '"' && text[i] != '\'')) fail(i);
            const char32_t quote = text[i++];
            for (p.valueAt = i; i < text.size() && text[i] != quote; ++i) {
                if (!word(text[i])) fail(i);
            }
            if (i == text.size()) fail(i);
            p.value = text.substr(p.valueAt, i++ - p.valueAt);
        }
        // version, then encoding and standalone if present.
        size_t k = 0;
        if (k == pseudo.size() || pseudo[k].name != U"version")
            fail(k < pseudo.size() ? pseudo[k].nameAt : text.size());
        const Pseudo* encoding = ++k < pseudo.size() && pseudo[k].name == U"encoding" ? &pseudo[k++] : nullptr;
        if (encoding &&
            !(!encoding->value.empty() && (encoding->value[0] | 0x20) >= 'a' && (encoding->value[0] | 0x20) <= 'z')) {
            fail(encoding->valueAt);
        }
        if (k < pseudo.size() && pseudo[k].name == U"standalone") {
            if (pseudo[k].value != U"yes" && pseudo[k].value != U"no") fail(pseudo[k].valueAt);
            ++k;
        }
        if (k < pseudo.size()) fail(pseudo[k].nameAt);
        if (!encoding) return;
        const size_t encodingAt = at[encoding->valueAt];
        std::u32string name = encoding->value;
        for (char32_t& c : name) c = c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
        const bool wide = encoding_ == Encoding::Utf16Le || encoding_ == Encoding::Utf16Be;
        const bool fits = name == U"UTF-16"     ? wide
                          : name == U"UTF-16LE" ? encoding_ == Encoding::Utf16Le
                          : name == U"UTF-16BE"
                              ? encoding_ == Encoding::Utf16Be
                              : !wide && (name == U"UTF-8" || name == U"ISO-8859-1" || name == U"US-ASCII");
        if (!fits) Fail(encodingAt);
        if (name == U"ISO-8859-1") encoding_ = Encoding::Latin1;
        if (name == U"US-ASCII") encoding_ = Encoding::Ascii;
    }

    // After "<?": a target that is not "xml", and anything up to "?>".
    void Instruction() {
        const std::u32string target = Chars(Name());
        if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' && (target[2] | 0x20) == 'l') {
            Fail(token_);
        }
        if (TakeIf('?')) return Expect(">");
        RequireBlanks();
        for (;;) {
            if (Take() == '?' && TakeIf('>')) return;
        }
    }

    // After "<!": "--", then anything without "--" up to "-->".
    void Comment() {
        Expect("--");
        for (;;) {
            if (Take() != '-' || Take() != '-') continue;
            return Expect(">");
        }
    }

    // After "<![CDATA[": anything up to "]]>".
    void CharacterData() {
        for (;;) {
            token_ = at_;
            if (Take() == ']' && Peek().c == ']') {
                Take();
                while (TakeIf(']')) {
                }
                if (TakeIf('>')) return;
            }
        }
    }

    // After "<!": expat reports a DTD once it reads the declaration to its
    // '[' or '>'. Skipped, the declaration's internal subset is read too.
    void Doctype(bool skip) {
        doctypeStart_ = token_;
        Expect("DOCTYPE");
        RequireBlanks();
        token_ = at_;
        Name();
        token_ = at_;
        if (SkipBlanks() && IsNameStart(Peek().c)) {
            token_ = at_;
            const std::u32string keyword = Chars(Name());
            if (keyword != U"SYSTEM" && keyword != U"PUBLIC") Fail(token_);
            for (int literals = keyword == U"PUBLIC" ? 2 : 1; literals > 0; --literals) {
                token_ = at_;
                RequireBlanks();
                token_ = at_;
                Literal(keyword == U"PUBLIC" && literals == 2);
            }
            token_ = at_;
            SkipBlanks();
        }
        token_ = at_;
        const bool subset = TakeIf('[');
        if (!subset) Expect(">");
        if (!skip) throw Refusal{Message::XmlDoctype, doctypeStart_};
        if (subset) InternalSubset();
        doctypeEnd_ = at_;
    }
    // A public identifier holds only letters, digits, blanks and some marks.
    void Literal(bool publicId = false) {
        const size_t at = at_;
        const char32_t quote = Take();
        if (quote != '"' && quote != '\'') Fail(at);
        for (size_t charAt = at_;; charAt = at_) {
            const char32_t c = Take();
            if (c == quote) return;
            const bool pubid = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                               (c < 0x80 && std::string_view(" \r\n-'()+,./:=?;!*#@$_%").find(static_cast<char>(c)) !=
                                                std::string_view::npos);
            if (publicId && !pubid) Fail(charAt);
        }
    }
    // Declarations up to "]", then ">": literals, comments and instructions
    // may hold either.
    void InternalSubset() {
        for (;;) {
            token_ = at_;
            const char32_t c = Peek().c;
            if (c == '"' || c == '\'') {
                Literal();
            } else if (TakeIf('<')) {
                if (TakeIf('?')) {
                    Instruction();
                } else if (TakeIf('!') && Peek().c == '-') {
                    Comment();
                }
            } else if (Take() == ']') {
                SkipBlanks();
                return Expect(">");
            }
        }
    }

    // After "&": a character reference to one of XML's characters, or one of
    // the five entities that need no DTD. An attribute's reference is checked
    // once its tag is read: where it is bad is returned.
    std::optional<size_t> Reference() {
        referred_ = 0;
        const size_t at = at_ - Width('&');
        if (TakeIf('#')) {
            const bool hex = TakeIf('x');
            char32_t value = 0;
            for (size_t digits = 0;; ++digits) {
                const size_t digitAt = at_;
                const char32_t c = Take();
                if (c == ';' && digits > 0) break;
                const int digit = Digit(c, hex);
                if (digit < 0) Fail(digitAt);
                value = std::min<char32_t>(value * (hex ? 16 : 10) + digit, 0x110000);
            }
            if (!IsXmlChar(value)) return at;
            referred_ = value;
            return std::nullopt;
        }
        const std::u32string name = Chars(Name());
        const size_t semicolon = at_;
        if (Take() != ';') Fail(semicolon);
        if (name == U"lt" || name == U"gt" || name == U"amp" || name == U"apos" || name == U"quot") return std::nullopt;
        return at;
    }
    size_t Width(char32_t c) const {
        return encoding_ == Encoding::Utf16Le || encoding_ == Encoding::Utf16Be ? 2 * (c < 0x10000 ? 1 : 2) : 1;
    }

    // After "<": a name, attributes with quoted values, then ">" or "/>".
    // Its namespaces are checked unless the root's are to be supplied.
    void StartTag(std::vector<std::string_view>& open, bool namespaces = true) {
        const std::string_view name = QualifiedName();
        nameEnd_ = at_;
        attributes_.clear();
        bool empty = false;
        for (;;) {
            const bool blank = SkipBlanks();
            if (TakeIf('>')) break;
            if (TakeIf('/')) {
                Expect(">");
                empty = true;
                break;
            }
            if (!blank) {
                const size_t at = at_;
                Take();
                Fail(at);
            }
            Attribute& attribute = attributes_.emplace_back(Attribute{{}, at_, std::nullopt, true, false});
            attribute.name = QualifiedName();
            SkipBlanks();
            Expect("=");
            SkipBlanks();
            const size_t quoteAt = at_;
            const char32_t quote = Take();
            if (quote != '"' && quote != '\'') Fail(quoteAt);
            for (char32_t c = Take(); c != quote; c = Take()) {
                attribute.empty = false;
                attribute.blank = attribute.blank || IsBlank(c);
                if (c == '<') Fail(at_ - Width(c));
                if (c != '&') continue;
                const std::optional<size_t> bad = Reference();
                if (!attribute.badReference) attribute.badReference = bad;
                attribute.blank = attribute.blank || referred_ == ' ';
            }
        }
        CheckAttributes(name, namespaces, open.size() + 1);
        if (open.size() + 1 > kMaxXmlDepth) throw Refusal{Message::XmlTooDeep, token_};
        if (empty) {
            Unbind(open.size());
        } else {
            open.push_back(name);
        }
    }

    // As expat: each attribute in turn repeats no earlier one's name, refers
    // to nothing undeclared, and, declaring a namespace, holds no blank (which
    // expat joins a namespace and a name with) nor empties a prefix; then
    // every prefix is declared, on the element or around it.
    void CheckAttributes(std::string_view element, bool namespaces, size_t depth) {
        order_.resize(attributes_.size());
        for (size_t i = 0; i < order_.size(); ++i) order_[i] = i;
        std::stable_sort(order_.begin(), order_.end(),
                         [&](size_t a, size_t b) { return attributes_[a].name < attributes_[b].name; });
        repeats_.assign(attributes_.size(), false);
        for (size_t i = 1; i < order_.size(); ++i) {
            repeats_[order_[i]] = attributes_[order_[i]].name == attributes_[order_[i - 1]].name;
        }
        for (size_t i = 0; i < attributes_.size(); ++i) {
            const Attribute& attribute = attributes_[i];
            if (repeats_[i]) Fail(attribute.at);
            if (attribute.badReference) Fail(token_);
            if (!namespaces) continue;
            const std::u32string name = Chars(attribute.name);
            if (attribute.blank && (name == U"xmlns" || name.starts_with(U"xmlns:"))) Fail(token_);
            if (!name.starts_with(U"xmlns:")) continue;
            if (attribute.empty) Fail(token_);
            ++prefixes_[name.substr(6)];
            scopes_.emplace_back(name.substr(6), depth);
        }
        const auto bound = [&](const std::u32string& name) {
            const size_t colon = name.find(':');
            if (colon == std::u32string::npos) return true;
            const std::u32string prefix = name.substr(0, colon);
            return prefix == U"xml" || prefix == U"xmlns" || prefixes_[prefix] > 0;
        };
        if (!namespaces) return;
        if (!bound(Chars(element))) Fail(token_);
        for (const Attribute& attribute : attributes_) {
            if (!bound(Chars(attribute.name))) Fail(token_);
        }
    }
    // The prefixes declared deeper than depth go out of scope.
    void Unbind(size_t depth) {
        for (; !scopes_.empty() && scopes_.back().second > depth; scopes_.pop_back()) --prefixes_[scopes_.back().first];
    }

    // After "</": the open element's name, then ">".
    void EndTag(std::vector<std::string_view>& open) {
        const size_t at = at_;
        const std::string_view name = QualifiedName();
        SkipBlanks();
        Expect(">");
        if (name != open.back()) Fail(at);
        open.pop_back();
        Unbind(open.size());
    }

    void Content() {
        std::vector<std::string_view> open;
        token_ = at_;
        Expect("<");
        StartTag(open);
        while (!open.empty()) {
            token_ = at_;
            const char32_t c = Take();
            if (c == '&') {
                if (const std::optional<size_t> bad = Reference()) Fail(*bad);
            } else if (c == ']' && Peek().c == ']') {
                const size_t at = at_;
                Take();
                if (Peek().c == '>') Fail(at);
                at_ = at;
            } else if (c == '<') {
                if (TakeIf('/')) {
                    EndTag(open);
                } else if (TakeIf('?')) {
                    Instruction();
                } else if (TakeIf('!')) {
                    if (Peek().c == '-') {
                        Comment();
                    } else {
                        Expect("[CDATA[");
                        CharacterData();
                    }
                } else {
                    StartTag(open);
                }
            }
        }
    }

    // After the root element: blanks, comments and instructions only.
    void Epilog() {
        for (;;) {
            token_ = at_;
            const Decoded d = Peek();
            if (d.c == kEnd) {
                if (at_ < bytes_.size()) Cut();
                return;
            }
            if (IsBlank(d.c)) {
                Take();
                continue;
            }
            if (d.c != '<') Fail(at_);
            Take();
            if (TakeIf('?')) {
                Instruction();
            } else if (TakeIf('!') && Peek().c == '-') {
                Comment();
            } else {
                if (Peek().c == kEnd) Cut();
                Fail(token_);
            }
        }
    }

    std::string_view bytes_;
    Encoding encoding_ = Encoding::Utf8;
    size_t start_ = 0;  // after the byte order mark
    size_t at_ = 0;
    size_t token_ = 0;  // where the construct being read starts
    size_t doctypeStart_ = 0;
    size_t doctypeEnd_ = 0;              // 0 while there is none
    size_t nameEnd_ = 0;                 // of the last start tag's name
    std::vector<Attribute> attributes_;  // the last start tag's
    std::vector<size_t> order_;
    std::vector<bool> repeats_;
    char32_t referred_ = 0;  // the character that the last reference stands for, if it is one to a character
    std::map<std::u32string, size_t> prefixes_;              // each declared prefix, with how often it is
    std::vector<std::pair<std::u32string, size_t>> scopes_;  // and the depth of each declaration
};

}  // namespace

std::optional<TemplateError> PrecheckXml(std::string_view bytes, const std::string& part) {
    Scanner scanner(bytes);
    try {
        scanner.Document();
        return std::nullopt;
    } catch (const Refusal& refusal) {
        const std::string line = std::to_string(scanner.LineAt(refusal.at));
        switch (refusal.message) {
            case Message::XmlDoctype:
                return TemplateError{refusal.message, {part}};
            case Message::XmlTooDeep:
                return TemplateError{refusal.message, {part, std::to_string(kMaxXmlDepth), line}};
            default:
                return TemplateError{Message::BadXml, {part, line}};
        }
    }
}

std::string WithoutDoctype(std::string_view bytes, std::string_view attribute, std::string_view value) {
    Scanner scanner(bytes);
    std::vector<std::u32string> attributes;
    try {
        scanner.Prolog(true);
        if (scanner.doctypeEnd() == 0) return std::string(bytes);
        attributes = scanner.RootAttributes();
    } catch (const Refusal&) {
        return std::string(bytes);
    }
    const Encoding encoding = scanner.encoding();
    const bool wide = encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be;
    // ASCII in the part's encoding.
    const auto encoded = [&](std::string_view ascii) {
        std::string out;
        for (const char c : ascii) {
            out += !wide                           ? std::string(1, c)
                   : encoding == Encoding::Utf16Le ? std::string{c, '\0'}
                                                   : std::string{'\0', c};
        }
        return out;
    };
    std::string blanked(bytes);
    if (!attribute.empty() && std::find(attributes.begin(), attributes.end(),
                                        std::u32string(attribute.begin(), attribute.end())) == attributes.end()) {
        std::string added(" ");
        added.append(attribute).append("=\"").append(value).append("\"");
        blanked.insert(scanner.rootNameEnd(), encoded(added));
    }
    for (size_t i = scanner.doctypeStart(); i < scanner.doctypeEnd(); i += wide ? 2 : 1) {
        const std::string unit = blanked.substr(i, wide ? 2 : 1);
        if (unit != encoded("\n") && unit != encoded("\r")) blanked.replace(i, unit.size(), encoded(" "));
    }
    return blanked;
}

std::optional<std::string> Utf16AsUtf8(std::string_view bytes) {
    Scanner scanner(bytes);
    std::string text = scanner.Utf8();
    if (scanner.encoding() != Encoding::Utf16Le && scanner.encoding() != Encoding::Utf16Be) return std::nullopt;
    const size_t end = text.starts_with("<?xml") ? text.find("?>") : 0;
    const size_t key = text.find("encoding", 5);
    if (end != std::string::npos && key < end) {
        const size_t quote = text.find_first_of("\"'", key);
        text.replace(key, text.find(text[quote], quote + 1) + 1 - key, text.find(text[quote], quote + 1) + 1 - key,
                     ' ');
    }
    return text;
}

}  // namespace quillmark

#include "tools/check/templates/XmlCursor.h"

#include <algorithm>

namespace quillmark {

namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Only UTF-8 parts are followed: no writer of ours re-encodes a part.
bool DeclaresUtf8(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
        bytes.starts_with(std::string_view("<\0", 2)) || bytes.starts_with(std::string_view("\0<", 2))) {
        return false;
    }
    if (!bytes.starts_with("<?xml")) return true;
    const std::string_view declaration = bytes.substr(0, bytes.find("?>"));
    const size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) return true;
    const size_t quote = declaration.find_first_of("\"'", at);
    if (quote == std::string_view::npos) return false;
    const size_t close = declaration.find(declaration[quote], quote + 1);
    if (close == std::string_view::npos) return false;
    const std::string_view name = declaration.substr(quote + 1, close - quote - 1);
    return name.size() == 5 &&
           std::equal(name.begin(), name.end(), "utf-8", [](char a, char b) { return Lower(a) == b; });
}

// The UTF-16 units of a code point, into out; how many.
size_t EncodeUtf16(char32_t c, WChar out[2]) {
    if (c < 0x10000) {
        out[0] = static_cast<WChar>(c);
        return 1;
    }
    c -= 0x10000;
    out[0] = static_cast<WChar>(0xD800 + (c >> 10));
    out[1] = static_cast<WChar>(0xDC00 + (c & 0x3FF));
    return 2;
}

// The character that a reference's name between "&" and ";" stands for, or
// 0x110000 when it is none.
char32_t ReferencedCharacter(std::string_view name) {
    constexpr char32_t kNone = 0x110000;
    if (name == "lt") return '<';
    if (name == "gt") return '>';
    if (name == "amp") return '&';
    if (name == "apos") return '\'';
    if (name == "quot") return '"';
    if (name.size() < 2 || name[0] != '#') return kNone;
    const bool hex = name[1] == 'x';
    char32_t value = 0;
    for (const char c : name.substr(hex ? 2 : 1)) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0 || value > kNone) return kNone;
        value = value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    }
    return value;
}

}  // namespace

XmlCursor::XmlCursor(std::string_view bytes) : bytes_(bytes) {
    if (!DeclaresUtf8(bytes_)) Lose();
    if (At("\xEF\xBB\xBF")) at_ = 3;
}

void XmlCursor::SkipComments() {
    while (at_ + 1 < bytes_.size() && bytes_[at_] == '<' && (bytes_[at_ + 1] == '!' || bytes_[at_ + 1] == '?')) {
        std::string_view close;
        if (At("<!--")) {
            close = "-->";
        } else if (At("<?")) {
            close = "?>";
        } else {
            return;
        }
        const size_t end = bytes_.find(close, at_ + 2);
        if (end == std::string_view::npos) {
            Lose();
            return;
        }
        at_ = end + close.size();
    }
}

bool XmlCursor::SkipBlanks() {
    const size_t from = at_;
    while (at_ < bytes_.size() && IsXmlSpace(bytes_[at_])) ++at_;
    return at_ != from;
}

// Past the ">" that ends the tag; a ">" in an attribute's value does not.
void XmlCursor::SkipTag() {
    char quote = 0;
    for (; at_ < bytes_.size(); ++at_) {
        const char c = bytes_[at_];
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            ++at_;
            return;
        }
    }
    Lose();
}

XmlSource XmlCursor::Start(WStringView name) {
    if (lost_) return {};
    do {
        SkipComments();
    } while (!lost_ && SkipBlanks());
    if (lost_ || !At("<") || at_ + 1 >= bytes_.size() ||
        std::string_view("/!?").find(bytes_[at_ + 1]) != std::string_view::npos) {
        Lose();
        return {};
    }
    const size_t begin = at_;
    size_t nameEnd = at_ + 1;
    while (nameEnd < bytes_.size() && !IsXmlSpace(bytes_[nameEnd]) && bytes_[nameEnd] != '/' &&
           bytes_[nameEnd] != '>') {
        ++nameEnd;
    }
    std::string_view qualified = bytes_.substr(at_ + 1, nameEnd - at_ - 1);
    if (const size_t colon = qualified.rfind(':'); colon != std::string_view::npos) qualified.remove_prefix(colon + 1);
    const bool ascii = std::all_of(name.begin(), name.end(), [](WChar c) { return c < 0x80; });
    const bool same = ascii ? std::equal(qualified.begin(), qualified.end(), name.begin(), name.end(),
                                         [](char a, WChar b) { return static_cast<unsigned char>(a) == b; })
                            : qualified == ToUtf8(name);
    if (!same) {
        Lose();
        return {};
    }
    SkipTag();
    if (lost_) return {};
    selfClosed_ = bytes_[at_ - 2] == '/';
    return {begin, at_, false};
}

void XmlCursor::End() {
    if (lost_) return;
    if (selfClosed_) {
        selfClosed_ = false;
        return;
    }
    do {
        SkipComments();
    } while (!lost_ && SkipBlanks());
    if (lost_ || !At("</")) {
        Lose();
        return;
    }
    SkipTag();
}

// Most text is ASCII that stands for itself: taken a run at a time.
bool XmlCursor::ConsumeAscii(WStringView text, size_t& i) {
    const size_t from = i;
    while (i < text.size() && at_ < bytes_.size() && text[i] < 0x80 && bytes_[at_] == static_cast<char>(text[i]) &&
           bytes_[at_] != '&' && bytes_[at_] != '<' && bytes_[at_] != '\r' && bytes_[at_] != ']') {
        ++i;
        ++at_;
    }
    return i != from;
}

// One character of the text at i from the bytes at the cursor: as UTF-8,
// a reference or a line end. False when the bytes say something else.
bool XmlCursor::ConsumeCharacter(WStringView text, size_t& i, bool& verbatim) {
    if (at_ >= bytes_.size()) return false;
    const auto matches = [&](char32_t c, size_t length) {
        WChar units[2];
        const size_t count = EncodeUtf16(c, units);
        if (text.substr(i, count) != WStringView(units, count)) return false;
        i += count;
        at_ += length;
        return true;
    };
    const auto lead = static_cast<unsigned char>(bytes_[at_]);
    if (!inCdata_ && lead == '<') return false;
    if (!inCdata_ && lead == '&') {
        const size_t semicolon = bytes_.find(';', at_);
        if (semicolon == std::string_view::npos || semicolon - at_ > 12) return false;
        verbatim = false;
        return matches(ReferencedCharacter(bytes_.substr(at_ + 1, semicolon - at_ - 1)), semicolon + 1 - at_);
    }
    if (lead == '\r') {
        verbatim = false;
        return matches('\n', At("\r\n") ? 2 : 1);
    }
    verbatim = true;
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || length > bytes_.size() - at_) return false;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes_[at_ + k]);
        if ((next & 0xC0) != 0x80) return false;
        c = c << 6 | (next & 0x3F);
    }
    return matches(c, length);
}

const std::vector<XmlTextUnit>& XmlCursor::Text(WStringView text) {
    std::vector<XmlTextUnit>& units = units_;
    units.clear();
    size_t i = 0;
    while (i < text.size() && !lost_) {
        if (inCdata_ && At("]]>")) {
            at_ += 3;
            inCdata_ = false;
            continue;
        }
        if (!inCdata_) {
            SkipComments();
            if (At("<![CDATA[")) {
                at_ += 9;
                inCdata_ = true;
            }
        }
        const size_t from = at_;
        const size_t fromText = i;
        bool verbatim = ConsumeAscii(text, i);
        if (!verbatim && !ConsumeCharacter(text, i, verbatim)) {
            Lose();
            break;
        }
        // Text in CDATA would need escaping of its own: it is read, never changed.
        XmlSource source = inCdata_ ? XmlSource{} : XmlSource{from, at_, verbatim};
        XmlTextUnit* last = units.empty() ? nullptr : &units.back();
        const bool joins = last && ((verbatim && !inCdata_ && last->source.verbatim && last->source.end == from) ||
                                    (inCdata_ && !last->source.Known()));
        if (joins) {
            last->length += i - fromText;
            last->source.end = source.end;
        } else {
            units.push_back({i - fromText, source});
        }
    }
    if (i < text.size()) units.push_back({text.size() - i, {}});
    return units;
}

}  // namespace quillmark

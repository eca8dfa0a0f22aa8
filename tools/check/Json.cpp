#include "tools/check/Json.h"

#include <cstdio>

#include "tools/check/Messages.h"

namespace quillmark {

void AppendJsonString(std::string& out, WStringView text) {
    out += '"';
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned>(text[i]);
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool pairs = high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        char escape[8];
        if (pairs) {
            out += ToUtf8(WStringView(text).substr(i, 2));
            ++i;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0xD800 && c <= 0xDFFF)) {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += ToUtf8(WStringView(text).substr(i, 1));
        }
    }
    out += '"';
}

void AppendJsonPath(std::string& out, WStringView path) { AppendJsonString(out, SpeltName(path)); }

std::string JsonStringArray(const std::vector<WString>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ",";
        AppendJsonString(out, items[i]);
    }
    return out + "]";
}

}  // namespace quillmark

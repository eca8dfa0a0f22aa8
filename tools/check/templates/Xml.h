// Just enough XML for a template's parts: elements by namespace and local
// name, their attributes, and their text with entities expanded.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/Text.h"
#include "tools/check/templates/XmlCursor.h"

namespace quillmark {

struct XmlAttribute {
    WString ns;
    WString name;
    WString value;
};

class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    virtual void Start(WStringView ns, WStringView name, const std::vector<XmlAttribute>& attributes) = 0;
    virtual void End() = 0;
    virtual void Text(WStringView text) = 0;

    // Whether this handler asks where its events stand: following the bytes
    // costs a parse a sixth of its time.
    virtual bool WantsSource() const { return false; }
    // Where the event being handled stands in the part, when known and
    // wanted: the start tag in Start(), the text's own bytes in Text().
    const XmlSource& Source() const { return source_; }
    // For the parser, before each event.
    void SetSource(const XmlSource& source) { source_ = source; }

private:
    XmlSource source_;
};

// XmlLite's own default; expat is held to it too, so that a template reads
// alike on Windows and Linux.
constexpr size_t kMaxXmlDepth = 256;

// Parses one part of a package. A document with a DTD is refused, so no
// entity can expand beyond the predefined ones and character references.
// Elements nested deeper than kMaxXmlDepth are refused. Throws TemplateError
// naming the part; a part that is not well-formed is reported as such even
// when the handler refused it first.
void ParseXml(std::string_view bytes, const std::string& part, XmlHandler& handler);

}  // namespace quillmark

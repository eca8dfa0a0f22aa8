// Just enough XML for a template's parts: elements by namespace and local
// name, their attributes, and their text with entities expanded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/Text.h"

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
};

// Parses one part of a package. A document with a DTD is refused, so no
// entity can expand beyond the predefined ones and character references.
// Throws TemplateError naming the part.
void ParseXml(std::string_view bytes, const std::string& part, XmlHandler& handler);

}  // namespace quillmark

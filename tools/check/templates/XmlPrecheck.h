// What a part's XML is refused for before a parser sees it. A parser that
// loops or aborts on a part cut short (as Wine's XmlLite does) never gets
// one, and both editions refuse such a part alike.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/check/templates/TemplateError.h"

namespace quillmark {

// The error expat gives a part that is cut short, bad in its encoding
// (or in one that expat does not know), without a root element, or broken
// in its markup where a tokenizer sees it: BadXml at expat's line, XmlDoctype
// for a document type declaration that expat reads up to its '[' or '>'
// first, XmlTooDeep where elements nest deeper than kMaxXmlDepth. Nothing when
// the part's characters, tags and references are sound; what lies beyond
// them (duplicate attributes, namespaces) is the parser's to check.
std::optional<TemplateError> PrecheckXml(std::string_view bytes, const std::string& part);

// The part with its document type declaration, internal subset and all,
// blanked out in its own encoding, line breaks kept: for a part read only for
// its elements, whose DTD is then neither refused nor expanded. Where there
// was one, the root element gets the attribute that the DTD fixes for it
// (such as a namespace that the part leaves undeclared), unless it has it.
// The part as it is when it has no declaration, or is broken before the root
// element's tag ends.
std::string WithoutDoctype(std::string_view bytes, std::string_view attribute = {}, std::string_view value = {});

// A part in UTF-16, sound as PrecheckXml found it, in UTF-8, its
// declaration no longer naming an encoding; nothing for a part in another.
std::optional<std::string> Utf16AsUtf8(std::string_view bytes);

}  // namespace quillmark

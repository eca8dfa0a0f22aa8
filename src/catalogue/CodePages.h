// Legacy code pages served by portable code, for the native build and for
// checking the Windows conversion against.
#pragma once

#include <string_view>

#include "common/Buffer.h"
#include "common/Text.h"

namespace quillmark {

constexpr unsigned kUtf8CodePage = 65001;
constexpr unsigned kDefaultLegacyCodePage = 1251;  // the six kinds are Cyrillic

bool IsSupportedLegacyCodePage(unsigned codePage);

// Every byte sequence yields text; nothing is rejected. 65001 decodes UTF-8
// leniently (U+FFFD for malformed input), as a code page conversion does.
Buffer<WChar> DecodeLegacy(std::string_view bytes, unsigned codePage);

}  // namespace quillmark

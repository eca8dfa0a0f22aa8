#pragma once

#include "common/Exception.h"
#include "common/Text.h"

namespace quillmark {

// Cannot open file "<full path>". <system reason>
Exception FileOpenError(const WString& path, unsigned long systemError);

// Removes every trailing U+0000..U+0020 and full stop.
WString WithoutTrailingBlanksAndStops(WString text);

}  // namespace quillmark

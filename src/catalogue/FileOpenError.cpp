#include "catalogue/FileOpenError.h"

#include "catalogue/Platform.h"
#include "catalogue/TextRules.h"

namespace quillmark {

WString WithoutTrailingBlanksAndStops(WString text) {
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '.')) text.pop_back();
    return text;
}

Exception FileOpenError(const WString& path, unsigned long systemError) {
    return Exception(QM_W("Cannot open file \"") + platform::FullPath(path) + QM_W("\". ") +
                     platform::SystemErrorText(systemError));
}

}  // namespace quillmark

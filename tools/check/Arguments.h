// What the command line's template arguments stand for. A folder stands for
// the templates in it and in its subfolders; on Windows, where no shell
// expands patterns, a pattern stands for the templates that match it.
#pragma once

#include <optional>
#include <vector>

#include "common/Text.h"
#include "tools/check/Messages.h"

namespace quillmark {

// A template to read, or an argument that stands for none, and why.
struct TemplateArgument {
    WString path;
    std::optional<Message> problem;
};

// Whether an argument names a template (or a binary Word file), by its extension.
bool IsTemplatePath(WStringView path);

// The kind of calculation that a name means, if any.
std::optional<WString> FindKind(WStringView name);

// A template's name, a pattern, a folder, or a package (zip, or a binary Word
// file) under any other name.
bool CannotBeACatalogue(const WString& argument);

// A template's name, a pattern, a folder or any file there is: an argument
// that cannot be a section's name.
bool NamesAFile(const WString& argument);

// Each argument's templates in order: a folder's in the order of their paths,
// a pattern's in the order of their names. Word's owner files (~$name.docx)
// and LibreOffice's lock files (.~lock.name.odt#) are left out, also when
// named one by one, unless nothing else is left.
std::vector<TemplateArgument> ExpandTemplateArguments(const std::vector<WString>& arguments);

}  // namespace quillmark

// quillmark-check's texts in English and in Russian, the authors' language.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "common/Text.h"

namespace quillmark {

enum class Language { English, Russian };

// Russian when the user's language is Russian: the user's UI language on
// Windows, LC_ALL, LC_MESSAGES or LANG elsewhere.
Language UserLanguage();

enum class Message {
    Usage,
    NeedsValue,
    UnsupportedCodePage,
    UnknownOption,
    WrongArgumentCount,
    Warning,
    NoFile,
    MalformedUtf8,
    Utf16Le,
    Utf16Be,
    Utf8,
    AnsiCodePage,
    UnmarkedNonAscii,
    LooksLikeUtf8,
    NulEndsText,
    TextAfterBracket,
    BeforeFirstSection,
    EmptyCodeStartsWithEquals,
    EmptyCodeWithoutEquals,
    RepeatedCode,
    RepeatedSection,
    UnknownKind,
    MissingKind,
    FileLine,
    EncodingLine,
    SectionsLine,
    SectionLine,
    OneCode,
    FewCodes,
    ManyCodes,
    NotListed,
    NoWarnings,
    WarningCount,
    KindNeedsValue,
    NotAKind,
    Error,
    CompoundFile,
    NotZip,
    ZipDirectoryDamaged,
    ZipEntryDamaged,
    EncryptedEntry,
    UnsupportedMethod,
    UnpacksTooBig,
    MissingPart,
    NotTextPackage,
    BadXml,
    XmlDoctype,
    XmlTooDeep,
    EncryptedDocument,
    TemplateUnreadable,
    TemplateLine,
    ParagraphsLine,
    CodesUsedLine,
    PlaceBody,
    PlaceHeader,
    PlaceHeaderFirst,
    PlaceHeaderEven,
    PlaceFooter,
    PlaceFooterFirst,
    PlaceFooterEven,
    PlaceFootnote,
    PlaceEndnote,
    UnknownCode,
    DidYouMean,
    OtherKindCode,
    UnusedHeading,
    ErrorCount,
    FileTooBig,
    CatalogueLine,
    NotATemplate,
    NoTemplateMatches,
    NoTemplateInFolder,
    FolderNotRead,
    LockFile,
    UnknownSection,
    PressAnyKey,
    CannotRewrite,
    RenameNeedsValue,
    RenameNotACode,
    FixNeedsTemplates,
    Change,
    ChangedTo,
    WouldChangeTo,
    NotChangedHere,
    TemplateOpen,
    Signed,
    ReadOnly,
    ChangedOnDisk,
    WriteFailed,
    ReadBackDiffers,
    DryRun,
    ChangeCount,
    Count
};

// The text with {1}, {2}... replaced by the arguments.
std::string Say(Language language, Message message, std::initializer_list<std::string> arguments = {});
std::string Say(Language language, Message message, const std::vector<std::string>& arguments);
// A code, token or section in double quotes, escaped as in C: \" and \\, and
// a character that does not print or passes for another as \u00AD, so that
// what stands between the quotes is exactly the text.
std::string Quoted(WStringView text);
// Text from a file, such as a part's name, with what does not print escaped
// as in Quoted: no control character from a file reaches the terminal.
std::string Shown(WStringView text);
// A name from the file system with each byte that is not UTF-8 (kept as
// FromNativePath keeps it, where names are bytes) spelt \xNN.
WString SpeltName(WStringView name);
// A name from the file system, or a text that holds one, spelt and escaped
// as Shown escapes: no file name sets a terminal's title.
std::string ShownName(WStringView name);
// A file's path in double quotes, shown as ShownName shows it.
std::string QuotedPath(WStringView path);
// "N code(s)" with the plural the language wants.
std::string Codes(Language language, size_t count);
// The text itself, placeholders unreplaced.
const char* Pattern(Language language, Message message);

}  // namespace quillmark

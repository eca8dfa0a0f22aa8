#include "tools/check/Checker.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <optional>

#include "catalogue/CodePages.h"
#include "catalogue/Decoding.h"
#include "catalogue/Kinds.h"
#include "catalogue/Platform.h"
#include "catalogue/TemplateCatalogue.h"
#include "catalogue/TextRules.h"
#include "common/Exception.h"
#include "tools/check/Arguments.h"
#include "tools/check/Json.h"
#include "tools/check/Messages.h"
#include "tools/check/TemplateReport.h"

namespace quillmark {

namespace {

// What the arguments ask for, and of which catalogue.
struct Task {
    enum class Kind { CatalogueReport, SectionCodes, Templates } kind = Kind::CatalogueReport;
    WString catalogue;
    std::vector<WString> rest;  // the section, or the template arguments
};

struct Options {
    bool json = false;
    FixRequest fix;
    unsigned codePage = 0;
    std::optional<WString> kind;
    std::vector<WString> positional;
    Task task;
};

// The catalogue comes first, unless the first argument stands for templates
// or is a package (or there is none): then it is params.ini beside the
// program, as Quillmark reads it. A section is told from templates (and from a slip) by being no
// file; once one argument after the catalogue names a file, all of them are
// templates.
std::optional<Task> PlaceArguments(const Options& options) {
    const std::vector<WString>& p = options.positional;
    const bool plain = !options.json && !options.kind && !options.fix.Any() && !options.fix.dryRun;
    if (options.json && !options.kind && !options.fix.Any() && p.size() == 2 && !NamesAFile(p[1])) {
        return Task{Task::Kind::SectionCodes, p[0], {p[1]}};
    }
    const bool templatesFirst = !p.empty() && CannotBeACatalogue(p[0]);
    if (p.empty() || (p.size() == 1 && !templatesFirst)) {
        if (!plain) return std::nullopt;
        return Task{Task::Kind::CatalogueReport, p.empty() ? CataloguePath() : p[0], {}};
    }
    if (templatesFirst) return Task{Task::Kind::Templates, CataloguePath(), p};
    if (std::any_of(p.begin() + 1, p.end(), NamesAFile)) {
        return Task{Task::Kind::Templates, p[0], {p.begin() + 1, p.end()}};
    }
    return std::nullopt;
}

std::optional<unsigned> ParseCodePage(const WString& text) {
    const std::string narrow = ToUtf8(text);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
    if (error != std::errc() || end != narrow.data() + narrow.size() || !IsSupportedLegacyCodePage(value)) {
        return std::nullopt;
    }
    return value;
}

// For "--name value" and "--name=value": nothing when args[i] is another
// argument, an empty value when the value is missing. Moves i past a value
// given apart.
std::optional<std::optional<WString>> OptionValue(const std::vector<WString>& args, size_t& i, WStringView name) {
    const WString& arg = args[i];
    if (arg == name) {
        if (i + 1 >= args.size()) return std::optional<WString>();
        return args[++i];
    }
    if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
        return arg.substr(name.size() + 1);
    }
    return std::nullopt;
}

// A code as the report quotes it, "#\"Имя\"#" with C's escapes, or as it stands.
std::optional<WString> Unquoted(WStringView text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return WString(text);
    WString out;
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i + 1 >= text.size()) return std::nullopt;
        const size_t digits = text[i] == 'u' ? 4 : text[i] == 'U' ? 8 : 0;
        if (digits == 0) {
            out += text[i];
            continue;
        }
        if (i + digits >= text.size() - 1) return std::nullopt;
        char32_t c = 0;
        for (size_t k = 1; k <= digits; ++k) {
            const WChar d = text[i + k];
            const int value = d >= '0' && d <= '9'   ? d - '0'
                              : d >= 'A' && d <= 'F' ? d - 'A' + 10
                              : d >= 'a' && d <= 'f' ? d - 'a' + 10
                                                     : -1;
            if (value < 0) return std::nullopt;
            c = c * 16 + static_cast<char32_t>(value);
        }
        if (c > 0x10FFFF) return std::nullopt;
        if (c >= 0x10000) {
            out += static_cast<WChar>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<WChar>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<WChar>(c);
        }
        i += digits;
    }
    return out;
}

// OLD=NEW, each a whole code; no code holds "=", but a quoted one may.
std::optional<std::pair<WString, WString>> ParseRename(const WString& value) {
    size_t split = WString::npos;
    if (!value.empty() && value.front() == '"') {
        for (size_t i = 1; i < value.size(); ++i) {
            if (value[i] == '\\') {
                ++i;
            } else if (value[i] == '"') {
                if (i + 1 < value.size() && value[i + 1] == '=') split = i + 1;
                break;
            }
        }
    } else {
        split = value.find('=');
    }
    if (split == WString::npos) return std::nullopt;
    const auto from = Unquoted(WStringView(value).substr(0, split));
    const auto to = Unquoted(WStringView(value).substr(split + 1));
    if (!from || !to || from->empty() || to->empty()) return std::nullopt;
    return std::pair{*from, *to};
}

std::optional<Options> ParseArguments(const std::vector<WString>& args, Language language, std::string& err) {
    const auto fail = [&](Message message, std::string argument = {}) -> std::optional<Options> {
        err += Say(language, message, {std::move(argument)}) + "\n";
        return std::nullopt;
    };
    Options options;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const WString& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == QM_W("-")) {
            options.positional.push_back(arg);
        } else if (arg == QM_W("--")) {
            optionsEnded = true;
        } else if (arg == QM_W("--json")) {
            options.json = true;
        } else if (arg == QM_W("--fix")) {
            options.fix.fix = true;
        } else if (arg == QM_W("--dry-run")) {
            options.fix.dryRun = true;
        } else if (const auto value = OptionValue(args, i, QM_W("--rename"))) {
            const auto rename = *value ? ParseRename(**value) : std::nullopt;
            if (!rename) return fail(Message::RenameNeedsValue);
            options.fix.renames[rename->first] = rename->second;
        } else if (const auto value = OptionValue(args, i, QM_W("--kind"))) {
            if (!*value) return fail(Message::KindNeedsValue);
            options.kind = FindKind(**value);
            if (!options.kind) return fail(Message::NotAKind, ShownName(**value));
        } else if (const auto value = OptionValue(args, i, QM_W("--codepage"))) {
            if (!*value) return fail(Message::NeedsValue);
            const auto codePage = ParseCodePage(**value);
            if (!codePage) return fail(Message::UnsupportedCodePage, ShownName(**value));
            options.codePage = *codePage;
        } else {
            return fail(Message::UnknownOption, ShownName(arg));
        }
    }
    const auto task = PlaceArguments(options);
    if (!task) return fail(Message::WrongArgumentCount);
    if ((options.fix.Any() || options.fix.dryRun) && task->kind != Task::Kind::Templates) {
        return fail(Message::FixNeedsTemplates);
    }
    options.task = *task;
#ifdef _WIN32
    options.codePage = 0;  // the program itself always uses the ANSI code page
#endif
    return options;
}

bool HasSection(const TTemplateCatalogue& catalogue, WStringView section) {
    const WString upper = platform::UpperCase(section);
    for (size_t i = 0; i < catalogue.SectionCount(); ++i) {
        if (platform::UpperCase(catalogue.SectionName(i)) == upper) return true;
    }
    return false;
}

// The JSON list alone on stdout, as Quillmark would show it; a name that
// Quillmark never asks for is warned of on stderr.
int PrintSectionCodes(const Task& task, unsigned codePage, std::string& out, std::string& err, Language language) {
    TTemplateCatalogue catalogue(task.catalogue, codePage);
    const WString& section = task.rest[0];
    StringListTarget codes;
    catalogue.ReadSection(section, codes);
    out += JsonStringArray(codes.Items()) + "\n";
    if (FindKind(section) || HasSection(catalogue, section)) return kCheckOk;
    err += Say(language, Message::UnknownSection, {Quoted(section), Quoted(platform::FullPath(task.catalogue))}) + "\n";
    return kCheckWarnings;
}

// The report: everything that Quillmark reads differently from what an author
// probably meant, each at its line in the form compilers use, so that editors
// and CI can jump to it.
class Report {
public:
    Report(WString path, unsigned codePage, Language language)
        : path_(std::move(path)), codePage_(codePage), language_(language) {}

    int Run(std::string& out) {
        if (!platform::FileExists(path_)) {
            Warn(Say(Message::NoFile, {QuotedPath(platform::FullPath(path_))}));
            return Finish(out);
        }
        const FileBytes file = platform::ReadWholeFile(path_);
        const std::string_view bytes = file.View();
        const ByteOrderMark mark = DetectByteOrderMark(bytes);
        const std::string_view body = bytes.substr(mark.length);
        DescribeEncoding(mark, body);
        if (mark.encoding == TextEncoding::Utf8 && !platform::IsValidUtf8(body)) {
            const size_t at = FindMalformedUtf8(body).value_or(0) + mark.length;
            Warn(Say(Message::MalformedUtf8, {std::to_string(at)}));
            return Finish(out);
        }
        ReadLines(DecodeCatalogueText(bytes, codePage_).View());
        return Finish(out);
    }

private:
    struct SectionInfo {
        WString name;
        size_t line = 0;
        size_t codes = 0;
        bool superseded = false;
        std::map<WString, size_t> codeLines;
    };

    std::string Say(Message message, std::initializer_list<std::string> arguments = {}) const {
        return quillmark::Say(language_, message, arguments);
    }
    // FILE: warning: text, for the whole file; FILE:LINE: warning: text, for a line.
    void Warn(const std::string& text) {
        warnings_.push_back(ShownName(path_) + ": " + Say(Message::Warning) + ": " + text);
    }
    void Warn(size_t line, const std::string& text) {
        warnings_.push_back(ShownName(path_) + ":" + std::to_string(line) + ": " + Say(Message::Warning) + ": " + text);
    }

    void DescribeEncoding(const ByteOrderMark& mark, std::string_view body) {
        switch (mark.encoding) {
            case TextEncoding::Utf16Le:
                encoding_ = Say(Message::Utf16Le);
                return;
            case TextEncoding::Utf16Be:
                encoding_ = Say(Message::Utf16Be);
                return;
            case TextEncoding::Utf8:
                encoding_ = Say(Message::Utf8);
                return;
            case TextEncoding::Ansi:
                break;
        }
        const unsigned codePage = codePage_ != 0 ? codePage_ : platform::DefaultAnsiCodePage();
        encoding_ = Say(Message::AnsiCodePage, {std::to_string(codePage)});
        for (size_t i = 0; i < body.size(); ++i) {
            if (static_cast<unsigned char>(body[i]) >= 0x80) {
                const bool utf8 = !FindMalformedUtf8(body).has_value();
                Warn(Say(Message::UnmarkedNonAscii, {std::to_string(i), std::to_string(codePage)}) +
                     (utf8 ? Say(Message::LooksLikeUtf8) : ""));
                return;
            }
        }
    }

    void ReadLines(WStringView fullText) {
        const WStringView text = UpToFirstNul(fullText);
        LineReader reader(text);
        WStringView raw;
        while (reader.Next(raw)) ReadLine(reader.Number(), ClassifyLine(raw));
        if (text.size() < fullText.size()) {
            const size_t line = reader.Number() + (text.empty() || IsLineEnd(text.back()) ? 1 : 0);
            Warn(line, Say(Message::NulEndsText));
        }
        CheckKinds();
    }

    static bool IsLineEnd(WChar c) { return c == '\r' || c == '\n'; }

    void ReadLine(size_t number, const ClassifiedLine& line) {
        switch (line.kind) {
            case LineKind::Blank:
            case LineKind::Comment:
                return;
            case LineKind::Header:
                OpenSection(number, line.name);
                return;
            case LineKind::Key:
                break;
        }
        if (line.text.front() == '[' && line.text.find(']') != WStringView::npos) {
            Warn(number, Say(Message::TextAfterBracket));
        }
        if (sections_.empty()) {
            Warn(number, Say(Message::BeforeFirstSection));
            return;
        }
        SectionInfo& section = sections_.back();
        ++section.codes;
        if (!line.hasEquals || line.name.empty()) {
            Warn(number, Say(line.hasEquals ? Message::EmptyCodeStartsWithEquals : Message::EmptyCodeWithoutEquals));
            return;
        }
        const auto [seen, fresh] = section.codeLines.emplace(WString(line.name), number);
        if (!fresh) {
            Warn(number,
                 Say(Message::RepeatedCode, {Quoted(line.name), std::to_string(seen->second), Quoted(section.name)}));
        }
    }

    void OpenSection(size_t number, WStringView name) {
        const WString upper = platform::UpperCase(name);
        const auto earlier = byName_.find(upper);
        if (earlier != byName_.end()) {
            SectionInfo& old = sections_[earlier->second];
            old.superseded = true;
            Warn(number, Say(Message::RepeatedSection, {Quoted(name), std::to_string(old.line)}));
        }
        byName_[upper] = sections_.size();
        sections_.push_back({WString(name), number, 0, false, {}});
        bool known = false;
        for (const WStringView kind : kCalculationKinds) known = known || platform::UpperCase(kind) == upper;
        if (!known) Warn(number, Say(Message::UnknownKind, {Quoted(name)}));
    }

    void CheckKinds() {
        for (const WStringView kind : kCalculationKinds) {
            if (byName_.find(platform::UpperCase(kind)) == byName_.end()) {
                Warn(Say(Message::MissingKind, {Quoted(kind)}));
            }
        }
    }

    int Finish(std::string& out) {
        out += Say(Message::FileLine, {ShownName(platform::FullPath(path_))}) + "\n";
        if (!encoding_.empty()) out += Say(Message::EncodingLine, {encoding_}) + "\n";
        out += Say(Message::SectionsLine, {std::to_string(sections_.size())}) + "\n";
        for (const SectionInfo& s : sections_) {
            out += Say(Message::SectionLine, {std::to_string(s.line), ToUtf8(s.name), Codes(language_, s.codes)}) +
                   (s.superseded ? Say(Message::NotListed) : "") + "\n";
        }
        for (const std::string& w : warnings_) out += w + "\n";
        out += warnings_.empty() ? Say(Message::NoWarnings)
                                 : Say(Message::WarningCount, {std::to_string(warnings_.size())});
        out += "\n";
        return warnings_.empty() ? kCheckOk : kCheckWarnings;
    }

    WString path_;
    unsigned codePage_;
    Language language_;
    std::string encoding_;
    std::vector<SectionInfo> sections_;
    std::map<WString, size_t> byName_;
    std::vector<std::string> warnings_;
};

}  // namespace

int RunChecker(const std::vector<WString>& args, Output& output, Language language) {
    if (args.size() == 1 && (args[0] == QM_W("--help") || args[0] == QM_W("-h"))) {
        output.Out(Say(language, Message::Usage));
        return kCheckOk;
    }
    std::string out, err;
    const auto options = ParseArguments(args, language, err);
    if (!options) {
        output.Err(err + Say(language, Message::Usage));
        return kCheckUsage;
    }
    const Task& task = options->task;
    int code = kCheckOk;
    try {
        switch (task.kind) {
            case Task::Kind::CatalogueReport:
                code = Report(task.catalogue, options->codePage, language).Run(out);
                break;
            case Task::Kind::SectionCodes:
                code = PrintSectionCodes(task, options->codePage, out, err, language);
                break;
            case Task::Kind::Templates:
                if (!options->json) {
                    output.Out(Say(language, Message::CatalogueLine, {ShownName(platform::FullPath(task.catalogue))}) +
                               "\n");
                }
                return RunTemplateCheck({task.catalogue, options->codePage, options->kind,
                                         ExpandTemplateArguments(task.rest), options->json, options->fix},
                                        output, language);
        }
    } catch (const Exception& e) {
        err += ShownName(e.Message()) + "\n";
        code = kCheckCannotOpen;
    }
    output.Out(out);
    output.Err(err);
    return code;
}

int RunChecker(const std::vector<WString>& args, std::string& out, std::string& err, Language language) {
    StringOutput output(out, err);
    return RunChecker(args, output, language);
}

}  // namespace quillmark

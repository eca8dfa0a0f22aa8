#include "tools/check/TemplateFix.h"

#include <algorithm>
#include <tuple>

#include "catalogue/Platform.h"
#include "tools/check/TemplateFile.h"
#include "tools/check/templates/Zip.h"

namespace quillmark {

namespace {

// Word's owner file (~$name, or ~$ in place of a long name's first two
// characters) or LibreOffice's lock file beside the template, if any: the
// template is open, and its word processor would write over the change.
std::optional<WString> OpenBy(const WString& path) {
    const size_t separator = path.find_last_of(platform::PathSeparators());
    const size_t start = separator == WString::npos ? 0 : separator + 1;
    const WString folder = path.substr(0, start);
    const WString name = path.substr(start);
    std::vector<WString> candidates = {QM_W("~$") + name, QM_W(".~lock.") + name + QM_W("#")};
    if (name.size() > 2) candidates.push_back(QM_W("~$") + name.substr(2));
    for (const WString& candidate : candidates) {
        if (platform::FileExists(folder + candidate)) return candidate;
    }
    return std::nullopt;
}

bool IsSigned(std::string_view bytes) {
    const ZipArchive zip(bytes);
    return zip.ContainsUnder("_xmlsignatures/") || zip.Contains("META-INF/documentsignatures.xml");
}

}  // namespace

FixPlan PlanFixes(const TemplateText& text, const TemplateFindings& findings, const CodeIndex& index,
                  const FixRequest& request) {
    std::vector<std::pair<const Occurrence*, WString>> wanted;
    const auto consider = [&](const Occurrence& occurrence, bool unknown) {
        if (const auto rename = request.renames.find(occurrence.text); rename != request.renames.end()) {
            wanted.emplace_back(&occurrence, rename->second);
        } else if (request.fix && unknown) {
            if (auto nearest = index.OnlyNearest(occurrence.text))
                wanted.emplace_back(&occurrence, std::move(*nearest));
        }
    };
    for (const Occurrence& code : findings.codes) consider(code, false);
    for (const Occurrence& token : findings.unknown) consider(token, true);
    std::sort(wanted.begin(), wanted.end(), [](const auto& a, const auto& b) {
        return std::tie(a.first->paragraph, a.first->at) < std::tie(b.first->paragraph, b.first->at);
    });
    FixPlan plan;
    for (const auto& [occurrence, to] : wanted) {
        if (to == occurrence->text) continue;
        TextChange change{occurrence->paragraph, occurrence->at, occurrence->text.size(), to};
        if (!CanWrite(text, change)) {
            plan.refused.push_back(*occurrence);
            continue;
        }
        plan.told.push_back({occurrence->text, to, occurrence->place});
        plan.changes.push_back(std::move(change));
    }
    return plan;
}

namespace {

std::optional<TemplateError> WhyNotWritten(const WString& path, std::string_view bytes) {
    if (const auto owner = OpenBy(path)) return TemplateError{Message::TemplateOpen, {ToUtf8(*owner)}};
    if (IsSigned(bytes)) return TemplateError{Message::Signed, {}};
    if (IsReadOnlyFile(path)) return TemplateError{Message::ReadOnly, {}};
    return std::nullopt;
}

}  // namespace

std::optional<TemplateError> WriteFixes(const WString& path, std::string_view bytes, const TemplateText& text,
                                        const std::vector<TextChange>& changes, bool dryRun) {
    if (auto refused = WhyNotWritten(path, bytes)) return refused;
    std::string written;
    try {
        written = WriteChanges(bytes, text, changes);
    } catch (const TemplateError& e) {
        return e;
    }
    if (!ReadsBackAsPlanned(written, text, changes)) return TemplateError{Message::ReadBackDiffers, {}};
    if (dryRun) return std::nullopt;
    return ReplaceTemplateFile(path, bytes, written);
}

}  // namespace quillmark

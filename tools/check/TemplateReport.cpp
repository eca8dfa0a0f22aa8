#include "tools/check/TemplateReport.h"

#include <filesystem>
#include <map>
#include <set>

#include "catalogue/Kinds.h"
#include "catalogue/Platform.h"
#include "catalogue/SectionTarget.h"
#include "catalogue/TemplateCatalogue.h"
#include "common/Exception.h"
#include "tools/check/ArgumentsPlatform.h"
#include "tools/check/Findings.h"
#include "tools/check/Json.h"
#include "tools/check/templates/CodeScan.h"
#include "tools/check/templates/TemplateError.h"
#include "tools/check/templates/TemplateText.h"
#include "tools/check/templates/Zip.h"

namespace quillmark {

namespace {

template <class T>
T ByPages(Pages pages, T first, T even, T other) {
    switch (pages) {
        case Pages::First:
            return first;
        case Pages::Even:
            return even;
        case Pages::Other:
            break;
    }
    return other;
}

const char* PartName(Part part) {
    switch (part) {
        case Part::Body:
            return "body";
        case Part::Header:
            return "header";
        case Part::Footer:
            return "footer";
        case Part::Footnote:
            return "footnote";
        case Part::Endnote:
            return "endnote";
    }
    return "";
}

class TemplateReport {
public:
    TemplateReport(const TemplateCheck& check, Output& output, Language language)
        : check_(check), output_(output), language_(language) {}

    int Run() {
        if (!platform::FileExists(check_.catalogue)) {
            Error(check_.catalogue, Say(Message::NoFile, {QuotedPath(platform::FullPath(check_.catalogue))}));
            return Finish();
        }
        index_.emplace(ReadCatalogue());
        // The catalogue is mended first; the templates follow it.
        for (const auto& [from, to] : check_.fix.renames) {
            if (!index_->IsCode(to)) {
                output_.Err(
                    Say(Message::RenameNotACode, {Quoted(to), QuotedPath(platform::FullPath(check_.catalogue))}) +
                    "\n");
                return kCheckUsage;
            }
        }
        if (check_.kind) {
            for (size_t k = 0; k < index_->Kinds().size(); ++k) {
                if (index_->Kinds()[k].kind == *check_.kind) kind_ = k;
            }
        }
        for (const TemplateArgument& argument : check_.templates) {
            if (argument.problem) {
                Error(argument.path, Say(*argument.problem));
            } else {
                CheckTemplate(argument.path);
            }
        }
        if (!check_.json && anyRead_) ListUnused();
        return Finish();
    }

private:
    std::string Say(Message message, const std::vector<std::string>& arguments = {}) const {
        return quillmark::Say(language_, message, arguments);
    }

    CodeIndex ReadCatalogue() const {
        TTemplateCatalogue catalogue(check_.catalogue, check_.codePage);
        std::vector<KindCodes> kinds;
        for (const WStringView kind : kCalculationKinds) {
            StringListTarget codes;
            catalogue.ReadSection(WString(kind), codes);
            kinds.push_back({WString(kind), codes.Items()});
        }
        return CodeIndex(std::move(kinds));
    }

    void CheckTemplate(const WString& path) {
        // Read whole, so never a file bigger than anything it may unpack to.
        constexpr uintmax_t kLargest = ZipArchive::kDefaultLimit * 4;
        std::error_code ignored;
        if (const uintmax_t size = std::filesystem::file_size(arguments::ToPath(path), ignored);
            !ignored && size > kLargest) {
            Error(path, Say(Message::FileTooBig, {std::to_string(kLargest >> 20)}));
            return;
        }
        std::optional<FileBytes> file;
        TemplateText text;
        try {
            file.emplace(platform::ReadWholeFile(path));
            text = ReadTemplateText(file->View());
        } catch (const TemplateError& e) {
            Error(path, Said(e));
            return;
        } catch (const Exception& e) {
            Error(path, ShownName(e.Message()));
            return;
        } catch (...) {
            // A fault of ours in one template must not cost the user the others.
            Error(path, Say(Message::TemplateUnreadable));
            return;
        }
        anyRead_ = true;
        TemplateFindings findings = FindCodes(text.paragraphs, *index_, kind_);
        FixPlan plan;
        std::optional<TemplateError> failed;
        if (check_.fix.Any()) {
            plan = PlanFixes(text, findings, *index_, check_.fix);
            if (!plan.changes.empty()) {
                failed = WriteFixes(path, file->View(), text, plan.changes, check_.fix.dryRun);
            }
            if (failed) {
                plan.told.clear();
            } else if (!plan.changes.empty()) {
                const std::vector<WString> changed = ChangedTexts(text, plan.changes);
                for (size_t i = 0; i < changed.size(); ++i) text.paragraphs[i].text = changed[i];
                findings = FindCodes(text.paragraphs, *index_, kind_);
            }
        }
        for (const auto& [code, places] : findings.used) everUsed_.insert(code);
        changes_ += plan.told.size();
        if (check_.json) {
            WriteJson(path, findings, plan, failed);
        } else {
            WriteText(path, findings, plan);
            if (failed) Error(path, Said(*failed));
        }
    }

    std::string Said(const TemplateError& e) const {
        std::vector<std::string> shown;
        for (const std::string& argument : e.arguments) shown.push_back(Shown(FromUtf8(argument)));
        return Say(e.message, shown);
    }

    std::string KindsOf(const WString& code) const {
        std::string kinds;
        for (const size_t k : index_->KindsOf(code)) {
            kinds += (kinds.empty() ? "" : ", ") + Quoted(index_->Kinds()[k].kind);
        }
        return kinds;
    }

    std::string PlaceText(const Place& place) const {
        const std::string paragraph = std::to_string(place.paragraph);
        const std::string number = std::to_string(place.number);
        switch (place.part) {
            case Part::Body:
                return Say(Message::PlaceBody, {paragraph});
            case Part::Header:
                return Say(
                    ByPages(place.pages, Message::PlaceHeaderFirst, Message::PlaceHeaderEven, Message::PlaceHeader),
                    {number, paragraph});
            case Part::Footer:
                return Say(
                    ByPages(place.pages, Message::PlaceFooterFirst, Message::PlaceFooterEven, Message::PlaceFooter),
                    {number, paragraph});
            case Part::Footnote:
                return Say(Message::PlaceFootnote, {number, paragraph});
            case Part::Endnote:
                return Say(Message::PlaceEndnote, {number, paragraph});
        }
        return {};
    }

    // TEMPLATE:PARAGRAPH: warning: text for the body, where the paragraph
    // number serves as a line number; other parts are named in the text.
    void Tell(const WString& path, const Place& place, Message label, const std::string& text) {
        std::string line = ShownName(path);
        if (place.part == Part::Body) {
            line += ":" + std::to_string(place.paragraph) + ": " + Say(label) + ": " + text;
        } else {
            line += ": " + Say(label) + ": " + PlaceText(place) + ": " + text;
        }
        Line(line);
    }
    void Warn(const WString& path, const Place& place, const std::string& text) {
        Tell(path, place, Message::Warning, text);
        ++warnings_;
    }

    void Line(const std::string& line) { output_.Out(line + "\n"); }

    void Error(const WString& path, const std::string& text) {
        ++errors_;
        if (check_.json) {
            std::string object = "{\"template\":";
            AppendJsonPath(object, path);
            object += ",\"error\":";
            AppendJsonString(object, FromUtf8(text));
            Line(object + "}");
        } else {
            Line(ShownName(path) + ": " + Say(Message::Error) + ": " + text);
        }
    }

    void WriteText(const WString& path, const TemplateFindings& findings, const FixPlan& plan) {
        Line(Say(Message::TemplateLine, {ShownName(platform::FullPath(path))}));
        Line(Say(Message::ParagraphsLine, {std::to_string(findings.paragraphs)}));
        Line(Say(Message::CodesUsedLine, {std::to_string(findings.used.size())}));
        for (const auto& [code, places] : findings.used) {
            std::string where;
            for (const Place& place : places) where += (where.empty() ? "" : "; ") + PlaceText(place);
            Line("  " + Quoted(code) + ": " + std::to_string(places.size()) + " (" + where + ")");
        }
        const Message changed = check_.fix.dryRun ? Message::WouldChangeTo : Message::ChangedTo;
        for (const ToldChange& change : plan.told) {
            Tell(path, change.place, Message::Change, Say(changed, {Quoted(change.from), Quoted(change.to)}));
        }
        for (const Occurrence& refused : plan.refused) {
            Warn(path, refused.place, Say(Message::NotChangedHere, {Quoted(refused.text)}));
        }
        for (const Occurrence& token : findings.unknown) {
            const auto nearest = index_->Nearest(token.text);
            Warn(path, token.place,
                 Say(Message::UnknownCode, {Quoted(token.text)}) +
                     (nearest ? Say(Message::DidYouMean, {Quoted(*nearest)}) : ""));
        }
        for (const Occurrence& code : findings.otherKind) {
            Warn(path, code.place,
                 Say(Message::OtherKindCode,
                     {Quoted(code.text), Quoted(index_->Kinds()[*kind_].kind), KindsOf(code.text)}));
        }
    }

    static void AppendPlace(std::string& out, const Place& place) {
        out += "\"part\":\"";
        out += PartName(place.part);
        out += "\"";
        if (place.part == Part::Header || place.part == Part::Footer) {
            out += ",\"section\":" + std::to_string(place.number) + ",\"pages\":\"";
            out += ByPages(place.pages, "first", "even", "other");
            out += "\"";
        } else if (place.part != Part::Body) {
            out += ",\"number\":" + std::to_string(place.number);
        }
        out += ",\"paragraph\":" + std::to_string(place.paragraph);
    }

    void WriteJson(const WString& path, const TemplateFindings& findings, const FixPlan& plan,
                   const std::optional<TemplateError>& failed) {
        std::string object = "{\"template\":";
        AppendJsonPath(object, path);
        object += ",\"codes\":[";
        bool first = true;
        for (const auto& [code, places] : findings.used) {
            object += first ? "{\"code\":" : ",{\"code\":";
            first = false;
            AppendJsonString(object, code);
            object += ",\"count\":" + std::to_string(places.size()) + ",\"places\":[";
            for (size_t i = 0; i < places.size(); ++i) {
                object += i ? ",{" : "{";
                AppendPlace(object, places[i]);
                object += "}";
            }
            object += "]}";
        }
        object += "],\"unknown\":";
        AppendOccurrences(object, "token", findings.unknown, [&](const Occurrence& token) {
            if (const auto nearest = index_->Nearest(token.text)) {
                object += ",\"suggestion\":";
                AppendJsonString(object, *nearest);
            }
        });
        object += ",\"otherKind\":";
        AppendOccurrences(object, "code", findings.otherKind, [&](const Occurrence& code) {
            std::vector<WString> kinds;
            for (const size_t k : index_->KindsOf(code.text)) kinds.push_back(index_->Kinds()[k].kind);
            object += ",\"kinds\":" + JsonStringArray(kinds);
        });
        if (check_.fix.Any()) {
            object += ",\"changes\":[";
            for (size_t i = 0; i < plan.told.size(); ++i) {
                object += i ? ",{\"from\":" : "{\"from\":";
                AppendJsonString(object, plan.told[i].from);
                object += ",\"to\":";
                AppendJsonString(object, plan.told[i].to);
                object += ',';
                AppendPlace(object, plan.told[i].place);
                object += '}';
            }
            object += "],\"notChanged\":";
            AppendOccurrences(object, "code", plan.refused, [](const Occurrence&) {});
        }
        if (failed) {
            ++errors_;
            object += ",\"error\":";
            AppendJsonString(object, FromUtf8(Said(*failed)));
        }
        warnings_ += findings.unknown.size() + findings.otherKind.size() + plan.refused.size();
        Line(object + "}");
    }

    // [{"KEY":text,"part":...,"paragraph":...,<what more adds>},...]
    template <class More>
    static void AppendOccurrences(std::string& out, const char* key, const std::vector<Occurrence>& list, More more) {
        out += '[';
        for (size_t i = 0; i < list.size(); ++i) {
            out += i ? ",{\"" : "{\"";
            out += key;
            out += "\":";
            AppendJsonString(out, list[i].text);
            out += ',';
            AppendPlace(out, list[i].place);
            more(list[i]);
            out += '}';
        }
        out += ']';
    }

    // Information, not warnings: a catalogue may well serve templates not given.
    void ListUnused() {
        std::vector<std::string> unused;
        for (size_t k = 0; k < index_->Kinds().size(); ++k) {
            if (kind_ && k != *kind_) continue;
            const KindCodes& kind = index_->Kinds()[k];
            std::string codes;
            std::set<WString> told;
            for (const WString& code : kind.codes) {
                if (code.empty() || everUsed_.count(code) || !told.insert(code).second) continue;
                codes += (codes.empty() ? "" : ", ") + Quoted(code);
            }
            if (!codes.empty()) unused.push_back("  " + ToUtf8(kind.kind) + ": " + codes);
        }
        if (unused.empty()) return;
        Line(Say(Message::UnusedHeading));
        for (const std::string& line : unused) Line(line);
    }

    int Finish() {
        if (!check_.json) {
            std::string last =
                warnings_ == 0 ? Say(Message::NoWarnings) : Say(Message::WarningCount, {std::to_string(warnings_)});
            if (errors_ > 0) last += " " + Say(Message::ErrorCount, {std::to_string(errors_)});
            if (check_.fix.Any()) last += " " + Say(Message::ChangeCount, {std::to_string(changes_)});
            if (check_.fix.Any() && check_.fix.dryRun) last += " " + Say(Message::DryRun);
            Line(last);
        }
        if (errors_ > 0) return kCheckCannotOpen;
        return warnings_ > 0 ? kCheckWarnings : kCheckOk;
    }

    const TemplateCheck& check_;
    Output& output_;
    Language language_;
    std::optional<CodeIndex> index_;
    std::optional<size_t> kind_;
    std::set<WString> everUsed_;
    size_t warnings_ = 0;
    size_t changes_ = 0;
    size_t errors_ = 0;
    bool anyRead_ = false;
};

}  // namespace

int RunTemplateCheck(const TemplateCheck& check, Output& output, Language language) {
    return TemplateReport(check, output, language).Run();
}

}  // namespace quillmark

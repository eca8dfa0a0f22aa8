#include "tools/check/TemplateReport.h"

#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <variant>

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
        : check_(check), output_(output), language_(language), writer_(check.fix.dryRun) {}

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
            TellFinished(false);
        }
        TellFinished(true);
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

    // A template's report as it will be told.
    struct Checked {
        WString path;
        TemplateFindings findings;                // as the template was read
        std::optional<TemplateFindings> changed;  // with the changes made, when there are any to make
        FixPlan plan;
        std::optional<TemplateError> failed;
    };
    struct Unreadable {
        WString path;
        std::string error;
    };
    using Report = std::variant<Checked, Unreadable>;

    void CheckTemplate(const WString& path) {
        if (!check_.fix.Any()) {
            std::optional<FixJob> none;
            return Tell(Examine(path, none));
        }
        // A template named twice is read again only once its first change is in place.
        // Asked again then: a change put in place is a new file, and a third
        // naming must wait for this one's.
        std::optional<FileIdentity> identity = check_.fix.dryRun ? std::nullopt : IdentityOf(path);
        if (identity && writer_.Pending(*identity)) {
            TellFinished(true);
            identity = IdentityOf(path);
        }
        auto report = std::make_shared<Report>(Unreadable{path, Say(Message::TemplateUnreadable)});
        writer_.Add(
            [this, path, report] {
                std::optional<FixJob> job;
                *report = Examine(path, job);
                return job;
            },
            identity);
        held_.push_back({std::move(report), true});
    }

    // What reading a template tells, and the job of changing it if the
    // changes asked of it are possible. Only reads what the report was
    // given, so that the writer's threads may call it.
    Report Examine(const WString& path, std::optional<FixJob>& job) const {
        // Read whole, so never a file bigger than anything it may unpack to.
        constexpr uintmax_t kLargest = ZipArchive::kDefaultLimit * 4;
        std::error_code ignored;
        if (const uintmax_t size = std::filesystem::file_size(arguments::ToPath(path), ignored);
            !ignored && size > kLargest) {
            return Unreadable{path, Say(Message::FileTooBig, {std::to_string(kLargest >> 20)})};
        }
        std::optional<FileBytes> file;
        TemplateText text;
        try {
            file.emplace(platform::ReadWholeFile(path));
            text = ReadTemplateText(file->View(),
                                    check_.fix.Any() ? TemplateReading::ForWriting : TemplateReading::TextOnly);
        } catch (const TemplateError& e) {
            return Unreadable{path, Said(e)};
        } catch (const Exception& e) {
            return Unreadable{path, ShownName(e.Message())};
        } catch (...) {
            // A fault of ours in one template must not cost the user the others.
            return Unreadable{path, Say(Message::TemplateUnreadable)};
        }
        Checked checked{path, FindCodes(text.paragraphs, *index_, kind_), {}, {}, {}};
        if (check_.fix.Any()) checked.plan = PlanFixes(text, checked.findings, *index_, check_.fix);
        if (checked.plan.changes.empty()) return checked;
        // What the report will say if the changes are made; the text stays as
        // read, for the writer.
        std::vector<WString> changed = ChangedTexts(text, checked.plan.changes);
        for (size_t i = 0; i < changed.size(); ++i) std::swap(text.paragraphs[i].text, changed[i]);
        checked.changed = FindCodes(text.paragraphs, *index_, kind_);
        for (size_t i = 0; i < changed.size(); ++i) std::swap(text.paragraphs[i].text, changed[i]);
        job = FixJob{path, std::move(*file), std::move(text), std::move(checked.plan.changes)};
        return checked;
    }

    // Reports are told in the order of the templates: while one waits for
    // the writer, those after it wait too.
    void Tell(Report report) {
        if (held_.empty()) return std::visit([this](auto& told) { Show(told); }, report);
        held_.push_back({std::make_shared<Report>(std::move(report)), false});
    }
    void Error(const WString& path, const std::string& text) { Tell(Unreadable{path, text}); }

    // The writer finishes templates in the order they were given to it, and
    // their reports wait in that order.
    void TellFinished(bool all) {
        do {
            std::vector<std::optional<TemplateError>> finished = writer_.Finished(all);
            size_t next = 0;
            while (!held_.empty()) {
                Held& held = held_.front();
                if (held.byWriter) {
                    if (next == finished.size()) break;
                    auto* checked = std::get_if<Checked>(held.report.get());
                    if (checked && checked->changed) checked->failed = std::move(finished[next]);
                    ++next;
                }
                std::visit([this](auto& told) { Show(told); }, *held.report);
                held_.pop_front();
            }
        } while (all && writer_.Busy());
    }

    void Show(Checked& checked) {
        anyRead_ = true;
        if (checked.failed) checked.plan.told.clear();
        const TemplateFindings& findings = checked.failed || !checked.changed ? checked.findings : *checked.changed;
        for (const auto& [code, places] : findings.used) everUsed_.insert(code);
        changes_ += checked.plan.told.size();
        if (check_.json) {
            WriteJson(checked.path, findings, checked.plan, checked.failed);
        } else {
            WriteText(checked.path, findings, checked.plan);
            if (checked.failed) Show(Unreadable{checked.path, Said(*checked.failed)});
        }
        Flush();
    }

    void Show(const Unreadable& unreadable) {
        ++errors_;
        if (check_.json) {
            std::string object = "{\"template\":";
            AppendJsonPath(object, unreadable.path);
            object += ",\"error\":";
            AppendJsonString(object, FromUtf8(unreadable.error));
            Line(object + "}");
        } else {
            Line(ShownName(unreadable.path) + ": " + Say(Message::Error) + ": " + unreadable.error);
        }
        Flush();
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
    void Tell(const std::string& name, const Place& place, Message label, const std::string& text) {
        std::string line = name;
        if (place.part == Part::Body) {
            line += ":" + std::to_string(place.paragraph) + ": " + Say(label) + ": " + text;
        } else {
            line += ": " + Say(label) + ": " + PlaceText(place) + ": " + text;
        }
        Line(line);
    }
    void Warn(const std::string& name, const Place& place, const std::string& text) {
        Tell(name, place, Message::Warning, text);
        ++warnings_;
    }

    void Line(const std::string& line) {
        told_ += line;
        told_ += '\n';
    }
    // A template's lines go out together, before the next is read.
    void Flush() {
        output_.Out(told_);
        told_.clear();
    }

    void WriteText(const WString& path, const TemplateFindings& findings, const FixPlan& plan) {
        const std::string name = ShownName(path);
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
            Tell(name, change.place, Message::Change, Say(changed, {Quoted(change.from), Quoted(change.to)}));
        }
        for (const Occurrence& refused : plan.refused) {
            Warn(name, refused.place, Say(Message::NotChangedHere, {Quoted(refused.text)}));
        }
        for (const Occurrence& token : findings.unknown) {
            const auto nearest = index_->Nearest(token.text);
            Warn(name, token.place,
                 Say(Message::UnknownCode, {Quoted(token.text)}) +
                     (nearest ? Say(Message::DidYouMean, {Quoted(*nearest)}) : ""));
        }
        for (const Occurrence& code : findings.otherKind) {
            Warn(name, code.place,
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
        Flush();
    }

    int Finish() {
        if (!check_.json) {
            std::string last =
                warnings_ == 0 ? Say(Message::NoWarnings) : Say(Message::WarningCount, {std::to_string(warnings_)});
            if (errors_ > 0) last += " " + Say(Message::ErrorCount, {std::to_string(errors_)});
            if (check_.fix.Any()) last += " " + Say(Message::ChangeCount, {std::to_string(changes_)});
            if (check_.fix.Any() && check_.fix.dryRun) last += " " + Say(Message::DryRun);
            Line(last);
            Flush();
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
    FixWriter writer_;
    // Reports not yet told; those the writer's threads fill are told once they have.
    struct Held {
        std::shared_ptr<Report> report;
        bool byWriter;
    };
    std::deque<Held> held_;
    std::string told_;
};

}  // namespace

int RunTemplateCheck(const TemplateCheck& check, Output& output, Language language) {
    return TemplateReport(check, output, language).Run();
}

}  // namespace quillmark

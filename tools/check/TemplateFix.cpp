#include "tools/check/TemplateFix.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <system_error>
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

// The package with the changes written in, or why not.
std::optional<TemplateError> PackFixes(const FixJob& job, std::string& written) {
    if (auto refused = WhyNotWritten(job.path, job.bytes.View())) return refused;
    try {
        written = WriteChanges(job.bytes.View(), job.text, job.changes);
    } catch (const TemplateError& e) {
        return e;
    }
    if (!ReadsBackAsPlanned(written, job.text, job.changes)) return TemplateError{Message::ReadBackDiffers, {}};
    return std::nullopt;
}

}  // namespace

std::vector<std::optional<TemplateError>> WriteFixes(std::vector<FixJob>& jobs, bool dryRun) {
    std::vector<std::optional<TemplateError>> results(jobs.size());
    TemplateReplacements files;
    std::vector<size_t> jobOf;  // of each file
    for (size_t i = 0; i < jobs.size(); ++i) {
        std::string written;
        try {
            results[i] = PackFixes(jobs[i], written);
        } catch (...) {
            // A fault of ours in one template must not cost the user the others.
            results[i] = TemplateError{Message::CannotRewrite, {}};
        }
        if (results[i] || dryRun) continue;
        files.Add(jobs[i].path, jobs[i].bytes.View(), std::move(written));
        jobOf.push_back(i);
        jobs[i].text = {};  // no longer needed, and may be large
    }
    const std::vector<std::optional<TemplateError>> replaced = files.Commit();
    for (size_t k = 0; k < replaced.size(); ++k) results[jobOf[k]] = replaced[k];
    return results;
}

namespace {

// A batch: enough to make one sync of the disk worth it, few enough that a
// report is not long in coming and that a killed run leaves few new files.
constexpr size_t kBatch = 16;
constexpr size_t kBatchBytes = 16 << 20;
// Waiting beyond this, the reading waits for the writing.
constexpr size_t kMostWaiting = 64;
constexpr size_t kMostWaitingBytes = 64 << 20;
constexpr size_t kThreads = 2;

}  // namespace

void FixWriter::Add(FixJob job) {
    if (job.identity) changing_.insert(*job.identity);
    waitingBytes_ += job.bytes.Size();
    waiting_.push_back(std::move(job));
}

std::vector<std::optional<TemplateError>> FixWriter::Finished(bool all) {
    std::vector<std::optional<TemplateError>> finished;
    for (;;) {
        const bool enough = waiting_.size() >= kBatch || waitingBytes_ >= kBatchBytes;
        if (!waiting_.empty() && running_.size() < kThreads && (all || enough)) {
            // At the end, what is left is shared among the threads free.
            const size_t free = kThreads - running_.size();
            Start(all ? std::min(kBatch, (waiting_.size() + free - 1) / free) : kBatch);
        }
        if (running_.empty()) return finished;
        const bool tooMuch = waiting_.size() >= kMostWaiting || waitingBytes_ >= kMostWaitingBytes;
        if (!all && !tooMuch &&
            running_.front().results.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            return finished;
        }
        Batch& done = running_.front();
        for (std::optional<TemplateError>& result : done.results.get()) finished.push_back(std::move(result));
        for (const auto& identity : done.identities) {
            if (identity) changing_.erase(changing_.find(*identity));
        }
        running_.pop_front();
    }
}

void FixWriter::Start(size_t most) {
    std::vector<FixJob> jobs;
    Batch batch;
    size_t bytes = 0;
    while (!waiting_.empty() && jobs.size() < most && (jobs.empty() || bytes < kBatchBytes)) {
        bytes += waiting_.front().bytes.Size();
        batch.identities.push_back(waiting_.front().identity);
        jobs.push_back(std::move(waiting_.front()));
        waiting_.pop_front();
    }
    waitingBytes_ -= bytes;
    const auto work = [jobs = std::make_shared<std::vector<FixJob>>(std::move(jobs)), dryRun = dryRun_] {
        return WriteFixes(*jobs, dryRun);
    };
    try {
        batch.results = std::async(std::launch::async, work);
    } catch (const std::system_error&) {
        // No thread to be had (a limit on threads or on memory): the batch is
        // written by the reading thread when its results are asked for.
        batch.results = std::async(std::launch::deferred, work);
    }
    running_.push_back(std::move(batch));
}

}  // namespace quillmark

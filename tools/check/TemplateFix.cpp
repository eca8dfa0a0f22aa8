#include "tools/check/TemplateFix.h"

#include <algorithm>
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

namespace {

// A batch: enough to make one sync of the disk worth it, few enough that a
// report is not long in coming and that a killed run leaves few new files.
constexpr size_t kBatch = 16;
// Read beyond this, a batch is written before the next template is read.
constexpr size_t kBatchBytes = 16 << 20;

}  // namespace

FixWriter::~FixWriter() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void FixWriter::Add(Read read, std::optional<FileIdentity> identity) {
    if (identity) pending_.insert(*identity);
    std::unique_lock<std::mutex> lock(mutex_);
    told_.push_back({std::move(read), identity, std::nullopt, false});
    lock.unlock();
    work_.notify_one();
    if (threads_.size() < most_) {
        try {
            threads_.emplace_back([this] { Work(false); });
        } catch (const std::system_error&) {
            // No thread to be had (a limit on threads or on memory): the
            // templates are read and written by the reading thread.
        }
    }
    // A folder of many templates is read a few batches ahead of the writing,
    // not held whole, and its reports come as its batches are written.
    lock.lock();
    if (!threads_.empty()) return finished_.wait(lock, [this] { return told_.size() - taken_ < most_ * kBatch; });
    if (told_.size() - taken_ < kBatch) return;
    lock.unlock();
    Work(true);
}

std::vector<std::optional<TemplateError>> FixWriter::Finished(bool all) {
    if (all && threads_.empty()) Work(true);
    std::vector<std::optional<TemplateError>> finished;
    std::unique_lock<std::mutex> lock(mutex_);
    if (all && !flushing_) {
        flushing_ = true;
        work_.notify_all();
    }
    for (;;) {
        while (!told_.empty() && told_.front().done) {
            finished.push_back(std::move(told_.front().result));
            if (told_.front().identity) pending_.erase(pending_.find(*told_.front().identity));
            told_.pop_front();
            --taken_;
        }
        if (told_.empty()) flushing_ = false;
        if (!all || told_.empty() || !finished.empty()) return finished;
        finished_.wait(lock);
    }
}

void FixWriter::Work(bool untilIdle) {
    // Taken and read, each with its new package, if any, waiting to be
    // written with the rest of the batch.
    std::vector<Template*> held;
    std::vector<size_t> heldOf;  // of each new package
    held.reserve(kBatch);
    heldOf.reserve(kBatch);
    TemplateReplacements files;
    size_t bytes = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (stopping_) return;
        const bool full = held.size() >= kBatch || bytes >= kBatchBytes;
        if (taken_ < told_.size() && !full) {
            Template& next = told_[taken_++];
            lock.unlock();
            Take(next, files, bytes);
            if (files.Size() > heldOf.size()) heldOf.push_back(held.size());
            held.push_back(&next);
            lock.lock();
            continue;
        }
        if (!held.empty() && (full || flushing_ || untilIdle)) {
            lock.unlock();
            std::vector<std::optional<TemplateError>> replaced;
            try {
                replaced = files.Commit();
            } catch (...) {
                // Out of memory before any template was replaced.
                replaced.assign(heldOf.size(), TemplateError{Message::CannotRewrite, {}});
            }
            files = TemplateReplacements();
            lock.lock();
            for (size_t k = 0; k < replaced.size(); ++k) held[heldOf[k]]->result = std::move(replaced[k]);
            for (Template* done : held) done->done = true;
            held.clear();
            heldOf.clear();
            bytes = 0;
            finished_.notify_all();
            continue;
        }
        if (untilIdle) return;
        work_.wait(lock);
    }
}

// Reads a template and writes its changes into a new package, read back,
// for its batch to put in its place.
void FixWriter::Take(Template& taken, TemplateReplacements& files, size_t& bytes) const {
    std::optional<FixJob> job;
    try {
        job = taken.read();
    } catch (...) {
        // Reading tells its own failures; one it could not is no job.
        return;
    }
    if (!job) return;
    try {
        std::string written;
        taken.result = PackFixes(*job, written);
        if (taken.result || dryRun_) return;
        bytes += job->bytes.Size() + written.size();
        files.Add(job->path, job->bytes.View(), std::move(written));
    } catch (...) {
        // A fault of ours in one template must not cost the user the others.
        taken.result = TemplateError{Message::CannotRewrite, {}};
    }
}

}  // namespace quillmark

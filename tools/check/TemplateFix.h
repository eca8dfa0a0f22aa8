// --fix and --rename: the changes an author asks of the templates' codes, and
// their writing into the template files, as safely as a careful person would.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/Buffer.h"
#include "common/Text.h"
#include "tools/check/Findings.h"
#include "tools/check/TemplateFile.h"
#include "tools/check/templates/CodeScan.h"
#include "tools/check/templates/TemplateError.h"
#include "tools/check/templates/TemplateText.h"
#include "tools/check/templates/TemplateWriter.h"

namespace quillmark {

struct FixRequest {
    bool fix = false;                    // an unknown code becomes the one code nearest to it
    std::map<WString, WString> renames;  // every use of a code becomes another
    bool dryRun = false;                 // told, never written
    bool Any() const { return fix || !renames.empty(); }
};

// A change as the report tells it.
struct ToldChange {
    WString from;
    WString to;
    Place place;
};

struct FixPlan {
    std::vector<TextChange> changes;  // in the order of the text
    std::vector<ToldChange> told;     // the same, for the report
    std::vector<Occurrence> refused;  // asked for where the text cannot be cut
};

FixPlan PlanFixes(const TemplateText& text, const TemplateFindings& findings, const CodeIndex& index,
                  const FixRequest& request);

// A template to be changed: its bytes as read, their text, and the changes.
struct FixJob {
    WString path;
    FileBytes bytes;
    TemplateText text;
    std::vector<TextChange> changes;
};

// Templates read and changed by threads of their own. Each thread takes the
// next template waiting, reads it, writes its changes into a new package and
// reads that back: it must read as the old text with the changes made. A
// template open in Word or LibreOffice, signed or read-only is refused.
// Unless this is a dry run, the new packages are put in their templates'
// places a batch at a time, since a batch is made durable with one sync. A
// template that fails is left as it was.
class FixWriter {
public:
    // Reads a template, and returns its job if there is anything to write.
    using Read = std::function<std::optional<FixJob>()>;

    // One thread for each processor, and one more to work while another
    // waits for the disk; few enough to hold few batches at once.
    explicit FixWriter(bool dryRun)
        : dryRun_(dryRun), most_(std::clamp<size_t>(std::thread::hardware_concurrency() + 1, 2, 5)) {
        threads_.reserve(most_);
    }
    // Waits for the threads; what they have read and not written is left as it was.
    ~FixWriter();
    FixWriter(const FixWriter&) = delete;
    FixWriter& operator=(const FixWriter&) = delete;

    // Waits while many templates are added and not yet taken; without
    // threads, reads and writes them once they make a batch.
    void Add(Read read, std::optional<FileIdentity> identity);
    // Whether a template is still to be read or changed, by any path that names it.
    bool Pending(const FileIdentity& identity) const { return pending_.count(identity) != 0; }
    bool Busy() const { return !told_.empty(); }

    // For each template finished since the last call, in the order they were
    // added, why its changes were not made, if so. With `all`, waits for at
    // least one if any is left, and has the threads write what they hold.
    std::vector<std::optional<TemplateError>> Finished(bool all);

private:
    struct Template {
        Read read;
        std::optional<FileIdentity> identity;
        std::optional<TemplateError> result;
        bool done = false;
    };
    // Reads and writes templates until told to stop or, with `untilIdle`,
    // until none is left to take and nothing is held.
    void Work(bool untilIdle);
    void Take(Template& taken, TemplateReplacements& files, size_t& bytes) const;

    const bool dryRun_;
    const size_t most_;  // threads
    std::mutex mutex_;
    std::condition_variable work_;      // to the threads: a template waits, or the end
    std::condition_variable finished_;  // to the reading thread: a template is finished
    std::deque<Template> told_;         // added and not yet returned, in order
    size_t taken_ = 0;                  // how many of them a thread has taken
    bool flushing_ = false;             // the reading thread waits for every template
    bool stopping_ = false;
    std::vector<std::thread> threads_;
    std::multiset<FileIdentity> pending_;  // the reading thread's own
};

}  // namespace quillmark

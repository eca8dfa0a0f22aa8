// --fix and --rename: the changes an author asks of the templates' codes, and
// their writing into the template files, as safely as a careful person would.
#pragma once

#include <deque>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
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
    std::optional<FileIdentity> identity;
};

// Writes each template's changes into its package and reads that back: it
// must read as the old text with the changes made. Then, unless this is a
// dry run, puts the new packages in the templates' places. A template is
// refused while it is open in Word or LibreOffice, signed or read-only. One
// result for each job, in order; a template that fails is as it was.
std::vector<std::optional<TemplateError>> WriteFixes(std::vector<FixJob>& jobs, bool dryRun);

// Templates to be changed, written by threads of their own while the next
// templates are read: checking is reading, and changing is reading, writing
// and reading again, so the writing runs beside the next template's reading.
// Two threads at a time, each with a batch of templates: while one waits for
// the disk, the other works; and a batch is made durable with one sync.
class FixWriter {
public:
    explicit FixWriter(bool dryRun) : dryRun_(dryRun) {}

    void Add(FixJob job);
    // Whether a template is still to be changed, by any path that names it.
    bool Changing(const FileIdentity& identity) const { return changing_.count(identity) != 0; }

    // The results of the jobs finished since the last call, in the order they
    // were added; with `all`, once every job is finished. Hands the jobs
    // waiting to a thread when there are enough of them.
    std::vector<std::optional<TemplateError>> Finished(bool all);

private:
    void Start(size_t most);

    struct Batch {
        std::future<std::vector<std::optional<TemplateError>>> results;
        std::vector<std::optional<FileIdentity>> identities;
    };
    const bool dryRun_;
    std::deque<FixJob> waiting_;
    size_t waitingBytes_ = 0;
    std::deque<Batch> running_;
    std::multiset<FileIdentity> changing_;
};

}  // namespace quillmark

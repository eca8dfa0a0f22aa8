#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "catalogue/Platform.h"
#include "tools/check/TemplateFile.h"
#include "common/UniqueFd.h"

namespace quillmark {

namespace {

// The new file, named until it replaces the template or is removed.
class NewFile {
public:
    explicit NewFile(std::string path) : path_(std::move(path)) {}
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    const std::string& Path() const { return path_; }
    void Keep() { path_.clear(); }

private:
    std::string path_;
};

TemplateError WriteError(int error) {
    return TemplateError{Message::WriteFailed, {ToUtf8(platform::SystemErrorText(static_cast<unsigned long>(error)))}};
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// Whether the open file holds exactly these bytes.
bool HoldsExactly(int fd, std::string_view expected) {
    char buffer[16 * 1024];
    for (size_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) return at == expected.size();
        if (got < 0 ||
            expected.substr(at, static_cast<size_t>(got)) != std::string_view(buffer, static_cast<size_t>(got))) {
            return false;
        }
        at += static_cast<size_t>(got);
    }
}

// The file, open, if it holds exactly these bytes.
UniqueFd OpenHolding(const std::string& path, std::string_view expected) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.Get() >= 0 && !HoldsExactly(fd.Get(), expected)) return UniqueFd(-1);
    return fd;
}

// Beside the template, hidden, and no longer than a name may be: a long
// template name is cut, at a character.
std::string NewFileName(const std::string& name, const std::string& suffix) {
    const std::string prefix = ".~quillmark.";
    size_t keep = std::min(name.size(), NAME_MAX - prefix.size() - suffix.size());
    while (keep > 0 && keep < name.size() && (name[keep] & 0xC0) == 0x80) --keep;
    return prefix + name.substr(0, keep) + suffix;
}

// A new file of a name that no other file has: two long names cut alike,
// written in one batch or in two threads, each take a name of their own.
UniqueFd CreateNewFile(const std::string& folder, const std::string& name, const std::string& suffix,
                       std::string& path) {
    for (int n = 0;; ++n) {
        std::string unique = suffix;
        if (n > 0) unique.append(".").append(std::to_string(n));
        path = folder;
        path += NewFileName(name, unique);
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600));
        if (fd.Get() >= 0 || errno != EEXIST || n == 99) return fd;
    }
}

}  // namespace

bool IsReadOnlyFile(const WString& path) {
    struct stat st {};
    const std::string native = ToNativePath(path);
    if (::stat(native.c_str(), &st) != 0) return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(native.c_str(), W_OK) != 0;
}

std::optional<FileIdentity> IdentityOf(const WString& path) {
    struct stat st {};
    if (::stat(ToNativePath(path).c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

namespace {

// A new file written beside its template, waiting to take its place.
struct Replacement {
    std::optional<NewFile> file;
    std::string target;
    // The new file, held open: opened before it was written, so that syncing
    // through it reports any error in writing it back. Not its folder: one
    // that may be written in but not listed cannot be opened.
    UniqueFd fd{-1};
    dev_t device = 0;
    // The template as read, held open until all are replaced: the disk then
    // frees its blocks (a discard, on some disks) when it is closed, outside
    // the folder's lock, rather than in the middle of the renames.
    UniqueFd old{-1};
};

std::optional<TemplateError> WriteBeside(const WString& path, std::string_view bytes, const std::string& suffix,
                                         Replacement& out) {
    // A link stays a link: the file it names is the template, and the new file goes beside that.
    out.target = ToNativePath(path);
    struct stat st {};
    if (::lstat(out.target.c_str(), &st) != 0) return WriteError(errno);
    if (S_ISLNK(st.st_mode)) {
        const std::unique_ptr<char, decltype(&::free)> real(::realpath(out.target.c_str(), nullptr), &::free);
        if (!real) return WriteError(errno);
        out.target = real.get();
        if (::stat(out.target.c_str(), &st) != 0) return WriteError(errno);
    }
    out.device = st.st_dev;
    const size_t slash = out.target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : out.target.substr(0, slash + 1);
    std::string name;
    out.fd = CreateNewFile(folder, out.target.substr(folder.size()), suffix, name);
    const int fd = out.fd.Get();
    if (fd < 0) return WriteError(errno);  // and the file of that name is not ours
    out.file.emplace(name);
    // The owner first: changing it may clear the set-id bits that the mode then restores.
    if (::fchown(fd, st.st_uid, st.st_gid) != 0 && errno != EPERM) return WriteError(errno);
    if (::fchmod(fd, st.st_mode & 07777) != 0) return WriteError(errno);
    if (!WriteAll(fd, bytes)) return WriteError(errno);
    if (!HoldsExactly(fd, bytes)) return TemplateError{Message::ReadBackDiffers, {}};
    return std::nullopt;
}

}  // namespace

std::vector<std::optional<TemplateError>> TemplateReplacements::Commit() {
    // A write past a file-size limit fails with EFBIG instead of ending the
    // process, so that the new file is removed and the template reported.
    ::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::optional<TemplateError>> results(pending_.size());
    std::vector<Replacement> written(pending_.size());
    const std::string suffix = "." + std::to_string(::getpid());
    for (size_t i = 0; i < pending_.size(); ++i) {
        results[i] = WriteBeside(pending_[i].path, pending_[i].bytes, suffix, written[i]);
    }
    // One sync of each file system makes all its new files durable at the
    // cost of one; an fsync of each would flush the disk once per file.
    std::map<dev_t, int> syncError;
    for (size_t i = 0; i < pending_.size(); ++i) {
        if (results[i]) continue;
        const auto [at, first] = syncError.emplace(written[i].device, 0);
        if (first && ::syncfs(written[i].fd.Get()) != 0) at->second = errno;
        if (at->second != 0) results[i] = WriteError(at->second);
    }
    // Of each template renamed, its file system and a file in it; room made
    // first, so that nothing can fail once a template is replaced.
    std::vector<std::pair<dev_t, int>> renamedIn;
    renamedIn.reserve(pending_.size());
    for (size_t i = 0; i < pending_.size(); ++i) {
        Replacement& r = written[i];
        if (results[i]) continue;
        if ((r.old = OpenHolding(r.target, pending_[i].expected)).Get() < 0) {
            results[i] = TemplateError{Message::ChangedOnDisk, {}};
        } else if (!r.fd.Close() || ::rename(r.file->Path().c_str(), r.target.c_str()) != 0) {
            results[i] = WriteError(errno);
        } else {
            r.file->Keep();
            renamedIn.emplace_back(r.device, r.old.Get());
        }
    }
    // The new names last once their folders are on disk too.
    for (size_t i = 0; i < renamedIn.size(); ++i) {
        const auto [device, fd] = renamedIn[i];
        const auto first = std::find_if(renamedIn.begin(), renamedIn.end(),
                                        [device = device](const auto& other) { return other.first == device; });
        if (first - renamedIn.begin() == static_cast<ptrdiff_t>(i)) ::syncfs(fd);
    }
    pending_.clear();
    return results;
}

}  // namespace quillmark

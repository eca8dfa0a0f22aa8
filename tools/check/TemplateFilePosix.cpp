#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
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

bool HoldsExactly(const std::string& path, std::string_view expected) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.Get() < 0) return false;
    char buffer[16 * 1024];
    size_t at = 0;
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return at == expected.size();
        if (expected.substr(at, static_cast<size_t>(got)) != std::string_view(buffer, static_cast<size_t>(got))) {
            return false;
        }
        at += static_cast<size_t>(got);
    }
}

// Beside the template, hidden, and no longer than a name may be: a long
// template name is cut, at a character.
std::string NewFileName(const std::string& name) {
    const std::string prefix = ".~quillmark.", suffix = "." + std::to_string(::getpid());
    size_t keep = std::min(name.size(), NAME_MAX - prefix.size() - suffix.size());
    while (keep > 0 && keep < name.size() && (name[keep] & 0xC0) == 0x80) --keep;
    return prefix + name.substr(0, keep) + suffix;
}

}  // namespace

bool IsReadOnlyFile(const WString& path) {
    struct stat st {};
    const std::string native = ToNativePath(path);
    if (::stat(native.c_str(), &st) != 0) return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(native.c_str(), W_OK) != 0;
}

std::optional<TemplateError> ReplaceTemplateFile(const WString& path, std::string_view expected,
                                                 std::string_view bytes) {
    // A write past a file-size limit fails with EFBIG instead of ending the
    // process, so that the new file is removed and the template reported.
    ::signal(SIGXFSZ, SIG_IGN);
    // A link stays a link: the file it names is the template, and the new file goes beside that.
    const std::unique_ptr<char, decltype(&::free)> real(::realpath(ToNativePath(path).c_str(), nullptr), &::free);
    if (!real) return WriteError(errno);
    const std::string target = real.get();
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) return WriteError(errno);
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    NewFile file(folder + NewFileName(name));
    UniqueFd fd(::open(file.Path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600));
    if (fd.Get() < 0) {
        const int error = errno;
        file.Keep();  // not ours
        return WriteError(error);
    }
    // The owner first: changing it may clear the set-id bits that the mode then restores.
    if (::fchown(fd.Get(), st.st_uid, st.st_gid) != 0 && errno != EPERM) return WriteError(errno);
    if (::fchmod(fd.Get(), st.st_mode & 07777) != 0) return WriteError(errno);
    if (!WriteAll(fd.Get(), bytes) || ::fsync(fd.Get()) != 0) return WriteError(errno);
    if (!fd.Close()) return WriteError(errno);
    if (!HoldsExactly(file.Path(), bytes)) return TemplateError{Message::ReadBackDiffers, {}};
    if (!HoldsExactly(target, expected)) return TemplateError{Message::ChangedOnDisk, {}};
    if (::rename(file.Path().c_str(), target.c_str()) != 0) return WriteError(errno);
    file.Keep();
    // The new name lasts once the folder is on disk too.
    const UniqueFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
    return std::nullopt;
}

}  // namespace quillmark

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/CodePages.h"
#include "catalogue/Decoding.h"
#include "catalogue/FileOpenError.h"
#include "catalogue/Platform.h"
#include "catalogue/TextRules.h"
#include "common/UniqueFd.h"

namespace quillmark::platform {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// strerror_r is the GNU or the XSI one depending on the C library.
[[maybe_unused]] const char* ErrorString(int result, const char* buffer) { return result == 0 ? buffer : ""; }
[[maybe_unused]] const char* ErrorString(const char* result, const char*) { return result; }

// A directory search for the last component, for paths whose attributes
// cannot be read.
bool FoundAsNonDirectory(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::unique_ptr<DIR, DirCloser> d(::opendir(dir.c_str()));
    if (!d) return false;
    while (const dirent* entry = ::readdir(d.get())) {
        if (name == entry->d_name) return entry->d_type != DT_DIR;
    }
    return false;
}

}  // namespace

WString ModuleFileName() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return WString();
        if (static_cast<size_t>(n) < buffer.size()) return FromNativePath(std::string_view(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}

WStringView PathSeparators() { return u"/"; }

bool FileExists(const WString& path) {
    const std::string name = ToNativePath(path);
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) return !S_ISDIR(st.st_mode);
    if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) return false;
    return FoundAsNonDirectory(name);
}

FileBytes ReadWholeFile(const WString& path) {
    // Non-blocking, so that a FIFO in its place cannot hang the read.
    const UniqueFd fd(::open(ToNativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.Get() < 0) throw FileOpenError(path, static_cast<unsigned long>(errno));

    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) throw FileOpenError(path, static_cast<unsigned long>(errno));
    FileBytes bytes(S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) : 0);
    size_t done = 0;
    while (done < bytes.Size()) {
        const ssize_t got = ::read(fd.Get(), bytes.Data() + done, bytes.Size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            throw Exception(u"Cannot read file \"" + FullPath(path) + u"\". " +
                            SystemErrorText(static_cast<unsigned long>(errno)));
        }
        if (got == 0) break;  // the file shrank since it was opened
        done += static_cast<size_t>(got);
    }
    bytes.Shrink(done);
    return bytes;
}

WString FullPath(const WString& path) {
    WString absolute = path;
    if (absolute.empty() || absolute.front() != u'/') {
        std::vector<char> cwd(4096);
        while (::getcwd(cwd.data(), cwd.size()) == nullptr && errno == ERANGE) cwd.resize(cwd.size() * 2);
        absolute = FromNativePath(cwd.data()) + u"/" + absolute;
    }
    std::vector<WStringView> parts;
    WStringView rest = absolute;
    while (!rest.empty()) {
        const size_t slash = rest.find(u'/');
        const WStringView part = rest.substr(0, slash);
        rest = slash == WStringView::npos ? WStringView() : rest.substr(slash + 1);
        if (part.empty() || part == u".") continue;
        if (part == u"..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    WString normal;
    for (const WStringView part : parts) normal.append(u"/").append(part);
    return normal.empty() ? WString(u"/") : normal;
}

WString SystemErrorText(unsigned long code) {
    char buffer[256] = {};
    const char* text = ErrorString(::strerror_r(static_cast<int>(code), buffer, sizeof buffer), buffer);
    return WithoutTrailingBlanksAndStops(FromUtf8(text));
}

std::optional<Buffer<WChar>> DecodeUtf8(std::string_view bytes) { return DecodeUtf8Strict(bytes); }

bool IsValidUtf8(std::string_view bytes) { return !FindMalformedUtf8(bytes).has_value(); }

size_t DecodeValidUtf8(std::string_view bytes, WChar* out) { return DecodeUtf8StrictTo(bytes, out).value_or(0); }

unsigned DefaultAnsiCodePage() { return kDefaultLegacyCodePage; }

Buffer<WChar> DecodeAnsi(std::string_view bytes, unsigned codePage) {
    return DecodeLegacy(bytes, codePage == 0 ? kDefaultLegacyCodePage : codePage);
}

void UpperCaseInPlace(WString& text) {
    for (WChar& c : text) c = PortableUpper(c);
}

}  // namespace quillmark::platform

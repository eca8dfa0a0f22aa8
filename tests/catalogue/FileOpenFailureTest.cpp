// A params.ini that exists but cannot be opened: the file-open error.
#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/Platform.h"
#include "catalogue/TemplateCatalogue.h"
#include "common/Exception.h"
#include "support/TestFiles.h"

#ifdef _WIN32
#include "support/HoldOpen.h"
#else
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace quillmark {
namespace {

using test::TempDir;
using test::ToWString;

#ifdef _WIN32

class UnopenableFile : public test::FileHeldOpen {
public:
    explicit UnopenableFile(const std::filesystem::path& path) : FileHeldOpen(HolderExe(), path) {}
    static unsigned long ExpectedError() { return ERROR_SHARING_VIOLATION; }

private:
    static std::wstring HolderExe() {
        const WString module = platform::ModuleFileName();
        return module.substr(0, module.find_last_of(L'\\') + 1) + L"hold-open.exe";
    }
};

#else

// A socket where the file should be: it exists, and open() refuses it.
class UnopenableFile {
public:
    explicit UnopenableFile(const std::filesystem::path& path) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        std::filesystem::remove(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string name = path.string();
        if (name.size() >= sizeof address.sun_path) return;
        name.copy(address.sun_path, name.size());
        bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~UnopenableFile() { ::close(fd_); }
    bool Ready() const { return bound_; }
    static unsigned long ExpectedError() { return ENXIO; }

private:
    int fd_;
    bool bound_ = false;
};

#endif

WString MessageOf(const WString& path) {
    try {
        TTemplateCatalogue catalogue(path);
    } catch (const Exception& e) {
        return e.Message();
    }
    return QM_W("(no exception)");
}

TEST(FileOpenFailure, RaisesWithTheFullPathAndTheSystemReason) {
    TempDir dir;
    const auto file = dir.Write("params.ini", "\xEF\xBB\xBF[S]\r\nA=1\r\n");
    UnopenableFile holder(file);
    ASSERT_TRUE(holder.Ready());

    const WString reason = platform::SystemErrorText(UnopenableFile::ExpectedError());
    ASSERT_FALSE(reason.empty());
    EXPECT_NE(reason.back(), QM_W('.'));
    EXPECT_GT(static_cast<unsigned>(reason.back()), 0x20u);
    const WString expected = QM_W("Cannot open file \"") + ToWString(file) + QM_W("\". ") + reason;
    EXPECT_EQ(MessageOf(ToWString(file)), expected);

    // A relative path is shown in its full form.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    EXPECT_EQ(MessageOf(QM_W("params.ini")), expected);
    std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace quillmark

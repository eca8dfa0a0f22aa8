// A params.ini that exists but cannot be opened: the file-open error.
#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/Platform.h"
#include "catalogue/TemplateCatalogue.h"
#include "common/Exception.h"
#include "support/TestFiles.h"

#ifdef _WIN32
#include <windows.h>

#include "common/WinHandle.h"
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

// Another Windows process that holds the file open for writing.
class UnopenableFile {
public:
    explicit UnopenableFile(const std::filesystem::path& path) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE childIn = nullptr, parentOut = nullptr, parentIn = nullptr, childOut = nullptr;
        ::CreatePipe(&childIn, &parentOut, &inherit, 0);
        ::CreatePipe(&parentIn, &childOut, &inherit, 0);
        ::SetHandleInformation(parentOut, HANDLE_FLAG_INHERIT, 0);
        ::SetHandleInformation(parentIn, HANDLE_FLAG_INHERIT, 0);
        toChild_.Reset(parentOut);
        fromChild_.Reset(parentIn);
        const UniqueKernelHandle in(childIn), out(childOut);

        const WString module = platform::ModuleFileName();
        WString command =
            L"\"" + module.substr(0, module.find_last_of(L'\\') + 1) + L"hold-open.exe\" \"" + path.wstring() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in.Get();
        startup.hStdOutput = out.Get();
        startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION info{};
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
            return;
        }
        process_.Reset(info.hProcess);
        ::CloseHandle(info.hThread);
    }
    ~UnopenableFile() {
        toChild_.Reset();
        if (process_) ::WaitForSingleObject(process_.Get(), 10000);
    }
    // True once the holder has the file open.
    bool Ready() {
        char buffer[8] = {};
        DWORD got = 0;
        return process_ && ::ReadFile(fromChild_.Get(), buffer, 5, &got, nullptr) &&
               std::string(buffer, got) == "held\n";
    }
    static unsigned long ExpectedError() { return ERROR_SHARING_VIOLATION; }

private:
    UniqueKernelHandle process_, toChild_, fromChild_;
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

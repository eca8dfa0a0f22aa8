// Another Windows process that holds a file open for writing, as an editor
// saving it would; the file cannot then be opened with writing denied.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

#include "common/WinHandle.h"

namespace quillmark::test {

class FileHeldOpen {
public:
    FileHeldOpen(const std::wstring& holderExe, const std::filesystem::path& path) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE childIn = nullptr, parentOut = nullptr, parentIn = nullptr, childOut = nullptr;
        ::CreatePipe(&childIn, &parentOut, &inherit, 0);
        ::CreatePipe(&parentIn, &childOut, &inherit, 0);
        ::SetHandleInformation(parentOut, HANDLE_FLAG_INHERIT, 0);
        ::SetHandleInformation(parentIn, HANDLE_FLAG_INHERIT, 0);
        toChild_.Reset(parentOut);
        fromChild_.Reset(parentIn);
        const UniqueKernelHandle in(childIn), out(childOut);

        std::wstring command = L"\"" + holderExe + L"\" \"" + path.wstring() + L"\"";
        STARTUPINFOW startup{sizeof startup};
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in.Get();
        startup.hStdOutput = out.Get();
        startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION info{};
        if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
            process_.Reset(info.hProcess);
            ::CloseHandle(info.hThread);
        }
    }
    FileHeldOpen(const FileHeldOpen&) = delete;
    FileHeldOpen& operator=(const FileHeldOpen&) = delete;
    ~FileHeldOpen() { Release(); }

    // True once the holder has the file open.
    bool Ready() {
        char buffer[8] = {};
        DWORD got = 0;
        return process_ && ::ReadFile(fromChild_.Get(), buffer, 5, &got, nullptr) &&
               std::string(buffer, got) == "held\n";
    }
    void Release() {
        toChild_.Reset();
        if (process_) ::WaitForSingleObject(process_.Get(), 10000);
        process_.Reset();
    }

private:
    UniqueKernelHandle process_, toChild_, fromChild_;
};

}  // namespace quillmark::test

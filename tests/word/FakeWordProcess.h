// fakeword.exe run by a test: started, read and stopped.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/WinHandle.h"
#include "support/TestFiles.h"
#include "support/Wait.h"
#include "word/FakeWord.h"

namespace quillmark::test {

class FakeWordProcess {
public:
    explicit FakeWordProcess(std::wstring options = L"") : log_(dir_.Path() / "word.log") {
        wchar_t module[MAX_PATH * 4];
        const std::wstring self(module, ::GetModuleFileNameW(nullptr, module, MAX_PATH * 4));
        const std::wstring exe = self.substr(0, self.find_last_of(L'\\') + 1) + L"fakeword.exe";
        std::wstring command = L"\"" + exe + L"\" \"" + log_.wstring() + L"\" " + options;
        STARTUPINFOW startup{sizeof startup};
        PROCESS_INFORMATION info{};
        if (::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &info)) {
            process_.Reset(info.hProcess);
            ::CloseHandle(info.hThread);
            threadId_ = info.dwThreadId;
        }
        for (int i = 0; i < 500 && !Ready(); ++i) ::Sleep(10);
    }
    FakeWordProcess(const FakeWordProcess&) = delete;
    FakeWordProcess& operator=(const FakeWordProcess&) = delete;
    ~FakeWordProcess() { Stop(); }

    bool Ready() const {
        const auto lines = Lines();
        return !lines.empty() && lines.front() == "ready";
    }
    bool Running() const { return process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }

    // Every line logged so far but "ready" and the document's states.
    std::vector<std::string> Calls() const {
        std::vector<std::string> calls;
        for (const std::string& line : Lines()) {
            if (line != "ready" && !IsDocumentLine(line)) calls.push_back(line);
        }
        return calls;
    }
    // The document as the last call left it, or "" before any call.
    std::string Document() const {
        std::string document;
        for (const std::string& line : Lines()) {
            if (IsDocumentLine(line)) document = line;
        }
        return document;
    }
    std::vector<std::string> Lines() const {
        std::ifstream in(log_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    // Ends it as Word's own close would: the object leaves the table.
    void Stop() {
        if (!Running()) return;
        ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        if (::WaitForSingleObject(process_.Get(), 5000) != WAIT_OBJECT_0) Kill();
    }
    // Ends it without a word, as a crash would.
    void Kill() {
        if (!Running()) return;
        ::TerminateProcess(process_.Get(), 1);
        ::WaitForSingleObject(process_.Get(), 5000);
    }

private:
    TempDir dir_;
    std::filesystem::path log_;
    UniqueKernelHandle process_;
    DWORD threadId_ = 0;
};

}  // namespace quillmark::test

// The application object: the main thread's OLE apartment for the program's
// whole life, the modules' start-up and shutdown, the message loop and the
// default exception handler.
#pragma once

#include <windows.h>

#include "app/ExceptionSink.h"
#include "common/ModuleHooks.h"
#include "common/Text.h"

namespace quillmark {

// The window the loop runs: it sees each message before it is dispatched.
class IMainWindow {
public:
    virtual HWND Handle() const = 0;
    virtual void Show(int showCommand) = 0;
    virtual bool PreTranslateMessage(const MSG& message) = 0;

protected:
    ~IMainWindow() = default;
};

class TApplication final : public IExceptionSink {
public:
    TApplication();  // enters the OLE apartment
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;
    ~TApplication();  // leaves it, last of all

    void AddModule(ModuleHooks hooks) { modules_.Add(hooks); }
    // Runs the modules' initialisation in the order they were added.
    void Initialize() { modules_.Initialize(); }
    // Shows the main window and handles messages until the quit message.
    void Run(IMainWindow& mainWindow, int launchShowCommand);
    // The modules' shutdown, in the reverse order of their start.
    void Shutdown() { modules_.Shutdown(); }

    const WString& Title() const { return title_; }
    void HandleException(const std::exception_ptr& error) noexcept override;

private:
    bool oleInitialized_;
    WString title_;
    ModuleChain modules_;
};

}  // namespace quillmark

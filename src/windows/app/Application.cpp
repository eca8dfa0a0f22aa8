#include "app/Application.h"

#include <ole2.h>

#include "ui/ExceptionText.h"
#include "catalogue/Platform.h"
#include "controls/Window.h"
#include "ui/FormLayout.h"

namespace quillmark {

namespace {

void LowerInPlace(WString& text) {
    if (!text.empty()) ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
}

// The program's visible, enabled top-level windows but the error box's owner,
// disabled for one scope (while the box is up) and enabled again afterwards.
// The box disables and enables its owner itself: an owner still disabled when
// the box goes would hand the activation to another program.
class DisabledTaskWindows {
public:
    explicit DisabledTaskWindows(HWND owner) : owner_(owner) {
        ::EnumThreadWindows(::GetCurrentThreadId(), &DisabledTaskWindows::Disable, reinterpret_cast<LPARAM>(this));
    }
    DisabledTaskWindows(const DisabledTaskWindows&) = delete;
    DisabledTaskWindows& operator=(const DisabledTaskWindows&) = delete;
    ~DisabledTaskWindows() {
        for (const HWND window : windows_) ::EnableWindow(window, TRUE);
    }

private:
    static BOOL CALLBACK Disable(HWND window, LPARAM param) {
        auto* self = reinterpret_cast<DisabledTaskWindows*>(param);
        if (window != self->owner_ && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
            ::EnableWindow(window, FALSE);
            self->windows_.push_back(window);
        }
        return TRUE;
    }
    HWND owner_;
    std::vector<HWND> windows_;
};

}  // namespace

TApplication::TApplication()
    : oleInitialized_(SUCCEEDED(::OleInitialize(nullptr))),
      title_(ApplicationTitleFrom(platform::ModuleFileName(), platform::PathSeparators(), LowerInPlace)) {}

TApplication::~TApplication() {
    if (oleInitialized_) ::OleUninitialize();
}

void TApplication::Run(IMainWindow& mainWindow, int launchShowCommand) {
    Guarded(*this, [&] {
        mainWindow.Show(InitialShowCommand(launchShowCommand));
        return 0;
    });
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        const bool handled = Guarded(*this, [&]() -> LRESULT { return mainWindow.PreTranslateMessage(message); });
        if (handled) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void TApplication::HandleException(const std::exception_ptr& error) noexcept {
    try {
        if (const HWND capture = ::GetCapture()) ::SendMessageW(capture, WM_CANCELMODE, 0, 0);
        const WString text = WithFullStop(MessageOf(error));
        const HWND active = ::GetActiveWindow();
        const HWND focus = ::GetFocus();
        {
            const DisabledTaskWindows disabled(active);
            ::MessageBoxW(active, text.c_str(), title_.c_str(), MB_OK | MB_ICONERROR);
        }
        if (active != nullptr && ::IsWindow(active)) ::SetActiveWindow(active);
        if (focus != nullptr && ::IsWindow(focus)) ::SetFocus(focus);
    } catch (...) {
        // Nothing is left to report with; the loop goes on.
    }
}

}  // namespace quillmark

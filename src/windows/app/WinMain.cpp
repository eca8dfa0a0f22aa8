// The entry point: start the application, create the window, run the loop,
// shut down in the reverse order.
#include <windows.h>

#include "Main.h"
#include "MyWord.h"

#include "app/Application.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // Never load a DLL from beside the executable, where params.ini lives.
    // Looked up at run time: Windows 7 without KB2533623 lacks it.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    if (const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")))) {
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    ::SetDllDirectoryW(L"");

    quillmark::TApplication application;
    application.AddModule(quillmark::WordBridgeModule());
    try {
        application.Initialize();

        // The window has no owner and its own taskbar button (WS_EX_APPWINDOW).
        quillmark::TForm21 form(instance, application);
        application.Run(form, showCommand);
    } catch (...) {
        application.HandleException(std::current_exception());
    }
    application.Shutdown();
    return 0;
}

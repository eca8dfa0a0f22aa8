#include "controls/Window.h"

#include "catalogue/Platform.h"
#include "common/Exception.h"

namespace quillmark {

WNDCLASSEXW WindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, const wchar_t* cursor) {
    WNDCLASSEXW windowClass{sizeof windowClass};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, cursor);
    windowClass.lpszClassName = name;
    return windowClass;
}

void RegisterClassOnce(const WNDCLASSEXW& windowClass) {
    WNDCLASSEXW existing{sizeof existing};
    if (::GetClassInfoExW(windowClass.hInstance, windowClass.lpszClassName, &existing)) return;
    if (!::RegisterClassExW(&windowClass)) {
        throw Exception(L"Cannot register the window class " + std::wstring(windowClass.lpszClassName) + L": " +
                        platform::SystemErrorText(::GetLastError()));
    }
}

}  // namespace quillmark

#include "controls/Window.h"

#include "catalogue/Platform.h"
#include "common/Exception.h"

namespace quillmark {

void RegisterClassOnce(const WNDCLASSEXW& windowClass) {
    WNDCLASSEXW existing{sizeof existing};
    if (::GetClassInfoExW(windowClass.hInstance, windowClass.lpszClassName, &existing)) return;
    if (!::RegisterClassExW(&windowClass)) {
        throw Exception(L"Cannot register the window class " + std::wstring(windowClass.lpszClassName) + L": " +
                        platform::SystemErrorText(::GetLastError()));
    }
}

}  // namespace quillmark

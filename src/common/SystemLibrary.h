// DLLs of Windows that are no KnownDLLs (oleacc, xmllite), loaded at run time
// from the system folder only: a copy beside the executable, say in a
// Downloads folder, must never run inside the program.
#pragma once

#include <windows.h>

#include "common/Text.h"

namespace quillmark {

// The DLL from the system folder, or null.
inline HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (const HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    // Windows 7 without KB2533623 does not know the flag: name the file in full there.
    if (::GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const WString path = WString(folder, length) + L'\\' + name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// A function of a loaded DLL, typed; null when either is missing.
template <class Function>
Function ProcAddress(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

}  // namespace quillmark

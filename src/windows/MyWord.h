// The Word bridge: the one connection to a running Word, reached through
// late-bound OLE Automation. No operation raises: every failure is false.
#pragma once

#include "app/Application.h"
#include "common/Text.h"

namespace quillmark {

// CoInitialize for the main thread; a failure is only remembered.
void InitializeCom();
// Attaches to the running Word.Application; on failure the connection stays as it was.
bool AttachWord() noexcept;
// Word's visible property, on the connection.
bool SetWordVisible(bool visible) noexcept;
// Replaces Word's selection with the code, or types it at the caret, and
// leaves the caret after it.
bool InsertCode(const WString& code) noexcept;
// Releases the connection and leaves it empty.
void ReleaseWord() noexcept;
// CoUninitialize, when InitializeCom's CoInitialize succeeded.
void UninitializeCom();

// The bridge's start-up and shutdown, for the application's module chain.
ModuleHooks WordBridgeModule();

}  // namespace quillmark

// The bridge to the running LibreOffice Writer, reached over UNO through the
// user's own pipe. It never starts the office. No operation raises: every
// failure is false.
#pragma once

#include <string>

#include "common/ModuleHooks.h"
#include "common/Text.h"

namespace quillmark {

// Nothing to do at start-up: the UNO runtime is brought up at the first attach.
void InitializeUno();
// Attaches to the Writer document in front; on failure the connection stays as it was.
bool AttachWord() noexcept;
// Shows or hides the document's window.
bool SetWordVisible(bool visible) noexcept;
// Replaces the selection with the code, or types it at the caret, and leaves
// the caret after it. Where Writer refuses typing (a read-only document,
// protected text) it changes nothing and fails.
bool InsertCode(const WString& code) noexcept;
// Releases the connection and leaves it empty.
void ReleaseWord() noexcept;
// Disposes of the UNO runtime, when the first attach brought it up.
void UninitializeUno() noexcept;

// The bridge's start-up and shutdown, for the application's module chain.
ModuleHooks WordBridgeModule();

// The pipe the office listens on ("quillmark"); tests use pipes of their own.
void UseOfficePipe(std::string name);
// Where the office keeps the socket of a pipe of this user.
std::string OfficePipePath(const std::string& name);

}  // namespace quillmark

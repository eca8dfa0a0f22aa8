// A stand-in for Word's automation server: an Application object with one
// document and its one live selection, answering visible, Selection, Type,
// Delete, InsertAfter and Collapse by Word's documented rules. It logs every
// call it receives, and after each call the document with its selection
// marked ("Document Hello [World]", "Document Hello|World" for a caret). Used in-process by the bridge tests and across
// processes by fakeword.exe.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <functional>
#include <string>

namespace quillmark::test {

// {6B3C1A52-9E0D-4F55-8F0B-5A1D2C3E4F70}
inline constexpr CLSID kFakeWordClsid = {0x6b3c1a52, 0x9e0d, 0x4f55, {0x8f, 0x0b, 0x5a, 0x1d, 0x2c, 0x3e, 0x4f, 0x70}};

// Makes Word.Application name our class, where CLSIDFromProgID looks (HKLM).
bool RegisterWordProgId();

struct FakeWordOptions {
    std::wstring text;           // the document
    long start = 0, end = 0;     // the selection in it, clamped; start == end is a caret
    long type = -1;              // what Selection.Type answers; -1: text, or a caret
    VARTYPE typeAs = VT_I4;      // the integer type Selection.Type answers with
    std::wstring failing;        // Invoke of this member raises an exception (DISP_E_EXCEPTION)
    std::wstring answerSFalse;   // Invoke of this member answers S_FALSE
    std::wstring unknownMember;  // GetIDsOfNames does not know this member
};

using FakeWordLog = std::function<void(const std::string& line)>;

// Creates the Application object with one reference, which the caller owns.
IDispatch* CreateFakeWord(const FakeWordOptions& options, FakeWordLog log);
// The references held on an object created by CreateFakeWord.
ULONG ReferencesOf(IDispatch* fakeWord);

// The log lines of the document's states, and the calls without them.
inline bool IsDocumentLine(const std::string& line) { return line.rfind("Document ", 0) == 0; }

}  // namespace quillmark::test

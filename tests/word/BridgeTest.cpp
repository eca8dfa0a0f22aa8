// The Word bridge against a fake Word: in this process, where references and
// the exact BSTR are visible, and across processes, as Word is reached for real.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "MyWord.h"
#include "word/FakeWord.h"
#include "word/FakeWordProcess.h"

namespace quillmark::test {
namespace {

using Lines = std::vector<std::string>;

std::string ThreadLocale() {
    char text[8];
    std::snprintf(text, sizeof text, "%04lX", ::GetThreadLocale());
    return text;
}

// The calls InsertCode makes for one code, in order, on the Selections numbered
// first and first + 1; Delete only when something is selected.
Lines InsertCalls(const std::string& argument, int first, bool selected, bool crossProcess = false) {
    // A proxy always hands the server a result, even when the client asks none.
    const std::string noResult = crossProcess ? "result=yes" : "result=no";
    const std::string one = "Selection#" + std::to_string(first);
    const std::string two = "Selection#" + std::to_string(first + 1);
    const std::string lcid = " lcid=" + ThreadLocale() + " count=1";
    Lines calls = {
        "GetIDsOfNames on=Application name=Selection" + lcid,
        "Invoke on=Application member=Selection lcid=0000 flags=3 args=0 named= result=yes",
        "Create " + one,
        "GetIDsOfNames on=" + one + " name=Type" + lcid,
        "Invoke on=" + one + " member=Type lcid=0000 flags=3 args=0 named= result=yes",
    };
    if (selected) {
        calls.push_back("GetIDsOfNames on=" + one + " name=Delete" + lcid);
        calls.push_back("Invoke on=" + one + " member=Delete lcid=0000 flags=1 args=0 named= " + noResult);
    }
    for (const std::string& call : Lines{
             "GetIDsOfNames on=Application name=Selection" + lcid,
             "Invoke on=Application member=Selection lcid=0000 flags=3 args=0 named= result=yes",
             "Create " + two,
             "GetIDsOfNames on=" + two + " name=InsertAfter" + lcid,
             "Invoke on=" + two + " member=InsertAfter lcid=0000 flags=1 args=1 named= " + noResult +
                 " arg0=" + argument,
             "GetIDsOfNames on=" + two + " name=Collapse" + lcid,
             "Invoke on=" + two + " member=Collapse lcid=0000 flags=1 args=1 named= " + noResult + " arg0=VT_I4:0",
             "Release " + two,
             "Release " + one,
         }) {
        calls.push_back(call);
    }
    return calls;
}

// The log without the document's states, and the last of those.
Lines CallsOf(const Lines& log) {
    Lines calls;
    for (const std::string& line : log) {
        if (!IsDocumentLine(line)) calls.push_back(line);
    }
    return calls;
}
std::string DocumentOf(const Lines& log) {
    for (auto line = log.rbegin(); line != log.rend(); ++line) {
        if (IsDocumentLine(*line)) return *line;
    }
    return "";
}

// What OK does to a document: the selection replaced by the codes, in order,
// the caret after them, nothing eaten; twice, the codes twice.
struct DocumentCase {
    const char* name;
    const wchar_t* text;
    long start, end;
    std::vector<std::wstring> codes;
    int presses;
    const char* after;
};
const DocumentCase kDocumentCases[] = {
    {"selection", L"Hello World", 6, 11, {L"A", L"", L"Б"}, 1, "Document Hello AБ|"},
    {"caret", L"Hello World", 5, 5, {L"A"}, 1, "Document HelloA| World"},
    {"twice", L"Hello World", 6, 11, {L"A", L"Б"}, 2, "Document Hello AБAБ|"},
    {"empty document", L"", 0, 0, {L"#Истец#"}, 1, "Document #Истец#|"},
};

void TypeCodes(const DocumentCase& c) {
    for (int press = 0; press < c.presses; ++press) {
        for (const std::wstring& code : c.codes) EXPECT_TRUE(InsertCode(code)) << c.name;
    }
}

Lines VisibleCalls(bool crossProcess) {
    return {"GetIDsOfNames on=Application name=visible lcid=" + ThreadLocale() + " count=1",
            std::string("Invoke on=Application member=visible lcid=0000 flags=4 args=1 named=-3 result=") +
                (crossProcess ? "yes" : "no") + " arg0=VT_BOOL:-1"};
}

// A fake Word in the running object table of this very process.
class InProcessWord : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        ASSERT_TRUE(RegisterWordProgId());
        ReleaseWord();
    }
    void TearDown() override {
        ReleaseWord();
        Revoke();
        if (word_ != nullptr) word_->Release();
        ::CoUninitialize();
    }
    void Publish(const FakeWordOptions& options = {}) {
        Revoke();
        if (word_ != nullptr) word_->Release();
        log_.clear();
        word_ = CreateFakeWord(options, [this](const std::string& line) { log_.push_back(line); });
        ASSERT_TRUE(SUCCEEDED(::RegisterActiveObject(word_, kFakeWordClsid, ACTIVEOBJECT_STRONG, &cookie_)));
    }
    void Revoke() {
        if (cookie_ != 0) ::RevokeActiveObject(cookie_, nullptr);
        cookie_ = 0;
    }
    Lines Calls() const { return CallsOf(log_); }
    IDispatch* word_ = nullptr;
    DWORD cookie_ = 0;
    Lines log_;
};

TEST_F(InProcessWord, NoWordRunningFailsAndLeavesTheConnection) {
    EXPECT_FALSE(AttachWord());
    EXPECT_FALSE(SetWordVisible(true));

    Publish();
    ASSERT_TRUE(AttachWord());
    Revoke();  // Word gone from the table: the attach fails, the old reference stays
    EXPECT_FALSE(AttachWord());
    log_.clear();
    EXPECT_TRUE(SetWordVisible(true));
    EXPECT_EQ(Calls(), VisibleCalls(false));
}

TEST_F(InProcessWord, AttachingTwiceHoldsOneReference) {
    Publish();
    const ULONG before = ReferencesOf(word_);
    ASSERT_TRUE(AttachWord());
    EXPECT_EQ(ReferencesOf(word_), before + 1);
    ASSERT_TRUE(AttachWord());
    EXPECT_EQ(ReferencesOf(word_), before + 1);
    ReleaseWord();
    EXPECT_EQ(ReferencesOf(word_), before);
    ReleaseWord();  // nothing left to release
    EXPECT_EQ(ReferencesOf(word_), before);
}

TEST_F(InProcessWord, NothingIsSentBeforeAnAttach) {
    Publish();
    EXPECT_FALSE(SetWordVisible(true));
    EXPECT_FALSE(InsertCode(L"CODE"));
    EXPECT_TRUE(Calls().empty());
}

TEST_F(InProcessWord, TheExactCalls) {
    Publish({.text = L"Hello World", .start = 6, .end = 11});
    ASSERT_TRUE(AttachWord());
    EXPECT_TRUE(SetWordVisible(true));
    EXPECT_EQ(Calls(), VisibleCalls(false));
    log_.clear();
    EXPECT_TRUE(SetWordVisible(false));
    EXPECT_EQ(Calls().back(),
              "Invoke on=Application member=visible lcid=0000 flags=4 args=1 named=-3 result=no "
              "arg0=VT_BOOL:0");

    // The first code replaces the selection; the ones after it follow at the caret.
    log_.clear();
    EXPECT_TRUE(InsertCode(L"#Sum#"));
    EXPECT_EQ(Calls(), InsertCalls("VT_BSTR:#Sum#", 1, true));
    log_.clear();
    EXPECT_TRUE(InsertCode(L"#Сумма долга#"));
    EXPECT_EQ(Calls(), InsertCalls("VT_BSTR:#Сумма долга#", 3, false));
    log_.clear();
    EXPECT_TRUE(InsertCode(L""));  // the null BSTR
    EXPECT_EQ(Calls(), InsertCalls("VT_BSTR:(null)", 5, false));
    EXPECT_EQ(DocumentOf(log_), "Document Hello #Sum##Сумма долга#|");
}

TEST_F(InProcessWord, TheDocumentAfterwards) {
    for (const DocumentCase& c : kDocumentCases) {
        for (const VARTYPE typeAs : {VT_I4, VT_I2}) {  // Type compared as a long, whatever its type
            Publish({.text = c.text, .start = c.start, .end = c.end, .typeAs = typeAs});
            ASSERT_TRUE(AttachWord());
            TypeCodes(c);
            EXPECT_EQ(DocumentOf(log_), c.after) << c.name;
        }
    }
}

TEST_F(InProcessWord, AFailedStepEndsTheCodeAndReleasesBothSelections) {
    struct Case {
        const wchar_t* failing;
        size_t callsDone;  // of the insert with a selection, up to the failing Invoke
        const char* document;
    };
    const Case cases[] = {
        {L"Type", 5, "Document Hello [World]"},
        {L"Delete", 7, "Document Hello [World]"},  // nothing inserted
        {L"InsertAfter", 12, "Document Hello |"},
        {L"Collapse", 14, "Document Hello [A]"},
    };
    for (const Case& c : cases) {
        Publish({.text = L"Hello World", .start = 6, .end = 11, .failing = c.failing});
        ASSERT_TRUE(AttachWord());
        EXPECT_FALSE(InsertCode(L"A"));
        const Lines all = InsertCalls("VT_BSTR:A", 1, true);
        Lines expected(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(c.callsDone));
        if (c.callsDone > 8) expected.push_back("Release Selection#2");
        expected.push_back("Release Selection#1");
        EXPECT_EQ(Calls(), expected);
        EXPECT_EQ(DocumentOf(log_), c.document);

        log_.clear();
        EXPECT_FALSE(InsertCode(L"B"));  // starts again from the top
        ASSERT_FALSE(Calls().empty());
        EXPECT_EQ(Calls()[0], all[0]);
    }
}

TEST_F(InProcessWord, OnlySOkIsSuccess) {
    FakeWordOptions options;
    options.answerSFalse = L"visible";
    Publish(options);
    ASSERT_TRUE(AttachWord());
    EXPECT_FALSE(SetWordVisible(true));
    EXPECT_TRUE(InsertCode(L"A"));
}

TEST_F(InProcessWord, AnUnknownMemberFails) {
    FakeWordOptions options;
    options.unknownMember = L"InsertAfter";
    Publish(options);
    ASSERT_TRUE(AttachWord());
    EXPECT_FALSE(InsertCode(L"A"));
    for (const std::string& call : Calls()) EXPECT_EQ(call.find("Invoke on=Selection#2"), std::string::npos) << call;
    EXPECT_EQ(Calls().back(), "Release Selection#1");  // both Selections released all the same
}

TEST_F(InProcessWord, ShutdownReleasesWordThenUndoesItsOwnCoInitialize) {
    Publish();
    const ModuleHooks bridge = WordBridgeModule();
    bridge.initialize();  // S_FALSE on this thread: still counts, and is balanced
    const ULONG before = ReferencesOf(word_);
    ASSERT_TRUE(AttachWord());
    bridge.shutdown();
    EXPECT_EQ(ReferencesOf(word_), before);
    // One CoInitialize of the test's own stays: COM still answers on this thread.
    EXPECT_EQ(::CoInitialize(nullptr), S_FALSE);
    ::CoUninitialize();
    // Shutting down with nothing attached releases nothing.
    bridge.initialize();
    bridge.shutdown();
    EXPECT_EQ(ReferencesOf(word_), before);
}

// Word in another process, as it runs for real.
class CrossProcessWord : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        ReleaseWord();
    }
    void TearDown() override {
        ReleaseWord();
        ::CoUninitialize();
    }
};

TEST_F(CrossProcessWord, TheCallsArriveAsSent) {
    FakeWordProcess word(L"--text \"Hello World\" --select 6,11");
    ASSERT_TRUE(word.Ready());
    ASSERT_TRUE(AttachWord());
    EXPECT_TRUE(SetWordVisible(true));
    EXPECT_TRUE(InsertCode(L"#Истец#"));
    EXPECT_TRUE(InsertCode(L""));  // a null BSTR arrives as an empty one
    Lines expected = VisibleCalls(true);
    for (const std::string& line : InsertCalls("VT_BSTR:#Истец#", 1, true, true)) expected.push_back(line);
    for (const std::string& line : InsertCalls("VT_BSTR:", 3, false, true)) expected.push_back(line);
    EXPECT_TRUE(WaitFor([&] { return word.Calls().size() >= expected.size(); }));
    EXPECT_EQ(word.Calls(), expected);
    EXPECT_EQ(word.Document(), "Document Hello #Истец#|");
}

TEST_F(CrossProcessWord, TheDocumentAfterwards) {
    for (const DocumentCase& c : kDocumentCases) {
        FakeWordProcess word(L"--text \"" + std::wstring(c.text) + L"\" --select " + std::to_wstring(c.start) + L"," +
                             std::to_wstring(c.end));
        ASSERT_TRUE(word.Ready());
        ASSERT_TRUE(AttachWord());
        TypeCodes(c);
        EXPECT_EQ(word.Document(), c.after) << c.name;
    }
}

// Delete would empty selected cells or remove a frame or a floating shape: refused, and nothing changes.
TEST_F(CrossProcessWord, OnlyTextOrAnInlinePictureIsReplaced) {
    for (const int type : {7, 0, 3, 4, 5, 6, 8, 9}) {
        FakeWordProcess word(L"--text a¤b¤ --select 0,4 --type " + std::to_wstring(type));
        ASSERT_TRUE(AttachWord());
        EXPECT_EQ(InsertCode(L"A"), type == 7) << type;
        EXPECT_EQ(word.Document(), type == 7 ? "Document A|" : "Document [a¤b¤]") << type;
    }
}

TEST_F(CrossProcessWord, NoWordRunning) { EXPECT_FALSE(AttachWord()); }

TEST_F(CrossProcessWord, AWordStartedAnewIsFoundByTheNextAttach) {
    {
        FakeWordProcess first;
        ASSERT_TRUE(AttachWord());
        EXPECT_TRUE(SetWordVisible(true));
        first.Kill();
    }
    EXPECT_FALSE(SetWordVisible(true));  // the old reference leads nowhere
    // The running object table lets go of a killed server a little later.
    EXPECT_TRUE(WaitFor([] { return !AttachWord(); }));

    FakeWordProcess second;
    ASSERT_TRUE(second.Ready());
    ASSERT_TRUE(AttachWord());
    EXPECT_TRUE(SetWordVisible(true));
    EXPECT_EQ(second.Calls(), VisibleCalls(true));
}

TEST_F(CrossProcessWord, FailuresAcrossProcesses) {
    FakeWordProcess word(L"--text \"Hello World\" --select 6,11 --fail-delete --sfalse=visible");
    ASSERT_TRUE(AttachWord());
    EXPECT_FALSE(SetWordVisible(true));
    EXPECT_FALSE(InsertCode(L"A"));
    for (const std::string& call : word.Calls()) EXPECT_EQ(call.find("InsertAfter"), std::string::npos) << call;
    EXPECT_EQ(word.Document(), "Document Hello [World]");
}

}  // namespace
}  // namespace quillmark::test

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

// The calls InsertCode makes for one code, in order, on the Selections numbered first and first + 1.
Lines InsertCalls(const std::string& argument, int first, bool crossProcess = false) {
    // A proxy always hands the server a result, even when the client asks none.
    const std::string noResult = crossProcess ? "result=yes" : "result=no";
    const std::string one = "Selection#" + std::to_string(first);
    const std::string two = "Selection#" + std::to_string(first + 1);
    const std::string lcid = " lcid=" + ThreadLocale() + " count=1";
    return {
        "GetIDsOfNames on=Application name=Selection" + lcid,
        "Invoke on=Application member=Selection lcid=0000 flags=3 args=0 named= result=yes",
        "Create " + one,
        "GetIDsOfNames on=" + one + " name=Delete" + lcid,
        "Invoke on=" + one + " member=Delete lcid=0000 flags=1 args=0 named= " + noResult,
        "GetIDsOfNames on=Application name=Selection" + lcid,
        "Invoke on=Application member=Selection lcid=0000 flags=3 args=0 named= result=yes",
        "Create " + two,
        "GetIDsOfNames on=" + two + " name=InsertAfter" + lcid,
        "Invoke on=" + two + " member=InsertAfter lcid=0000 flags=1 args=1 named= " + noResult + " arg0=" + argument,
        "Release " + two,
        "Release " + one,
    };
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
        word_ = CreateFakeWord(options, [this](const std::string& line) { calls_.push_back(line); });
        ASSERT_TRUE(SUCCEEDED(::RegisterActiveObject(word_, kFakeWordClsid, ACTIVEOBJECT_STRONG, &cookie_)));
    }
    void Revoke() {
        if (cookie_ != 0) ::RevokeActiveObject(cookie_, nullptr);
        cookie_ = 0;
    }
    IDispatch* word_ = nullptr;
    DWORD cookie_ = 0;
    Lines calls_;
};

TEST_F(InProcessWord, NoWordRunningFailsAndLeavesTheConnection) {
    EXPECT_FALSE(AttachWord());
    EXPECT_FALSE(SetWordVisible(true));

    Publish();
    ASSERT_TRUE(AttachWord());
    Revoke();  // Word gone from the table: the attach fails, the old reference stays
    EXPECT_FALSE(AttachWord());
    calls_.clear();
    EXPECT_TRUE(SetWordVisible(true));
    EXPECT_EQ(calls_, VisibleCalls(false));
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
    EXPECT_TRUE(calls_.empty());
}

TEST_F(InProcessWord, TheExactCalls) {
    Publish();
    ASSERT_TRUE(AttachWord());
    EXPECT_TRUE(SetWordVisible(true));
    EXPECT_EQ(calls_, VisibleCalls(false));
    calls_.clear();
    EXPECT_TRUE(SetWordVisible(false));
    EXPECT_EQ(calls_.back(),
              "Invoke on=Application member=visible lcid=0000 flags=4 args=1 named=-3 result=no "
              "arg0=VT_BOOL:0");

    calls_.clear();
    EXPECT_TRUE(InsertCode(L"#Sum#"));
    EXPECT_EQ(calls_, InsertCalls("VT_BSTR:#Sum#", 1));
    calls_.clear();
    EXPECT_TRUE(InsertCode(L"#Сумма долга#"));
    EXPECT_EQ(calls_, InsertCalls("VT_BSTR:#Сумма долга#", 3));
    calls_.clear();
    EXPECT_TRUE(InsertCode(L""));  // the null BSTR, and Delete all the same
    EXPECT_EQ(calls_, InsertCalls("VT_BSTR:(null)", 5));
}

TEST_F(InProcessWord, AFailedDeleteInsertsNothingAndTheNextInsertStartsAfresh) {
    FakeWordOptions options;
    options.failDelete = true;
    Publish(options);
    ASSERT_TRUE(AttachWord());
    EXPECT_FALSE(InsertCode(L"A"));
    const Lines all = InsertCalls("", 1);
    const Lines expected(all.begin(), all.begin() + 5);
    ASSERT_GE(calls_.size(), 6u);
    EXPECT_EQ(Lines(calls_.begin(), calls_.begin() + 5), expected);
    EXPECT_EQ(calls_[5], "Release Selection#1");
    EXPECT_EQ(calls_.size(), 6u);

    calls_.clear();
    EXPECT_FALSE(InsertCode(L"B"));
    ASSERT_FALSE(calls_.empty());
    EXPECT_EQ(calls_[0], InsertCalls("", 2)[0]);
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
    for (const std::string& call : calls_) EXPECT_EQ(call.find("Invoke on=Selection#2"), std::string::npos) << call;
    EXPECT_EQ(calls_.back(), "Release Selection#1");  // both Selections released all the same
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
    FakeWordProcess word;
    ASSERT_TRUE(word.Ready());
    ASSERT_TRUE(AttachWord());
    EXPECT_TRUE(SetWordVisible(true));
    EXPECT_TRUE(InsertCode(L"#Истец#"));
    EXPECT_TRUE(InsertCode(L""));  // a null BSTR arrives as an empty one
    Lines expected = VisibleCalls(true);
    for (const std::string& line : InsertCalls("VT_BSTR:#Истец#", 1, true)) expected.push_back(line);
    for (const std::string& line : InsertCalls("VT_BSTR:", 3, true)) expected.push_back(line);
    EXPECT_TRUE(WaitFor([&] { return word.Calls().size() >= expected.size(); }));
    EXPECT_EQ(word.Calls(), expected);
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
    FakeWordProcess word(L"--fail-delete --sfalse=visible");
    ASSERT_TRUE(AttachWord());
    EXPECT_FALSE(SetWordVisible(true));
    EXPECT_FALSE(InsertCode(L"A"));
    for (const std::string& call : word.Calls()) EXPECT_EQ(call.find("InsertAfter"), std::string::npos) << call;
}

}  // namespace
}  // namespace quillmark::test

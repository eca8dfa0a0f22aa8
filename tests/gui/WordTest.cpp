// OK and the copy button of the real Quillmark.exe, with fakeword playing Word.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "Main.h"
#include "gui/Driver.h"
#include "word/FakeWordProcess.h"

namespace quillmark::test {
namespace {

const std::string kCatalogue = "\xEF\xBB\xBF[Простой расчет]\r\n#Истец#=1\r\nCODE2=2\r\nNOEQUALS\r\n#Дата#=4\r\n";

std::optional<std::wstring> ClipboardText() {
    if (!::OpenClipboard(nullptr)) return std::nullopt;
    std::optional<std::wstring> text;
    if (const HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
            text = chars;
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

void SetClipboardText(const std::wstring& text) {
    ::OpenClipboard(nullptr);
    ::EmptyClipboard();
    const HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::memcpy(::GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    ::GlobalUnlock(memory);
    ::SetClipboardData(CF_UNICODETEXT, memory);
    ::CloseClipboard();
}

class WordActions : public testing::Test {
protected:
    WordActions() : app_(kCatalogue) {
        Activate(app_, app_.Control(kButton5Id));
        ClickAt(NodeCentre(app_.Process(), app_.Control(kTreeView2Id), 0));
        WaitFor([&] { return Lines(List()).size() == 4; });
    }
    HWND List() const { return app_.Control(kCheckListBox1Id); }
    void Tick(int line) const {
        ClickAt(LinePoint(List(), line, 4));
        WaitFor([&] { return Lines(List())[static_cast<size_t>(line)].checked; });
    }
    void PressOk() const { ClickAt(CentreOf(app_.Control(kButton2Id))); }
    // The members Word was asked for, with the inserted texts.
    static std::vector<std::string> StoryOf(const FakeWordProcess& word) {
        std::vector<std::string> story;
        for (const std::string& call : word.Calls()) {
            if (call.rfind("Invoke", 0) != 0) continue;
            const size_t member = call.find("member=") + 7;
            std::string step = call.substr(member, call.find(' ', member) - member);
            const size_t arg = call.find(" arg0=");
            if (arg != std::string::npos) step += " " + call.substr(arg + 6);
            story.push_back(step);
        }
        return story;
    }
    Quillmark app_;
};

using Story = std::vector<std::string>;

// What Word is asked for one code; Delete only while something is selected.
Story Inserts(std::initializer_list<std::string> codes, bool selected) {
    Story story;
    for (const std::string& code : codes) {
        story.insert(story.end(), {"Selection", "Type"});
        if (std::exchange(selected, false)) story.push_back("Delete");
        story.insert(story.end(), {"Selection", "InsertAfter VT_BSTR:" + code, "Collapse VT_I4:0"});
    }
    return story;
}

TEST_F(WordActions, OkTypesTheTickedCodesTopToBottom) {
    FakeWordProcess word(L"--text \"Hello World\" --select 6,11");
    ASSERT_TRUE(word.Ready());
    Tick(3);
    Tick(0);
    Tick(2);
    ClickAt(LinePoint(List(), 1, 60));  // the current line is not ticked: it is not typed
    const auto before = Lines(List());
    PressOk();
    // The selection gives way to the codes, in order, and the caret follows them.
    EXPECT_TRUE(WaitFor([&] { return word.Document() == "Document Hello #Истец##Дата#|"; })) << word.Document();
    Story expected = {"visible VT_BOOL:-1"};
    for (const std::string& step : Inserts({"#Истец#", "", "#Дата#"}, true)) expected.push_back(step);
    EXPECT_EQ(StoryOf(word), expected);
    // The Selections given out are all released, and the list stays as it was.
    const auto count = [&](const char* prefix) {
        int n = 0;
        for (const std::string& call : word.Calls()) n += call.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    };
    EXPECT_EQ(count("Create Selection"), 6);
    EXPECT_TRUE(WaitFor([&] { return count("Release Selection") == 6; }));
    EXPECT_EQ(Lines(List()), before);
    EXPECT_EQ(CurrentLine(List()), 1);

    // Each press attaches afresh and types them again, after the first ones.
    PressOk();
    EXPECT_TRUE(WaitFor([&] { return word.Document() == "Document Hello #Истец##Дата##Истец##Дата#|"; }))
        << word.Document();
    expected.push_back("visible VT_BOOL:-1");
    for (const std::string& step : Inserts({"#Истец#", "", "#Дата#"}, false)) expected.push_back(step);
    EXPECT_EQ(StoryOf(word), expected);
}

TEST_F(WordActions, OkWithNothingTickedOnlyMakesWordVisible) {
    FakeWordProcess word;
    PressOk();
    EXPECT_TRUE(WaitFor([&] { return !StoryOf(word).empty(); }));
    Settle();
    EXPECT_EQ(StoryOf(word), Story{"visible VT_BOOL:-1"});
}

TEST_F(WordActions, OkWithNoWordRunningDoesNothingAndShowsNothing) {
    Tick(0);
    PressOk();
    EXPECT_EQ(app_.WaitForMessageBox(1000), nullptr);
    EXPECT_FALSE(app_.WaitForExit(0).has_value());
    EXPECT_TRUE(Lines(List())[0].checked);
    // A Word started now is found by the next press.
    FakeWordProcess word(L"--text \"Hello World\" --select 5,5");
    PressOk();
    EXPECT_TRUE(WaitFor([&] { return word.Document() == "Document Hello#Истец#| World"; })) << word.Document();
}

TEST_F(WordActions, CopyPutsTheCurrentCodeOnTheClipboard) {
    SetClipboardText(L"before");
    ClickAt(CentreOf(app_.Control(kButton5Id)));  // no current line: nothing happens
    Settle();
    EXPECT_EQ(ClipboardText(), std::optional<std::wstring>(L"before"));

    Tick(3);  // ticked and current
    ClickAt(LinePoint(List(), 0, 60));
    ClickAt(CentreOf(app_.Control(kButton5Id)));
    EXPECT_TRUE(WaitFor([&] { return ClipboardText() == std::optional<std::wstring>(L"#Истец#"); }));
    EXPECT_EQ(Lines(List())[3].checked, true);
}

TEST_F(WordActions, CancelLeavesWordRunning) {
    FakeWordProcess word;
    PressOk();
    EXPECT_TRUE(WaitFor([&] { return !StoryOf(word).empty(); }));
    ClickAt(CentreOf(app_.Control(kButton1Id)));
    EXPECT_EQ(app_.WaitForExit(), 0u);
    Settle();
    EXPECT_TRUE(word.Running());
}

}  // namespace
}  // namespace quillmark::test

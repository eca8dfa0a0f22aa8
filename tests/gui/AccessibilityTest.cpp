// The check list as a screen reader reads it, from another process: each
// line a check button named by its code, its tick in its state, its default
// action ticking it, and an event for every change.
#include <oleacc.h>

#include <gtest/gtest.h>

#include "Main.h"
#include "common/ComPtr.h"
#include "controls/CheckListBox.h"
#include "gui/Driver.h"
#include "word/FakeWordProcess.h"

namespace quillmark::test {
namespace {

const std::string kCatalogue = "\xEF\xBB\xBF[Простой расчет]\r\n#Истец#=1\r\nCODE2=2\r\nNOEQUALS\r\n#Дата#=4\r\n";

// One line as a screen reader hears it.
struct Heard {
    std::wstring name;
    long role = 0;
    bool checked = false;
    std::wstring action;
    friend bool operator==(const Heard&, const Heard&) = default;
};

// The state changes raised for the program's list, caught out of context.
std::vector<long> g_changes;
void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD, DWORD) {
    if (event == EVENT_OBJECT_STATECHANGE && object == OBJID_CLIENT) g_changes.push_back(child);
}

class ScreenReader : public testing::Test {
protected:
    ScreenReader() : app_(kCatalogue) {
        ::CoInitialize(nullptr);
        Activate(app_, app_.Control(kButton5Id));
        DWORD process = 0;
        ::GetWindowThreadProcessId(app_.Window(), &process);
        hook_ = ::SetWinEventHook(EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_STATECHANGE, nullptr, OnEvent, process, 0,
                                  WINEVENT_OUTOFCONTEXT);
        g_changes.clear();
    }
    ~ScreenReader() override {
        list_.Reset();
        ::UnhookWinEvent(hook_);
        ::CoUninitialize();
    }
    HWND List() const { return app_.Control(kCheckListBox1Id); }
    void Read() {
        ASSERT_EQ(::AccessibleObjectFromWindow(List(), OBJID_CLIENT, __uuidof(IAccessible), list_.PutVoid()), S_OK);
    }
    long ChildCount() const {
        long count = -1;
        EXPECT_EQ(list_->get_accChildCount(&count), S_OK);
        return count;
    }
    Heard Line(long child) const {
        Heard heard;
        BSTR text = nullptr;
        if (list_->get_accName(LongVariant(child), &text) == S_OK) heard.name = text != nullptr ? text : L"";
        ::SysFreeString(text);
        VARIANT v;
        ::VariantInit(&v);
        if (list_->get_accRole(LongVariant(child), &v) == S_OK) heard.role = v.lVal;
        if (list_->get_accState(LongVariant(child), &v) == S_OK) heard.checked = (v.lVal & STATE_SYSTEM_CHECKED) != 0;
        text = nullptr;
        if (list_->get_accDefaultAction(LongVariant(child), &text) == S_OK) heard.action = text;
        ::SysFreeString(text);
        return heard;
    }
    // Events arrive through this thread's messages.
    bool WaitForChange(long child) {
        return WaitFor([&] {
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
            return std::find(g_changes.begin(), g_changes.end(), child) != g_changes.end();
        });
    }
    Quillmark app_;
    HWINEVENTHOOK hook_ = nullptr;
    ComPtr<IAccessible> list_;
};

TEST_F(ScreenReader, HearsEachCodeAndItsTick) {
    Read();
    EXPECT_EQ(ChildCount(), 0);  // no kind chosen yet
    ClickAt(NodeCentre(app_.Process(), app_.Control(kTreeView2Id), 0));
    ASSERT_TRUE(WaitFor([&] { return ChildCount() == 4; }));
    const long box = ROLE_SYSTEM_CHECKBUTTON;
    EXPECT_EQ(Line(1), (Heard{L"#Истец#", box, false, L"Check"}));
    EXPECT_EQ(Line(3), (Heard{L"", box, false, L"Check"}));  // the empty code
    EXPECT_EQ(Line(4), (Heard{L"#Дата#", box, false, L"Check"}));

    ClickAt(LinePoint(List(), 0, 4));  // a press in the check area
    EXPECT_TRUE(WaitForChange(1));
    EXPECT_EQ(Line(1), (Heard{L"#Истец#", box, true, L"Uncheck"}));
    g_changes.clear();
    PressKey(VK_SPACE);  // the current line again
    EXPECT_TRUE(WaitForChange(1));
    EXPECT_FALSE(Line(1).checked);

    // The default action ticks, and OK then types that code.
    g_changes.clear();
    EXPECT_EQ(list_->accDoDefaultAction(LongVariant(4)), S_OK);
    EXPECT_TRUE(WaitForChange(4));
    EXPECT_EQ(Line(4), (Heard{L"#Дата#", box, true, L"Uncheck"}));
    EXPECT_TRUE(Lines(List())[3].checked);
    FakeWordProcess word;
    ClickAt(CentreOf(app_.Control(kButton2Id)));
    EXPECT_TRUE(WaitFor([&] { return word.Document() == "Document #Дата#|"; })) << word.Document();

    // A reload with fewer lines, under the same object.
    app_.WriteCatalogue("\xEF\xBB\xBF[Простой расчет]\r\nONE=1\r\n");
    ClickAt(NodeCentre(app_.Process(), app_.Control(kTreeView2Id), 0));
    ASSERT_TRUE(WaitFor([&] { return ChildCount() == 1; }));
    EXPECT_EQ(Line(1), (Heard{L"ONE", box, false, L"Check"}));
    BSTR name = nullptr;
    EXPECT_EQ(list_->get_accName(LongVariant(4), &name), E_INVALIDARG);

    // The list goes with the program; the object held here leads nowhere, and nothing crashes.
    ClickAt(CentreOf(app_.Control(kButton1Id)));
    ASSERT_EQ(app_.WaitForExit(), 0u);
    long count = 0;
    EXPECT_TRUE(FAILED(list_->get_accChildCount(&count)));
}

struct NoSink final : IExceptionSink {
    void HandleException(const std::exception_ptr&) noexcept override {}
};

// In this process, where a client sees what a failed call leaves in its [out]
// parameters: a screen reader that frees them then must not free garbage.
TEST(AccessibleObject, AFailureClearsEveryOutParameter) {
    NoSink sink;
    TCheckListBox list(HWND_MESSAGE, 1, RECT{}, 13, sink);
    ComPtr<TCheckListAccessible> object;
    object.Attach(new TCheckListAccessible(list, {}));
    EXPECT_EQ(object->accDoDefaultAction(LongVariant(LONG_MIN)), E_INVALIDARG);  // LONG_MIN - 1 would overflow
    const VARIANT child = LongVariant(99);
    for (const HRESULT failure : {E_INVALIDARG, CO_E_OBJNOTCONNECTED}) {  // a child that names nothing; the list gone
        if (failure == CO_E_OBJNOTCONNECTED) object->Disconnect();
        auto text = reinterpret_cast<BSTR>(-1);
        VARIANT variant = LongVariant(-1);
        long n[4] = {-1, -1, -1, -1};
        EXPECT_EQ(object->get_accName(child, &text), failure);
        EXPECT_EQ(object->get_accRole(child, &variant), failure);
        EXPECT_EQ(object->accLocation(&n[0], &n[1], &n[2], &n[3], child), failure);
        EXPECT_TRUE(text == nullptr && variant.vt == VT_EMPTY && (n[0] | n[1] | n[2] | n[3]) == 0) << failure;
    }
    auto file = reinterpret_cast<BSTR>(-1);  // one [out] null: the other is cleared all the same
    EXPECT_EQ(object->get_accHelpTopic(&file, child, nullptr), E_POINTER);
    EXPECT_EQ(file, nullptr);
    ::DestroyWindow(list.Handle());
}

}  // namespace
}  // namespace quillmark::test

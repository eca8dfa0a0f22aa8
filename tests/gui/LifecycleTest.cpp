// Failures shown in the error box, the ways the program ends, and how it starts.
#include <gtest/gtest.h>

#include "Main.h"
#include "catalogue/Platform.h"
#include "gui/Driver.h"
#include "support/HoldOpen.h"
#include "ui/FormLayout.h"

namespace quillmark::test {
namespace {

const std::string kCatalogue = "\xEF\xBB\xBF[Простой расчет]\r\nA=1\r\nB=2\r\nC=3\r\n[Подсчет дней]\r\nD=1\r\n";

class Running : public testing::Test {
protected:
    Running() : app_(kCatalogue) { Activate(app_, app_.Control(kButton5Id)); }
    HWND Tree() const { return app_.Control(kTreeView2Id); }
    HWND List() const { return app_.Control(kCheckListBox1Id); }
    void ClickKind(int index) const { ClickAt(NodeCentre(app_.Process(), Tree(), index)); }
    Quillmark app_;
};

TEST_F(Running, ACatalogueHeldOpenForWritingIsReportedAndTheListKeepsItsLines) {
    ClickKind(0);
    ASSERT_TRUE(WaitFor([&] { return Lines(List()).size() == 3; }));
    ClickAt(LinePoint(List(), 1, 5));
    ASSERT_TRUE(WaitFor([&] { return Lines(List())[1].checked && CurrentLine(List()) == 1; }));
    const std::vector<ListLine> before = Lines(List());

    FileHeldOpen holder(ProgramBesideTests(L"hold-open.exe"), app_.Catalogue());
    ASSERT_TRUE(holder.Ready());
    ClickKind(1);
    const HWND box = app_.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), L"Quillmark");
    const std::wstring reason = platform::SystemErrorText(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)),
              L"Cannot open file \"" + app_.Catalogue().wstring() + L"\". " + reason + L".");
    EXPECT_FALSE(::IsWindowEnabled(app_.Window()));
    EXPECT_EQ(::GetWindow(box, GW_OWNER), app_.Window());
    EXPECT_EQ(Lines(List()), before);
    EXPECT_EQ(CurrentLine(List()), 1);

    ::SendMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }));
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(app_.Window()); }));
    EXPECT_EQ(Lines(List()), before);

    // The program goes on: once the file is free, clicks read it again.
    holder.Release();
    ClickKind(3);
    EXPECT_TRUE(WaitFor([&] { return LineTexts(List()) == std::vector<std::wstring>{L"D"}; }));
}

TEST_F(Running, CancelEndsTheProgramWithExitCodeZero) {
    ClickAt(CentreOf(app_.Control(kButton1Id)));
    EXPECT_EQ(app_.WaitForExit(), 0u);
}

TEST_F(Running, TheCloseBoxEndsTheProgramWithExitCodeZero) {
    // Find the close box on the caption, then press it for real.
    RECT frame;
    ::GetWindowRect(app_.Window(), &frame);
    std::optional<POINT> closeBox;
    for (int y = frame.top; y < frame.top + 40 && !closeBox; ++y) {
        for (int x = frame.right - 1; x > frame.right - 80; --x) {
            const LRESULT hit = ::SendMessageW(app_.Window(), WM_NCHITTEST, 0, MAKELPARAM(x, y));
            if (hit == HTCLOSE) {
                closeBox = POINT{x - 3, y + 3};
                break;
            }
        }
    }
    ASSERT_TRUE(closeBox.has_value());
    ClickAt(*closeBox);
    EXPECT_EQ(app_.WaitForExit(), 0u);
}

TEST_F(Running, AltF4EndsTheProgramWithExitCodeZero) {
    PressKey(VK_F4, {VK_MENU});
    EXPECT_EQ(app_.WaitForExit(), 0u);
}

TEST_F(Running, EnterPressesOnlyTheFocusedButtonAndEscNone) {
    PressKey(VK_ESCAPE);
    PressKey(VK_RETURN);  // on Button5: copies nothing, the list has no current line
    EXPECT_FALSE(app_.WaitForExit(400).has_value());
    const HWND cancel = app_.Control(kButton1Id);
    PressKey(VK_TAB);
    PressKey(VK_TAB);
    ASSERT_TRUE(WaitFor([&] { return app_.Focus() == cancel; }));
    PressKey(VK_RETURN);
    EXPECT_EQ(app_.WaitForExit(), 0u);
}

TEST(Start, MaximisedWhenLaunchedMaximised) {
    Quillmark app(kCatalogue, SW_SHOWMAXIMIZED);
    EXPECT_TRUE(WaitFor([&] { return ::IsZoomed(app.Window()) != FALSE; }));
}

TEST(Start, MinimisedWhenLaunchedMinimisedWithoutActivation) {
    Quillmark app(kCatalogue, SW_SHOWMINNOACTIVE);
    EXPECT_TRUE(WaitFor([&] { return ::IsIconic(app.Window()) != FALSE; }));
}

TEST(Start, NormalForEveryOtherShowCommand) {
    for (const int command : {SW_SHOWMINIMIZED, SW_HIDE, SW_SHOWDEFAULT}) {
        Quillmark app(kCatalogue, command);
        Settle(300);
        EXPECT_FALSE(::IsIconic(app.Window())) << command;
        EXPECT_FALSE(::IsZoomed(app.Window())) << command;
    }
}

// The logical resolution of the Wine prefix for one test.
class LogPixels {
public:
    explicit LogPixels(DWORD value) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                          nullptr);
        DWORD size = sizeof old_;
        had_ = ::RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_), &size) ==
               ERROR_SUCCESS;
        ::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    LogPixels(const LogPixels&) = delete;
    LogPixels& operator=(const LogPixels&) = delete;
    ~LogPixels() {
        if (had_) {
            ::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
        } else {
            ::RegDeleteValueW(key_, L"LogPixels");
        }
        ::RegCloseKey(key_);
    }

private:
    HKEY key_ = nullptr;
    DWORD old_ = 0;
    bool had_ = false;
};

int TextHeight(int fontHeight, const wchar_t* text) {
    const HFONT font =
        ::CreateFontW(fontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
    const HDC dc = ::GetDC(nullptr);
    const HGDIOBJ old = ::SelectObject(dc, font);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    ::DeleteObject(font);
    return size.cy;
}

TEST(Start, At120PixelsPerInchTheLayoutGrowsWithTheText) {
    const LogPixels resolution(120);
    Quillmark app(kCatalogue);
    const int measured = TextHeight(-14, L"0");
    ASSERT_GT(measured, 13);
    const FormDesign design = ScaleDesign(measured, 0);

    RECT client;
    ::GetClientRect(app.Window(), &client);
    EXPECT_EQ(client.right, design.clientWidth);
    EXPECT_EQ(client.bottom, design.clientHeight);
    const FormLayout layout = ArrangeForm(design, client.right, client.bottom, design.treeWidth);
    const auto expectRect = [&](int id, const Rect& r) {
        const RECT actual = RectInParent(app.Control(id));
        EXPECT_EQ(actual.left, r.left) << id;
        EXPECT_EQ(actual.top, r.top) << id;
        EXPECT_EQ(actual.right, r.Right()) << id;
        EXPECT_EQ(actual.bottom, r.Bottom()) << id;
    };
    expectRect(kTreeView2Id, layout.tree);
    expectRect(kSplitter1Id, layout.splitter);
    expectRect(kPanel1Id, layout.panel1);
    expectRect(kPanel2Id, layout.panel2);
    expectRect(kCheckListBox1Id, layout.list);
    expectRect(kButton5Id, design.button5);
    expectRect(kButton1Id, layout.button1);
    expectRect(kButton3Id, design.button3);
    expectRect(kCheckBox1Id, design.checkBox1);
    EXPECT_EQ(RectInParent(app.Control(kSplitter1Id)).right - RectInParent(app.Control(kSplitter1Id)).left, 3);
    EXPECT_EQ(::SendMessageW(app.Control(kCheckListBox1Id), LB_GETITEMHEIGHT, 0, 0), TextHeight(-14, L"Wg"));
}

}  // namespace
}  // namespace quillmark::test

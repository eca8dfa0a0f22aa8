// The finer behaviour of the tree, the check list and the splitter under the
// mouse and the keyboard.
#include <gtest/gtest.h>

#include "Main.h"
#include "gui/Driver.h"

namespace quillmark::test {
namespace {

const std::string kCatalogue =
    "\xEF\xBB\xBF"
    "[Простой расчет]\r\n#Дата#=\r\n#Дни#=\r\n#Сумма#=\r\nabc=\r\nAbd=\r\nb=\r\n"

    "[Сводный расчет]\r\nSUM=\r\n"
    "[]\r\nNAMELESS=\r\n";

using Texts = std::vector<std::wstring>;

class Behaviour : public testing::Test {
protected:
    Behaviour() : app_(kCatalogue) { Activate(app_, app_.Control(kButton5Id)); }
    HWND Tree() const { return app_.Control(kTreeView2Id); }
    HWND List() const { return app_.Control(kCheckListBox1Id); }
    HWND Splitter() const { return app_.Control(kSplitter1Id); }
    void ClickKind(int index) const { ClickAt(NodeCentre(app_.Process(), Tree(), index)); }
    void ShowSimple() const {
        ClickKind(0);
        ASSERT_TRUE(WaitFor([&] { return Lines(List()).size() == 6; }));
    }
    std::vector<bool> Checks() const {
        std::vector<bool> checks;
        for (const ListLine& line : Lines(List())) checks.push_back(line.checked);
        return checks;
    }
    int TreeWidth() const {
        const RECT r = RectInParent(Tree());
        return r.right - r.left;
    }
    // Renames node index in place, as the user does: a second click on the
    // selected node's text starts the editor.
    void Rename(int index, const std::wstring& text, WORD finish = VK_RETURN) const {
        ClickKind(index);
        Settle(::GetDoubleClickTime() + 100);
        ClickKind(index);
        HWND editor = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            editor = reinterpret_cast<HWND>(::SendMessageW(Tree(), TVM_GETEDITCONTROL, 0, 0));
            return editor != nullptr;
        }));
        PressKey(VK_END);
        PressKey(VK_HOME, {VK_SHIFT});
        if (text.empty()) PressKey(VK_DELETE);
        TypeText(text);
        PressKey(finish);
        ASSERT_TRUE(WaitFor([&] { return ::SendMessageW(Tree(), TVM_GETEDITCONTROL, 0, 0) == 0; }));
    }
    void Drag(POINT from, POINT to, bool escape = false) const {
        MoveMouseTo(from);
        Settle(30);
        MouseButton(true);
        Settle(30);
        for (int step = 1; step <= 5; ++step) {
            MoveMouseTo({from.x + (to.x - from.x) * step / 5, from.y + (to.y - from.y) * step / 5});
            Settle(20);
        }
        if (escape) {
            PressKey(VK_ESCAPE);
            Settle(60);
        }
        MouseButton(false);
        Settle();
    }
    POINT SplitterCentre() const {
        RECT r;
        ::GetWindowRect(Splitter(), &r);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    Quillmark app_;
};

TEST_F(Behaviour, ARenamedKindIsLookedUpUnderItsNewName) {
    Rename(0, L"Сводный расчет");
    EXPECT_EQ(NodeText(app_.Process(), Tree(), RootNodes(Tree())[0]), L"Сводный расчет");
    ClickKind(0);
    EXPECT_TRUE(WaitFor([&] { return LineTexts(List()) == Texts{L"SUM"}; }));

    Rename(0, L"Нет такого");
    ClickKind(0);
    EXPECT_TRUE(WaitFor([&] { return LineTexts(List()).empty(); }));

    // An empty text is taken as typed and looks up the section named "".
    // Its node has no text left to click: select it by keyboard, then click
    // the tree's empty space, which reloads the selected node.
    Rename(0, L"");
    EXPECT_EQ(NodeText(app_.Process(), Tree(), RootNodes(Tree())[0]), L"");
    ClickKind(3);
    PressKey(VK_HOME);
    ASSERT_TRUE(WaitFor([&] { return TreeView_GetSelection(Tree()) == RootNodes(Tree())[0]; }));
    RECT tree;
    ::GetClientRect(Tree(), &tree);
    ClickAt(ScreenPoint(Tree(), 10, tree.bottom - 10));
    EXPECT_TRUE(WaitFor([&] { return LineTexts(List()) == Texts{L"NAMELESS"}; }));
}

TEST_F(Behaviour, ACancelledRenameChangesNothing) {
    Rename(1, L"Другое", VK_ESCAPE);
    EXPECT_EQ(NodeText(app_.Process(), Tree(), RootNodes(Tree())[1]), L"Сводный расчет");
}

TEST_F(Behaviour, APressInTheCheckAreaTicksAndMakesCurrent) {
    ShowSimple();
    ClickAt(LinePoint(List(), 2, 4));
    EXPECT_TRUE(WaitFor([&] { return Checks()[2] && CurrentLine(List()) == 2; }));
    // Beside the check area: only current.
    ClickAt(LinePoint(List(), 4, 60));
    EXPECT_TRUE(WaitFor([&] { return CurrentLine(List()) == 4; }));
    EXPECT_EQ(Checks(), (std::vector<bool>{false, false, true, false, false, false}));
    // Pressing a ticked line's check area unticks it.
    ClickAt(LinePoint(List(), 2, 4));
    EXPECT_TRUE(WaitFor([&] { return !Checks()[2] && CurrentLine(List()) == 2; }));
    // Below the last line: nothing ticks.
    RECT last{};
    ::SendMessageW(List(), LB_GETITEMRECT, 5, reinterpret_cast<LPARAM>(&last));
    ClickAt(ScreenPoint(List(), 4, last.bottom + 20));
    Settle();
    EXPECT_EQ(Checks(), std::vector<bool>(6, false));
}

TEST_F(Behaviour, ADoubleClickInTheCheckAreaTogglesTwice) {
    ShowSimple();
    DoubleClickAt(LinePoint(List(), 1, 4));
    Settle();
    EXPECT_EQ(CurrentLine(List()), 1);
    EXPECT_EQ(Checks(), std::vector<bool>(6, false));
}

TEST_F(Behaviour, SpaceTogglesTheCurrentLineOnly) {
    ShowSimple();
    ClickAt(LinePoint(List(), 0, 60));
    ASSERT_TRUE(WaitFor([&] { return CurrentLine(List()) == 0 && app_.Focus() == List(); }));
    PressKey(VK_SPACE);
    EXPECT_TRUE(WaitFor([&] { return static_cast<bool>(Checks()[0]); }));
    EXPECT_EQ(CurrentLine(List()), 0);
    PressKey(VK_SPACE);
    EXPECT_TRUE(WaitFor([&] { return !Checks()[0]; }));
}

TEST_F(Behaviour, SpaceWithNoCurrentLineTicksNothing) {
    ShowSimple();
    // Reach the list by keyboard: from the tree, Tab wraps to Button5, then the list.
    PressKey(VK_TAB);
    PressKey(VK_TAB);
    ASSERT_TRUE(WaitFor([&] { return app_.Focus() == List(); }));
    ASSERT_EQ(CurrentLine(List()), -1);
    PressKey(VK_SPACE);
    Settle();
    EXPECT_EQ(Checks(), std::vector<bool>(6, false));
}

TEST_F(Behaviour, TypeAheadFindsTheFirstLineWithThePrefixInEitherCase) {
    ShowSimple();
    ClickAt(LinePoint(List(), 0, 60));
    ASSERT_TRUE(WaitFor([&] { return CurrentLine(List()) == 0; }));
    TypeText(L"AB");  // within half a second: "ab" finds abc before Abd
    EXPECT_TRUE(WaitFor([&] { return CurrentLine(List()) == 3; }));
    TypeText(L"D");  // "abd"
    EXPECT_TRUE(WaitFor([&] { return CurrentLine(List()) == 4; }));
    Settle(600);
    TypeText(L"b");  // a new prefix: "b" finds b
    EXPECT_TRUE(WaitFor([&] { return CurrentLine(List()) == 5; }));
    TypeText(L"z");  // "bz" matches nothing: the current line stays
    Settle();
    EXPECT_EQ(CurrentLine(List()), 5);
    PressKey(VK_BACK);  // "b"
    PressKey(VK_BACK);  // "": the first line becomes current
    EXPECT_TRUE(WaitFor([&] { return CurrentLine(List()) == 0; }));
    TypeText(L"#с");  // Cyrillic, lower case: "#Сумма#"
    EXPECT_TRUE(WaitFor([&] { return CurrentLine(List()) == 2; })) << CurrentLine(List());
    EXPECT_EQ(Checks(), std::vector<bool>(6, false));
}

TEST_F(Behaviour, ArrowKeysHomeAndEndMoveTheCurrentLine) {
    ShowSimple();
    ClickAt(LinePoint(List(), 0, 60));
    PressKey(VK_DOWN);
    EXPECT_TRUE(WaitFor([&] { return CurrentLine(List()) == 1; }));
    PressKey(VK_END);
    EXPECT_TRUE(WaitFor([&] { return CurrentLine(List()) == 5; }));
    PressKey(VK_HOME);
    EXPECT_TRUE(WaitFor([&] { return CurrentLine(List()) == 0; }));
}

TEST_F(Behaviour, TheSplitterResizesCollapsesAndReopensTheTree) {
    const POINT centre = SplitterCentre();
    Drag(centre, {centre.x + 40, centre.y});
    EXPECT_EQ(TreeWidth(), 200);
    // Esc during a drag keeps the width from before it.
    Drag(SplitterCentre(), {SplitterCentre().x - 100, centre.y}, true);
    EXPECT_EQ(TreeWidth(), 200);
    // Down to 30 or less: collapsed, the splitter at the left edge.
    Drag(SplitterCentre(), {SplitterCentre().x - 175, centre.y});
    EXPECT_EQ(TreeWidth(), 0);
    EXPECT_TRUE(::IsWindow(Tree()));
    EXPECT_EQ(RectInParent(Splitter()).left, 0);
    // Press and release without moving opens a collapsed tree to 30.
    ClickAt(SplitterCentre());
    EXPECT_TRUE(WaitFor([&] { return TreeWidth() == 30 && RectInParent(Splitter()).left == 30; }));

    // And dragging from the left edge opens it wide.
    Drag(SplitterCentre(), {SplitterCentre().x + 120, centre.y});

    EXPECT_EQ(TreeWidth(), 150);
    // Never wider than the client width less 30 and the splitter.
    Drag(SplitterCentre(), {SplitterCentre().x + 2000, centre.y});
    RECT client;
    ::GetClientRect(app_.Window(), &client);
    EXPECT_EQ(TreeWidth(), client.right - 30 - 3);
}

TEST_F(Behaviour, ThePressAloneLeavesAWidthWithinTheLimits) {
    ClickAt(SplitterCentre());
    Settle();
    EXPECT_EQ(TreeWidth(), 160);
}

TEST(BigSection, APressTicksThePressedLineBeyondSixteenBits) {
    std::string catalogue = "\xEF\xBB\xBF[Простой расчет]\r\n";
    for (int i = 0; i < 70000; ++i) catalogue += "C" + std::to_string(i) + "\r\n";
    const Quillmark app(catalogue);
    Activate(app, app.Control(kButton5Id));
    const HWND list = app.Control(kCheckListBox1Id);
    ClickAt(NodeCentre(app.Process(), app.Control(kTreeView2Id), 0));
    ASSERT_TRUE(WaitFor([&] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0) == 70000; }));
    ClickAt(LinePoint(list, 0, 60));
    PressKey(VK_END);
    ASSERT_TRUE(WaitFor([&] { return CurrentLine(list) == 69999; }));
    ClickAt(LinePoint(list, 69998, 4));
    EXPECT_TRUE(WaitFor([&] { return ::SendMessageW(list, LB_GETITEMDATA, 69998, 0) == 1; }));
    EXPECT_EQ(::SendMessageW(list, LB_GETITEMDATA, 69998 - 65536, 0), 0);
}

}  // namespace
}  // namespace quillmark::test

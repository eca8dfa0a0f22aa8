// The template window under Wine, driven with real input.
#include <gtest/gtest.h>

#include "Main.h"
#include "catalogue/Kinds.h"
#include "gui/Driver.h"

namespace quillmark::test {
namespace {

const std::string kCatalogue =
    "\xEF\xBB\xBF"
    "[Простой расчет]\r\n#Сумма#=долг\r\n#Дата#=день\r\nCODE3\r\n"
    "[Сводный расчет]\r\n#Итог#=x\r\n"
    "[Подсчет дней]\r\n#Дни#=1\r\n#Срок#=2\r\n";

using Texts = std::vector<std::wstring>;
const Texts kSimple = {L"#Сумма#", L"#Дата#", L""};

class WindowTest : public testing::Test {
protected:
    explicit WindowTest(std::optional<std::string> catalogue = kCatalogue) : app_(std::move(catalogue)) {
        Activate(app_, app_.Control(kButton5Id));
    }
    HWND Tree() const { return app_.Control(kTreeView2Id); }
    HWND List() const { return app_.Control(kCheckListBox1Id); }
    void ClickKind(int index) const { ClickAt(NodeCentre(app_.Process(), Tree(), index)); }
    // On the node's row right of its text: a click there starts no editing.
    void ClickBesideKind(int index) const {
        const RECT text = NodeTextRect(app_.Process(), Tree(), RootNodes(Tree()).at(static_cast<size_t>(index)));
        ClickAt(ScreenPoint(Tree(), text.right + 12, (text.top + text.bottom) / 2));
    }

    bool ListShows(const Texts& texts) const {
        return WaitFor([&] { return LineTexts(List()) == texts; });
    }
    Quillmark app_;
};

TEST_F(WindowTest, WindowIsTopmostCentredWithItsOwnTaskbarButton) {
    const HWND window = app_.Window();
    EXPECT_EQ(TextOf(window), L"Quillmark");
    RECT client;
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, 647);
    EXPECT_EQ(client.bottom, 426);
    const LONG_PTR exStyle = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(exStyle & WS_EX_APPWINDOW);
    EXPECT_EQ(::GetWindow(window, GW_OWNER), nullptr);
    const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);

    RECT frame;
    ::GetWindowRect(window, &frame);
    const int dw = ::GetSystemMetrics(SM_CXVIRTUALSCREEN), dh = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    EXPECT_EQ(frame.left, ::GetSystemMetrics(SM_XVIRTUALSCREEN) + dw / 2 - (frame.right - frame.left) / 2);
    EXPECT_EQ(frame.top, ::GetSystemMetrics(SM_YVIRTUALSCREEN) + dh / 2 - (frame.bottom - frame.top) / 2);
}

struct Expected {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    int parent;  // 0: the window
    RECT rect;
};

TEST_F(WindowTest, ControlsStandWhereTheLayoutPutsThem) {
    const Expected controls[] = {
        {kPanel2Id, L"QuillmarkPanel", L"", 0, {0, 368, 647, 426}},
        {kTreeView2Id, L"SysTreeView32", L"", 0, {0, 0, 160, 368}},
        {kSplitter1Id, L"QuillmarkSplitter", L"", 0, {160, 0, 163, 368}},
        {kPanel1Id, L"QuillmarkPanel", L"", 0, {163, 0, 647, 368}},
        {kButton5Id, L"Button", L"Копировать в буфер код текущей строчки", kPanel1Id, {200, 27, 473, 52}},
        {kCheckListBox1Id, L"ListBox", L"", kPanel1Id, {1, 64, 483, 367}},
        {kEdit1Id, L"Edit", L"Edit1", kPanel1Id, {16, 37, 137, 58}},
        {kButton1Id, L"Button", L"Cancel", kPanel2Id, {555, 16, 630, 41}},
        {kButton2Id, L"Button", L"OK", kPanel2Id, {467, 16, 542, 41}},
        {kButton3Id, L"Button", L"Help", kPanel2Id, {16, 16, 91, 41}},
        {kButton4Id, L"Button", L"Menu", kPanel2Id, {104, 16, 193, 41}},
        {kCheckBox1Id, L"Button", L"Поверх всех окон", kPanel2Id, {208, 20, 441, 37}},
    };
    for (const Expected& e : controls) {
        const HWND control = app_.Control(e.id);
        ASSERT_NE(control, nullptr) << e.id;
        EXPECT_EQ(ClassOf(control), e.className) << e.id;
        EXPECT_EQ(TextOf(control), e.text) << e.id;
        EXPECT_EQ(::GetParent(control), e.parent == 0 ? app_.Window() : app_.Control(e.parent)) << e.id;
        const RECT r = RectInParent(control);
        EXPECT_EQ(r.left, e.rect.left) << e.id;
        EXPECT_EQ(r.top, e.rect.top) << e.id;
        EXPECT_EQ(r.right, e.rect.right) << e.id;
        EXPECT_EQ(r.bottom, e.rect.bottom) << e.id;
    }
    // The label is sized to its text: 13 pixels high, at 16, 8.
    const RECT label = RectInParent(app_.Control(kLabel1Id));
    EXPECT_EQ(label.left, 16);
    EXPECT_EQ(label.top, 8);
    EXPECT_EQ(label.bottom - label.top, 13);
    EXPECT_EQ(TextOf(app_.Control(kLabel1Id)), L"Список шаблонов для выбранного типа расчета");

    EXPECT_FALSE(::IsWindowVisible(app_.Control(kEdit1Id)));
    EXPECT_EQ(::SendMessageW(app_.Control(kCheckBox1Id), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(::GetWindowLongPtrW(app_.Control(kButton4Id), GWL_STYLE) & BS_TYPEMASK, BS_SPLITBUTTON);
    const LONG_PTR treeStyle = ::GetWindowLongPtrW(Tree(), GWL_STYLE);
    const LONG_PTR wanted = TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS | TVS_EDITLABELS |
                            TVS_DISABLEDRAGDROP | TVS_INFOTIP;
    EXPECT_EQ(treeStyle & wanted, wanted);
    EXPECT_EQ(::SendMessageW(Tree(), TVM_GETINDENT, 0, 0), 19);
    EXPECT_EQ(::SendMessageW(List(), LB_GETITEMHEIGHT, 0, 0), 13);
    const LONG_PTR listStyle = ::GetWindowLongPtrW(List(), GWL_STYLE);
    EXPECT_TRUE(listStyle & LBS_OWNERDRAWFIXED);
    EXPECT_TRUE(listStyle & LBS_HASSTRINGS);
    EXPECT_FALSE(listStyle & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL | LBS_MULTICOLUMN));

    std::vector<std::wstring> nodes;
    for (const HTREEITEM node : RootNodes(Tree())) nodes.push_back(NodeText(app_.Process(), Tree(), node));
    EXPECT_EQ(nodes, (Texts{kCalculationKinds.begin(), kCalculationKinds.end()}));
}

TEST_F(WindowTest, ResizingMovesOnlyWhatIsDockedOrAnchored) {
    ::SetWindowPos(app_.Window(), nullptr, 0, 0, 800, 600, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(WaitFor([&] { return RectInParent(List()).right > 483; }));
    RECT client;
    ::GetClientRect(app_.Window(), &client);
    const RECT tree = RectInParent(Tree());
    EXPECT_EQ(tree.right, 160);
    EXPECT_EQ(tree.bottom, client.bottom - 58);
    const RECT panel2 = RectInParent(app_.Control(kPanel2Id));
    EXPECT_EQ(panel2.bottom - panel2.top, 58);
    const RECT list = RectInParent(List());
    EXPECT_EQ(list.top, 64);
    EXPECT_EQ(list.right, client.right - 163 - 1);
    EXPECT_EQ(list.bottom, client.bottom - 58 - 1);
    EXPECT_EQ(RectInParent(app_.Control(kButton1Id)).right, client.right - 17);
    EXPECT_EQ(RectInParent(app_.Control(kButton2Id)).right, client.right - 105);
    EXPECT_EQ(RectInParent(app_.Control(kButton3Id)).left, 16);
}

TEST_F(WindowTest, TabFollowsTheFocusOrderBothWays) {
    const HWND order[] = {app_.Control(kButton5Id),   List(),
                          app_.Control(kButton1Id),   app_.Control(kButton2Id),
                          app_.Control(kButton3Id),   app_.Control(kButton4Id),
                          app_.Control(kCheckBox1Id), Tree()};
    ASSERT_TRUE(WaitFor([&] { return app_.Focus() == order[0]; })) << "the first focus is on Button5";
    for (int i = 1; i <= 8; ++i) {
        PressKey(VK_TAB);
        EXPECT_TRUE(WaitFor([&] { return app_.Focus() == order[i % 8]; })) << "Tab " << i;
    }
    for (int i = 7; i >= 0; --i) {
        PressKey(VK_TAB, {VK_SHIFT});
        EXPECT_TRUE(WaitFor([&] { return app_.Focus() == order[i]; })) << "Shift+Tab to " << i;
    }
}

TEST_F(WindowTest, ClickingAKindListsItsCodesUncheckedWithNoCurrentLine) {
    ClickKind(0);
    ASSERT_TRUE(ListShows(kSimple));
    for (const ListLine& line : Lines(List())) EXPECT_FALSE(line.checked);
    EXPECT_EQ(CurrentLine(List()), -1);
    ClickKind(3);
    EXPECT_TRUE(ListShows({L"#Дни#", L"#Срок#"}));
    ClickKind(4);  // no such section
    EXPECT_TRUE(ListShows({}));
    ClickKind(1);
    EXPECT_TRUE(ListShows({L"#Итог#"}));
}

TEST_F(WindowTest, EachKindListsItsOwnSection) {
    std::string catalogue = "\xEF\xBB\xBF";
    for (size_t kind = 0; kind < kCalculationKinds.size(); ++kind) {
        catalogue += "[" + ToUtf8(kCalculationKinds[kind]) + "]\r\n";
        for (size_t code = 0; code <= kind; ++code)
            catalogue += "K" + std::to_string(kind) + "C" + std::to_string(code) + "=\r\n";
    }
    app_.WriteCatalogue(catalogue);
    for (int kind = 0; kind < static_cast<int>(kCalculationKinds.size()); ++kind) {
        Texts expected;
        for (int code = 0; code <= kind; ++code)
            expected.push_back(L"K" + std::to_wstring(kind) + L"C" + std::to_wstring(code));
        ClickKind(kind);
        EXPECT_TRUE(ListShows(expected)) << kind;
        for (const ListLine& line : Lines(List())) EXPECT_FALSE(line.checked);
        EXPECT_EQ(CurrentLine(List()), -1);
    }
}

TEST_F(WindowTest, EveryClickReadsTheFileAnew) {
    ClickKind(0);
    ASSERT_TRUE(ListShows(kSimple));
    app_.WriteCatalogue("\xEF\xBB\xBF[ПРОСТОЙ РАСЧЕТ]\r\nNEW=1\r\n");
    ClickBesideKind(0);

    EXPECT_TRUE(ListShows({L"NEW"}));
}

TEST_F(WindowTest, ReclickingTheShownKindDropsTicksAndCurrentLine) {
    ClickKind(0);
    ASSERT_TRUE(ListShows(kSimple));
    ClickAt(LinePoint(List(), 1, 5));
    ASSERT_TRUE(WaitFor([&] { return Lines(List())[1].checked && CurrentLine(List()) == 1; }));
    ClickKind(0);
    EXPECT_TRUE(WaitFor([&] { return !Lines(List())[1].checked && CurrentLine(List()) == -1; }));
}

TEST_F(WindowTest, KeyboardSelectionDoesNotReload) {
    ClickKind(0);
    ASSERT_TRUE(ListShows(kSimple));
    PressKey(VK_DOWN);
    ASSERT_TRUE(WaitFor([&] { return TreeView_GetSelection(Tree()) == RootNodes(Tree())[1]; }));
    Settle();
    EXPECT_EQ(LineTexts(List()), kSimple);
}

TEST_F(WindowTest, ClickOnEmptyTreeSpaceReloadsTheSelectedKind) {
    RECT tree;
    ::GetClientRect(Tree(), &tree);
    const POINT empty = ScreenPoint(Tree(), 10, tree.bottom - 10);
    // The press gives the tree the focus, and a tree that gets the focus with
    // no node selected selects its first one: so this click lists it.
    ClickAt(empty);
    EXPECT_TRUE(ListShows(kSimple));

    ClickKind(3);
    ASSERT_TRUE(ListShows({L"#Дни#", L"#Срок#"}));
    app_.WriteCatalogue("\xEF\xBB\xBF[Подсчет дней]\r\nONE\r\n");
    ClickAt(empty);
    EXPECT_TRUE(ListShows({L""}));
    EXPECT_EQ(TreeView_GetSelection(Tree()), RootNodes(Tree())[3]);
}

TEST_F(WindowTest, RightButtonNeitherSelectsNorReloads) {
    ClickKind(0);
    ASSERT_TRUE(ListShows(kSimple));
    ClickAt(NodeCentre(app_.Process(), Tree(), 3), true);
    Settle();
    EXPECT_EQ(TreeView_GetSelection(Tree()), RootNodes(Tree())[0]);
    EXPECT_EQ(LineTexts(List()), kSimple);
}

TEST_F(WindowTest, AReleaseOutsideTheTreeFiresNoClick) {
    ClickKind(0);
    ASSERT_TRUE(ListShows(kSimple));
    MoveMouseTo(NodeCentre(app_.Process(), Tree(), 3));
    Settle(30);
    MouseButton(true);
    Settle(60);
    MoveMouseTo(ScreenPoint(List(), 100, 100));
    Settle(60);
    MouseButton(false);
    Settle();
    EXPECT_EQ(LineTexts(List()), kSimple);
}

class NoCatalogueTest : public WindowTest {
protected:
    NoCatalogueTest() : WindowTest(std::nullopt) {}
};

TEST_F(NoCatalogueTest, NoParamsIniEmptiesTheListSilently) {
    ClickKind(0);
    Settle();
    EXPECT_TRUE(LineTexts(List()).empty());
    app_.WriteCatalogue(kCatalogue);
    ClickBesideKind(0);

    ASSERT_TRUE(ListShows(kSimple));
    std::filesystem::remove(app_.Catalogue());
    ClickKind(1);
    EXPECT_TRUE(ListShows({}));
    EXPECT_EQ(app_.WaitForMessageBox(300), nullptr);
}

}  // namespace
}  // namespace quillmark::test

// The Linux window's rules in this process, offscreen, with Qt's synthetic
// input: the controls on their own where a counter is needed, then TForm21.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <span>

#include "Main.h"
#include "app/Application.h"
#include "catalogue/Platform.h"
#include "catalogue/TemplateCatalogue.h"
#include "ui/ExceptionText.h"

namespace quillmark::test {
namespace {

// params.ini beside this test's executable, where the window looks.
void WriteCatalogue(const std::string& bytes) { std::ofstream(ToUtf8(CataloguePath()), std::ios::binary) << bytes; }

std::vector<QString> Texts(const TCheckListBox& list) {
    std::vector<QString> texts;
    for (int i = 0; i < list.Count(); ++i) texts.push_back(list.Text(i));
    return texts;
}
std::vector<bool> Checks(const TCheckListBox& list) {
    std::vector<bool> checks;
    for (int i = 0; i < list.Count(); ++i) checks.push_back(list.Checked(i));
    return checks;
}

QPoint LinePoint(const TCheckListBox& list, int line, int x) {
    const QRect r = list.visualRect(list.model()->index(line, 0));
    return {r.left() + x, r.center().y()};
}

// A double click as the user gives it: a click, then the second press.
void DoubleClick(QWidget* widget, QPoint at) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
}

// Typed text, Cyrillic too, which QTest::keyClicks cannot send.
void TypeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

void Fill(TCheckListBox& list, std::initializer_list<const char16_t*> codes) {
    list.BeginUpdate();
    list.Clear();
    for (const char16_t* code : codes) list.Add(code);
    list.EndUpdate();
}

TEST(TreeClicks, OnlyTheReleaseOfALeftClickInsideFires) {
    int clicks = 0;
    TTreeView tree(nullptr, [&] { ++clicks; });
    for (const char* kind : {"A", "B"}) tree.AddNode(kind);
    tree.resize(160, 200);
    tree.show();
    QWidget* area = tree.viewport();
    const QPoint node = tree.visualItemRect(tree.topLevelItem(1)).center();

    QTest::mousePress(area, Qt::LeftButton, {}, node);
    EXPECT_EQ(clicks, 0);  // not at the press
    QTest::mouseRelease(area, Qt::LeftButton, {}, node);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(tree.Selected(), tree.topLevelItem(1));

    QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(80, 190));  // empty space fires too
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(tree.Selected(), tree.topLevelItem(1));
    DoubleClick(area, node);  // only the first click of the two
    EXPECT_EQ(clicks, 3);
    QTest::mouseClick(area, Qt::RightButton, {}, node);
    QTest::keyClick(area, Qt::Key_Up);
    QTest::keyClick(area, Qt::Key_Return);
    EXPECT_EQ(clicks, 3);
    QTest::mousePress(area, Qt::LeftButton, {}, node);
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(400, 10));  // released outside
    EXPECT_EQ(clicks, 3);
}

TEST(CheckList, PressesSpaceAndTypeAhead) {
    TCheckListBox list(nullptr);
    list.resize(300, 300);
    list.show();
    Fill(list, {u"#Дата#", u"#Дни#", u"#Сумма#", u"abc", u"Abd", u"b"});
    EXPECT_EQ(list.ItemIndex(), -1);
    QWidget* area = list.viewport();

    QTest::mousePress(area, Qt::LeftButton, {}, LinePoint(list, 1, 4));  // ticks at the press
    EXPECT_EQ(Checks(list), (std::vector<bool>{false, true, false, false, false, false}));
    EXPECT_EQ(list.ItemIndex(), 1);
    QTest::mouseRelease(area, Qt::LeftButton, {}, LinePoint(list, 1, 4));
    QTest::mouseClick(area, Qt::LeftButton, {}, LinePoint(list, 2, 80));  // beside it: current only
    EXPECT_EQ(Checks(list), (std::vector<bool>{false, true, false, false, false, false}));
    EXPECT_EQ(list.ItemIndex(), 2);
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    DoubleClick(area, LinePoint(list, 3, 4));  // toggles twice
    EXPECT_FALSE(list.Checked(3));
    // Below the lines: the last one becomes current, unticked, and stays the highlighted one.
    QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(4, 290));
    EXPECT_EQ(Checks(list), (std::vector<bool>{false, true, false, false, false, false}));
    QTest::mouseClick(area, Qt::LeftButton, Qt::ControlModifier, LinePoint(list, 5, 80));
    EXPECT_EQ(list.selectionModel()->selectedIndexes(), QModelIndexList{list.model()->index(5, 0)});

    QTest::keyClick(area, Qt::Key_Space);  // the current line, 5
    EXPECT_TRUE(list.Checked(5));
    list.SetItemIndex(-1);
    QTest::keyClick(area, Qt::Key_Space);
    EXPECT_EQ(Checks(list), (std::vector<bool>{false, true, false, false, false, true}));

    QTest::qWait(600);
    QTest::keyClicks(area, "AB");
    EXPECT_EQ(list.ItemIndex(), 3);  // "abc": case-blind, first from the top
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7F)));  // as xcb gives it
    QApplication::sendEvent(area, &del);
    QTest::keyClick(area, Qt::Key_Backspace, Qt::ControlModifier);  // DEL on Windows too
    QTest::keyClicks(area, "D");
    EXPECT_EQ(list.ItemIndex(), 4);
    QTest::qWait(600);
    QTest::keyClicks(area, "b");  // a new prefix after half a second
    EXPECT_EQ(list.ItemIndex(), 5);
    QTest::keyClicks(area, "z");  // no match keeps the line
    EXPECT_EQ(list.ItemIndex(), 5);
    QTest::keyClick(area, Qt::Key_Backspace);
    QTest::keyClick(area, Qt::Key_Backspace);
    EXPECT_EQ(list.ItemIndex(), 0);
    QInputMethodEvent composed;  // as a dead key or an input method gives it, where they may type
    composed.setCommitString("#дН");
    if (list.testAttribute(Qt::WA_InputMethodEnabled)) QApplication::sendEvent(&list, &composed);
    EXPECT_EQ(list.ItemIndex(), 1);
    QTest::qWait(600);
    TypeText(area, "#с");
    EXPECT_EQ(list.ItemIndex(), 2);
}

class Window : public testing::Test {
protected:
    void SetUp() override {
        WriteCatalogue(
            "\xEF\xBB\xBF[Простой расчет]\r\nA=1\r\nNOEQUALS\r\nC=3\r\n[Подсчет дней]\r\nD=1\r\n[]\r\nNAMELESS=\r\n");
        form_.ShowCentred();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
    }
    void TearDown() override { std::filesystem::remove(ToUtf8(CataloguePath())); }
    void ClickKind(int index, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(form_.TreeView2->viewport(), button, {},
                          form_.TreeView2->visualItemRect(form_.TreeView2->topLevelItem(index)).center());
    }
    TForm21 form_;
};

// A right press on another kind neither selects it nor has a click on empty space load it.
TEST_F(Window, TheRightButtonSelectsNothing) {
    ClickKind(0);
    ClickKind(3, Qt::RightButton);
    QTest::mouseClick(form_.TreeView2->viewport(), Qt::LeftButton, {}, QPoint(10, 300));
    EXPECT_EQ(Texts(*form_.CheckListBox1), (std::vector<QString>{"A", "", "C"}));
}

TEST_F(Window, ControlsLayoutAndResizing) {
    EXPECT_EQ(form_.windowTitle(), "Quillmark");
    EXPECT_TRUE(form_.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form_.Button1->text(), "Cancel");
    EXPECT_EQ(form_.Button2->text(), "OK");
    EXPECT_EQ(form_.Button3->text(), "Help");
    EXPECT_EQ(form_.Button4->text(), "Menu");
    EXPECT_EQ(form_.Button5->text(), "Копировать в буфер код текущей строчки");
    EXPECT_EQ(form_.Label1->text(), "Список шаблонов для выбранного типа расчета");
    EXPECT_EQ(form_.CheckBox1->text(), "Поверх всех окон");
    EXPECT_FALSE(form_.Edit1->isVisible());
    ASSERT_EQ(form_.TreeView2->topLevelItemCount(), 6);
    EXPECT_EQ(form_.TreeView2->topLevelItem(5)->text(0), "Раздел имущества");
    EXPECT_EQ(form_.TreeView2->visualItemRect(form_.TreeView2->topLevelItem(0)).left(), 19);
    EXPECT_EQ(form_.Splitter1->width(), 3);
    EXPECT_EQ(form_.Splitter1->x(), form_.TreeView2->width());
    TForm21 maximised;  // shown maximised, it is centred where it is first restored to
    maximised.setWindowState(Qt::WindowMaximized);
    maximised.ShowCentred();
    if (QTest::qWaitForWindowExposed(&maximised)) maximised.showNormal();
    EXPECT_TRUE(QTest::qWaitFor([&] { return maximised.frameGeometry() == form_.frameGeometry(); }));

    // Resizing gives the whole change to the list and the right-anchored buttons.
    const QRect tree = form_.TreeView2->geometry(), list = form_.CheckListBox1->geometry();
    const QRect ok = form_.Button2->geometry(), help = form_.Button3->geometry();
    const int panel2 = form_.Panel2->height();
    form_.resize(form_.width() + 100, form_.height() + 50);
    EXPECT_EQ(form_.TreeView2->width(), tree.width());
    EXPECT_EQ(form_.TreeView2->height(), tree.height() + 50);
    EXPECT_EQ(form_.Panel2->height(), panel2);
    EXPECT_EQ(form_.CheckListBox1->geometry(), list.adjusted(0, 0, 100, 50));
    EXPECT_EQ(form_.Button2->geometry(), ok.translated(100, 0));
    EXPECT_EQ(form_.Button3->geometry(), help);
}

TEST_F(Window, FocusOrderAndEnter) {
    QWidget* const order[] = {form_.Button5, form_.CheckListBox1, form_.Button1,   form_.Button2, form_.Button3,
                              form_.Button4, form_.CheckBox1,     form_.TreeView2, form_.Button5};
    EXPECT_EQ(QApplication::focusWidget(), form_.Button5);
    for (QWidget* next : std::span(order).subspan(1)) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), form_.TreeView2);

    // Enter presses the focused button only; Esc none.
    ClickKind(0);
    form_.CheckListBox1->SetItemIndex(0);
    QApplication::clipboard()->setText("before");
    form_.Button1->setFocus();
    QTest::keyClick(form_.Button1, Qt::Key_Escape);
    EXPECT_TRUE(form_.isVisible());
    form_.Button5->setFocus();
    QTest::keyClick(form_.Button5, Qt::Key_Return);
    EXPECT_EQ(QApplication::clipboard()->text(), "A");
    EXPECT_TRUE(form_.isVisible());
    form_.Button1->setFocus();
    QTest::keyClick(form_.Button1, Qt::Key_Enter);
    EXPECT_FALSE(form_.isVisible());
}

TEST_F(Window, EachClickReadsTheFileAfresh) {
    ClickKind(0);
    EXPECT_EQ(Texts(*form_.CheckListBox1), (std::vector<QString>{"A", "", "C"}));
    QTest::mousePress(form_.CheckListBox1->viewport(), Qt::LeftButton, {}, LinePoint(*form_.CheckListBox1, 0, 4));
    EXPECT_TRUE(form_.CheckListBox1->Checked(0));
    WriteCatalogue("\xEF\xBB\xBF[Простой расчет]\r\nNEW=\r\n");
    ClickKind(0);  // ticks and the current line go with the reload
    EXPECT_EQ(Texts(*form_.CheckListBox1), std::vector<QString>{"NEW"});
    EXPECT_EQ(Checks(*form_.CheckListBox1), std::vector<bool>{false});
    EXPECT_EQ(form_.CheckListBox1->ItemIndex(), -1);
    ClickKind(3);
    EXPECT_TRUE(Texts(*form_.CheckListBox1).empty());
    std::filesystem::remove(ToUtf8(CataloguePath()));
    ClickKind(0);
    EXPECT_TRUE(Texts(*form_.CheckListBox1).empty());
}

// Renamed in place, a kind is looked up under its new name; an empty name too.
TEST_F(Window, ARenamedKindIsLookedUpUnderItsNewName) {
    QTreeWidget* tree = form_.TreeView2;
    const auto rename = [&](int index, const QString& text, Qt::Key end) {
        tree->setCurrentItem(tree->topLevelItem(index));
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_F2);
        auto* editor = tree->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Backspace);
        TypeText(editor, text);
        QTest::keyClick(editor, end);
        QCoreApplication::processEvents();  // the delegate commits through a queued call
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // and the editor goes
        form_.TreeView2Click();  // a click on the selected label would start another rename
    };
    rename(3, "Простой расчет", Qt::Key_Return);
    EXPECT_EQ(tree->topLevelItem(3)->text(0), "Простой расчет");
    EXPECT_EQ(Texts(*form_.CheckListBox1), (std::vector<QString>{"A", "", "C"}));
    rename(3, "Подсчет", Qt::Key_Escape);  // cancelled: the name stays
    EXPECT_EQ(tree->topLevelItem(3)->text(0), "Простой расчет");
    rename(4, "", Qt::Key_Return);
    EXPECT_EQ(tree->topLevelItem(4)->text(0), "");
    EXPECT_EQ(Texts(*form_.CheckListBox1), std::vector<QString>{"NAMELESS"});
}

TEST_F(Window, TheSplitterKeepsItsLimitsAndEscCancels) {
    QWidget* bar = form_.Splitter1;
    const int start = form_.TreeView2->width();
    const auto drag = [&](int dx, bool cancel = false) {
        const QPoint from(1, 50);
        QTest::mousePress(bar, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, from + QPoint(dx, 0), bar->mapToGlobal(from + QPoint(dx, 0)), Qt::NoButton,
                         Qt::LeftButton, {});
        if (dx != 0) QApplication::sendEvent(bar, &move);
        if (cancel) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, from + QPoint(dx, 0));
    };
    drag(40);
    EXPECT_EQ(form_.TreeView2->width(), start + 40);
    drag(40, true);
    EXPECT_EQ(form_.TreeView2->width(), start + 40);
    drag(-1000);  // collapsed
    EXPECT_EQ(form_.Splitter1->x(), 0);
    drag(0);  // a press and a release open it to the smallest width
    EXPECT_EQ(form_.Splitter1->x(), 30);
    drag(5000);
    EXPECT_EQ(form_.Splitter1->x(), form_.width() - 30 - 3);
}

// A file the program cannot open: the box, with the system's reason and a full stop.
TEST_F(Window, AFileThatCannotBeOpenedIsReportedAndTheProgramGoesOn) {
    ClickKind(0);
    std::filesystem::remove(ToUtf8(CataloguePath()));
    const int unix = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = ToUtf8(CataloguePath());
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(unix, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    QString title, text;
    QTimer::singleShot(200, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            box->accept();
        }
    });
    ClickKind(3);
    ::close(unix);
    EXPECT_EQ(title.toStdString(), ToUtf8(ApplicationTitleFrom(platform::ModuleFileName(), u"/", [](WString&) {})));
    EXPECT_EQ(text.toStdString(), "Cannot open file \"" + path + "\". No such device or address.");
    EXPECT_EQ(Texts(*form_.CheckListBox1), (std::vector<QString>{"A", "", "C"}));  // kept
}

}  // namespace
}  // namespace quillmark::test

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    quillmark::TApplication application(argc, argv);
    return RUN_ALL_TESTS();
}

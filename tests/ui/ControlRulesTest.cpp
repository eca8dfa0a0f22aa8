#include <gtest/gtest.h>

#include "ui/SplitterMath.h"
#include "ui/TypeAhead.h"

namespace quillmark {
namespace {

TEST(SplitterMath, LimitsAndCollapse) {
    EXPECT_EQ(LargestTreeWidth(647, 3), 614);
    EXPECT_EQ(DraggedTreeWidth(160 + 50, 614), 210);
    EXPECT_EQ(DraggedTreeWidth(900, 614), 614);
    EXPECT_EQ(DraggedTreeWidth(31, 614), 31);
    EXPECT_EQ(DraggedTreeWidth(30, 614), 0);  // at the smallest width the tree collapses
    EXPECT_EQ(DraggedTreeWidth(-40, 614), 0);
    // The press alone limits without collapsing: a collapsed tree opens to 30.
    EXPECT_EQ(LimitedTreeWidth(0, 614), 30);
    EXPECT_EQ(LimitedTreeWidth(160, 614), 160);
    EXPECT_EQ(LimitedTreeWidth(700, 614), 614);
    // A window narrower than the limits: the smallest width is checked first.
    EXPECT_EQ(LimitedTreeWidth(10, LargestTreeWidth(50, 3)), 30);
    EXPECT_EQ(LimitedTreeWidth(40, LargestTreeWidth(50, 3)), 17);
    EXPECT_EQ(DraggedTreeWidth(40, LargestTreeWidth(50, 3)), 0);
}

TEST(TypeAhead, CharactersWithinHalfASecondAddUp) {
    TypeAhead t;
    EXPECT_EQ(t.Type(QM_W('c'), 1000), QM_W("c"));
    EXPECT_EQ(t.Type(QM_W('o'), 1499), QM_W("co"));
    EXPECT_EQ(t.Type(QM_W(' '), 1998), QM_W("co "));
    EXPECT_EQ(t.Type(QM_W('x'), 2498), QM_W("x"));  // 500 ms after the last: a new prefix
}

TEST(TypeAhead, BackspaceShortensAndAlsoRestartsWhenLate) {
    TypeAhead t;
    t.Type(QM_W('a'), 0);
    t.Type(QM_W('b'), 100);
    EXPECT_EQ(t.Backspace(200), QM_W("a"));
    EXPECT_EQ(t.Backspace(300), QM_W(""));
    EXPECT_EQ(t.Backspace(400), QM_W(""));
    t.Type(QM_W('q'), 500);
    EXPECT_EQ(t.Backspace(1200), QM_W(""));
}

TEST(TypeAhead, TheTickCountMayWrap) {
    TypeAhead t;
    t.Type(QM_W('a'), 0xFFFFFF00u);
    EXPECT_EQ(t.Type(QM_W('b'), 0x00000010u), QM_W("ab"));  // 272 ms later
}

}  // namespace
}  // namespace quillmark

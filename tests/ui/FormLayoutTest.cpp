#include "ui/FormLayout.h"

#include <gtest/gtest.h>

namespace quillmark {
namespace {

TEST(MulDiv, RoundsHalvesAwayFromZero) {
    EXPECT_EQ(MulDiv(-11, 120, 96), -14);  // -13.75
    EXPECT_EQ(MulDiv(-11, 144, 96), -17);  // -16.5
    EXPECT_EQ(MulDiv(1, 1, 2), 1);
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);
    EXPECT_EQ(MulDiv(647, 16, 13), 796);  // 796.3
    EXPECT_EQ(MulDiv(5, 7, -2), -18);
    EXPECT_EQ(MulDiv(5, 7, 0), -1);
}

TEST(FontHeight, FollowsTheResolution) {
    EXPECT_EQ(FontHeightFor(96), -11);
    EXPECT_EQ(FontHeightFor(120), -14);
    EXPECT_EQ(FontHeightFor(144), -17);
}

TEST(ScaleDesign, LeavesTheDesignAsItIsAtThirteenPixels) {
    const FormDesign d = ScaleDesign(13, 21);
    EXPECT_EQ(d.clientWidth, 647);
    EXPECT_EQ(d.clientHeight, 426);
    EXPECT_EQ(d.treeWidth, 160);
    EXPECT_EQ(d.panel2Height, 58);
    EXPECT_EQ(d.listTop, 64);
    EXPECT_EQ(d.button5, (Rect{200, 27, 273, 25}));
    EXPECT_EQ(d.edit1, (Rect{16, 37, 121, 21}));
    EXPECT_EQ(d.checkBox1, (Rect{208, 20, 233, 17}));
    EXPECT_EQ(d.button1RightGap, 17);
    EXPECT_EQ(d.button2RightGap, 105);

    const FormLayout l = ArrangeForm(d, 647, 426, d.treeWidth);
    EXPECT_EQ(l.panel2, (Rect{0, 368, 647, 58}));
    EXPECT_EQ(l.tree, (Rect{0, 0, 160, 368}));
    EXPECT_EQ(l.splitter, (Rect{160, 0, 3, 368}));
    EXPECT_EQ(l.panel1, (Rect{163, 0, 484, 368}));
    EXPECT_EQ(l.list, (Rect{1, 64, 482, 303}));
    EXPECT_EQ(l.button1, (Rect{555, 16, 75, 25}));
    EXPECT_EQ(l.button2, (Rect{467, 16, 75, 25}));
}

TEST(ScaleDesign, ScalesEdgesByTheMeasuredHeight) {
    // 120 pixels per inch: Tahoma -14 measures 16 pixels.
    const FormDesign d = ScaleDesign(16, 24);
    EXPECT_EQ(d.clientWidth, 796);
    EXPECT_EQ(d.clientHeight, 524);
    EXPECT_EQ(d.splitterWidth, 3);
    EXPECT_EQ(d.treeWidth, 197);
    // Edges scale, sizes follow: 200..473 becomes 246..582.
    EXPECT_EQ(d.button5, (Rect{246, 33, 336, 31}));
    EXPECT_EQ(d.edit1.height, 24);  // from its font, not scaled
    const FormLayout l = ArrangeForm(d, d.clientWidth, d.clientHeight, d.treeWidth);
    EXPECT_EQ(l.panel2.top, MulDiv(368, 16, 13));
    EXPECT_EQ(l.splitter, (Rect{197, 0, 3, 453}));
    EXPECT_EQ(l.panel1.left, 200);
    EXPECT_EQ(l.list.top, d.listTop);
    EXPECT_EQ(l.list.Bottom(), l.panel1.height - 1);
    EXPECT_EQ(l.button1.Right(), d.clientWidth - d.button1RightGap);
}

TEST(ArrangeForm, ResizingMovesOnlyDockedAndAnchoredControls) {
    const FormDesign d = ScaleDesign(13, 21);
    const FormLayout l = ArrangeForm(d, 900, 700, 160);
    EXPECT_EQ(l.panel2, (Rect{0, 642, 900, 58}));
    EXPECT_EQ(l.tree, (Rect{0, 0, 160, 642}));
    EXPECT_EQ(l.panel1, (Rect{163, 0, 737, 642}));
    EXPECT_EQ(l.list, (Rect{1, 64, 735, 577}));
    EXPECT_EQ(l.button1.left, 900 - 17 - 75);
    EXPECT_EQ(l.button2.left, 900 - 105 - 75);
    // A collapsed tree keeps its place, the splitter at the left edge.
    EXPECT_EQ(ArrangeForm(d, 647, 426, 0).splitter, (Rect{0, 0, 3, 368}));
    // Too small for the panels: nothing goes negative.
    const FormLayout tiny = ArrangeForm(d, 100, 20, 160);
    EXPECT_EQ(tiny.panel2, (Rect{0, 0, 100, 20}));
    EXPECT_EQ(tiny.panel1.width, 0);
    EXPECT_EQ(tiny.list.height, 0);
}

TEST(CentreOnDesktop, CentresOnTheRectangleOfAllMonitors) {
    EXPECT_EQ(CentreOnDesktop({0, 0, 1280, 1024}, 663, 465), (Point{640 - 331, 512 - 232}));
    // Two monitors, the second left of the first.
    EXPECT_EQ(CentreOnDesktop({-1920, 0, 3840, 1080}, 663, 465), (Point{1920 - 1920 - 331, 540 - 232}));
    // Larger than the desktop: pinned to its top left.
    EXPECT_EQ(CentreOnDesktop({-100, -50, 400, 300}, 663, 465), (Point{-100, -50}));
}

TEST(InitialShowCommand, HonoursOnlyMaximisedAndMinimisedWithoutActivation) {
    EXPECT_EQ(InitialShowCommand(3), 3);   // SW_SHOWMAXIMIZED
    EXPECT_EQ(InitialShowCommand(7), 7);   // SW_SHOWMINNOACTIVE
    EXPECT_EQ(InitialShowCommand(2), 1);   // SW_SHOWMINIMIZED shows it normally
    EXPECT_EQ(InitialShowCommand(0), 1);   // SW_HIDE too
    EXPECT_EQ(InitialShowCommand(10), 1);  // SW_SHOWDEFAULT
}

}  // namespace
}  // namespace quillmark

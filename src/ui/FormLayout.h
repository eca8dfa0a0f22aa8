// The arithmetic of the template window's layout: scaling of the design,
// docking and anchoring, and placement on the desktop. No window is needed.
#pragma once

namespace quillmark {

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// a * b / c rounded to the nearest integer, halves away from zero, as Win32 MulDiv.
int MulDiv(int a, int b, int c);

// The window font's height for a logical resolution: -11 at 96 pixels per inch.
int FontHeightFor(int pixelsPerInch);

// The designed sizes after scaling by measured / 13 (the text height the
// design was made for). Everything the window needs to dock its controls.
struct FormDesign {
    int clientWidth, clientHeight;
    int treeWidth;
    int splitterWidth;  // never scaled
    int panel2Height;
    // Children of Panel1, in its client coordinates.
    Rect label1, button5, edit1;
    int listTop;  // the list's top edge stays here whatever the panel's height
    // Children of Panel2; Button1 and Button2 keep their distance to its right edge.
    Rect button3, button4, checkBox1;
    Rect button1, button2;
    int button1RightGap, button2RightGap;
};

// measuredTextHeight: the height of "0" in the window's font; editHeight:
// the height the single-line edit takes from its font.
FormDesign ScaleDesign(int measuredTextHeight, int editHeight);

struct FormLayout {
    Rect panel2, tree, splitter, panel1;  // in the window's client area
    Rect list, button1, button2;          // in their panels
};

// Docks the controls in a client area of the given size: Panel2 at the
// bottom, then the tree and the splitter from the left, Panel1 the rest.
FormLayout ArrangeForm(const FormDesign& design, int clientWidth, int clientHeight, int treeWidth);

struct Point {
    int x = 0, y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// Centre of the virtual desktop for a window of the given outer size, never
// above or left of the desktop's origin.
Point CentreOnDesktop(const Rect& desktop, int windowWidth, int windowHeight);

// The show command the window first takes: only maximised and minimised
// without activation are honoured; everything else shows it normally.
int InitialShowCommand(int launchShowCommand);

}  // namespace quillmark

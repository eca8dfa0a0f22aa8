#include "ui/FormLayout.h"

#include <algorithm>
#include <cstdint>

namespace quillmark {

namespace {

constexpr int kDesignTextHeight = 13;

// Win32 show commands, kept here so that the arithmetic needs no windows.h.
constexpr int kShowNormal = 1;
constexpr int kShowMaximized = 3;
constexpr int kShowMinNoActive = 7;

struct Scaler {
    int measured;
    int operator()(int value) const { return MulDiv(value, measured, kDesignTextHeight); }
    // Scales the edges, so that neighbours stay neighbours.
    Rect operator()(const Rect& r) const {
        const int left = (*this)(r.left), top = (*this)(r.top);
        return {left, top, (*this)(r.Right()) - left, (*this)(r.Bottom()) - top};
    }
};

}  // namespace

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const int64_t product = static_cast<int64_t>(a) * b;
    const int64_t half = (c < 0 ? -static_cast<int64_t>(c) : c) / 2;
    const bool negative = (product < 0) != (c < 0);
    const int64_t magnitude = (product < 0 ? -product : product) + half;
    const int64_t quotient = magnitude / (c < 0 ? -static_cast<int64_t>(c) : c);
    return static_cast<int>(negative ? -quotient : quotient);
}

int FontHeightFor(int pixelsPerInch) { return pixelsPerInch == 96 ? -11 : MulDiv(-11, pixelsPerInch, 96); }

FormDesign ScaleDesign(int measuredTextHeight, int editHeight) {
    const Scaler s{measuredTextHeight};
    FormDesign d{};
    d.clientWidth = s(647);
    d.clientHeight = s(426);
    // Panel2 spans 368..426 of the client area; Panel1 and the tree 0..368.
    d.panel2Height = s(426) - s(368);
    d.treeWidth = s(160);
    d.splitterWidth = 3;
    d.label1 = s(Rect{16, 8, 246, 13});
    d.button5 = s(Rect{200, 27, 273, 25});
    d.edit1 = s(Rect{16, 37, 121, 21});
    d.edit1.height = editHeight;
    // The list fills Panel1's inner area from 64 down to its bottom: its top
    // stays where the scaled design puts it.
    const Rect list = s(Rect{1, 64, 482, 303});
    d.listTop = s(368) - 1 - list.height;
    d.button3 = s(Rect{16, 16, 75, 25});
    d.button4 = s(Rect{104, 16, 89, 25});
    d.checkBox1 = s(Rect{208, 20, 233, 17});
    d.button1 = s(Rect{555, 16, 75, 25});
    d.button2 = s(Rect{467, 16, 75, 25});
    d.button1RightGap = d.clientWidth - d.button1.Right();
    d.button2RightGap = d.clientWidth - d.button2.Right();
    return d;
}

FormLayout ArrangeForm(const FormDesign& d, int clientWidth, int clientHeight, int treeWidth) {
    FormLayout l;
    const int panel2Height = std::min(d.panel2Height, std::max(clientHeight, 0));
    l.panel2 = {0, clientHeight - panel2Height, clientWidth, panel2Height};
    const int above = std::max(clientHeight - panel2Height, 0);
    l.tree = {0, 0, treeWidth, above};
    l.splitter = {treeWidth, 0, d.splitterWidth, above};
    l.panel1 = {l.splitter.Right(), 0, std::max(clientWidth - l.splitter.Right(), 0), above};
    // Inside Panel1, within its 1-pixel bevel.
    l.list = {1, d.listTop, std::max(l.panel1.width - 2, 0), std::max(l.panel1.height - 1 - d.listTop, 0)};
    l.button1 = d.button1;
    l.button1.left = clientWidth - d.button1RightGap - d.button1.width;
    l.button2 = d.button2;
    l.button2.left = clientWidth - d.button2RightGap - d.button2.width;
    return l;
}

Point CentreOnDesktop(const Rect& desktop, int windowWidth, int windowHeight) {
    Point p{desktop.width / 2 + desktop.left - windowWidth / 2, desktop.height / 2 + desktop.top - windowHeight / 2};
    p.x = std::max(p.x, desktop.left);
    p.y = std::max(p.y, desktop.top);
    return p;
}

int InitialShowCommand(int launchShowCommand) {
    if (launchShowCommand == kShowMaximized || launchShowCommand == kShowMinNoActive) return launchShowCommand;
    return kShowNormal;
}

}  // namespace quillmark

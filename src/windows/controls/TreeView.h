// The tree of kinds of calculation: a "SysTreeView32" whose click event
// fires when the left button is released inside it after a press in it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>

#include "app/ExceptionSink.h"
#include "common/Text.h"
#include "controls/Window.h"

namespace quillmark {

class TTreeView : public SubclassedControl {
public:
    TTreeView(HWND parent, int id, const RECT& bounds, IExceptionSink& sink, std::function<void()> onClick);
    TTreeView(const TTreeView&) = delete;
    TTreeView& operator=(const TTreeView&) = delete;

    HWND Handle() const { return hwnd_; }
    void AddNode(const WString& text);
    HTREEITEM Selected() const;
    WString NodeText(HTREEITEM node) const;

    IExceptionSink& Sink() { return sink_; }
    void Detach() { hwnd_ = nullptr; }
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void ClickIfInside(POINT client);

    HWND hwnd_ = nullptr;
    IExceptionSink& sink_;
    std::function<void()> onClick_;
    bool pressed_ = false;
};

}  // namespace quillmark

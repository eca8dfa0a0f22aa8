// A vertical bar that resizes the control docked at its left by dragging,
// with a hatched line showing the new edge until the button is released.
#pragma once

#include <windows.h>

#include "app/ExceptionSink.h"
#include "ui/SplitterHost.h"

namespace quillmark {

class TSplitter {
public:
    TSplitter(HWND parent, int id, const RECT& bounds, ISplitterHost& host, IExceptionSink& sink);
    TSplitter(const TSplitter&) = delete;
    TSplitter& operator=(const TSplitter&) = delete;

    HWND Handle() const { return hwnd_; }
    bool Dragging() const { return dragging_; }
    // Ends a drag without changing the width (Esc).
    void Cancel();

    void Attach(HWND hwnd) { hwnd_ = hwnd; }
    IExceptionSink& Sink() { return sink_; }
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void OnPress(int x);
    void OnMove(int x);
    void OnRelease();
    void EndDrag();
    void ToggleLine();

    HWND hwnd_ = nullptr;
    ISplitterHost& host_;
    IExceptionSink& sink_;
    bool dragging_ = false;
    bool lineShown_ = false;
    int pressX_ = 0;
    int startWidth_ = 0;
    int largest_ = 0;
    int newWidth_ = 0;
    int lineX_ = 0;
};

}  // namespace quillmark

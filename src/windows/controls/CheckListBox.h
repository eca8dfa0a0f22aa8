// A list box with a check box on each line: an owner-drawn "ListBox" whose
// line texts stay readable (LB_GETTEXT) and whose check states live in the
// lines' item data.
#pragma once

#include <windows.h>

#include "app/ExceptionSink.h"
#include "catalogue/SectionTarget.h"
#include "common/ComPtr.h"
#include "common/Text.h"
#include "controls/CheckListAccessible.h"
#include "controls/Window.h"
#include "ui/TypeAhead.h"

namespace quillmark {

class TCheckListBox final : public ISectionTarget, public SubclassedControl {
public:
    // checkWidth: the width of one check-box image, measured once at start-up.
    TCheckListBox(HWND parent, int id, const RECT& bounds, int checkWidth, IExceptionSink& sink);
    TCheckListBox(const TCheckListBox&) = delete;
    TCheckListBox& operator=(const TCheckListBox&) = delete;
    ~TCheckListBox() { Detach(); }

    HWND Handle() const { return hwnd_; }

    // The lines, as ReadSection fills them.
    void BeginUpdate() override;
    void EndUpdate() override;
    void Clear() override;
    void Add(const WString& item) override;

    int Count() const;
    WString Text(int index) const;
    bool Checked(int index) const;
    int ItemIndex() const;
    // Ticks or unticks a line and tells screen readers.
    void Toggle(int index);

    void DrawItem(const DRAWITEMSTRUCT& item) const;

    IExceptionSink& Sink() { return sink_; }
    // The window went: so does the accessible object's hold on the list.
    void Detach();
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    int CheckAreaWidth() const { return checkWidth_ + 2; }
    LRESULT OnGetObject(WPARAM flags, LPARAM objectId);
    void OnPress(LPARAM lParam);
    void OnChar(WPARAM character);
    void FindPrefix(const WString& prefix);
    void UpdateItemHeight();

    HWND hwnd_ = nullptr;
    int checkWidth_;
    int updates_ = 0;
    TypeAhead typeAhead_;
    IExceptionSink& sink_;
    ComPtr<TCheckListAccessible> accessible_;  // made at a screen reader's first question
};

}  // namespace quillmark

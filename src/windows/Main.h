// The template window: a tree of the kinds of calculation, the list of the
// chosen kind's template codes, and the buttons that move codes out.
#pragma once

#include <windows.h>

#include <memory>

#include "app/Application.h"
#include "controls/CheckListBox.h"
#include "controls/Splitter.h"
#include "controls/TreeView.h"
#include "controls/Window.h"
#include "ui/FormLayout.h"

namespace quillmark {

// Control identifiers, also how tests find the controls.
enum ControlId : int {
    kPanel2Id = 100,
    kTreeView2Id,
    kSplitter1Id,
    kPanel1Id,
    kLabel1Id,
    kButton5Id,
    kCheckListBox1Id,
    kEdit1Id,
    kButton1Id,
    kButton2Id,
    kButton3Id,
    kButton4Id,
    kCheckBox1Id,
};

inline constexpr wchar_t kForm21Class[] = L"TForm21";

class TForm21 final : public IMainWindow, public ISplitterHost {
public:
    TForm21(HINSTANCE instance, IExceptionSink& sink);
    TForm21(const TForm21&) = delete;
    TForm21& operator=(const TForm21&) = delete;
    ~TForm21();

    // The window and its controls, by the names the handlers use.
    HWND Handle() const override { return hwnd_; }
    HWND Panel1 = nullptr;
    HWND Panel2 = nullptr;
    HWND Label1 = nullptr;
    HWND Button1 = nullptr;
    HWND Button2 = nullptr;
    HWND Button3 = nullptr;
    HWND Button4 = nullptr;
    HWND Button5 = nullptr;
    HWND CheckBox1 = nullptr;
    HWND Edit1 = nullptr;
    std::unique_ptr<TTreeView> TreeView2;
    std::unique_ptr<TSplitter> Splitter1;
    std::unique_ptr<TCheckListBox> CheckListBox1;

    void TreeView2Click(HWND sender);
    void Button1Click(HWND sender);
    void Button2Click(HWND sender);
    void Button5Click(HWND sender);

    void Show(int showCommand) override;
    bool PreTranslateMessage(const MSG& message) override;

    void Attach(HWND hwnd) { hwnd_ = hwnd; }
    IExceptionSink& Sink() { return sink_; }
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    int ResizedWidth() const override { return treeWidth_; }
    int LargestResizedWidth() const override;
    void SetResizedWidth(int width) override;

    void CreateFont();
    void CreateControls();
    HWND CreateChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id, const Rect& r);
    Rect SizedToText(Rect r, const wchar_t* text) const;
    void ArrangeControls();
    void MoveFocus(bool forward);

    void OnCreate();
    void OnActivate(WPARAM wParam);
    void OnCommand(WPARAM wParam);
    LRESULT OnNotify(const NMHDR& header);
    LRESULT OnControlColor(HDC dc);
    void OnClose();

    HWND hwnd_ = nullptr;
    IExceptionSink& sink_;
    UniqueGdiObject font_;
    FormDesign design_{};
    int treeWidth_ = 0;
    int checkWidth_ = 0;
    HWND lastFocus_ = nullptr;
};

}  // namespace quillmark

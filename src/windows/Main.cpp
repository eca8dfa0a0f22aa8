#include "Main.h"

#include <windowsx.h>
#include <versionhelpers.h>

#include "catalogue/Kinds.h"
#include "catalogue/TemplateCatalogue.h"
#include "common/Exception.h"
#include "controls/Panel.h"
#include "MyWord.h"
#include "ui/SplitterMath.h"

namespace quillmark {

namespace {

RECT ToRECT(const Rect& r) { return {r.left, r.top, r.Right(), r.Bottom()}; }

// A quarter of the system's check-box bitmap: one check-box image.
int CheckBoxImageWidth() {
    const UniqueGdiObject bitmap(::LoadBitmapW(nullptr, MAKEINTRESOURCEW(OBM_CHECKBOXES)));
    BITMAP info{};
    if (!bitmap || !::GetObjectW(bitmap.Get(), sizeof info, &info)) return ::GetSystemMetrics(SM_CXMENUCHECK);
    return info.bmWidth / 4;
}

int ScreenPixelsPerInch() {
    const WindowDC screen(nullptr);
    return ::GetDeviceCaps(screen.Get(), LOGPIXELSY);
}

}  // namespace

TForm21::TForm21(HINSTANCE instance, IExceptionSink& sink) : sink_(sink), checkWidth_(CheckBoxImageWidth()) {
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    CreateFont();

    WNDCLASSEXW windowClass = WindowClass(instance, kForm21Class, WindowProcOf<TForm21>, IDC_ARROW);
    windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    windowClass.hIcon =
        static_cast<HICON>(::LoadImageW(instance, L"MAINICON", IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                                        ::GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR | LR_SHARED));
    windowClass.hIconSm =
        static_cast<HICON>(::LoadImageW(instance, L"MAINICON", IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                        ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR | LR_SHARED));
    RegisterClassOnce(windowClass);

    // Topmost from the start: Wine drops a later HWND_TOPMOST once the
    // window owns the tree's tooltip.
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_APPWINDOW | WS_EX_TOPMOST | WS_EX_CONTROLPARENT;
    RECT frame{0, 0, design_.clientWidth, design_.clientHeight};
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    // Created where it is shown, centred on the desktop: a move before the
    // first show costs Wine a round of window-position messages.
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const Rect desktop{::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN),
                       ::GetSystemMetrics(SM_CXVIRTUALSCREEN), ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    const Point at = CentreOnDesktop(desktop, width, height);
    if (!::CreateWindowExW(exStyle, kForm21Class, L"Quillmark", style, at.x, at.y, width, height, nullptr, nullptr,
                           instance, this)) {
        throw Exception(L"Cannot create the window");
    }
}

TForm21::~TForm21() {
    if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
}

void TForm21::CreateFont() {
    // The design is for Tahoma 8 points at 96 pixels per inch and a text height of 13.
    font_.Reset(::CreateFontW(FontHeightFor(ScreenPixelsPerInch()), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
    const WindowDC screen(nullptr);
    const SelectInDC select(screen.Get(), font_.Get());
    SIZE zero{};
    ::GetTextExtentPoint32W(screen.Get(), L"0", 1, &zero);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(screen.Get(), &metrics);
    design_ = ScaleDesign(zero.cy, metrics.tmHeight + 8 * ::GetSystemMetrics(SM_CYBORDER));
    treeWidth_ = design_.treeWidth;
}

HWND TForm21::CreateChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id,
                          const Rect& r) {
    const HWND child =
        ::CreateWindowExW(0, className, text, WS_CHILD | style, r.left, r.top, r.width, r.height, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE)), nullptr);
    if (child == nullptr) throw Exception(L"Cannot create a control of the window");
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    return child;
}

void TForm21::CreateControls() {
    const FormLayout layout = ArrangeForm(design_, design_.clientWidth, design_.clientHeight, treeWidth_);
    // Created in the focus order, which is also the order Tab follows.
    Panel1 = CreatePanel(hwnd_, kPanel1Id, ToRECT(layout.panel1));
    Button5 = CreateChild(Panel1, L"Button", L"Копировать в буфер код текущей строчки",
                          WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kButton5Id, design_.button5);
    CheckListBox1 = std::make_unique<TCheckListBox>(Panel1, kCheckListBox1Id, ToRECT(layout.list), checkWidth_, sink_);
    ::SendMessageW(CheckListBox1->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    Edit1 = CreateChild(Panel1, L"Edit", L"Edit1", WS_BORDER | ES_AUTOHSCROLL, kEdit1Id, design_.edit1);
    ::SendMessageW(Edit1, EM_SETLIMITTEXT, 0, 0);  // no code is cut short on its way to the clipboard

    Label1 = CreateChild(Panel1, L"Static", L"Список шаблонов для выбранного типа расчета", WS_VISIBLE | SS_NOPREFIX,
                         kLabel1Id, SizedToText(design_.label1, L"Список шаблонов для выбранного типа расчета"));

    Panel2 = CreatePanel(hwnd_, kPanel2Id, ToRECT(layout.panel2));
    Button1 =
        CreateChild(Panel2, L"Button", L"Cancel", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kButton1Id, layout.button1);
    Button2 =
        CreateChild(Panel2, L"Button", L"OK", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kButton2Id, layout.button2);
    Button3 =
        CreateChild(Panel2, L"Button", L"Help", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kButton3Id, design_.button3);
    const DWORD split = ::IsWindowsVistaOrGreater() ? BS_SPLITBUTTON : BS_PUSHBUTTON;
    Button4 = CreateChild(Panel2, L"Button", L"Menu", WS_VISIBLE | WS_TABSTOP | split, kButton4Id, design_.button4);
    CheckBox1 = CreateChild(Panel2, L"Button", L"Поверх всех окон", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                            kCheckBox1Id, design_.checkBox1);
    Button_SetCheck(CheckBox1, BST_CHECKED);

    TreeView2 = std::make_unique<TTreeView>(hwnd_, kTreeView2Id, ToRECT(layout.tree), sink_,
                                            [this] { TreeView2Click(TreeView2->Handle()); });
    ::SendMessageW(TreeView2->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    for (const WStringView kind : kCalculationKinds) TreeView2->AddNode(WString(kind));
    Splitter1 = std::make_unique<TSplitter>(hwnd_, kSplitter1Id, ToRECT(layout.splitter), *this, sink_);
}

Rect TForm21::SizedToText(Rect r, const wchar_t* text) const {
    const WindowDC screen(nullptr);
    const SelectInDC select(screen.Get(), font_.Get());
    SIZE size{};
    ::GetTextExtentPoint32W(screen.Get(), text, static_cast<int>(wcslen(text)), &size);
    r.width = size.cx;
    r.height = size.cy;
    return r;
}

void TForm21::ArrangeControls() {
    RECT client;
    ::GetClientRect(hwnd_, &client);
    const FormLayout layout = ArrangeForm(design_, client.right, client.bottom, treeWidth_);
    // Siblings move together, in one deferred batch each.
    HDWP batch = nullptr;
    const auto place = [&batch](HWND window, const Rect& r) {
        constexpr UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
        if (batch != nullptr) batch = ::DeferWindowPos(batch, window, nullptr, r.left, r.top, r.width, r.height, flags);
        if (batch == nullptr) ::SetWindowPos(window, nullptr, r.left, r.top, r.width, r.height, flags);
    };

    batch = ::BeginDeferWindowPos(4);
    place(Panel2, layout.panel2);
    place(TreeView2->Handle(), layout.tree);
    place(Splitter1->Handle(), layout.splitter);
    place(Panel1, layout.panel1);
    if (batch != nullptr) ::EndDeferWindowPos(batch);
    batch = ::BeginDeferWindowPos(2);
    place(Button1, layout.button1);
    place(Button2, layout.button2);
    if (batch != nullptr) ::EndDeferWindowPos(batch);
    batch = nullptr;
    place(CheckListBox1->Handle(), layout.list);
}

int TForm21::LargestResizedWidth() const {
    RECT client;
    ::GetClientRect(hwnd_, &client);
    return LargestTreeWidth(client.right, design_.splitterWidth);
}

void TForm21::SetResizedWidth(int width) {
    treeWidth_ = width;
    ArrangeControls();
}

void TForm21::Show(int showCommand) { ::ShowWindow(hwnd_, showCommand); }

void TForm21::MoveFocus(bool forward) {
    const HWND order[] = {Button5,   CheckListBox1->Handle(), Button1, Button2, Button3, Button4,
                          CheckBox1, TreeView2->Handle()};
    constexpr int count = static_cast<int>(std::size(order));
    const HWND focus = ::GetFocus();
    int current = -1;
    for (int i = 0; i < count; ++i) {
        if (order[i] == focus || ::IsChild(order[i], focus)) current = i;
    }
    for (int step = 1; step <= count; ++step) {
        const int next = ((current < 0 ? (forward ? -1 : 0) : current) + (forward ? step : -step) + count) % count;
        if (::IsWindowVisible(order[next]) && ::IsWindowEnabled(order[next])) {
            ::SetFocus(order[next]);
            return;
        }
    }
}

bool TForm21::PreTranslateMessage(const MSG& message) {
    if (message.message != WM_KEYDOWN || (message.hwnd != hwnd_ && !::IsChild(hwnd_, message.hwnd))) return false;
    if (message.wParam == VK_ESCAPE && Splitter1->Dragging()) {
        Splitter1->Cancel();
        return true;
    }
    const bool control = (::GetKeyState(VK_CONTROL) & 0x8000) != 0;
    if (message.wParam == VK_TAB && !control) {
        MoveFocus((::GetKeyState(VK_SHIFT) & 0x8000) == 0);
        return true;
    }
    // No default button: Enter presses the push button that has the focus, and only that.
    const HWND focus = ::GetFocus();
    const bool pushButton =
        focus == Button1 || focus == Button2 || focus == Button3 || focus == Button4 || focus == Button5;
    if (message.wParam == VK_RETURN && pushButton) {
        ::SendMessageW(focus, BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

void TForm21::TreeView2Click(HWND /*sender*/) {
    TTemplateCatalogue catalogue(CataloguePath());
    const HTREEITEM node = TreeView2->Selected();
    if (node == nullptr) return;
    catalogue.ReadSection(TreeView2->NodeText(node), *CheckListBox1);
}

void TForm21::Button1Click(HWND /*sender*/) { ::SendMessageW(hwnd_, WM_CLOSE, 0, 0); }

void TForm21::Button5Click(HWND /*sender*/) {
    const int index = CheckListBox1->ItemIndex();
    if (index < 0) return;
    // Through the hidden edit, which puts plain Unicode text on the clipboard.
    ::SetWindowTextW(Edit1, CheckListBox1->Text(index).c_str());
    ::SendMessageW(Edit1, EM_SETSEL, 0, -1);
    ::SendMessageW(Edit1, WM_COPY, 0, 0);
}

void TForm21::Button2Click(HWND /*sender*/) {
    if (!AttachWord()) return;
    SetWordVisible(true);
    const int count = CheckListBox1->Count();
    for (int i = 0; i < count; ++i) {
        if (CheckListBox1->Checked(i)) InsertCode(CheckListBox1->Text(i));  // a failed insert does not stop the rest
    }
}

void TForm21::OnCreate() {
    ::SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    CreateControls();
}

void TForm21::OnActivate(WPARAM wParam) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(hwnd_, focus)) lastFocus_ = focus;
        return;
    }
    if (HIWORD(wParam) != 0) return;  // minimised
    const bool restorable = lastFocus_ != nullptr && ::IsWindow(lastFocus_) && ::IsWindowVisible(lastFocus_);
    ::SetFocus(restorable ? lastFocus_ : Button5);
}

void TForm21::OnCommand(WPARAM wParam) {
    if (HIWORD(wParam) != BN_CLICKED) return;
    switch (LOWORD(wParam)) {
        case kButton1Id:
            Button1Click(Button1);
            break;
        case kButton2Id:
            Button2Click(Button2);
            break;
        case kButton5Id:
            Button5Click(Button5);
            break;

        default:
            break;
    }
}

LRESULT TForm21::OnNotify(const NMHDR& header) {
    if (header.idFrom == kTreeView2Id && header.code == TVN_ENDLABELEDITW) {
        // Every edit is taken as typed, an empty text too; a cancelled one has no text.
        return reinterpret_cast<const NMTVDISPINFOW&>(header).item.pszText != nullptr;
    }
    return 0;
}

LRESULT TForm21::OnControlColor(HDC dc) {
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
}

void TForm21::OnClose() {
    // The main window's close ends the program: never refused, nothing asked.
    ::PostQuitMessage(0);
}

LRESULT TForm21::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnCreate();
            return 0;
        case WM_SIZE:
            if (Panel1 != nullptr) ArrangeControls();
            return 0;
        case WM_ACTIVATE:
            OnActivate(wParam);
            return 0;
        case WM_COMMAND:
            OnCommand(wParam);
            return 0;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_DRAWITEM:
            if (wParam == kCheckListBox1Id) {
                CheckListBox1->DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return OnControlColor(reinterpret_cast<HDC>(wParam));
        case WM_CLOSE:
            OnClose();
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace quillmark

#include "Main.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QWindow>

#include "MyWord.h"
#include "catalogue/Kinds.h"
#include "catalogue/TemplateCatalogue.h"
#include "ui/SplitterMath.h"

namespace quillmark {

namespace {

QRect ToQRect(const Rect& r) { return {r.left, r.top, r.width, r.height}; }

QString ToQString(WStringView text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

WString ToWString(const QString& text) {
    return WString(reinterpret_cast<const WChar*>(text.utf16()), static_cast<size_t>(text.size()));
}

QFrame* CreatePanel(QWidget* parent, const char* name) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
    return panel;
}

}  // namespace

TForm21::TForm21() {
    setObjectName("TForm21");
    setWindowTitle("Quillmark");
    // Its own taskbar entry, and above every other window.
    setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);

    const QFontMetrics metrics(font());
    QLineEdit probe;
    design_ = ScaleDesign(metrics.height(), probe.sizeHint().height());
    treeWidth_ = design_.treeWidth;
    resize(design_.clientWidth, design_.clientHeight);
    CreateControls();
    ArrangeControls();
    qApp->installEventFilter(this);
}

template <class Control>
Control* TForm21::CreateChild(QWidget* parent, const char* name, const QString& text, const Rect& r) {
    auto* control = new Control(text, parent);
    control->setObjectName(name);
    control->setGeometry(ToQRect(r));
    return control;
}

void TForm21::CreateControls() {
    Panel1 = CreatePanel(this, "Panel1");
    Button5 = CreateChild<QPushButton>(Panel1, "Button5", "Копировать в буфер код текущей строчки", design_.button5);
    CheckListBox1 = new TCheckListBox(Panel1);
    CheckListBox1->setObjectName("CheckListBox1");
    Edit1 = CreateChild<QLineEdit>(Panel1, "Edit1", "Edit1", design_.edit1);
    Edit1->hide();  // only the way to the clipboard
    Label1 = CreateChild<QLabel>(Panel1, "Label1", "Список шаблонов для выбранного типа расчета", design_.label1);
    Label1->resize(Label1->sizeHint());
    Label1->setBuddy(CheckListBox1);

    Panel2 = CreatePanel(this, "Panel2");
    Button1 = CreateChild<QPushButton>(Panel2, "Button1", "Cancel", design_.button1);
    Button2 = CreateChild<QPushButton>(Panel2, "Button2", "OK", design_.button2);
    Button3 = CreateChild<QPushButton>(Panel2, "Button3", "Help", design_.button3);
    Button4 = new QToolButton(Panel2);
    Button4->setObjectName("Button4");
    Button4->setText("Menu");
    Button4->setGeometry(ToQRect(design_.button4));
    Button4->setPopupMode(QToolButton::MenuButtonPopup);  // a split button whose menu is empty
    Button4->setMenu(new QMenu(Button4));
    Button4->setFocusPolicy(Qt::StrongFocus);
    CheckBox1 = CreateChild<QCheckBox>(Panel2, "CheckBox1", "Поверх всех окон", design_.checkBox1);
    CheckBox1->setChecked(true);

    TreeView2 = new TTreeView(this, [this] { TreeView2Click(); });
    TreeView2->setObjectName("TreeView2");
    for (const WStringView kind : kCalculationKinds) TreeView2->AddNode(ToQString(kind));
    Splitter1 = new TSplitter(this, *this);
    Splitter1->setObjectName("Splitter1");

    // The focus order; no button is a default button.
    QWidget* const order[] = {Button5, CheckListBox1, Button1, Button2, Button3, Button4, CheckBox1, TreeView2};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    for (QPushButton* button : {Button1, Button2, Button3, Button5}) button->setAutoDefault(false);
    Button5->setFocus(Qt::OtherFocusReason);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
}

void TForm21::ArrangeControls() {
    const FormLayout layout = ArrangeForm(design_, width(), height(), treeWidth_);
    Panel2->setGeometry(ToQRect(layout.panel2));
    TreeView2->setGeometry(ToQRect(layout.tree));
    TreeView2->setVisible(layout.tree.width > 0);
    Splitter1->setGeometry(ToQRect(layout.splitter));
    Panel1->setGeometry(ToQRect(layout.panel1));
    CheckListBox1->setGeometry(ToQRect(layout.list));
    Button1->setGeometry(ToQRect(layout.button1));
    Button2->setGeometry(ToQRect(layout.button2));
}

int TForm21::LargestResizedWidth() const { return LargestTreeWidth(width(), design_.splitterWidth); }

void TForm21::SetResizedWidth(int width) {
    treeWidth_ = width;
    ArrangeControls();
}

void TForm21::ShowCentred() {
    if (!shown_) {
        shown_ = true;
        centring_ = true;
        Centre();  // by the client area, until the window manager has framed the window
    }
    show();
}

void TForm21::Centre() {
    const QRect desktop = screen()->virtualGeometry();
    const QRect frame = frameGeometry();
    const Point at =
        CentreOnDesktop({desktop.x(), desktop.y(), desktop.width(), desktop.height()}, frame.width(), frame.height());
    move(at.x, at.y);  // a window's position is its frame's
}

void TForm21::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ArrangeControls();
}

bool TForm21::OnKeyPress(const QKeyEvent& key) {
    if (key.key() == Qt::Key_Escape && Splitter1->Dragging()) {
        Splitter1->Cancel();
        return true;
    }
    // Enter presses the push button that has the focus, and only that.
    if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QAbstractButton*>(focusWidget()); button != nullptr && button != CheckBox1) {
            button->click();
            return true;
        }
    }
    return false;
}

bool TForm21::eventFilter(QObject* watched, QEvent* event) {
    // Mapped: the window manager has told the frame's size by now. Shown
    // maximised, the window is centred where it is first restored to.
    if (centring_ && event->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed() &&
        !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        centring_ = false;
        Centre();
    }
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        return OnKeyPress(static_cast<const QKeyEvent&>(*event));
    }
    return false;
}

void TForm21::TreeView2Click() {
    TTemplateCatalogue catalogue(CataloguePath());
    const QTreeWidgetItem* node = TreeView2->Selected();
    if (node == nullptr) return;
    catalogue.ReadSection(ToWString(node->text(0)), *CheckListBox1);
}

void TForm21::Button1Click() { close(); }

void TForm21::Button5Click() {
    const int index = CheckListBox1->ItemIndex();
    if (index < 0) return;
    // Through the hidden edit, which puts plain text on the clipboard.
    Edit1->setText(CheckListBox1->Text(index));
    Edit1->selectAll();
    Edit1->copy();
}

void TForm21::Button2Click() {
    if (!AttachWord()) return;
    SetWordVisible(true);
    for (int i = 0; i < CheckListBox1->Count(); ++i) {
        if (CheckListBox1->Checked(i))
            InsertCode(ToWString(CheckListBox1->Text(i)));  // a failure does not stop the rest
    }
}

}  // namespace quillmark

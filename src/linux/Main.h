// The template window: a tree of the kinds of calculation, the list of the
// chosen kind's template codes, and the buttons that move codes out.
#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

#include "controls/CheckListBox.h"
#include "controls/Splitter.h"
#include "controls/TreeView.h"
#include "ui/FormLayout.h"

namespace quillmark {

class TForm21 final : public QWidget, public ISplitterHost {
public:
    TForm21();

    // The controls, by the names the handlers use; each is also its object name.
    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QToolButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    TTreeView* TreeView2 = nullptr;
    TSplitter* Splitter1 = nullptr;
    TCheckListBox* CheckListBox1 = nullptr;

    void TreeView2Click();
    void Button1Click();
    void Button2Click();
    void Button5Click();

    // Shows the window, centred on the desktop with its frame the first time.
    void ShowCentred();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int ResizedWidth() const override { return treeWidth_; }
    int LargestResizedWidth() const override;
    void SetResizedWidth(int width) override;

    void CreateControls();
    template <class Control>
    Control* CreateChild(QWidget* parent, const char* name, const QString& text, const Rect& r);
    void ArrangeControls();
    bool OnKeyPress(const QKeyEvent& key);
    void Centre();

    FormDesign design_{};
    int treeWidth_ = 0;
    bool shown_ = false;
    bool centring_ = false;  // until the first exposure
};

}  // namespace quillmark

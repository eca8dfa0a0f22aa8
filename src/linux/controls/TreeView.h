// The tree of kinds of calculation. A left-button click fires its click
// handler at the release inside the tree, also on empty space; the second
// press of a double click, the right button and the keyboard fire nothing.
// Only the left button selects. Labels are renamed in place, an empty text included.
#pragma once

#include <QTreeWidget>

#include <functional>

namespace quillmark {

class TTreeView final : public QTreeWidget {
public:
    TTreeView(QWidget* parent, std::function<void()> onClick);

    void AddNode(const QString& text);
    // The selected node, or null.
    QTreeWidgetItem* Selected() const { return currentItem(); }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<void()> onClick_;
    bool leftPressed_ = false;
};

}  // namespace quillmark

#include "controls/TreeView.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace quillmark {

TTreeView::TTreeView(QWidget* parent, std::function<void()> onClick)
    : QTreeWidget(parent), onClick_(std::move(onClick)) {
    setHeaderHidden(true);
    setColumnCount(1);
    // Room for the lines at the root, as on Windows, where nodes stand 19 pixels in.
    setRootIsDecorated(true);
    setIndentation(19);
    setSelectionMode(SingleSelection);
    // A second click on the selected label renames it, as does F2.
    setEditTriggers(SelectedClicked | EditKeyPressed);
}

void TTreeView::AddNode(const QString& text) {
    auto* node = new QTreeWidgetItem(this, QStringList{text});
    node->setFlags(node->flags() | Qt::ItemIsEditable);
}

void TTreeView::mousePressEvent(QMouseEvent* event) {
    // Qt's view selects with any button; here only the left one does.
    if (event->button() != Qt::LeftButton) return;
    leftPressed_ = true;
    QTreeWidget::mousePressEvent(event);
}

void TTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    // The second press of a double click: its release fires nothing.
    leftPressed_ = false;
    QTreeWidget::mouseDoubleClickEvent(event);
}

void TTreeView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const bool click = leftPressed_ && viewport()->rect().contains(event->position().toPoint());
    leftPressed_ = false;
    QTreeWidget::mouseReleaseEvent(event);
    if (click) onClick_();
}

}  // namespace quillmark

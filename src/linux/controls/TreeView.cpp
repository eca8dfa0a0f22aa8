#include "controls/TreeView.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace quillmark {

TTreeView::TTreeView(QWidget* parent, std::function<void()> onClick)
    : QTreeWidget(parent), onClick_(std::move(onClick)) {
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setSelectionMode(SingleSelection);
    // A second click on the selected label renames it, as does F2.
    setEditTriggers(SelectedClicked | EditKeyPressed);
}

void TTreeView::AddNode(const QString& text) {
    auto* node = new QTreeWidgetItem(this, QStringList{text});
    node->setFlags(node->flags() | Qt::ItemIsEditable);
}

void TTreeView::mousePressEvent(QMouseEvent* event) {
    leftPressed_ = event->button() == Qt::LeftButton;
    QTreeWidget::mousePressEvent(event);
}

void TTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click: its release fires nothing.
    leftPressed_ = false;
    QTreeWidget::mouseDoubleClickEvent(event);
}

void TTreeView::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        leftPressed_ && event->button() == Qt::LeftButton && viewport()->rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton) leftPressed_ = false;
    QTreeWidget::mouseReleaseEvent(event);
    if (click) onClick_();
}

}  // namespace quillmark

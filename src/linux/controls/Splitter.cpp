#include "controls/Splitter.h"

#include <QMouseEvent>

#include "ui/SplitterMath.h"

namespace quillmark {

TSplitter::TSplitter(QWidget* parent, ISplitterHost& host) : QWidget(parent), host_(host), line_(new QWidget(parent)) {
    setCursor(Qt::SplitHCursor);
    line_->setAttribute(Qt::WA_TransparentForMouseEvents);
    line_->setAutoFillBackground(true);
    QPalette dark = line_->palette();
    dark.setColor(QPalette::Window, dark.color(QPalette::Dark));
    line_->setPalette(dark);
    line_->hide();
}

void TSplitter::ShowLineAt(int x) {
    line_->setGeometry(x, y(), width(), height());
    line_->raise();
    line_->show();
}

void TSplitter::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    pressX_ = static_cast<int>(event->scenePosition().x());
    startWidth_ = host_.ResizedWidth();
    largest_ = host_.LargestResizedWidth();
    newWidth_ = LimitedTreeWidth(startWidth_, largest_);  // the press alone opens a collapsed tree
    ShowLineAt(newWidth_);
}

void TSplitter::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    const int width = DraggedTreeWidth(startWidth_ + static_cast<int>(event->scenePosition().x()) - pressX_, largest_);
    if (width == newWidth_) return;
    newWidth_ = width;
    ShowLineAt(width);
}

void TSplitter::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) return;
    EndDrag();
    if (newWidth_ != startWidth_) host_.SetResizedWidth(newWidth_);
}

void TSplitter::EndDrag() {
    dragging_ = false;
    line_->hide();
}

void TSplitter::Cancel() {
    if (dragging_) EndDrag();
}

}  // namespace quillmark

// The bar between the tree and the list. A drag shows where the tree's edge
// will go and moves it at the release; Esc cancels the drag.
#pragma once

#include <QWidget>

#include "ui/SplitterHost.h"

namespace quillmark {

class TSplitter final : public QWidget {
public:
    TSplitter(QWidget* parent, ISplitterHost& host);

    bool Dragging() const { return dragging_; }
    void Cancel();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ShowLineAt(int x);
    void EndDrag();

    ISplitterHost& host_;
    QWidget* line_;  // the parent's child that marks the edge during a drag
    bool dragging_ = false;
    int pressX_ = 0, startWidth_ = 0, largest_ = 0, newWidth_ = 0;
};

}  // namespace quillmark

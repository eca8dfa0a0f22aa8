// The check list: one line per template code, each with its tick, and a
// current line that is independent of the ticks. A press in the check area
// ticks at the press, space ticks the current line, and typing searches.
#pragma once

#include <QAbstractListModel>
#include <QElapsedTimer>
#include <QListView>

#include <vector>

#include "catalogue/SectionTarget.h"
#include "ui/TypeAhead.h"

namespace quillmark {

class TCheckListModel final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void Reset(std::vector<QString> codes);
    void Append(QString code);
    const QString& Code(int row) const { return lines_[static_cast<size_t>(row)].code; }
    bool Checked(int row) const { return lines_[static_cast<size_t>(row)].checked; }
    void Toggle(int row);

private:
    struct Line {
        QString code;
        bool checked;
    };
    std::vector<Line> lines_;
};

class TCheckListBox final : public QListView, public ISectionTarget {
public:
    explicit TCheckListBox(QWidget* parent);

    int Count() const { return model_.rowCount(); }
    QString Text(int index) const { return model_.Code(index); }
    bool Checked(int index) const { return model_.Checked(index); }
    // The current line, -1 for none.
    int ItemIndex() const;
    void SetItemIndex(int index);
    void Toggle(int index);

    // ReadSection fills the list through these.
    void BeginUpdate() override;
    void EndUpdate() override;
    void Clear() override;
    void Add(const WString& item) override;

    void keyboardSearch(const QString&) override {}  // the type-ahead below searches

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void OnPress(QMouseEvent* event);
    bool InCheckArea(const QModelIndex& index, QPoint at) const;
    void FindPrefix(const WString& prefix);
    uint32_t Now() const { return static_cast<uint32_t>(clock_.elapsed()); }

    TCheckListModel model_;
    std::vector<QString> pending_;
    bool updating_ = false;
    bool cleared_ = false;    // within an update
    bool pressSeen_ = false;  // a press with no release yet
    TypeAhead typeAhead_;
    QElapsedTimer clock_;
};

}  // namespace quillmark

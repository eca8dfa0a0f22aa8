// The check list: one line per template code, each with its tick, and a
// current line that is independent of the ticks. A press in the check area
// ticks at the press, space ticks the current line, and typing searches.
#pragma once

#include <QAbstractListModel>
#include <QElapsedTimer>
#include <QListView>

#include <string>
#include <vector>

#include "catalogue/SectionTarget.h"
#include "ui/TypeAhead.h"

namespace quillmark {

// Codes one after another in one string: a big section is listed with a
// handful of allocations rather than one a code.
class TCodeList {
public:
    void Add(QStringView code) {
        text_.append(code.utf16(), static_cast<size_t>(code.size()));
        ends_.push_back(text_.size());
    }
    qsizetype Count() const { return static_cast<qsizetype>(ends_.size()); }
    QStringView At(qsizetype index) const {
        const size_t begin = index == 0 ? 0 : ends_[static_cast<size_t>(index - 1)];
        return QStringView(text_.data() + begin, static_cast<qsizetype>(ends_[static_cast<size_t>(index)] - begin));
    }

private:
    // Not a QString: appending to one copied it over and over here (Qt 6.4),
    // where a standard string grows by doubling.
    std::u16string text_;
    std::vector<size_t> ends_;
};

class TCheckListModel final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void Reset(TCodeList codes);
    void Append(QStringView code);
    QStringView Code(int row) const { return codes_.At(row); }
    bool Checked(int row) const { return checked_[static_cast<size_t>(row)] != 0; }
    void Toggle(int row);

private:
    TCodeList codes_;
    std::vector<char> checked_;
};

class TCheckListBox final : public QListView, public ISectionTarget {
public:
    explicit TCheckListBox(QWidget* parent);

    int Count() const { return model_.rowCount(); }
    QString Text(int index) const { return model_.Code(index).toString(); }
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

    // The type-ahead instead of Qt's search: what an input method commits, and a
    // character beyond U+FFFF, are typed one UTF-16 unit at a time, as on Windows.
    void keyboardSearch(const QString& text) override;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index, const QEvent* event) const override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void Press(QMouseEvent* event);
    bool InCheckArea(const QModelIndex& index, QPoint at) const;
    void TypeCharacter(WChar c);
    void FindPrefix(const WString& prefix);
    uint32_t Now() const { return static_cast<uint32_t>(clock_.elapsed()); }

    TCheckListModel model_;
    TCodeList pending_;
    bool updating_ = false;
    bool cleared_ = false;    // within an update
    bool pressSeen_ = false;  // a press with no release yet
    TypeAhead typeAhead_;
    QElapsedTimer clock_;
};

}  // namespace quillmark

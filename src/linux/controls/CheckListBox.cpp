#include "controls/CheckListBox.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include <utility>

#include "catalogue/Platform.h"

namespace quillmark {

namespace {

WString ToWString(QStringView text) { return WString(reinterpret_cast<const WChar*>(text.utf16()), text.size()); }

// Draws the lines with their check boxes but leaves the ticking to the list,
// which ticks at the press rather than at the release.
class CheckDrawingDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool editorEvent(QEvent*, QAbstractItemModel*, const QStyleOptionViewItem&, const QModelIndex&) override {
        return false;
    }
};

}  // namespace

int TCheckListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(codes_.Count());
}

QVariant TCheckListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return Code(index.row()).toString();
        case Qt::CheckStateRole:
            return Checked(index.row()) ? Qt::Checked : Qt::Unchecked;
        default:
            return {};
    }
}

Qt::ItemFlags TCheckListModel::flags(const QModelIndex&) const {
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

void TCheckListModel::Reset(TCodeList codes) {
    beginResetModel();
    codes_ = std::move(codes);
    checked_.assign(static_cast<size_t>(codes_.Count()), 0);
    endResetModel();
}

void TCheckListModel::Append(QStringView code) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    codes_.Add(code);
    checked_.push_back(0);
    endInsertRows();
}

void TCheckListModel::Toggle(int row) {
    char& checked = checked_[static_cast<size_t>(row)];
    checked = !checked;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::CheckStateRole});
}

TCheckListBox::TCheckListBox(QWidget* parent) : QListView(parent) {
    setModel(&model_);
    setItemDelegate(new CheckDrawingDelegate(this));
    setSelectionMode(SingleSelection);
    setUniformItemSizes(true);  // ten thousand codes are laid out in no time
    setEditTriggers(NoEditTriggers);
    clock_.start();
}

int TCheckListBox::ItemIndex() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TCheckListBox::SetItemIndex(int index) { setCurrentIndex(model_.index(index)); }

void TCheckListBox::Toggle(int index) {
    if (index < 0 || index >= Count()) return;
    model_.Toggle(index);
    // Screen readers announce the new state.
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(this, changed);
    event.setChild(index);
    QAccessible::updateAccessibility(&event);
}

void TCheckListBox::BeginUpdate() {
    updating_ = true;
    cleared_ = false;
    pending_ = {};
}

void TCheckListBox::EndUpdate() {
    // One reset for the whole section: no per-line signals. Lines added
    // without a Clear come after the ones the list holds.
    if (!updating_) return;
    updating_ = false;
    if (!cleared_) {
        for (qsizetype i = 0; i < pending_.Count(); ++i) model_.Append(pending_.At(i));
    } else {
        model_.Reset(std::move(pending_));
        setCurrentIndex(QModelIndex());
    }
    pending_ = {};
}

void TCheckListBox::Clear() {
    pending_ = {};
    cleared_ = true;
    if (!updating_) model_.Reset({});
}

void TCheckListBox::Add(const WString& item) {
    const QStringView code(reinterpret_cast<const QChar*>(item.data()), static_cast<qsizetype>(item.size()));
    if (updating_) {
        pending_.Add(code);
        return;
    }
    model_.Append(code);
}

bool TCheckListBox::InCheckArea(const QModelIndex& index, QPoint at) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    const QRect box = style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
    // The box and two pixels beside it, as in the Windows list.
    return option.rect.contains(at) && at.x() <= box.right() + 2;
}

QItemSelectionModel::SelectionFlags TCheckListBox::selectionCommand(const QModelIndex& index,
                                                                    const QEvent* event) const {
    // The highlighted line is the current line, whatever the modifiers: Qt's
    // Ctrl+click would unhighlight it, and a drag below the lines would clear it.
    if (!index.isValid() && event != nullptr) return QItemSelectionModel::NoUpdate;
    return QItemSelectionModel::ClearAndSelect;
}

void TCheckListBox::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QListView::currentChanged(current, previous);
    // Qt lets input methods in only where a line can be edited; here a dead
    // key's or an input method's text goes to the type-ahead.
    setAttribute(Qt::WA_InputMethodEnabled);
}

void TCheckListBox::Press(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const QModelIndex index = indexAt(at);
    if (!index.isValid()) {
        // As the Windows list box: a press below the lines makes the last one current.
        if (Count() > 0) SetItemIndex(Count() - 1);
        return;
    }
    QListView::mousePressEvent(event);
    if (InCheckArea(index, at)) Toggle(index.row());
}

void TCheckListBox::mousePressEvent(QMouseEvent* event) {
    // The list answers the left button only.
    if (event->button() != Qt::LeftButton) return;
    Press(event);
    pressSeen_ = true;
}

void TCheckListBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressSeen_ = false;
    QListView::mouseReleaseEvent(event);
}

void TCheckListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    // The second press of a double click ticks again, as any press does. Qt 6
    // delivers it as a press followed by this event, which then adds nothing.
    if (!std::exchange(pressSeen_, false)) Press(event);
    QListView::mouseDoubleClickEvent(event);
}

void TCheckListBox::FindPrefix(const WString& prefix) {
    if (prefix.empty()) {
        SetItemIndex(0);
        return;
    }
    // From the top, without regard to case, by the catalogue's own upper-casing.
    const WString wanted = platform::UpperCase(prefix);
    for (int i = 0; i < Count(); ++i) {
        const WString text = ToWString(model_.Code(i));
        if (text.size() >= wanted.size() && platform::UpperCase(WStringView(text).substr(0, wanted.size())) == wanted) {
            SetItemIndex(i);
            return;
        }
    }
}

void TCheckListBox::keyPressEvent(QKeyEvent* event) {
    // With Ctrl or Alt a key types nothing printable on Windows: Ctrl+Backspace is DEL there.
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (event->key() == Qt::Key_Backspace && plain) {
        FindPrefix(typeAhead_.Backspace(Now()));
        return;
    }
    const QString text = event->text();
    if (text.size() != 1 || !TypeAhead::Accepts(text[0].unicode()) || !plain) {
        QListView::keyPressEvent(event);  // arrows, Home, End, Tab...
        return;
    }
    TypeCharacter(text[0].unicode());
}

void TCheckListBox::keyboardSearch(const QString& text) {
    for (const QChar c : text) TypeCharacter(c.unicode());
}

void TCheckListBox::TypeCharacter(WChar c) {
    if (!TypeAhead::Accepts(c)) return;
    if (c == u' ') Toggle(ItemIndex());
    FindPrefix(typeAhead_.Type(c, Now()));
}

void TCheckListBox::focusInEvent(QFocusEvent* event) {
    // Qt makes the first line current when the list gets the focus; the
    // list keeps no current line until one is chosen.
    const bool hadCurrent = currentIndex().isValid();
    QListView::focusInEvent(event);
    if (!hadCurrent) selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
}

}  // namespace quillmark

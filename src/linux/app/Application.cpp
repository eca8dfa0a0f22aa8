#include "app/Application.h"

#include <QMessageBox>
#include <QPointer>

#include <csignal>

#include "catalogue/Platform.h"
#include "ui/ExceptionText.h"

namespace quillmark {

namespace {

QString ToQString(const WString& text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

void LowerInPlace(WString& text) {
    const QString lower = ToQString(text).toLower();
    text.assign(reinterpret_cast<const WChar*>(lower.utf16()), static_cast<size_t>(lower.size()));
}

}  // namespace

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv),
      title_(ToQString(ApplicationTitleFrom(platform::ModuleFileName(), platform::PathSeparators(), LowerInPlace))) {
    setQuitOnLastWindowClosed(true);
    // The office's runtime writes to its pipe without MSG_NOSIGNAL: an office
    // that hangs up would end us, where the write must fail as any bridge call.
    std::signal(SIGPIPE, SIG_IGN);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
        return true;
    }
}

void TApplication::HandleException(const std::exception_ptr& error) noexcept {
    try {
        // A drag or a press in progress ends first.
        if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
        const QString text = ToQString(WithFullStop(MessageOf(error)));
        const QPointer<QWidget> active = activeWindow();
        const QPointer<QWidget> focus = focusWidget();
        QMessageBox::critical(active, title_, text);
        if (active) active->activateWindow();
        if (focus) focus->setFocus(Qt::OtherFocusReason);
    } catch (...) {
        // Nothing is left to report with; the loop goes on.
    }
}

}  // namespace quillmark

// The application object: the modules' start-up and shutdown, the event loop
// and the default exception handler, which shows what escaped an event
// handler and lets the program go on. A pipe whose peer hung up is an error
// for the write, never the end of the process.
#pragma once

#include <QApplication>

#include <exception>

#include "common/ModuleHooks.h"

namespace quillmark {

class TApplication final : public QApplication {
public:
    TApplication(int& argc, char** argv);

    void AddModule(ModuleHooks hooks) { modules_.Add(hooks); }
    // Runs the modules' initialisation in the order they were added.
    void Initialize() { modules_.Initialize(); }
    // The modules' shutdown, in the reverse order of their start.
    void Shutdown() { modules_.Shutdown(); }

    const QString& Title() const { return title_; }
    // Every event passes here: what its handler throws is shown, not fatal.
    bool notify(QObject* receiver, QEvent* event) override;
    void HandleException(const std::exception_ptr& error) noexcept;

private:
    QString title_;
    ModuleChain modules_;
};

}  // namespace quillmark

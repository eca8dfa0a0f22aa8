// The entry point: start the application, create the window, run the loop,
// shut down in the reverse order. The exit code is always 0.
#include <QIcon>
#include <fontconfig/fontconfig.h>

#include <cstring>
#include <thread>

#include "Main.h"
#include "MyWord.h"
#include "app/Application.h"

namespace {

// Keep-above needs X11: on a Wayland session, run on XWayland unless the
// user chose a platform.
void PreferX11(int argc, char** argv) {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) return;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
}

}  // namespace

int main(int argc, char** argv) {
    PreferX11(argc, argv);
    // Fontconfig reads its configuration on first use, the first widget's
    // text: several milliseconds. Read it while the application connects.
    std::jthread fontConfiguration([] { FcInit(); });
    quillmark::TApplication application(argc, argv);
    fontConfiguration.join();
    application.setWindowIcon(QIcon(":/quillmark.png"));
    application.AddModule(quillmark::WordBridgeModule());
    try {
        application.Initialize();
        quillmark::TForm21 form;
        form.ShowCentred();
        application.exec();
    } catch (...) {
        application.HandleException(std::current_exception());
    }
    application.Shutdown();
    // The application's end offers the copied code to the clipboard manager:
    // on X11 it would otherwise leave the clipboard with the program.
    return 0;
}

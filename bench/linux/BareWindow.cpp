// The baseline of the launch timing: a bare Qt window, shown and left open.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle("bare");
    window.resize(647, 426);
    window.show();
    return application.exec();
}

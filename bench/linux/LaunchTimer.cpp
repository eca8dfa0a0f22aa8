// Launch to visible window as a user sees it: from the start of the program
// to its first viewable window (one whose _NET_WM_PID is the program's),
// found by walking the window tree over one display connection every
// millisecond, so that no poll costs a process of its own.
//
//   launch_timer PROGRAM   prints the milliseconds, then stops the program
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

extern char** environ;

namespace {

// Windows come and go while the tree is walked.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

bool IsProgramWindow(Display* display, Window window, Atom pidAtom, pid_t pid) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    const bool read = XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                                         &left, &data) == Success;
    const bool mine = read && data != nullptr && format == 32 && count == 1 &&
                      *reinterpret_cast<const unsigned long*>(data) == static_cast<unsigned long>(pid);
    if (data != nullptr) XFree(data);
    return mine;
}

// A window is viewable only inside viewable ancestors: unmapped subtrees are skipped.
bool HasViewableWindowOf(Display* display, Window window, Atom pidAtom, pid_t pid) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable) return false;
    if (IsProgramWindow(display, window, pidAtom, pid)) return true;
    Window root = None, parent = None, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return false;
    bool found = false;
    for (unsigned i = 0; i < count && !found; ++i) found = HasViewableWindowOf(display, children[i], pidAtom, pid);
    if (children != nullptr) XFree(children);
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: launch_timer PROGRAM\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 1;
    XSetErrorHandler(IgnoreErrors);
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);

    char* const args[] = {argv[1], nullptr};
    pid_t pid = 0;
    const auto start = std::chrono::steady_clock::now();
    if (posix_spawn(&pid, argv[1], nullptr, nullptr, args, environ) != 0) return 1;
    const auto deadline = start + std::chrono::seconds(20);
    bool visible = false;
    while (!(visible = HasViewableWindowOf(display, DefaultRootWindow(display), pidAtom, pid)) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    XCloseDisplay(display);
    if (!visible) return 1;
    std::printf("%.2f\n", elapsed);
    return 0;
}

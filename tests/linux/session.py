"""A desktop for the Linux edition, driven as a user drives it.

Xvfb with openbox (a window manager that honours keep-above), a headless
LibreOffice listening on the user's pipe, the real quillmark binary, AT-SPI
to find its controls and xdotool for real input. Used by the end-to-end
test and by scripts/run-linux. Run it under dbus-run-session.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.append("/usr/lib/python3/dist-packages")  # pyatspi and uno, for any python3 in front
import pyatspi  # noqa: E402
import uno  # noqa: E402

OFFICE = "/usr/lib/libreoffice/program/soffice"


def wait_for(condition, seconds=20.0, step=0.1):
    end = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            return value
        time.sleep(step)


def spawn(args, env=None):
    """A process in a group of its own, so that stop() ends its children too."""
    return subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)


def stop(process):
    if process is None or process.poll() is not None:
        return
    os.killpg(process.pid, signal.SIGTERM)
    try:
        process.wait(5)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()


class Desktop:
    """A virtual X display with openbox, or the user's display."""

    def __init__(self, virtual=True):
        self.processes = []
        if not virtual:
            self.display = os.environ["DISPLAY"]
            return
        number = 90
        while os.path.exists(f"/tmp/.X11-unix/X{number}") or os.path.exists(f"/tmp/.X{number}-lock"):
            number += 1
        self.display = f":{number}"
        self.processes.append(spawn(["Xvfb", self.display, "-screen", "0", "1280x800x24", "-nolisten", "tcp"]))
        wait_for(lambda: os.path.exists(f"/tmp/.X11-unix/X{number}"))
        self.folder = tempfile.mkdtemp(prefix="quillmark-desktop-")
        self.processes.append(spawn(["openbox", "--config-file", self._openbox_config()], env=self.env()))
        wait_for(lambda: self.stacking() is not None)

    def _openbox_config(self):
        """Openbox's configuration but for the resize handle, a strip with two grips that its theme draws
        under every resizable window: the frame is then a border all round, as on Windows."""
        with open("/etc/xdg/openbox/rc.xml", encoding="utf-8") as f:
            config = f.read()
        name = re.search(r"<theme>\s*<name>([^<]*)</name>", config)
        shutil.copytree(f"/usr/share/themes/{name.group(1)}/openbox-3", os.path.join(self.folder, "openbox-3"))
        with open(os.path.join(self.folder, "openbox-3", "themerc"), "a", encoding="utf-8") as f:
            f.write("\nwindow.handle.width: 0\n")  # the last value of a resource counts
        with open(os.path.join(self.folder, "rc.xml"), "w", encoding="utf-8") as f:
            f.write(config[:name.start(1)] + self.folder + config[name.end(1):])
        return f.name

    def env(self, **extra):
        env = dict(os.environ, DISPLAY=self.display)
        env.update(extra)
        return env

    def xdotool(self, *args):
        try:
            result = subprocess.run(["xdotool", *args], env=self.env(), capture_output=True, text=True, timeout=10)
        except subprocess.TimeoutExpired:
            return None
        return result.stdout.strip() if result.returncode == 0 else None

    def click(self, x, y, times=1):
        self.xdotool("mousemove", "--sync", str(int(x)), str(int(y)))
        self.xdotool("click", "--repeat", str(times), "--delay", "80", "1")
        time.sleep(0.2)

    def key(self, *keys):
        self.xdotool("key", "--delay", "50", *keys)
        time.sleep(0.2)

    def stacking(self):
        """The managed windows, bottom to top, as openbox stacks them."""
        result = subprocess.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"], env=self.env(),
                                capture_output=True, text=True)
        if "#" not in result.stdout:
            return None
        return [int(w, 16) for w in result.stdout.split("#", 1)[1].replace(",", " ").split()]

    def frame(self, window):
        """The window manager's frame around a window: x, y, width and height on the screen."""
        def info(w):
            out = subprocess.run(["xwininfo", "-tree", "-stats", "-id", w], env=self.env(), capture_output=True,
                                 text=True)
            return dict(line.strip().split(": ", 1) for line in out.stdout.splitlines() if ": " in line)
        frame = info(info(window)["Parent window id"].split()[0])
        return tuple(int(frame[key]) for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def screenshot(self, path, window=None):
        subprocess.run(["import", "-window", window or "root", path], env=self.env(), check=True)

    def close(self):
        for process in reversed(self.processes):
            stop(process)
        if hasattr(self, "folder"):
            shutil.rmtree(self.folder, ignore_errors=True)


class Office:
    """A headless LibreOffice in a throwaway profile, listening on a pipe."""

    def __init__(self, pipe="quillmark"):
        self.pipe = pipe
        self.profile = tempfile.mkdtemp(prefix="quillmark-office-")
        self.process = spawn([OFFICE, "--headless", "--invisible", "--norestore", "--nologo", "--nodefault",
                              "--nolockcheck", f"--accept=pipe,name={pipe};urp;StarOffice.ComponentContext",
                              f"-env:UserInstallation=file://{self.profile}"])
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)

        def connect():
            try:
                return resolver.resolve(f"uno:pipe,name={pipe};urp;StarOffice.ComponentContext")
            except Exception:
                return None
        context = wait_for(connect, 60)
        if context is None:
            raise RuntimeError("the office did not listen")
        self.desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", context)
        self.document = None

    def new_document(self, text="", start=0, end=0):
        self.document = self.desktop.loadComponentFromURL("private:factory/swriter", "_blank", 0, ())
        self.document.Text.setString(text)
        cursor = self.document.CurrentController.ViewCursor
        cursor.gotoStart(False)
        cursor.goRight(start, False)
        cursor.goRight(end - start, True)

    def text(self):
        return self.document.Text.getString()

    def close(self):
        stop(self.process)
        shutil.rmtree(self.profile, ignore_errors=True)


class Quillmark:
    """The real quillmark, copied into a folder of its own with a params.ini."""

    def __init__(self, desktop, binary, catalogue):
        self.desktop = desktop
        self.folder = tempfile.mkdtemp(prefix="quillmark-")
        shutil.copy(binary, self.folder)
        self.catalogue = os.path.join(self.folder, "params.ini")
        shutil.copy(catalogue, self.catalogue)
        pyatspi.Registry.getDesktop(0)  # the registry must be up before the program asks for it
        runtime = tempfile.mkdtemp(prefix="quillmark-runtime-")
        os.chmod(runtime, 0o700)
        self.process = subprocess.Popen(
            [os.path.join(self.folder, os.path.basename(binary))],
            env=desktop.env(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb"),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.app = wait_for(self._find_app, 30)
        if self.app is None:
            raise RuntimeError("quillmark did not come up on AT-SPI")
        self.window = wait_for(lambda: desktop.xdotool("search", "--onlyvisible", "--pid", str(self.process.pid)), 10)

    def _find_app(self):
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is not None and app.get_process_id() == self.process.pid:
                    frame = app[0] if app.childCount else None
                    if frame is not None and frame.getState().contains(pyatspi.STATE_SHOWING) and \
                            frame.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).width > 0:
                        return app
            except Exception:
                pass
        return None

    def find(self, name, role=None, root=None):
        """The first element with that name (and role), searched afresh."""
        def match(node):
            return node.name == name and (role is None or node.getRole() == role)
        return wait_for(lambda: pyatspi.findDescendant(root or self.app, match), 5)

    def find_all(self, role):
        return pyatspi.findAllDescendants(self.app, lambda node: node.getRole() == role)

    @staticmethod
    def extents(node):
        return node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)

    def click(self, node, x=None):
        box = self.extents(node)
        self.desktop.click(box.x + (box.width // 2 if x is None else x), box.y + box.height // 2)

    def list_lines(self):
        """The check list's lines: (code, ticked), top to bottom."""
        lines = []
        for item in self.find_all(pyatspi.ROLE_LIST_ITEM):
            lines.append((item.name, item.getState().contains(pyatspi.STATE_CHECKED)))
        return lines

    def tick(self, code):
        self.click(self.find(code, pyatspi.ROLE_LIST_ITEM), x=9)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(5)
        shutil.rmtree(self.folder, ignore_errors=True)

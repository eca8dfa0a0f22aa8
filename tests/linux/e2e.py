"""The Linux edition end to end, as a user uses it: the real quillmark on a
virtual display with openbox, real input, a real headless office.

    dbus-run-session -- /usr/bin/python3 e2e.py BUILD_BIN_DIR
"""
import os
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pyatspi  # noqa: E402
import session  # noqa: E402

CATALOGUE = "\ufeff[Простой расчет]\r\n#Истец#=1\r\nCODE2=2\r\nNOEQUALS\r\n#Дата#=4\r\n[Подсчет дней]\r\nD=1\r\n"
failures = []


def check(what, actual, expected):
    if actual != expected:
        failures.append(f"{what}: got {actual!r}, expected {expected!r}")
    print(("ok   " if actual == expected else "FAIL ") + what, flush=True)


def main(bin_dir):
    desktop = session.Desktop()
    office = session.Office()
    catalogue = os.path.join(session.tempfile.mkdtemp(prefix="quillmark-e2e-"), "params.ini")
    with open(catalogue, "w", encoding="utf-8", newline="") as f:
        f.write(CATALOGUE)
    app = None
    try:
        office.new_document("Hello World", 6, 11)
        app = session.Quillmark(desktop, os.path.join(bin_dir, "quillmark"), catalogue)

        # A kind, two ticks and OK: the selection gives way to the codes, in order.
        app.click(app.find("Простой расчет"))
        check("the kind's codes are listed", session.wait_for(lambda: len(app.list_lines()) == 4, 5) and
              app.list_lines(), [("#Истец#", False), ("CODE2", False), ("", False), ("#Дата#", False)])
        app.tick("#Дата#")
        app.tick("#Истец#")
        lines = app.list_lines()
        check("ticked by presses in the check area", [t for _, t in lines], [True, False, False, True])
        app.click(app.find("OK", pyatspi.ROLE_PUSH_BUTTON))
        check("OK types the ticked codes over the selection",
              session.wait_for(lambda: office.text() == "Hello #Истец##Дата#", 5) and office.text(),
              "Hello #Истец##Дата#")
        app.click(app.find("OK", pyatspi.ROLE_PUSH_BUTTON))
        check("a second OK types them again, after the first",
              session.wait_for(lambda: office.text() == "Hello #Истец##Дата##Истец##Дата#", 5) and office.text(),
              "Hello #Истец##Дата##Истец##Дата#")

        # An office that hangs up at once, as one shutting down does: OK fails quietly, the program goes on.
        office.close()
        pipe = f"/tmp/OSL_PIPE_{os.geteuid()}_quillmark"
        if os.path.exists(pipe):
            os.remove(pipe)
        with socket.socket(socket.AF_UNIX) as peer:
            peer.bind(pipe)
            peer.listen()
            hang_up = threading.Thread(target=lambda: [peer.accept()[0].close() for _ in range(3)], daemon=True)
            hang_up.start()
            ok = app.extents(app.find("OK", pyatspi.ROLE_PUSH_BUTTON))
            desktop.click(ok.x + ok.width // 2, ok.y + ok.height // 2, times=3)
            hang_up.join(10)
            check("an office that hangs up ends nothing", app.process.poll() is None and app.list_lines(), lines)
        os.remove(pipe)

        # Keep-above: another window activated and raised over it stays below.
        other = session.spawn(["xlogo"], env=desktop.env())
        desktop.processes.append(other)
        other_window = session.wait_for(
            lambda: desktop.xdotool("search", "--onlyvisible", "--classname", "xlogo"), 10)
        desktop.xdotool("windowactivate", "--sync", other_window.split()[0])
        desktop.xdotool("windowraise", other_window.split()[0])
        time.sleep(0.5)
        stack = desktop.stacking() or []
        ours, theirs = int(app.window.split()[0]), int(other_window.split()[0])
        check("quillmark stays above a window raised over it",
              ours in stack and theirs in stack and stack.index(ours) > stack.index(theirs), True)

        # A params.ini that cannot be read: the error box, and the program goes on.
        os.remove(app.catalogue)
        blocker = socket.socket(socket.AF_UNIX)
        blocker.bind(app.catalogue)
        app.click(app.find("Подсчет дней"))
        box = app.find(f"Cannot open file \"{app.catalogue}\". No such device or address.", pyatspi.ROLE_LABEL)
        check("the error box shows the system's reason", box is not None, True)
        check("the list keeps its lines", len(app.list_lines()), 4)
        desktop.key("Return")
        blocker.close()
        os.remove(app.catalogue)
        with open(app.catalogue, "w", encoding="utf-8", newline="") as f:
            f.write(CATALOGUE)
        app.click(app.find("Подсчет дней"))
        check("a later click reads the file again",
              session.wait_for(lambda: app.list_lines() == [("D", False)], 5) and app.list_lines(), [("D", False)])

        app.click(app.find("Cancel", pyatspi.ROLE_PUSH_BUTTON))
        check("Cancel ends it with exit code 0", app.process.wait(5), 0)
        app.close()

        # Centred on the 1280 x 800 desktop with its frame at its first show; Alt+F4 ends it with 0 too.
        app = session.Quillmark(desktop, os.path.join(bin_dir, "quillmark"), catalogue)

        def frame_at_and_centre():
            x, y, width, height = desktop.frame(app.window.split()[0])
            return (x, y), (640 - width // 2, 400 - height // 2)
        session.wait_for(lambda: len(set(frame_at_and_centre())) == 1, 2)
        check("centred with its frame on the first show", *frame_at_and_centre())
        desktop.xdotool("windowactivate", "--sync", app.window.split()[0])
        desktop.key("alt+F4")
        check("Alt+F4 ends it with exit code 0", app.process.wait(5), 0)
    finally:
        if app is not None:
            app.close()
        office.close()
        desktop.close()
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))

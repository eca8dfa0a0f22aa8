"""What scripts/run-linux shows with no display: on a virtual one, click the
first kind, tick two codes, press OK, take a picture, print the document.

    dbus-run-session -- /usr/bin/python3 demo.py BUILD_BIN_DIR CATALOGUE SCREENSHOT
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pyatspi  # noqa: E402
import session  # noqa: E402


def main(bin_dir, catalogue, shot):
    desktop = session.Desktop()
    office = session.Office()
    app = None
    try:
        office.new_document("Иск: ", 5, 5)
        app = session.Quillmark(desktop, os.path.join(bin_dir, "quillmark"), catalogue)
        app.click(app.find("Простой расчет"))
        session.wait_for(lambda: len(app.list_lines()) >= 3, 5)
        codes = [code for code, _ in app.list_lines()]
        for code in (codes[0], codes[2]):
            app.tick(code)
        app.click(app.find("OK", pyatspi.ROLE_PUSH_BUTTON))
        session.wait_for(lambda: office.text() != "Иск: ", 5)
        time.sleep(0.3)
        # With the frame that openbox draws around it.
        session.subprocess.run(["import", "-frame", "-window", app.window.split()[0], shot], env=desktop.env(),
                               check=True)
        print(f"quillmark ran on a virtual display; screenshot: {shot}")
        print(office.text())
    finally:
        if app is not None:
            app.close()
        office.close()
        desktop.close()


if __name__ == "__main__":
    main(*sys.argv[1:4])

"""Prints what a real LibreOffice reads of each document: the body's text,
then each page style's headers and footers, a line each.

    python3 office_text.py FILE...

It starts a headless office of its own in a throwaway profile, on a pipe of
its own, and stops it by its process id.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.append("/usr/lib/python3/dist-packages")  # uno, for any python3 in front
import uno  # noqa: E402
from com.sun.star.beans import PropertyValue  # noqa: E402

OFFICE = "/usr/lib/libreoffice/program/soffice"


def main(files):
    profile = tempfile.mkdtemp(prefix="quillmark-office-")
    pipe = f"quillmark-fix-{os.getpid()}"
    office = subprocess.Popen(
        [OFFICE, "--headless", "--invisible", "--norestore", "--nologo", "--nodefault", "--nolockcheck",
         f"--accept=pipe,name={pipe};urp;StarOffice.ComponentContext", f"-env:UserInstallation=file://{profile}"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        context = None
        for _ in range(240):
            try:
                context = resolver.resolve(f"uno:pipe,name={pipe};urp;StarOffice.ComponentContext")
                break
            except Exception:
                time.sleep(0.25)
        if context is None:
            raise SystemExit("office_text: no office")
        desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", context)
        for name in files:
            url = uno.systemPathToFileUrl(os.path.abspath(name))
            document = desktop.loadComponentFromURL(url, "_blank", 0, (PropertyValue("Hidden", 0, True, 0),))
            print(document.Text.String.replace("\r\n", "\n").replace("\n", " | "))
            styles = document.StyleFamilies.getByName("PageStyles")
            for style in sorted(styles.ElementNames):
                page = styles.getByName(style)
                for kind in ("Header", "Footer"):
                    if page.getPropertyValue(kind + "IsOn"):
                        print(style, kind, page.getPropertyValue(kind + "Text").String)
            document.close(True)
    finally:
        os.killpg(office.pid, signal.SIGTERM)
        try:
            office.wait(10)
        except subprocess.TimeoutExpired:
            os.killpg(office.pid, signal.SIGKILL)
            office.wait()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1:])

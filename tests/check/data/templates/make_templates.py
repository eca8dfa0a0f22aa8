"""Writes the test template with LibreOffice over UNO: codes in the body, split
across runs by a bold letter, in a table, a text frame, a header and a footnote.

    python3 make_templates.py PIPE OUTPUT.odt
"""
import sys
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.text.ControlCharacter import PARAGRAPH_BREAK


def connect(pipe):
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
    for _ in range(120):
        try:
            return resolver.resolve(f"uno:pipe,name={pipe};urp;StarOffice.ComponentContext")
        except Exception:
            time.sleep(0.25)
    raise SystemExit("make_templates: no office on pipe " + pipe)


def prop(name, value):
    return PropertyValue(name, 0, value, 0)


def paragraph(text, cursor, content):
    text.insertString(cursor, content, False)
    text.insertControlCharacter(cursor, PARAGRAPH_BREAK, False)


def main(pipe, output):
    ctx = connect(pipe)
    desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
    doc = desktop.loadComponentFromURL("private:factory/swriter", "_blank", 0, (prop("Hidden", True),))
    text = doc.Text
    cursor = text.createTextCursor()

    paragraph(text, cursor, "Истец: #Истец#")                  # 1
    paragraph(text, cursor, "Ответчик: #Ответчик#")            # 2: the code's first letter is bold
    bold = text.createTextCursorByRange(text.getStart())
    bold.gotoNextParagraph(False)
    bold.goRight(len("Ответчик: #"), False)
    bold.goRight(1, True)
    bold.CharWeight = 150.0
    text.insertString(cursor, "Сумма: #СуммаДолг#", False)    # 3: mistyped, with a footnote
    note = doc.createInstance("com.sun.star.text.Footnote")
    text.insertTextContent(cursor, note, False)
    note.insertString(note.createTextCursor(), "Срок: #Дата#", False)
    text.insertControlCharacter(cursor, PARAGRAPH_BREAK, False)
    paragraph(text, cursor, "Также #истец#, #Неведомый# и <#Пени#> & ##")  # 4: wrong case; unknown; markup

    table = doc.createInstance("com.sun.star.text.TextTable")  # 5, 6
    table.initialize(1, 2)
    text.insertTextContent(cursor, table, False)
    table.getCellByName("A1").setString("#Истец#")
    table.getCellByName("B1").setString("Доля: #Доля#")

    frame = doc.createInstance("com.sun.star.text.TextFrame")  # a text box in the last paragraph
    frame.Width = 6000
    frame.Height = 1500
    text.insertString(cursor, "Рамка:", False)
    text.insertTextContent(cursor, frame, False)
    frame.insertString(frame.createTextCursor(), "В рамке #Дата#", False)

    style = doc.StyleFamilies.getByName("PageStyles").getByName("Standard")
    style.HeaderIsOn = True
    style.HeaderText.setString("Дело #НомерДела#")

    doc.storeToURL(uno.systemPathToFileUrl(output), (prop("FilterName", "writer8"),))
    doc.close(True)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])

"""Writes the test templates with LibreOffice over UNO. templates.odt: codes in
the body, split across runs by a bold letter, in a table, a text frame, a
header and a footnote. page.odt: text that the page shows otherwise than it is
stored: a symbol font's minus, soft and non-breaking hyphens, a note's mark
and a quote in a code, alt text, a macro button's text, and the headers of
two page styles.

    python3 make_templates.py PIPE FOLDER
"""
import os
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


def new_document(desktop):
    return desktop.loadComponentFromURL("private:factory/swriter", "_blank", 0, (prop("Hidden", True),))


def save(doc, output):
    doc.storeToURL(uno.systemPathToFileUrl(output), (prop("FilterName", "writer8"),))
    doc.close(True)


def write_templates(doc, output):
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

    save(doc, output)


def write_page(doc, output):
    styles = doc.StyleFamilies.getByName("PageStyles")
    styles.insertByName("Второй", doc.createInstance("com.sun.star.style.PageStyle"))
    text = doc.Text
    cursor = text.createTextCursor()
    text.insertString(cursor, "Пени: #Пени", False)          # 1: Symbol's minus, made a w:sym by make_hostile.py
    cursor.CharFontName = "Symbol"
    text.insertString(cursor, "\uf02d", False)
    cursor.setPropertyToDefault("CharFontName")
    paragraph(text, cursor, "#")
    paragraph(text, cursor, "#Сумма\u00adДолга# #Номер\u2011Дела#")  # 2: soft and non-breaking hyphens
    text.insertString(cursor, "#Ист", False)                  # 3: a footnote's mark inside a code
    note = doc.createInstance("com.sun.star.text.Footnote")
    text.insertTextContent(cursor, note, False)
    note.insertString(note.createTextCursor(), "Сноска", False)
    paragraph(text, cursor, "ец# и #\"Истец\"#")
    text.insertString(cursor, "Рисунок", False)               # 4: alt text; 5: the frame's paragraph
    frame = doc.createInstance("com.sun.star.text.TextFrame")
    text.insertTextContent(cursor, frame, False)
    set_all(frame, Width=3000, Height=1000, Title="#Заголовок#", Description="#Описание#")
    text.insertControlCharacter(cursor, PARAGRAPH_BREAK, False)
    text.insertString(cursor, "Телефон: ", False)             # 6: a macro button
    button = doc.createInstance("com.sun.star.text.TextField.Macro")
    set_all(button, Hint="[#Дата#]", MacroName="DoFieldClick")
    text.insertTextContent(cursor, button, False)
    text.insertControlCharacter(cursor, PARAGRAPH_BREAK, False)
    cursor.PageDescName = "Второй"                            # 7: on a page of another page style
    text.insertString(cursor, "Раздел 2", False)

    first, second = styles.getByName("Standard"), styles.getByName("Второй")
    set_all(first, HeaderIsOn=True, FirstIsShared=False, HeaderIsShared=False)
    set_all(second, HeaderIsOn=True, HeaderIsShared=False)
    for header, content in ((first.HeaderText, "Верх #Истец#"), (first.HeaderTextLeft, "Четная #Ответчик#"),
                            (first.HeaderTextFirst, "Первая #НомерДела#"), (second.HeaderText, "Второй #Истец#"),
                            (second.HeaderTextLeft, "Второй четная")):
        header.setString(content)
    save(doc, output)


def set_all(target, **values):
    for name, value in values.items():
        setattr(target, name, value)


def main(pipe, folder):
    ctx = connect(pipe)
    desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
    write_page(new_document(desktop), os.path.join(folder, "page.odt"))
    write_templates(new_document(desktop), os.path.join(folder, "templates.odt"))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])

"""Makes the damaged and hostile packages from templates.docx, and gives
page.docx the forms that Word writes where LibreOffice writes others: a symbol
as w:sym, a macro button without a result.

    python3 make_hostile.py FOLDER
"""
import os
import re
import sys
import zipfile


def copy_replacing(source, target, part, content):
    with zipfile.ZipFile(source) as old, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as new:
        for item in old.infolist():
            new.writestr(item.filename, content if item.filename == part else old.read(item.filename))


def as_word_writes(docx):
    with zipfile.ZipFile(docx) as package:
        document = package.read("word/document.xml").decode()
    symbol = '<w:r><w:rPr><w:rFonts w:ascii="Symbol" w:hAnsi="Symbol"/></w:rPr><w:t>\uf02d</w:t></w:r>'
    assert symbol in document
    document = document.replace(symbol, '<w:r><w:sym w:font="Symbol" w:char="F02D"/></w:r>')
    document, results = re.subn(r'(MACROBUTTON[^<]*</w:instrText></w:r>)<w:r><w:rPr></w:rPr>'
                                r'<w:fldChar w:fldCharType="separate"/></w:r>.*?(<w:r><w:rPr></w:rPr>'
                                r'<w:fldChar w:fldCharType="end"/>)', r"\1\2", document)
    assert results == 1
    copy_replacing(docx, docx + ".new", "word/document.xml", document.encode())
    os.replace(docx + ".new", docx)


def main(folder):
    docx = os.path.join(folder, "templates.docx")
    with open(os.path.join(folder, "renamed.docx"), "w") as f:
        f.write("Not a package: a text file renamed to .docx\n")
    with open(docx, "rb") as f:
        whole = f.read()
    with open(os.path.join(folder, "truncated.docx"), "wb") as f:
        f.write(whole[: len(whole) * 2 // 3])
    # Unpacks to 300 MB of blanks inside a well-formed document.
    blanks = b" " * (300 << 20)
    document = b'<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body>'
    copy_replacing(docx, os.path.join(folder, "bomb.docx"), "word/document.xml",
                   document + blanks + b"</w:body></w:document>")
    laughs = ['<!ENTITY l0 "#Истец#">'] + [f'<!ENTITY l{i} "{("&l%d;" % (i - 1)) * 10}">' for i in range(1, 10)]
    entities = ('<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE w:document [' + "".join(laughs) + ']>\n'
                '<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">'
                '<w:body><w:p><w:r><w:t>&l9;</w:t></w:r></w:p></w:body></w:document>')
    copy_replacing(docx, os.path.join(folder, "entities.docx"), "word/document.xml", entities.encode())
    as_word_writes(os.path.join(folder, "page.docx"))


if __name__ == "__main__":
    main(sys.argv[1])

"""Makes the damaged and hostile packages from templates.docx, and gives
page.docx the forms that Word writes where LibreOffice writes others: a symbol
as w:sym, a macro button without a result. sections.docx is page.docx with
other sections, for LibreOffice to convert.

    python3 make_hostile.py FOLDER
"""
import hashlib
import os
import re
import sys
import zipfile


def copy_replacing(source, target, parts, renamed=None):
    with zipfile.ZipFile(source) as old, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as new:
        for item in old.infolist():
            name = (renamed or {}).get(item.filename, item.filename)
            new.writestr(name, parts.get(item.filename) or old.read(item.filename))


def zip64_copy(source, target):
    """Every size, offset and count of the copy is in the Zip64 fields."""
    limits = zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT
    zipfile.ZIP64_LIMIT = zipfile.ZIP_FILECOUNT_LIMIT = 0
    try:
        with zipfile.ZipFile(source) as old, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as new:
            for item in old.infolist():
                with new.open(item.filename, "w", force_zip64=True) as f:
                    f.write(old.read(item.filename))
    finally:
        zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = limits
    # zipfile keeps the true values in the end record too; only the Zip64 record may hold them.
    with open(target, "r+b") as f:
        f.seek(-14, os.SEEK_END)
        f.write(b"\xff" * 12)


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
    copy_replacing(docx, docx + ".new", {"word/document.xml": document.encode()})
    os.replace(docx + ".new", docx)


def with_other_sections(page, target):
    """No page shows section 1's first-page and even-page headers; section 2 shows the first-page one it inherits."""
    with zipfile.ZipFile(page) as package:
        document = package.read("word/document.xml").decode().replace("<w:titlePg/>", "", 1)
        settings = package.read("word/settings.xml").decode().replace("<w:evenAndOddHeaders/>", "")
    last = document.rindex("<w:textDirection")
    copy_replacing(page, target, {"word/document.xml": (document[:last] + "<w:titlePg/>" + document[last:]).encode(),
                                  "word/settings.xml": settings.encode()})


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
    copy_replacing(docx, os.path.join(folder, "bomb.docx"),
                   {"word/document.xml": document + blanks + b"</w:body></w:document>"})
    laughs = ['<!ENTITY l0 "#Истец#">'] + [f'<!ENTITY l{i} "{("&l%d;" % (i - 1)) * 10}">' for i in range(1, 10)]
    entities = ('<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE w:document [' + "".join(laughs) + ']>\n'
                '<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">'
                '<w:body><w:p><w:r><w:t>&l9;</w:t></w:r></w:p></w:body></w:document>')
    copy_replacing(docx, os.path.join(folder, "entities.docx"), {"word/document.xml": entities.encode()})

    # Packages that must read exactly as the templates they are made from.
    odt = os.path.join(folder, "templates.odt")
    zip64_copy(docx, os.path.join(folder, "templates-zip64.docx"))
    zip64_copy(odt, os.path.join(folder, "templates-zip64.odt"))
    with open(os.path.join(folder, "templates-newline.docx"), "wb") as f:
        f.write(whole + b"\n")
    with zipfile.ZipFile(docx) as z, zipfile.ZipFile(odt) as o:
        relationships = z.read("word/_rels/document.xml.rels").replace(b'"header1.xml"', b'"./header%201.xml"')
        relationships = relationships.replace(b'"footnotes.xml"', b'"../word/footnotes.xml"')
        damaged = z.read("word/document.xml").replace(b"<w:document ", b"<w:documnt ", 1)
        entry = b'manifest:full-path="content.xml" manifest:media-type="text/xml"'
        manifest = o.read("META-INF/manifest.xml").replace(entry + b"/>", entry + b"><manifest:encryption-data/></"
                                                           b"manifest:file-entry>")
    copy_replacing(docx, os.path.join(folder, "templates-uri.docx"), {"word/_rels/document.xml.rels": relationships},
                   {"word/header1.xml": "word/header 1.xml"})
    copy_replacing(docx, os.path.join(folder, "damaged.docx"), {"word/document.xml": damaged})
    # What a password does to an .odt: the text is ciphertext, and the manifest says so.
    copy_replacing(odt, os.path.join(folder, "encrypted.odt"),
                   {"content.xml": hashlib.sha256(b"key").digest() * 64, "META-INF/manifest.xml": manifest})
    as_word_writes(os.path.join(folder, "page.docx"))
    with_other_sections(os.path.join(folder, "page.docx"), os.path.join(folder, "sections.docx"))


if __name__ == "__main__":
    main(sys.argv[1])

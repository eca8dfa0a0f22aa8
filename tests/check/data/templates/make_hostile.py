"""Makes the damaged and hostile packages from templates.docx.

    python3 make_hostile.py FOLDER
"""
import hashlib
import os
import sys
import zipfile


def copy_replacing(source, target, part, content, renamed=None):
    with zipfile.ZipFile(source) as old, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as new:
        for item in old.infolist():
            name = (renamed or {}).get(item.filename, item.filename)
            new.writestr(name, content if item.filename == part else old.read(item.filename))


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


def encrypted_copy(source, target):
    """What a password does to an .odt: its text parts are ciphertext, and the manifest says so."""
    noise = b"".join(hashlib.sha256(bytes([i])).digest() for i in range(200))
    with zipfile.ZipFile(source) as old, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as new:
        for item in old.infolist():
            data = old.read(item.filename)
            if item.filename in ("content.xml", "styles.xml"):
                data = noise
            elif item.filename == "META-INF/manifest.xml":
                for part in ("styles.xml", "content.xml"):
                    entry = f'manifest:full-path="{part}" manifest:media-type="text/xml"'.encode()
                    data = data.replace(entry + b"/>", entry + b'><manifest:encryption-data manifest:checksum-type='
                                        b'"SHA1/1K" manifest:checksum="AAAA"><manifest:algorithm '
                                        b'manifest:algorithm-name="Blowfish CFB" manifest:initialisation-vector="AAAA"/>'
                                        b'</manifest:encryption-data></manifest:file-entry>')
            new.writestr(item.filename, data)


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

    # Packages that must read exactly as the templates they are made from.
    odt = os.path.join(folder, "templates.odt")
    zip64_copy(docx, os.path.join(folder, "templates-zip64.docx"))
    zip64_copy(odt, os.path.join(folder, "templates-zip64.odt"))
    with open(os.path.join(folder, "templates-newline.docx"), "wb") as f:
        f.write(whole + b"\n")
    with zipfile.ZipFile(docx) as z:
        relationships = z.read("word/_rels/document.xml.rels")
        document = z.read("word/document.xml")
    relationships = relationships.replace(b'"header1.xml"', b'"./header%201.xml"')
    relationships = relationships.replace(b'"footnotes.xml"', b'"../word/footnotes.xml"')
    copy_replacing(docx, os.path.join(folder, "templates-uri.docx"), "word/_rels/document.xml.rels", relationships,
                   {"word/header1.xml": "word/header 1.xml"})

    encrypted_copy(odt, os.path.join(folder, "encrypted.odt"))
    damaged = document.replace(b"<w:document ", b"<w:documnt ", 1)
    copy_replacing(docx, os.path.join(folder, "damaged.docx"), "word/document.xml", damaged)


if __name__ == "__main__":
    main(sys.argv[1])

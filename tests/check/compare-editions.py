#!/usr/bin/env python3
"""Both editions of quillmark-check give the same report for every template:
the test templates, the fuzzing seeds (their XML parts, each in a package of
its own as fuzz/TemplateFuzz.cpp makes it) and those parts cut short. One run
of each edition over all of them; their JSON compared, paths aside.

    compare-editions.py NATIVE WINDOWS.exe WINE-RUN TEMPLATES-FOLDER

Exits 77, skipped, when the native program has not been built."""
import json
import os
import subprocess
import sys
import tempfile
import zipfile

# Differences that remain, by template, each with its reason: Wine's or
# XmlLite's, never ours.
KNOWN = {
    "declared-latin-1.docx": "Wine's XmlLite knows no ISO-8859-1, which Windows' reads",
    "version-2.0.docx": "XmlLite reads no XML version but 1.x; expat reads a part declared 2.0 as 1.0",
    "astral-reference.docx": "Wine's XmlLite refuses &#x10000; in an attribute's value, though not &#x1F600;",
    "fifth-edition-name.docx": "XmlLite takes names as XML 1.0's fifth edition, which allows U+FEFF in one; "
                               "expat as the fourth, which does not",
}
# templates.docx's main part changed so: the cases above, and others that Wine
# once read otherwise.
CHANGES = {
    "declared-latin-1.docx": (b'encoding="UTF-8"', b'encoding="ISO-8859-1"'),
    "version-2.0.docx": (b'version="1.0"', b'version="2.0"'),
    "astral-reference.docx": (b"<w:body>", b'<w:body><w:p w:rsidR="a&#x10000;b"/>'),
    "blank-in-namespace.docx": (b'xmlns:w="http://', b'xmlns:w="http://\n'),
    "space-in-namespace.docx": (b'xmlns:w="http://', b'xmlns:w="http://&#x20;'),
    "fifth-edition-name.docx": (b"<w:body>", b'<w:body><w:p w:\xef\xbb\xbfx="1"/>'),
}

WORD_TYPES = '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>'
WORD_RELS = ('<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
             '<Relationship Id="rId1" Target="word/document.xml" Type="http://schemas.openxmlformats.org/'
             'officeDocument/2006/relationships/officeDocument"/></Relationships>')


def package(path, part):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        if b"opendocument" in part:
            z.writestr("mimetype", "application/vnd.oasis.opendocument.text")
            z.writestr("content.xml", part)
            z.writestr("styles.xml", part)
        else:
            z.writestr("[Content_Types].xml", WORD_TYPES)
            z.writestr("_rels/.rels", WORD_RELS)
            z.writestr("word/document.xml", part)


def corpus(templates, out):
    """The seeds' parts whole, in UTF-16 both ways too, undeclared after a
    blank line, cut at 32 places, and cut inside a character; the main part
    of templates.docx made long, and changed as CHANGES says."""
    made = []  # distinct names: reports are told apart by them

    def add(name, part):
        made.append(os.path.join(out, name))
        package(made[-1], part)

    for name in sorted(os.listdir(templates)):
        if not zipfile.is_zipfile(os.path.join(templates, name)):
            continue
        with zipfile.ZipFile(os.path.join(templates, name)) as z:
            # bomb.docx's part would unpack to more than the limit
            parts = [(i.filename, z.read(i)) for i in z.infolist()
                     if i.filename.endswith(".xml") and i.file_size < 1 << 20]
        for part_name, part in parts:
            stem = f"{name}-{part_name.replace('/', '_')}"
            wide = next((i for i in range(len(part)) if part[i] >= 0xC0), len(part) - 1) + 1
            for cut in sorted({len(part), wide} | {len(part) * k // 32 for k in range(32)}):
                add(f"{stem}-{cut}.docx", part[:cut])
            add(f"{stem}-undeclared.docx", b"\n" + part[part.find(b"?>") + 2:])
            text = part.decode("utf-8", "replace").replace('encoding="UTF-8"', 'encoding="UTF-16"')
            add(f"{stem}-utf-16le.docx", b"\xFF\xFE" + text.encode("utf-16-le"))
            add(f"{stem}-utf-16be.docx", b"\xFE\xFF" + text.encode("utf-16-be"))
    with zipfile.ZipFile(os.path.join(templates, "templates.docx")) as z:
        document = z.read("word/document.xml")
    body = document.index(b"<w:body>") + 8
    add("long.docx", document[:body] + document[body:document.index(b"<w:sectPr", body)] * 64 + document[body:])
    for name, (old, new) in CHANGES.items():
        add(name, document.replace(old, new, 1))
    return made


def run(command):
    result = subprocess.run(command, capture_output=True, timeout=240,
                            env=dict(os.environ, LC_ALL="C.UTF-8"))
    reports = {}
    for line in result.stdout.decode("utf-8").splitlines():
        report = json.loads(line)
        path = report.pop("template")
        reports[path.replace("\\", "/").rsplit("/", 1)[-1]] = report
    return result.returncode, reports


def main(native, windows, wine_run, templates):
    if not os.access(native, os.X_OK):
        print(f"skipped: {native} is not built")
        return 77
    with tempfile.TemporaryDirectory() as out:
        corpus(templates, out)
        # Folders, not files: Windows limits a command line to 32,767 characters.
        arguments = ["--json", os.path.join(templates, "params.ini"), templates, out]
        native_code, native_reports = run([native] + arguments)
        windows_code, windows_reports = run([wine_run, windows] + arguments)
    failures = 0
    for name in sorted(native_reports.keys() | windows_reports.keys()):
        same = native_reports.get(name) == windows_reports.get(name)
        if same and name in KNOWN:
            print(f"note: {name} no longer differs ({KNOWN[name]})")
        if not same and name not in KNOWN:
            failures += 1
            print(f"{name}\n  native:  {native_reports.get(name)}\n  windows: {windows_reports.get(name)}")
    if native_code != windows_code:
        failures += 1
        print(f"exit codes: native {native_code}, windows {windows_code}")
    print(f"{len(native_reports)} templates, {failures} differences, {len(KNOWN)} known")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))

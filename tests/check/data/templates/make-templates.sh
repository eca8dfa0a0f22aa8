#!/usr/bin/env bash
# Makes the checked-in test templates: templates.odt and page.odt written by a
# headless LibreOffice, templates.docx, templates.doc and page.docx converted
# from them by soffice, the damaged and hostile packages made from those, and
# sections.odt converted by soffice from sections.docx, one of them.
#
#   tests/check/data/templates/make-templates.sh
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
pipe=quillmark-make-$$
office=""
cleanup() {
    [ -z "$office" ] || kill -- "-$office" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

setsid soffice --headless --invisible --norestore --nologo --nodefault --nolockcheck \
    "-env:UserInstallation=file://$work/profile" "--accept=pipe,name=$pipe;urp;StarOffice.ComponentContext" \
    >/dev/null 2>&1 &
office=$!
/usr/bin/python3 "$here/make_templates.py" "$pipe" "$work"
kill -- "-$office"
wait "$office" 2>/dev/null || true
office=""

cd "$work"
convert() { soffice --headless --norestore "-env:UserInstallation=file://$work/profile" --convert-to "$@" >/dev/null; }
convert docx templates.odt
convert 'doc:MS Word 97' templates.odt
convert docx page.odt
cp templates.odt templates.docx templates.doc page.odt page.docx "$here/"
/usr/bin/python3 "$here/make_hostile.py" "$here"
convert odt "$here/sections.docx"
cp sections.odt "$here/"

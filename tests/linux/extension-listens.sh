#!/usr/bin/env bash
# The extension makes an office listen on the user's pipe "quillmark" with no
# --accept of its own: installed with unopkg into a fresh profile, as an
# ordinary user (unopkg refuses per-user installs as root).
#   extension-listens.sh EXTENSION.oxt
set -euo pipefail
oxt=$(realpath "$1")

user=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
    user=quillmark-test
    id "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$user"
fi
as_user() { if [ "$(id -un)" = "$user" ]; then "$@"; else su "$user" -s /bin/bash -c "$(printf '%q ' "$@")"; fi; }

uid=$(id -u "$user")
work=$(as_user mktemp -d /tmp/quillmark-extension-XXXXXX)
socket=/tmp/OSL_PIPE_${uid}_quillmark
office=""
cleanup() {
    [ -z "$office" ] || kill -- -"$office" 2>/dev/null || true
    sleep 1
    [ -z "$office" ] || kill -KILL -- -"$office" 2>/dev/null || true
    rm -rf "$work"
    [ -S "$socket" ] && [ "$(stat -c %u "$socket")" = "$uid" ] && rm -f "$socket" || true
}
trap cleanup EXIT

cp "$oxt" "$work/listen.oxt"
chmod a+r "$work/listen.oxt"
profile="file://$work/profile"
as_user unopkg add -s "-env:UserInstallation=$profile" "$work/listen.oxt"
listed=$(as_user unopkg list "-env:UserInstallation=$profile")
grep -q 'org.quillmark.listen' <<<"$listed"
echo "installed: org.quillmark.listen"

rm -f "$socket" 2>/dev/null || true
# No --accept: the pipe can only come from the extension's setting.
setsid su "$user" -s /bin/bash -c "exec /usr/lib/libreoffice/program/soffice --headless --invisible \
    --norestore --nologo --nodefault --nolockcheck '-env:UserInstallation=$profile'" </dev/null >/dev/null 2>&1 &
office=$!
for _ in $(seq 1 300); do
    if [ -S "$socket" ] && [ "$(stat -c %u "$socket")" = "$uid" ]; then
        echo "listening: $socket, owned by $user, mode $(stat -c %A "$socket")"
        exit 0
    fi
    sleep 0.1
done
echo "no office listened on $socket" >&2
exit 1

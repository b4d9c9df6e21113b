#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop reads there: every file,
# the desktop entry and AppStream metainfo with their own validators, and the snapshot MIME type
# found by name and by content once the prefix's MIME database is built.
#   install_test.sh BUILD-FOLDER
set -euo pipefail
build="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
id=org.vantorel.Tessera
for file in bin/tessera \
    share/applications/$id.desktop \
    share/metainfo/$id.metainfo.xml \
    share/mime/packages/$id.xml \
    share/icons/hicolor/scalable/apps/$id.svg \
    share/icons/hicolor/symbolic/apps/$id-symbolic.svg \
    share/dbus-1/services/$id.service \
    share/man/man1/tessera.1; do
    [ -s "$prefix/$file" ] || fail "$file was not installed"
done
grep -qx "Exec=$prefix/bin/tessera --dbus-activated" "$prefix/share/dbus-1/services/$id.service" ||
    fail "the D-Bus service does not start the installed binary"
grep -q '^\.TH TESSERA' "$prefix/share/man/man1/tessera.1" || fail "tessera.1 is no manual page"

desktop-file-validate "$prefix/share/applications/$id.desktop" | grep -v '^.*: hint:' && fail "desktop entry"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null ||
    fail "metainfo: $(appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml")"

update-mime-database "$prefix/share/mime" >/dev/null 2>&1
export XDG_DATA_DIRS="$prefix/share:/usr/share"
mkdir "$work/tree"
echo hello >"$work/tree/file"
"$prefix/bin/tessera" scan "$work/tree" --export "$work/tree.fssnapshot" >/dev/null
"$prefix/bin/tessera" scan "$work/tree" --export "$work/tree-json.fssnapshot" --format json >/dev/null
type=application/vnd.vantorel.fssnapshot
for snapshot in tree.fssnapshot tree-json.fssnapshot; do
    found=$(xdg-mime query filetype "$work/$snapshot")
    [ "$found" = "$type" ] || fail "xdg-mime calls $snapshot $found"
    # Without the extension, by content alone.
    cp "$work/$snapshot" "$work/copy"
    found=$(mimetype --brief --magic-only "$work/copy")
    [ "$found" = "$type" ] || fail "$snapshot without its extension is $found"
done
echo "install test: every file in place, validators pass, snapshots recognised"

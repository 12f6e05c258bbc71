#!/usr/bin/env bash
# Installs the build into a staging folder the way a package build does (DESTDIR and a
# prefix) and checks what a desktop reads from it: the menu entry and the metadata pass
# their validators, and the icon the entry names is in the theme at every size.
# Usage: check-install.sh BUILD_DIR
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /opt/frolix >/dev/null
root=$stage/opt/frolix
expected="bin/frolix-viewer
share/applications/frolix-viewer.desktop
share/icons/hicolor/128x128/apps/frolix-viewer.png
share/icons/hicolor/16x16/apps/frolix-viewer.png
share/icons/hicolor/256x256/apps/frolix-viewer.png
share/icons/hicolor/32x32/apps/frolix-viewer.png
share/icons/hicolor/48x48/apps/frolix-viewer.png
share/icons/hicolor/64x64/apps/frolix-viewer.png
share/metainfo/org.example.frolixviewer.metainfo.xml"
installed=$(cd "$root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [ "$installed" != "$expected" ]; then
    echo "installed files differ from the expected list:"
    diff <(echo "$expected") <(echo "$installed") || true
    exit 1
fi
[ -x "$root/bin/frolix-viewer" ] || { echo "the program is not executable"; exit 1; }
desktop-file-validate "$root/share/applications/frolix-viewer.desktop"
appstreamcli validate --no-net --pedantic "$root"/share/metainfo/*.metainfo.xml >/dev/null ||
    { appstreamcli validate --no-net --pedantic "$root"/share/metainfo/*.metainfo.xml; exit 1; }
icon=$(sed -n 's/^Icon=//p' "$root/share/applications/frolix-viewer.desktop")
for dir in "$root"/share/icons/hicolor/*x*; do
    size=${dir##*/}
    png=$dir/apps/$icon.png
    [ -f "$png" ] || { echo "no $icon.png at $size"; exit 1; }
    # Width and height from the PNG header must match the folder the theme files it in.
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4, $7*256+$8}')
    [ "${width}x${height}" = "$size" ] || { echo "$png is ${width}x${height}, filed under $size"; exit 1; }
done
grep -q "<launchable type=\"desktop-id\">frolix-viewer.desktop</launchable>" "$root"/share/metainfo/*.xml ||
    { echo "the metadata does not launch the installed desktop entry"; exit 1; }
# File managers offer the viewer for GIFs, and hand it the file: the entry claims the type
# and takes a file in its command; the metadata says so to software centres.
grep -qx 'MimeType=image/gif;' "$root/share/applications/frolix-viewer.desktop" ||
    { echo "the desktop entry does not claim image/gif"; exit 1; }
grep -Eq '^Exec=frolix-viewer %[fFuU]$' "$root/share/applications/frolix-viewer.desktop" ||
    { echo "the desktop entry's command takes no file"; exit 1; }
grep -q '<mediatype>image/gif</mediatype>' "$root"/share/metainfo/*.xml ||
    { echo "the metadata does not provide image/gif"; exit 1; }
grep -q '<release version="1.00"' "$root"/share/metainfo/*.xml || { echo "no release 1.00 in the metadata"; exit 1; }
echo "install layout, desktop entry, metadata and icons are as a desktop expects"

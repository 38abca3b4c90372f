#!/usr/bin/env bash
# Installs the build into a staging folder as `cmake --install` does for a package, and
# checks that every file a desktop needs is there and that the desktop entry and the
# AppStream description pass their validators without an error or a warning.
# Usage: check-install.sh BUILD-DIR
set -euo pipefail
build=${1:?usage: check-install.sh BUILD-DIR}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null

id=net.zorvik.RemoteControl
share="$stage/usr/share"
failed=0
expect() {
    if [ -e "$1" ]; then
        echo "installed: ${1#"$stage"}"
    else
        echo "MISSING: ${1#"$stage"}"
        failed=1
    fi
}
expect "$stage/usr/bin/zorvik-panel"
expect "$stage/usr/bin/talmek-sim"
expect "$share/applications/$id.desktop"
expect "$share/metainfo/$id.metainfo.xml"
expect "$share/icons/hicolor/scalable/apps/$id.svg"
for size in 16 22 24 32 48 64 128 256; do
    expect "$share/icons/hicolor/${size}x${size}/apps/$id.png"
done

# desktop-file-validate prints nothing for a clean file.
report=$(desktop-file-validate "$share/applications/$id.desktop" 2>&1) || failed=1
if [ -n "$report" ]; then
    echo "desktop-file-validate: $report"
    failed=1
fi
# Errors (E:) and warnings (W:) fail; infos and pedantic notes do not.
report=$(appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" 2>&1) || failed=1
echo "$report"
if echo "$report" | grep -qE '^(E|W):'; then
    failed=1
fi
[ "$failed" -eq 0 ] && echo "install check passed" || echo "install check FAILED"
exit "$failed"
